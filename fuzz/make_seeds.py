#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<Target>/.

Seeds are small, valid inputs that reach deep into each reader; libFuzzer mutates them. Run it
again after changing it; the files it writes are committed. qpdf (when installed) adds
object-stream and encrypted variants of the PDF seeds.
"""
import io
import json
import re
import os
import shutil
import subprocess
import tempfile
import zipfile
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- PDF


def pdf(objects, root=1, trailer_extra=b""):
    """A PDF with a classic cross-reference table; objects are numbered from 1."""
    out = io.BytesIO()
    out.write(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(out.tell())
        out.write(b"%d 0 obj\n" % number + body + b"\nendobj\n")
    xref = out.tell()
    out.write(b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1))
    for offset in offsets:
        out.write(b"%010d 00000 n \n" % offset)
    out.write(b"trailer\n<< /Size %d /Root %d 0 R %s>>\nstartxref\n%d\n%%%%EOF\n"
              % (len(objects) + 1, root, trailer_extra, xref))
    return out.getvalue()


def stream(dictionary, data, compress=False):
    if compress:
        data = zlib.compress(data)
        dictionary += b" /Filter /FlateDecode"
    return b"<< %s /Length %d >>\nstream\n" % (dictionary, len(data)) + data + b"\nendstream"


def text_content(lines):
    body = b"BT /F1 12 Tf 14 TL 72 720 Td\n"
    for line in lines:
        body += b"(" + line + b") Tj T*\n"
    return body + b"ET\n"


FONT = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"


def simple_pdf():
    return pdf([
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R"
        b" /Resources << /Font << /F1 5 0 R >> >> >>",
        stream(b"", text_content([b"Quarterly report", b"Revenue rose by 4 percent."])),
        FONT,
    ])


def navigation_pdf():
    """Three pages with an outline, links, named destinations, labels, rotation and a crop box."""
    objs = [
        # 1 catalog
        b"<< /Type /Catalog /Pages 2 0 R /Outlines 9 0 R /Names << /Dests 15 0 R >>"
        b" /Dests << /intro [3 0 R /Fit] >> /PageLabels 16 0 R"
        b" /OpenAction [4 0 R /XYZ 0 792 0] >>",
        b"<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3"
        b" /Resources << /Font << /F1 8 0 R >> >> >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R"
        b" /Annots [13 0 R 14 0 R] >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /CropBox [36 36 576 756]"
        b" /Rotate 90 /Contents 7 0 R >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Rotate -270 /Contents 7 0 R >>",
        stream(b"", text_content([b"Contents", b"See chapter two."]), compress=True),
        stream(b"", text_content([b"Chapter two", b"Caf\xe9 na\xefve \\(quoted\\)"])),
        FONT,
        # 9 outline root, 10-12 items (12 nested under 11)
        b"<< /Type /Outlines /First 10 0 R /Last 11 0 R /Count 3 >>",
        b"<< /Title (Intro) /Parent 9 0 R /Next 11 0 R /Dest [3 0 R /XYZ 72 700 1.5] >>",
        b"<< /Title <FEFF004300680061007000740065007200200032> /Parent 9 0 R /Prev 10 0 R"
        b" /First 12 0 R /Last 12 0 R /Count 1 /A << /S /GoTo /D (chap2) >> >>",
        b"<< /Title (Web) /Parent 11 0 R /A << /S /URI /URI (https://example.com/a) >> >>",
        b"<< /Type /Annot /Subtype /Link /Rect [72 690 200 710] /Border [0 0 0]"
        b" /A << /S /GoTo /D (chap2) >> >>",
        b"<< /Type /Annot /Subtype /Link /Rect [72 660 200 680]"
        b" /A << /S /URI /URI (mailto:a@example.com) >> >>",
        b"<< /Names [(chap2) [4 0 R /FitH 700] (gone) [99 0 R /Fit]] >>",
        # 16 page labels with a kid
        b"<< /Kids [17 0 R] >>",
        b"<< /Nums [0 << /S /r >> 1 << /S /D /P (A-) /St 3 >> 2 << /S /A >>] >>",
    ]
    return pdf(objs)


def image_pdf():
    """An RGB image, a masked grey image and a form XObject."""
    rgb = bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0] * 4)
    grey = bytes(range(0, 256, 16))
    content = (b"q 200 0 0 200 50 500 cm /Im1 Do Q\n"
               b"q 100 0 0 100 300 500 cm /Im2 Do Q\n"
               b"q 1 0 0 1 50 100 cm /Fm1 Do Q\n"
               b"0.2 0.4 0.6 rg 300 100 200 150 re f\n")
    return pdf([
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R"
        b" /Resources << /XObject << /Im1 5 0 R /Im2 6 0 R /Fm1 7 0 R >> /Font << /F1 8 0 R >> >> >>",
        stream(b"", content, compress=True),
        stream(b"/Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceRGB"
               b" /BitsPerComponent 8", rgb, compress=True),
        stream(b"/Type /XObject /Subtype /Image /Width 4 /Height 4 /ColorSpace /DeviceGray"
               b" /BitsPerComponent 8 /Decode [1 0]", grey),
        stream(b"/Type /XObject /Subtype /Form /BBox [0 0 200 100]"
               b" /Resources << /Font << /F1 8 0 R >> >>",
               b"BT /F1 10 Tf 0 50 Td (Inside a form) Tj ET 0 0 200 100 re S"),
        FONT,
    ])


def damaged_pdf():
    """No cross-reference table at all, and a stream with the wrong length: MuPDF repairs it."""
    data = simple_pdf()
    data = data[:data.index(b"xref\n")] + b"%%EOF\n"
    return re.sub(rb"/Length \d+", b"/Length 5", data, count=1)


def incremental_pdf():
    """An update appended to the simple file, replacing the page's text."""
    base = simple_pdf()
    start = base.rindex(b"startxref\n") + len(b"startxref\n")
    prev = int(base[start:base.index(b"\n", start)])
    update_at = len(base)
    body = b"4 0 obj\n" + stream(b"", text_content([b"Revised text"])) + b"\nendobj\n"
    xref_at = update_at + len(body)
    update = (body + b"xref\n4 1\n%010d 00000 n \n" % update_at +
              b"trailer\n<< /Size 6 /Root 1 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n"
              % (prev, xref_at))
    return base + update


