#!/bin/sh
# Builds KV32 into build/ and starts it; every argument goes to the program (try --help). The
# build's own output goes to build/build.log and is shown only when the build fails.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
mkdir -p "$root/build"
log="$root/build/build.log"
[ -x "$root/build/kv32" ] ||
    echo "Building KV32 into build/ for the first time; this takes a few minutes." >&2
if ! { cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
             -DKV32_BUILD_TESTS=OFF -DKV32_BUILD_BENCH=OFF &&
       cmake --build "$root/build"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "scripts/run.sh: the build failed (the log above is in $log)" >&2
    exit 1
fi
exec "$root/build/kv32" "$@"
