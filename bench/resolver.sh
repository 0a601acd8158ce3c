#!/bin/sh
# Runs bench_resolver in network and mount namespaces of its own: only loopback, /etc/hosts and
# /etc/resolv.conf replaced by files of this script's (the name server being the benchmark itself
# on 127.0.0.1:53), so that the machine's own files and network are never touched.
# Usage: bench/resolver.sh [build folder]   (as root, or where user namespaces are allowed)
set -eu
build=${1:-$(cd "$(dirname "$0")/.." && pwd)/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '127.0.0.1 localhost\n10.0.0.7 pc-hosts-0.example pc-hosts-19.example pc-hosts-20.example pc-hosts-32.example\n' >"$work/hosts"
# glibc's own timeout and attempts (5 s, 2) unless RESOLVER_OPTIONS says otherwise.
printf 'nameserver 127.0.0.1\n%s\n' "${RESOLVER_OPTIONS:-}" >"$work/resolv.conf"
if [ "$(id -u)" = 0 ]; then flags="-n -m"; else flags="-r -n -m"; fi
# shellcheck disable=SC2086
unshare $flags sh -c 'ip link set lo up && mount --bind "$1/hosts" /etc/hosts &&
    mount --bind "$1/resolv.conf" /etc/resolv.conf && TAVIK_BENCH_RESOLVER=1 exec "$2"' \
    resolver "$work" "$build/bin/bench_resolver"