def looped_labels_pdf():
    """A page label tree whose node lists itself as a kid twice: each node must be read once."""
    return pdf([
        b"<< /Type /Catalog /Pages 2 0 R /PageLabels 5 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R"
        b" /Resources << /Font << /F1 8 0 R >> >> >>",
        stream(b"", text_content([b"Labelled page"])),
        b"<< /Kids [6 0 R 6 0 R 7 0 R] >>",
        b"<< /Kids [6 0 R 6 0 R] >>",
        b"<< /Nums [0 << /S /R /St 3 >>] >>",
        FONT,
    ])


def qpdf_variant(data, args):
    if not shutil.which("qpdf"):
        return None
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "in.pdf"), os.path.join(tmp, "out.pdf")
        with open(src, "wb") as f:
            f.write(data)
        result = subprocess.run(["qpdf", *args, src, dst], capture_output=True)
        if result.returncode not in (0, 3):  # 3: written with warnings
            return None
        with open(dst, "rb") as f:
            return f.read()


def pdf_seeds():
    put("PdfFuzz", "simple.pdf", simple_pdf())
    put("PdfFuzz", "navigation.pdf", navigation_pdf())
    put("PdfFuzz", "images.pdf", image_pdf())
    put("PdfFuzz", "damaged.pdf", damaged_pdf())
    put("PdfFuzz", "incremental.pdf", incremental_pdf())
    put("PdfFuzz", "looped-labels.pdf", looped_labels_pdf())
    variants = {
        "object-streams.pdf": (navigation_pdf(), ["--object-streams=generate"]),
        "owner-password-aes256.pdf": (simple_pdf(), ["--encrypt", "", "owner", "256", "--"]),
        "owner-password-rc4.pdf": (navigation_pdf(), ["--allow-weak-crypto", "--encrypt", "", "owner", "40", "--"]),
    }
    for name, (data, args) in variants.items():
        out = qpdf_variant(data, args)
        if out:
            put("PdfFuzz", name, out)


