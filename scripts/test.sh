#!/bin/sh
# Installs what the tests need, builds everything and runs every test headless: first the whole
# suite in a normal build, then again with AddressSanitizer and UndefinedBehaviorSanitizer, with
# the fuzzers for a short run (scripts/check.sh). Ends with CTest's summary.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" test
TAVIK_BUILD_DIR=${TAVIK_BUILD_DIR:-$top/build} "$top/scripts/build.sh"
(
    cd "${TAVIK_BUILD_DIR:-$top/build}"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
)
exec "$top/scripts/check.sh"
