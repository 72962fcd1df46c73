#!/usr/bin/python3
"""Times the engine's conversions on generated documents: a 50-page Word document to PDF
(first conversion and a cached reopen) and a 5 MB workbook to grid cells.

    python3 bench/convert_bench.py [--runs N]

Everything happens under a temporary HOME; nothing outside it is touched.
"""

import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

ENGINE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "engine",
                      "triage_gen.py")
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
S = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
WORDS = ("the tenant shall pay rent monthly in advance landlord premises agreement term notice "
         "deposit repair insurance default remedy clause party obligation schedule").split()


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n)).capitalize() + "."


def make_docx(path, rng):
    """About 50 pages: headings, body paragraphs with bold and italic runs, lists, tables."""
    parts = []
    run = '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>'
    for section in range(1, 41):
        parts.append('<w:p><w:pPr><w:pStyle w:val="Heading1"/></w:pPr>%s</w:p>'
                     % (run % ("", "Section %d" % section)))
        for _ in range(7):
            parts.append("<w:p>%s%s%s</w:p>" % (
                run % ("", sentence(rng, 40) + " "), run % ("<w:rPr><w:b/></w:rPr>",
                                                         sentence(rng, 6) + " "),
                run % ("<w:rPr><w:i/></w:rPr>", sentence(rng, 30))))
        for _ in range(3):
            parts.append('<w:p><w:pPr><w:numPr><w:ilvl w:val="0"/><w:numId w:val="1"/>'
                         "</w:numPr></w:pPr>%s</w:p>" % (run % ("", sentence(rng, 12))))
        rows = "".join("<w:tr>%s</w:tr>" % "".join(
            "<w:tc><w:p>%s</w:p></w:tc>" % (run % ("", sentence(rng, 3))) for _ in range(3))
            for _ in range(4))
        parts.append("<w:tbl>%s</w:tbl>" % rows)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("word/document.xml", "<w:document %s><w:body>%s</w:body></w:document>"
                   % (W, "".join(parts)))
        z.writestr("word/styles.xml", '<w:styles %s><w:style w:styleId="Heading1"><w:name '
                   'w:val="heading 1"/></w:style></w:styles>' % W)
        z.writestr("word/numbering.xml", '<w:numbering %s><w:abstractNum w:abstractNumId="0">'
                   '<w:lvl w:ilvl="0"><w:numFmt w:val="bullet"/></w:lvl></w:abstractNum>'
                   '<w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num></w:numbering>' % W)


def make_xlsx(path, rng, target_bytes):
    """One sheet of mixed shared strings, numbers and dates, grown until the file is about
    `target_bytes` large."""
    names = ["Client %d" % i for i in range(5000)]
    rows = []
    r = 0
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("xl/workbook.xml", '<workbook %s xmlns:r="http://schemas.openxmlformats.org/'
                   'officeDocument/2006/relationships"><sheets><sheet name="Ledger" '
                   'r:id="rId1"/></sheets></workbook>' % S)
        z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="http://schemas.'
                   'openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" '
                   'Target="worksheets/sheet1.xml"/></Relationships>')
        z.writestr("xl/sharedStrings.xml", "<sst %s>%s</sst>"
                   % (S, "".join("<si><t>%s</t></si>" % n for n in names)))
        z.writestr("xl/styles.xml", '<styleSheet %s><cellXfs><xf numFmtId="0"/>'
                   '<xf numFmtId="14"/></cellXfs></styleSheet>' % S)
        while True:
            r += 1
            rows.append('<row r="%d"><c r="A%d" t="s"><v>%d</v></c><c r="B%d"><v>%.2f</v></c>'
                        '<c r="C%d" s="1"><v>%d</v></c><c r="D%d"><v>%d</v></c>'
                        '<c r="E%d"><v>%.6f</v></c></row>'
                        % (r, r, rng.randrange(len(names)), r, rng.uniform(0, 1e6), r,
                           rng.randrange(40000, 46000), r, rng.randrange(10 ** 9), r,
                           rng.random()))
            if r % 20000 == 0:
                # Random numbers compress at a steady rate; stop once the estimate is reached.
                probe = zipfile.ZipFile(path + ".probe", "w", zipfile.ZIP_DEFLATED)
                probe.writestr("s", "".join(rows[-20000:]))
                probe.close()
                per_row = os.path.getsize(path + ".probe") / 20000.0
                os.unlink(path + ".probe")
                if per_row * r > target_bytes:
                    break
        z.writestr("xl/worksheets/sheet1.xml", '<worksheet %s><dimension ref="A1:E%d"/>'
                   "<sheetData>%s</sheetData></worksheet>" % (S, r, "".join(rows)))
    return r


def run(flag, src, out):
    start = time.perf_counter()
    subprocess.run(["/bin/bash", "-c", 'exec /usr/bin/python3 "$0" %s "$1" "$2"' % flag,
                    ENGINE, src, out], check=True)
    elapsed = time.perf_counter() - start
    with open(out) as f:
        return elapsed, json.load(f)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    home = tempfile.mkdtemp(prefix="cvl-bench-")
    os.environ["HOME"] = home
    try:
        rng = random.Random(7)
        docx = os.path.join(home, "Fifty pages.docx")
        make_docx(docx, rng)
        xlsx = os.path.join(home, "Ledger.xlsx")
        rows = make_xlsx(xlsx, rng, 5 * 1024 * 1024)
        out = os.path.join(home, "out.json")
        cache = os.path.join(home, "Vizazi Divavo rez Iviruzi", ".converted")

        cold = []
        for _ in range(args.runs):
            shutil.rmtree(cache, ignore_errors=True)
            t, answer = run("--to-pdf", docx, out)
            cold.append(t)
        pdf = answer["pdf"]
        pages = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
        pages = next(l.split()[1] for l in pages.splitlines() if l.startswith("Pages:"))
        warm = [run("--to-pdf", docx, out)[0] for _ in range(args.runs)]
        grid = []
        for _ in range(args.runs):
            t, answer = run("--grid-json", xlsx, out)
            grid.append(t)
        sheet = answer["sheets"][0]
        print("docx: %s pages, %.0f KB -> PDF %.0f KB" % (
            pages, os.path.getsize(docx) / 1024, os.path.getsize(pdf) / 1024))
        print("  first conversion   median %.2f s  (min %.2f, max %.2f, %d runs)" % (
            statistics.median(cold), min(cold), max(cold), len(cold)))
        print("  cached reopen      median %.3f s" % statistics.median(warm))
        print("xlsx: %.1f MB, %d rows x 5 columns; grid keeps %d rows (truncated=%s), JSON %.1f MB"
              % (os.path.getsize(xlsx) / 1048576, rows, len(sheet["rows"]), sheet["truncated"],
                 os.path.getsize(out) / 1048576))
        print("  grid read          median %.2f s  (min %.2f, max %.2f, %d runs)" % (
            statistics.median(grid), min(grid), max(grid), len(grid)))
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
