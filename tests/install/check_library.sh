#!/bin/sh
# The library as another program takes it: the development files are installed into a scratch
# prefix, a copy of the example (examples/price_list) is configured against that prefix alone,
# built and run unattended twice (a new table, then the same table again); every installed
# header compiles on its own with the flags of kv32.pc, and kv32.pc names archives that exist.
# Usage: check_library.sh BUILD_DIR SOURCE_DIR CXX_COMPILER
set -eu
build="$1"
source="$2"
cxx="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check_library: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" --component dev >/dev/null
cp -R "$source/examples/price_list" "$work/src"

launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" $launcher \
      >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; fail "configure failed"; }
grep -q "KV32_DIR:PATH=$prefix/" "$work/build/CMakeCache.txt" ||
    fail "the example found KV32 elsewhere than in $prefix"
cmake --build "$work/build" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "build failed"; }

# Run in a folder of its own; the second run finds the table and its bag and adds to them.
mkdir "$work/run"
for articles in 4 8; do
    out="$(cd "$work/run" && QT_QPA_PLATFORM=offscreen timeout 120 "$work/build/price_list" --auto 2>&1)" ||
        { echo "$out" >&2; fail "price_list failed"; }
    for line in "$articles articles" "printed 1 page(s)" "PREZZO / 0 gives 0"; do
        echo "$out" | grep -qx "$line" || { echo "$out" >&2; fail "no line \"$line\""; }
    done
done
echo "$out" | grep -qx "6 articles through the view" || { echo "$out" >&2; fail "the view"; }
left="$(cd "$work/run" && ls | tr '\n' ' ')"
[ "$left" = "PREZZI.DBF PREZZI.DBT PREZZI.NTX " ] || fail "left in the folder: $left"

# Every installed header compiles by itself with kv32.pc's flags.
pc="$(find "$prefix" -name kv32.pc)"
[ -n "$pc" ] || fail "kv32.pc is not installed"
export PKG_CONFIG_PATH="$(dirname "$pc")"
(cd "$prefix/include" && find kv32 -name '*.h' | sort) | sed 's/.*/#include <&>/' >"$work/all.cpp"
[ "$(wc -l <"$work/all.cpp")" -gt 40 ] || fail "too few headers installed"
# shellcheck disable=SC2046
"$cxx" -fsyntax-only $(pkg-config --cflags kv32) "$work/all.cpp" ||
    fail "the installed headers do not compile on their own"
for lib in $(pkg-config --libs-only-l kv32 | tr ' ' '\n' | grep '^-lkv32_'); do
    [ -f "$(dirname "$(dirname "$pc")")/lib${lib#-l}.a" ] || fail "kv32.pc names a missing $lib"
done
echo "library checked: $(wc -l <"$work/all.cpp") headers, the example built and run"
