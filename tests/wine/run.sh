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
wh_trap_install

passed=0
failed=0

run_arch() {
    local arch=$1 dir=$2 work log rc=0
    [ -f "$dir/orvanta_wine_tests.exe" ] || { echo "wine: $dir/orvanta_wine_tests.exe missing" >&2; failed=$((failed + 1)); return; }
    wh_prefix_up "$arch" "$build/wine/$arch"
    wh_com_pair 5 6
    work="$build/wine/work-$arch"
    rm -rf "$work" && mkdir -p "$work"
    log="$build/wine/tests-$arch.log"
    echo "== Windows tests, $arch (prefix booted in ${WH_BOOT_SECONDS:-0} s)"
    (cd "$work" && ORVANTA_PEER_PORTS="COM5:COM6" wh_run 900 "$log" "$dir/orvanta_wine_tests.exe" \
        "--ocx=$(wh_winpath "$dir/ORVANTA.OCX")") || rc=$?
    local p f
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
    f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*listed below.*/\1/p' "$log" | tail -n 1)
    p=${p:-0}
    f=${f:-0}
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
        echo "wine: the $arch test host ended with $rc before it finished" >&2
        f=1
    fi
    passed=$((passed + p))
    failed=$((failed + f))
    wh_prefix_down
}

run_arch win32 "$build/i686"
run_arch win64 "$build/x86_64"

echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
