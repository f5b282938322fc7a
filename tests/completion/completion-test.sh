#!/usr/bin/env bash
# The bash completion of tamblor-cli, sourced and asked as bash asks it: the commands, each
# command's options (exactly those of its usage line), the faults (exactly the tool's list),
# and files for the file options.
#   completion-test.sh COMPLETION TAMBLOR_CLI
set -uo pipefail
completion=$1
cli=$2
# shellcheck source=/dev/null
source "$completion"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# complete_words WORD... : COMPREPLY for the last word, sorted, one line.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tamblor_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

# expect WANTED WORD...
expect() {
    local wanted=$1
    shift
    local got
    got=$(complete_words "$@")
    [[ $got == "$wanted" ]] || fail "'${*:2}': got '$got', expected '$wanted'"
}

sorted() { printf '%s\n' "$@" | sort -u | xargs; }

# The tool's own lists.
usage_options() { "$cli" "$1" --help | sed -n '/^usage:/,/^[^ u]/p' | grep -oE -- '--[a-z0-9-]+'; }
faults=$("$cli" upgrade --help | sed -n '/^Faults of the emulated dock:/,$ s/^  \([a-z0-9-]*\).*/\1/p')
[[ -n $faults ]] || fail "the tool lists no faults"

expect "help info list pack status upgrade" "$cli" ""
expect "pack" "$cli" pa
expect "--help --version" "$cli" --
for command in info list upgrade status pack; do
    mapfile -t options < <(usage_options "$command")
    expect "$(sorted --help "${options[@]}")" "$cli" "$command" ""
done
expect "--device --device-mode --device-version" "$cli" upgrade --simulate --dev
mapfile -t fault_list <<<"$faults"
expect "$(sorted "${fault_list[@]}")" "$cli" upgrade --simulate --fault ""
expect "chip1-checksum-wrong chip1-erase-busy chip1-erase-fail chip1-prepare-fail" \
    "$cli" upgrade --fault chip1
expect "ap isp" "$cli" upgrade --device-mode ""
expect "" "$cli" upgrade --latency-us ""
expect "" "$cli" upgrade --wait ""
expect "" "$cli" status --docks ""
expect "info list pack status upgrade" "$cli" help ""

# Files, for every option that names one.
touch "$work/segment-a.bin" "$work/segment-b.bin" "$work/other"
for option in --package --carrier --out --segment0 --segment4; do
    expect "$work/segment-a.bin $work/segment-b.bin" "$cli" pack "$option" "$work/seg"
done
expect "$work/other" "$cli" info --package "$work/o"

((failures == 0)) || exit 1
echo "the completion offers the tool's commands, options, faults and files"
