#!/usr/bin/env bash
# A server's build: the project's files alone (as from a release tarball, with
# no ../shared beside them), on a machine where GTK's development files
# cannot be found. Configuring says that it builds without the GTK display
# driver, everything builds, the unit tests pass with the bitmap-suite tests
# skipped for want of their data, and quantview runs headless.
#
#   tests/install/build_without_gtk.sh [BUILD_DIR]   (default: build/without-gtk)
set -euo pipefail
cd "$(dirname "$0")/../.."
suite="without gtk"
source tests/e2e/lib.sh
dir=${1:-build/without-gtk}

step "configure the project's files alone, GTK hidden from pkg-config"
rm -rf "$dir/src"
mkdir -p "$dir/src"
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$dir/src"
mkdir "$work/no-pkgconfig"
PKG_CONFIG_LIBDIR=$work/no-pkgconfig PKG_CONFIG_PATH='' \
    cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQV_BUILD_BENCH=OFF >"$work/configure.log" 2>&1 || fail "configure: $(tail -20 "$work/configure.log")"
grep -q "building without the GTK display driver" "$work/configure.log" ||
    fail "configuring did not say that it builds without GTK: $(cat "$work/configure.log")"

step "build and unit tests"
cmake --build "$dir/build" -j2 >"$work/build.log" 2>&1 || fail "build: $(tail -30 "$work/build.log")"
if readelf -d "$dir/build/app/quantview" | grep 'libgtk' >/dev/null; then
    fail "quantview links GTK"
fi
ctest --test-dir "$dir/build" --output-on-failure -j2 >"$work/ctest.log" 2>&1 ||
    fail "unit tests: $(tail -40 "$work/ctest.log")"
grep -E 'BmpSuite\..*Skipped' "$work/ctest.log" >/dev/null ||
    fail "the bitmap-suite test was not skipped: $(grep BmpSuite "$work/ctest.log")"
grep "tests passed" "$work/ctest.log"
QUANTVIEW_DISPLAY= "$dir/build/app/quantview" samples/astronaut.bmp 2>"$work/viewer.err" |
    grep '^cache hit:' >/dev/null || fail "quantview did not run headless: $(cat "$work/viewer.err")"

step "all passed"
