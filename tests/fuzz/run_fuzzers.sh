#!/usr/bin/env bash
# Runs every fuzz target of the fuzz build for a bounded time, starting from
# its seed corpus (copied: the seeds in the tree stay as they are). A crash,
# leak or timeout found is kept in tests/fuzz/regressions/<target>/, which
# the normal test build replays, and fails this script.
# Usage: tests/fuzz/run_fuzzers.sh [total seconds, default 60]
set -euo pipefail
cd "$(dirname "$0")/../.."
total=${1:-60}
build=build/fuzz/tests/fuzz
targets=(load load_global png jpeg webp tiff heif icc)
per_target=$(( total / ${#targets[@]} ))
[ "$per_target" -ge 1 ] || per_target=1
# Leaks inside system libraries that are not the program's.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan_suppressions.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for t in "${targets[@]}"; do
  corpus="$work/corpus-$t"
  artifacts="$work/artifacts-$t"
  mkdir -p "$corpus" "$artifacts"
  cp tests/fuzz/seeds/"$t"/* "$corpus"/
  echo "fuzz: $t for ${per_target}s"
  if ! "$build/fuzz_$t" -max_total_time="$per_target" -timeout=10 -rss_limit_mb=2048 \
       -max_len=8192 -print_final_stats=1 -artifact_prefix="$artifacts/" \
       "$corpus" >"$work/log-$t" 2>&1; then
    failed=1
    tail -n 40 "$work/log-$t" >&2
    mkdir -p tests/fuzz/regressions/"$t"
    for a in "$artifacts"/*; do
      [ -e "$a" ] || continue
      cp "$a" tests/fuzz/regressions/"$t"/
      echo "fuzz: $t failed; input kept as tests/fuzz/regressions/$t/$(basename "$a")" >&2
    done
  else
    grep -E '^stat::number_of_executed_units|^Done' "$work/log-$t" || true
  fi
done
exit "$failed"
