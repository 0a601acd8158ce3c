#!/bin/sh
# The sanitizer and fuzzing stage: builds the whole project and its tests again with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer, plus the libFuzzer targets, into build-check/
# (or $TAVIK_CHECK_BUILD_DIR), and runs every test there, the fuzzers included. Ends with CTest's
# summary and CTest's exit status.
#   TAVIK_FUZZ_SECONDS  how long each fuzzer runs (default 60)
#   Arguments are passed on to ctest (e.g. -R fuzz_ or -LE fuzz).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVIK_CHECK_BUILD_DIR:-$top/build-check}
seconds=${TAVIK_FUZZ_SECONDS:-60}

"$top/scripts/install-deps.sh" test

started=$(date +%s)
CC=clang CXX=clang++ cmake -S "$top" -B "$build" \
    -DCMAKE_BUILD_TYPE=Debug \
    -DTAVIK_SANITIZE=ON -DTAVIK_FUZZ=ON -DTAVIK_WERROR=ON \
    -DTAVIK_FUZZ_SECONDS="$seconds" \
    -DTAVIK_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "check: configure and build took $(($(date +%s) - started)) s"

# Tests added by tavik_add_test get these from CMake; the exports cover everything else
# (e.g. tests with a launcher script of their own).
supp=$top/cmake/sanitizers
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$supp/lsan.supp:print_suppressions=0}"
export QT_QPA_PLATFORM=offscreen
# libfaketime and the AddressSanitizer runtime deadlock while starting a program (both hook
# clock_gettime early), so the end-to-end run matches the date-time fields by pattern here.
export TAVIK_NO_FAKETIME=1

cd "$build"
exec ctest --output-on-failure -j "$(nproc)" "$@"