# ---------------------------------------------------------------- Word and spreadsheets

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'

DOCUMENT_XML = f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:document {W}><w:body>
<w:p><w:pPr><w:tabs><w:tab w:val="left" w:pos="720"/></w:tabs></w:pPr>
<w:r><w:t>Clause 1</w:t></w:r><w:r><w:tab/><w:t xml:space="preserve">The parties agree </w:t></w:r></w:p>
<w:p/>
<w:p><w:r><w:t>Line one</w:t><w:br/><w:t>line two</w:t><w:noBreakHyphen/><w:t>end</w:t></w:r></w:p>
<w:p><w:del><w:r><w:delText>removed</w:delText></w:r></w:del><w:r><w:instrText>PAGE</w:instrText></w:r>
<w:r><w:t>Caf&#233; &amp; na&#xEF;ve</w:t></w:r></w:p>
<w:tbl><w:tr><w:tc><w:p><w:r><w:t>Cell A</w:t></w:r></w:p></w:tc></w:tr></w:tbl>
</w:body></w:document>"""

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="xml" ContentType="application/xml"/></Types>"""


def zip_bytes(members, compression=zipfile.ZIP_DEFLATED):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", compression) as z:
        for name, text in members.items():
            z.writestr(name, text)
    return out.getvalue()


def docx_seeds():
    put("DocxFuzz", "document.docx",
        zip_bytes({"[Content_Types].xml": CONTENT_TYPES, "word/document.xml": DOCUMENT_XML}))
    put("DocxFuzz", "stored.docx",
        zip_bytes({"word/document.xml": DOCUMENT_XML}, zipfile.ZIP_STORED))
    put("DocxFuzz", "document.xml", DOCUMENT_XML)
    put("DocxFuzz", "other-prefix.xml",
        '<x:document xmlns:x="urn:w"><x:body><x:p><x:r><x:t>Hi</x:t><x:tab/></x:r></x:p>'
        '<w:p xmlns:w="urn:other"><w:r><w:t>not word</w:t></w:r></w:p></x:body></x:document>')
    put("DocxFuzz", "entities.xml",
        '<!DOCTYPE d [<!ENTITY a "aaaaaaaa"><!ENTITY b "&a;&a;&a;&a;">]>'
        f'<w:document {W}><w:p><w:r><w:t>&b;&b;</w:t></w:r></w:p></w:document>')


S = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
R = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'

WORKBOOK = (f'<?xml version="1.0"?><workbook {S} {R}><sheets>'
            '<sheet name="Totals" sheetId="1" r:id="rId2"/>'
            '<sheet name="Notes &amp; more" sheetId="2" r:id="rId1"/>'
            '<sheet name="Missing" sheetId="3" r:id="rId9"/></sheets></workbook>')
RELS = ('<?xml version="1.0"?><Relationships '
        'xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Target="worksheets/sheet1.xml"/>'
        '<Relationship Id="rId2" Target="/xl/worksheets/sheet2.xml"/></Relationships>')
SHARED = (f'<sst {S} count="3" uniqueCount="3"><si><t>Revenue</t></si>'
          '<si><r><t>Rich </t></r><r><t>text</t></r></si><si><t xml:space="preserve"> padded </t></si></sst>')
