#!/bin/sh
# Visual compare: `cvl compare A B --images DIR` (two renderings, the cell comparison and three
# PNGs per page) against `mutool draw -r 108` rendering both documents' pages to PNG (108 dpi is
# the compare scale of 1.5). Then peak memory of cvl compare on a short and on a 1,000-page pair,
# to show that it stays flat.
# Usage: bench/operations/run_compare_bench.sh [BUILD_DIR] [PAGES] [LONG_PAGES]
#   BUILD_DIR configured with -DCVL_BENCH=ON; defaults: build-bench 200 1000
set -eu
BUILD=${1:-build-bench}
PAGES=${2:-200}
LONG=${3:-1000}
INPUTS="$BUILD/bench/operations/bench_ops_inputs"
[ -x "$INPUTS" ] && [ -x "$BUILD/cvl" ] || { echo "build first: cmake -S . -B $BUILD -DCVL_BENCH=ON -DCMAKE_BUILD_TYPE=Release && cmake --build $BUILD -j2 --target bench_ops_inputs cvl" >&2; exit 2; }
W=$(mktemp -d /tmp/cvl-compare-bench-XXXXXX)
trap 'rm -rf "$W"' EXIT
"$INPUTS" pair "$W/short" "$PAGES"
"$INPUTS" pair "$W/long" "$LONG"

# "seconds user+system peak-KB" of one run, into a fresh output folder.
measure() {
    rm -rf "$W/out"; mkdir -p "$W/out"
    /usr/bin/time -f "%e %U+%S %M" -o "$W/t" sh -c "$1" >/dev/null 2>&1
    cat "$W/t"
}
ours=$(measure "$BUILD/cvl compare $W/short/a.pdf $W/short/b.pdf --images $W/out")
theirs=$(measure "mutool draw -q -r 108 -o $W/out/a-%d.png $W/short/a.pdf && mutool draw -q -r 108 -o $W/out/b-%d.png $W/short/b.pdf")
mid=$(measure "$BUILD/cvl compare $W/long/a.pdf $W/long/b.pdf --images $W/out --page 1")
long=$(measure "$BUILD/cvl compare $W/long/a.pdf $W/long/b.pdf --images $W/out")

echo "input: pairs of text documents (Letter, 40 lines a page, every 7th page changed); $(nproc) cores"
echo "                                   seconds  cpu(user+sys)  peak-KB"
echo "cvl compare, $PAGES pages             $ours"
echo "mutool draw -r 108, both documents   $theirs"
python3 -c "
o, t = '$ours'.split(), '$theirs'.split()
cpu = lambda s: sum(float(x) for x in s.split('+'))
print('per page: cvl %.1f ms, mutool %.1f ms; ratio %.2f (cpu ratio %.2f)' % (
    1000 * float(o[0]) / $PAGES, 1000 * float(t[0]) / $PAGES, float(o[0]) / float(t[0]), cpu(o[1]) / cpu(t[1])))"
echo "cvl compare, page 1 of $LONG          $mid"
echo "cvl compare, all $LONG pages          $long"
