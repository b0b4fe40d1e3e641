#!/bin/sh
# Builds the fuzz target over the table, memo and index readers with clang's libFuzzer (and the
# address and undefined-behaviour sanitizers) into build-fuzz/ and runs it for a bounded time, in
# seconds (default 300), on a corpus seeded with a table, a memo file and a bag that kvdb makes.
# Prints the executions and the crashes found; the inputs that crashed are kept in
# build-fuzz/crashes/. Exit status 1 when something crashed.
# Usage: scripts/fuzz.sh [SECONDS]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-300}"
out="$root/build-fuzz"
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DKV32_FUZZ=ON -DKV32_BUILD_TESTS=OFF -DKV32_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" --target fuzz_tables kvdb
mkdir -p "$out/corpus" "$out/crashes" "$out/tmp"

# The seed: two little-endian lengths, then the table, the memo file and the bag.
seed="$(mktemp -d "${TMPDIR:-/tmp}/kvfuzz-seed.XXXXXX")"
trap 'rm -rf "$seed"' EXIT
kvdb="$out/kvdb"
export ASAN_OPTIONS="detect_leaks=0"
"$kvdb" create "$seed/S.DBF" NAME:C:12 QTY:N:8:2 BORN:D OK:L NOTES:M
for i in 1 2 3 4 5 6 7 8 9; do
    "$kvdb" append "$seed/S.DBF" NAME="N$i" QTY="$i.5" BORN="2024-03-0$i" OK=T NOTES="memo $i"
done
"$kvdb" index "$seed/S.DBF" S BYNAME NAME
"$kvdb" index "$seed/S.DBF" S BYQTY QTY --for "QTY > 2" --descending
"$kvdb" index "$seed/S.DBF" S BYBORN "DTOS(BORN)+UPPER(NAME)" --unique
python3 - "$seed" "$out/corpus/seed" <<'PY'
import struct, sys
folder, path = sys.argv[1], sys.argv[2]
table, memo, bag = (open(f"{folder}/S.{e}", "rb").read() for e in ("DBF", "DBT", "NTX"))
open(path, "wb").write(struct.pack("<HH", len(table), len(memo)) + table + memo + bag)
PY

# Fork mode goes on after a crash, so that one run reports every distinct fault it meets.
log="$out/fuzz.log"
export ASAN_OPTIONS="detect_leaks=1"
status=0
rm -rf "$out/tmp/"kvfuzz*
TMPDIR="$out/tmp" "$out/fuzz_tables" -fork=1 -ignore_crashes=1 -max_total_time="$seconds" -max_len=16384 \
    -rss_limit_mb=2048 -artifact_prefix="$out/crashes/" -print_final_stats=1 \
    "$out/corpus" >"$log" 2>&1 || status=$?
# Fork mode's progress lines: "#RUNS: cov: ... oom/timeout/crash: A/B/C time: Ts ...".
runs="$(sed -n 's/^#\([0-9][0-9]*\): .*/\1/p' "$log" | tail -1)"
crashes="$(find "$out/crashes" -type f | wc -l)"
echo "executions: ${runs:-0}"
echo "crashes: $crashes (inputs in $out/crashes/)"
[ "$crashes" -eq 0 ] && [ "$status" -eq 0 ] || exit 1
