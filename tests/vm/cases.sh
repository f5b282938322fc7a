#!/bin/sh
# The cases of the kernel test, run by the VM's init as root. Each prints one line
# "VMTEST PASS name [detail]" or "VMTEST FAIL name reason" on the serial console, which the
# host's scripts/vm-test parses; the logs of a failed case follow as "VMTEST-LOG" lines.
# The tool runs as the unprivileged user "tester", the dock as root.

SUCCESS="Chip 3 Checksum pass, ISP Success!"
GADGET=/sys/kernel/config/usb_gadget/tamblor-dock
dock_pid=
dock_rc=

at() { echo "(at $(cut -d" " -f1 /proc/uptime) s)"; }
pass() { echo "VMTEST PASS $* $(at)"; }
fail() {
    echo "VMTEST FAIL $* $(at)"
    for log in /tmp/$case.*; do
        [ -f "$log" ] || continue
        sed "s|^|VMTEST-LOG ${log#/tmp/}: |" "$log" | tail -n 60
    done
}
figure() { echo "VMTEST FIGURE $*"; }

# Centiseconds since boot.
now_cs() {
    read -r up _ < /proc/uptime
    echo $((${up%.*} * 100 + $(echo "${up#*.}" | sed 's/^0//')))
}

# Busybox's su asks root for no password; the arguments hold no spaces.
as_tester() { su -s /bin/sh -c "$*" tester; }

hidraw_nodes() { ls /sys/class/hidraw 2>/dev/null; }

# Waits up to $2 tenths of a second for $1 to succeed.
wait_until() {
    tries=0
    while ! eval "$1"; do
        tries=$((tries + 1))
        [ $tries -ge "$2" ] && return 1
        sleep 0.1
    done
    return 0
}

# Waits up to $2 tenths of a second for process $1 to end; its status in $waited_rc.
wait_pid() {
    if ! wait_until "! kill -0 $1 2>/dev/null" "$2"; then
        waited_rc=timeout
        return 1
    fi
    wait "$1"
    waited_rc=$?
    return 0
}

# Starts tamblor-dock with the report in /tmp/$case.json and waits for its hidraw node.
start_dock() {
    wait_until '[ -z "$(hidraw_nodes)" ]' 50 || { echo "a hidraw node is left over"; return 1; }
    tamblor-dock --report-json /tmp/$case.json --restart-delay-ms 200 "$@" > /tmp/$case.dock 2>&1 &
    dock_pid=$!
    wait_until '[ -n "$(hidraw_nodes)" ] || ! kill -0 $dock_pid 2>/dev/null' 150
    udevadm settle -t 10
    [ -n "$(hidraw_nodes)" ] || { echo "no hidraw node appeared"; return 1; }
    node=/dev/$(hidraw_nodes | head -n 1)
    wait_until "[ -c $node ]" 50
}

# Ends the dock: at once with SIGTERM, or when it ends by itself within $1 tenths of a second.
stop_dock() {
    if ! wait_pid "$dock_pid" "${1:-0}"; then
        kill -TERM "$dock_pid" 2>/dev/null
        wait_pid "$dock_pid" 100
    fi
    dock_rc=$waited_rc
}

# The dock's report ends with $1 and passed: after IspExit, every chip due holds the package's
# bytes and the protocol was clean; otherwise the protocol was clean.
dock_report_ok() {
    grep -q "^{\"end\":\"$1\",\"passed\":true," /tmp/$case.json
}

# The violations the dock noted, as the JSON array's inside.
violations() {
    sed -n 's/.*"violations":\[\(.*\)\]}}$/\1/p' /tmp/$case.json
}

# Restarts, and reports that came before the host had collected the previous answer.
report_counts() {
    grep -o '"restarts":[0-9]*,"earlyReports":[0-9]*' /tmp/$case.json
}

# The tool's whole upgrade as the tester, bounded; its status in $cli_rc.
run_cli() {
    as_tester timeout -s KILL "$1" tamblor-cli upgrade --package "$2" > /tmp/$case.cli 2>&1
    cli_rc=$?
}

