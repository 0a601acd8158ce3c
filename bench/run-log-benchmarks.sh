#!/bin/sh
# Log benchmarks: writes a log of RECORDS lines (1,000,000 by default, mixed Japanese and ASCII)
# through the exit-flow writer, loads that file the way the log viewer does, and times
# "iconv -f CP932 -t UTF-8" over the same file as the floor. Each load and the floor run three
# times; then a year of daily logs is searched beside grep (bench_log_search). The figures are
# printed one per line.
#
#   bench/run-log-benchmarks.sh [BUILD_DIR]
#
# BUILD_DIR is a build tree with the benchmarks (Release); without it a Release build of the two
# benchmark programs is made in ${TMPDIR:-/tmp}/tavik-bench-build.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
records=${RECORDS:-1000000}
build=${1:-}
if [ -z "$build" ]; then
    build="${TMPDIR:-/tmp}/tavik-bench-build"
    cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target bench_log_write bench_log_load bench_log_search -j"$(nproc)" >/dev/null
fi
bin="$build/bin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

echo "machine: $(nproc) cores,$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"

written=$("$bin/bench_log_write" "$records" "$work/log")
echo "bench_log_write: $written"
file=${written##*file=}

for run in 1 2 3; do
    echo "bench_log_load run $run: $("$bin/bench_log_load" "$file" 2>/dev/null)"
done
for run in 1 2 3; do
    start=$(date +%s.%N)
    iconv -f CP932 -t UTF-8 "$file" >/dev/null
    end=$(date +%s.%N)
    echo "floor run $run: iconv -f CP932 -t UTF-8 seconds=$(echo "$start $end" | awk '{printf "%.3f", $2 - $1}')"
done
"$bin/bench_log_search" "$work/year"
