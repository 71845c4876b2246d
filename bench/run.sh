#!/usr/bin/env bash
# The benchmarks, by one command: builds the control and the benchmark program
# for Windows, boots a throwaway Wine prefix with a virtual cable
# (COM5 <-> COM6), measures a script host's own call cost with cscript, runs
# the benchmarks, prints their table and writes $ORVANTA_BUILD/bench/results.csv.
#
#   bench/run.sh [--quick] [--reps=N] [--idle=SECONDS]
#
# ORVANTA_BUILD (default: build/) holds everything it makes;
# the 32-bit build where the machine runs it, else the 64-bit one;
# ORVANTA_BENCH_ARCH=i686 or x86_64 chooses.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANTA_BUILD:-$root/build}

# Wine's desktop needs an X display; a virtual one when there is none.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

bash "$root/scripts/bootstrap.sh"
# shellcheck source=tests/wine/harness.sh
source "$root/tests/wine/harness.sh"
wh_trap_install

# The 32-bit build where this machine runs it, else the 64-bit one.
if [ -n "${ORVANTA_BENCH_ARCH:-}" ]; then
    arch=$ORVANTA_BENCH_ARCH
elif wh_can_run win32; then
    arch=i686
else
    arch=x86_64
    echo "bench: 64-bit build, since win32 cannot run here: $(wh_why_not win32)"
fi
case "$arch" in
    i686) prefix_arch=win32 ;;
    x86_64) prefix_arch=win64 ;;
    *) echo "bench: ORVANTA_BENCH_ARCH must be i686 or x86_64, not '$arch'" >&2; exit 2 ;;
esac
wh_can_run "$prefix_arch" || { echo "bench: $prefix_arch cannot run here: $(wh_why_not "$prefix_arch")" >&2; exit 1; }

echo "== build ($arch, Release)"
dir="$build/$arch"
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "$(nproc)" --target ORVANTA orvanta_bench

wh_prefix_up "$prefix_arch" "$build/wine/bench-$prefix_arch"
wh_com_pair 5 6

out="$build/bench"
work="$out/work-$arch"
rm -rf "$work" && mkdir -p "$work"
ocx=$(wh_winpath "$dir/ORVANTA.OCX")
reps=5
for a in "$@"; do
    case "$a" in --quick) reps=2 ;; --reps=*) reps=${a#--reps=} ;; esac
done

echo "== a script host's own call cost (cscript)"
(cd "$work" && wh_run 120 "$out/regsvr32.log" regsvr32 /s "$ocx" >/dev/null) ||
    echo "bench: regsvr32 failed; the script runs without the control" >&2
costs="$out/script-costs-$arch.txt"
(cd "$work" && wh_run 300 "$costs" cscript.exe //nologo "$(wh_winpath "$root/bench/call_cost.vbs")" "$reps") ||
    echo "bench: the call-cost script failed (see $costs)" >&2
(cd "$work" && wh_run 120 "$out/regsvr32-u.log" regsvr32 /s /u "$ocx" >/dev/null) || true

echo "== benchmarks"
# A fresh cable: a pty keeps the bytes and settings of the run before.
wh_com_pair_restart 5 >/dev/null
csv="$out/results.csv"
rc=0
(cd "$work" && ORVANTA_PEER_PORTS="COM5:COM6" wh_run 1200 "$out/bench-$arch.log" "$dir/orvanta_bench.exe" \
    "--ocx=$ocx" "--csv=$(wh_winpath "$csv")" "--script-costs=$(wh_winpath "$costs")" "$@") || rc=$?
[ "$rc" -eq 0 ] || echo "bench: the benchmark program ended with $rc (log: $out/bench-$arch.log)" >&2
exit "$rc"
