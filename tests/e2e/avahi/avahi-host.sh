#!/bin/sh
# The inside of a test host (run-avahi-host.sh, run-avahi-lan.sh): runs in fresh mount and UTS
# namespaces, names the host TAVIK_AVAHI_HOSTNAME (tavikpcb), sets up the bus and the daemon, runs
# the given command, and stops both daemons however the command ends.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
host=${TAVIK_AVAHI_HOSTNAME:-tavikpcb}
work=$(mktemp -d /tmp/tavik-avahi-host.XXXXXX)

cleanup() {
    umount /etc/hosts 2>/dev/null || true
    "$here/avahi-ctl.sh" stop >/dev/null 2>&1 || true
    [ -f /run/dbus/pid ] && kill "$(cat /run/dbus/pid)" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

ip link set lo up
hostname "$host"
mount -t tmpfs tmpfs /run
mkdir -p /run/dbus /run/avahi-daemon
# A ".local" name that only the hosts file knows, for the resolver's name-service path; the copy
# is mounted over /etc/hosts in this host's own mount namespace only.
cp /etc/hosts "$work/hosts"
echo "10.231.9.9 taviknss.local" >>"$work/hosts"
mount --bind "$work/hosts" /etc/hosts

cat >"$work/bus.conf" <<'CONF'
<busconfig><include>/usr/share/dbus-1/system.conf</include><includedir>/usr/share/dbus-1/system.d</includedir></busconfig>
CONF
# IPv6 is off because only loopback exists; the workstation service makes a host service to find.
cat >"$work/avahi.conf" <<CONF
[server]
host-name=$host
use-ipv6=no
enable-dbus=yes
[publish]
publish-workstation=yes
CONF

export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
export TAVIK_AVAHI_CONF="$work/avahi.conf"
export TAVIK_AVAHI_CTL="$here/avahi-ctl.sh"
export TAVIK_AVAHI_HOST="$host"

dbus-daemon --config-file="$work/bus.conf" --fork
"$here/avahi-ctl.sh" start

status=0
"$@" || status=$?
exit $status
