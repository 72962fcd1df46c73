#!/usr/bin/env bash
# Page images for pages: our scheme handler against mutool drawing the same 50 thumbnails
# (240 px wide, PNG). Usage: bench/run_page_image_bench.sh [build-bench]
set -euo pipefail
build=${1:-build-bench}
cmake -S . -B "$build" -DCVL_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target PageImageBench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
CVL_BENCH_PDF="$work/bench.pdf" "$build/bench/PageImageBench" --benchmark_format=json \
  --benchmark_filter=ThumbnailGrid >"$work/ours.json"
ours=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["benchmarks"][0]["real_time"])' "$work/ours.json")
hyperfine -N --warmup 1 --runs 8 --export-json "$work/mutool.json" \
  "mutool draw -q -w 240 -o $work/t%d.png $work/bench.pdf" >/dev/null
theirs=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"]*1000)' "$work/mutool.json")
python3 - "$ours" "$theirs" <<'PY'
import sys
ours, theirs = float(sys.argv[1]), float(sys.argv[2])
print(f"50 thumbnails at 240 px: ours {ours:.1f} ms, mutool draw {theirs:.1f} ms, ratio {ours/theirs:.2f}")
PY
