#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each for SECONDS (default 60), one after the other.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: the *Fuzz.cpp names; default all
#
# Needs clang with libFuzzer (Debian: clang libclang-rt-14-dev); CI never builds the fuzzers.
# Each target starts from its seeds in fuzz/corpus/<target>/ plus what earlier runs added in
# build-fuzz/corpus/<target>/. A crash, leak, time-out or memory blow-up stops that target and
# leaves the input in build-fuzz/findings/<target>/; the log is build-fuzz/logs/<target>.log.
# The run ends with one line per target; the exit status is 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true

command -v clang++ >/dev/null || { echo "fuzz: clang++ is needed (apt-get install clang)" >&2; exit 2; }
runtime="$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a"
[ -f "$runtime" ] || { echo "fuzz: libFuzzer is needed (apt-get install libclang-rt-14-dev)" >&2; exit 2; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j2

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*Fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

# Per-target input limits: PDFs need room for objects; the rest stay small and fast.
max_len() {
  case "$1" in
    PdfFuzz) echo 32768 ;;
    DocxFuzz | XlsxFuzz) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

# The readers' scratch files go here, so a crashed run leaves nothing in /tmp.
export TMPDIR="$PWD/build-fuzz/tmp"
mkdir -p "$TMPDIR" build-fuzz/logs
summary=()
found=0
for t in "${targets[@]}"; do
  [ -x "build-fuzz/$t" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t"
  marker="build-fuzz/findings/$t/.started"
  touch "$marker"
  log="build-fuzz/logs/$t.log"
  echo "fuzz: $t for ${seconds}s" >&2
  start=$SECONDS
  set +e
  "build-fuzz/$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -max_len="$(max_len "$t")" -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$t/" \
    "build-fuzz/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1
  status=$?
  set -e
  elapsed=$((SECONDS - start))
  runs=$(awk '/^stat::number_of_executed_units:/ {n = $2} END {print n}' "$log")
  added=$(awk '/^stat::new_units_added:/ {n = $2} END {print n}' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | awk '{print $2}')
  new=$(find "build-fuzz/findings/$t" -type f -newer "$marker" ! -name .started | sort)
  if [ -n "$new" ] || [ $status -ne 0 ]; then
    found=1
    what=$(echo "$new" | xargs -r -n1 basename | tr '\n' ' ')
    summary+=("$t: ${runs:-?} executions in ${elapsed}s, coverage ${cov:-?}, ${added:-0} new inputs; FOUND (exit $status) ${what:-see $log}")
  else
    summary+=("$t: ${runs:-?} executions in ${elapsed}s, coverage ${cov:-?}, ${added:-0} new inputs; nothing found")
  fi
done
printf '%s\n' "${summary[@]}"
exit $found
