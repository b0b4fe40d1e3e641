#!/bin/sh
# Builds KV32 with AddressSanitizer and UndefinedBehaviorSanitizer into build-test/ and runs every test.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" run test
"$root/scripts/print-queue.sh"
# Every source file follows .clang-format.
find "$root" -path "$root/build*" -prune -o \( -name '*.cpp' -o -name '*.h' \) -print |
    xargs clang-format --dry-run -Werror
cmake -S "$root" -B "$root/build-test" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV32_SANITIZE=ON >/dev/null
cmake --build "$root/build-test"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$root/build-test" --output-on-failure -j "$(nproc)" "$@"
# The Debian package builds and holds what an installation holds.
"$root/scripts/package.sh"
