#!/bin/bash
# Start-up benchmark: tavik-light against a bare Qt window, each started RUNS times on a private
# Xvfb display (no window manager), timed from the start to the main window's MapNotify.
# Usage: bench/startup.sh <build folder> [runs]
set -eu
build=${1:?build folder}
runs=${2:-20}
folder=$(cd "$build/bin" && pwd)
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -dc '0-9' <"$work/display")"
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" LC_ALL=C.UTF-8
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
cd "$folder"
"$folder/bench_startup" "$runs" "bare window" "$folder/bench_bare_window"
"$folder/bench_startup" "$runs" "Tavik Light  ver1.3" ./tavik-light
