#!/bin/sh
# Builds KV32 into build/ and starts it; every argument goes to the program (try --help).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DKV32_BUILD_TESTS=OFF -DKV32_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build"
exec "$root/build/kv32" "$@"
