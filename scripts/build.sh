#!/bin/sh
# Configures and builds the project into build/ (or $TAVIK_BUILD_DIR): everything, or only the
# targets named in $TAVIK_BUILD_TARGETS. Arguments are passed on to CMake's configure step.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVIK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE="${TAVIK_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
targets=""
for target in ${TAVIK_BUILD_TARGETS:-}; do
    targets="$targets --target $target"
done
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" $targets
