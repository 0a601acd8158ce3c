#!/bin/bash
# The connection check's time, from exec to its last line and exit: `tavik-light --check` in a
# network namespace of its own (loopback, and a link to nobody: a veth pair whose far end has no
# address), so that the
# machine's own services and network do not count. Four cases: the partner on loopback with the
# notification service running, the same without it, a name nobody answers for, and a partner
# that never answers a connection request. Each is run RUNS times; median and maximum in ms.
# Usage: bench/check.sh [build folder (default build)] [runs (default 10)]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-10}

if [ -z "${TAVIK_BENCH_NETNS:-}" ]; then
    cmake --build "$build" --target tavik-light tavik-messenger >/dev/null
    if [ "$(id -u)" = 0 ]; then flags=-n; else flags=-rn; fi
    if ! unshare $flags true 2>/dev/null; then
        echo "check.sh: network namespaces are not allowed here" >&2
        exit 77
    fi
    TAVIK_BENCH_NETNS=1 exec unshare $flags "$0" "$build" "$runs"
fi

ip link set lo up
ip link add silent type veth peer name nobody
ip addr add 10.77.0.1/24 dev silent
ip link set silent up
ip link set nobody up
# A fixed neighbour entry, so that requests leave for it without an address look-up that would fail.
ip neigh add 10.77.0.2 lladdr 02:00:00:00:77:02 dev silent nud permanent
cd "$build/bin"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export LC_ALL=C.UTF-8

service=""
trap '[ -z "$service" ] || kill "$service" 2>/dev/null || true' EXIT

# measure LABEL PARTNER: prints "LABEL | median | max | exit status"
measure() {
    times=()
    status=0
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        ./tavik-light --check "$2" >/dev/null && status=0 || status=$?
        times+=($((($(date +%s%N) - start) / 1000000)))
    done
    sorted=$(printf '%s\n' "${times[@]}" | sort -n)
    median=$(echo "$sorted" | sed -n "$(((runs + 1) / 2))p")
    echo "| $1 | $median | $(echo "$sorted" | tail -n 1) | $status |"
}

echo "tavik-light --check, $runs runs each, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| Case | Median ms | Max ms | Exit status |"
echo "|---|---|---|---|"
./tavik-messenger --port 31001 >/dev/null 2>&1 &
service=$!
for _ in $(seq 50); do
    ./tavik-light --check 127.0.0.1 2>/dev/null | sed -n 3p | grep -q '^○' && break
    sleep 0.1
done
measure "partner on loopback, service running" 127.0.0.1
kill "$service"
wait "$service" 2>/dev/null || true
service=""
measure "partner on loopback, no service" 127.0.0.1
measure "a name nobody answers for" nosuchpc
measure "a partner that never answers" 10.77.0.2
