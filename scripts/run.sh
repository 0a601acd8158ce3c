#!/bin/sh
# Installs what is missing, builds, lets the program open the chat ports, starts the notification
# service if it is not running, and starts Tavik Light from its own folder.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVIK_BUILD_DIR:-$top/build}
"$top/scripts/install-deps.sh" build
# Only the two programs: the tests are built by scripts/test.sh.
TAVIK_BUILD_DIR=$build TAVIK_BUILD_TARGETS="tavik-light tavik-messenger" "$top/scripts/build.sh"
folder=$build/bin

# Ports 1001 and 1002 are below 1024: the program needs the capability to bind them.
"$top/scripts/grant-ports.sh" "$folder/tavik-light" || true

# The notification service shows the partner's connect notice; one copy per user.
if ! pgrep -u "$(id -u)" -x tavik-messenger >/dev/null 2>&1; then
    echo "Starting the notification service tavik-messenger"
    (cd "$folder" && nohup ./tavik-messenger >/dev/null 2>&1 &)
fi

cd "$folder"
exec ./tavik-light "$@"
