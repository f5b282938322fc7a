# shellcheck shell=bash disable=SC2154 # sourced by scripts/vm-test, which sets the variables
# The Windows mode of scripts/vm-test, sourced by it once the kernel is ready ($build,
# $build_win, $kernel_dir, $version, $modules, $limit and the image functions are set). The
# initramfs holds busybox and modules only: the guest mounts this machine's root read-only over
# 9p with a tmpfs over it and runs Wine, Xvfb and the builds from there. The Wine prefix is
# booted here from nothing, under $build_win/vm, and only read in the guest.
work=$build_win/vm
guest=$work/guest
root=$work/initramfs
prefix=$guest/wineprefix
qemu=
export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="

# Wine's server and services outlive the programs they serve; QEMU runs in a process group of
# its own under timeout. Both end with this script, however it ends.
stop_all() {
    [[ -n $qemu ]] && kill "$qemu" 2>/dev/null
    if [[ -d $prefix ]]; then
        wineserver -k 2>/dev/null || true
        timeout 60 wineserver -w 2>/dev/null || true
    fi
}
trap stop_all EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

rm -rf "$work"
mkdir -p "$guest" "$root"/{bin,proc,sys,dev,vmtest}

# --- The guest's folder: the builds, the packages and the prefix ----------------------------
cp "$build/src/cli/tamblor-cli" "$build/src/dockgadget/tamblor-dock" "$build_win/src/win/tamblor-hidlist.exe" \
    "$build_win/tests/win/window-probe.exe" tests/vm/windows-cases.sh "$guest/"
echo "carrier of a VM test package" >"$work/carrier.txt"
cut_images
for selector in 1 2 3; do
    "$build/src/cli/tamblor-cli" pack --carrier "$work/carrier.txt" --out "$guest/sel$selector.pkg" \
        "${segments[@]}" --selector $selector >/dev/null
    # The window carries its package, as the operators' copy does.
    "$build/src/cli/tamblor-cli" pack --carrier "$build_win/src/win/tamblor.exe" \
        --out "$guest/tamblor-s$selector.exe" "${segments[@]}" --selector $selector >/dev/null
done

# Only the cases named in TAMBLOR_VM_WINDOWS_CASES (separated by spaces), when it is set; the
# guest reads the list from its folder.
expected=(win-list win-window-s1-ap win-window-s2-ap win-window-s3-ap win-window-s1-isp
    win-removal-mid-stream win-exit-question-start-once win-two-collections linux-s2-ap win-no-return)
if [[ -n ${TAMBLOR_VM_WINDOWS_CASES:-} ]]; then
    read -ra chosen <<<"$TAMBLOR_VM_WINDOWS_CASES"
    for name in "${chosen[@]}"; do
        [[ " ${expected[*]} " == *" $name "* ]] || { echo "vm-test: no Windows case $name" >&2; exit 2; }
    done
    expected=("${chosen[@]}")
fi
printf '%s\n' "${expected[@]}" >"$guest/cases"

started=$SECONDS
if ! timeout 600 wineboot --init </dev/null >"$work/wineboot.log" 2>&1; then
    cat "$work/wineboot.log" >&2
    echo "vm-test: Wine could not set up its prefix $prefix" >&2
    exit 1
fi
# winebus: its SDL bus, on by default, keeps the hidraw bus from starting; the input bus would
# add an evdev device of ID 0000:0000. Without a window manager Wine draws the caption itself.
# Wine's service manager gives a service 10 s to start, and under emulation on a loaded host
# a Wine process takes about that: the plug-and-play service then never runs, and no program
# hears of a device's arrival or removal (sechost: "device_notify_proc failed to open RPC
# handle, error 1722"). Wine reads this bound as text, in milliseconds.
cat >"$work/vmtest.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control]
"ServicesPipeTimeout"="300000"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\winebus]
"Enable SDL"=dword:00000000
"DisableInput"=dword:00000001

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"
REG
wine regedit /S "$(winepath -w "$work/vmtest.reg" 2>/dev/null)" </dev/null >>"$work/wineboot.log" 2>&1
wineserver -w
echo "vm-test: Wine prefix booted in $((SECONDS - started)) s ($(du -sm "$prefix" | cut -f1) MB)"

# --- The initramfs: busybox and the modules ---------------------------------------------------
add_program "$(command -v busybox)" /bin/busybox
for applet in $("$root/bin/busybox" --list); do
    [[ -e $root/bin/$applet ]] || ln -s busybox "$root/bin/$applet"
done
ln -s bin "$root/sbin"
# usbmon: a failed case shows the last transfers on the bus.
for wanted in virtio_pci 9pnet_virtio 9p overlay dummy_hcd usb_f_hid libcomposite hid-generic usbhid usbmon; do
    path=$(module_path "$wanted")
    [[ -n $path ]] || { echo "vm-test: $wanted is not in $modules/modules.dep" >&2; exit 1; }
    add_module "$path"
done
for path in "${load_order[@]}"; do
    mkdir -p "$root/lib/modules/$version/$(dirname "$path")"
    cp "$modules/$path" "$root/lib/modules/$version/$path"
done
printf '%s\n' "${load_order[@]}" >"$root/vmtest/modules.load"
echo "$version" >"$root/vmtest/kernel-version"
install -m 0755 tests/vm/init-windows "$root/init"
(cd "$root" && find . | sort | busybox cpio -o -H newc --quiet) >"$work/initramfs.cpio"

# --- The run --------------------------------------------------------------------------------
accel=(-accel tcg,thread=multi)
[[ ${TAMBLOR_VM_ACCEL:-tcg} == kvm ]] && accel=(-accel kvm -cpu host)
console=$work/console.log
: >"$console"
limit=${TAMBLOR_VM_WINDOWS_TIMEOUT:-2400}
echo "vm-test: booting $version for the Windows build ($(du -m "$work/initramfs.cpio" | cut -f1) MB initramfs, the root over 9p, ${accel[1]})"
started=$SECONDS
timeout -s KILL "$limit" qemu-system-x86_64 "${accel[@]}" -machine pc -smp 2 -m 2048 \
    -display none -monitor none -serial "file:$console" -no-reboot \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -kernel "$kernel_dir/boot/vmlinuz-$version" -initrd "$work/initramfs.cpio" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3 tamblor.guest=$guest" &
qemu=$!
# In the background: a signal to this script is handled at once, not when the VM has ended.
tail -n +1 -f --pid=$qemu "$console" | sed -u 's/\r$//' |
    grep --line-buffered -E '^VMTEST (BEGIN|PASS|FAIL|FIGURE|NOTE|END)' &
follower=$!
qemu_rc=0
wait $qemu || qemu_rc=$?
qemu=
wait $follower || true
elapsed=$((SECONDS - started))

passed=0
failed=0
log=$(tr -d '\r' <"$console")
for name in "${expected[@]}"; do
    if grep -q "^VMTEST PASS $name\b" <<<"$log"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        grep -q "^VMTEST FAIL $name\b" <<<"$log" || echo "VMTEST MISSING $name"
    fi
done
if ! grep -q '^VMTEST END' <<<"$log"; then
    echo "vm-test: the VM did not finish (qemu exit $qemu_rc after $elapsed s); console tail:"
    tail -n 40 <<<"$log"
    failed=$((failed + 1))
elif ((failed > 0)); then
    grep '^VMTEST-LOG' <<<"$log" || true
fi
echo "vm-test: Windows VM run took $elapsed s"
echo "$passed passed, $failed failed"
((failed == 0))
