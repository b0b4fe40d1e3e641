#!/bin/sh
# Installs the Debian packages that KV32 needs to build and test, when any of them is missing.
set -eu
cd "$(dirname "$0")/.."
missing=""
for pkg in $(cat scripts/packages.txt); do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
