#!/usr/bin/env bash
# End-to-end checks of the GTK display in a real X server (Xvfb with openbox as
# window manager): first the display driver alone, driven through a stand-in
# core (gtk_driver_probe), then the real program on the sample photograph.
# Every wait is bounded; a failure names what was expected and what was seen.
#
#   tests/e2e/gtk_viewer.sh [BUILD_DIR]      (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/default}

if [ -z "${QV_E2E_IN_X:-}" ]; then
    # A fresh X server of our own, with a known depth and size.
    exec env QV_E2E_IN_X=1 timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        bash "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "gtk e2e: FAIL: $*" >&2
    exit 1
}
step() { echo "gtk e2e: $*"; }

# Polls a command (up to $1 tenths of a second) until it succeeds.
wait_for() {
    local tenths=$1
    shift
    for ((i = 0; i < tenths; i++)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}

# Sets CX CY CW CH: where a window's own area is on the screen.
client_geometry() {
    local info
    info=$(xwininfo -id "$1") || fail "window $1 is gone"
    CX=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
    CY=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
    CW=$(awk '/^ *Width:/ {print $2}' <<<"$info")
    CH=$(awk '/^ *Height:/ {print $2}' <<<"$info")
}

# Counts the pixels in which two pictures differ (0 when equal).
pixels_differing() {
    compare -metric AE "$1" "$2" null: 2>&1 || true
}

visible_named() { xdotool search --onlyvisible --name "$1"; }
menu_gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

# The first visible window named $1 (a regular expression), waited for.
window_named() {
    local id
    id=$(timeout 10 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1) || true
    [ -n "$id" ] || fail "no window named '$1' appeared within 10 s"
    echo "$id"
}

# Waits up to 10 s for process $1 to end and leaves its status in $status.
wait_exit() {
    wait_for 100 bash -c "! kill -0 $1" || fail "$2 did not end within 10 s"
    status=0
    wait "$1" || status=$?
}

for tool in xdotool xclip xwininfo xprop import compare openbox; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 100 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
    fail "openbox did not start: $(cat "$work/openbox.log")"

# ---------------------------------------------------------------------------
step "driver: window, painting, input, menu, clipboard, close"
probe=$build/tests/e2e/gtk_driver_probe
[ -x "$probe" ] || fail "$probe is not built"
"$probe" "$work/pattern.bmp" "$work/pasted.bmp" >"$work/probe.out" 2>"$work/probe.err" &
probe_pid=$!
pids+=($probe_pid)
wid=$(window_named '^gtk driver probe$' || fail "probe: $(cat "$work/probe.err")")
wait_for 50 grep -q '^ready$' "$work/probe.out" || fail "probe never got ready"
sleep 0.3  # the first frame

client_geometry "$wid"
[ "$CW"x"$CH" = 160x120 ] || fail "probe client area is ${CW}x$CH, expected 160x120"
hints=$(xprop -id "$wid" WM_NORMAL_HINTS)
grep -q 'minimum size: 160 by 120' <<<"$hints" && grep -q 'maximum size: 160 by 120' <<<"$hints" ||
    fail "probe window is resizable: $hints"
icon=$(xprop -id "$wid" _NET_WM_ICON)
grep -q 'Icon (48 x 48)' <<<"$icon" || fail "probe window has no icon"
import -window "$wid" "$work/probe.png"
diff=$(pixels_differing "$work/probe.png" "$work/pattern.bmp")
[ "$diff" = 0 ] || fail "probe window shows $diff pixels that differ from its pattern"

# Input arrives in client coordinates; the second press of a double click is
# marked as such.
xdotool mousemove $((CX + 21)) $((CY + 50)) click 1
sleep 0.3
xdotool mousemove $((CX + 5)) $((CY + 7)) click --repeat 2 --delay 40 1
xdotool key a 7 Return Left
wait_for 30 grep -q 'key 0x25 up' "$work/probe.out" || fail "keys did not arrive: $(cat "$work/probe.out")"
want="button left down 21 50
button left up 21 50
button left down 5 7
button left up 5 7
button left down double 5 7
button left up 5 7
key 0x41 down
key 0x41 up
key 0x37 down
key 0x37 up
key 0x0D down
key 0x0D up
key 0x25 down
key 0x25 up"
seen=$(grep -v '^ready$' "$work/probe.out")
[ "$seen" = "$want" ] || fail "probe input differs:
--- expected
$want
--- seen
$seen"

# The menu opens with its corner at the click; Escape closes it with nothing
# chosen.
xdotool mousemove $((CX + 30)) $((CY + 40)) click 3
mid=$(window_named '^copy \| save \| more$')
at="$((CX + 30)),$((CY + 40))"
client_geometry "$mid"
[ "$CX,$CY" = "$at" ] || fail "menu opened at $CX,$CY, expected $at"
xdotool key Escape
wait_for 30 menu_gone '^copy \| save \| more$' || fail "Escape did not close the menu"
wait_for 30 grep -q '^menu 0$' "$work/probe.out" || fail "dismissed menu chose: $(tail -1 "$work/probe.out")"
client_geometry "$wid"

# The menu: Down skips the separator and the greyed entry, Right opens the
# submenu, Return chooses its entry.
xdotool mousemove $((CX + 30)) $((CY + 30)) click 3
mid=$(window_named '^copy \| save \| more$')
xdotool key Down Down Right
sleep 0.2
xdotool key Return
wait_for 30 grep -q '^menu 3$' "$work/probe.out" || fail "submenu entry not chosen: $(tail -3 "$work/probe.out")"

# Choosing "copy" puts the pattern on the clipboard as image/bmp and image/png.
client_geometry "$wid"
xdotool mousemove $((CX + 40)) $((CY + 20)) click 3
mid=$(window_named '^copy \| save \| more$')
client_geometry "$mid"
xdotool mousemove $((CX + 30)) $((CY + 12)) click 1  # the first entry
wait_for 30 grep -q '^menu 1$' "$work/probe.out" || fail "copy not chosen: $(tail -3 "$work/probe.out")"
targets=$(xclip -selection clipboard -t TARGETS -o)
grep -qx image/bmp <<<"$targets" && grep -qx image/png <<<"$targets" ||
    fail "clipboard offers: $targets"
xclip -selection clipboard -t image/bmp -o >"$work/clip.bmp"
cmp -s "$work/clip.bmp" "$work/pattern.bmp" || fail "clipboard image/bmp differs from the pattern"
xclip -selection clipboard -t image/png -o >"$work/clip.png"
diff=$(pixels_differing "$work/clip.png" "$work/pattern.bmp")
[ "$diff" = 0 ] || fail "clipboard image/png differs from the pattern in $diff pixels"

# A picture another program offers is read back as a packed DIB: as image/bmp
# when offered so, else through gdk-pixbuf (here PNG).
convert -size 7x5 gradient:red-blue -depth 8 "PNG24:$work/foreign.png"
for source in "$work/foreign.png" "$work/pattern.bmp"; do
    type=image/png
    [ "${source##*.}" = bmp ] && type=image/bmp
    rm -f "$work/pasted.bmp"
    xclip -selection clipboard -t "$type" -i "$source" -quiet 2>/dev/null &
    pids+=($!)
    wait_for 50 bash -c "xclip -selection clipboard -t TARGETS -o | grep -qx $type" ||
        fail "xclip did not take the clipboard"
    done_before=$(grep -c '^paste done$' "$work/probe.out" || true)
    xdotool key v
    wait_for 50 bash -c "[ \$(grep -c '^paste done$' '$work/probe.out') -gt $done_before ]" ||
        fail "pasting $type failed: $(tail -2 "$work/probe.out")"
    diff=$(pixels_differing "$work/pasted.bmp" "$source")
    [ "$diff" = 0 ] || fail "pasted $type differs from what was offered in $diff pixels"
done

# The window manager cannot resize it; its close request reaches the core.
client_geometry "$wid"
xdotool windowsize "$wid" 300 250 2>/dev/null || true
sleep 0.3
client_geometry "$wid"
[ "$CW"x"$CH" = 160x120 ] || fail "probe window was resized to ${CW}x$CH"
xdotool windowactivate --sync "$wid" key alt+F4
wait_exit "$probe_pid" "probe"
[ "$status" = 0 ] || fail "probe ended with status $status: $(cat "$work/probe.err")"
grep -q '^close$' "$work/probe.out" || fail "probe got no close request"
[ ! -s "$work/probe.err" ] || fail "probe wrote to standard error: $(cat "$work/probe.err")"

step "all passed"
