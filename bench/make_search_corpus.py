#!/usr/bin/env python3
"""Generates a deterministic document corpus for the search benchmarks.

usage: make_search_corpus.py OUT_DIR [--scale N]   (N may be a fraction: 0.1 gives 200 files)

Writes 500 PDFs under OUT_DIR/pdf (the direct-scan set) and 1,500 other documents (.docx,
.xlsx, .txt, .md) beside them, in sub-folders of 50, with sizes typical of a case folder:
PDFs of 2-12 pages, Word files of 20-80 paragraphs, workbooks of 50-300 cells, text files of
50-400 lines. A few rare marker words are planted so that queries have known answers.
"""
import os
import random
import sys
import zipfile
import zlib

WORDS = """agreement party parties clause section witness hereby pursuant indemnification liability
payment invoice amount balance schedule exhibit annex term termination notice breach remedy
damages warranty representation covenant obligation consent assignment successor affiliate
confidential information disclosure court jurisdiction venue arbitration dispute settlement
claim defendant plaintiff counsel motion filing order judgment appeal record hearing trial
evidence deposition discovery subpoena statute regulation compliance audit report finding
quarter fiscal revenue expense budget forecast margin tax return deduction credit account
lease tenant landlord premises rent deposit property title deed mortgage lien escrow closing
employee employer salary bonus benefit pension insurance policy premium coverage deductible
the of and to in for on with by at from as is be are was were this that which shall will may
must not any all each such other within without under over between after before during
""".split()
NAMES = ["Novak", "Okafor", "Lindqvist", "Moreau", "Tanaka", "Alvarez", "Schmidt", "Kowalski",
         "Rossi", "Haddad", "Nguyen", "Fischer", "Dubois", "Costa", "Ibrahim", "Jensen"]
ACCENTED = ["école", "société", "Zoë", "Ångström", "naïve", "résumé", "Müller", "São Paulo"]
MARKERS = ["zephyrine", "quillwort", "marrowfield"]


def sentence(rng, n=None):
    n = n or rng.randint(8, 16)
    words = []
    for _ in range(n):
        r = rng.random()
        if r < 0.04:
            words.append(rng.choice(NAMES))
        elif r < 0.05:
            words.append(rng.choice(ACCENTED))
        elif r < 0.08:
            words.append(str(rng.randint(1, 99999)))
        else:
            words.append(rng.choice(WORDS))
    words[0] = words[0].capitalize()
    return " ".join(words) + "."


def maybe_marker(rng, text):
    if rng.random() < 0.01:
        return text + " " + rng.choice(MARKERS)
    return text


def pdf_escape(s):
    out = []
    for ch in s.encode("cp1252", "replace"):
        c = chr(ch)
        if c in "()\\":
            out.append("\\" + c)
        elif ch < 32 or ch > 126:
            out.append("\\%03o" % ch)
        else:
            out.append(c)
    return "".join(out)


