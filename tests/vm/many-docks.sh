#!/bin/sh
# The cases of many docks at once, sourced by cases.sh (its helpers and conventions). dummy_hcd
# has four controllers: tamblor-dock number i is bound to dummy_udc.i and its dock appears on
# port 1 of the root hub of dummy_hcd.i, so each dock's place is known before the tool runs.
# Dock i's report is /tmp/$case.i.json, its output /tmp/$case.i.dock.

# The place (BUSNUM-DEVPATH) of dock $1.
dock_place() {
    echo "$(cat /sys/devices/platform/dummy_hcd.$1/usb*/busnum)-1"
}

# Dock $1's hidraw node is there, with its device file.
dock_node_up() {
    for class in /sys/devices/platform/dummy_hcd.$1/usb*/*/*/*/hidraw/hidraw*; do
        [ -c "/dev/${class##*/}" ] && return 0
    done
    return 1
}

# Starts dock $1 with the rest as its options, and waits until it is on the bus; its pid in
# dock_pid_$1.
plug_dock() {
    i=$1
    shift
    # Emptied here, not by the dock's redirection: that runs in the child, and a first look
    # before it could find the last run's "on the bus" in a file of the same name. Appended
    # to, so that a note of dock_not_up is not overwritten by a dock that is still running.
    : > /tmp/$case.$i.dock
    rm -f /tmp/$case.$i.json
    tamblor-dock --udc dummy_udc.$i --report-json /tmp/$case.$i.json --restart-delay-ms 200 "$@" \
        >> /tmp/$case.$i.dock 2>&1 &
    eval dock_pid_$i=$!
    wait_until "grep -q 'on the bus' /tmp/$case.$i.dock || ! kill -0 \$dock_pid_$i 2>/dev/null" 150
    grep -q 'on the bus' /tmp/$case.$i.dock && return 0
    eval pid=\$dock_pid_$i
    if kill -0 "$pid" 2>/dev/null; then
        why="still not on the bus after 15 s"
    else
        wait "$pid"
        why="exited with status $?"
    fi
    dock_not_up $i "$why"
    return 1
}

# Notes in dock $1's output why it did not come up ($2), with the kernel's last lines.
dock_not_up() {
    { echo "(the test: dock $1 $2; the kernel's last lines follow)"; dmesg | tail -n 8; } \
        >> /tmp/$case.$1.dock
}

# plug_dock, then waits for the dock's node: for a tool started after it.
spawn_dock() {
    plug_dock "$@" || return 1
    wait_until "dock_node_up $1" 150 && return 0
    dock_not_up $1 "is on the bus, but no hidraw node came within 15 s"
    return 1
}

# Waits for docks $2... to end by themselves within $1 tenths of a second (counted from the
# call), else ends them with SIGTERM; each one's status in dock_rc_i.
reap_docks() {
    limit=$1
    shift
    started=$(now_cs)
    for i in "$@"; do
        eval pid=\$dock_pid_$i
        eval dock_pid_$i=
        [ -n "$pid" ] || continue
        left=$((limit - ($(now_cs) - started) / 10))
        [ $left -lt 0 ] && left=0
        if ! wait_pid "$pid" $left; then
            kill -TERM "$pid" 2>/dev/null
            wait_pid "$pid" 100
        fi
        eval dock_rc_$i=\$waited_rc
    done
}

# reap_docks, then waits for their nodes to go.
stop_docks() {
    reap_docks "$@"
    wait_until '[ -z "$(hidraw_nodes)" ]' 50
}

# Dock $1's report: "upgraded", passed, every chip equal, no violation, and the dock exited 0.
dock_upgraded() {
    eval rc=\$dock_rc_$1
    json=/tmp/$case.$1.json
    [ "$rc" = 0 ] && grep -q '^{"end":"upgraded","passed":true,' $json &&
        ! grep -q '"equal":false' $json && grep -q '"violations":\[\]}}$' $json
}

# Dock $1 ended with $2 and a clean protocol.
dock_ended_clean() {
    grep -q "^{\"end\":\"$2\",\"passed\":true," /tmp/$case.$1.json &&
        grep -q '"violations":\[\]}}$' /tmp/$case.$1.json
}