SHEET1 = (f'<worksheet {S}><sheetData><row r="1"><c r="A1" t="s"><v>0</v></c>'
          '<c r="B1"><v>12.5</v></c><c r="C1" t="s"><v>+1</v></c><c r="D1" t="s"><v>7</v></c></row>'
          '<row r="2"><c r="A2" t="inlineStr"><is><t>inline</t></is></c>'
          '<c r="B2" t="b"><v>1</v></c><c r="C2"><f>SUM(B1:B1)</f><v>12.5</v></c></row>'
          '</sheetData></worksheet>')
SHEET2 = (f'<worksheet {S}><sheetData><row><c r="A1" t="s"><v>2</v></c>'
          '<c r="Z99" t="str"><v>formula text</v></c></row></sheetData></worksheet>')


def xlsx_seeds():
    members = {
        "[Content_Types].xml": CONTENT_TYPES,
        "xl/workbook.xml": WORKBOOK,
        "xl/_rels/workbook.xml.rels": RELS,
        "xl/sharedStrings.xml": SHARED,
        "xl/worksheets/sheet1.xml": SHEET1,
        "xl/worksheets/sheet2.xml": SHEET2,
    }
    put("XlsxFuzz", "workbook.xlsx", zip_bytes(members))
    no_rels = dict(members)
    del no_rels["xl/_rels/workbook.xml.rels"]
    put("XlsxFuzz", "positional.xlsx", zip_bytes(no_rels, zipfile.ZIP_STORED))
    put("XlsxFuzz", "workbook.xml", WORKBOOK)
    put("XlsxFuzz", "rels.xml", RELS)
    put("XlsxFuzz", "shared.xml", SHARED)
    put("XlsxFuzz", "sheet.xml", SHEET1)


# ---------------------------------------------------------------- RTF

RTF = {
    "plain.rtf": r"{\rtf1\ansi\deff0{\fonttbl{\f0 Times;}}{\colortbl;\red0\green0\blue0;}"
                 r"\pard Hello\par World\tab end\line next\par}",
    "unicode.rtf": r"{\rtf1\ansi\ansicpg1252\uc1 Caf\'e9 \u8364? \uc2\u-3913??\u-8977?? "
                   r"\ud835\udc00 {\*\generator Word;}\emdash\endash\bullet\lquote x\rquote\par}",
    "codepages.rtf": r"{\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2\par"
                     r"{\mac \'8e}{\pc \'82}{\pca \'82}\ansicpg65001 \'e2\'82\'ac\par}",
    "destinations.rtf": r"{\rtf1{\info{\title T}}{\header head}{\footnote note}"
                        r"{\field{\*\fldinst HYPERLINK x}{\fldrslt shown}}"
                        r"{\pict\bin4 ABCD}\~\_\-\{\}\\ body\cell\row\page\sect}",
    "nested.rtf": "\xef\xbb\xbf  " + r"{\rtf1" + "{" * 40 + "deep" + "}" * 40 + r"\par}",
}


def rtf_seeds():
    for name, text in RTF.items():
        put("RtfFuzz", name, text.encode("latin-1"))


# ---------------------------------------------------------------- agent bridge request heads

HEADS = {
    "query-token.txt": "GET /status?token=fuzz-token HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
    "header-token.txt": "GET /pagecmd?path=~/A+B.pdf|/tmp/x.pdf&cmd=rotate%20page%201 HTTP/1.1\r\n"
                        "Authorization: Bearer fuzz-token\r\n\r\n",
    "absolute.txt": "GET http://127.0.0.1:4000/open?paths=%2Ftmp%2Fa.pdf&token=fuzz-token#x "
                    "HTTP/1.1\r\n\r\n",
    "no-token.txt": "GET /windows HTTP/1.1\r\nauthorization: token\r\n\r\n",
    "bad.txt": "POST / HTTP/1.1\r\n\r\n",
}


def head_seeds():
    for name, text in HEADS.items():
        put("AgentHeadFuzz", name, text)


# ---------------------------------------------------------------- JSON stores

