#!/bin/sh
# Runs one test binary inside a network namespace of its own, with only loopback up, so that it may
# bind the privileged chat ports 1001/1002 without touching the machine's network. As root a plain
# network namespace is used; otherwise a user namespace maps us to root inside it. Where neither is
# allowed the binary runs as it is, and its tests that need the ports skip with a message.
if [ "$(id -u)" = 0 ]; then flags=-n; else flags=-rn; fi
if unshare $flags true 2>/dev/null; then
    exec unshare $flags sh -c 'ip link set lo up && TAVIK_NETNS=1 exec "$@"' in-netns "$@"
fi
echo "in-netns: network namespaces are not allowed here; running without one" >&2
exec "$@"
