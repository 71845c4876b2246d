#!/usr/bin/env bash
# Every test of the project: installs what is missing, builds the native core
# with its unit tests and the control for 32- and 64-bit Windows, runs the unit
# tests, then the Windows tests under Wine on a virtual X display for each
# architecture this machine can run (and says which it cannot, and why), and
# beside them reads both builds as files, makes the release and runs the
# hardening checks (tests/hardening.sh).
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build=${ORVANTA_BUILD:-$root/build}
jobs=$(nproc)
started=$SECONDS
# Each stage says when it began, so a slow run shows where its time went.
stage() { echo "== $* (at $((SECONDS - started)) s)"; }

bash scripts/bootstrap.sh
# What this machine can run is decided once, here, for every script below.
# shellcheck source=tests/wine/harness.sh
source tests/wine/harness.sh
wh_probe_arches

stage native build and unit tests
cmake -S . -B "$build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build/native" -j "$jobs"
unit_rc=0
(cd "$build/native" && ctest --output-on-failure -j "$jobs") | tee "$build/native/ctest.log" || unit_rc=$?
unit_passed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$build/native/ctest.log" |
    awk '{print $1 - $2}')
unit_failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of.*/\1/p' "$build/native/ctest.log")

stage Windows builds
for arch in i686 x86_64; do
    # The Windows test hosts of a build this machine cannot run are not
    # built; the control itself always is, and is read as a file below.
    targets="ORVANTA orvanta_wine_tests orvanta_host_fuzz"
    [ "$arch" = x86_64 ] || wh_can_run win32 || targets=ORVANTA
    cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    # shellcheck disable=SC2086
    cmake --build "$build/$arch" -j "$jobs" --target $targets
done

# The Windows tests mostly wait on devices, windows and timers: they run
# beside the stages below, which are work for the processor and yield to
# them (nice). Their output comes after those stages; the installer
# packages' part waits for the release by the file release.done.
stage "Windows tests under Wine, beside the stages below (their output follows them)"
rm -f "$build/release.done"
wine_rc=0
(ORVANTA_BUILD="$build" ORVANTA_RELEASE_DONE="$build/release.done" \
    xvfb-run -a -s "-screen 0 1280x1024x24" bash tests/wine/run.sh >"$build/wine-run.log" 2>&1 ||
    echo $? >"$build/wine-run.rc") </dev/null &
wine_pid=$!

stage both builds read as files
pe_rc=0
"$build/native/orvanta_pe_tests" --i686="$build/i686/ORVANTA.OCX" --x86_64="$build/x86_64/ORVANTA.OCX" \
    >"$build/pe-tests.log" 2>&1 || pe_rc=$?
grep -E '^\[ *(OK|FAILED|PASSED) *\]' "$build/pe-tests.log" | sort -u
pe_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$build/pe-tests.log")
pe_failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*listed below.*/\1/p' "$build/pe-tests.log")
[ "$pe_rc" -eq 0 ] || [ "${pe_failed:-0}" -gt 0 ] || pe_failed=1

stage the release: signed with a throwaway certificate, stripped, summed
rel_rc=0
ORVANTA_BUILD="$build" nice -n 10 bash tests/release.sh 2>&1 | tee "$build/release-test.log" || rel_rc=$?
: >"$build/release.done"
rel_passed=$(sed -n 's/^release: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$build/release-test.log")
rel_failed=$(sed -n 's/^release: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$build/release-test.log")

stage hardening: static analysis, sanitizers, valgrind, fuzzing
hard_rc=0
ORVANTA_BUILD="$build" nice -n 10 bash tests/hardening.sh | tee "$build/hardening.log" || hard_rc=$?
hard_passed=$(sed -n 's/^hardening: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$build/hardening.log")
hard_failed=$(sed -n 's/^hardening: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$build/hardening.log")

stage the Windows tests under Wine end
wait "$wine_pid" || true
[ ! -f "$build/wine-run.rc" ] || wine_rc=$(cat "$build/wine-run.rc")
cat "$build/wine-run.log"
wine_passed=$(sed -n 's/^wine: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$build/wine-run.log")
wine_failed=$(sed -n 's/^wine: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$build/wine-run.log")

total_passed=$(( ${unit_passed:-0} + ${hard_passed:-0} + ${pe_passed:-0} + ${rel_passed:-0} + ${wine_passed:-0} ))
total_failed=$(( ${unit_failed:-1} + ${hard_failed:-1} + ${pe_failed:-0} + ${rel_failed:-1} + ${wine_failed:-1} ))
[ "$unit_rc" -eq 0 ] && [ "$hard_rc" -eq 0 ] && [ "$rel_rc" -eq 0 ] && [ "$wine_rc" -eq 0 ] || [ "$total_failed" -gt 0 ] || total_failed=1
# What this machine cannot run is neither passed nor failed: say so.
grep '^wine: .* not run: ' "$build/wine-run.log" | sort -u || true
grep '^msi: .* not run: ' "$build/release-test.log" | sort -u || true
echo "(all stages in $((SECONDS - started)) s)"
echo "tests: $total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
