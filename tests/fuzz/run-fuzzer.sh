#!/bin/sh
# Runs a libFuzzer target for CTest.
#   run-fuzzer.sh replay <fuzzer> <seeds> <crashes>
#       runs every file of the two folders once; fails on the first input that finds a fault.
#   run-fuzzer.sh run <fuzzer> <seeds> <crashes> <work> <artifact-prefix> <seconds> <max-len>
#       copies the seeds into <work> (kept between runs, so the corpus grows) and fuzzes for
#       <seconds>; <seeds> and <crashes> are only read.
set -eu
mode=$1 fuzzer=$2 seeds=$3 crashes=$4

# Every regular file of the given folders except the README files that explain them.
inputs() {
    for dir in "$@"; do
        [ -d "$dir" ] && find "$dir" -type f ! -name 'README*' | LC_ALL=C sort
    done
    return 0
}

case $mode in
replay)
    list=$(inputs "$seeds" "$crashes")
    if [ -z "$list" ]; then
        echo "run-fuzzer: no inputs in $seeds or $crashes" >&2
        exit 1
    fi
    count=$(printf '%s\n' "$list" | wc -l)
    echo "Replaying $count inputs through $(basename "$fuzzer")"
    # File arguments (not folders) make libFuzzer run each input once and stop. Its line per
    # input is left out of the log unless an input fails.
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    status=0
    printf '%s\n' "$list" | tr '\n' '\0' | xargs -0 "$fuzzer" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        cat "$log"
        echo "run-fuzzer: an input failed (status $status)" >&2
        exit 1
    fi
    echo "All $(grep -c '^Executed ' "$log") inputs passed"
    ;;
run)
    work=$5 artifacts=$6 seconds=$7 maxlen=$8
    mkdir -p "$work" "$(dirname "$artifacts")"
    inputs "$seeds" "$crashes" | while IFS= read -r file; do
        cp -n "$file" "$work/" 2>/dev/null || true
    done
    exec "$fuzzer" "$work" -max_total_time="$seconds" -max_len="$maxlen" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts" -print_final_stats=1
    ;;
*)
    echo "usage: run-fuzzer.sh replay|run ..." >&2
    exit 2
    ;;
esac