case_list() {
    case=list
    start_dock || { fail $case "dock did not come up"; return; }
    as_tester tamblor-cli list --json > /tmp/$case.cli 2>&1
    stop_dock 0
    declared=$(sed -n 's/.*"declared":{\([^}]*\)}.*/\1/p' /tmp/$case.json)
    if [ -z "$declared" ]; then
        fail $case "no declared identity in the dock's report"
    elif ! grep -q "$declared,\"match\":true" /tmp/$case.cli; then
        fail $case "the kernel's view differs from the declared $declared"
    elif [ -d $GADGET ]; then
        fail $case "the gadget is still in configfs after SIGTERM"
    elif [ "$dock_rc" != 0 ]; then
        fail $case "tamblor-dock exited $dock_rc after SIGTERM"
    else
        pass $case "$declared"
    fi
}

case_permissions() {
    case=permissions
    start_dock || { fail $case "dock did not come up"; return; }
    run_cli 60 /vmtest/sel1.pkg
    udevadm info "$node" > /tmp/$case.udev 2>&1
    stop_dock 0
    if [ "$cli_rc" = 0 ]; then
        fail $case "the upgrade ran without access to $node"
    elif ! grep -qx "device Error!" /tmp/$case.cli; then
        fail $case "no \"device Error!\""
    elif ! grep -q "^Permission denied on $node: install 70-tamblor.rules" /tmp/$case.cli; then
        fail $case "no hint line naming the rule"
    elif ! grep -q "^E: TAGS=.*:uaccess:" /tmp/$case.udev; then
        fail $case "the shipped rule did not tag $node"
    else
        pass $case "denied with the hint; shipped rule tags $node uaccess"
    fi
}

# An upgrade that must succeed: $1 case name, $2 package, the rest tamblor-dock's options.
case_upgrade() {
    case=$1
    package=$2
    shift 2
    start_dock --package "$package" "$@" || { fail $case "dock did not come up"; return; }
    t0=$(now_cs)
    run_cli 150 "$package"
    t1=$(now_cs)
    stop_dock 100
    if [ "$cli_rc" != 0 ]; then
        fail $case "tamblor-cli exited $cli_rc"
    elif ! grep -qx "$SUCCESS" /tmp/$case.cli; then
        fail $case "no success line"
    elif [ "$dock_rc" != 0 ] || ! dock_report_ok upgraded; then
        fail $case "the dock's report is not clean (exit $dock_rc)"
    else
        pass $case "$(((t1 - t0) / 100)).$(((t1 - t0) % 100 / 10)) s, $(report_counts)"
    fi
}

case_removal() {
    case=removal-mid-stream
    start_dock --package /vmtest/sel1.pkg --fault remove-after-chunks=70 \
        || { fail $case "dock did not come up"; return; }
    t0=$(now_cs)
    run_cli 60 /vmtest/sel1.pkg
    t1=$(now_cs)
    stop_dock 50
    if [ "$cli_rc" = 0 ] || [ "$cli_rc" = 137 ]; then
        fail $case "tamblor-cli exited $cli_rc"
    elif ! grep -qx "No Device found!" /tmp/$case.cli || ! grep -qx "Error!, restart please." /tmp/$case.cli; then
        fail $case "missing the removal lines"
    elif ! dock_report_ok unplugged; then
        fail $case "the dock did not end unplugged and clean"
    else
        pass $case "exit $cli_rc after $(((t1 - t0) / 100)) s"
    fi
}

case_no_return() {
    case=no-return
    start_dock --package /vmtest/sel1.pkg --fault no-return-after-isp-enter \
        || { fail $case "dock did not come up"; return; }
    t0=$(now_cs)
    run_cli 100 /vmtest/sel1.pkg
    t1=$(now_cs)
    stop_dock 50
    if [ "$cli_rc" = 0 ] || [ "$cli_rc" = 137 ]; then
        fail $case "tamblor-cli exited $cli_rc"
    elif ! grep -qx "No Device found!" /tmp/$case.cli; then
        fail $case "no \"No Device found!\""
    elif grep -qx "Error!, restart please." /tmp/$case.cli; then
        fail $case "an error line while waiting for the boot loader"
    elif ! dock_report_ok unplugged; then
        fail $case "the dock did not end unplugged and clean"
    else
        pass $case "exit $cli_rc after $(((t1 - t0) / 100)) s"
    fi
}

