#!/usr/bin/env bash
# Runs the Windows test host of each architecture under Wine, in a prefix of
# its own that is booted once for the run. Call it inside an X display
# (xvfb-run): the prefix's desktop must come up on that display.
# Prints "wine: N passed, N failed" last.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ORVANTA_BUILD:-$root/build}
# shellcheck source=tests/wine/harness.sh
source "$root/tests/wine/harness.sh"
# shellcheck source=tests/wine/user_hosts.sh
source "$root/tests/wine/user_hosts.sh"
# shellcheck source=tests/wine/msi.sh
source "$root/tests/wine/msi.sh"
# shellcheck source=tests/net/servers.sh
source "$root/tests/net/servers.sh"
wh_trap_install
# The network servers go with the prefixes, also when the run is cut short.
trap 'ns_stop_all; wh_cleanup_all' EXIT

passed=0
failed=0

# The hostile host's seeds in the test command: each repeats its run. A seed
# that explore_host_fuzz.sh finds failing is added here once it is mended.
HOST_FUZZ_SEEDS="1 2 3"
HOST_FUZZ_STEPS=300

# Test suites that need the cable (each gets a fresh one), and suites run by
# steps of their own below (after regsvr32, with the cable pulled, ...).
CABLE_SUITES="Channel Events PeerPort Scan MessageModeScan Soak"
OWN_STEP_SUITES="CablePulled NetPort Regsvr32 SideBySide PerUserRegsvr32"

# Adds the counts of a GoogleTest log; a host that ended early counts as a failure.
count_gtest() {
    local log=$1 rc=$2 what=$3 p f
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
    f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*listed below.*/\1/p' "$log" | tail -n 1)
    p=${p:-0}
    f=${f:-0}
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
        echo "wine: $what ended with $rc before it finished" >&2
        f=1
    fi
    passed=$((passed + p))
    failed=$((failed + f))
}

# One check of a host nobody here wrote: passes when the command succeeds
# and (if given) its output holds the expected line.
check_step() {
    local what=$1 log=$2 expect=$3 rc=0
    shift 3
    wh_run 120 "$log" "$@" >/dev/null || rc=$?
    if [ "$rc" -eq 0 ] && { [ -z "$expect" ] || grep -qx "$expect" <(tr -d '\r' <"$log"); }; then
        echo "[       OK ] $what"
        passed=$((passed + 1))
    else
        echo "[  FAILED  ] $what (exit $rc, output $log):" >&2
        sed 's/^/    /' "$log" >&2
        failed=$((failed + 1))
    fi
}

# Network ports against the servers on the loopback address: the printer on
# raw TCP and ser2net's RFC 2217 port, the far end of ser2net's pty as COM7.
# When the test asks (ser/check) the pty's settings go to ser/stty, read
# while the test holds the connection (ser2net holds the pty only then).
net_step() {
    local arch=$1 dir=$2 ocx=$3 work=$4 net="$build/wine/net-$1" rc=0 asker
    rm -rf "$net" && mkdir -p "$net"
    if ! ns_recorder_start "$net/raw" 65536 || ! ns_ser2net_start "$net/ser"; then
        echo "wine: $arch: the network test servers did not start" >&2
        failed=$((failed + 1))
        ns_stop_all
        return
    fi
    ln -sfn "$net/ser/far" "$WH_PREFIX/dosdevices/com7"
    (for _ in $(seq 1200); do
        if [ -e "$net/ser/check" ]; then
            stty -F "$net/ser/dev" -a >"$net/ser/stty.tmp" && mv "$net/ser/stty.tmp" "$net/ser/stty"
            break
        fi
        sleep 0.1
    done) &
    asker=$!
    (cd "$work" && ORVANTA_NET_DIR=$(wh_winpath "$net") wh_run 180 "$build/wine/tests-$arch-net.log" \
        "$dir/orvanta_wine_tests.exe" "--ocx=$ocx" --gtest_filter='NetPort.*' >/dev/null) || rc=$?
    count_gtest "$build/wine/tests-$arch-net.log" "$rc" "the $arch network port test"
    grep -E '^\[  (PASSED|FAILED)  \]' "$build/wine/tests-$arch-net.log" | sed "s/^/  NetPort: /" | head -n 3
    kill "$asker" 2>/dev/null || true
    wait "$asker" 2>/dev/null || true
    rm -f "$WH_PREFIX/dosdevices/com7"
    ns_stop_all
}

