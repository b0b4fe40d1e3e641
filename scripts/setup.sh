#!/bin/sh
# Installs the Debian packages of the lists named (default: run), when any of them is missing:
#   run   what building and running KV32 need (scripts/packages-run.txt)
#   test  what the tests, the benchmarks, the fuzzing, the package's checks and the pictures of
#         the windows need on top of that (scripts/packages-test.txt)
set -eu
cd "$(dirname "$0")/.."
lists="${*:-run}"
missing=""
for list in $lists; do
    [ -f "scripts/packages-$list.txt" ] || { echo "setup.sh: no package list '$list'" >&2; exit 2; }
    for pkg in $(cat "scripts/packages-$list.txt"); do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $pkg"
    done
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