case_sigterm_resume() {
    case=sigterm-resume
    start_dock --package /vmtest/sel2.pkg --progress-every 10 \
        || { fail $case "dock did not come up"; return; }
    # A simple command, so the background child execs su, su execs the shell and the shell
    # execs the tool: $! is the tool itself.
    su -s /bin/sh -c "exec tamblor-cli upgrade --package /vmtest/sel2.pkg" tester \
        > /tmp/$case.cli 2>&1 &
    cli_pid=$!
    # Inside Chip 2's second file (chunks 89 to 644), with room for the time the kill takes.
    if ! wait_until "grep -q 'progress: 150 chunks' /tmp/$case.dock" 600; then
        kill -KILL $cli_pid 2>/dev/null
        stop_dock 0
        fail $case "Chip 2 never reached its middle"
        return
    fi
    t0=$(now_cs)
    kill -TERM $cli_pid
    wait_pid $cli_pid 50
    killed_rc=$waited_rc
    t1=$(now_cs)
    [ "$killed_rc" = timeout ] && kill -KILL $cli_pid
    at_kill=$(grep 'progress:' /tmp/$case.dock | tail -n 1)
    left=$(pidof tamblor-cli)
    mv /tmp/$case.cli /tmp/$case.first
    run_cli 150 /vmtest/sel2.pkg
    stop_dock 100
    if [ "$killed_rc" = timeout ] || [ $((t1 - t0)) -gt 100 ]; then
        fail $case "the tool took $((t1 - t0))0 ms to end after SIGTERM"
    elif [ -n "$left" ]; then
        fail $case "a tamblor-cli is still running after SIGTERM"
    elif ! echo "$at_kill" | grep -q 'Chip 2 5186 + [0-9]* bytes, Chip 3 0 bytes' ||
        echo "$at_kill" | grep -q '+ 32768 bytes'; then
        fail $case "SIGTERM did not come in the middle of Chip 2 ($at_kill)"
    elif [ "$cli_rc" != 0 ] || ! grep -qx "$SUCCESS" /tmp/$case.cli; then
        fail $case "the second run did not succeed (exit $cli_rc)"
    elif ! grep -q '^{"end":"upgraded",' /tmp/$case.json || grep -q '"equal":false' /tmp/$case.json; then
        fail $case "the dock does not hold the package's images"
    elif ! violations | grep -qx '"Chip 2 file 2 ended after [0-9]* bytes, segment 2 holds 32768"'; then
        # The one thing the dock may hold against the host: the killed run's unfinished file.
        fail $case "violations: $(violations)"
    else
        pass $case "ended $((t1 - t0))0 ms after SIGTERM (exit $killed_rc) at${at_kill#*progress:}; second run upgraded, every chip equal, $(report_counts)"
    fi
}

# The operator window, clicked by its probe as an operator clicks it: the same upgrade through the
# window's own event loop, device notifier and button.
case_window() {
    case=window-s1-ap
    start_dock --package /vmtest/sel1.pkg --mode ap || { fail $case "dock did not come up"; return; }
    t0=$(now_cs)
    as_tester QT_QPA_PLATFORM=offscreen timeout -s KILL 90 tamblor-window-probe /vmtest/sel1.pkg 60 \
        > /tmp/$case.window 2>&1
    window_rc=$?
    t1=$(now_cs)
    stop_dock 100
    if [ "$window_rc" != 0 ]; then
        fail $case "the window's probe exited $window_rc"
    elif ! grep -qx "$SUCCESS" /tmp/$case.window; then
        fail $case "no success line in the window's log"
    elif [ "$dock_rc" != 0 ] || ! dock_report_ok upgraded; then
        fail $case "the dock's report is not clean (exit $dock_rc)"
    else
        pass $case "$(((t1 - t0) / 100)).$(((t1 - t0) % 100 / 10)) s, $(report_counts)"
    fi
}