# The first byte picks the file (StoresFuzz.cpp); these are realistic contents of each.
STORES = [
    ("history", 0, {"v": 1, "updated": 1.7e9, "trimmed": 2, "rows": [
        {"path": "/home/u/a.pdf", "name": "a.pdf", "ext": "pdf", "dir": False, "size": 1234,
         "folder": "/home/u", "mode": "open", "first": 1.6e9, "last": 1.7e9, "n": 3},
        {"path": "/home/u/docs", "dir": True, "n": 1.5, "last": "x"}]}),
    ("favorites", 1, ["/home/u/a.pdf", "/home/u/docs"]),
    ("pins", 2, ["/home/u/a.pdf"]),
    ("preferences", 3, {"recentItems": [{"path": "/tmp", "dir": True, "ts": 1.7e9}],
                        "recentFolders": ["/tmp"], "pinnedFolders": ["/tmp"],
                        "NSQuitAlwaysKeepsWindows": True,
                        "ZKNoticeCardPlacement": {"x": 10, "y": 20, "screen": "0"}}),
    ("config", 4, {"max_depth": 2, "remember_closed_tabs": "true", "viewer": "app",
                   "night_mode": "auto", "latitude": 51.5}),
    ("open-tabs", 5, {"build": "1", "clean_quit": True, "written": 1.6e9, "tabs": [
        {"kind": "reader", "paths": ["/tmp"], "title": "t", "group": 1, "selected": True,
         "view": "{}"}, {"kind": "grid", "paths": ["/"], "group": 1}]}),
    ("closed-tabs", 6, [{"kind": "reader", "paths": ["/tmp/a.pdf"], "title": "a",
                         "mode": "review"}]),
    ("links", 7, [{"id": "L1", "note": "n", "created": 1.7e9,
                   "a": {"path": "/tmp/x.pdf", "page": 2, "text": "alpha"},
                   "b": {"path": "/tmp/y.pdf", "page": "3", "text": "beta"}}]),
    ("bates-manifest", 9, {"tool": "Corvello Bates", "schema": 1, "nextNumber": 11,
                           "assigned": [{"begin": 1, "end": 10, "timestamp": "t"}],
                           "sources": {"/tmp/a.pdf": "ABC000001"},
                           "runs": [{"timestamp": "2024-05-01T09:30:00Z", "begin": 1, "end": 10,
                                     "settings": {"prefix": "ABC", "start": 1, "pad": 6},
                                     "documents": [{"source": "/tmp/a.pdf", "pages": 10,
                                                    "begin": 1, "end": 10}]}]}),
    ("ocr-cache", 10, {"pages": [{"page": 1, "text": "recognised"}, {"page": 2.5, "text": "x"}]}),
    ("bates-page", 11, {"prefix": " ABC ", "start": "5", "pad": 6, "position": "topLeft",
                        "fontSize": 12, "nameByBates": True}),
]


def store_seeds():
    for name, selector, value in STORES:
        put("StoresFuzz", name + ".json", bytes([selector]) + json.dumps(value).encode())
    put("StoresFuzz", "version-name.txt", bytes([8]) + b"1700000000-123456__Report.pdf")


# ---------------------------------------------------------------- page commands

COMMANDS = ["split after page 10", "split in half", "rotate pages 1-3 right",
            "delete all pages except 3", "move page 3 after page 7", "swap pages 2 and 9",
            "reorder pages 3,1,2", "save the odd pages as png", "add a blank page before page 2",
            "copy page 2", "Please can you turn p.2 anti-clockwise", "twenty-one to thirty"]


def command_seeds():
    # Page count 20, current page 3, two selected pages (2 and 5), the text, NUL, the phrase.
    for i, command in enumerate(COMMANDS):
        put("PageCommandFuzz", "seed%d" % i,
            b"\x14\x03\x02\x02\x05" + command.encode() + b"\x00" + command.encode())


if __name__ == "__main__":
    pdf_seeds()
    docx_seeds()
    xlsx_seeds()
    rtf_seeds()
    head_seeds()
    store_seeds()
    command_seeds()
