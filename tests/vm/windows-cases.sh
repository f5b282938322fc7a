#!/bin/sh
# The Windows cases of the kernel test, run as the VM's first process after switch_root into the
# host's root (read-only over 9p, a tmpfs over it): tamblor.exe and tamblor-hidlist.exe under
# Wine against tamblor-dock, a USB HID gadget on dummy_hcd, through Wine's own HID stack
# (winebus on hidraw, hidclass, SetupAPI, device notifications). The window is driven as an
# operator drives it: its probe finds the controls, xdotool clicks them on a private Xvfb.
# Each case prints "VMTEST PASS name detail" or "VMTEST FAIL name reason"; its logs follow a
# failure as "VMTEST-LOG" lines. $1 is the folder scripts/vm-test prepared.
guest=$1
export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin
export HOME=/root
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
# The guest's folder may lie under one of the folders the tmpfs mounts below hide (a clone in
# /tmp): it is reached through a mount of its own.
mkdir -p /vmtest-guest && mount --bind "$guest" /vmtest-guest && guest=/vmtest-guest
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=0755 tmpfs /run
mount -t tmpfs -o mode=1777 tmpfs /tmp
mount -t configfs configfs /sys/kernel/config
mount -t debugfs debugfs /sys/kernel/debug

SUCCESS="Chip 3 Checksum pass, ISP Success!"
NO_RETURN="The device did not come back from its restart"
NOT_FINISHED="The upgrade did not finish."
CAPTION="Varnex USB-C Device FW Upgrade Tool"
dock=$guest/tamblor-dock
dock_pid=
app_pid=
usbmon_pid=

