#!/bin/sh
# Writes the JSON that a set of searches and direct scans print for a corpus, one file per
# query, so that two builds can be compared byte for byte (speed work must not change what
# is found, its order or its snippets). Builds a fresh index with the given cvl first; the
# chunk rows and their ids come from that build, the rank order from SQLite.
#
# usage: bench/search_results_snapshot.sh CVL CORPUS OUT_DIR
#   then: diff -r OUT_DIR_BEFORE OUT_DIR_AFTER
set -eu
[ $# -eq 3 ] || { echo "usage: $0 CVL CORPUS OUT_DIR" >&2; exit 2; }
CVL=$1
CORPUS=$2
OUT=$3
mkdir -p "$OUT"
DB=$(mktemp -d)
trap 'rm -rf "$DB"' EXIT

"$CVL" index --db "$DB/idx.db" --dir "$CORPUS" > "$OUT/index.json"

n=0
search() {
    n=$((n + 1))
    "$CVL" search --db "$DB/idx.db" --dir "$CORPUS" "$@" > "$OUT/search-$n.json"
}
search indemnification
search --mode fuzzy indemnification
search --mode fuzzy indemnifciation
search zephyrine
search --mode fuzzy zepyhrine
search "breach of warranty"
search "$(printf '\303\211cole')"
search "$(printf 'S\303\243o Paulo')"
search the
search --mode fuzzy "the court"
search xqzvxq
search zephyrinx
search '"quoted'
search Zo
search 45
# The index as it stands, as the lean start of cvl answers it.
search --no-refresh indemnification
search --no-refresh --mode fuzzy indemnifciation
search --no-refresh "$(printf '\303\211cole')"
search --no-refresh zephyrinx

n=0
scan() {
    n=$((n + 1))
    "$CVL" scan --dir "$CORPUS" "$@" > "$OUT/scan-$n.json"
}
scan quillwort
scan "breach of warranty"
scan the
scan "$(printf '\303\211cole')"
scan Zo
scan x
echo "wrote $(ls "$OUT" | wc -l) files to $OUT"
