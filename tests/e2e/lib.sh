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
