#!/bin/sh
# Retakes the pictures of KV32's windows in docs/screenshots/ on a virtual X display (Xvfb) with a
# window manager, so that they show the windows framed as on a desktop. Run it after changing a
# window. It builds kv32, kvdev, kvserver and kvshots into build/ first; the main window comes
# from a real kv32 on a pseudo-terminal with kvdev playing the device, the server's window from a
# real kvserver brought into view from its tray icon (trayer holds the tray, xdotool
# double-clicks), the other windows (the main window during a transfer too) from kvshots.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
out="$root/docs/screenshots"

if [ "${1:-}" != "--on-display" ]; then
    "$root/scripts/setup.sh" run test
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DKV32_BUILD_TESTS=OFF -DKV32_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" --target kv32 kvdev kvserver kvshots
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --on-display
fi

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$(mktemp -d)"
work="$(mktemp -d)"
wm=""
kv=""
tray=""
cleanup() {
    [ -n "$kv" ] && kill "$kv" 2>/dev/null || true
    [ -n "$tray" ] && kill "$tray" 2>/dev/null || true
    [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
    rm -rf "$work" "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT

# Waits up to ten seconds for a command to succeed.
wait_for() {
    n=0
    until "$@" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -lt 100 ] || { echo "screenshots: gave up waiting for: $*" >&2; exit 1; }
        sleep 0.1
    done
}

# Frames show the icon and the title only: which buttons a frame offers depends on the desktop.
sed 's|<titleLayout>.*</titleLayout>|<titleLayout>NL</titleLayout>|' /etc/xdg/openbox/rc.xml >"$work/rc.xml"
openbox --sm-disable --config-file "$work/rc.xml" 2>/dev/null &
wm=$!
wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

mkdir -p "$out"
"$build/kvshots" --out "$out"

# The outermost window (the window manager's frame) holding a window.
frame_of() {
    rootwin="$(xwininfo -root | awk '/Window id:/ {print $4}')"
    w="$1"
    while :; do
        parent="$(xwininfo -children -id "$w" | awk '/Parent window id:/ {print $4}')"
        [ "$parent" = "$rootwin" ] && break
        w="$parent"
    done
    echo "$w"
}

# The id of the top-level window whose title begins with a text.
window_titled() {
    xwininfo -root -tree | awk -v t="\"$1" 'index($0, t) {print $1; exit}'
}

# True once a window whose title begins with a text is on screen.
has_window() {
    w="$(window_titled "$1")"
    [ -n "$w" ] && xwininfo -id "$w" | grep -q IsViewable
}

# The device side of the pseudo-terminal that kv32 made.
pty_of() {
    for fd in /proc/"$1"/fd/*; do
        link="$(readlink "$fd" 2>/dev/null || true)"
        case "$link" in /dev/pts/*) echo "$link"; return 0 ;; esac
    done
    return 1
}

# The main window: kv32 serving an empty folder, a device saving, listing and loading files.
mkdir "$work/served" "$work/device"
printf '10 PRINT "CIAO"\r20 GOTO 10\r' >"$work/device/ciao.bas"
head -c 3000 /dev/zero | tr '\0' 'x' >"$work/device/dati.bin"
(cd "$work/served" && exec "$build/kv32" --port PTY </dev/null >"$work/kv32.log" 2>&1) &
kv=$!
wait_for pty_of "$kv"
pty="$(pty_of "$kv")"
dev() { "$build/kvdev" --port "$pty" "$@" >/dev/null; }
dev wait-start
dev mkdir GIOCHI
dev cd GIOCHI
dev save CIAO "$work/device/ciao.bas" --type 0 --param2 10
dev save DATI "$work/device/dati.bin" --type 3
dev cat
dev load CIAO "$work/device/copia.bas"
dev cd ..
wait_for has_window 'KV32 v'
sleep 0.5
"$build/kvshots" --window "$(frame_of "$(window_titled 'KV32 v')")" "$out/main-window.png"

kill -TERM "$kv"
wait "$kv" || true
kv=""

# The maintenance server's window, after two commands were posted to it. It is out of sight until
# its tray icon is double-clicked, so a tray is started first.
trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true &
tray=$!
wait_for sh -c 'xwininfo -root -tree | grep -q "(\"panel\" \"trayer\")"'
mkdir "$work/shared"
(cd "$work/shared" && exec "$build/kvserver" </dev/null >"$work/kvserver.log" 2>&1) &
kv=$!
# The tray icon: the server's small window inside the tray, where it lies on the screen (+X+Y).
tray_icon() {
    xwininfo -root -tree | awk '/"kvserver": \("kvserver"/ && $NF != "+0+0" {print $NF; exit}'
}
has_tray_icon() {
    [ -n "$(tray_icon)" ]
}
wait_for has_tray_icon
(cd "$work/shared" && "$build/kvserver" --post SINCWEB && "$build/kvserver" --post REINDEX)
icon="$(tray_icon)"
x="$(echo "$icon" | cut -d+ -f2)"
y="$(echo "$icon" | cut -d+ -f3)"
xdotool mousemove $((x + 8)) $((y + 8)) click --repeat 2 --delay 80 1
wait_for has_window 'Server '
sleep 0.5
"$build/kvshots" --window "$(frame_of "$(window_titled 'Server ')")" "$out/server-window.png"
kill -TERM "$kv"
wait "$kv" || true
kv=""

# Small files: 8-bit palettes.
if command -v pngquant >/dev/null; then
    pngquant --force --ext .png --skip-if-larger --strip --speed 1 -- "$out"/*.png || true
fi
ls -l "$out"
