#!/usr/bin/env bash
# End-to-end checks of the GTK display in a real X server (Xvfb with openbox as
# window manager): first the display driver alone, driven through a stand-in
# core (gtk_driver_probe), then the real program on the sample photograph and
# on a generated picture larger than the screen. Every wait is bounded; a failure names what was expected and what was seen.
#
#   tests/e2e/gtk_viewer.sh [BUILD_DIR]      (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/default}

if [ -z "${QV_E2E_IN_X:-}" ]; then
    # A fresh X server of our own, with a known depth and size.
    exec env QV_E2E_IN_X=1 timeout 300 xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        bash "$0" "$@"
fi

suite="gtk e2e"
source tests/e2e/lib.sh

# Says how two pictures differ; nothing when their pixels are equal. Both are
# compared as 8-bit RGB.
picture_difference() {
    local a b n
    a=$(identify -format '%wx%h' "$1" 2>/dev/null || true)
    b=$(identify -format '%wx%h' "$2" 2>/dev/null || true)
    if [ -z "$a" ] || [ "$a" != "$b" ]; then
        echo "sizes '$a' and '$b'"
        return
    fi
    convert "$1" -depth 8 "rgb:$work/a.rgb" 2>/dev/null || true
    convert "$2" -depth 8 "rgb:$work/b.rgb" 2>/dev/null || true
    n=$(cmp -l "$work/a.rgb" "$work/b.rgb" 2>&1 | wc -l)
    [ "$n" = 0 ] || echo "$n colour bytes"
}

