#!/bin/sh
# Builds the Debian packages of KV32 (an optimised build installed under /usr) into
# build-package/, kv32 (the programs) and libkv32-dev (the library's development files), and
# checks what they hold: the file lists, the dependencies, that lintian finds no error in them,
# and that the packaged kv32 runs. Prints the packages' paths. lintian comes with
# the test packages (scripts/setup.sh run test).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"
# The hardening flags of Debian's own builds (fortified functions, read-only relocations bound
# at start, stack protector); the optimisation and the line tables stay the build's own.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS |
    sed -e 's/ *-g\( \|$\)/ /' -e 's/ *-O2\( \|$\)/ /')"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
      -DKV32_BUILD_TESTS=OFF -DKV32_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" >/dev/null
rm -f "$build"/kv32_*.deb "$build"/libkv32-dev_*.deb
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
./usr/share/doc/kv32/README.md.gz
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
actual="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort)"
[ "$actual" = "$expected" ] || fail "unexpected files in $deb:
$actual"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no dependency on Qt"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6svg6' || fail "no dependency on the icon's plug-in"
for recommended in fonts-liberation qt6-translations-l10n; do
    dpkg-deb -f "$deb" Recommends | grep -q "$recommended" || fail "does not recommend $recommended"
done
# Running instances of the service stop on removal and restart on an upgrade.
control="$(mktemp -d)"
dpkg-deb -e "$deb" "$control"
grep -q "stop 'kv32@\*.service'" "$control/prerm" || fail "prerm does not stop the service"
grep -q "try-restart 'kv32@\*.service'" "$control/postinst" || fail "postinst does not restart it"
rm -rf "$control"
command -v lintian >/dev/null || fail "lintian is missing (scripts/setup.sh run test installs it)"
notes="$(lintian --fail-on error --display-info "$deb" 2>&1)" || fail "lintian finds errors in $deb:
$notes"
# Built with the hardening that Debian's builds have: lintian has no note about it.
if echo "$notes" | grep 'hardening-no-' >&2; then fail "$deb lacks hardening"; fi

# The library's development files: the public headers, the archives, the CMake package and
# kv32.pc, nothing else; lintian clean too.
dev="$(ls "$build"/libkv32-dev_*.deb)"
dev_files="$(dpkg-deb -c "$dev" | awk '$1 !~ /^d/ {print $6}' | sort)"
other="$(echo "$dev_files" | grep -v -E '^\./usr/(include/kv32/[a-z]+/[a-z_]+\.h|lib/[^/]+/(libkv32_[a-z]+\.a|cmake/KV32/[A-Za-z0-9-]+\.cmake|pkgconfig/kv32\.pc|kv32/objects-Release/.*\.o)|share/doc/libkv32-dev/(copyright|changelog\.gz))$')" || true
[ -z "$other" ] || fail "unexpected files in $dev:
$other"
for file in include/kv32/util/startup.h include/kv32/tables/tables.h \
            lib/x86_64-linux-gnu/libkv32_tables.a lib/x86_64-linux-gnu/cmake/KV32/KV32Config.cmake \
            lib/x86_64-linux-gnu/cmake/KV32/KV32ConfigVersion.cmake \
            lib/x86_64-linux-gnu/pkgconfig/kv32.pc; do
    echo "$dev_files" | grep -qx "./usr/$file" || fail "$dev lacks /usr/$file"
done
dpkg-deb -f "$dev" Depends | grep -q 'qt6-base-dev' || fail "$dev does not depend on Qt's headers"
lintian --fail-on error,warning "$dev" >&2 || fail "lintian finds errors or warnings in $dev"

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
"$unpacked/usr/bin/kv32" --version | grep -q "^kv32 (KV32) " || fail "the packaged kv32 does not run"
echo "$deb"
echo "$dev"
