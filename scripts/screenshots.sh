#!/bin/sh
# Retakes the desktop window's pictures in docs/screenshots: a window with two named tabs, and
# the reader asking for the password of a locked PDF. Runs the built corvello under a virtual
# display with a throw-away HOME; needs build/corvello, xvfb-run, qpdf and python3.
#   scripts/screenshots.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
out="$root/docs/screenshots"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$out"

# Small text PDFs: a title and a few lines of body text.
pdf() {
    python3 - "$@" <<'PY'
import sys
path, title, lines = sys.argv[1], sys.argv[2], sys.argv[3:]
esc = lambda t: t.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
body = "BT /F2 22 Tf 72 712 Td (%s) Tj ET " % esc(title)
body += "BT /F1 12 Tf 72 672 Td 18 TL " + " ".join("(%s) '" % esc(l) for l in lines) + " ET"
objs = [
    "<< /Type /Catalog /Pages 2 0 R >>",
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R"
    " /Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>",
    "<< /Length %d >>\nstream\n%s\nendstream" % (len(body), body),
    "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>",
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>",
]
data, offsets = "%PDF-1.4\n", []
for i, o in enumerate(objs):
    offsets.append(len(data))
    data += "%d 0 obj\n%s\nendobj\n" % (i + 1, o)
xref = len(data)
data += "xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
data += "".join("%010d 00000 n \n" % o for o in offsets)
data += "trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
open(path, "w").write(data)
PY
}

terms="This lease is made between Harbour Freight Ltd and Orrin Delaney."
pdf "$work/home/Lease agreement.pdf" "Lease agreement" "$terms" \
    "1. The premises are the second floor of 12 Harbour Street." \
    "2. The term is three years from the first of March." \
    "3. Rent is payable monthly in advance."
pdf "$work/home/Master services agreement between Harbour Freight and Orrin Delaney (final).pdf" \
    "Master services agreement" "$terms" "1. Services are described in the schedules." \
    "2. Either party may end this agreement with 90 days' notice."
pdf "$work/home/Plain.pdf" "Settlement terms" "$terms" "Confidential."
qpdf --encrypt user owner 256 -- "$work/home/Plain.pdf" "$work/home/Settlement (locked).pdf"

# Opens FIRST, then SECOND in a tab of the same window, and pictures the window into PNG.
shoot() {
    first=$1 second=$2 png=$3
    cat >"$work/drive.js" <<JS
const f = document.createElement('iframe');
f.style.display = 'none';
f.src = 'qrtiz://reader?path=' + encodeURIComponent('$second');
document.body.appendChild(f);
const shell = (r) => window.webkit.messageHandlers.cvlShell.postMessage(r);
for (let i = 0; i < 100 && (await shell({ do: 'windows' })).windows[0].tabs.length < 2; ++i)
  await new Promise((r) => setTimeout(r, 100));
// The new tab lays out and draws its page.
await new Promise((r) => setTimeout(r, 3000));
return await shell({ do: 'picture', path: '$png' });
JS
    env HOME="$work/home" CVL_TEST=1 CVL_NO_WARM=1 WEBKIT_DISABLE_COMPOSITING_MODE=1 \
        CVL_RESOURCES="$root/resources" CVL_TEST_DRIVE="$work/drive.js" \
        CVL_TEST_DRIVE_OUT="$work/out.json" \
        xvfb-run -a -s "-noreset -screen 0 1400x1000x24" "$build/corvello" "$first" >/dev/null 2>&1
    if ! grep -q '"written":true' "$work/out.json" 2>/dev/null; then
        echo "no picture for $png: $(cat "$work/out.json" 2>/dev/null)" >&2
        exit 1
    fi
    rm -f "$work/out.json"
    echo "$png"
}

shoot "$work/home/Lease agreement.pdf" \
    "$work/home/Master services agreement between Harbour Freight and Orrin Delaney (final).pdf" \
    "$out/window-tabs.png"
shoot "$work/home/Plain.pdf" "$work/home/Settlement (locked).pdf" "$out/reader-password.png"