at() { echo "(at $(cut -d" " -f1 /proc/uptime) s)"; }
pass() { echo "VMTEST PASS $* $(at)"; }
note() { echo "VMTEST NOTE $*"; }
figure() { echo "VMTEST FIGURE $*"; }
# Steps on the console only, for a run that stops answering.
trace() { echo "vmtest-step $case: $* $(at)" >&2; }
fail() {
    echo "VMTEST FAIL $* $(at)"
    for log in /tmp/$case.*; do
        [ -f "$log" ] || continue
        tr -d '\r' < "$log" | sed "s|^|VMTEST-LOG ${log#/tmp/}: |" | tail -n 40
    done
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds_since() { echo "$((($(now_ms) - $1) / 1000)).$((($(now_ms) - $1) % 1000 / 100))"; }

powerdown() {
    echo "VMTEST END"
    sync
    echo o > /proc/sysrq-trigger
    sleep 10
}

wait_until() {
    tries=0
    while ! eval "$1"; do
        tries=$((tries + 1))
        [ $tries -ge "$2" ] && return 1
        sleep 0.1
    done
    return 0
}
wait_pid() {
    if ! wait_until "! kill -0 $1 2>/dev/null" "$2"; then
        waited_rc=timeout
        return 1
    fi
    wait "$1"
    waited_rc=$?
    return 0
}
hidraw_nodes() { ls /sys/class/hidraw 2>/dev/null; }

# Every transfer on the USB buses while the dock runs; a failure's logs end with the last ones.
start_usbmon() {
    usbmon=/sys/kernel/debug/usb/usbmon/0u
    [ -r $usbmon ] || return 0
    cat $usbmon > /tmp/$case.usbmon 2>&1 &
    usbmon_pid=$!
}
stop_usbmon() {
    [ -n "$usbmon_pid" ] && kill "$usbmon_pid" 2> /dev/null && wait "$usbmon_pid" 2> /dev/null
    usbmon_pid=
    return 0
}
start_dock() {
    wait_until '[ -z "$(hidraw_nodes)" ]' 50 || { echo "a hidraw node is left over"; return 1; }
    stop_usbmon
    start_usbmon
    "$dock" --report-json /tmp/$case.json --restart-delay-ms 200 "$@" > /tmp/$case.dock 2>&1 &
    dock_pid=$!
    wait_until '[ -n "$(hidraw_nodes)" ] || ! kill -0 $dock_pid 2>/dev/null' 150
    udevadm settle -t 10
    [ -n "$(hidraw_nodes)" ]
}
stop_dock() {
    trace "stop the dock"
    if ! wait_pid "$dock_pid" "${1:-0}"; then
        kill -TERM "$dock_pid" 2>/dev/null
        wait_pid "$dock_pid" 100
    fi
    dock_rc=$waited_rc
    stop_usbmon
}
dock_report_ok() { grep -q "^{\"end\":\"$1\",\"passed\":true," /tmp/$case.json; }
violations() { sed -n 's/.*"violations":\[\(.*\)\]}}$/\1/p' /tmp/$case.json; }
report_counts() { grep -o '"restarts":[0-9]*,"earlyReports":[0-9]*' /tmp/$case.json; }
turnaround() { sed -n 's/.*"turnaroundUs":{\([^}]*\)}.*/\1/p' /tmp/$1.json; }
# The dock's verdict on an upgrade: it ended after IspExit with every chip due holding the
# package's bytes and no violation.
upgraded_clean() {
    [ "$dock_rc" = 0 ] && dock_report_ok upgraded && [ -z "$(violations)" ] &&
        ! grep -q '"equal":false' /tmp/$case.json
}

# --- Wine ----------------------------------------------------------------------------------
export WINEPREFIX=$guest/wineprefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
# The probe's status is its own (no pipe); bounded beyond its own longest wait.
probe() {
    trace "probe $*"
    # log-after prints the log whatever it found: nothing at all means the probe never read
    # the window (Wine under emulation now and then fails to start a process). The window
    # keeps its state, so a second probe sees what the first would have.
    for attempt in 1 2; do
        timeout -s KILL 420 "$wine" "$guest/window-probe.exe" "$@" > /tmp/probe.out 2>> /tmp/$case.probe
        probe_rc=$?
        [ "$1" = log-after ] && [ ! -s /tmp/probe.out ] && [ $attempt = 1 ] || break
        note "$case: the probe printed nothing (exit $probe_rc); probing again"
    done
    tr -d '\r' < /tmp/probe.out
    return $probe_rc
}

# The window of tamblor-sN.exe ($1), in the background; its process is the Windows process.
# Waits until X shows the window; 1 when the process ended first.
window_shown() {
    wait_until "xdotool search --name '$CAPTION' > /dev/null 2>&1 || ! kill -0 $app_pid 2> /dev/null" 1800
    kill -0 "$app_pid" 2> /dev/null
}
# Wine under emulation may give up on starting its desktop process (explorer.exe) while a
# loaded machine starts it slowly; the program then ends without a window. That is Wine's, not
# the tool's: started again, up to three times, with a note; 1 when the third start failed too.
start_window() {
    for attempt in 1 2 3; do
        trace "start $1"
        WINEDEBUG=err+all "$wine" "$guest/$1" > /tmp/$case.wine 2>&1 &
        app_pid=$!
        window_shown && return 0
        wait "$app_pid"
        grep -q "explorer process failed to start" /tmp/$case.wine || return 0
        if [ $attempt = 3 ]; then
            note "$case: Wine could not start its desktop process (attempt 3); giving up"
            return 1
        fi
        note "$case: Wine could not start its desktop process (attempt $attempt); starting $1 again"
    done
}
# Clicks the screen point $1 $2 as the pointer would.
click() {
    trace "click $1 $2"
    xdotool mousemove "$1" "$2"
    sleep 0.3
    xdotool click 1
}
# Waits until Start upgrade is enabled; its centre in start_x start_y, Exit's in exit_x exit_y.
window_ready() {
    where=$(probe ready 240000)
    [ -n "$where" ] || return 1
    read -r start_x start_y exit_x exit_y <<WHERE
$where
WHERE
}
# The window's log, and which Wine processes run (for a window that never showed).
save_log() {
    probe text log > /tmp/$case.window
    ps -eo pid,stat,time,args | grep -i '[.]exe' > /tmp/$case.ps
}
# Exit clicked with no upgrade running ends the process within $1 tenths of a second.
exit_window() {
    click "$exit_x" "$exit_y"
    if ! wait_pid "$app_pid" "${1:-300}"; then
        kill -KILL "$app_pid" 2> /dev/null
        wait_pid "$app_pid" 50
        return 1
    fi
}
# Whatever a failed case left: the window, then the dock.
cleanup_case() {
    [ -n "$app_pid" ] && kill -KILL "$app_pid" 2> /dev/null
    app_pid=
    [ -n "$dock_pid" ] && kill -0 "$dock_pid" 2> /dev/null && stop_dock 0
}

# --- The cases -----------------------------------------------------------------------------
case_list() {
    case=win-list
    t0=$(now_ms)
    start_dock --package "$guest/sel1.pkg" || { fail $case "dock did not come up"; cleanup_case; return; }
    timeout -s KILL 200 "$wine" "$guest/tamblor-hidlist.exe" --package "$guest/sel1.pkg" \
        > /tmp/$case.out 2> /tmp/$case.err
    tr -d '\r' < /tmp/$case.out > /tmp/$case.hidlist
    "$guest/tamblor-cli" list --package "$guest/sel1.pkg" --json > /tmp/$case.cli 2>&1
    stop_dock 0
    declared=$(sed -n 's/.*"declared":{\([^}]*\)}.*/\1/p' /tmp/$case.json)
    # Paths differ between the platforms; identity, collection, lengths and match may not.
    fields='"vid":[^}]*'
    windows=$(grep -o "$fields" /tmp/$case.hidlist | grep '"match":true')
    linux=$(grep -o "$fields" /tmp/$case.cli | grep '"match":true')
    if [ -z "$declared" ]; then
        fail $case "no declared identity in the dock's report"
    elif ! grep -q "$declared,\"match\":true" /tmp/$case.hidlist; then
        fail $case "WinHidBus's view under Wine differs from the declared $declared"
    elif [ "$windows" != "$linux" ]; then
        fail $case "the Windows build sees $windows, the Linux build $linux"
    else
        pass $case "$declared, the same as the Linux build"
        # What else Wine presents beside the dock (the input bus would add an evdev device).
        note "$case: WinHidBus lists $(grep -o '"path":"[^"]*","vid":[a-z0-9]*,"pid":[a-z0-9]*' /tmp/$case.hidlist |
            sed 's/"path":"\([^"]*\)","vid":\(.*\),"pid":\(.*\)/\1 (vid \2, pid \3)/' | tr '\n' ' ')"
        figure "$case $(tr -d '\r' < /tmp/$case.err | sed 's/^tamblor-hidlist: //'), whole run $(seconds_since "$t0") s"
    fi
}

# An upgrade by the window, started by a click: $1 case, $2 selector, the rest the dock's
# options.
case_window() {
    case=$1
    selector=$2
    shift 2
    t0=$(now_ms)
    start_dock --package "$guest/sel$selector.pkg" "$@" || { fail $case "dock did not come up"; cleanup_case; return; }
    start_window tamblor-s$selector.exe || { fail $case "Wine did not start (3 attempts)"; cleanup_case; return; }
    if ! window_ready; then
        save_log
        fail $case "Start upgrade was never enabled"
        cleanup_case
        return
    fi
    found=$(seconds_since "$t0")
    t1=$(now_ms)
    click "$start_x" "$start_y"
    probe log-after "$SUCCESS" 360000 > /tmp/$case.window
    upgraded=$?
    took=$(seconds_since "$t1")
    if [ "$upgraded" != 0 ]; then
        # The dock's report says what it received last and what it found wrong; it comes
        # with the logs once the dock has ended.
        stop_dock 0
        fail $case "no success line in the window's log"
        cleanup_case
        return
    fi
    exit_window
    exited=$?
    stop_dock 100
    if [ "$exited" != 0 ]; then
        fail $case "the window did not end after Exit"
    elif ! upgraded_clean; then
        fail $case "the dock's verdict is not clean (exit $dock_rc): $(violations)"
    else
        pass $case "the dock: chips equal, 0 violations, $(report_counts); found ${found} s after launch, upgraded ${took} s after the click"
        figure "$case wall $(seconds_since "$t0") s"
    fi
}

case_removal() {
    case=win-removal-mid-stream
    t0=$(now_ms)
    start_dock --package "$guest/sel1.pkg" --fault remove-after-chunks=100 ||
        { fail $case "dock did not come up"; cleanup_case; return; }
    start_window tamblor-s1.exe || { fail $case "Wine did not start (3 attempts)"; cleanup_case; return; }
    window_ready || { save_log; fail $case "Start upgrade was never enabled"; cleanup_case; return; }
    click "$start_x" "$start_y"
    probe log-after "Error!, restart please." 180000 > /tmp/$case.window
    ended=$?
    stop_dock 50
    if [ "$ended" != 0 ]; then
        fail $case "the window did not end the sequence"
        cleanup_case
    elif ! grep -q "No Device found!" /tmp/$case.window; then
        fail $case "the window did not log the lost device"
        cleanup_case
    elif ! exit_window; then
        fail $case "the window did not end after Exit"
    elif ! dock_report_ok unplugged; then
        fail $case "the dock did not end unplugged and clean"
    else
        pass $case "logged \"No Device found!\" and \"Error!, restart please.\"; the window ended on Exit"
        figure "$case wall $(seconds_since "$t0") s"
    fi
}

# CPU time of process $1 in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2> /dev/null; }

case_no_return() {
    case=win-no-return
    t0=$(now_ms)
    start_dock --package "$guest/sel1.pkg" --fault no-return-after-isp-enter ||
        { fail $case "dock did not come up"; cleanup_case; return; }
    start_window tamblor-s1.exe || { fail $case "Wine did not start (3 attempts)"; cleanup_case; return; }
    window_ready || { save_log; fail $case "Start upgrade was never enabled"; cleanup_case; return; }
    click "$start_x" "$start_y"
    probe wait-log "No Device found!" 120000 > /dev/null
    lost=$?
    stop_dock 50
    # Time for a verdict: the engine's bound on a dock that does not come back (60 s), with
    # room for TCG.
    probe log-after "$NOT_FINISHED" 100000 > /tmp/$case.window
    before=$(cpu_ticks "$app_pid")
    sleep 10
    after=$(cpu_ticks "$app_pid")
    last=$(grep -v '^$' /tmp/$case.window | tail -n 1)
    if [ "$lost" != 0 ]; then
        fail $case "the window never logged \"No Device found!\""
        cleanup_case
    elif [ -z "$before" ] || [ -z "$after" ]; then
        fail $case "the window's process ended by itself"
        cleanup_case
    elif [ $((after - before)) -gt 300 ]; then
        fail $case "the window spins: $((after - before)) ticks of CPU in 10 s"
        cleanup_case
    elif ! grep -q "^$NO_RETURN" /tmp/$case.window || ! grep -q "^$NOT_FINISHED" /tmp/$case.window; then
        fail $case "no verdict within 100 s of the dock's end; the window's last line: \"$last\""
        cleanup_case
    elif ! exit_window; then
        fail $case "the window did not end after Exit"
    elif ! dock_report_ok unplugged; then
        fail $case "the dock did not end unplugged and clean"
    else
        verdict="told the operator \"$(grep "^$NO_RETURN" /tmp/$case.window)\" and \"$NOT_FINISHED\""
        pass $case "$verdict; no spinning ($((after - before)) ticks of CPU in 10 s); the window ended on Exit"
        figure "$case wall $(seconds_since "$t0") s"
    fi
}

# The exit question while an upgrade runs, and Start clicked twice: one upgrade, and the question
# goes by itself when it has ended, leaving the window open. An upgrade of a few seconds ends
# before the probe has found the question: selector 3's Chip 1 erase answers "still erasing"
# for some 2000 turnarounds (30 to 90 s under Wine), so the upgrade still runs while the probe
# looks. One upgrade from AP mode restarts the dock twice.
case_exit_question() {
    case=win-exit-question-start-once
    t0=$(now_ms)
    one_upgrade='"restarts":2,"earlyReports":0'
    start_dock --package "$guest/sel3.pkg" --fault chip1-erase-busy=2000 ||
        { fail $case "dock did not come up"; cleanup_case; return; }
    start_window tamblor-s3.exe || { fail $case "Wine did not start (3 attempts)"; cleanup_case; return; }
    window_ready || { save_log; fail $case "Start upgrade was never enabled"; cleanup_case; return; }
    click "$start_x" "$start_y"
    xdotool click 1
    click "$exit_x" "$exit_y"
    # Status 3: the probe found no window.
    probe wait-box 120000 > /dev/null
    asked=$?
    ps -eo pid,stat,time,args | grep -i '[.]exe' > /tmp/$case.ps
    probe log-after "$SUCCESS" 360000 > /tmp/$case.window
    upgraded=$?
    probe wait-no-box 60000 > /dev/null
    gone=$?
    stop_dock 100
    if [ "$asked" = 3 ]; then
        fail $case "the window was gone after Exit during the upgrade"
    elif [ "$asked" != 0 ]; then
        fail $case "Exit during the upgrade did not ask within 120 s"
    elif [ "$upgraded" != 0 ]; then
        fail $case "the upgrade did not succeed"
    elif [ "$gone" != 0 ]; then
        fail $case "the exit question stayed up after the upgrade had ended"
    elif ! kill -0 "$app_pid" 2> /dev/null; then
        fail $case "the window ended without Exit being confirmed"
    elif ! exit_window; then
        fail $case "the window did not end after Exit"
    else
        if ! upgraded_clean; then
            fail $case "the dock's verdict is not clean (exit $dock_rc): $(violations)"
        elif [ "$(report_counts)" != "$one_upgrade" ]; then
            fail $case "two clicks on Start gave $(report_counts), one upgrade gives $one_upgrade"
        else
            pass $case "asked during the upgrade, the question went by itself; one upgrade for two clicks ($(report_counts)); the dock: chips equal, 0 violations"
            figure "$case wall $(seconds_since "$t0") s"
        fi
    fi
    cleanup_case
}

# The Linux build's upgrade in the same VM, for its turnaround beside the Windows build's.
case_linux_baseline() {
    case=linux-s2-ap
    start_dock --package "$guest/sel2.pkg" --mode ap || { fail $case "dock did not come up"; cleanup_case; return; }
    timeout -s KILL 150 "$guest/tamblor-cli" upgrade --package "$guest/sel2.pkg" > /tmp/$case.cli 2>&1
    cli_rc=$?
    stop_dock 100
    if [ "$cli_rc" != 0 ] || ! upgraded_clean; then
        fail $case "tamblor-cli exited $cli_rc, the dock's verdict: $(violations)"
    else
        pass $case "the dock: chips equal, 0 violations"
    fi
}

# --- The run -------------------------------------------------------------------------------
echo "VMTEST BEGIN windows $(uname -r), root over 9p after $(cut -d" " -f1 /proc/uptime) s"
/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle -t 60

Xvfb :7 -screen 0 1024x768x24 -nolisten tcp > /tmp/xvfb.log 2>&1 &
export DISPLAY=:7
wait_until '[ -S /tmp/.X11-unix/X7 ]' 300 || note "Xvfb did not come up"

# Wine's server and services (winebus among them) on the prefix booted on the host.
t0=$(now_ms)
wineserver -p
"$wine" cmd /c exit 0 > /tmp/wine-boot.log 2>&1
figure "wine-services started in $(seconds_since "$t0") s"
# Without the plug-and-play service no window hears of the dock's restart: say so at once,
# rather than in every case that needs it.
plugplay_state() { "$wine" sc query plugplay 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
# A service still starting is given its time (each query is a Wine process: seconds here).
plugplay_settled() {
    state=$(plugplay_state)
    tries=0
    while [ "$state" = START_PENDING ] && [ $tries -lt 20 ]; do
        sleep 2
        state=$(plugplay_state)
        tries=$((tries + 1))
    done
}
plugplay_settled
if [ "$state" != RUNNING ]; then
    note "Wine's plug-and-play service is ${state:-unknown}, not RUNNING: starting it"
    "$wine" sc start plugplay > /tmp/plugplay-start.log 2>&1
    plugplay_settled
    [ "$state" = RUNNING ] ||
        note "Wine's plug-and-play service is still ${state:-unknown}: no window will hear of the dock's restart"
fi
# Wine ends its desktop process (explorer.exe) whenever the last program on the desktop ends,
# and each window would start it again; under emulation that start may not finish in time. A
# program that holds the desktop keeps it for every case.
"$wine" "$guest/window-probe.exe" hold > /tmp/hold.log 2>&1 &
hold_pid=$!
wait_until 'grep -q holding /tmp/hold.log || ! kill -0 $hold_pid 2>/dev/null' 1200 ||
    note "the desktop holder did not start within 120 s"

# The cases scripts/vm-test chose, in this order.
chosen() { grep -qx "$1" "$guest/cases"; }
chosen win-list && case_list
chosen win-window-s1-ap && case_window win-window-s1-ap 1 --mode ap
chosen win-window-s2-ap && case_window win-window-s2-ap 2 --mode ap
chosen win-window-s3-ap && case_window win-window-s3-ap 3 --mode ap
chosen win-window-s1-isp && case_window win-window-s1-isp 1 --mode isp
chosen win-removal-mid-stream && case_removal
chosen win-exit-question-start-once && case_exit_question
# Wine 8.0 presents only a device's first top-level collection: the dock's comes first here.
# Its preparsed data holds the keyboard's collection as an application collection under the
# dock's and declares the keyboard's report ID 1 beside the dock's 2, and the dock's handle
# delivers the keyboard's reports too, padded to 64 bytes: only the reports of the dock's own
# items (ID 2) may be stepped, or a keyboard report passes for the dock's answer.
chosen win-two-collections && case_window win-two-collections 2 --mode ap --keyboard-every 7 --dock-first
chosen linux-s2-ap && case_linux_baseline
chosen win-no-return && case_no_return
figure "turnaround selector-2 (us): windows-under-wine $(turnaround win-window-s2-ap); linux $(turnaround linux-s2-ap)"
kill -KILL "$hold_pid" 2> /dev/null
wineserver -k
powerdown
