#!/bin/sh
# Builds the Debian package into build-deb/ (or the folder given first), with Debian's build flags
# (dpkg-buildflags, all hardening features: fortify, stack protector, relro and bind-now), the
# programs only, and prints the path of the .deb. Further arguments are passed on to CMake's
# configure step (e.g. -DCMAKE_CXX_COMPILER_LAUNCHER=ccache).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-deb}
[ $# -gt 0 ] && shift

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake takes CXXFLAGS and LDFLAGS from the environment when it first configures a folder;
# it has no CPPFLAGS, so the preprocessor's (-D_FORTIFY_SOURCE=2) go with the compiler's.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
# A folder configured before with other flags would keep them.
rm -f "$build/CMakeCache.txt"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIK_BUILD_TESTS=OFF \
    -DTAVIK_BUILD_BENCHMARKS=OFF "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/tavik-light_*.deb
