#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer (clang) into
# build-asan/ and runs the CTest suite there. Any sanitizer report fails the test that caused it.
#
#   scripts/test-sanitized.sh [CTEST ARGS...]                 everything, e.g. -R PdfDocument
#   scripts/test-sanitized.sh --folders pagecmd,search [CTEST ARGS...]
#       builds only those test folders (test_<folder>) and runs only their tests; the whole
#       build takes a long time on a small machine.
#
# Needs clang (Debian: clang); the normal build and CI are not affected. JOBS (default 2) sets
# the build's parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang++ >/dev/null || { echo "test-sanitized: clang++ is needed (apt-get install clang)" >&2; exit 2; }

folders=()
if [ "${1:-}" = "--folders" ]; then
  [ -n "${2:-}" ] || { echo "test-sanitized: --folders needs a list, e.g. pagecmd,search" >&2; exit 2; }
  IFS=, read -r -a folders <<<"$2"
  shift 2
fi

flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" "${launcher[@]}" >/dev/null

# Leaks inside the toolkit libraries (fontconfig, GLib type system, WebKit's loader) are the
# libraries' own one-time allocations, not ours: scripts/sanitizers/lsan.supp lists them.
supp="$PWD/scripts/sanitizers"
export ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export WEBKIT_DISABLE_COMPOSITING_MODE=1

selection=()
if [ ${#folders[@]} -eq 0 ]; then
  cmake --build build-asan -j"${JOBS:-2}"
else
  cmake --build build-asan -j"${JOBS:-2}" --target "${folders[@]/#/test_}"
  # CTest names the tests Suite.Case; select the suites of the folders built.
  suites=()
  for f in "${folders[@]}"; do
    while IFS= read -r suite; do suites+=("${suite%.}"); done \
      < <(ASAN_OPTIONS=detect_leaks=0 "build-asan/test_$f" --gtest_list_tests | grep -oE '^[^ #]+\.')
  done
  selection=(-R "^($(printf '%s\n' "${suites[@]}" | sort -u | paste -sd'|'))\\.")
fi

run=(ctest --test-dir build-asan --output-on-failure -j"${JOBS:-2}" "${selection[@]}" "$@")
if command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-noreset" "${run[@]}"
else
  "${run[@]}"
fi