run_arch() {
    local arch=$1 dir=$2 work log rc=0 ocx
    [ -f "$dir/orvanta_wine_tests.exe" ] || { echo "wine: $dir/orvanta_wine_tests.exe missing" >&2; failed=$((failed + 1)); return; }
    # A prefix that should boot and does not is a failure; the other
    # architecture still runs.
    if ! wh_prefix_up "$arch" "$build/wine/$arch" || ! wh_com_pair 5 6; then
        echo "wine: the $arch prefix or its cable did not come up (log: $build/wine/$arch/.wh/setup.log)" >&2
        failed=$((failed + 1))
        wh_prefix_down || true
        return
    fi
    work="$build/wine/work-$arch"
    rm -rf "$work" && mkdir -p "$work"
    # One program holds the desktop for the whole run, so Wine's desktop
    # process (explorer) starts once and not for each process after it;
    # wh_prefix_down ends it.
    local held="$build/wine/desktop-$arch.log" waited=0
    (cd "$work" && exec "$(_wh_loader_for "$dir/orvanta_wine_tests.exe")" "$dir/orvanta_wine_tests.exe" \
        --hold-desktop >"$held" 2>&1 </dev/null) &
    until grep -q 'desktop held' "$held" 2>/dev/null || [ "$waited" -ge 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    log="$build/wine/tests-$arch.log"
    ocx=$(wh_winpath "$dir/ORVANTA.OCX")
    echo "== Windows tests, $arch (prefix booted in ${WH_BOOT_SECONDS:-0} s)"
    # The suites that play the device on the cable run one at a time, each on
    # a fresh cable (a pty keeps the line settings and the bytes of the suite
    # before); all the others share one process without a cable, where a test
    # that skips is a failure: it needs a cable and belongs in CABLE_SUITES.
    local list="$build/wine/tests-$arch.list" suites group filter suite_log peers skipped
    (cd "$work" && wh_run 60 "$list" "$dir/orvanta_wine_tests.exe" --gtest_list_tests) || rc=$?
    suites=" $(tr -d '\r' <"$list" | sed -n 's/^\([A-Za-z0-9_/]*\)\.$/\1/p' | tr '\n' ' ') "
    : >"$log"
    for group in shared $CABLE_SUITES; do
        if [ "$group" = shared ]; then
            filter="-$(printf '%s.*:' $CABLE_SUITES $OWN_STEP_SUITES)"
            peers=""
        else
            case "$suites" in
                *" $group "*) ;;
                *) echo "wine: $arch: no suite $group in the test host" >&2; failed=$((failed + 1)); continue ;;
            esac
            filter="$group.*"
            peers="COM5:COM6"
            wh_com_pair_restart 5 >/dev/null
        fi
        suite_log="$build/wine/tests-$arch-$group.log"
        rc=0
        (cd "$work" && ORVANTA_PEER_PORTS="$peers" wh_run 900 "$suite_log" \
            "$dir/orvanta_wine_tests.exe" "--ocx=$ocx" "--gtest_filter=${filter%:}") || rc=$?
        cat "$suite_log" >>"$log"
        count_gtest "$suite_log" "$rc" "the $arch test host ($group)"
        skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$suite_log" | tail -n 1)
        if [ "$group" = shared ] && [ "${skipped:-0}" -gt 0 ]; then
            echo "wine: $arch: $skipped test(s) of the shared process skipped:" >&2
            grep '^\[  SKIPPED \] [A-Za-z]' "$suite_log" >&2 || true
            failed=$((failed + skipped))
        fi
        grep -E '^\[  (PASSED|FAILED)  \]' "$suite_log" | sed "s/^/  $group: /" | head -n 5
    done

    # The cable pulled under a pending write and a waiting scan task (the
    # pair goes), then for 2 s under a running session (the pair comes back
    # under the same names, cable.back says so): the test says when, by a file.
    local runner step filter
    for step in CablePulled CableReplugged; do
        rm -f "$work/cable.ready" "$work/cable.back"
        wh_com_pair_restart 5 >/dev/null
        rc=0
        filter='CablePulled.*'
        [ "$step" = CablePulled ] || filter='Events.ASessionOutlivesItsCableReplugged'
        (cd "$work" && export ORVANTA_PEER_PORTS="COM5:COM6" ORVANTA_PULL_CABLE=1 ORVANTA_REPLUG_CABLE=1 &&
            wh_run 120 "$build/wine/tests-$arch-$step.log" "$dir/orvanta_wine_tests.exe" "--ocx=$ocx" \
                --gtest_filter="$filter" >/dev/null) &
        runner=$!
        waited=0
        while [ ! -f "$work/cable.ready" ] && [ "$waited" -lt 300 ] && kill -0 "$runner" 2>/dev/null; do
            sleep 0.1
            waited=$((waited + 1))
        done
        wh_com_pair_down 5 || true
        [ "$step" = CablePulled ] || { sleep 2; wh_com_pair 5 6 >/dev/null && : >"$work/cable.back"; }
        wait "$runner" || rc=$?
        count_gtest "$build/wine/tests-$arch-$step.log" "$rc" "the $arch $step test"
        grep -E '^\[  (PASSED|FAILED)  \]' "$build/wine/tests-$arch-$step.log" | sed "s/^/  $step: /" | head -n 3
        [ "$step" = CableReplugged ] || wh_com_pair 5 6 >/dev/null
    done
    net_step "$arch" "$dir" "$ocx" "$work"

    # Registration by regsvr32, the registry against the table, the control
    # from VBScript and JScript, then removal by regsvr32 /u.
    echo "== Real hosts, $arch"
    local w="$build/wine/$arch-hosts" state
    mkdir -p "$w"
    (cd "$work" &&
        check_step "regsvr32 registers ($arch)" "$w/regsvr32.log" "" regsvr32 /s "$ocx"
        # The hostile host, on the registered control and a fresh cable: a
        # fixed list of seeds, each a fixed number of steps, so a failure comes
        # back with its seed (tests/wine/explore_host_fuzz.sh tries new ones).
        if [ -f "$dir/orvanta_host_fuzz.exe" ]; then
            secs=${ORVANTA_HOST_FUZZ_SECONDS:-120}
            for seed in ${ORVANTA_HOST_FUZZ_SEEDS:-$HOST_FUZZ_SEEDS}; do
                wh_com_pair_restart 5 >/dev/null
                rc=0
                ORVANTA_PEER_PORTS="COM5:COM6" ORVANTA_HOST_FUZZ_SEED=$seed \
                    ORVANTA_HOST_FUZZ_STEPS=${ORVANTA_HOST_FUZZ_STEPS:-$HOST_FUZZ_STEPS} \
                    ORVANTA_HOST_FUZZ_SECONDS=$secs wh_run $((secs + 180)) \
                    "$w/host-fuzz-$seed.log" "$dir/orvanta_host_fuzz.exe" >/dev/null || rc=$?
                count_gtest "$w/host-fuzz-$seed.log" "$rc" "the $arch host fuzzer (seed $seed)"
                tr -d '\r' <"$w/host-fuzz-$seed.log" |
                    grep -E '^host fuzz: (seed|[0-9]+ calls|FAULT)|^FATAL|^\[  (PASSED|FAILED)  \]' | head -n 12
            done
        else
            echo "wine: $dir/orvanta_host_fuzz.exe missing" >&2
            failed=$((failed + 1))
        fi
        for state in registered unregistered; do
            if [ "$state" = unregistered ]; then
                check_step "cscript VBScript ($arch)" "$w/vbs.log" "ALL OK" \
                    cscript.exe //nologo "$(wh_winpath "$root/tests/scripts/control.vbs")"
                check_step "cscript JScript ($arch)" "$w/js.log" "ALL OK" \
                    cscript.exe //nologo "$(wh_winpath "$root/tests/scripts/control.js")"
                # Two controls, one on each end of a fresh cable.
                wh_com_pair_restart 5 >/dev/null
                check_step "cscript device channel ($arch)" "$w/channel.log" "ALL OK" \
                    cscript.exe //nologo "$(wh_winpath "$root/tests/scripts/channel.vbs")"
                # A print job to a printer on raw TCP: what it received is the protocol file.
                ns_recorder_start "$w/net-raw" || true
                check_step "cscript network print job ($arch)" "$w/net.log" "ALL OK" \
                    cscript.exe //nologo "$(wh_winpath "$root/tests/scripts/network.vbs")" "socket://127.0.0.1:$NS_PORT"
                ns_stop "$w/net-raw"
                if cmp "$w/net-raw/received" OCXPROT.PRT; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
                check_step "regsvr32 /u unregisters ($arch)" "$w/regsvr32-u.log" "" regsvr32 /s /u "$ocx"
            fi
            rc=0
            ORVANTA_REGSVR32=$state wh_run 120 "$w/registry-$state.log" "$dir/orvanta_wine_tests.exe" \
                "--ocx=$ocx" --gtest_filter='Regsvr32.*' >/dev/null || rc=$?
            count_gtest "$w/registry-$state.log" "$rc" "the $arch registry check ($state)"
            tail -n 3 "$w/registry-$state.log"
        done
        echo "counts $passed $failed" >"$w/counts")
    read -r _ passed failed <"$w/counts"
    user_hosts "$arch" "$dir" "$ocx" "$work"
    # Both packages install into a 64-bit Windows.
    [ "$arch" != win64 ] || msi_round_trip
    wh_prefix_down
}

