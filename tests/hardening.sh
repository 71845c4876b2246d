#!/usr/bin/env bash
# The checks beside the tests: static analysis of the product code, the unit
# tests under AddressSanitizer and UndefinedBehaviorSanitizer and once under
# valgrind, and a bounded run of each fuzzer from its committed seed corpus
# (tests/fuzz/corpus/NAME) with a fixed seed. Prints
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
    cppcheck --enable=warning,performance,portability --std=c++17 --language=c++ --library=windows \
    --error-exitcode=1 --inline-suppr --quiet -I . -DWIN32 -D_WIN32 --suppress=missingIncludeSystem \
    framework interfaces logic windows control demo testkit tests/fuzz scripts/msi

sanitized() {
    cmake -S "$root" -B "$build/asan" -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" &&
        cmake --build "$build/asan" -j "$jobs" --target orvanta_unit_tests &&
        timeout 900 "$build/asan/orvanta_unit_tests"
}
check "unit tests under ASan and UBSan" "$log/asan.log" sanitized

memcheck() {
    [ -x "$build/native/orvanta_unit_tests" ] || return 1
    timeout 1200 valgrind --error-exitcode=9 --leak-check=full --errors-for-leak-kinds=definite --quiet \
        "$build/native/orvanta_unit_tests"
}
check "unit tests under valgrind memcheck" "$log/valgrind.log" memcheck

fuzz_build() {
    CXX=clang++ cmake -S "$root" -B "$build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTA_FUZZ=ON \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" &&
        cmake --build "$build/fuzz" -j "$jobs" --target fuzz_esc_params fuzz_persist fuzz_reader fuzz_report fuzz_telnet
}
if check "fuzzers build" "$log/fuzz-build.log" fuzz_build; then
    for name in esc_params persist reader report telnet; do
        mkdir -p "$build/fuzz/corpus/$name" "$build/fuzz/crashes"
        # New inputs go to the build's folder; the committed seeds are read only.
        check "fuzzing $name for ${seconds} s (seed $fuzz_seed)" "$log/fuzz-$name.log" \
            timeout $((seconds + 120)) "$build/fuzz/fuzz_$name" -seed="$fuzz_seed" -max_total_time="$seconds" \
            -rss_limit_mb=2048 -artifact_prefix="$build/fuzz/crashes/$name-" "$build/fuzz/corpus/$name" \
            "$root/tests/fuzz/corpus/$name"
    done
fi

echo "hardening: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
