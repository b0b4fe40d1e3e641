#!/bin/sh
# Installs a build into a temporary folder (cmake --install with DESTDIR) and checks every file
# of the installation: the programs, a manual page for each of them that agrees with its --help,
# the desktop entry and its icon, and the systemd unit.
# Usage: check_install.sh BUILD_DIR PREFIX
set -eu
build="$1"
prefix="$2"
dest="$(mktemp -d)"
trap 'rm -rf "$dest"' EXIT
fail() { echo "check_install: $*" >&2; exit 1; }

# The program's files; the library's development files are checked by check_library.sh.
DESTDIR="$dest" cmake --install "$build" --component kv32 >/dev/null
root="$dest$prefix"
[ -x "$root/bin/kv32" ] && [ -x "$root/bin/kvdev" ] || fail "kv32 or kvdev missing from bin/"

expected="$(mktemp)"
actual="$(mktemp)"
trap 'rm -rf "$dest" "$expected" "$actual"' EXIT
{
    echo "lib/systemd/system/kv32@.service"
    echo "share/applications/kv32.desktop"
    echo "share/icons/hicolor/scalable/apps/kv32.svg"
    echo "share/doc/kv32/README.md"
    for program in "$root"/bin/*; do
        echo "bin/$(basename "$program")"
        echo "share/man/man1/$(basename "$program").1"
    done
} | sort >"$expected"
(cd "$root" && find . -type f | sed 's|^\./||' | sort) >"$actual"
diff -u "$expected" "$actual" || fail "the installation holds other files than expected"

desktop-file-validate "$root/share/applications/kv32.desktop" || fail "invalid desktop entry"
grep -q '^Icon=kv32$' "$root/share/applications/kv32.desktop" || fail "desktop entry names no icon"
for key in Name Comment; do
    grep -q "^$key\[it\]=" "$root/share/applications/kv32.desktop" || fail "desktop entry has no $key[it]"
done
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/kv32.svg" || fail "the icon is no SVG"

for program in "$root"/bin/*; do
    name="$(basename "$program")"
    page="$root/share/man/man1/$name.1"
    # Every page leads to the others.
    shown="$(MANWIDTH=200 man -l "$page" 2>/dev/null)"
    for other in "$root"/bin/*; do
        [ "$other" = "$program" ] || echo "$shown" | grep -q "$(basename "$other")(1)" ||
            fail "$name.1 does not name $(basename "$other")(1) in SEE ALSO"
    done
    warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "$name.1 does not render cleanly: $warnings"
    "$program" --version >/dev/null || fail "$name --version failed"
    # Every option that --help shows is in the manual page too.
    for option in $("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        escaped="$(printf '%s' "$option" | sed 's/-/\\\\-/g')"
        grep -q -- "$escaped" "$page" || fail "$name.1 lacks $option, which --help shows"
    done
done

# kv32's page tells the administrator how to run the service.
service="$(MANWIDTH=200 man -l "$root/share/man/man1/kv32.1" 2>/dev/null |
    sed -n '/^SERVICE/,/^[A-Z]/p')"
for needed in 'kv32@.service' 'systemd-escape' '/var/lib/kv32/' 'journalctl -u' 'systemctl edit' \
    '--wait-for-port' '/var/log/kv32/'; do
    echo "$service" | grep -q -- "$needed" || fail "kv32.1's SERVICE section does not name $needed"
done

unit="$root/lib/systemd/system/kv32@.service"
grep -q "^ExecStart=$prefix/bin/kv32 --headless --wait-for-port --port %I" "$unit" ||
    fail "the unit does not start the installed kv32"
grep -q '^SupplementaryGroups=dialout$' "$unit" || fail "the unit does not run in dialout"
grep -q '^LogsDirectory=kv32/%i$' "$unit" || fail "the unit has no folder for a log file"
# Hardened: systemd's own measure of what the service is exposed to stays below 4 (of 10).
summary="$(systemd-analyze security --offline=true "$unit" 2>&1 | grep 'Overall exposure level')" ||
    fail "systemd-analyze security did not rate the unit"
score="$(echo "$summary" | sed 's/.*: *\([0-9.]*\).*/\1/')"
awk -v s="$score" 'BEGIN { exit !(s < 4) }' || fail "the unit is too exposed: $summary"

# The unit starts the kv32 of the prefix chosen when installing, not of the configured one.
other="$dest/elsewhere"
cmake --install "$build" --prefix "$other" --component kv32 >/dev/null
grep -q "^ExecStart=$other/bin/kv32 --headless --wait-for-port --port %I\$" "$other/lib/systemd/system/kv32@.service" ||
    fail "installed with --prefix $other, the unit does not start $other/bin/kv32"
echo "installation checked: $(wc -l <"$actual") files; the unit: $summary"
