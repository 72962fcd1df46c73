#!/bin/sh
# OCR of scanned pages: `cvl ocr` against `ocrmypdf --force-ocr -O0 --output-type pdf`, same
# pages, same Tesseract and language data, both on every core. Character accuracy of each is
# measured against the known text of the pages (ocrmypdf's text read back with pdftotext).
# Usage: bench/operations/run_ocr_bench.sh [BUILD_DIR] [PAGES] [DPI] [POINTS]
#   BUILD_DIR configured with -DCVL_BENCH=ON; defaults: build-bench 8 300 11
set -eu
BUILD=${1:-build-bench}
PAGES=${2:-8}
DPI=${3:-300}
POINTS=${4:-11}
HERE=$(dirname "$0")
INPUTS="$BUILD/bench/operations/bench_ops_inputs"
[ -x "$INPUTS" ] && [ -x "$BUILD/cvl" ] || { echo "build first: cmake -S . -B $BUILD -DCVL_BENCH=ON -DCMAKE_BUILD_TYPE=Release && cmake --build $BUILD -j2 --target bench_ops_inputs cvl" >&2; exit 2; }
command -v ocrmypdf >/dev/null || { echo "ocrmypdf is not installed (apt-get install ocrmypdf)" >&2; exit 2; }
W=$(mktemp -d /tmp/cvl-ocr-bench-XXXXXX)
trap 'rm -rf "$W"' EXIT
"$INPUTS" scans "$W/in" "$PAGES" "$DPI" "$POINTS"
CORES=$(nproc)

# "seconds user+system peak-KB" of one run.
measure() {
    /usr/bin/time -f "%e %U+%S %M" -o "$W/t" sh -c "$1" >/dev/null 2>&1
    cat "$W/t"
}

ours=$(HOME="$W/home" measure "$BUILD/cvl ocr $W/in/scans.pdf > $W/cvl.json")
theirs=$(measure "ocrmypdf --force-ocr -O0 --output-type pdf -j $CORES $W/in/scans.pdf $W/ocrmypdf.pdf")

python3 - "$W" "$PAGES" <<'PY'
import json, sys
w, pages = sys.argv[1], int(sys.argv[2])
doc = json.load(open(w + "/cvl.json"))["documents"][0]
for p in doc["pages"]:
    open("%s/cvl-%d.txt" % (w, p["page"]), "w").write(p["text"])
PY
n=1
while [ "$n" -le "$PAGES" ]; do
    pdftotext -enc UTF-8 -f "$n" -l "$n" "$W/ocrmypdf.pdf" "$W/ocrmypdf-$n.txt"
    n=$((n + 1))
done
acc_ours=$(python3 "$HERE/char_accuracy.py" "$W/in" "$PAGES" "$W/cvl-{n}.txt")
acc_theirs=$(python3 "$HERE/char_accuracy.py" "$W/in" "$PAGES" "$W/ocrmypdf-{n}.txt")

t_ours=$(echo "$ours" | cut -d' ' -f1)
t_theirs=$(echo "$theirs" | cut -d' ' -f1)
echo "input: $PAGES scanned Letter pages, $DPI dpi, ${POINTS}-point text; $CORES cores; $(tesseract --version 2>&1 | head -1)"
echo "                 seconds  cpu(user+sys)  peak-KB   char accuracy (mean, then per page)"
echo "cvl ocr          $ours   $acc_ours"
echo "ocrmypdf         $theirs   $acc_theirs"
python3 -c "print('time ratio cvl/ocrmypdf: %.2f' % ($t_ours / $t_theirs))"
