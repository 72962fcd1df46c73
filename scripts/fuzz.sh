#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs the page command fuzzer
# for the given number of seconds (default 120), starting from the canonical forms.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-120}"
command -v clang++ >/dev/null || { echo "fuzz: clang++ is needed" >&2; exit 1; }
CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2
corpus=build-fuzz/corpus
mkdir -p "$corpus"
i=0
for form in "split after page 10" "split in half" "rotate pages 1-3 right" "delete all pages except 3" \
            "move page 3 after page 7" "swap pages 2 and 9" "reorder pages 3,1,2" \
            "save the odd pages as png" "add a blank page before page 2" "copy page 2" \
            "Please can you turn p.2 anti-clockwise" "twenty-one to thirty"; do
  printf '\024\003\002\002\005%s\000%s' "$form" "$form" > "$corpus/seed$i"
  i=$((i + 1))
done
build-fuzz/PageCommandFuzz -max_total_time="$seconds" -timeout=5 -max_len=4096 "$corpus"
