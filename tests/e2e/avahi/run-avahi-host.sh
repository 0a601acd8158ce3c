#!/bin/sh
# Runs a test binary on an Avahi test host of its own: private network (loopback only), mount and
# UTS namespaces, with its own D-Bus system bus and Avahi daemon, all gone when the test ends.
# Nothing outside the namespaces is touched. Exits 77 (skipped) where such a host cannot be made.
# Usage: run-avahi-host.sh <test binary> [arguments...]
set -u
skip() {
    echo "SKIP: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "the Avahi test host needs root (private network, mount and UTS namespaces)"
for tool in unshare ip hostname mount dbus-daemon dbus-send avahi-daemon avahi-publish; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing; install the test packages (scripts/install-deps.sh test)"
done
getent passwd avahi >/dev/null 2>&1 || skip "the user 'avahi' is missing; the avahi-daemon package creates it"
unshare -n -m -u --propagation private true 2>/dev/null || skip "namespaces are not allowed on this machine"

here=$(cd "$(dirname "$0")" && pwd)
exec unshare -n -m -u --propagation private sh "$here/avahi-host.sh" "$@"
