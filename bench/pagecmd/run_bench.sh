#!/bin/sh
# Page operations and compression against the tools users would otherwise run, same inputs,
# one run each (hyperfine when installed, else wall-clock time). Prints times, sizes and ratios.
# Usage: bench/pagecmd/run_bench.sh [BUILD_DIR]   (BUILD_DIR configured with -DCVL_BENCH=ON)
set -eu
BUILD=${1:-build-bench}
TOOL="$BUILD/bench/pagecmd/bench_pages"
[ -x "$TOOL" ] || { echo "build first: cmake -S . -B $BUILD -DCVL_BENCH=ON -DCMAKE_BUILD_TYPE=Release && cmake --build $BUILD -j2 --target bench_pages" >&2; exit 2; }
W=$(mktemp -d /tmp/cvl-bench-XXXXXX)
trap 'rm -rf "$W"' EXIT
"$TOOL" make "$W/in"
MANY=$(ls "$W"/in/many/*.pdf)

# Seconds for one run of a command (fresh output folder each time).
seconds() {
    if command -v hyperfine >/dev/null 2>&1; then
        hyperfine --runs 1 --style none --export-json "$W/h.json" --prepare "rm -rf $W/out; mkdir -p $W/out" "$1" >/dev/null 2>&1
        python3 -c "import json;print('%.3f'%json.load(open('$W/h.json'))['results'][0]['mean'])"
    else
        rm -rf "$W/out"; mkdir -p "$W/out"
        python3 -c "import subprocess,time,sys;t=time.time();subprocess.run(sys.argv[1],shell=True,check=True);print('%.3f'%(time.time()-t))" "$1"
    fi
}

row() {  # name ours peer peername
    ours=$(seconds "$2"); theirs=$(seconds "$3")
    ratio=$(python3 -c "print('%.2f' % ($ours/$theirs if $theirs > 0 else 0))")
    printf '%-34s corvello %7ss   %-9s %7ss   ratio %s\n' "$1" "$ours" "$4" "$theirs" "$ratio"
}

echo "inputs: 500-page text PDF with outline and links; 50 ten-page PDFs; 6 Letter pages of 300-dpi photos"
row "split 500 pages into single pages" "$TOOL split $W/in/big.pdf $W/out/parts" "qpdf --split-pages $W/in/big.pdf $W/out/p-%d.pdf" qpdf
row "merge 50 PDFs" "$TOOL merge $W/out/m.pdf $(echo $MANY)" "qpdf --empty --pages $(echo $MANY) -- $W/out/m.pdf" qpdf
row "extract every other page" "$TOOL odd $W/in/big.pdf $W/out/o.pdf" "qpdf $W/in/big.pdf --pages $W/in/big.pdf 1-z:odd -- $W/out/o.pdf" qpdf
row "rotate all 500 pages" "$TOOL rotate $W/in/big.pdf $W/out/r.pdf" "qpdf $W/in/big.pdf $W/out/r.pdf --rotate=+90" qpdf
row "render 100 pages 150 dpi (1 thread)" "$TOOL render $W/in/big.pdf $W/out/img 100 1" "pdftoppm -r 150 -png -f 1 -l 100 $W/in/big.pdf $W/out/p" pdftoppm
row "render 100 pages 150 dpi (2 threads)" "$TOOL render $W/in/big.pdf $W/out/img 100 2" "pdftoppm -r 150 -png -f 1 -l 100 $W/in/big.pdf $W/out/p" pdftoppm
row "render 100 pages 150 dpi (1 thread)" "$TOOL render $W/in/big.pdf $W/out/img 100 1" "mutool draw -q -r 150 -o $W/out/p%d.png $W/in/big.pdf 1-100" mutool

rm -rf "$W/c"; mkdir -p "$W/c"
ours=$(seconds "$TOOL compress $W/in/scans.pdf $W/c/ours.pdf")
theirs=$(seconds "qpdf --optimize-images --object-streams=generate $W/in/scans.pdf $W/c/qpdf.pdf")
in=$(stat -c %s "$W/in/scans.pdf"); a=$(stat -c %s "$W/c/ours.pdf"); b=$(stat -c %s "$W/c/qpdf.pdf")
printf '%-34s corvello %7ss %9s bytes   qpdf %7ss %9s bytes   (input %s bytes) size ratio %s\n' \
    "compress image-heavy PDF" "$ours" "$a" "$theirs" "$b" "$in" "$(python3 -c "print('%.2f' % ($a/$b))")"
