#!/usr/bin/env bash
# Runs every test through CTest; the end-to-end tests need a display, so CTest runs
# under a virtual X server when one is available.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build ] || { echo "test: run scripts/setup.sh first" >&2; exit 1; }
cmake --build build -j2
export WEBKIT_DISABLE_COMPOSITING_MODE=1
if command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a ctest --test-dir build --output-on-failure -j2
else
  ctest --test-dir build --output-on-failure -j2
fi
