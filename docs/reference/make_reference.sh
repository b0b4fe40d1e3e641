#!/bin/sh
# Makes the library's reference with Doxygen and fails when a public function or class of the
# installed headers has no comment, or when Doxygen cannot read a comment. (Constants, members
# and enumerators without a comment of their own are explained by their class's or the file's.)
# Usage: make_reference.sh DOXYGEN OUTPUT_DIR (holding the configured Doxyfile)
set -eu
doxygen="$1"
out="$2"
rm -f "$out/warnings.log"
(cd "$out" && "$doxygen" Doxyfile)
touch "$out/warnings.log"
failing="$(grep -v -E 'Member .* \((variable|typedef|enumeration|enumvalue|define)\) .*is not documented' \
    "$out/warnings.log" | sort -u)" || true
if [ -n "$failing" ]; then
    echo "$failing" >&2
    echo "docs: $(echo "$failing" | wc -l) warnings (above)" >&2
    exit 1
fi
echo "docs: $out/html/index.html"
