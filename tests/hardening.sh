#!/usr/bin/env bash
# The checks beside the tests: static analysis of the product code, the unit
# tests under AddressSanitizer and UndefinedBehaviorSanitizer and once under
# valgrind, and a bounded run of each fuzzer from its committed seed corpus
# (tests/fuzz/corpus/NAME) with a fixed seed. The sanitized unit tests and the
# fuzzers come from one clang build, so the product is compiled with the
# sanitizers once. Prints
# "hardening: N passed, N failed" last.
#
# A long fuzzing run, after a first ./run_tests.sh:
#   ORVANTA_FUZZ_SECONDS=600 ORVANTA_FUZZ_SEED=0 bash tests/hardening.sh
# (seed 0: libFuzzer picks one and prints it). What it finds that is worth
# keeping goes into the seed corpus: fuzz_NAME -merge=1 tests/fuzz/corpus/NAME
# build/fuzz/corpus/NAME.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANTA_BUILD:-$root/build}
jobs=$(nproc)
seconds=${ORVANTA_FUZZ_SECONDS:-10}
fuzz_seed=${ORVANTA_FUZZ_SEED:-1}
passed=0
failed=0

check() {
    local what=$1 log=$2
    shift 2
    if "$@" >"$log" 2>&1; then
        echo "[       OK ] $what"
        passed=$((passed + 1))
    else
        echo "[  FAILED  ] $what (log: $log)" >&2
        tail -n 30 "$log" | sed 's/^/    /' >&2
        failed=$((failed + 1))
    fi
}

mkdir -p "$build/hardening"
log=$build/hardening

cd "$root"
check "cppcheck on the product code" "$log/cppcheck.log" \
    cppcheck -j "$jobs" --enable=warning,performance,portability --std=c++17 --language=c++ --library=windows \
    --error-exitcode=1 --inline-suppr --quiet -I . -DWIN32 -D_WIN32 --suppress=missingIncludeSystem \
    framework interfaces logic windows control demo testkit tests/fuzz scripts/msi

# One clang build with the sanitizers (and the fuzzers' coverage hooks, which
# cost the unit tests nothing that matters) for the unit tests and the fuzzers;
# -O1 with line tables only compiles in two thirds of the time -O2 -g takes and
# still names the line of each report.
fuzzers="esc_params persist reader report telnet"
sanitized_build() {
    local targets=orvanta_unit_tests name
    for name in $fuzzers; do targets="$targets fuzz_$name"; done
    CXX=clang++ cmake -S "$root" -B "$build/fuzz" -DCMAKE_BUILD_TYPE= -DORVANTA_FUZZ=ON \
        -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" &&
        # shellcheck disable=SC2086
        cmake --build "$build/fuzz" -j "$jobs" --target $targets
}
built=0
check "sanitized unit tests and fuzzers build" "$log/fuzz-build.log" sanitized_build && built=1
sanitized() { [ "$built" -eq 1 ] && timeout 900 "$build/fuzz/orvanta_unit_tests"; }
check "unit tests under ASan and UBSan" "$log/asan.log" sanitized

memcheck() {
    [ -x "$build/native/orvanta_unit_tests" ] || return 1
    timeout 1200 valgrind --error-exitcode=9 --leak-check=full --errors-for-leak-kinds=definite --quiet \
        "$build/native/orvanta_unit_tests"
}
check "unit tests under valgrind memcheck" "$log/valgrind.log" memcheck

# Each fuzzer is one process on one core: they run as many at a time as there
# are cores, and report in their fixed order.
fuzz_one() {
    local name=$1
    mkdir -p "$build/fuzz/corpus/$name" "$build/fuzz/crashes"
    # New inputs go to the build's folder; the committed seeds are read only.
    timeout $((seconds + 120)) "$build/fuzz/fuzz_$name" -seed="$fuzz_seed" -max_total_time="$seconds" \
        -rss_limit_mb=2048 -artifact_prefix="$build/fuzz/crashes/$name-" "$build/fuzz/corpus/$name" \
        "$root/tests/fuzz/corpus/$name" >"$log/fuzz-$name.log" 2>&1
    echo $? >"$log/fuzz-$name.rc"
}
if [ "$built" -eq 1 ]; then
    running=0
    for name in $fuzzers; do
        rm -f "$log/fuzz-$name.rc"
        fuzz_one "$name" &
        running=$((running + 1))
        if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
    done
    wait
    for name in $fuzzers; do
        check "fuzzing $name for ${seconds} s (seed $fuzz_seed)" "$log/fuzz-$name.log" \
            test "$(cat "$log/fuzz-$name.rc" 2>/dev/null)" = 0
    done
fi

echo "hardening: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
