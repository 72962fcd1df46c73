#!/bin/sh
# Bates stamping against qpdf: 1,000 pages in 50 PDFs (text and vector drawing on every page).
# `cvl bates` numbers and stamps the folder; the peer is `qpdf --overlay` of a prepared one-page
# stamp file on the same 50 PDFs, one qpdf per file, as a script would run it. Both run the same
# number of times (RUNS, default 1) side by side; prints seconds, pages per second and the ratio.
# Usage: bench/bates/run_bench.sh [BUILD_DIR]   (default build; needs mutool, qpdf, hyperfine)
set -eu
BUILD=${1:-build}
CVL="$BUILD/cvl"
RUNS=${RUNS:-1}
[ -x "$CVL" ] || { echo "build first: cmake --build $BUILD --target cvl" >&2; exit 2; }
for t in mutool qpdf hyperfine python3; do
    command -v $t >/dev/null 2>&1 || { echo "needs $t" >&2; exit 2; }
done
W=$(mktemp -d /tmp/cvl-bates-bench-XXXXXX)
trap 'rm -rf "$W"' EXIT
mkdir -p "$W/in"

# One page: a heading, 50 lines of body text in two fonts and 20 stroked lines.
python3 - "$W/page.txt" <<'PY'
import random, sys
random.seed(7)
words = ("the court shall consider evidence submitted by the parties under seal pursuant to "
         "rule discovery agreement contract exhibit deposition witness").split()
out = ["%%MediaBox 0 0 612 792", "%%Font F1 Helvetica", "%%Font F2 Times-Roman",
       "BT /F1 16 Tf 72 740 Td (Exhibit) Tj ET", "BT /F2 10 Tf 12 TL 72 710 Td"]
for _ in range(50):
    out.append("(%s) Tj T*" % " ".join(random.choice(words) for _ in range(14)))
out.append("ET")
for i in range(20):
    out.append("0.%d 0.2 0.5 RG %d 80 m %d 120 l S" % (i % 10, 72 + i * 20, 90 + i * 20))
open(sys.argv[1], "w").write("\n".join(out) + "\n")
PY
PAGES=""
i=0
while [ $i -lt 20 ]; do PAGES="$PAGES $W/page.txt"; i=$((i + 1)); done
n=1
while [ $n -le 50 ]; do
    mutool create -o "$W/in/doc$(printf %02d $n).pdf" $PAGES
    n=$((n + 1))
done
# The stamp qpdf lays over every page: the same label in the same place as cvl draws it.
printf '%%%%MediaBox 0 0 612 792\n%%%%Font F1 Helvetica-Bold\nBT /F1 10 Tf 532.98 26.18 Td (ABC000001) Tj ET\n' > "$W/stamp.txt"
mutool create -o "$W/stamp.pdf" "$W/stamp.txt"

cat > "$W/qpdf-all.sh" <<SH
#!/bin/sh
set -e
for f in $W/in/*.pdf; do qpdf --overlay $W/stamp.pdf --repeat=1 -- "\$f" "$W/qout/\$(basename "\$f")"; done
SH
chmod +x "$W/qpdf-all.sh"

hyperfine --runs "$RUNS" --style none --export-json "$W/h.json" \
    --prepare "rm -rf $W/in/Bates-Stamped $W/qout; mkdir -p $W/qout" \
    -n "cvl bates" "$CVL bates $W/in" \
    -n "qpdf --overlay" "$W/qpdf-all.sh" >/dev/null 2>&1

python3 - "$W/h.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
ours, peer = r["cvl bates"], r["qpdf --overlay"]
for name, x in (("cvl bates", ours), ("qpdf --overlay", peer)):
    print("%-15s %7.3f s (user %.3f s, system %.3f s)  %6.0f pages/s" %
          (name, x["mean"], x["user"], x["system"], 1000 / x["mean"]))
print("ratio (cvl / qpdf, wall clock): %.2f   goal: at most 1.5" % (ours["mean"] / peer["mean"]))
print("ratio (cvl / qpdf, user + system time): %.2f" %
      ((ours["user"] + ours["system"]) / (peer["user"] + peer["system"])))
PY