# Two copies of the tool started together on one dock: the one that claims the dock's USB port
# upgrades it, the other says why it leaves the dock alone and exits 1 (nothing was done, but
# the dock asked for is not upgraded by it), and the dock saw one clean upgrade.
case_two_copies() {
    case=two-copies
    start_dock --package /vmtest/sel1.pkg --mode ap || { fail $case "dock did not come up"; return; }
    as_tester timeout -s KILL 150 tamblor-cli upgrade --package /vmtest/sel1.pkg > /tmp/$case.a 2>&1 &
    a_pid=$!
    as_tester timeout -s KILL 150 tamblor-cli upgrade --package /vmtest/sel1.pkg > /tmp/$case.b 2>&1 &
    b_pid=$!
    wait $a_pid
    a_rc=$?
    wait $b_pid
    b_rc=$?
    stop_dock 100
    if [ "$a_rc" = 0 ]; then
        winner=a loser=b loser_rc=$b_rc
    else
        winner=b loser=a loser_rc=$a_rc
    fi
    if [ "$a_rc$b_rc" != "01" ] && [ "$a_rc$b_rc" != "10" ]; then
        fail $case "exit statuses $a_rc and $b_rc, expected 0 and 1"
    elif ! grep -qx "$SUCCESS" /tmp/$case.$winner; then
        fail $case "no success line from the copy that exited 0"
    elif ! grep -q "^tamblor-cli upgrade: another copy of tamblor is upgrading the dock at [0-9]*-[0-9.]*; this one leaves it alone$" /tmp/$case.$loser; then
        fail $case "the refused copy (exit $loser_rc) does not say why"
    elif grep -qx "Waiting..." /tmp/$case.$loser; then
        fail $case "the refused copy started an upgrade"
    elif [ "$dock_rc" != 0 ] || ! dock_report_ok upgraded || [ -n "$(violations)" ]; then
        fail $case "the dock's report is not one clean upgrade (exit $dock_rc): $(violations)"
    else
        place=$(grep -o "dock at [0-9]*-[0-9.]*" /tmp/$case.$loser | head -n 1)
        pass $case "the $place claimed by one copy, the other exited $loser_rc, $(report_counts)"
    fi
}

# What tamblor-dock says when a piece is missing: one line, status 2, no gadget left behind.
case_missing_pieces() {
    case=missing-pieces
    version=$(cat /vmtest/kernel-version)
    hid_function=/lib/modules/$version/$(grep usb_f_hid /vmtest/modules.load)
    : > /tmp/$case.dock
    as_tester tamblor-dock >> /tmp/$case.dock 2>&1
    root_rc=$?
    tamblor-dock --udc nosuch >> /tmp/$case.dock 2>&1
    udc_rc=$?
    rmmod usb_f_hid
    tamblor-dock >> /tmp/$case.dock 2>&1
    function_rc=$?
    insmod "$hid_function"
    if [ "$root_rc$udc_rc$function_rc" != 222 ]; then
        fail $case "exit statuses $root_rc $udc_rc $function_rc, expected 2 each"
    elif [ "$(wc -l < /tmp/$case.dock)" != 3 ]; then
        fail $case "not one line each"
    elif ! grep -q "needs root" /tmp/$case.dock || ! grep -q "no USB device controller named nosuch" /tmp/$case.dock ||
        ! grep -q "sudo modprobe usb_f_hid" /tmp/$case.dock; then
        fail $case "a line does not name what is missing"
    elif [ -e $GADGET ]; then
        fail $case "a half-made gadget is left in configfs"
    else
        pass $case "root, controller and HID function each named"
    fi
}

