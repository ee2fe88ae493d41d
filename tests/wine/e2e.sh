#!/usr/bin/env bash
# quantview.exe end to end under Wine, checked against the Linux build:
#   - the report on standard output (CR LF line ends) equals the Linux
#     viewer's, line for line, the millisecond figure aside;
#   - the window's title is the program's path, its client area the image's
#     size, its icon the program's, and what it shows equals the Linux
#     build's reduced picture;
#   - right click, "copy": the clipboard's image/bmp equals the Linux viewer's;
#   - closing the window ends the program with status 0;
#   - a picture larger than the 1280 x 1024 screen gets a window within it,
#     and End shows the bottom right part of the Linux build's reduced picture;
#   - a missing file prints the failure line and ends with status 1;
#   - quantview.exe and quantreduce.exe read the sample as PNG with the same
#     report as the Linux build, quantreduce.exe's picture equal to Linux's,
#     and quantreduce.exe writes a palette PNG of the same pixels;
#   - quantreduce.exe on the sample as JPEG: said whether its pixels (Wine's
#     decoder) equal the Linux build's, which a failure does not hang on;
#   - quantreduce.exe from standard input to standard output, and a batch of
#     two in 2-bit palette PNGs, with the Linux build's pixels;
#   - quantreduce.exe on the sample as TIFF: the same report and picture as the
#     Linux build; as WebP and HEIC: refused where Wine has no codec for them;
#   - at 144 DPI, on a picture whose path is not ASCII, the same report,
#     client area, picture and clipboard.
# Expects DISPLAY with a window manager, the Wine environment of run_suite.sh,
# and both builds (build/windows, build/default).
#
#   tests/wine/e2e.sh [WINDOWS_BUILD_DIR] [LINUX_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/wine/env.sh
win_build=${1:-build/windows}
linux_build=${2:-build/default}
picture=samples/astronaut.bmp

suite="wine e2e"
source tests/e2e/lib.sh

# Counts the pixels in which two pictures differ (0 when equal).
pixels_differing() {
    compare -metric AE "$1" "$2" null: 2>&1 || true
}

# The first visible window whose name matches $1, waited for up to $2 s.
window_named() {
    local id
    id=$(timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1) || true
    [ -n "$id" ] || fail "no window named '$1' appeared within $2 s"
    echo "$id"
}

visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }

# A visible window on the screen that is not in the list $1, waited for up to
# 5 s (toolkits also map helper windows off the screen).
new_window() {
    local id
    for ((i = 0; i < 50; i++)); do
        for id in $(comm -13 <(echo "$1") <(visible_windows)); do
            xwininfo -id "$id" >/dev/null 2>&1 || continue
            client_geometry "$id"
            if [ "$CX" -ge 0 ] && [ "$CY" -ge 0 ] && [ "$CW" -gt 1 ]; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# Waits up to 10 s for process $1 to end and leaves its status in $status.
wait_exit() {
    wait_for 100 bash -c "! kill -0 $1" || fail "$2 did not end within 10 s"
    status=0
    wait "$1" || status=$?
}

# Right-clicks the window $1 at client point ($2, $3), checks that a menu
# opens with its corner there, chooses its first entry with a click and
# leaves the clipboard's image/bmp in file $4.
copy_through_menu() {
    local wid=$1 x=$2 y=$3 before mid
    client_geometry "$wid"
    local at="$((CX + x)),$((CY + y))"
    before=$(visible_windows)
    xdotool mousemove $((CX + x)) $((CY + y)) click 3
    mid=$(new_window "$before") || fail "no menu opened at the right click"
    client_geometry "$mid"
    [ "$CX,$CY" = "$at" ] || fail "menu opened at $CX,$CY, expected $at"
    xdotool mousemove $((CX + 20)) $((CY + CH / 2)) click 1
    wait_for 50 bash -c "! xdotool search --onlyvisible --name '' | grep -qx $mid" ||
        fail "the menu did not close when its entry was clicked"
    wait_for 50 bash -c "xclip -selection clipboard -t TARGETS -o | grep -qx image/bmp" ||
        fail "no image/bmp on the clipboard after copy; it offers: $(xclip -selection clipboard -t TARGETS -o 2>&1)"
    xclip -selection clipboard -t image/bmp -o >"$4"
}

for tool in xdotool xclip xwininfo xprop import compare convert; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY (tests/wine/run_suite.sh provides one)"
exe=$win_build/app/quantview.exe
reducer=$win_build/app/quantreduce.exe
for f in "$exe" "$reducer"; do [ -f "$f" ] || fail "$f is not built"; done
for program in quantview quantreduce; do
    [ -x "$linux_build/app/$program" ] || fail "$linux_build/app/$program is not built"
done

# ---------------------------------------------------------------------------
step "Linux build: report, reduced picture, clipboard"
QUANTVIEW_DISPLAY=headless "$linux_build/app/quantview" "$picture" >"$work/linux.out" ||
    fail "the Linux viewer failed"
"$linux_build/app/quantreduce" "$picture" "$work/reduced.bmp" >/dev/null ||
    fail "the Linux reducer failed"
convert "$work/reduced.bmp" "$work/reduced.png"
[ -s "$work/reduced.png" ] || fail "ImageMagick could not read the reduced picture"

"$linux_build/app/quantview" "$picture" >/dev/null 2>"$work/linux.err" &
linux_pid=$!
pids+=($linux_pid)
wid=$(window_named "^$(pwd)/$linux_build/app/quantview\$" 20)
sleep 0.3  # the first frame
copy_through_menu "$wid" 100 100 "$work/linux_clip.bmp"
xdotool windowactivate --sync "$wid" key alt+F4
wait_exit "$linux_pid" "the Linux viewer"
[ "$status" = 0 ] || fail "the Linux viewer ended with status $status: $(cat "$work/linux.err")"

# ---------------------------------------------------------------------------
step "quantview.exe: report, window, picture, copy, close"
"$qv_wine" "$exe" "$picture" >"$work/wine.raw" 2>"$work/wine.err" &
wine_pid=$!
pids+=($wine_pid)
# Wine shows the program's own path as a Windows one, on drive Z: (/).
title="Z:$(pwd | tr / '\\')\\$(tr / '\\' <<<"$exe")"
wid=$(window_named 'quantview\.exe$' 30)
seen_title=$(xdotool getwindowname "$wid")
[ "$seen_title" = "$title" ] || fail "window title '$seen_title', expected '$title'"

# The report is complete before the window shows; a console program's lines
# end with CR LF.
grep -q $'^cache hit: .*\r$' "$work/wine.raw" || fail "report incomplete when the window showed"
if grep -qv $'\r$' "$work/wine.raw"; then fail "standard output has lines without CR LF"; fi
sed 's/\r$//' "$work/wine.raw" >"$work/wine.out"
if ! diff <(sed 's/\[[0-9]*msec\]/[msec]/' "$work/linux.out") \
    <(sed 's/\[[0-9]*msec\]/[msec]/' "$work/wine.out") >"$work/report.diff"; then
    fail "the report differs from the Linux build's:
$(head -20 "$work/report.diff")"
fi

sleep 0.5  # the first paint
client_geometry "$wid"
[ "$CW"x"$CH" = 512x512 ] || fail "client area is ${CW}x$CH, expected 512x512"
hints=$(xprop -id "$wid" WM_NORMAL_HINTS)
grep -q 'minimum size: 512 by 512' <<<"$hints" && grep -q 'maximum size: 512 by 512' <<<"$hints" ||
    fail "the window is resizable: $hints"
# The window's icon is the program's own (resource IDR_MAINFRAME), not the
# standard one: it holds the first swatch, opaque 0xD7263D.
icon=$(xprop -id "$wid" 32c _NET_WM_ICON)
tr ',' '\n' <<<"$icon" | grep -x " $((0xFFD7263D))" >/dev/null ||
    fail "the window does not show the program's icon: ${icon:0:200}"
import -window "$wid" "$work/shot.png"
diff=$(pixels_differing "$work/shot.png" "$work/reduced.png")
[ "$diff" = 0 ] || fail "the window shows $diff pixels that differ from the reduced picture"

copy_through_menu "$wid" 100 100 "$work/wine_clip.bmp"
menu_height_96=$CH  # copy_through_menu measured the menu last
cmp -s "$work/wine_clip.bmp" "$work/linux_clip.bmp" ||
    fail "the clipboard's image/bmp differs from the Linux build's: $(cmp "$work/wine_clip.bmp" "$work/linux_clip.bmp" 2>&1)"

xdotool windowactivate --sync "$wid" key alt+F4
wait_exit "$wine_pid" "quantview.exe"
[ "$status" = 0 ] || fail "quantview.exe ended with status $status: $(cat "$work/wine.err")"
[ ! -s "$work/wine.err" ] || fail "quantview.exe wrote to standard error: $(cat "$work/wine.err")"

# ---------------------------------------------------------------------------
step "quantview.exe: a picture larger than the screen"
big=$work/big.bmp
reduced=$work/big_reduced.mpc
make_large_picture "$big" "$linux_build/app/quantreduce" "$reduced"
"$qv_wine" "$exe" "$big" >/dev/null 2>"$work/big.err" &
big_pid=$!
pids+=($big_pid)
bid=$(window_named 'quantview\.exe$' 90)
sleep 0.5
expect_within_screen "$bid" 1280 1024
find_picture_area "$bid" "$reduced"
expect_part "$bid" "$reduced" 0 0 "opening"
xdotool windowactivate --sync "$bid" key End
expect_part "$bid" "$reduced" $((4224 - VW)) $((3168 - VH)) "End"
xdotool windowactivate --sync "$bid" key alt+F4
wait_exit "$big_pid" "quantview.exe on the large picture"
[ "$status" = 0 ] || fail "quantview.exe on the large picture ended with status $status: $(cat "$work/big.err")"

# ---------------------------------------------------------------------------
step "quantview.exe: a missing file"
status=0
"$qv_wine" "$exe" no-such-file.bmp >"$work/missing.raw" 2>"$work/missing.err" || status=$?
[ "$status" = 1 ] || fail "a missing file ended with status $status"
[ "$(cat "$work/missing.raw")" = $'Cannot load input file : no-such-file.bmp\r' ] ||
    fail "a missing file printed '$(cat -A "$work/missing.raw")'"

# ---------------------------------------------------------------------------
step "PNG, JPEG, TIFF, WebP and HEIC: quantview.exe and quantreduce.exe against the Linux build"
# Without the program's own millisecond figure and line ends.
report_of() { sed 's/\r$//; s/\[[0-9]*msec\]/[msec]/' "$1"; }
convert "$picture" "$work/sample.png"
cjpeg -quality 90 "$picture" >"$work/sample.jpg"
convert "$picture" -type TrueColor -compress LZW "$work/sample.tif"
for kind in png jpg tif; do
    "$linux_build/app/quantreduce" "$work/sample.$kind" "$work/linux_$kind.bmp" >"$work/linux_$kind.out" ||
        fail "the Linux reducer failed on the $kind file"
    status=0
    "$qv_wine" "$reducer" "$work/sample.$kind" "$work/wine_$kind.bmp" >"$work/wine_$kind.out" 2>"$work/wine_$kind.err" ||
        status=$?
    [ "$status" = 0 ] || fail "quantreduce.exe ended with status $status on the $kind file: $(cat "$work/wine_$kind.out" "$work/wine_$kind.err")"
done
diff <(report_of "$work/linux_png.out") <(report_of "$work/wine_png.out") >"$work/png_report.diff" ||
    fail "quantreduce.exe's report on the PNG differs from the Linux build's: $(head -5 "$work/png_report.diff")"
cmp -s "$work/linux_png.bmp" "$work/wine_png.bmp" || fail "quantreduce.exe's picture from the PNG differs from Linux's"
diff <(report_of "$work/linux_tif.out") <(report_of "$work/wine_tif.out") >"$work/tif_report.diff" ||
    fail "quantreduce.exe's report on the TIFF differs from the Linux build's: $(head -5 "$work/tif_report.diff")"
cmp -s "$work/linux_tif.bmp" "$work/wine_tif.bmp" || fail "quantreduce.exe's picture from the TIFF differs from Linux's"
if cmp -s "$work/linux_jpg.bmp" "$work/wine_jpg.bmp"; then
    echo "$suite: JPEG: quantreduce.exe's picture equals the Linux build's"
else
    echo "$suite: JPEG: quantreduce.exe's picture differs from the Linux build's (Wine's JPEG decoder), $(pixels_differing "$work/linux_jpg.bmp" "$work/wine_jpg.bmp") pixels"
fi

# WebP and HEIC need codecs that Windows installs as extensions and Wine does
# not have: refused with the failure line, or, where a codec is there, read
# as on Linux (the lossless WebP file to the same pixels).
cwebp -quiet -lossless "$work/sample.png" -o "$work/sample.webp"
convert "$picture" "PNG24:$work/sample24.png"
heif-enc -q 85 "$work/sample24.png" -o "$work/sample.heic" >/dev/null 2>&1
for kind in webp heic; do
    "$linux_build/app/quantreduce" "$work/sample.$kind" "$work/linux_$kind.bmp" >/dev/null ||
        fail "the Linux reducer failed on the $kind file"
    status=0
    "$qv_wine" "$reducer" "$work/sample.$kind" "$work/wine_$kind.bmp" >"$work/wine_$kind.out" \
        2>"$work/wine_$kind.err" || status=$?
    if [ "$status" = 0 ]; then
        [ "$kind" = heic ] || cmp -s "$work/linux_$kind.bmp" "$work/wine_$kind.bmp" ||
            fail "quantreduce.exe read the $kind file to other pixels than Linux"
        echo "$suite: $kind: read by a codec of this Wine"
    else
        # The failure line, and on standard error the reason.
        [ "$(sed 's/\r$//' "$work/wine_$kind.out")" = "Cannot load input file : $work/sample.$kind" ] &&
            grep -q "sample.$kind: this system has no decoder for this kind of picture" \
                "$work/wine_$kind.err" ||
            fail "quantreduce.exe on the $kind file: status $status, '$(cat "$work/wine_$kind.out" "$work/wine_$kind.err")'"
        echo "$suite: $kind: refused, no codec in this Wine"
    fi
done

# A palette PNG written through WIC: colour type 3, the pixels of the Linux
# build's 24-bit result.
"$qv_wine" "$reducer" "$picture" "$work/wine_out.png" >/dev/null 2>&1 || fail "quantreduce.exe could not write a PNG"
[ "$(od -An -tx1 -j24 -N2 "$work/wine_out.png" | tr -d ' ')" = 0803 ] ||
    fail "quantreduce.exe's PNG is not an 8-bit palette PNG"
diff=$(pixels_differing "$work/wine_out.png" "$work/reduced.bmp")
[ "$diff" = 0 ] || fail "quantreduce.exe's PNG differs from the Linux build's reduced picture in $diff pixels"

# Standard input to standard output: a PNG in through a pipe, a PNG out (into
# a file: Wine's helper processes would hold an output pipe open), the report
# on standard error.
cat "$work/sample.png" | "$qv_wine" "$reducer" - - >"$work/stdio.png" 2>"$work/stdio.err" ||
    fail "quantreduce.exe - - failed: $(cat "$work/stdio.err")"
diff=$(pixels_differing "$work/stdio.png" "$work/reduced.bmp")
[ "$diff" = 0 ] || fail "quantreduce.exe - - gave a picture that differs in $diff pixels"
grep -q '^cache hit' "$work/stdio.err" || fail "quantreduce.exe - - gave no report on standard error"

# A batch of two, 4 colours: 2-bit palette PNGs with the Linux build's pixels.
"$linux_build/app/quantreduce" -q -n 4 --format bmp --out-dir "$work/linux_batch" "$picture" \
    "$work/sample.png" || fail "the Linux batch failed"
"$qv_wine" "$reducer" -n 4 --out-dir "$work/wine_batch" "$picture" "$work/sample.png" \
    >"$work/batch.raw" 2>"$work/batch.err" || fail "quantreduce.exe's batch failed: $(cat "$work/batch.err")"
[ "$(grep -c ' -> .*(512 x 512, 4 colours, ' "$work/batch.raw")" = 2 ] ||
    fail "quantreduce.exe's batch printed: $(cat "$work/batch.raw")"
for name in astronaut sample; do
    [ "$(od -An -tx1 -j24 -N2 "$work/wine_batch/$name.png" | tr -d ' ')" = 0203 ] ||
        fail "quantreduce.exe's batch wrote $name.png not as a 2-bit palette PNG"
    diff=$(pixels_differing "$work/wine_batch/$name.png" "$work/linux_batch/$name.bmp")
    [ "$diff" = 0 ] || fail "quantreduce.exe's batch: $name.png differs in $diff pixels"
done

"$qv_wine" "$exe" "$work/sample.png" >"$work/wine_view_png.raw" 2>/dev/null &
wine_pid=$!
pids+=($wine_pid)
wid=$(window_named 'quantview\.exe$' 30)
xdotool windowactivate --sync "$wid" key alt+F4
wait_exit "$wine_pid" "quantview.exe on the PNG"
[ "$status" = 0 ] || fail "quantview.exe on the PNG ended with status $status"
diff <(report_of "$work/linux.out") <(report_of "$work/wine_view_png.raw") >"$work/view_png.diff" ||
    fail "quantview.exe's report on the PNG differs from the Linux viewer's on the bitmap: $(head -5 "$work/view_png.diff")"

# Wine stretches no window, so this guards against the program scaling itself
# on a scaled screen; the manifest that keeps Windows from stretching it is
# checked in the program's resources (tests/install/check_install.sh). The
# picture's path holds characters outside every ANSI code page: only the
# manifest's UTF-8 code page lets the program open it.
step "quantview.exe at 144 DPI, on a picture whose path is not ASCII"
desktop_key='HKCU\Control Panel\Desktop'
"$qv_wine" reg add "$desktop_key" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
trap '"$qv_wine" reg delete "$desktop_key" /v LogPixels /f >/dev/null 2>&1; cleanup' EXIT
mkdir "$work/Bilder-名前-Ωμέγα"
picture_utf8="$work/Bilder-名前-Ωμέγα/astronaut-ü.bmp"
cp "$picture" "$picture_utf8"
"$qv_wine" "$exe" "$picture_utf8" >"$work/dpi.raw" 2>"$work/dpi.err" &
wine_pid=$!
pids+=($wine_pid)
wid=$(window_named 'quantview\.exe$' 30)
sed 's/\r$//' "$work/dpi.raw" >"$work/dpi.out"
diff -q <(sed 's/\[[0-9]*msec\]/[msec]/' "$work/linux.out") \
    <(sed 's/\[[0-9]*msec\]/[msec]/' "$work/dpi.out") >/dev/null ||
    fail "the report on the picture with a UTF-8 path differs: $(head -3 "$work/dpi.out")"
sleep 0.5  # the first paint
client_geometry "$wid"
[ "$CW"x"$CH" = 512x512 ] || fail "at 144 DPI the client area is ${CW}x$CH, expected 512x512"
import -window "$wid" "$work/dpi_shot.png"
diff=$(pixels_differing "$work/dpi_shot.png" "$work/reduced.png")
[ "$diff" = 0 ] || fail "at 144 DPI the window shows $diff pixels that differ from the reduced picture"
copy_through_menu "$wid" 100 100 "$work/dpi_clip.bmp"
# Menus are drawn in a font of the screen's DPI: a taller menu shows that the
# setting took effect.
[ "$CH" -gt "$menu_height_96" ] ||
    fail "the menu is $CH pixels high at 144 DPI as at 96 DPI: the DPI setting did not take effect"
cmp -s "$work/dpi_clip.bmp" "$work/linux_clip.bmp" || fail "at 144 DPI the clipboard's picture differs"
xdotool windowactivate --sync "$wid" key alt+F4
wait_exit "$wine_pid" "quantview.exe"
[ "$status" = 0 ] || fail "quantview.exe at 144 DPI ended with status $status: $(cat "$work/dpi.err")"

step "all passed"