# The window manager offers moving, minimizing and closing, never resizing or
# maximizing.
check_actions() {
    local actions
    actions=$(xprop -id "$1" _NET_WM_ALLOWED_ACTIONS)
    for a in MOVE MINIMIZE CLOSE; do
        grep -q "_NET_WM_ACTION_$a" <<<"$actions" || fail "$2 cannot $a: $actions"
    done
    ! grep -qE '_NET_WM_ACTION_(RESIZE|MAXIMIZE)' <<<"$actions" || fail "$2 can be resized: $actions"
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

for tool in xdotool xclip xwininfo xprop xev import compare openbox heif-enc; do
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
check_actions "$wid" "probe window"
icon=$(xprop -id "$wid" _NET_WM_ICON)
grep -q 'Icon (48 x 48)' <<<"$icon" || fail "probe window has no icon"
import -window "$wid" "$work/probe.png"
diff=$(picture_difference "$work/probe.png" "$work/pattern.bmp")
[ -z "$diff" ] || fail "probe window differs from its pattern: $diff"

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
diff=$(picture_difference "$work/clip.png" "$work/pattern.bmp")
[ -z "$diff" ] || fail "clipboard image/png differs from the pattern: $diff"

# Copying again replaces our own offer: the core is not told that another
# program took the clipboard; xclip taking it below does tell it, once.
client_geometry "$wid"
xdotool mousemove $((CX + 50)) $((CY + 25)) click 3
window_named '^copy \| save \| more$' >/dev/null
xdotool key Down Return
wait_for 30 bash -c "[ \$(grep -c '^menu 1$' '$work/probe.out') = 2 ]" || fail "second copy not chosen"
sleep 0.2
! grep -q '^clipboard taken$' "$work/probe.out" || fail "replacing our own offer told the core it was taken"

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
    diff=$(picture_difference "$work/pasted.bmp" "$source")
    [ -z "$diff" ] || fail "pasted $type differs from what was offered: $diff"
done

[ "$(grep -c '^clipboard taken$' "$work/probe.out")" = 1 ] ||
    fail "the core heard $(grep -c '^clipboard taken$' "$work/probe.out") times that the clipboard was taken"

# The window manager cannot resize it; its close request reaches the core.
client_geometry "$wid"
xdotool windowsize "$wid" 300 250 2>/dev/null || true
sleep 0.3
client_geometry "$wid"
[ "$CW"x"$CH" = 160x120 ] || fail "probe window was resized to ${CW}x$CH"
# Parts the host lost (moved off the screen and back) are painted again by the
# core.
xdotool windowmove --sync "$wid" -100 -80
sleep 0.2
xdotool windowmove --sync "$wid" 200 200
sleep 0.3
import -window "$wid" "$work/probe_again.png"
diff=$(picture_difference "$work/probe_again.png" "$work/pattern.bmp")
[ -z "$diff" ] || fail "probe window after exposure differs from its pattern: $diff"
xdotool windowactivate --sync "$wid" key alt+F4
wait_exit "$probe_pid" "probe"
[ "$status" = 0 ] || fail "probe ended with status $status: $(cat "$work/probe.err")"
grep -q '^close$' "$work/probe.out" || fail "probe got no close request"
exposes=$(awk '/^exposes / {print $2}' "$work/probe.out")
[ "${exposes:-0}" -ge 2 ] || fail "the host's exposure never reached the core (exposes ${exposes:-none})"
[ ! -s "$work/probe.err" ] || fail "probe wrote to standard error: $(cat "$work/probe.err")"

# ---------------------------------------------------------------------------
step "viewer: the reduced sample photograph, its menu, clipboard and close"
viewer=$build/app/quantview
reduce=$build/app/quantreduce
photo=samples/astronaut.bmp
for p in "$viewer" "$reduce"; do [ -x "$p" ] || fail "$p is not built"; done
"$reduce" "$photo" "$work/reduced.bmp" >"$work/reduce.out" || fail "quantreduce failed"
# The report without its timing, which differs from run to run.
report() { sed -E 's/\[[0-9]+msec\]/[msec]/' "$1"; }

"$viewer" "$photo" >"$work/viewer.out" 2>"$work/viewer.err" &
viewer_pid=$!
pids+=($viewer_pid)
vid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$viewer_pid" 2>/dev/null | head -1) || true
[ -n "$vid" ] || fail "no viewer window within 30 s: $(cat "$work/viewer.err")"
sleep 0.3

title=$(xprop -id "$vid" _NET_WM_NAME)
want_title=$(realpath "$viewer")
[ "$title" = "_NET_WM_NAME(UTF8_STRING) = \"$want_title\"" ] || fail "viewer title is $title"
client_geometry "$vid"
[ "$CW"x"$CH" = 512x512 ] || fail "viewer client area is ${CW}x$CH, expected 512x512"
hints=$(xprop -id "$vid" WM_NORMAL_HINTS)
grep -q 'minimum size: 512 by 512' <<<"$hints" && grep -q 'maximum size: 512 by 512' <<<"$hints" ||
    fail "viewer window is resizable: $hints"
check_actions "$vid" "viewer window"
import -window "$vid" "$work/viewer.png"
diff=$(picture_difference "$work/viewer.png" "$work/reduced.bmp")
[ -z "$diff" ] || fail "viewer differs from the reduced picture: $diff"

# Escape closes the menu and leaves the clipboard as it was.
printf 'before' | xclip -selection clipboard -quiet 2>/dev/null &
pids+=($!)
wait_for 50 bash -c "[ \"\$(xclip -selection clipboard -o 2>/dev/null)\" = before ]" ||
    fail "xclip did not take the clipboard"
xdotool mousemove $((CX + 100)) $((CY + 120)) click 3
mid=$(window_named '^copy$')
at="$((CX + 100)),$((CY + 120))"
client_geometry "$mid"
[ "$CX,$CY" = "$at" ] || fail "viewer menu opened at $CX,$CY, expected $at"
xdotool key Escape
wait_for 30 menu_gone '^copy$' || fail "Escape did not close the viewer menu"
sleep 0.2
[ "$(xclip -selection clipboard -o 2>/dev/null)" = before ] || fail "a dismissed menu changed the clipboard"

# "copy" puts the reduced picture on the clipboard as image/bmp and image/png.
client_geometry "$vid"
xdotool mousemove $((CX + 200)) $((CY + 50)) click 3
mid=$(window_named '^copy$')
client_geometry "$mid"
xdotool mousemove $((CX + CW / 2)) $((CY + CH / 2)) click 1
wait_for 30 menu_gone '^copy$' || fail "the viewer menu stayed open after a click on copy"
wait_for 50 bash -c "xclip -selection clipboard -t TARGETS -o | grep -qx image/png" ||
    fail "clipboard offers: $(xclip -selection clipboard -t TARGETS -o 2>&1)"
xclip -selection clipboard -t image/bmp -o >"$work/viewer_clip.bmp"
xclip -selection clipboard -t image/png -o >"$work/viewer_clip.png"
for f in "$work/viewer_clip.bmp" "$work/viewer_clip.png"; do
    diff=$(picture_difference "$f" "$work/reduced.bmp")
    [ -z "$diff" ] || fail "clipboard ${f##*.} differs from the reduced picture: $diff"
done

# Fixed size; closing by the window manager ends the run with status 0 and the
# whole report.
client_geometry "$vid"
xdotool windowsize "$vid" 700 600 2>/dev/null || true
sleep 0.3
client_geometry "$vid"
[ "$CW"x"$CH" = 512x512 ] || fail "viewer window was resized to ${CW}x$CH"
xdotool windowactivate --sync "$vid" key alt+F4
wait_exit "$viewer_pid" "viewer"
[ "$status" = 0 ] || fail "viewer ended with status $status: $(cat "$work/viewer.err")"
[ "$(report "$work/viewer.out")" = "$(report "$work/reduce.out")" ] ||
    fail "viewer report differs from quantreduce's: $(diff <(report "$work/reduce.out") <(report "$work/viewer.out") | head)"
tail -1 "$work/viewer.out" | grep -qE '^cache hit: [0-9]+% \[[0-9]+msec\]$' ||
    fail "viewer report ends with: $(tail -1 "$work/viewer.out")"

# ---------------------------------------------------------------------------
step "viewer: a picture larger than the screen fits it and scrolls"
big=$work/big.bmp
reduced=$work/big_reduced.mpc
make_large_picture "$big" "$reduce" "$reduced"
"$viewer" "$big" >/dev/null 2>"$work/big.err" &
big_pid=$!
pids+=($big_pid)
bid=$(timeout 60 xdotool search --sync --onlyvisible --pid "$big_pid" 2>/dev/null | head -1) || true
[ -n "$bid" ] || fail "no window for the large picture within 60 s: $(cat "$work/big.err")"
sleep 0.5
expect_within_screen "$bid" 1280 1024
hints=$(xprop -id "$bid" WM_NORMAL_HINTS)
grep -q "minimum size: $CW by $CH" <<<"$hints" && grep -q "maximum size: $CW by $CH" <<<"$hints" ||
    fail "the large picture's window is resizable: $hints"
find_picture_area "$bid" "$reduced"
last_x=$((4224 - VW))
last_y=$((3168 - VH))
expect_part "$bid" "$reduced" 0 0 "opening"
xdotool windowactivate --sync "$bid" key End
expect_part "$bid" "$reduced" $last_x $last_y "End"
xdotool key Home
expect_part "$bid" "$reduced" 0 0 "Home"
# Three notches towards the user: three lines each, a line a twentieth of the view.
xdotool mousemove $((CX + 300)) $((CY + 300)) click --repeat 3 --delay 50 5
expect_part "$bid" "$reduced" 0 $((9 * (VH / 20))) "three wheel notches"
xdotool key Home
expect_part "$bid" "$reduced" 0 0 "Home"
# The vertical bar's thumb, dragged beyond the screen's bottom and back beyond its top.
thumb_x=$((CX + VW + BAR / 2))
xdotool mousemove $thumb_x $((CY + 20)) mousedown 1 mousemove $thumb_x $((CY + 300)) sleep 0.2 \
    mousemove $thumb_x 1023 sleep 0.3 mouseup 1
expect_part "$bid" "$reduced" 0 $last_y "dragging the vertical thumb down"
xdotool mousemove $thumb_x $((CY + VH - 20)) mousedown 1 mousemove $thumb_x $((CY + 300)) sleep 0.2 \
    mousemove $thumb_x 0 sleep 0.3 mouseup 1
expect_part "$bid" "$reduced" 0 0 "dragging the vertical thumb up"

# Ctrl+C copies the whole reduced picture, not the part in view.
xdotool key End ctrl+c
wait_for 50 bash -c "xclip -selection clipboard -t TARGETS -o | grep -qx image/bmp" ||
    fail "Ctrl+C put no image/bmp on the clipboard"
xclip -selection clipboard -t image/bmp -o >"$work/big_clip.bmp"
diff=$(picture_difference "$work/big_clip.bmp" "$work/large_reduced.bmp")
[ -z "$diff" ] || fail "Ctrl+C copied a picture that differs from the reduced one: $diff"
xdotool windowactivate --sync "$bid" key alt+F4
wait_exit "$big_pid" "the large picture's viewer"
[ "$status" = 0 ] || fail "the large picture's viewer ended with status $status: $(cat "$work/big.err")"

# ---------------------------------------------------------------------------
step "viewer without a display, and with the headless driver asked for"
status=0
env -u DISPLAY timeout 60 "$viewer" "$photo" >"$work/headless.out" 2>"$work/headless.err" || status=$?
[ "$status" = 0 ] || fail "viewer without a display ended with status $status: $(cat "$work/headless.err")"
[ "$(wc -l <"$work/headless.err")" = 1 ] && grep -qi 'display' "$work/headless.err" ||
    fail "without a display, standard error should hold one notice, not: $(cat "$work/headless.err")"
[ "$(report "$work/headless.out")" = "$(report "$work/reduce.out")" ] ||
    fail "viewer report without a display differs from quantreduce's"
status=0
QUANTVIEW_DISPLAY=headless timeout 60 "$viewer" "$photo" >"$work/forced.out" 2>"$work/forced.err" || status=$?
[ "$status" = 0 ] || fail "QUANTVIEW_DISPLAY=headless viewer ended with status $status"
[ "$(report "$work/forced.out")" = "$(report "$work/reduce.out")" ] ||
    fail "QUANTVIEW_DISPLAY=headless viewer report differs from quantreduce's"

# ---------------------------------------------------------------------------
step "viewer: the sample photograph as PNG, shown 1:1"
convert "$photo" "$work/photo.png"
"$viewer" "$work/photo.png" >"$work/png.out" 2>"$work/png.err" &
viewer_pid=$!
pids+=($viewer_pid)
vid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$viewer_pid" 2>/dev/null | head -1) || true
[ -n "$vid" ] || fail "no viewer window for the PNG within 30 s: $(cat "$work/png.err")"
sleep 0.3
client_geometry "$vid"
[ "$CW"x"$CH" = 512x512 ] || fail "viewer client area for the PNG is ${CW}x$CH, expected 512x512"
import -window "$vid" "$work/viewer_png.png"
diff=$(picture_difference "$work/viewer_png.png" "$work/reduced.bmp")
[ -z "$diff" ] || fail "viewer of the PNG differs from the picture reduced from the bitmap: $diff"
xdotool windowactivate --sync "$vid" key alt+F4
wait_exit "$viewer_pid" "viewer of the PNG"
[ "$status" = 0 ] || fail "viewer of the PNG ended with status $status: $(cat "$work/png.err")"
[ "$(report "$work/png.out")" = "$(report "$work/reduce.out")" ] ||
    fail "viewer report on the PNG differs from quantreduce's on the bitmap"

# ---------------------------------------------------------------------------
step "viewer: the sample as HEIC, started as a desktop starts it"
# The desktop entry asks for startup notification: the desktop passes an ID
# in DESKTOP_STARTUP_ID, and the program's window, once shown, tells the
# root window that the start is complete (_NET_STARTUP_INFO messages).
convert "$photo" "PNG24:$work/photo24.png"
heif-enc -q 85 "$work/photo24.png" -o "$work/photo.heic" >/dev/null 2>&1 || fail "heif-enc failed"
"$reduce" "$work/photo.heic" "$work/heic_reduced.bmp" >"$work/heic_reduce.out" ||
    fail "quantreduce failed on the HEIC"
xev -root -event property >"$work/xev.log" 2>&1 &
xev_pid=$!
pids+=($xev_pid)
sleep 0.3
DESKTOP_STARTUP_ID="quantview-e2e-$$_TIME0" "$viewer" "$work/photo.heic" >"$work/heic.out" 2>"$work/heic.err" &
viewer_pid=$!
pids+=($viewer_pid)
vid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$viewer_pid" 2>/dev/null | head -1) || true
[ -n "$vid" ] || fail "no viewer window for the HEIC within 30 s: $(cat "$work/heic.err")"
sleep 0.3
import -window "$vid" "$work/viewer_heic.png"
diff=$(picture_difference "$work/viewer_heic.png" "$work/heic_reduced.bmp")
[ -z "$diff" ] || fail "viewer of the HEIC differs from quantreduce's picture of it: $diff"
wait_for 30 grep -q '_NET_STARTUP_INFO_BEGIN' "$work/xev.log" ||
    fail "the viewer did not complete the startup notification"
xdotool windowactivate --sync "$vid" key alt+F4
wait_exit "$viewer_pid" "viewer of the HEIC"
[ "$status" = 0 ] || fail "viewer of the HEIC ended with status $status: $(cat "$work/heic.err")"
[ "$(report "$work/heic.out")" = "$(report "$work/heic_reduce.out")" ] ||
    fail "viewer report on the HEIC differs from quantreduce's"

step "all passed"
