# Shared by the end-to-end suites: a scratch folder, processes killed at exit,
# failure and progress lines, polling, and window geometry. Set `suite` (the
# name in the lines it prints) before sourcing it.

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "$suite: FAIL: $*" >&2
    exit 1
}
step() { echo "$suite: $*"; }

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

# Writes a 4224 x 3168 24-bit bitmap file to $1 in which every part looks
# different (gradients crossing each other), and the picture quantreduce $2
# makes of it to $3 (ImageMagick's own format, which maps the file, so that
# parts of it are cut quickly).
make_large_picture() {
    convert -size 4224x3168 gradient:red-blue \( -size 3168x4224 gradient:black-lime -rotate 90 \) \
        -compose plus -composite -depth 8 "BMP3:$1"
    "$2" "$1" "$work/large_reduced.bmp" >/dev/null || fail "quantreduce failed on the large picture"
    convert "$work/large_reduced.bmp" "$3" 2>/dev/null || true
    [ -s "$3" ] || fail "ImageMagick could not read the reduced large picture"
}

# Fails unless window $1 and its window manager's frame lie within the
# $2 x $3 screen. Leaves the window's geometry in CX CY CW CH.
expect_within_screen() {
    local fl fr ft fb
    client_geometry "$1"
    read -r fl fr ft fb < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    ((CX - fl >= 0 && CY - ft >= 0 && CX + CW + fr <= $2 && CY + CH + fb <= $3)) ||
        fail "window ${CW}x$CH at $CX,$CY (frame $fl $fr $ft $fb) leaves the $2x$3 screen"
}

# Sets VW VH and BAR for window $1 (of CW x CH) that shows the top left
# corner of picture $2 with scroll bars to its right and below: the picture
# ends where the widest strip of its first row that equals $2's ends.
find_picture_area() {
    import -window "$1" "$work/area.png"
    BAR=0
    for ((b = 1; b <= 40; b++)); do
        n=$(compare -metric AE "$work/area.png[$((CW - b))x1+0+0]" "$2[$((CW - b))x1+0+0]" null: 2>&1 ||
            true)
        if [ "$n" = 0 ]; then
            BAR=$b
            break
        fi
    done
    [ "$BAR" -gt 0 ] || fail "the window does not show the picture's top left corner"
    VW=$((CW - BAR))
    VH=$((CH - BAR))
    [ "$(convert "$work/area.png" -crop "1x${VH}+$((CW - BAR / 2 - 1))+0" -format '%k' info:)" -gt 1 ] ||
        fail "no vertical scroll bar to the right of the picture"
}

# Succeeds when window $1 shows (in its VW x VH) the part of picture $2 whose
# top left corner is at ($3, $4).
shows_part() {
    import -window "$1" "$work/part.png"
    local n
    n=$(compare -metric AE "$work/part.png[${VW}x${VH}+0+0]" "$2[${VW}x${VH}+$3+$4]" null: 2>&1 ||
        true)
    [ "$n" = 0 ]
}

# Waits up to 5 s for window $1 to show picture $2 from ($3, $4); $5 says after what.
expect_part() {
    wait_for 50 shows_part "$1" "$2" "$3" "$4" ||
        fail "after $5 the window does not show the reduced picture from $3,$4"
}
