#!/bin/sh
# Search benchmarks against the tools a user would otherwise run, each side by side with cvl in
# the same hyperfine run (the ratio is in hyperfine's summary): building the index (cvl index vs
# recollindex), queries in process (medians), queries as whole commands (cvl search, with and
# without --no-refresh, vs recollq), and the direct scan of the PDFs (cvl scan vs pdfgrep -r -i).
#
# Two generated corpora: 2,000 documents (500 PDFs, Word, workbooks, text) and a small mixed
# one of 200 in the same proportions. LARGE=1 adds 10,000 documents (index build, index size and
# queries). Needs hyperfine, recoll and pdfgrep (installed by hand for the bench only). Not run
# by CTest.
#
# usage: bench/run_search_bench.sh [BUILD_DIR]
#   CORPUS=... SMALL=... BIG=...   reuse generated corpora (default /tmp/cvl-search-corpus*)
#   RUNS=N                         runs of the index build and the scan (default 3)
#   LARGE=1                        also the 10,000-document corpus
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CORPUS=${CORPUS:-/tmp/cvl-search-corpus}
SMALL=${SMALL:-/tmp/cvl-search-corpus-small}
BIG=${BIG:-/tmp/cvl-search-corpus-10k}
RUNS=${RUNS:-3}
for tool in hyperfine recollindex recollq pdfgrep sqlite3; do
    command -v $tool >/dev/null || { echo "missing $tool (apt-get install hyperfine recoll pdfgrep sqlite3)"; exit 1; }
done
[ -d "$CORPUS" ] || python3 "$ROOT/bench/make_search_corpus.py" "$CORPUS"
[ -d "$SMALL" ] || python3 "$ROOT/bench/make_search_corpus.py" "$SMALL" --scale 0.1
if [ "${LARGE:-0}" = 1 ] && [ ! -d "$BIG" ]; then
    python3 "$ROOT/bench/make_search_corpus.py" "$BIG" --scale 5
fi

cmake -S "$ROOT" -B "$BUILD" -DCVL_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target cvl SearchQueryBench >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME"
CVL="$BUILD/cvl"
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

# bench NAME CORPUS [noscan]
bench() {
    name=$1
    corpus=$2
    db="$WORK/$name.db"
    rc="$WORK/recoll-$name"
    mkdir -p "$rc"
    printf 'topdirs = %s\nnoaspell = 1\n' "$corpus" > "$rc/recoll.conf"

    echo
    echo "=== $name: $(find "$corpus" -type f | wc -l) documents, $(du -sh "$corpus" | cut -f1)"
    echo "== building the index"
    hyperfine --runs "$RUNS" \
        --prepare "rm -f $db $db-wal $db-shm" \
        -n "cvl index" "$CVL index --db $db --dir $corpus" \
        --prepare "rm -rf $rc/xapiandb" \
        -n "recollindex" "recollindex -c $rc"
    echo "index size: cvl $(du -shc "$db"* | tail -1 | cut -f1), recoll $(du -sh "$rc/xapiandb" | cut -f1)"

    echo "== queries in process (median of 9 repetitions)"
    CVL_BENCH_DB="$db" "$BUILD/bench/SearchQueryBench" 2>&1 | grep -E "median|^Benchmark|^---"

    echo "== queries as whole commands"
    # The statement every index search runs, in a new sqlite3 process: the floor under cvl's time.
    statement="SELECT c.path, c.atype, c.anchor, c.page, c.body FROM chunk_fts f JOIN chunk c ON c.id = f.rowid WHERE chunk_fts MATCH '\\\"indemnification\\\"' ORDER BY rank LIMIT 24000;"
    hyperfine --warmup 2 --runs 15 \
        -n "cvl search --no-refresh exact" "$CVL search --db $db --no-refresh --dir $corpus indemnification" \
        -n "recollq exact" "recollq -c $rc -n 300 indemnification" \
        -n "cvl search exact (checks the files for changes)" "$CVL search --db $db --dir $corpus indemnification" \
        -n "sqlite3: the index's search statement alone" \
        "sqlite3 -cmd 'PRAGMA mmap_size=2147418112' $db '.output /dev/null' \"$statement\""
    hyperfine --warmup 2 --runs 15 \
        -n "cvl search --no-refresh fuzzy" "$CVL search --db $db --no-refresh --mode fuzzy --dir $corpus indemnifciation" \
        -n "recollq misspelt" "recollq -c $rc -n 300 indemnifciation"

    [ "${3:-}" = noscan ] && return
    echo "== direct scan of $(find "$corpus/pdf" -name '*.pdf' | wc -l) PDFs"
    hyperfine --warmup 1 --runs "$RUNS" \
        -n "cvl scan" "$CVL scan --dir $corpus/pdf quillwort" \
        -n "pdfgrep -r -i" "pdfgrep -r -i quillwort $corpus/pdf"
}

bench "2000" "$CORPUS"
bench "small-mixed" "$SMALL"
if [ "${LARGE:-0}" = 1 ]; then RUNS=1 bench "10000" "$BIG" noscan; fi
echo
echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