# tamblor-dock meets every signal that would end it with its gadget taken down: SIGQUIT and
# SIGUSR1 end it as they would (status 128 + N), a reader that went away (SIGPIPE) does not end
# it at all, and the gadget of a dock killed outright is refused at the next start with the one
# command that removes it.
case_dock_signals() {
    case=dock-signals
    for sig in QUIT:131 USR1:138; do
        start_dock || { fail $case "dock did not come up before SIG${sig%:*}"; return; }
        kill -${sig%:*} $dock_pid
        wait_pid $dock_pid 100
        if [ "$waited_rc" != "${sig#*:}" ]; then
            fail $case "SIG${sig%:*} ended the dock with status $waited_rc, not ${sig#*:}"; return
        elif [ -e $GADGET ] || ! wait_until '[ -z "$(hidraw_nodes)" ]' 50; then
            fail $case "SIG${sig%:*} left the gadget behind"; return
        fi
    done
    rm -f /tmp/$case.fifo
    mkfifo /tmp/$case.fifo
    tamblor-dock --restart-delay-ms 200 > /tmp/$case.fifo 2> /tmp/$case.dock &
    dock_pid=$!
    # The reader comes and goes at once: every line the dock writes meets a closed pipe.
    : < /tmp/$case.fifo
    wait_until '[ -n "$(hidraw_nodes)" ] || ! kill -0 $dock_pid 2>/dev/null' 150
    kill -PIPE $dock_pid 2>/dev/null
    sleep 0.5
    if ! kill -0 $dock_pid 2>/dev/null; then
        wait_pid $dock_pid 10
        fail $case "a closed pipe ended the dock (status $waited_rc)"; return
    fi
    stop_dock 0
    if [ "$dock_rc" != 0 ] || [ -e $GADGET ]; then
        fail $case "after SIGPIPE the dock ended with $dock_rc or left its gadget"; return
    fi
    start_dock || { fail $case "dock did not come up before SIGKILL"; return; }
    kill -KILL $dock_pid
    wait_pid $dock_pid 50
    # Bounded: a dock that wrongly comes up must not hold the test.
    timeout -s TERM 10 tamblor-dock > /tmp/$case.again 2>&1
    again_rc=$?
    tamblor-dock --remove > /tmp/$case.remove 2>&1
    remove_rc=$?
    if [ "$again_rc" != 2 ] || ! grep -q "remove it with: tamblor-dock --remove" /tmp/$case.again; then
        fail $case "the start after SIGKILL did not name tamblor-dock --remove (status $again_rc)"
    elif [ "$remove_rc" != 0 ] || [ -e $GADGET ] || ! wait_until '[ -z "$(hidraw_nodes)" ]' 50; then
        fail $case "tamblor-dock --remove did not remove the gadget (status $remove_rc)"
    else
        pass $case "QUIT 131, USR1 138, PIPE ignored; after KILL: refused, then removed"
    fi
}

turnaround_figures() {
    dock=$(sed -n 's/.*"turnaroundUs":{\([^}]*\)}.*/\1/p' /tmp/upgrade-s2-ap.json)
    figure "dock-turnaround selector-2 (us) $dock"
    tamblor-bench turnaround /vmtest/sel2.pkg /vmtest/sel3.pkg 2>&1 | sed 's/^/VMTEST FIGURE bench /'
}

echo "VMTEST BEGIN $(uname -r), booted in $(cut -d" " -f1 /proc/uptime) s"
case_missing_pieces
case_list
case_permissions
cp /vmtest/99-tamblor-vmtest.rules /etc/udev/rules.d/
udevadm control --reload
for selector in 1 2 3; do
    for mode in ap isp; do
        case_upgrade upgrade-s$selector-$mode /vmtest/sel$selector.pkg --mode $mode
    done
done
case_removal
case_no_return
case_upgrade two-collections /vmtest/sel2.pkg --keyboard-every 7
case_sigterm_resume
case_dock_signals
command -v tamblor-window-probe > /dev/null && case_window
case_two_copies
. /vmtest/many-docks.sh
case_four_docks_all
case_docks_figure
case_two_devices
case_four_docks_watch
turnaround_figures
