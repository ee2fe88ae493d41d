#!/usr/bin/env bash
# Benchmarks the colour quantizer: every phase and the whole of process() on
# generated photo-like pictures of 0.25, 2 and 12 megapixels and on any bitmap
# files given as arguments, against the literal reference implementation of
# the tests; then the quantreduce program against pngquant and ImageMagick
# (255 colours, dithering on) on the same pictures, where they are installed.
#
#   scripts/bench.sh [--no-reference-above MP] [FILE.bmp ...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default -j2 --target quant_bench quantreduce >/dev/null

bench_args=()
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-reference-above) bench_args+=("$1" "$2"); shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== quantizer phases (build/default/bench/quant_bench)"
build/default/bench/quant_bench ${bench_args[@]+"${bench_args[@]}"} --write "$work" \
  ${files[@]+"${files[@]}"}

# Wall-clock seconds of one command, its output discarded.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

magick_cmd=""
if command -v magick >/dev/null 2>&1; then
  magick_cmd=magick
elif command -v convert >/dev/null 2>&1; then
  magick_cmd=convert
fi

echo
echo "== whole programs on the same pictures (wall-clock seconds, file reading and writing included)"
for picture in "$work/generated_12.bmp" ${files[@]+"${files[@]}"}; do
  [ -f "$picture" ] || continue
  echo "-- $(basename "$picture")"
  ours=$(seconds build/default/app/quantreduce "$picture" "$work/ours.bmp")
  printf '  %-44s %8.3f s\n' "quantreduce" "$ours"
  if [ -n "$magick_cmd" ]; then
    theirs=$(seconds "$magick_cmd" "$picture" -dither FloydSteinberg -colors 255 "$work/magick.bmp")
    printf '  %-44s %8.3f s   (%.2f x quantreduce)\n' \
      "ImageMagick -dither FloydSteinberg -colors 255" "$theirs" "$(awk -v a="$theirs" -v b="$ours" 'BEGIN { print a / b }')"
  else
    echo "  ImageMagick: not installed, skipped"
  fi
  if command -v pngquant >/dev/null 2>&1 && [ -n "$magick_cmd" ]; then
    # The PNG is prepared beforehand; only the quantization is timed.
    "$magick_cmd" "$picture" "$work/input.png"
    theirs=$(seconds pngquant --force --floyd=1 --output "$work/pngquant.png" 255 "$work/input.png")
    printf '  %-44s %8.3f s   (%.2f x quantreduce)\n' \
      "pngquant --floyd=1 255 (PNG in and out)" "$theirs" "$(awk -v a="$theirs" -v b="$ours" 'BEGIN { print a / b }')"
  else
    echo "  pngquant: not installed (or no ImageMagick to prepare its PNG), skipped"
  fi
done
