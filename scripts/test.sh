#!/usr/bin/env bash
# Runs every test through CTest; the end-to-end tests need a display, so CTest runs
# under a virtual X server when one is available. The server is started with -noreset: by
# default Xvfb resets whenever its last client disconnects, and a test that starts while it
# resets fails with "cannot open display".
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build ] || { echo "test: run scripts/setup.sh first" >&2; exit 1; }
cmake --build build -j2
export WEBKIT_DISABLE_COMPOSITING_MODE=1
if command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir build --output-on-failure -j2
else
  ctest --test-dir build --output-on-failure -j2
fi
