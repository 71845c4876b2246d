#!/usr/bin/env bash
# Explores with the hostile host on random seeds, beside the test command's
# fixed ones: N runs (first argument, default 5) of ORVANTA_HOST_FUZZ_SECONDS
# (default 60) each, on the registered control and the virtual cable, in the
# architecture's prefix (ORVANTA_WINE_ARCH, default the first this machine
# runs). Prints each run's seed and, for a failure, the line that repeats it:
#
#   ORVANTA_HOST_FUZZ_SEED=<seed> ORVANTA_HOST_FUZZ_SECONDS=<s> ...
#
# A seed it finds failing becomes a fixed seed in run.sh (HOST_FUZZ_SEEDS)
# or a regression test once the fault is mended. Needs the builds that
# run_tests.sh makes; call it inside an X display (xvfb-run -a).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ORVANTA_BUILD:-$root/build}
# shellcheck source=tests/wine/harness.sh
source "$root/tests/wine/harness.sh"
wh_trap_install

runs=${1:-5}
secs=${ORVANTA_HOST_FUZZ_SECONDS:-60}
arch=${ORVANTA_WINE_ARCH:-$(wh_run_arches | cut -d' ' -f1)}
case "$arch" in
    win32) dir="$build/i686" ;;
    win64) dir="$build/x86_64" ;;
    *) echo "explore: this machine runs no Windows programs: $(wh_why_not win64)" >&2; exit 2 ;;
esac
[ -f "$dir/orvanta_host_fuzz.exe" ] || { echo "explore: $dir/orvanta_host_fuzz.exe missing (run ./run_tests.sh first)" >&2; exit 2; }

wh_prefix_up "$arch" "$build/wine/$arch-explore"
wh_com_pair 5 6 >/dev/null
out="$build/wine/explore-$arch"
# The fuzzer's files and the protocol file land in the current directory.
mkdir -p "$out/work"
cd "$out/work"
ocx=$(wh_winpath "$dir/ORVANTA.OCX")
wh_run 120 "$out/regsvr32.log" regsvr32 /s "$ocx" >/dev/null

failed=0
for ((i = 0; i < runs; i++)); do
    # A seed given in the environment runs first, to repeat what a run found.
    seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
    [ "$i" -eq 0 ] && [ -n "${ORVANTA_HOST_FUZZ_SEED:-}" ] && seed=$ORVANTA_HOST_FUZZ_SEED
    wh_com_pair_restart 5 >/dev/null
    rc=0
    ORVANTA_PEER_PORTS="COM5:COM6" ORVANTA_HOST_FUZZ_SEED=$seed ORVANTA_HOST_FUZZ_SECONDS=$secs \
        ORVANTA_HOST_FUZZ_STEPS=${ORVANTA_HOST_FUZZ_STEPS:-0} wh_run $((secs + 180)) "$out/host-fuzz-$seed.log" "$dir/orvanta_host_fuzz.exe" >/dev/null || rc=$?
    if [ "$rc" -eq 0 ] && grep -q '^\[  PASSED  \]' <(tr -d '\r' <"$out/host-fuzz-$seed.log"); then
        echo "explore: seed $seed passed"
    else
        failed=$((failed + 1))
        steps=$(tr -d '\r' <"$out/host-fuzz-$seed.log" | sed -n 's/^host fuzz: \([0-9]*\) steps.*/\1/p' | tail -n 1)
        echo "explore: seed $seed FAILED after ${steps:-?} steps (log $out/host-fuzz-$seed.log); repeat it with"
        echo "  ORVANTA_HOST_FUZZ_SEED=$seed ORVANTA_HOST_FUZZ_STEPS=${steps:-0} ORVANTA_WINE_ARCH=$arch $0 1"
    fi
done
wh_run 120 "$out/regsvr32-u.log" regsvr32 /s /u "$ocx" >/dev/null || true
wh_prefix_down
echo "explore: $runs runs, $failed failed"
[ "$failed" -eq 0 ]
