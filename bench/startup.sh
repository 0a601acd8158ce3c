#!/bin/bash
# Start-up and idle memory as a user meets them: tavik-light, a bare Qt main window with a list
# (the floor) and, when it is installed, iptux (Debian's LAN messenger, GTK), started in turn on
# a private Xvfb display with the openbox window manager and a D-Bus session bus. Each run is
# timed from exec to its main window being viewable; resident and proportional memory are read
# 3 s later. Then the notification service tavik-messenger's idle memory, the same way.
# Builds its two helpers into the build folder if needed; installs nothing (scripts/install-deps.sh
# bench does).
# Usage: bench/startup.sh [build folder (default build)] [runs (default 7)]
# With TAVIK_BENCH_BEFORE set to the program folder of an earlier build, its tavik-light is measured
# in the same run, interleaved with the others, for before-and-after figures.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-7}

if [ -z "${TAVIK_BENCH_SESSION:-}" ]; then
    for tool in Xvfb openbox dbus-run-session; do
        if ! command -v $tool >/dev/null; then
            echo "startup.sh: $tool is missing; scripts/install-deps.sh bench installs what the benchmark needs" >&2
            exit 77
        fi
    done
    cmake --build "$build" --target tavik-light tavik-messenger bench_startup bench_bare_window >/dev/null
    if [ ! -x "$build/bin/bench_startup" ]; then
        echo "startup.sh: bench_startup was not built (it needs libxcb1-dev: scripts/install-deps.sh bench)" >&2
        exit 77
    fi
    # The rest runs inside a session bus of its own, as in a desktop session; the bus daemon's
    # chatter goes nowhere, the figures to this script's output (descriptor 3).
    exec 3>&1
    TAVIK_BENCH_SESSION=1 exec dbus-run-session -- "$0" "$build" "$runs" >/dev/null 2>&1
fi
exec >&3 2>&3 3>&-

work=$(mktemp -d)
pids=()
# The window manager first, the display last; their exit statuses do not matter here.
trap 'for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp 4>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -dc '0-9' <"$work/display")"
mkdir -m 700 "$work/runtime" "$work/home"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" QT_QPA_PLATFORM=xcb LANG=C.UTF-8
unset LC_ALL
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

folder="$build/bin"
cd "$folder"
programs=(tavik-light "Tavik Light  ver1.3" ./tavik-light
    :: "bare Qt window" "bare window" ./bench_bare_window)
if [ -n "${TAVIK_BENCH_BEFORE:-}" ]; then
    programs+=(:: "tavik-light before" "Tavik Light  ver1.3" "$TAVIK_BENCH_BEFORE/tavik-light")
fi
if command -v iptux >/dev/null; then
    programs+=(:: iptux Iptux iptux)
else
    echo "iptux is not installed (Debian package iptux; scripts/install-deps.sh bench): measured without it"
fi
echo "Start-up and memory, $runs runs each, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
"$folder/bench_startup" "$runs" 3 "${programs[@]}"
echo
# A port of its own (0: any free one), so that a notification service already running here does not matter.
"$folder/bench_startup" "$runs" 3 tavik-messenger - ./tavik-messenger --port 0
