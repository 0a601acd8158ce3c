#!/bin/sh
# Configures and builds the project into build/ (or $TAVIK_BUILD_DIR).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVIK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE="${TAVIK_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
