#!/bin/sh
# Starts or stops the Avahi daemon of the test host made by run-avahi-host.sh (its configuration is
# in TAVIK_AVAHI_CONF). "start" returns once the daemon is on the bus.
set -eu
case "${1:-}" in
start)
    avahi-daemon -f "$TAVIK_AVAHI_CONF" --no-drop-root --no-chroot --no-rlimits -D
    tries=0
    until dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Avahi 2>/dev/null | grep -q 'boolean true'; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { echo "avahi-ctl: the daemon did not appear on the bus" >&2; exit 1; }
        sleep 0.1
    done
    ;;
stop)
    [ -f /run/avahi-daemon/pid ] || exit 0
    pid=$(cat /run/avahi-daemon/pid)
    kill "$pid" 2>/dev/null || exit 0
    tries=0
    while kill -0 "$pid" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { kill -9 "$pid" 2>/dev/null; break; }
        sleep 0.1
    done
    ;;
*)
    echo "usage: avahi-ctl.sh start|stop" >&2
    exit 2
    ;;
esac
