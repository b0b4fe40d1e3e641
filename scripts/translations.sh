#!/bin/sh
# Gathers the texts that the windows show (tr() in Qt code, platform::translated below it) into
# data/kv32_it.ts, the windows' Italian, keeping the translations already there. New texts come in
# unfinished: write their Italian in the file (Qt Linguist, or any editor), and the build compiles
# it. With --check, changes nothing and fails when a text has no Italian or the file is not
# up to date with the code (the test suite runs it so).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
lupdate="$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)"
[ -x "$lupdate" ] || { echo "translations.sh: lupdate is missing (Debian: qt6-l10n-tools)" >&2; exit 1; }
ts="$root/data/kv32_it.ts"
folders="cli core errors fs gui platform printing server tables util tools"
target="$ts"
if [ "${1:-}" = "--check" ]; then
    target="$(mktemp --suffix=.ts)"
    trap 'rm -f "$target"' EXIT
    cp "$ts" "$target"
fi
(cd "$root" && "$lupdate" -silent -no-obsolete -locations none -extensions cpp,h \
    -tr-function-alias translate+=translated -source-language en -target-language it \
    $folders -ts "$target" 2>&1) | grep -v 'Ignoring definition of undeclared' >&2 || true
[ "${1:-}" = "--check" ] || exit 0
if grep -q 'type="unfinished"' "$target"; then
    echo "translations.sh: texts without Italian in data/kv32_it.ts (run scripts/translations.sh and translate them):" >&2
    grep -B2 'type="unfinished"' "$target" | grep '<source>' >&2
    exit 1
fi
cmp -s "$ts" "$target" || {
    echo "translations.sh: data/kv32_it.ts is not up to date with the code: run scripts/translations.sh" >&2
    diff "$ts" "$target" >&2 || true
    exit 1
}
