#!/bin/sh
# Installs what the tests need, builds everything and runs every test headless.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" test
TAVIK_BUILD_DIR=${TAVIK_BUILD_DIR:-$top/build} "$top/scripts/build.sh"
cd "${TAVIK_BUILD_DIR:-$top/build}"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)"
