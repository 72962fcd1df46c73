#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer (clang) into
# build-asan/ and runs the CTest suite there. Any sanitizer report fails the test that caused it.
#
#   scripts/test-sanitized.sh [CTEST ARGS...]     e.g. -R PdfDocument
#
# Needs clang (Debian: clang); the normal build and CI are not affected.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang++ >/dev/null || { echo "test-sanitized: clang++ is needed (apt-get install clang)" >&2; exit 2; }

flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" "${launcher[@]}" >/dev/null
cmake --build build-asan -j2

# Leaks inside the toolkit libraries (fontconfig, GLib type system, WebKit's loader) are the
# libraries' own one-time allocations, not ours: scripts/sanitizers/lsan.supp lists them.
supp="$PWD/scripts/sanitizers"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export WEBKIT_DISABLE_COMPOSITING_MODE=1
if command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-noreset" ctest --test-dir build-asan --output-on-failure -j2 "$@"
else
  ctest --test-dir build-asan --output-on-failure -j2 "$@"
fi
