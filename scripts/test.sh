#!/usr/bin/env bash
# Sets up, builds and runs every test suite; fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== unit tests (release with debug info)"
cmake --workflow --preset default

echo "== unit tests (address and undefined-behaviour sanitizers)"
cmake --workflow --preset sanitize

echo "== the quantizer's threaded tests under ThreadSanitizer"
cmake --workflow --preset tsan

echo "== fuzzing (libFuzzer, about 60 seconds)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
tests/fuzz/run_fuzzers.sh 60

echo "== end-to-end: the display driver and the viewer in an X server"
tests/e2e/gtk_viewer.sh build/default

echo "== Windows build (MinGW-w64 cross build), its tests and the program under Wine"
tests/wine/run_suite.sh

echo "== install rules, the Debian package and the Windows archive"
tests/install/check_install.sh

echo "== a server's build: the project's files alone, without GTK"
tests/install/build_without_gtk.sh
