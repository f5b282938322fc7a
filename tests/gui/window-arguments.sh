#!/usr/bin/env bash
# tamblor answers --help and --version without a display and refuses other arguments in one
# line; with a display it answers them too instead of opening the window.
#   window-arguments.sh TAMBLOR
set -uo pipefail
app=$1
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# check PLATFORM EXPECTED_STATUS STDOUT_PATTERN STDERR_LINES ARG...
check() {
    local platform=$1 want=$2 pattern=$3 err_lines=$4
    shift 4
    local status=0
    if [[ $platform == none ]]; then
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$app" "$@" \
            >"$out" 2>"$err" </dev/null || status=$?
    else
        env QT_QPA_PLATFORM="$platform" timeout 20 "$app" "$@" >"$out" 2>"$err" </dev/null ||
            status=$?
    fi
    local what="tamblor $* ($platform)"
    ((status == want)) || fail "$what: exit $status, expected $want; stderr: $(cat "$err")"
    if [[ -n $pattern ]]; then
        grep -qE "$pattern" "$out" || fail "$what: stdout lacks /$pattern/: $(cat "$out")"
    else
        [[ ! -s $out ]] || fail "$what: wrote to stdout: $(cat "$out")"
    fi
    local lines
    lines=$(wc -l <"$err")
    ((lines == err_lines)) || fail "$what: $lines lines on stderr, expected $err_lines"
}

for platform in none offscreen; do
    check "$platform" 0 '^usage: tamblor$' 0 --help
    check "$platform" 0 '^usage: tamblor$' 0 -h
    check "$platform" 0 '^tamblor [0-9]+\.[0-9]+' 0 --version
    check "$platform" 0 '^tamblor [0-9]+\.[0-9]+' 0 -V
    check "$platform" 2 '' 1 --frobnicate
    check "$platform" 2 '' 1 --version extra
done
# An answer that cannot be written is no answer: one line on stderr, status 1.
for arg in --help --version; do
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$app" "$arg" >/dev/full 2>"$err" </dev/null ||
        status=$?
    ((status == 1)) || fail "tamblor $arg >/dev/full: exit $status, expected 1"
    grep -qx "tamblor: cannot write the output" "$err" || fail "tamblor $arg >/dev/full: $(cat "$err")"
done
# Qt's own options still reach Qt: the window opens (and is ended by the timeout) instead of
# refusing them; an option of Qt's that lacks its value is refused.
for args in "-platform offscreen" "-style=fusion -platform offscreen" "-style fusion -reverse -platform offscreen"; do
    status=0
    # shellcheck disable=SC2086 # the words of one case
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 3 "$app" $args >/dev/null 2>"$err" </dev/null || status=$?
    ((status == 124)) || fail "tamblor $args: exit $status, expected the window to run; $(cat "$err")"
done
check none 2 '' 1 -platform
check none 2 '' 1 -platform offscreen --frobnicate
grep -q "unexpected argument '--frobnicate'" <(env -u DISPLAY "$app" --frobnicate 2>&1) ||
    fail "the refusal does not name the argument"

((failures == 0)) || exit 1
echo "tamblor answers its arguments without a display"