# Both builds registered in one 64-bit prefix, as a 64-bit Windows holds
# them, and removed in either order: the build left keeps its type library
# (the two share one locale key). Needs 32-bit programs.
side_by_side() {
    local w="$build/wine/side-by-side" first left rc ocx32 ocx64
    if ! wh_can_run win32; then
        echo "wine: side by side not run: $(wh_why_not win32)"
        return
    fi
    if ! wh_prefix_up win64 "$build/wine/win64"; then
        echo "wine: the win64 prefix for the side-by-side check did not come up" >&2
        failed=$((failed + 1))
        return
    fi
    mkdir -p "$w"
    ocx32=$(wh_winpath "$build/i686/ORVANTA.OCX")
    ocx64=$(wh_winpath "$build/x86_64/ORVANTA.OCX")
    echo "== Both builds side by side, win64 prefix"
    for first in win32 win64; do
        check_step "both builds register (win32 then win64)" "$w/reg-$first.log" "" \
            'C:\windows\syswow64\regsvr32.exe' /s "$ocx32"
        check_step "  and the 64-bit build beside it" "$w/reg64-$first.log" "" regsvr32 /s "$ocx64"
        if [ "$first" = win32 ]; then
            check_step "the 32-bit build unregisters" "$w/unreg-$first.log" "" \
                'C:\windows\syswow64\regsvr32.exe' /s /u "$ocx32"
            left=x86_64
        else
            check_step "the 64-bit build unregisters" "$w/unreg-$first.log" "" regsvr32 /s /u "$ocx64"
            left=i686
        fi
        rc=0
        ORVANTA_SIDE_BY_SIDE=1 wh_run 120 "$w/left-$first.log" "$build/$left/orvanta_wine_tests.exe" \
            "--ocx=$(wh_winpath "$build/$left/ORVANTA.OCX")" --gtest_filter='SideBySide.*' >/dev/null || rc=$?
        count_gtest "$w/left-$first.log" "$rc" "the $left type library after removing $first"
        tail -n 1 "$w/left-$first.log"
        # The one left goes too, for the next order.
        if [ "$left" = i686 ]; then
            wh_run 120 "$w/unreg-left-$first.log" 'C:\windows\syswow64\regsvr32.exe' /s /u "$ocx32" >/dev/null || true
        else
            wh_run 120 "$w/unreg-left-$first.log" regsvr32 /s /u "$ocx64" >/dev/null || true
        fi
    done
    wh_prefix_down
}

# ORVANTA_WINE_ARCH picks one architecture ("win32" or "win64") for a faster loop.
# What this machine cannot run is said, and neither passes nor fails.
not_run=()
for arch in ${ORVANTA_WINE_ARCH:-win32 win64}; do
    if ! wh_can_run "$arch"; then
        not_run+=("wine: $arch not run: $(wh_why_not "$arch")")
        continue
    fi
    case "$arch" in
        win32) run_arch win32 "$build/i686" ;;
        win64) run_arch win64 "$build/x86_64" ;;
    esac
done

# Only on a full run: it needs both builds.
if [ -z "${ORVANTA_WINE_ARCH:-}" ] && wh_can_run win64; then side_by_side; fi

[ ${#not_run[@]} -eq 0 ] || printf '%s\n' "${not_run[@]}"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
