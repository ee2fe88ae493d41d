#!/usr/bin/env bash
# Sets up, builds and runs every test suite; fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== unit tests (release with debug info)"
cmake --workflow --preset default

echo "== unit tests (address and undefined-behaviour sanitizers)"
cmake --workflow --preset sanitize
