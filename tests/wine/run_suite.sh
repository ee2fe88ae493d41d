#!/usr/bin/env bash
# The Windows build, checked on Wine: cross-builds with the `windows` preset
# (warnings are errors there), runs the unit tests as .exe files under Wine and
# then the program itself on an X server of its own with a window manager.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/wine/env.sh

pids=()
cleanup() {
    "$qv_wineserver" -k 2>/dev/null || true
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

started=$SECONDS
qv_wine_prefix
echo "wine: prefix ready in $((SECONDS - started)) s ($WINEPREFIX)"

# An X server of its own (the first free display) and a window manager, so
# that windows are framed and placed as on a desktop.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
pids+=($!)
read -r -t 20 display <"$fifo" || { echo "wine: Xvfb did not start" >&2; exit 1; }
rm -f "$fifo"
export DISPLAY=:$display
openbox >/dev/null 2>&1 &
pids+=($!)

# One long-lived Windows process keeps the server and Wine's helper
# processes up between the tests; otherwise each start pays for them again.
# cmd.exe waits on a fifo that this script holds open; the Wine server's
# shutdown at the end ends it.
"$qv_wineserver" -p
hold=$(mktemp -u)
mkfifo "$hold"
"$qv_wine" cmd.exe <"$hold" >/dev/null 2>&1 &
pids+=($!)
exec 4>"$hold"
rm -f "$hold"

cmake --workflow --preset windows

# The end-to-end run compares with the Linux build's programs.
cmake --preset default >/dev/null
cmake --build --preset default --target quantview quantreduce
tests/wine/e2e.sh build/windows build/default
echo "wine: done in $((SECONDS - started)) s"