# Nothing was written to dock $1: no chunk, no restart, no violation.
dock_untouched() {
    json=/tmp/$case.$1.json
    grep -q '"restarts":0,' $json && grep -q '"violations":\[\]}}$' $json &&
        grep -q '"chunks":{"chip1":0,"chip2":\[0,0\],"chip3":0}' $json
}

# Seconds with one decimal from centiseconds $1.
seconds() { echo "$(($1 / 100)).$(($1 % 100 / 10))"; }

# The tool's lines about dock $1 in file $2: those prefixed by its place.
place_lines() { grep "^$(dock_place $1): " "$2"; }

# Three healthy docks and one that unplugs in the middle of a stream: `list` and `status`
# show the four places, `upgrade` alone refuses to choose, and one `upgrade --all` upgrades the
# three, reports the fourth as failed by its place, and exits 1.
case_four_docks_all() {
    case=four-docks-all
    for i in 0 1 2; do
        spawn_dock $i --package /vmtest/sel1.pkg || { fail $case "dock $i did not come up"; stop_docks 0 0 1 2; return; }
    done
    spawn_dock 3 --package /vmtest/sel1.pkg --fault remove-after-chunks=100 ||
        { fail $case "dock 3 did not come up"; stop_docks 0 0 1 2 3; return; }
    # Before any write: the inventory shows every place, a plain upgrade refuses to choose.
    as_tester tamblor-cli list --json --package /vmtest/sel1.pkg > /tmp/$case.list 2>&1
    as_tester timeout -s KILL 30 tamblor-cli status --json --package /vmtest/sel1.pkg \
        > /tmp/$case.status 2>&1
    status_rc=$?
    as_tester timeout -s KILL 30 tamblor-cli upgrade --package /vmtest/sel1.pkg > /tmp/$case.refused 2>&1
    refused_rc=$?
    unlisted=
    for i in 0 1 2 3; do
        grep -q "\"$(dock_place $i)\"" /tmp/$case.list || unlisted="$unlisted list:$(dock_place $i)"
        grep -q "\"$(dock_place $i)\"" /tmp/$case.status || unlisted="$unlisted status:$(dock_place $i)"
        grep -q "$(dock_place $i)" /tmp/$case.refused || unlisted="$unlisted refusal:$(dock_place $i)"
    done
    t0=$(now_cs)
    as_tester timeout -s KILL 150 tamblor-cli upgrade --all --package /vmtest/sel1.pkg \
        > /tmp/$case.cli 2>&1
    cli_rc=$?
    t1=$(now_cs)
    stop_docks 100 0 1 2 3
    bad=$(place_lines 3 /tmp/$case.cli | grep "upgrade failed" | head -n 1)
    if [ -n "$unlisted" ]; then
        fail $case "places missing:$unlisted"
    elif [ "$status_rc" != 0 ]; then
        fail $case "status exited $status_rc"
    elif [ "$refused_rc" != 2 ] || [ "$(wc -l < /tmp/$case.refused)" != 1 ]; then
        fail $case "upgrade with four docks and no choice exited $refused_rc, not 2 with one line"
    elif [ "$cli_rc" != 1 ]; then
        fail $case "tamblor-cli exited $cli_rc, not 1"
    elif ! dock_upgraded 0 || ! dock_upgraded 1 || ! dock_upgraded 2; then
        fail $case "a healthy dock's report is not one clean upgrade (exit $dock_rc_0 $dock_rc_1 $dock_rc_2)"
    elif ! dock_ended_clean 3 unplugged; then
        fail $case "the faulty dock did not end unplugged and clean"
    elif [ -z "$bad" ]; then
        fail $case "no verdict line reports the faulty dock at $(dock_place 3) as failed"
    elif ! place_lines 0 /tmp/$case.cli | grep -q "$SUCCESS" || ! place_lines 1 /tmp/$case.cli | grep -q "$SUCCESS" ||
        ! place_lines 2 /tmp/$case.cli | grep -q "$SUCCESS"; then
        fail $case "a healthy dock has no success line under its place"
    elif place_lines 3 /tmp/$case.cli | grep -q "$SUCCESS"; then
        fail $case "the faulty dock was told success"
    else
        pass $case "3 upgraded, every chip equal; $bad; exit 1 after $(seconds $((t1 - t0))) s"
    fi
}

