#!/usr/bin/env bash
# Benchmarks the colour quantizer on a real photograph of 13.4 megapixels
# (from Debian's lomiri-wallpapers-16.04 package: its JPEG, and a BMP and a
# PNG made from it once, cached under build/bench/).
#
# 1. The quantizer's phases (bench/quant_bench): the colour table, the
#    remapping and the whole of process() on 1 thread, 2 threads and the
#    default count, the palette construction and averaging, each remapping
#    version, reading and writing the file, with time per pixel, peak heap
#    memory and minor page faults, beside the literal reference of the tests;
#    on the photograph, on a generated picture holding every 24-bit colour
#    once and on any bitmap files given; reading the JPEG and the PNG, alone
#    and with the colours counted as the rows are decoded.
# 2. Whole programs given the same work: the same input file and the same
#    output format for every tool, runs interleaved (every tool once per
#    round), medians of wall-clock time, CPU time, peak memory and minor page
#    faults, and each tool's time as a multiple of quantreduce's:
#    BMP -> BMP, the original JPEG -> PNG, PNG -> PNG.
#
#   scripts/bench.sh [--no-reference] [--no-phases] [--runs N] [FILE.bmp ...]
set -euo pipefail
cd "$(dirname "$0")/.."

phases=1
runs=7
bench_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-phases) phases=0 ;;
    --runs) runs="$2"; shift ;;
    *) bench_args+=("$1") ;;
  esac
  shift
done

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
jpeg=$cache/dragonfly.jpg
photo=$cache/dragonfly.bmp
png=$cache/dragonfly.png
mkdir -p "$cache"
if [ ! -f "$jpeg" ]; then
  (cd "$cache" && apt-get download lomiri-wallpapers-16.04 >/dev/null 2>&1)
  dpkg-deb -x "$cache"/lomiri-wallpapers-16.04_*.deb "$cache/package"
  cp "$cache/package/usr/share/backgrounds/Dragonfly_by_Bolly.jpg" "$jpeg"
  rm -rf "$cache/package" "$cache"/lomiri-wallpapers-16.04_*.deb
fi
[ -f "$photo" ] || convert "$jpeg" -type TrueColor "BMP3:$photo"
[ -f "$png" ] || convert "$photo" "PNG24:$png"

cmake --preset default >/dev/null
cmake --build build/default -j2 --target quant_bench quantreduce >/dev/null

if [ "$phases" = 1 ]; then
  echo "== quantizer phases (build/default/bench/quant_bench; per_pixel is time per pixel)"
  # The phases timed three times are shown by their fastest run (_min).
  build/default/bench/quant_bench --benchmark_min_time=1 "$photo" --load "$jpeg" --load "$png" \
    "${bench_args[@]}" |
    grep -v -E '_(mean|median|stddev|cv) '
  echo
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Pillow as its documentation shows it, with nothing extra: open and load,
# the palette from FASTOCTREE cut to 255 entries, the Floyd-Steinberg remap
# to it, save. Debian's own interpreter, the one python3-pil belongs to.
cat >"$work/pillow.py" <<'PY'
import sys
from PIL import Image
image = Image.open(sys.argv[1])
image.load()
palette = image.quantize(255, method=Image.Quantize.FASTOCTREE)
palette.putpalette(palette.getpalette()[: 3 * 255])
image.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG).save(sys.argv[2])
PY

# Runs every tool of a comparison once per round, in turn, and reports the
# medians. Each run is a child process of this one, whose resource use the
# system reports when it ends: CPU time (user + system), the peak resident
# memory and the minor page faults.
cat >"$work/compare.py" <<'PY'
import os, statistics, subprocess, sys, time

runs = int(sys.argv[1])
quantreduce, jpeg, bmp, png, work = sys.argv[2:7]
pillow = [sys.executable, os.path.join(work, "pillow.py")]
out = lambda name: os.path.join(work, name)
one_thread = dict(os.environ, QUANTVIEW_THREADS="1")

comparisons = [
    ("BMP -> BMP (%s; quantreduce writes 24 bits a pixel, the others 8)" % os.path.basename(bmp), [
        ("quantreduce", [quantreduce, bmp, out("q.bmp")], None, out("q.bmp")),
        ("quantreduce, QUANTVIEW_THREADS=1", [quantreduce, bmp, out("q1.bmp")], one_thread, out("q1.bmp")),
        ("ImageMagick -dither FloydSteinberg -colors 255",
         ["convert", bmp, "-dither", "FloydSteinberg", "-colors", "255", out("m.bmp")], None, out("m.bmp")),
        ("Pillow FASTOCTREE 255 + FLOYDSTEINBERG", pillow + [bmp, out("p.bmp")], None, out("p.bmp")),
    ]),
    ("JPEG -> PNG (%s, the original)" % os.path.basename(jpeg), [
        ("quantreduce", [quantreduce, jpeg, out("q.png")], None, out("q.png")),
        ("ImageMagick -dither FloydSteinberg -colors 255 PNG8:",
         ["convert", jpeg, "-dither", "FloydSteinberg", "-colors", "255", "PNG8:" + out("m.png")], None, out("m.png")),
        ("Pillow FASTOCTREE 255 + FLOYDSTEINBERG", pillow + [jpeg, out("p.png")], None, out("p.png")),
    ]),
    ("PNG -> PNG (%s, made from the BMP)" % os.path.basename(png), [
        ("quantreduce", [quantreduce, png, out("q2.png")], None, out("q2.png")),
        ("pngquant 255", ["pngquant", "--force", "--output", out("n.png"), "255", png], None, out("n.png")),
        ("pngquant --speed 10 255",
         ["pngquant", "--force", "--speed", "10", "--output", out("n10.png"), "255", png], None, out("n10.png")),
    ]),
]

def run(command, env, output):
    if os.path.exists(output):
        os.remove(output)
    start = time.monotonic()
    child = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    error = child.stderr.read().decode(errors="replace").strip()
    child.stderr.close()
    if status != 0 or not os.path.exists(output) or os.path.getsize(output) == 0:
        sys.exit("failed: %s\n%s" % (" ".join(command), error))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0, usage.ru_minflt

for title, tools in comparisons:
    results = {name: [] for name, *_ in tools}
    for _ in range(runs):
        for name, command, env, output in tools:
            results[name].append(run(command, env, output))
    median = {name: [statistics.median(r[i] for r in rows) for i in range(4)]
              for name, rows in results.items()}
    ours = median["quantreduce"]
    print("== %s: medians of %d runs, interleaved" % (title, runs))
    print("  %-52s %7s %7s %9s %10s %8s %8s" %
          ("", "wall s", "CPU s", "peak MiB", "min.faults", "wall/qr", "CPU/qr"))
    for name, *_ in tools:
        wall, cpu, peak, faults = median[name]
        print("  %-52s %7.3f %7.3f %9.1f %10d %8.2f %8.2f" %
              (name, wall, cpu, peak, faults, wall / ours[0], cpu / ours[1]))
    print()
PY

echo "== whole programs, the same work each (wall/qr, CPU/qr: multiples of quantreduce's)"
/usr/bin/python3 "$work/compare.py" "$runs" build/default/app/quantreduce "$jpeg" "$photo" "$png" "$work"
