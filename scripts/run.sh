#!/usr/bin/env bash
# Sets up, builds and shows the bundled sample photograph in the viewer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/app/quantview samples/astronaut.bmp
