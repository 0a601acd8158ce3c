#!/bin/sh
# Runs a test binary on one of two Avahi test hosts joined by a private link (a veth pair in two
# network namespaces, 10.231.0.0/24): tavikpcb (10.231.0.1) runs the test; the peer tavikpcc
# (10.231.0.2) publishes a notification service named "tavikpcb" and a share. Both hosts, the
# link and their daemons are removed afterwards. Exits 77 (skipped) where this cannot be made.
# Usage: run-avahi-lan.sh <test binary> [arguments...]
set -u
skip() {
    echo "SKIP: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "the Avahi test network needs root (network namespaces, veth)"
for tool in unshare setsid ip hostname mount dbus-daemon dbus-send avahi-daemon avahi-publish; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing; install the test packages (scripts/install-deps.sh test)"
done
getent passwd avahi >/dev/null 2>&1 || skip "the user 'avahi' is missing; the avahi-daemon package creates it"

here=$(cd "$(dirname "$0")" && pwd)
id=$$
nsa="tavik-avahi-a-$id"
nsb="tavik-avahi-b-$id"
peer=""
log=$(mktemp /tmp/tavik-avahi-peer.XXXXXX)

cleanup() {
    if [ -n "$peer" ]; then
        kill -TERM "-$peer" 2>/dev/null
        wait "$peer" 2>/dev/null
    fi
    ip netns del "$nsa" 2>/dev/null
    ip netns del "$nsb" 2>/dev/null
    rm -f "$log"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

ip netns add "$nsa" 2>/dev/null || skip "network namespaces cannot be made here"
ip netns add "$nsb" || exit 1
ip link add "tva$id" type veth peer name "tvb$id" || skip "veth links cannot be made here"
ip link set "tva$id" netns "$nsa"
ip link set "tvb$id" netns "$nsb"
ip -n "$nsa" addr add 10.231.0.1/24 dev "tva$id"
ip -n "$nsb" addr add 10.231.0.2/24 dev "tvb$id"
for ns in "$nsa" "$nsb"; do
    ip -n "$ns" link set lo up
done
ip -n "$nsa" link set "tva$id" up
ip -n "$nsb" link set "tvb$id" up

# The peer runs in a session of its own, so that it can be stopped as a whole.
setsid ip netns exec "$nsb" unshare -m -u --propagation private \
    env TAVIK_AVAHI_HOSTNAME=tavikpcc sh "$here/avahi-host.sh" \
    sh -c 'avahi-publish -s tavikpcb _tavik-msg._tcp 31001 & avahi-publish -s "Shared files" _smb._tcp 445 & wait' \
    >"$log" 2>&1 &
peer=$!

status=0
ip netns exec "$nsa" unshare -m -u --propagation private \
    env TAVIK_AVAHI_HOSTNAME=tavikpcb TAVIK_AVAHI_PEER=tavikpcc TAVIK_AVAHI_PEER_ADDRESS=10.231.0.2 \
    sh "$here/avahi-host.sh" "$@" || status=$?
[ "$status" = 0 ] || { echo "--- peer host output:"; cat "$log"; }
exit "$status"
