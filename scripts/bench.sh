#!/usr/bin/env bash
# Benchmarks the colour quantizer on a real photograph of 13.4 megapixels
# (taken from Debian's lomiri-wallpapers-16.04 package, converted to BMP once
# and cached under build/bench/), on a generated picture holding every 24-bit
# colour once and on any bitmap files given: the colour table, the remapping
# and the whole of process() on 1 thread, 2 threads and the default count,
# with time per pixel and peak memory, beside the literal reference of the
# tests. Then the whole programs on the photograph: quantreduce on 1, 2 and
# the default number of threads, ImageMagick, pngquant and Pillow.
#
#   scripts/bench.sh [--no-reference] [FILE.bmp ...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# What only the benchmark needs: the other tools and the photograph's package.
need=()
for p in imagemagick pngquant python3-pil; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

cache=build/bench
photo=$cache/dragonfly.bmp
mkdir -p "$cache"
if [ ! -f "$photo" ]; then
  (cd "$cache" && apt-get download lomiri-wallpapers-16.04 >/dev/null 2>&1)
  dpkg-deb -x "$cache"/lomiri-wallpapers-16.04_*.deb "$cache/package"
  convert "$cache/package/usr/share/backgrounds/Dragonfly_by_Bolly.jpg" -type TrueColor "BMP3:$photo"
  rm -rf "$cache/package" "$cache"/lomiri-wallpapers-16.04_*.deb
fi

cmake --preset default >/dev/null
cmake --build build/default -j2 --target quant_bench quantreduce >/dev/null

echo "== quantizer phases (build/default/bench/quant_bench; per_pixel is time per pixel)"
# The phases timed three times are shown by their fastest run (_min).
build/default/bench/quant_bench --benchmark_min_time=1 "$photo" "$@" |
  grep -v -E '_(mean|median|stddev|cv) '

# Wall-clock seconds of one command, its output discarded: the fastest of
# five (a machine shared with others only ever slows a run down).
seconds() {
  local best="" start end t
  for _ in 1 2 3 4 5; do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert "$photo" "$work/photo.png"
# Debian's own interpreter, the one python3-pil belongs to.
cat >"$work/pillow.py" <<'PY'
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
palette = image.quantize(255, method=Image.Quantize.FASTOCTREE)
image.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG).save(sys.argv[2])
PY

echo
echo "== whole programs on $(basename "$photo") (wall-clock seconds, fastest of five, files included)"
ours=$(seconds build/default/app/quantreduce "$photo" "$work/ours.bmp")
row() { printf '  %-52s %8.3f s   (%.2f x quantreduce)\n' "$1" "$2" "$(awk -v a="$2" -v b="$ours" 'BEGIN { print a / b }')"; }
row "quantreduce (default threads)" "$ours"
for t in 1 2; do
  row "quantreduce, QUANTVIEW_THREADS=$t" "$(QUANTVIEW_THREADS=$t seconds build/default/app/quantreduce "$photo" "$work/ours.bmp")"
done
row "ImageMagick -dither FloydSteinberg -colors 255" \
  "$(seconds convert "$photo" -dither FloydSteinberg -colors 255 "$work/magick.bmp")"
row "pngquant --floyd=1 255 (PNG in and out)" \
  "$(seconds pngquant --force --floyd=1 --output "$work/pngquant.png" 255 "$work/photo.png")"
row "Pillow FASTOCTREE 255 + FLOYDSTEINBERG (PNG in and out)" \
  "$(seconds /usr/bin/python3 "$work/pillow.py" "$work/photo.png" "$work/pillow.png")"
