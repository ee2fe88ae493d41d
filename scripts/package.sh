#!/usr/bin/env bash
# Makes the packages, in build/packages/: the Debian package
# quantview_VERSION_amd64.deb from the Linux build and the Windows archive
# quantview-VERSION-win64.zip from the MinGW-w64 cross build. Builds reused
# when they are there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
out=build/packages
mkdir -p "$out"
for preset in default windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  (cd "$out" && cpack --config "../$preset/CPackConfig.cmake" >/dev/null)
done
rm -rf "$out/_CPack_Packages"
ls -1 "$out"/*.deb "$out"/*.zip
