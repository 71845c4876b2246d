#!/usr/bin/env bash
# Every test of the project: installs what is missing, builds the native core
# with its unit tests and the control for 32- and 64-bit Windows, runs the unit
# tests, the hardening checks (tests/hardening.sh), then the Windows tests
# under Wine on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build=${ORVANTA_BUILD:-$root/build}
jobs=$(nproc)

bash scripts/bootstrap.sh

echo "== native build and unit tests"
cmake -S . -B "$build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build/native" -j "$jobs"
unit_rc=0
(cd "$build/native" && ctest --output-on-failure -j "$jobs") | tee "$build/native/ctest.log" || unit_rc=$?
unit_passed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$build/native/ctest.log" |
    awk '{print $1 - $2}')
unit_failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of.*/\1/p' "$build/native/ctest.log")

echo "== hardening: static analysis, sanitizers, valgrind, fuzzing"
hard_rc=0
ORVANTA_BUILD="$build" bash tests/hardening.sh | tee "$build/hardening.log" || hard_rc=$?
hard_passed=$(sed -n 's/^hardening: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$build/hardening.log")
hard_failed=$(sed -n 's/^hardening: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$build/hardening.log")

echo "== Windows builds"
for arch in i686 x86_64; do
    cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build/$arch" -j "$jobs" --target ORVANTA orvanta_wine_tests
done

wine_rc=0
ORVANTA_BUILD="$build" xvfb-run -a -s "-screen 0 1280x1024x24" bash tests/wine/run.sh |
    tee "$build/wine-run.log" || wine_rc=$?
wine_passed=$(sed -n 's/^wine: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$build/wine-run.log")
wine_failed=$(sed -n 's/^wine: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$build/wine-run.log")

total_passed=$(( ${unit_passed:-0} + ${hard_passed:-0} + ${wine_passed:-0} ))
total_failed=$(( ${unit_failed:-1} + ${hard_failed:-1} + ${wine_failed:-1} ))
[ "$unit_rc" -eq 0 ] && [ "$hard_rc" -eq 0 ] && [ "$wine_rc" -eq 0 ] || [ "$total_failed" -gt 0 ] || total_failed=1
echo "tests: $total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
