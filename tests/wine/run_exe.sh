#!/usr/bin/env bash
# Runs a Windows program under Wine: run_exe.sh PROGRAM.exe ARGS...
# Its standard output comes through with the console's CR LF line ends made
# LF (CTest and the comparisons read LF lines); standard error and the exit
# status are kept.
set -uo pipefail
source "$(dirname "$0")/env.sh"
qv_wine_prefix
# Through files, not the caller's pipes: Wine's helper processes (services,
# explorer) inherit the descriptors and would hold a pipe open long after the
# program has ended.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$qv_wine" "$@" >"$out" 2>"$err"
status=$?
sed 's/\r$//' "$out"
cat "$err" >&2
exit "$status"
