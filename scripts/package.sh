#!/bin/sh
# Builds the Debian package of KV32 (an optimised build installed under /usr) into
# build-package/ and checks what it holds: the file list, the dependencies, that lintian finds no
# error in it, and that the packaged kv32 runs. Prints the package's path. lintian comes with
# the test packages (scripts/setup.sh run test).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DKV32_BUILD_TESTS=OFF -DKV32_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" >/dev/null
rm -f "$build"/kv32_*.deb
out="$(cd "$build" && cpack -G DEB 2>&1)" || { echo "$out" >&2; exit 1; }
deb="$(ls "$build"/kv32_*.deb)"
fail() { echo "package: $*" >&2; exit 1; }

expected="./usr/bin/kv32
./usr/bin/kvdb
./usr/bin/kvdev
./usr/bin/kvfile
./usr/bin/kvserver
./usr/bin/kvusers
./usr/lib/systemd/system/kv32@.service
./usr/share/applications/kv32.desktop
./usr/share/doc/kv32/changelog.gz
./usr/share/doc/kv32/copyright
./usr/share/icons/hicolor/scalable/apps/kv32.svg
./usr/share/lintian/overrides/kv32
./usr/share/man/man1/kv32.1.gz
./usr/share/man/man1/kvdb.1.gz
./usr/share/man/man1/kvdev.1.gz
./usr/share/man/man1/kvfile.1.gz
./usr/share/man/man1/kvserver.1.gz
./usr/share/man/man1/kvusers.1.gz"
actual="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)"
[ "$actual" = "$expected" ] || fail "unexpected files in $deb:
$actual"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no dependency on Qt"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6svg6' || fail "no dependency on the icon's plug-in"
command -v lintian >/dev/null || fail "lintian is missing (scripts/setup.sh run test installs it)"
lintian --fail-on error "$deb" >&2 ||
    fail "lintian finds errors in $deb"

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
"$unpacked/usr/bin/kv32" --version | grep -q "^kv32 (KV32) " || fail "the packaged kv32 does not run"
echo "$deb"
