#!/bin/sh
# Installs the Debian packages of scripts/packages.txt that are missing.
# Usage: install-deps.sh build|test|bench   ("test" and "bench" install the build group too)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
groups=build
case "${1:-build}" in
test) groups="build test" ;;
bench) groups="build bench" ;;
esac

missing=""
for group in $groups; do
    for pkg in $(awk -v g="$group" '$1 == g { print $2 }' "$here/packages.txt"); do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="$missing $pkg"
    done
done
[ -z "$missing" ] && exit 0

echo "Installing the missing Debian packages:$missing"
if [ "$(id -u)" = 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1 && { sudo -n true 2>/dev/null || [ -t 0 ]; }; then
    as_root="sudo"
else
    echo "These packages are missing and can only be installed as root:$missing" >&2
    echo "Run as root, or install them with: apt-get install$missing" >&2
    exit 1
fi
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
