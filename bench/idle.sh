#!/bin/bash
# Idle benchmark: tavik-light (not connected) and tavik-messenger on a private Xvfb display; after
# a settling pause, their CPU time (/proc/<pid>/stat utime+stime), context switches and resident
# memory over SECONDS of doing nothing.
# Usage: bench/idle.sh <build folder> [seconds]
set -eu
build=${1:?build folder}
seconds=${2:-60}
folder="$build/bin"
work=$(mktemp -d)
pids=()
# Programs first, the display last; their exit statuses do not matter here.
trap 'for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -dc '0-9' <"$work/display")"
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" LC_ALL=C.UTF-8
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
cd "$folder"
./tavik-light 2>/dev/null &
light=$!
pids+=("$light")
# A port of its own, so that a notification service already running here does not matter.
./tavik-messenger --port 39517 2>/dev/null &
messenger=$!
pids+=("$messenger")
sleep 5

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
switches() { awk '/^voluntary_ctxt_switches|^nonvoluntary_ctxt_switches/ {s += $2} END {print s}' "/proc/$1/status"; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
t0_light=$(ticks "$light"); t0_msg=$(ticks "$messenger")
s0_light=$(switches "$light"); s0_msg=$(switches "$messenger")
sleep "$seconds"
hz=$(getconf CLK_TCK)
for name in tavik-light tavik-messenger; do
    if [ $name = tavik-light ]; then pid=$light t0=$t0_light s0=$s0_light; else pid=$messenger t0=$t0_msg s0=$s0_msg; fi
    dt=$(($(ticks "$pid") - t0))
    ds=$(($(switches "$pid") - s0))
    printf '%-16s idle %ss: CPU %d ticks (%.3f%% of one core), %d context switches, resident %d KiB\n' \
        "$name" "$seconds" "$dt" "$(awk -v t="$dt" -v s="$seconds" -v h="$hz" 'BEGIN {print t * 100 / (s * h)}')" "$ds" "$(rss "$pid")"
done
