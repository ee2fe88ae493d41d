#!/usr/bin/env bash
# Installs the Debian packages that building and testing quantview need, when
# they are missing. Quiet when everything is already there; safe to run again.
set -euo pipefail

packages=(
  # building
  cmake ninja-build g++ pkg-config
  # the display driver
  libgtk-3-dev
  # PNG, JPEG, WebP, TIFF, HEIC and AVIF files (libheif with its HEVC and AV1
  # decoders), colour profiles
  libpng-dev libjpeg62-turbo-dev libwebp-dev libtiff-dev libheif-dev liblcms2-dev
  # unit tests, benchmarks, the fuzz target
  googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  # the tests' reader of reference renderings (PNG); JPEG files made and
  # decoded by the libjpeg-turbo tools, their orientation tag and profiles set
  # by exiftool; WebP, TIFF and HEIF files made and decoded by their tools;
  # colour conversions by lcms2's
  zlib1g-dev libjpeg-turbo-progs libimage-exiftool-perl webp libtiff-tools libheif-examples
  liblcms2-utils
  # end-to-end tests in an X server of their own
  xvfb xauth openbox xdotool xclip imagemagick x11-utils
  # quantreduce's batches spread by a job runner, as the README shows
  parallel
  # the Windows build, and running it under Wine
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64
  # the packages and their checks: dpkg-shlibdeps, lintian, the desktop
  # entry, the Windows archive, the .exe files' resources and manifest
  dpkg-dev lintian desktop-file-utils unzip icoutils libxml2-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
log=$(mktemp)
export DEBIAN_FRONTEND=noninteractive
if ! { "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq &&
       "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "setup: installing packages failed" >&2
  exit 1
fi
rm -f "$log"