def make_pdf(pages):
    """A PDF with one Helvetica text page per list of lines, content streams deflated."""
    objs = {1: b"<< /Type /Catalog /Pages 2 0 R >>",
            3: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"}
    kids = []
    num = 4
    for lines in pages:
        content = ["BT /F1 10 Tf 13 TL 56 760 Td"]
        for line in lines:
            content.append("(%s) Tj T*" % pdf_escape(line))
        content.append("ET")
        data = zlib.compress("\n".join(content).encode("latin-1"))
        page, stream = num, num + 1
        num += 2
        objs[page] = ("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                      "/Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>" % stream).encode()
        objs[stream] = (b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(data)) + data + \
            b"\nendstream"
        kids.append("%d 0 R" % page)
    objs[2] = ("<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join(kids), len(kids))).encode()
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for i in range(1, num):
        offsets[i] = len(out)
        out += b"%d 0 obj\n" % i + objs[i] + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % num
    for i in range(1, num):
        out += b"%010d 00000 n \n" % offsets[i]
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (num, xref)
    return bytes(out)


def xml_escape(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def make_docx(path, paragraphs):
    body = []
    for p in paragraphs:
        if not p:
            body.append("<w:p/>")
        else:
            body.append('<w:p><w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>' % xml_escape(p))
    doc = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
           '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
           "<w:body>%s</w:body></w:document>" % "".join(body))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                   '<Default Extension="xml" ContentType="application/xml"/>'
                   '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
                   "</Types>")
        z.writestr("_rels/.rels",
                   '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
                   "</Relationships>")
        z.writestr("word/document.xml", doc)


def col_name(i):
    s = ""
    i += 1
    while i:
        i, r = divmod(i - 1, 26)
        s = chr(65 + r) + s
    return s


def make_xlsx(path, sheets):
    shared, index = [], {}
    sheet_xml = []
    for _, rows in sheets:
        out = []
        for r, row in enumerate(rows, 1):
            cells = []
            for c, value in enumerate(row):
                ref = "%s%d" % (col_name(c), r)
                if isinstance(value, str):
                    if value not in index:
                        index[value] = len(shared)
                        shared.append(value)
                    cells.append('<c r="%s" t="s"><v>%d</v></c>' % (ref, index[value]))
                else:
                    cells.append('<c r="%s"><v>%s</v></c>' % (ref, value))
            out.append('<row r="%d">%s</row>' % (r, "".join(cells)))
        sheet_xml.append('<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                         "<sheetData>%s</sheetData></worksheet>" % "".join(out))
    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
    wb = '<?xml version="1.0"?><workbook %s><sheets>%s</sheets></workbook>' % (
        ns, "".join('<sheet name="%s" sheetId="%d" r:id="rId%d"/>' % (name, i + 1, i + 1)
                    for i, (name, _) in enumerate(sheets)))
    rels = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">%s'
            '<Relationship Id="rIdS" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
            "</Relationships>") % "".join(
        '<Relationship Id="rId%d" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet%d.xml"/>' % (i + 1, i + 1)
        for i in range(len(sheets)))
    sst = '<?xml version="1.0"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="%d" uniqueCount="%d">%s</sst>' % (
        len(shared), len(shared), "".join("<si><t>%s</t></si>" % xml_escape(s) for s in shared))
    ct = ('<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Default Extension="xml" ContentType="application/xml"/>'
          '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
          '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
          + "".join('<Override PartName="/xl/worksheets/sheet%d.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>' % (i + 1)
                    for i in range(len(sheets))) + "</Types>")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", ct)
        z.writestr("_rels/.rels",
                   '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
                   "</Relationships>")
        z.writestr("xl/workbook.xml", wb)
        z.writestr("xl/_rels/workbook.xml.rels", rels)
        z.writestr("xl/sharedStrings.xml", sst)
        for i, x in enumerate(sheet_xml):
            z.writestr("xl/worksheets/sheet%d.xml" % (i + 1), x)


def folder(out, kind, i):
    d = os.path.join(out, kind, "batch%02d" % (i // 50))
    os.makedirs(d, exist_ok=True)
    return d


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    scale = float(sys.argv[sys.argv.index("--scale") + 1]) if "--scale" in sys.argv else 1
    rng = random.Random(20261205)
    counts = {kind: max(1, round(n * scale)) for kind, n in
              {"pdf": 500, "docx": 450, "xlsx": 300, "txt": 450, "md": 300}.items()}
    for i in range(counts["pdf"]):
        pages = [[maybe_marker(rng, sentence(rng)) for _ in range(rng.randint(35, 50))]
                 for _ in range(rng.randint(2, 12))]
        with open(os.path.join(folder(out, "pdf", i), "filing-%04d.pdf" % i), "wb") as f:
            f.write(make_pdf(pages))
    for i in range(counts["docx"]):
        paras = []
        for _ in range(rng.randint(20, 80)):
            paras.append(maybe_marker(rng, " ".join(sentence(rng) for _ in range(rng.randint(1, 4)))))
            if rng.random() < 0.3:
                paras.append("")
        make_docx(os.path.join(folder(out, "docx", i), "memo-%04d.docx" % i), paras)
    for i in range(counts["xlsx"]):
        sheets = []
        for s in range(rng.randint(1, 3)):
            rows = []
            for _ in range(rng.randint(10, 60)):
                rows.append([rng.choice(NAMES), maybe_marker(rng, sentence(rng, 3)),
                             rng.randint(100, 99999), round(rng.random() * 1000, 2),
                             rng.choice(WORDS)])
            sheets.append(("Sheet%d" % (s + 1), rows))
        make_xlsx(os.path.join(folder(out, "xlsx", i), "ledger-%04d.xlsx" % i), sheets)
    for i in range(counts["txt"]):
        lines = [maybe_marker(rng, sentence(rng)) if rng.random() > 0.1 else ""
                 for _ in range(rng.randint(50, 400))]
        with open(os.path.join(folder(out, "txt", i), "notes-%04d.txt" % i), "w") as f:
            f.write("\n".join(lines) + "\n")
    for i in range(counts["md"]):
        lines = []
        for _ in range(rng.randint(30, 200)):
            r = rng.random()
            if r < 0.08:
                lines.append("## " + sentence(rng, 4))
            elif r < 0.2:
                lines.append("")
            else:
                lines.append("- " + maybe_marker(rng, sentence(rng)))
        with open(os.path.join(folder(out, "md", i), "brief-%04d.md" % i), "w") as f:
            f.write("\n".join(lines) + "\n")
    print("wrote %d documents to %s" % (sum(counts.values()), out))


if __name__ == "__main__":
    main()
