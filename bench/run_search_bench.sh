#!/bin/sh
# Search benchmarks against the tools a user would otherwise run, on a generated corpus of
# 2,000 documents: building the index (cvl index vs recollindex), exact and fuzzy queries
# (in-process medians, and cvl search vs recollq as whole commands), and the direct scan of
# 500 PDFs (cvl scan vs pdfgrep -r -i). Needs hyperfine, recoll and pdfgrep (installed by
# hand for the bench only). Not run by CTest.
#
# usage: bench/run_search_bench.sh [BUILD_DIR]   (CORPUS=... to reuse a generated corpus)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CORPUS=${CORPUS:-/tmp/cvl-search-corpus}
RUNS=${RUNS:-3}
for tool in hyperfine recollindex recollq pdfgrep; do
    command -v $tool >/dev/null || { echo "missing $tool (apt-get install hyperfine recoll pdfgrep)"; exit 1; }
done
[ -d "$CORPUS" ] || python3 "$ROOT/bench/make_search_corpus.py" "$CORPUS"

cmake -S "$ROOT" -B "$BUILD" -DCVL_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target cvl SearchQueryBench >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME" "$WORK/recoll"
printf 'topdirs = %s\nnoaspell = 1\n' "$CORPUS" > "$WORK/recoll/recoll.conf"
CVL="$BUILD/cvl"

echo "== building the index: $(find "$CORPUS" -type f | wc -l) documents"
hyperfine --runs "$RUNS" --export-markdown "$WORK/index.md" \
    --prepare "rm -f $WORK/idx.db $WORK/idx.db-wal $WORK/idx.db-shm" \
    -n "cvl index" "$CVL index --db $WORK/idx.db --dir $CORPUS" \
    --prepare "rm -rf $WORK/recoll/xapiandb" \
    -n "recollindex" "recollindex -c $WORK/recoll"
echo "index size: cvl $(du -sh "$WORK/idx.db" | cut -f1), recoll $(du -sh "$WORK/recoll/xapiandb" | cut -f1)"

echo "== queries in process (median of 9 repetitions)"
CVL_BENCH_DB="$WORK/idx.db" "$BUILD/bench/SearchQueryBench" 2>&1 | grep -E "median|^Benchmark|^---"

echo "== queries as whole commands (cvl also checks that the 2,000 files are unchanged)"
hyperfine --warmup 2 --runs 15 \
    -n "cvl search exact" "$CVL search --db $WORK/idx.db --dir $CORPUS indemnification" \
    -n "recollq exact" "recollq -c $WORK/recoll -n 300 indemnification" \
    -n "cvl search fuzzy" "$CVL search --db $WORK/idx.db --mode fuzzy --dir $CORPUS indemnifciation" \
    -n "recollq misspelt" "recollq -c $WORK/recoll -n 300 indemnifciation"

echo "== direct scan of $(find "$CORPUS/pdf" -name '*.pdf' | wc -l) PDFs"
hyperfine --warmup 1 --runs "$RUNS" \
    -n "cvl scan" "$CVL scan --dir $CORPUS/pdf quillwort" \
    -n "pdfgrep -r -i" "pdfgrep -r -i quillwort $CORPUS/pdf"
