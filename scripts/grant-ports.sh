#!/bin/sh
# Gives an executable the capability to bind ports below 1024 (the chat uses 1001 and 1002).
set -u
exe=$1
if getcap "$exe" 2>/dev/null | grep -q cap_net_bind_service; then
    exit 0
fi
if [ "$(id -u)" = 0 ]; then
    setcap cap_net_bind_service=+ep "$exe" && exit 0
elif command -v sudo >/dev/null 2>&1 && { sudo -n true 2>/dev/null || [ -t 0 ]; }; then
    echo "Granting $exe the capability to open ports 1001/1002 (sudo setcap)"
    sudo setcap cap_net_bind_service=+ep "$exe" && exit 0
fi
echo "Note: could not give $exe the capability cap_net_bind_service." >&2
echo "      Connecting will report that port 1001/1002 cannot be opened. As root run:" >&2
echo "      setcap cap_net_bind_service=+ep $exe" >&2
exit 1
