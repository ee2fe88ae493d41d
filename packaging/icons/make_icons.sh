#!/usr/bin/env bash
# Remakes the committed icon pictures from the drawing the GTK display driver
# shows as the window icon (platform/gtk/app_icon.cpp): the PNG files of the
# desktop's icon theme and the Windows icon file (icotool, package icoutils).
# The tests check that the pictures still match the drawing.
#
#   packaging/icons/make_icons.sh [BUILD_DIR]      (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/default}
cmake --build "$build" --target write_icons
icons=packaging/icons
"$build/packaging/write_icons" "$icons" 16 24 32 48 64 128 256
# Windows takes the large size as PNG inside the icon file, the small ones as
# bitmaps.
icotool -c -o "$icons/quantview.ico" "$icons"/quantview-{16,24,32,48}.png \
    --raw="$icons/quantview-256.png"
