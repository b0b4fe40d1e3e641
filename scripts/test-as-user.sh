#!/bin/sh
# Runs the tests already built in build-test/ again as an ordinary user (KV32's users are not
# root, and tests must not pass only because root may write anywhere). Run as root after
# scripts/test.sh; the user KV32_TEST_USER (default kvtest) is created when missing.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
user="${KV32_TEST_USER:-kvtest}"
if [ "$(id -u)" -ne 0 ]; then
    echo "test-as-user.sh: run as root (it switches to $user)" >&2
    exit 2
fi
id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$user"
home="$(getent passwd "$user" | cut -d: -f6)"
# The user needs to reach the tree (search permission only on the folders above it) and to
# write in the build folder (test lists, results).
dir="$root"
while [ "$dir" != "/" ]; do
    dir="$(dirname "$dir")"
    runuser -u "$user" -- test -x "$dir" || chmod o+x "$dir"
done
chmod -R o+rX "$root"
chown -R "$user" "$root/build-test"
runuser -u "$user" -- env HOME="$home" TMPDIR=/tmp QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR= ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir "$root/build-test" --output-on-failure -j "$(nproc)" "$@"
