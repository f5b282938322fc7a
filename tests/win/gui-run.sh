#!/bin/bash
# Runs both Windows executables under Wine on a private Xvfb display and drives them with a
# real pointer:
#   gui-run.sh TAMBLOR_EXE DEMO_EXE PROBE_EXE WINEPREFIX SCREENSHOT_DIR
# tamblor.exe must start, show the package's version centred and whole and log "No device
# found!"; tamblor-demo.exe must complete a simulated upgrade after its Start-upgrade button is
# clicked, put away the exit question that Exit raised during the upgrade once the upgrade has
# ended, and end after Exit is clicked (the time it took is printed: a figure, not a bound, but
# for a generous one that only a hang at shutdown reaches). The progress bar must show its
# percentage in both.
set -euo pipefail

tamblor=$1 demo=$2 probe=$3
export WINEPREFIX=$4
shots=$5
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$shots"
work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    # Gone for sure when the test ends; the Wine programs end with the prefix's server.
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; } || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A display of our own.
exec 5>"$work/displayfd"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/displayfd")
exec 5>&-

wine_run() { "$here/wine-run" "$@"; }
probe() { wine_run "$probe" "$@" 2>/dev/null | tr -d '\r'; }
# Without a window manager, Wine draws the caption bar itself.
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

start_app() {
    wine_run "$1" >"$work/app.log" 2>&1 &
    app_pid=$!
}

shoot() {
    import -window root -crop 520x330+0+0 "$shots/$1" 2>/dev/null || import -window root "$shots/$1"
}

# Shoots once the screen has stopped changing (a repaint in progress shows the background
# without the controls), or after ten seconds.
shoot_settled() {
    local previous="$work/previous.png"
    shoot "$1"
    for _ in $(seq 20); do
        sleep 0.5
        cp "$shots/$1" "$previous"
        shoot "$1"
        [ "$(compare -metric AE "$previous" "$shots/$1" null: 2>&1)" = 0 ] && return 0
    done
}

# The bounding box of the pixels of screenshot $1, within WIDTHxHEIGHT+X+Y $2, that are
# brighter (bright) or darker (dark) than the rest, as "WIDTHxHEIGHT+X+Y" relative to $2; a
# width of 0 when there are none.
ink_box() {
    local op=
    local level=70%
    [ "$3" = dark ] && op=-negate level=85%
    convert "$1" -crop "$2" +repage -colorspace gray $op -threshold "$level" -format '%@' info: \
        2>/dev/null
}

# The percentage is written in the middle of the bar: dark pixels on the tube.
check_percentage() {
    local left top right bottom rest
    read -r left top right bottom rest < <(probe rect 1002)
    [ -n "$bottom" ] || fail "no progress bar"
    local middle=$(((left + right) / 2))
    local box
    box=$(ink_box "$shots/$1" "60x$((bottom - top))+$((middle - 30))+$top" dark)
    [ "${box%%x*}" -gt 5 ] || fail "$1: no percentage on the progress bar"
}

# The version text is centred in its static and ends above the bottom of the client area, which
# cuts the static off.
check_version() {
    local left top right bottom cleft ctop cright cbottom
    read -r left top right bottom cleft ctop cright cbottom < <(probe rect version)
    [ -n "$cbottom" ] || fail "no version static"
    local box w h x y
    box=$(ink_box "$shots/$1" "$((right - left))x$((bottom - top))+$left+$top" bright)
    IFS='x+' read -r w h x y <<<"$box"
    [ "$w" -gt 0 ] || fail "$1: no version text"
    local ink_left=$((left + x)) ink_right=$((left + x + w - 1)) ink_bottom=$((top + y + h - 1))
    local off_centre=$(((ink_left + ink_right) - (left + right - 1)))
    [ "${off_centre#-}" -le 2 ] ||
        fail "$1: version text spans $ink_left..$ink_right, its static $left..$((right - 1))"
    [ "$ink_bottom" -le $((cbottom - 2)) ] ||
        fail "$1: version text reaches row $ink_bottom, the client area ends at $((cbottom - 1))"
}

# Puts the pointer on control $1, so that a click is one event away.
point_at() {
    local x y
    read -r x y < <(probe center "$1")
    [ -n "$x" ] || fail "no control $1"
    xdotool mousemove "$x" "$y"
    sleep 0.3
}

ends_after_exit() {
    point_at 2
    # Unfiltered, so that "armed" shows as soon as it is printed.
    wine_run "$probe" wait-exit 30000 >"$work/exit" 2>/dev/null &
    local waiter=$!
    for _ in $(seq 100); do grep -q armed "$work/exit" 2>/dev/null && break; sleep 0.05; done
    xdotool click 1
    wait "$waiter" || fail "$1 did not end after Exit"
    local ms
    ms=$(tail -n1 "$work/exit" | tr -d '\r')
    echo "$1 ended ${ms} ms after Exit"
    # Milliseconds on a quiet machine; seconds only when other builds share the cores.
    [ "$ms" -lt 15000 ] || fail "$1 took ${ms} ms to end after Exit"
    wait "$app_pid" || true
    app_pid=
}

# tamblor.exe on a machine without the dock.
start_app "$tamblor"
probe wait-log "No device found!" 90000 || fail "tamblor.exe did not log No device found!"
version=$(probe text version)
[ "$version" = "Code Ver:V103  2017/08/11" ] || fail "version static reads '$version'"
shoot_settled tamblor-windows.png
check_version tamblor-windows.png
check_percentage tamblor-windows.png
ends_after_exit tamblor.exe

# tamblor-demo.exe: a whole upgrade of the emulated dock.
start_app "$demo"
probe wait-enabled 3 90000 ||
    fail "Start upgrade was never enabled; the log: $(probe text log | tr '\n' '|')"
read -r exit_x exit_y < <(probe center 2)
point_at 3
xdotool click 1
# Exit at once, while the dock restarts into its boot loader: the question stays up while the
# upgrade runs and goes by itself when it has ended, leaving the window open.
xdotool mousemove "$exit_x" "$exit_y" click 1
probe wait-box 20000 || fail "Exit during the upgrade did not ask"
probe wait-log "Chip 3 Checksum pass, ISP Success!" 120000 || fail "the upgrade did not succeed"
probe wait-no-box 20000 || fail "the exit question stayed up after the upgrade had ended"
kill -0 "$app_pid" 2>/dev/null || fail "tamblor-demo.exe ended without Exit being confirmed"
shoot_settled tamblor-demo-windows.png
check_percentage tamblor-demo-windows.png
ends_after_exit tamblor-demo.exe
echo "1 passed, 0 failed"