# The guest's CPU time so far, in ticks: "busy total" (idle and I/O wait are not busy).
cpu_ticks() {
    read -r _ user nice system idle iowait irq softirq steal _ < /proc/stat
    busy=$((user + nice + system + irq + softirq + steal))
    echo "$busy $((busy + idle + iowait))"
}

# Docks $2... upgraded by one `upgrade --all`: the wall time in $all_cs, how busy the guest's
# CPUs were meanwhile (docks, kernel and tool together) in $all_busy (percent), tamblor-cli's
# CPU and peak RSS in /tmp/$case.time; $1 names the run. Returns non-zero unless every dock
# upgraded.
timed_all() {
    run=$1
    shift
    all_cs=0
    all_busy=?
    for i in "$@"; do
        spawn_dock $i --package /vmtest/sel1.pkg ||
            { echo "$run: dock $i did not come up"; stop_docks 0 "$@"; return 1; }
    done
    t0=$(now_cs)
    ticks0=$(cpu_ticks)
    as_tester busybox time -o /tmp/$case.$run.time -f '%U+%S_s_CPU,_%M_KiB_RSS' timeout -s KILL 150 \
        tamblor-cli upgrade --all --package /vmtest/sel1.pkg > /tmp/$case.$run.cli 2>&1
    cli_rc=$?
    all_cs=$(($(now_cs) - t0))
    ticks1=$(cpu_ticks)
    all_busy=$(((${ticks1% *} - ${ticks0% *}) * 100 / (${ticks1#* } - ${ticks0#* } + 1)))
    stop_docks 100 "$@"
    bad=
    [ "$cli_rc" = 0 ] || bad="$run: exit $cli_rc;"
    for i in "$@"; do
        dock_upgraded $i || bad="$bad $run: dock $i not clean;"
    done
    [ -z "$bad" ] || { echo "$bad"; return 1; }
}

# Four docks at once against one, in the same run: the wall time of each `upgrade --all`, the
# tool's CPU time and peak RSS. Printed whatever the outcome; the case passes when every
# upgrade passed, the times are not judged.
case_docks_figure() {
    case=one-and-four-docks
    timed_all one 0 > /tmp/$case.why
    one_rc=$?
    one_cs=$all_cs
    one_busy=$all_busy
    timed_all four 0 1 2 3 >> /tmp/$case.why
    four_rc=$?
    four_cs=$all_cs
    four_busy=$all_busy
    ratio=$((four_cs * 100 / (one_cs > 0 ? one_cs : 1)))
    figure "docks-at-once one dock $(seconds $one_cs) s (tool $(tail -n 1 /tmp/$case.one.time 2>/dev/null)," \
        "guest CPUs $one_busy% busy), four docks $(seconds $four_cs) s (tool" \
        "$(tail -n 1 /tmp/$case.four.time 2>/dev/null), guest CPUs $four_busy% busy):" \
        "$((ratio / 100)).$((ratio % 100 / 10))$((ratio % 10))x one dock's time (goal <= 1.15x)"
    if [ "$one_rc$four_rc" != 00 ]; then
        fail $case "not every upgrade passed: $(tr '\n' ' ' < /tmp/$case.why)"
    else
        pass $case "one dock $(seconds $one_cs) s, four docks $(seconds $four_cs) s"
    fi
}

# Two copies of the tool at once, each told one place: each upgrades its own dock, and a third
# dock, named by neither, is left alone.
case_two_devices() {
    case=two-devices
    for i in 0 1 2; do
        spawn_dock $i --package /vmtest/sel1.pkg || { fail $case "dock $i did not come up"; stop_docks 0 0 1 2; return; }
    done
    for i in 0 1; do
        as_tester timeout -s KILL 150 tamblor-cli upgrade --device "$(dock_place $i)" \
            --package /vmtest/sel1.pkg > /tmp/$case.cli$i 2>&1 &
        eval cli_pid_$i=$!
    done
    wait $cli_pid_0
    rc0=$?
    wait $cli_pid_1
    rc1=$?
    stop_docks 100 0 1 2
    if [ "$rc0$rc1" != 00 ]; then
        fail $case "exit statuses $rc0 and $rc1, expected 0 and 0"
    elif ! dock_upgraded 0 || ! dock_upgraded 1; then
        fail $case "a chosen dock's report is not one clean upgrade (exit $dock_rc_0 $dock_rc_1)"
    elif ! dock_untouched 2; then
        fail $case "the dock at $(dock_place 2), named by neither copy, was written"
    elif ! grep -q "$SUCCESS" /tmp/$case.cli0 || ! grep -q "$SUCCESS" /tmp/$case.cli1; then
        fail $case "a copy printed no success line"
    elif grep -q "$(dock_place 1)" /tmp/$case.cli0 || grep -q "$(dock_place 0)" /tmp/$case.cli1; then
        fail $case "a copy speaks of the other copy's dock"
    else
        pass $case "$(dock_place 0) and $(dock_place 1) upgraded by one copy each, $(dock_place 2) untouched"
    fi
}

# Station mode: `upgrade --all --watch` runs first, the docks come one after another, each is
# upgraded as it arrives, one that already has the package's version is left alone; SIGINT
# (default, as at a terminal: a background job of this shell would ignore it) ends the tool
# with a summary.
case_four_docks_watch() {
    case=four-docks-watch
    : > /tmp/$case.why
    version=$(tamblor-cli info --package /vmtest/sel1.pkg | sed -n 's/^Code Ver:\([^ ]*\).*/\1/p')
    su -s /bin/sh -c "exec env-default-signal --default-signal=INT tamblor-cli upgrade --all --watch --package /vmtest/sel1.pkg" \
        tester > /tmp/$case.cli 2>&1 &
    cli_pid=$!
    wait_until "grep -q 'Ctrl-C ends' /tmp/$case.cli" 100
    # The tool takes each dock as soon as it is on the bus: no wait for its node here.
    for i in 0 1 2; do
        plug_dock $i --package /vmtest/sel1.pkg || echo "dock $i did not come up" >> /tmp/$case.why
        sleep 1
    done
    plug_dock 3 --package /vmtest/sel1.pkg --device-version "$version" ||
        echo "dock 3 did not come up" >> /tmp/$case.why
    # Docks 0 to 2 end after their upgrade; dock 3 is left running.
    reap_docks 400 0 1 2
    wait_until "place_lines 3 /tmp/$case.cli | grep -q 'left alone'" 100
    kill -INT $cli_pid
    wait_pid $cli_pid 100
    cli_rc=$waited_rc
    [ "$cli_rc" = timeout ] && kill -KILL $cli_pid
    stop_docks 0 3
    if [ -s /tmp/$case.why ]; then
        fail $case "$(cat /tmp/$case.why)"
    elif [ "$cli_rc" != 0 ]; then
        fail $case "tamblor-cli exited $cli_rc after SIGINT, not 0"
    elif ! dock_upgraded 0 || ! dock_upgraded 1 || ! dock_upgraded 2; then
        fail $case "an arriving dock's report is not one clean upgrade (exit $dock_rc_0 $dock_rc_1 $dock_rc_2)"
    elif ! dock_untouched 3; then
        fail $case "the dock that has $version already was written"
    elif ! place_lines 3 /tmp/$case.cli | grep -q "left alone"; then
        fail $case "the dock at $(dock_place 3) that has $version is not reported left alone"
    elif ! grep -q "^tamblor-cli upgrade: 4 docks: 3 passed, 0 failed, 1 already current$" /tmp/$case.cli; then
        fail $case "no summary of 3 passed and 1 current after SIGINT"
    else
        pass $case "3 upgraded as they came, $(dock_place 3) at $version left alone; SIGINT: exit 0"
    fi
}
