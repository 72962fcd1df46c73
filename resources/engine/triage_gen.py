#!/usr/bin/python3
"""Document conversions for the desktop host.

Run as:  triage_gen.py FLAG INPUT OUTPUT.json

  --to-pdf        convert a Word, RTF, OpenDocument, text or Markdown file to PDF
                  -> {"pdf": path} or {"pdf": "", "error": message}
  --edit-probe    can the document be edited in place?  -> {"editable": bool, "why": [...]}
  --grid-json     spreadsheet or delimited text as cells -> {"path", "sheets": [...]}
                  or {"path", "error"}
  --render-pages  the page list of a PDF (converting other documents first)
                  -> {"path", "pages": [{"index", "img", "w", "h"}], "needs_converter"}

Word, RTF and OpenDocument text go through LibreOffice's headless converter when it is
installed (fonts, headers, footers and table layout are kept); everything else, and those
when LibreOffice is missing or fails, is turned into one XHTML file that MuPDF lays out and
writes as PDF (`mutool convert`). Converted PDFs are kept in a cache folder inside the
working folder, named by a hash of the source's path, size and modification time and the
converter, each with a record NAME.pdf.json naming its source; nothing is ever written
beside the user's document. Every file is written to a temporary name and renamed, so a
failed run leaves no partial output. Standard library only.
"""

import base64
import csv
import datetime
import fcntl
import hashlib
import html
import html.parser
import io
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile

# Bump when the converters change so that cached PDFs are made again.
CONVERTER_VERSION = "7"
WORKING_FOLDER = "Vizazi Divavo rez Iviruzi"
CACHE_KEEP = 300  # converted PDFs kept in the cache; the least recently used go first
MAX_GRID_ROWS = 10000
MAX_GRID_COLS = 256
MAX_GRID_CELLS = 1000000  # over all sheets: what the grid page can hold comfortably
MAX_MEMBER_BYTES = 512 << 20
PAGE_IMAGE_WIDTH = 600

CONVERTIBLE = {"docx", "docm", "dotx", "doc", "rtf", "odt", "txt", "text", "log", "md",
               "markdown"}
GRID_TYPES = {"xls", "xlsx", "xlsm", "ods", "numbers", "csv", "tsv", "tab"}
LIBREOFFICE_TYPES = {"docx", "docm", "dotx", "doc", "rtf", "odt"}
LIBREOFFICE_TIMEOUT = 180  # seconds for one conversion, start-up included (CVL_SOFFICE_TIMEOUT)
LIBREOFFICE_PROFILES = 3   # conversions that may run at once, each with its own profile


class Failure(Exception):
    """A conversion failure with a message for the user."""


# ---- files ------------------------------------------------------------------------------

def write_atomic(path, data):
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".tmp-", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise


def write_json(path, obj):
    write_atomic(path, json.dumps(obj, ensure_ascii=False).encode("utf-8"))


def ext_of(path):
    return os.path.splitext(path)[1][1:].lower()


def working_folder():
    return os.path.join(os.path.expanduser("~"), WORKING_FOLDER)


def cache_folder():
    return os.path.join(working_folder(), ".converted")


def decode_text(data):
    """UTF-8 (a byte-order mark dropped), else Latin-1."""
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError:
        return data.decode("latin-1")


def read_member(z, name):
    try:
        info = z.getinfo(name)
    except KeyError:
        return None
    if info.file_size > MAX_MEMBER_BYTES:
        raise Failure("The document is too large to convert (%s holds %d MB)."
                      % (name, info.file_size >> 20))
    return z.read(info)


def open_zip(path, kind):
    try:
        return zipfile.ZipFile(path)
    except zipfile.BadZipFile:
        if kind == "docx" and is_ole(path):
            raise Failure("This Word document is password-protected or in an older format "
                          "and cannot be converted.")
        raise Failure("This file is damaged or is not a %s document." % kind)


def is_ole(path):
    try:
        with open(path, "rb") as f:
            return f.read(8) == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
    except OSError:
        return False


def parse_xml(data, what):
    try:
        return ET.fromstring(data)
    except ET.ParseError as e:
        raise Failure("The document's %s is damaged (%s)." % (what, e))


# ---- XHTML ------------------------------------------------------------------------------

PRINT_CSS = """
@page { margin: %(mt).0fpt %(mr).0fpt %(mb).0fpt %(ml).0fpt; }
body { font-family: serif; font-size: 11pt; line-height: 1.35; color: #000; margin: 0; }
p { margin: 0 0 6pt 0; }
h1, h2, h3, h4, h5, h6 { font-family: sans-serif; margin: 12pt 0 6pt 0; line-height: 1.2; }
h1 { font-size: 20pt; } h2 { font-size: 16pt; } h3 { font-size: 13.5pt; }
h4 { font-size: 12pt; } h5, h6 { font-size: 11pt; }
ul, ol { margin: 0 0 6pt 0; padding-left: 22pt; }
ol.n { list-style-type: none; padding-left: 14pt; }
li { margin: 0 0 2pt 0; }
table { margin: 4pt 0 8pt 0; border-bottom: 0.5pt solid #888; }
td, th { border-top: 0.5pt solid #888; padding: 2pt 0; vertical-align: top; }
th { background: #eee; }
td p, th p { margin: 0; }
pre, code { font-family: monospace; font-size: 9.5pt; }
pre { white-space: pre-wrap; margin: 0 0 6pt 0; }
pre.block { background: #f2f2f2; padding: 4pt 6pt; }
blockquote { margin: 0 0 6pt 14pt; padding-left: 8pt; border-left: 2pt solid #bbb; color: #333; }
hr { border: 0; border-top: 0.5pt solid #888; margin: 8pt 0; }
.pb { page-break-before: always; }
.title { font-size: 24pt; }
.note { font-size: 9.5pt; margin: 0 0 3pt 0; }
.c { text-align: center; } .r { text-align: right; } .j { text-align: justify; }
"""


class Page:
    """Page size and margins in points (US Letter with one-inch margins unless the document
    says otherwise)."""

    def __init__(self, w=612.0, h=792.0, margins=(72.0, 72.0, 72.0, 72.0)):
        self.w, self.h = w, h
        self.mt, self.mr, self.mb, self.ml = margins


_CELL_JOIN = re.compile(r"(</t[dh]>)(<t[dh][ >])")
_COLSPAN = re.compile(r'colspan="(\d+)"')


def ruled_tables(body):
    """Tables as MuPDF lays them out well: a rule above each row and below the table, and
    an empty column between cells for the gap. MuPDF sizes every cell to its own content and
    ignores padding when it sizes columns, so cell borders and padding would draw boxes of
    different heights that overlap their neighbours and cut through the text."""
    body = _CELL_JOIN.sub("\\1<td>\u00a0\u00a0\u00a0</td>\\2", body)
    return _COLSPAN.sub(lambda m: 'colspan="%d"' % (2 * int(m.group(1)) - 1), body)


def xhtml_document(title, body, page):
    css = PRINT_CSS % {"mt": page.mt, "mr": page.mr, "mb": page.mb, "ml": page.ml}
    body = ruled_tables(body)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<html xmlns="http://www.w3.org/1999/xhtml"><head><meta charset="utf-8"/>'
            "<title>%s</title><style>%s</style></head><body>%s</body></html>\n"
            % (esc(title), css, body))


_XML_BAD = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")
_LONG_TOKEN = re.compile(r"\S{60,}")


def esc(text):
    """Text for XHTML: escaped, without characters XML forbids, and with break chances in
    very long tokens (URLs, encoded data) that would otherwise run off the page."""
    text = _XML_BAD.sub("", text)
    text = _LONG_TOKEN.sub(lambda m: "\u200b".join(
        m.group(0)[i:i + 40] for i in range(0, len(m.group(0)), 40)), text)
    return html.escape(text, quote=False)


def wrap_inline(text_html, bold=False, italic=False, underline=False, strike=False,
                sup=False, sub=False):
    if not text_html:
        return ""
    if sup:
        text_html = "<sup>%s</sup>" % text_html
    elif sub:
        text_html = "<sub>%s</sub>" % text_html
    if strike:
        text_html = "<s>%s</s>" % text_html
    if underline:
        text_html = "<u>%s</u>" % text_html
    if italic:
        text_html = "<i>%s</i>" % text_html
    if bold:
        text_html = "<b>%s</b>" % text_html
    return text_html


class ListNester:
    """Opens and closes nested <ul>/<ol> elements as list items of given levels arrive. An
    item with its own label (Word's numbering, which continues across interruptions) goes
    into a list without markers, since MuPDF's layout numbers every list from 1."""

    def __init__(self, out):
        self.out = out
        self.stack = []  # kinds of the open lists: "ul", "ol" or "oln" (labelled items)

    def _close_one(self):
        kind = self.stack.pop()
        self.out.append("</li></%s>" % ("ol" if kind == "oln" else kind))

    def item(self, level, ordered, content, label=None):
        level = max(0, min(level, 8))
        kind = "oln" if label is not None else "ol" if ordered else "ul"
        while len(self.stack) > level + 1:
            self._close_one()
        if len(self.stack) == level + 1 and self.stack[-1] != kind:
            self._close_one()
        if len(self.stack) == level + 1:
            self.out.append("</li>")
        while len(self.stack) < level + 1:
            self.out.append('<ol class="n">' if kind == "oln" else "<%s>" % kind)
            self.stack.append(kind)
            if len(self.stack) < level + 1:
                self.out.append("<li>")
        if label is not None:
            content = "%s\u00a0%s" % (esc(label), content)
        self.out.append("<li>%s" % content)

    def close(self):
        while self.stack:
            self._close_one()


def roman(n):
    out = []
    for value, digits in ((1000, "m"), (900, "cm"), (500, "d"), (400, "cd"), (100, "c"),
                          (90, "xc"), (50, "l"), (40, "xl"), (10, "x"), (9, "ix"), (5, "v"),
                          (4, "iv"), (1, "i")):
        while n >= value:
            out.append(digits)
            n -= value
    return "".join(out)


def letters(n):
    out = ""
    while n > 0:
        n, r = divmod(n - 1, 26)
        out = chr(97 + r) + out
    return out


def number_text(n, fmt):
    """A list counter in one of Word's number formats."""
    if fmt == "lowerLetter":
        return letters(n)
    if fmt == "upperLetter":
        return letters(n).upper()
    if fmt == "lowerRoman":
        return roman(n)
    if fmt == "upperRoman":
        return roman(n).upper()
    if fmt == "decimalZero":
        return "%02d" % n
    if fmt == "none":
        return ""
    return str(n)


# ---- Word (.docx) ------------------------------------------------------------------------

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
R_NS = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
A_NS = "{http://schemas.openxmlformats.org/drawingml/2006/main}"
WP_NS = "{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}"
PKG_REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"
MC_NS = "{http://schemas.openxmlformats.org/markup-compatibility/2006}"
PAGE_BREAK = "\x00PB\x00"  # marks a page break inside a paragraph's XHTML
IMAGE_TYPES = {"png": "image/png", "jpg": "image/jpeg", "jpeg": "image/jpeg",
               "gif": "image/gif", "bmp": "image/bmp"}


def wval(el, name, attr="val"):
    """The w:val of child `name`, or None when the child is missing."""
    if el is None:
        return None
    child = el.find(W + name)
    if child is None:
        return None
    return child.get(W + attr, "")


def on_off(el, name):
    """A Word toggle property: present and not "0"/"false"/"none"."""
    v = wval(el, name)
    return v is not None and v not in ("0", "false", "off", "none")


class DocxConverter:
    def __init__(self, path):
        self.z = open_zip(path, "docx")
        doc = read_member(self.z, "word/document.xml")
        if doc is None:
            raise Failure("This file is not a Word document (it has no word/document.xml).")
        self.root = parse_xml(doc, "text")
        self.styles = {}    # style id -> (heading level or 0, bold, italic, based-on id)
        self.numbering = {}  # (numId, ilvl) -> (format, label pattern, start)
        self.counters = {}   # numId -> {level: last number given}
        self.style_numbering = {}  # paragraph style id -> (numId, ilvl)
        self.rels = {}
        self.page = Page()
        self.notes = {}       # ("foot"/"end", id) -> the note's element
        self.note_order = []  # notes in the order the text refers to them
        self._read_styles()
        self._read_numbering()
        self._read_rels()
        self._read_notes()

    def _read_styles(self):
        data = read_member(self.z, "word/styles.xml")
        if data is None:
            return
        root = parse_xml(data, "styles")
        for st in root.iter(W + "style"):
            sid = st.get(W + "styleId", "")
            name = (wval(st, "name") or "").lower()
            level = 0
            m = re.match(r"heading\s*(\d)", name)
            if m:
                level = min(int(m.group(1)), 6)
            elif name == "title":
                level = -1
            else:
                outline = wval(st.find(W + "pPr"), "outlineLvl")
                if outline and outline.isdigit() and int(outline) < 6:
                    level = int(outline) + 1
            rpr = st.find(W + "rPr")
            self.styles[sid] = (level, on_off(rpr, "b"), on_off(rpr, "i"), wval(st, "basedOn"))
            ppr = st.find(W + "pPr")
            numpr = ppr.find(W + "numPr") if ppr is not None else None
            if numpr is not None:
                self.style_numbering[sid] = (wval(numpr, "numId"), wval(numpr, "ilvl"))

    def _style_numbering(self, sid, depth=0):
        """(numId, ilvl), either possibly None, that a paragraph style numbers its paragraphs
        with; what a style leaves out comes from the style it is based on."""
        own = self.style_numbering.get(sid, (None, None))
        based = self.styles.get(sid, (0, False, False, None))[3]
        if (own[0] is None or own[1] is None) and based and depth < 8:
            inherited = self._style_numbering(based, depth + 1) or (None, None)
            own = (own[0] if own[0] is not None else inherited[0],
                   own[1] if own[1] is not None else inherited[1])
        return own if own != (None, None) else None

    def _style(self, sid, depth=0):
        level, bold, italic, based = self.styles.get(sid, (0, False, False, None))
        if based and depth < 8 and based in self.styles:
            blevel, bbold, bitalic = self._style(based, depth + 1)
            return (level or blevel, bold or bbold, italic or bitalic)
        return (level, bold, italic)

    def _read_numbering(self):
        data = read_member(self.z, "word/numbering.xml")
        if data is None:
            return
        root = parse_xml(data, "list numbering")
        abstract = {}
        for an in root.iter(W + "abstractNum"):
            levels = {}
            for lvl in an.iter(W + "lvl"):
                levels[lvl.get(W + "ilvl", "0")] = self._level(lvl)
            abstract[an.get(W + "abstractNumId")] = levels
        for num in root.iter(W + "num"):
            levels = dict(abstract.get(wval(num, "abstractNumId"), {}))
            for override in num.iter(W + "lvlOverride"):
                ilvl = override.get(W + "ilvl", "0")
                lvl = override.find(W + "lvl")
                if lvl is not None:
                    levels[ilvl] = self._level(lvl)
                start = wval(override, "startOverride")
                if start and start.isdigit() and ilvl in levels:
                    levels[ilvl] = levels[ilvl][:2] + (int(start),)
            for ilvl, level in levels.items():
                self.numbering[(num.get(W + "numId"), ilvl)] = level

    @staticmethod
    def _level(lvl):
        """(number format, label pattern such as "%1.%2.", start) of a list level."""
        start = wval(lvl, "start")
        return (wval(lvl, "numFmt") or "bullet", wval(lvl, "lvlText") or "",
                int(start) if start and start.isdigit() else 1)

    def _label(self, num_id, level):
        """The next label of a numbered list level; lower levels start again."""
        counters = self.counters.setdefault(num_id, {})
        fmt, pattern, start = self.numbering[(num_id, str(level))]
        counters[level] = counters.get(level, start - 1) + 1
        for deeper in [k for k in counters if k > level]:
            del counters[deeper]

        def part(m):
            k = int(m.group(1)) - 1
            kfmt, _, kstart = self.numbering.get((num_id, str(k)), ("decimal", "", 1))
            return number_text(counters.get(k, kstart), kfmt)

        return re.sub(r"%(\d)", part, pattern) if pattern else \
            number_text(counters[level], fmt) + "."

    def _read_rels(self):
        data = read_member(self.z, "word/_rels/document.xml.rels")
        if data is None:
            return
        root = parse_xml(data, "relationships")
        for rel in root.iter(PKG_REL + "Relationship"):
            self.rels[rel.get("Id")] = rel.get("Target", "")

    def _read_notes(self):
        for kind in ("foot", "end"):
            data = read_member(self.z, "word/%snotes.xml" % kind)
            if data is None:
                continue
            for note in parse_xml(data, kind + "notes").iter(W + kind + "note"):
                if note.get(W + "type") in (None, "normal"):
                    self.notes[(kind, note.get(W + "id"))] = note

    def _notes_section(self, out):
        """Footnotes and endnotes, numbered in the order the text refers to them, at the end."""
        if not self.note_order:
            return
        out.append("<hr/>")
        for number, key in enumerate(self.note_order, 1):
            lines = []
            for p in self.notes[key].iter(W + "p"):
                lines.append(" ".join(seg for seg in self._paragraph(p)[0] if seg))
            out.append('<p class="note"><sup>%d</sup> %s</p>' % (number, "<br/>".join(lines)))

    def _page_setup(self, body):
        sect = body.find(W + "sectPr")
        if sect is None:
            return

        def pt(el, attr, default):
            try:
                return float(el.get(W + attr)) / 20.0
            except (TypeError, ValueError):
                return default

        size = sect.find(W + "pgSz")
        if size is not None:
            w, h = pt(size, "w", 612.0), pt(size, "h", 792.0)
            if 144 <= w <= 2000 and 144 <= h <= 3000:
                self.page.w, self.page.h = w, h
        mar = sect.find(W + "pgMar")
        if mar is not None:
            m = [max(18.0, min(pt(mar, k, 72.0), 144.0))
                 for k in ("top", "right", "bottom", "left")]
            self.page.mt, self.page.mr, self.page.mb, self.page.ml = m

    def convert(self):
        body = self.root.find(W + "body")
        if body is None:
            raise Failure("This Word document has no body.")
        self._page_setup(body)
        out = []
        self._blocks(body, out)
        self._notes_section(out)
        return "".join(out), self.page

    def _blocks(self, parent, out):
        lists = ListNester(out)
        for el in self._block_children(parent):
            if el.tag == W + "p":
                num = self._list_info(el)
                segments, pclass, level, break_before = self._paragraph(el)
                if break_before:
                    lists.close()
                    out.append('<div class="pb"></div>')
                # A page break inside a paragraph splits it: the rest starts the next page.
                for k, content in enumerate(segments):
                    if k:
                        lists.close()
                        out.append('<div class="pb"></div>')
                    if not content and len(segments) > 1:
                        continue
                    if num is not None and level and k == 0 and num[2]:
                        content = "%s %s" % (esc(num[2]), content)  # a numbered heading
                    elif num is not None and not level:
                        label = num[2] if k == 0 or num[2] is None else ""
                        lists.item(num[0], num[1], content, label)
                        continue
                    lists.close()
                    if level:
                        tag = "h%d" % (1 if level < 0 else level)
                        cls = ' class="title"' if level < 0 else ""
                        out.append("<%s%s>%s</%s>" % (tag, cls, content, tag))
                    else:
                        out.append("<p%s>%s</p>" % (pclass, content or "\u00a0"))
            elif el.tag == W + "tbl":
                lists.close()
                self._table(el, out)
        lists.close()

    def _block_children(self, parent):
        for el in parent:
            if el.tag in (W + "sdt", W + "customXml", W + "ins", W + "smartTag"):
                content = el.find(W + "sdtContent") if el.tag == W + "sdt" else el
                if content is not None:
                    yield from self._block_children(content)
            elif el.tag == MC_NS + "AlternateContent":
                fallback = el.find(MC_NS + "Fallback")
                if fallback is not None:
                    yield from self._block_children(fallback)
            elif el.tag in (W + "p", W + "tbl"):
                yield el

    def _list_info(self, p):
        """(level, ordered, label) of a list paragraph, from its own numbering or its
        style's (numbered headings); None for other paragraphs."""
        ppr = p.find(W + "pPr")
        numpr = ppr.find(W + "numPr") if ppr is not None else None
        num_id = wval(numpr, "numId")
        ilvl = wval(numpr, "ilvl")
        if num_id is None or ilvl is None:
            styled = self._style_numbering(wval(ppr, "pStyle") or "")
            if styled:
                num_id = num_id if num_id is not None else styled[0]
                ilvl = ilvl if ilvl is not None else styled[1]
        if not num_id or num_id == "0":
            return None
        ilvl = ilvl or "0"
        level = int(ilvl) if ilvl.isdigit() else 0
        fmt = self.numbering.get((num_id, ilvl), ("bullet",))[0]
        if fmt == "bullet":
            return (level, False, None)
        return (level, True, self._label(num_id, level))

    def _paragraph(self, p):
        ppr = p.find(W + "pPr")
        level, sbold, sitalic = self._style(wval(ppr, "pStyle") or "")
        page_break = on_off(ppr, "pageBreakBefore")
        align = wval(ppr, "jc")
        pclass = {"center": ' class="c"', "right": ' class="r"', "end": ' class="r"',
                  "both": ' class="j"'}.get(align, "")
        parts = []
        self._runs(p, parts, sbold and not level, sitalic)
        segments = [s for s in "".join(parts).split(PAGE_BREAK)]
        if [s.strip() for s in segments] == [""] * len(segments) and len(segments) > 1:
            segments, page_break = [], True  # a paragraph that only breaks the page
        return segments, pclass, level, page_break

    def _runs(self, parent, parts, sbold, sitalic):
        for el in parent:
            tag = el.tag
            if tag == W + "r":
                self._run(el, parts, sbold, sitalic)
            elif tag in (W + "hyperlink", W + "ins", W + "smartTag", W + "fldSimple",
                         W + "customXml", W + "moveTo", W + "bdo", W + "dir"):
                self._runs(el, parts, sbold, sitalic)
            elif tag == W + "sdt":
                content = el.find(W + "sdtContent")
                if content is not None:
                    self._runs(content, parts, sbold, sitalic)
            elif tag == MC_NS + "AlternateContent":
                fallback = el.find(MC_NS + "Fallback")
                if fallback is not None:
                    self._runs(fallback, parts, sbold, sitalic)
            # w:del, w:moveFrom, bookmarks and proofing marks carry no shown text

    def _run(self, r, parts, sbold, sitalic):
        rpr = r.find(W + "rPr")
        if on_off(rpr, "vanish"):
            return
        _, cbold, citalic = self._style(wval(rpr, "rStyle") or "")
        bold = on_off(rpr, "b") if wval(rpr, "b") is not None else (sbold or cbold)
        italic = on_off(rpr, "i") if wval(rpr, "i") is not None else (sitalic or citalic)
        underline = (wval(rpr, "u") or "none") != "none"
        strike = on_off(rpr, "strike") or on_off(rpr, "dstrike")
        valign = wval(rpr, "vertAlign")
        caps = on_off(rpr, "caps")
        buf = []

        def flush():
            if buf:
                text = "".join(buf)
                if caps:
                    text = text.upper()
                parts.append(wrap_inline(esc(text), bold, italic, underline, strike,
                                         valign == "superscript", valign == "subscript"))
                buf.clear()

        for el in r:
            tag = el.tag
            if tag == W + "t":
                buf.append(el.text or "")
            elif tag == W + "tab" or tag == W + "ptab":
                buf.append("\u2003")
            elif tag == W + "br" or tag == W + "cr":
                flush()
                if el.get(W + "type") == "page":
                    parts.append(PAGE_BREAK)
                else:
                    parts.append("<br/>")
            elif tag == W + "noBreakHyphen":
                buf.append("\u2011")
            elif tag == W + "softHyphen":
                buf.append("\u00ad")
            elif tag == W + "sym":
                code = el.get(W + "char", "")
                try:
                    cp = int(code, 16)
                    buf.append(chr(cp - 0xF000 if cp >= 0xF000 else cp))
                except ValueError:
                    pass
            elif tag in (W + "footnoteReference", W + "endnoteReference"):
                key = ("foot" if tag == W + "footnoteReference" else "end", el.get(W + "id"))
                if key in self.notes:
                    flush()
                    if key not in self.note_order:
                        self.note_order.append(key)
                    parts.append("<sup>%d</sup>" % (self.note_order.index(key) + 1))
            elif tag == W + "lastRenderedPageBreak":
                pass
            elif tag in (W + "drawing", W + "pict") or tag == MC_NS + "AlternateContent":
                flush()
                parts.append(self._image(el))
                boxed = self._text_boxes(el)
                if boxed:
                    parts.append("<br/>%s<br/>" % boxed)
        flush()

    def _text_boxes(self, el):
        """The text of text boxes in a drawing, as lines (one alternative of a choice only,
        so that a box is not read twice)."""
        if el.tag == MC_NS + "AlternateContent":
            choice = el.find(MC_NS + "Choice")
            el = choice if choice is not None else el.find(MC_NS + "Fallback")
            if el is None:
                return ""
        lines = []
        for box in el.iter(W + "txbxContent"):
            for p in box.iter(W + "p"):
                text = " ".join(seg for seg in self._paragraph(p)[0] if seg)
                if text:
                    lines.append(text)
        return "<br/>".join(lines)

    def _image(self, el):
        blip = next(el.iter(A_NS + "blip"), None)
        if blip is None:
            return ""
        target = self.rels.get(blip.get(R_NS + "embed", ""), "")
        if not target or target.startswith("http"):
            return ""
        name = os.path.normpath(os.path.join("word", target)).replace(os.sep, "/")
        mime = IMAGE_TYPES.get(ext_of(name))
        if not mime:
            return ""
        try:
            data = read_member(self.z, name.lstrip("/"))
        except Failure:
            return ""
        if not data:
            return ""
        style = ""
        extent = next(el.iter(WP_NS + "extent"), None)
        if extent is not None:
            try:
                w = int(extent.get("cx")) / 12700.0
                h = int(extent.get("cy")) / 12700.0
                limit = self.page.w - self.page.ml - self.page.mr
                if w > limit > 0:
                    w, h = limit, h * limit / w
                style = ' style="width:%.1fpt;height:%.1fpt"' % (w, h)
            except (TypeError, ValueError, ZeroDivisionError):
                pass
        return '<img src="data:%s;base64,%s"%s/>' % (mime, base64.b64encode(data).decode(),
                                                    style)

    def _cell_inline(self, cell):
        """A table cell as inline XHTML: MuPDF lays out block elements inside cells badly,
        so paragraphs become lines and nested tables become rows of text."""
        lines = []
        for el in self._block_children(cell):
            if el.tag == W + "p":
                segments = self._paragraph(el)[0]
                text = " ".join(s for s in segments if s)
                num = self._list_info(el)
                if num is not None:
                    text = "%s %s" % (esc(num[2]) if num[1] else "\u2022", text)
                lines.append(text)
            elif el.tag == W + "tbl":
                for tr in el.iter(W + "tr"):
                    lines.append(" | ".join(self._cell_inline(tc) for tc in tr.iter(W + "tc")
                                            if tc is not None))
        while lines and not lines[-1]:
            lines.pop()
        return "<br/>".join(lines)

    def _table(self, tbl, out):
        out.append("<table>")
        for tr in tbl:
            if tr.tag != W + "tr":
                continue
            out.append("<tr>")
            for tc in tr:
                if tc.tag == W + "sdt":
                    content = tc.find(W + "sdtContent")
                    cells = list(content) if content is not None else []
                else:
                    cells = [tc]
                for cell in cells:
                    if cell.tag != W + "tc":
                        continue
                    tcpr = cell.find(W + "tcPr")
                    if wval(tcpr, "vMerge") in ("continue", ""):
                        out.append("<td></td>")  # the merged cell's text is in the first row
                        continue
                    span = wval(tcpr, "gridSpan")
                    colspan = ' colspan="%s"' % span if span and span.isdigit() and \
                        int(span) > 1 else ""
                    out.append("<td%s>%s</td>" % (colspan, self._cell_inline(cell)))
            out.append("</tr>")
        out.append("</table>")


# ---- RTF ---------------------------------------------------------------------------------

RTF_SKIP = {
    "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl",
    "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "fldinst",
    "xe", "tc", "listtable", "listoverridetable", "rsidtbl", "generator", "themedata",
    "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "revtbl", "filetbl",
    "pgdsctbl", "bkmkstart", "bkmkend", "nonshppict", "shp", "shpinst", "annotation",
    "atnid", "atnauthor", "private", "userprops", "docvar", "mmathPr", "wgrffmtfilter",
    "passwordhash", "protusertbl", "template", "operator", "author", "title", "comment",
}
RTF_SYMBOLS = {
    "emdash": "\u2014", "endash": "\u2013", "lquote": "\u2018", "rquote": "\u2019",
    "ldblquote": "\u201c", "rdblquote": "\u201d", "bullet": "\u2022", "tab": "\u2003",
    "emspace": "\u2003", "enspace": "\u2002", "qmspace": "\u2005", "zwj": "\u200d",
    "zwnj": "\u200c",
}
RTF_TOKEN = re.compile(rb"\\([a-zA-Z]{1,32})(-?\d{1,10})? ?|\\'([0-9a-fA-F]{2})|\\(.)|([{}])|"
                       rb"([^\\{}\r\n]+)|[\r\n]+", re.S)


class RtfConverter:
    """A small RTF reader: groups, control words, paragraphs and simple tables, bold, italic
    and underline, \\uN escapes and \\'hh bytes in the document's code page."""

    def __init__(self, data):
        if not data.lstrip().startswith(b"{\\rtf"):
            raise Failure("This file is not an RTF document.")
        self.data = data
        self.codepage = "cp1252"
        self.out = []
        self.para = []       # inline XHTML of the paragraph being read
        self.pending = []    # characters not yet formatted
        self.row = None      # cells of the table row being read, or None
        self.cell = []       # paragraphs of the current cell
        self.align = ""
        self.page_break = False
        self.hexbuf = bytearray()

    def convert(self):
        state = {"b": False, "i": False, "ul": False, "strike": False, "skip": False,
                 "uc": 1, "super": False, "sub": False, "intbl": False}
        stack = []
        skip_chars = 0
        group_start = False  # just after "{": a destination word may follow
        star = False
        data = self.data
        for m in RTF_TOKEN.finditer(data):
            word, num, hexa, sym, brace, text = m.groups()
            if hexa is None and self.hexbuf:
                # A run of \'hh bytes ends: decode it whole (double-byte code pages).
                self._bytes(bytes(self.hexbuf), state)
                self.hexbuf.clear()
            if brace == b"{":
                stack.append(dict(state))
                group_start, star = True, False
                continue
            if brace == b"}":
                self._flush_run(state)
                if stack:
                    state = stack.pop()
                group_start = star = False
                continue
            if word is not None:
                w = word.decode("ascii")
                n = int(num) if num is not None else None
                if group_start or star:
                    if w in RTF_SKIP or star:
                        if w not in ("fldrslt", "listtext", "pntext") or state["skip"]:
                            state["skip"] = True
                    group_start = star = False
                if state["skip"]:
                    continue
                if skip_chars and w not in ("u",):
                    skip_chars = 0
                self._word(w, n, state)
                if w == "u" and n is not None:
                    skip_chars = state["uc"]
                continue
            if sym is not None:
                s = sym.decode("latin-1")
                if s == "*":
                    star = True
                    continue
                group_start = False
                if state["skip"]:
                    continue
                if s in "\\{}":
                    self._char(s, state)
                elif s == "~":
                    self._char("\u00a0", state)
                elif s == "_":
                    self._char("\u2011", state)
                elif s in "\r\n":
                    self._par(state)
                # "\-" (optional hyphen) and unknown symbols show nothing
                continue
            group_start = star = False
            if state["skip"]:
                continue
            if hexa is not None:
                if skip_chars:
                    skip_chars -= 1
                    continue
                self.hexbuf.append(int(hexa, 16))
                continue
            if text is not None:
                if skip_chars:
                    drop = min(skip_chars, len(text))
                    skip_chars -= drop
                    text = text[drop:]
                if text:
                    self._bytes(text, state)
        if self.hexbuf:
            self._bytes(bytes(self.hexbuf), state)
        self._par(state, final=True)
        self._end_row()
        return "".join(self.out)

    def _bytes(self, raw, state):
        try:
            self._char(raw.decode(self.codepage), state)
        except (UnicodeDecodeError, LookupError):
            self._char(raw.decode("cp1252", errors="replace"), state)

    def _char(self, s, state):
        if self.pending and self.pending[-1][1] != self._fmt(state):
            self._flush_run(state)
        if self.pending and 0xD800 <= ord(self.pending[-1][0][-1:] or "a") <= 0xDBFF and \
                s and 0xDC00 <= ord(s[0]) <= 0xDFFF:
            hi = self.pending[-1][0][-1]
            pair = chr(0x10000 + ((ord(hi) - 0xD800) << 10) + (ord(s[0]) - 0xDC00))
            self.pending[-1] = (self.pending[-1][0][:-1] + pair + s[1:], self.pending[-1][1])
            return
        self.pending.append((s, self._fmt(state)))

    @staticmethod
    def _fmt(state):
        return (state["b"], state["i"], state["ul"], state["strike"], state["super"],
                state["sub"])

    def _flush_run(self, state):
        if not self.pending:
            return
        fmt = self.pending[0][1]
        text = "".join(p[0] for p in self.pending)
        text = re.sub("[\ud800-\udfff]", "\ufffd", text)
        self.pending = []
        self.para.append(wrap_inline(esc(text), *fmt))

    def _word(self, w, n, state):
        on = n is None or n != 0
        if w == "par" or w == "sect":
            self._par(state)
        elif w == "line":
            self._flush_run(state)
            self.para.append("<br/>")
        elif w == "page":
            self._par(state)
            self.page_break = True
        elif w in RTF_SYMBOLS:
            self._char(RTF_SYMBOLS[w], state)
        elif w == "u" and n is not None:
            self._char(chr(n + 65536 if n < 0 else n), state)
        elif w == "uc" and n is not None:
            state["uc"] = max(0, n)
        elif w == "ansicpg" and n:
            try:
                "a".encode("cp%d" % n)
                self.codepage = "cp%d" % n
            except LookupError:
                pass
        elif w == "mac":
            self.codepage = "mac_roman"
        elif w == "b":
            state["b"] = on
        elif w == "i":
            state["i"] = on
        elif w in ("ul", "uld", "uldb", "ulw", "ulth"):
            state["ul"] = on
        elif w == "ulnone":
            state["ul"] = False
        elif w == "strike" or w == "striked":
            state["strike"] = on
        elif w == "super":
            state["super"], state["sub"] = on, False
        elif w == "sub":
            state["sub"], state["super"] = on, False
        elif w == "nosupersub":
            state["super"] = state["sub"] = False
        elif w == "plain":
            for k in ("b", "i", "ul", "strike", "super", "sub"):
                state[k] = False
        elif w == "pard":
            self.align = ""
            state["intbl"] = False
        elif w in ("qc", "qr", "qj", "ql"):
            self.align = {"qc": "c", "qr": "r", "qj": "j", "ql": ""}[w]
        elif w == "intbl":
            state["intbl"] = True
        elif w == "cell":
            self._par(state)
            if self.row is None:
                self.row = []
            self.row.append("<br/>".join(self.cell))
            self.cell = []
        elif w == "row":
            self._par(state)
            self._end_row()
        elif w == "trowd":
            if self.row is None:
                self.row = []

    def _par(self, state, final=False):
        self._flush_run(state)
        content = "".join(self.para)
        self.para = []
        cls = ' class="%s"' % self.align if self.align else ""
        if state.get("intbl") or self.row is not None and not final:
            if content:
                self.cell.append(content)
            return
        if final and not content:
            return
        if self.page_break:
            self.out.append('<div class="pb"></div>')
            self.page_break = False
        self.out.append("<p%s>%s</p>" % (cls, content or "\u00a0"))

    def _end_row(self):
        if self.cell:
            if self.row is None:
                self.row = []
            self.row.append("<br/>".join(self.cell))
            self.cell = []
        if self.row:
            # Consecutive rows share one table.
            row = "<tr>%s</tr>" % "".join("<td>%s</td>" % c for c in self.row)
            if self.out and self.out[-1].endswith("</table>"):
                self.out[-1] = self.out[-1][:-len("</table>")] + row + "</table>"
            else:
                self.out.append("<table>%s</table>" % row)
        self.row = None


# ---- OpenDocument text (.odt) -----------------------------------------------------------

TEXT_NS = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"
TABLE_NS = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
STYLE_NS = "{urn:oasis:names:tc:opendocument:xmlns:style:1.0}"
FO_NS = "{urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0}"
OFFICE_NS = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"


class OdtConverter:
    def __init__(self, path):
        z = open_zip(path, "OpenDocument")
        data = read_member(z, "content.xml")
        if data is None:
            raise Failure("This file is not an OpenDocument text (it has no content.xml).")
        self.root = parse_xml(data, "content")
        self.styles = {}  # style name -> (bold, italic, underline)
        self.numbered_lists = set()  # list style names whose first level is numbered
        for member in ("styles.xml",):
            extra = read_member(z, member)
            if extra is not None:
                self._read_styles(parse_xml(extra, "styles"))
        self._read_styles(self.root)

    def _read_styles(self, root):
        for ls in root.iter(TEXT_NS + "list-style"):
            first = next(iter(ls), None)
            if first is not None and first.tag == TEXT_NS + "list-level-style-number":
                self.numbered_lists.add(ls.get(STYLE_NS + "name"))
        for st in root.iter(STYLE_NS + "style"):
            props = st.find(STYLE_NS + "text-properties")
            if props is None:
                continue
            self.styles[st.get(STYLE_NS + "name")] = (
                props.get(FO_NS + "font-weight") == "bold",
                props.get(FO_NS + "font-style") == "italic",
                props.get(STYLE_NS + "text-underline-style", "none") != "none")

    def convert(self):
        body = self.root.find(OFFICE_NS + "body")
        text = body.find(OFFICE_NS + "text") if body is not None else None
        if text is None:
            raise Failure("This OpenDocument file holds no text document.")
        out = []
        self._blocks(text, out, 0)
        return "".join(out), Page()

    def _blocks(self, parent, out, depth):
        for el in parent:
            if el.tag == TEXT_NS + "h":
                try:
                    level = min(max(int(el.get(TEXT_NS + "outline-level", "1")), 1), 6)
                except ValueError:
                    level = 1
                out.append("<h%d>%s</h%d>" % (level, self._inline(el), level))
            elif el.tag == TEXT_NS + "p":
                content = self._inline(el)
                out.append("<p>%s</p>" % (content or "\u00a0"))
            elif el.tag == TEXT_NS + "list":
                ordered = el.get(TEXT_NS + "style-name") in self.numbered_lists
                out.append("<ol>" if ordered else "<ul>")
                for item in el:
                    if item.tag in (TEXT_NS + "list-item", TEXT_NS + "list-header"):
                        inner = []
                        self._blocks(item, inner, depth + 1)
                        body = "".join(inner)
                        body = re.sub(r"^<p>(.*?)</p>", r"\1", body, count=1)
                        out.append("<li>%s</li>" % body)
                out.append("</ol>" if ordered else "</ul>")
            elif el.tag == TABLE_NS + "table":
                out.append("<table>")
                for row in el.iter(TABLE_NS + "table-row"):
                    out.append("<tr>")
                    for cell in row:
                        if cell.tag == TABLE_NS + "table-cell":
                            # Lines, not paragraphs: MuPDF lays out blocks in cells badly.
                            lines = [self._inline(p) for p in cell.iter()
                                     if p.tag in (TEXT_NS + "p", TEXT_NS + "h")]
                            out.append("<td>%s</td>" % "<br/>".join(lines))
                        elif cell.tag == TABLE_NS + "covered-table-cell":
                            pass
                    out.append("</tr>")
                out.append("</table>")
            elif el.tag in (TEXT_NS + "section", TEXT_NS + "soft-page-break") or \
                    el.tag == TEXT_NS + "index-body":
                self._blocks(el, out, depth)

    def _inline(self, el, fmt=(False, False, False)):
        parts = [esc(el.text or "")]
        for child in el:
            tag = child.tag
            if tag == TEXT_NS + "span":
                style = self.styles.get(child.get(TEXT_NS + "style-name"), (False,) * 3)
                merged = tuple(a or b for a, b in zip(fmt, style))
                inner = self._inline(child, merged)
                parts.append(wrap_inline(inner, *[m and not f for m, f in zip(merged, fmt)]))
            elif tag == TEXT_NS + "s":
                try:
                    count = int(child.get(TEXT_NS + "c", "1"))
                except ValueError:
                    count = 1
                parts.append("\u00a0" * min(count, 200))
            elif tag == TEXT_NS + "tab":
                parts.append("\u2003")
            elif tag == TEXT_NS + "line-break":
                parts.append("<br/>")
            elif tag in (TEXT_NS + "a", TEXT_NS + "bookmark-ref", TEXT_NS + "reference-ref"):
                parts.append(self._inline(child, fmt))
            elif tag == TEXT_NS + "note":
                pass  # footnotes are left out
            parts.append(esc(child.tail or ""))
        return "".join(parts)


# ---- plain text and Markdown ------------------------------------------------------------

def text_to_xhtml(text):
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    pages = text.split("\f")
    return "".join(('<pre class="pb">%s</pre>' if i else "<pre>%s</pre>") % esc(p)
                   for i, p in enumerate(pages)), Page(margins=(54.0, 54.0, 54.0, 54.0))


MD_INLINE = re.compile(
    r"(?P<code>`+)(?P<codetext>.+?)(?P=code)"
    r"|!\[(?P<alt>[^\]]*)\]\([^)]*\)"
    r"|\[(?P<link>[^\]]+)\]\((?P<href>[^)\s]*)(?:\s+\"[^\"]*\")?\)"
    r"|(?P<strong>\*\*|__)(?P<strongtext>.+?)(?P=strong)"
    r"|(?P<em>\*|_)(?P<emtext>[^\s*_](?:.*?[^\s])?)(?P=em)"
    r"|~~(?P<del>.+?)~~"
    r"|<(?P<auto>https?://[^>\s]+)>")


def md_inline(text):
    out = []
    pos = 0
    for m in MD_INLINE.finditer(text):
        if m.group("em") == "_" and m.start() > 0 and text[m.start() - 1].isalnum():
            continue  # snake_case words are not emphasis
        out.append(esc(text[pos:m.start()]))
        if m.group("code"):
            out.append("<code>%s</code>" % esc(m.group("codetext").strip()))
        elif m.group("alt") is not None:
            out.append(esc(m.group("alt")))
        elif m.group("link"):
            out.append("<u>%s</u>" % md_inline(m.group("link")))
        elif m.group("strong"):
            out.append("<b>%s</b>" % md_inline(m.group("strongtext")))
        elif m.group("em"):
            out.append("<i>%s</i>" % md_inline(m.group("emtext")))
        elif m.group("del"):
            out.append("<s>%s</s>" % md_inline(m.group("del")))
        elif m.group("auto"):
            out.append("<u>%s</u>" % esc(m.group("auto")))
        pos = m.end()
    out.append(esc(text[pos:]))
    result = "".join(out)
    return re.sub(r"(?: {2,}|\\)\n", "<br/>", result).replace("\n", " ")


MD_LIST = re.compile(r"^(\s*)([-*+]|\d{1,9}[.)])\s+(.*)$")
MD_FENCE = re.compile(r"^\s{0,3}(```+|~~~+)")
MD_HR = re.compile(r"^\s{0,3}([-*_])(?:\s*\1){2,}\s*$")
MD_TABLE_SEP = re.compile(r"^\s*\|?\s*:?-{2,}:?\s*(\|\s*:?-{2,}:?\s*)*\|?\s*$")


def md_cells(line):
    line = line.strip()
    if line.startswith("|"):
        line = line[1:]
    if line.endswith("|") and not line.endswith("\\|"):
        line = line[:-1]
    return [c.strip().replace("\\|", "|") for c in re.split(r"(?<!\\)\|", line)]


def markdown_to_xhtml(text):
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    out = []
    lists = ListNester(out)
    para = []
    i = 0

    def flush_para():
        if para:
            out.append("<p>%s</p>" % md_inline("\n".join(para)))
            para.clear()

    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        fence = MD_FENCE.match(line)
        if fence:
            flush_para()
            lists.close()
            mark = fence.group(1)
            code = []
            i += 1
            while i < len(lines) and not lines[i].strip().startswith(mark):
                code.append(lines[i])
                i += 1
            out.append('<pre class="block">%s</pre>' % esc("\n".join(code)))
            i += 1
            continue
        if not stripped:
            flush_para()
            i += 1
            continue
        heading = re.match(r"^\s{0,3}(#{1,6})\s+(.*?)\s*#*\s*$", line)
        if heading:
            flush_para()
            lists.close()
            level = len(heading.group(1))
            out.append("<h%d>%s</h%d>" % (level, md_inline(heading.group(2)), level))
            i += 1
            continue
        if para and re.match(r"^\s{0,3}(=+|-+)\s*$", line) and not lists.stack:
            level = 1 if stripped[0] == "=" else 2
            out.append("<h%d>%s</h%d>" % (level, md_inline("\n".join(para)), level))
            para.clear()
            i += 1
            continue
        if MD_HR.match(line):
            flush_para()
            lists.close()
            out.append("<hr/>")
            i += 1
            continue
        if "|" in line and i + 1 < len(lines) and MD_TABLE_SEP.match(lines[i + 1]):
            flush_para()
            lists.close()
            head = md_cells(line)
            rows = ["<tr>%s</tr>" % "".join("<th>%s</th>" % md_inline(c) for c in head)]
            i += 2
            while i < len(lines) and "|" in lines[i] and lines[i].strip():
                rows.append("<tr>%s</tr>" % "".join(
                    "<td>%s</td>" % md_inline(c) for c in md_cells(lines[i])))
                i += 1
            out.append("<table>%s</table>" % "".join(rows))
            continue
        if stripped.startswith(">"):
            flush_para()
            lists.close()
            quote = []
            while i < len(lines) and lines[i].strip().startswith(">"):
                quote.append(re.sub(r"^\s*>\s?", "", lines[i]))
                i += 1
            inner, _ = markdown_to_xhtml("\n".join(quote))
            out.append("<blockquote>%s</blockquote>" % inner)
            continue
        item = MD_LIST.match(line)
        if item and (not para or lists.stack or item.group(2) in ("-", "*", "+", "1.", "1)")):
            flush_para()
            indent = len(item.group(1).expandtabs(4))
            ordered = item.group(2)[0].isdigit()
            content = [item.group(3)]
            i += 1
            # Lazy continuation lines belong to the item.
            while i < len(lines) and lines[i].strip() and not MD_LIST.match(lines[i]) and \
                    not MD_FENCE.match(lines[i]) and not lines[i].lstrip().startswith("#"):
                content.append(lines[i].strip())
                i += 1
            task = re.match(r"^\[([ xX])\]\s+(.*)", content[0])
            if task:
                content[0] = ("\u2611 " if task.group(1) != " " else "\u2610 ") + task.group(2)
            lists.item(indent // 2, ordered, md_inline("\n".join(content)))
            continue
        if line.startswith("    ") and not para and not lists.stack:
            code = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                code.append(lines[i][4:])
                i += 1
            out.append('<pre class="block">%s</pre>' % esc("\n".join(code).rstrip("\n")))
            continue
        if lists.stack and not para and line.startswith(" "):
            # An indented paragraph after a list item continues it.
            out.append("<br/>%s" % md_inline(stripped))
            i += 1
            continue
        lists.close()
        para.append(line.strip() if not line.endswith("  ") else line.lstrip())
        i += 1
    flush_para()
    lists.close()
    return "".join(out), Page()


# ---- legacy Word (.doc) through antiword ------------------------------------------------

def doc_to_xhtml(path):
    tool = shutil.which("antiword")
    if not tool:
        raise Failure("Legacy Word documents (.doc) need antiword, which is not installed.")
    try:
        run = subprocess.run([tool, "-w", "0", "-m", "UTF-8.txt", path], capture_output=True,
                             timeout=120)
    except subprocess.TimeoutExpired:
        raise Failure("Reading this Word document took too long.")
    if run.returncode != 0 or not run.stdout.strip():
        msg = run.stderr.decode("utf-8", "replace").strip().splitlines()
        raise Failure("This Word document could not be read%s." %
                      (": " + msg[-1] if msg else ""))
    text = decode_text(run.stdout)
    out = []
    for block in re.split(r"\n\s*\n", text.replace("\r", "")):
        if block.strip():
            out.append("<p>%s</p>" % "<br/>".join(esc(l) for l in block.strip("\n").split("\n")))
    return "".join(out), Page()


# ---- to PDF ------------------------------------------------------------------------------

def source_xhtml(path):
    """The document as (XHTML body, page setup)."""
    kind = ext_of(path)
    if kind in ("docx", "docm", "dotx"):
        return DocxConverter(path).convert()
    if kind == "odt":
        return OdtConverter(path).convert()
    if kind == "doc":
        if not is_ole(path):
            # Word saves RTF and HTML under .doc too; RTF is read as such.
            with open(path, "rb") as f:
                head = f.read(16)
            if head.lstrip().startswith(b"{\\rtf"):
                with open(path, "rb") as f:
                    return RtfConverter(f.read()).convert(), Page()
            if head[:2] == b"PK":
                return DocxConverter(path).convert()
        return doc_to_xhtml(path)
    with open(path, "rb") as f:
        data = f.read()
    if kind == "rtf":
        return RtfConverter(data).convert(), Page()
    if kind in ("md", "markdown"):
        return markdown_to_xhtml(decode_text(data))
    return text_to_xhtml(decode_text(data))


def cache_path(path, st, converter):
    key = "%s|%d|%d|%s|%s" % (os.path.abspath(path), st.st_size, st.st_mtime_ns,
                              CONVERTER_VERSION, converter)
    digest = hashlib.sha256(key.encode("utf-8", "surrogateescape")).hexdigest()[:24]
    stem = re.sub(r"[^\w .()-]+", "_", os.path.splitext(os.path.basename(path))[0])[:60]
    return os.path.join(cache_folder(), "%s-%s.pdf" % (stem.strip() or "document", digest))


def write_record(target, path, st, converter):
    """The copy's record: which document it was made from, and from which state of it."""
    write_json(target + ".json", {"source": os.path.abspath(path), "size": st.st_size,
                                  "mtime_ns": st.st_mtime_ns, "converter": converter})


def trim_cache(folder, keep):
    try:
        names = os.listdir(folder)
    except OSError:
        return
    entries = [os.path.join(folder, n) for n in names if n.endswith(".pdf")]
    gone = [os.path.join(folder, n) for n in names
            if n.endswith(".pdf.json") and n[:-5] not in names]
    if len(entries) > keep:
        entries.sort(key=lambda p: os.stat(p).st_atime if os.path.exists(p) else 0)
        for p in entries[:len(entries) - keep]:
            gone += [p, p + ".json"]
    for p in gone:
        try:
            os.unlink(p)
        except OSError:
            pass


def mutool():
    tool = shutil.which("mutool")
    if not tool:
        raise Failure("Converting documents needs mutool (the Debian package mupdf-tools), "
                      "which is not installed.")
    return tool


# ---- LibreOffice ----------------------------------------------------------------------

def libreoffice():
    """LibreOffice's program for headless conversions, or None: not installed, or turned off
    with CVL_NO_LIBREOFFICE=1. CVL_SOFFICE names another program to run instead."""
    if os.environ.get("CVL_NO_LIBREOFFICE") == "1":
        return None
    named = os.environ.get("CVL_SOFFICE")
    if named:
        return named if os.access(named, os.X_OK) else None
    return shutil.which("soffice") or shutil.which("libreoffice")


def converter_for(kind):
    return "libreoffice" if kind in LIBREOFFICE_TYPES and libreoffice() else "own"


def take_profile():
    """A LibreOffice profile folder no other conversion is using, with its lock held: one
    LibreOffice runs per profile, so conversions at the same time each get their own, and
    a profile is made once and then reused. Waits for the first one when all are busy."""
    base = os.path.join(working_folder(), ".libreoffice")
    os.makedirs(base, exist_ok=True)
    for i in range(LIBREOFFICE_PROFILES):
        lock = open(os.path.join(base, "%d.lock" % i), "a+b")
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return lock, os.path.join(base, str(i))
        except OSError:
            lock.close()
    lock = open(os.path.join(base, "0.lock"), "a+b")
    fcntl.flock(lock, fcntl.LOCK_EX)
    return lock, os.path.join(base, "0")


def libreoffice_pdf(tool, path, work):
    """The document converted by LibreOffice into `work`, or None. LibreOffice reads a copy
    inside `work`, so its lock files never appear beside the user's document; it runs in a
    process group of its own that is killed afterwards, so no soffice stays behind, also after
    the time-out."""
    kind = ext_of(path)
    src = os.path.join(work, "document." + kind)
    shutil.copyfile(path, src)
    lock, profile = take_profile()
    try:
        env = dict(os.environ, SAL_USE_VCLPLUGIN="svp")
        cmd = [tool, "--headless", "--invisible", "--norestore", "--nolockcheck",
               "--nodefault", "--nofirststartwizard",
               "-env:UserInstallation=file://" + urllib.parse.quote(profile),
               "--convert-to", "pdf", "--outdir", work, src]
        try:
            proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, env=env, start_new_session=True)
        except OSError:
            return None
        try:
            _, err = proc.communicate(timeout=float(
                os.environ.get("CVL_SOFFICE_TIMEOUT") or LIBREOFFICE_TIMEOUT))
        except subprocess.TimeoutExpired:
            err = b"timed out"
        finally:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except OSError:
                pass
            proc.wait()
    finally:
        lock.close()
    pdf = os.path.join(work, "document.pdf")
    try:
        with open(pdf, "rb") as f:
            if f.read(5) == b"%PDF-":
                return pdf
    except OSError:
        pass
    sys.stderr.write("triage_gen: LibreOffice gave no PDF (%s)\n" %
                     (err or b"").decode("utf-8", "replace").strip()[-300:])
    return None


# ---- to PDF through MuPDF ----------------------------------------------------------------

def mupdf_pdf(path, work):
    tool = mutool()
    body, page = source_xhtml(path)
    if not body.strip():
        body = "<p>\u00a0</p>"
    doc = xhtml_document(os.path.basename(path), body, page)
    src = os.path.join(work, "document.xhtml")
    pdf = os.path.join(work, "document.pdf")
    with open(src, "w", encoding="utf-8") as f:
        f.write(doc)
    try:
        run = subprocess.run([tool, "convert", "-F", "pdf", "-W", "%.0f" % page.w,
                              "-H", "%.0f" % page.h, "-o", pdf, src],
                             capture_output=True, timeout=600)
    except subprocess.TimeoutExpired:
        raise Failure("Laying out this document took too long.")
    if run.returncode != 0 or not os.path.isfile(pdf) or os.path.getsize(pdf) < 8:
        msg = run.stderr.decode("utf-8", "replace").strip().splitlines()
        raise Failure("The document could not be laid out as PDF%s." %
                      (": " + msg[-1] if msg else ""))
    with open(pdf, "rb") as f:
        if f.read(5) != b"%PDF-":
            raise Failure("The document could not be laid out as PDF.")
    return pdf


def to_pdf(path):
    """The converted PDF's path (made, or taken from the cache)."""
    if not os.path.isfile(path):
        raise Failure("The document is not there any more.")
    kind = ext_of(path)
    if kind not in CONVERTIBLE:
        raise Failure("Documents of type .%s cannot be converted to PDF." % (kind or "?"))
    st = os.stat(path)
    converter = converter_for(kind)
    target = cache_path(path, st, converter)
    if os.path.isfile(target) and os.path.getsize(target) > 0:
        os.utime(target)  # recently used: kept longest
        if not os.path.isfile(target + ".json"):
            write_record(target, path, st, converter)
        return target
    folder = cache_folder()
    os.makedirs(folder, exist_ok=True)
    work = tempfile.mkdtemp(prefix=".work-", dir=folder)
    try:
        pdf = None
        made_by = converter
        if converter == "libreoffice":
            pdf = libreoffice_pdf(libreoffice(), path, work)
        if pdf is None:
            # The own converter: the only one for text and Markdown, the fallback for the rest.
            made_by = "own" if converter == "own" else "own (LibreOffice failed)"
            pdf = mupdf_pdf(path, work)
        write_record(target, path, st, made_by)
        os.replace(pdf, target)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    trim_cache(folder, CACHE_KEEP)
    return target


def run_to_pdf(path):
    try:
        return {"pdf": to_pdf(path)}
    except Failure as e:
        return {"pdf": "", "error": str(e)}


# ---- edit probe --------------------------------------------------------------------------

NO_EDITOR = ("This build has no editor for Word, RTF or text documents; the document is "
             "shown as a read-only PDF copy.")


def edit_probe(path):
    why = [NO_EDITOR]
    kind = ext_of(path)
    try:
        if kind in ("docx", "docm", "dotx"):
            why += docx_edit_reasons(path)
        elif kind in ("rtf", "doc"):
            with open(path, "rb") as f:
                data = f.read()
            if kind == "doc" and is_ole(path):
                why.append("Legacy .doc files can only be read, not saved.")
            elif data.lstrip().startswith(b"{\\rtf"):
                for word, reason in ((rb"\\object", "It holds embedded objects."),
                                     (rb"\\revised", "It has tracked changes."),
                                     (rb"\\deleted", "It has tracked changes."),
                                     (rb"\\annotation", "It has comments.")):
                    if re.search(word + rb"(?![a-z])", data) and reason not in why:
                        why.append(reason)
            else:
                why.append("It is not a valid RTF document.")
        elif not os.path.isfile(path):
            why.append("The document is not there any more.")
    except Failure as e:
        why.append(str(e))
    except OSError as e:
        why.append("The document could not be read (%s)." % e.strerror)
    return {"path": path, "editable": False, "why": why}


def docx_edit_reasons(path):
    reasons = []
    z = open_zip(path, "docx")
    names = set(z.namelist())
    doc = read_member(z, "word/document.xml") or b""
    if re.search(rb"<w:(ins|del|moveFrom|moveTo)\b", doc):
        reasons.append("It has tracked changes.")
    if "word/comments.xml" in names and re.search(rb"<w:comment\b",
                                                   read_member(z, "word/comments.xml") or b""):
        reasons.append("It has comments.")
    if any(n.startswith("word/embeddings/") for n in names) or b"<w:object" in doc:
        reasons.append("It holds embedded objects.")
    if "word/vbaProject.bin" in names:
        reasons.append("It contains macros.")
    settings = read_member(z, "word/settings.xml") or b""
    if re.search(rb"<w:documentProtection\b[^>]*w:enforcement=\"(1|true|on)\"", settings):
        reasons.append("It is protected against editing.")
    if b"<w:fldChar" in doc or b"<w:fldSimple" in doc:
        reasons.append("It has fields (such as page numbers or references).")
    return reasons


# ---- grid ---------------------------------------------------------------------------------

S_NS = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
DOC_REL = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
BUILTIN_DATE_FORMATS = set(range(14, 23)) | set(range(27, 37)) | set(range(45, 48)) | \
    set(range(50, 59))
BUILTIN_PERCENT = {9, 10}


def col_index(ref):
    n = 0
    for ch in ref:
        if "A" <= ch <= "Z":
            n = n * 26 + ord(ch) - 64
        elif "a" <= ch <= "z":
            n = n * 26 + ord(ch) - 96
        else:
            break
    return n - 1


def format_number(text):
    try:
        v = float(text)
    except ValueError:
        return text
    if v != v or v in (float("inf"), float("-inf")):
        return text
    if v == int(v) and abs(v) < 1e15:
        return str(int(v))
    return "%.15g" % v


def excel_date(serial, date1904, kind):
    try:
        v = float(serial)
    except ValueError:
        return serial
    if date1904:
        base = datetime.datetime(1904, 1, 1)
    else:
        base = datetime.datetime(1899, 12, 30)  # includes the 1900 leap-year quirk
        if v < 60:
            v += 1
    try:
        when = base + datetime.timedelta(days=v)
    except OverflowError:
        return serial
    when = when + datetime.timedelta(microseconds=500000)  # round to the second
    if kind == "time":
        return when.strftime("%H:%M:%S")
    if kind == "datetime":
        return when.strftime("%Y-%m-%d %H:%M")
    return when.strftime("%Y-%m-%d")


def date_kind(code):
    """"date", "datetime", "time" or None for a number format code."""
    if re.search(r"\[(h+|m+|s+)\]", code, re.I):
        return "time"  # elapsed time such as [h]:mm
    stripped = re.sub(r'"[^"]*"|\\.|\[[^\]]*\]', "", code).lower()
    has_date = bool(re.search(r"[yd]", stripped)) or ("m" in stripped and "h" not in stripped
                                                     and "s" not in stripped)
    has_time = bool(re.search(r"[hs]", stripped))
    if has_date and has_time:
        return "datetime"
    if has_date:
        return "date"
    if has_time:
        return "time"
    return None


class Sheet:
    def __init__(self, name):
        self.name = name
        self.rows = []
        self.truncated = False
        self.total_rows = 0
        self.total_cols = 0

    def put(self, r, c, text):
        if text == "" or r < 0 or c < 0:
            return
        self.total_rows = max(self.total_rows, r + 1)
        self.total_cols = max(self.total_cols, c + 1)
        if r >= MAX_GRID_ROWS or c >= MAX_GRID_COLS:
            self.truncated = True
            return
        while len(self.rows) <= r:
            self.rows.append([])
        row = self.rows[r]
        while len(row) <= c:
            row.append("")
        row[c] = text

    def as_json(self, budget=MAX_GRID_CELLS):
        """The sheet as rows of equal width, cut to at most `budget` cells."""
        width = max((len(r) for r in self.rows), default=0)
        keep = len(self.rows)
        if width and keep * width > budget:
            keep = budget // width
            self.truncated = True
        rows = [r + [""] * (width - len(r)) for r in self.rows[:keep]]
        return {"name": self.name, "rows": rows, "truncated": self.truncated,
                "total_rows": self.total_rows, "total_cols": self.total_cols}


def cells_in(sheet_json):
    rows = sheet_json["rows"]
    return len(rows) * (len(rows[0]) if rows else 0)


def xlsx_grid(path):
    z = open_zip(path, "Excel")
    wb_data = read_member(z, "xl/workbook.xml")
    if wb_data is None:
        raise Failure("This file is not an Excel workbook (it has no xl/workbook.xml).")
    wb = parse_xml(wb_data, "workbook")
    pr = wb.find(S_NS + "workbookPr")
    date1904 = pr is not None and pr.get("date1904") in ("1", "true")
    sheets = []
    for s in wb.iter(S_NS + "sheet"):
        sheets.append((s.get("name", "Sheet"), s.get(DOC_REL, ""), s.get("state", "visible")))
    rels = {}
    rel_data = read_member(z, "xl/_rels/workbook.xml.rels")
    if rel_data is not None:
        for rel in parse_xml(rel_data, "relationships").iter(PKG_REL + "Relationship"):
            rels[rel.get("Id")] = rel.get("Target", "")
    shared = []
    ss = read_member(z, "xl/sharedStrings.xml")
    if ss is not None:
        for si in parse_xml(ss, "shared strings").iter(S_NS + "si"):
            shared.append(rich_text(si))
    formats = xlsx_formats(z)
    result = []
    budget = MAX_GRID_CELLS
    for k, (name, rid, state) in enumerate(sheets):
        target = rels.get(rid)
        if target:
            member = target[1:] if target.startswith("/") else \
                os.path.normpath("xl/" + target).replace(os.sep, "/")
        else:
            member = "xl/worksheets/sheet%d.xml" % (k + 1)
        if member not in z.namelist():
            continue
        sheet = Sheet(name)
        if budget > 0:
            read_xlsx_sheet(z, member, sheet, shared, formats, date1904)
        else:
            sheet.truncated = True  # the earlier sheets used up what the page can show
        entry = sheet.as_json(budget)
        budget -= cells_in(entry)
        if state != "visible":
            entry["hidden"] = True
        result.append(entry)
    return result


def rich_text(el):
    """The text of a shared or inline string: its runs, without phonetic guides."""
    parts = []
    for child in el:
        if child.tag == S_NS + "t":
            parts.append(child.text or "")
        elif child.tag == S_NS + "r":
            t = child.find(S_NS + "t")
            if t is not None:
                parts.append(t.text or "")
    return "".join(parts)


def xlsx_formats(z):
    """Cell style index -> "date" / "datetime" / "time" / "percent" / None."""
    data = read_member(z, "xl/styles.xml")
    if data is None:
        return []
    root = parse_xml(data, "styles")
    custom = {}
    numfmts = root.find(S_NS + "numFmts")
    if numfmts is not None:
        for f in numfmts.iter(S_NS + "numFmt"):
            try:
                custom[int(f.get("numFmtId"))] = f.get("formatCode", "")
            except (TypeError, ValueError):
                pass
    kinds = []
    xfs = root.find(S_NS + "cellXfs")
    if xfs is None:
        return kinds
    for xf in xfs.iter(S_NS + "xf"):
        try:
            fid = int(xf.get("numFmtId", "0"))
        except ValueError:
            fid = 0
        if fid in custom:
            code = custom[fid]
            kind = date_kind(code)
            if kind is None and code.rstrip().endswith("%"):
                kind = "percent"
        elif fid in BUILTIN_DATE_FORMATS:
            kind = "time" if fid in (18, 19, 20, 21, 45, 46, 47) else \
                "datetime" if fid == 22 else "date"
        elif fid in BUILTIN_PERCENT:
            kind = "percent"
        else:
            kind = None
        kinds.append(kind)
    return kinds


def read_xlsx_sheet(z, member, sheet, shared, formats, date1904):
    C, V, IS, ROW = S_NS + "c", S_NS + "v", S_NS + "is", S_NS + "row"
    with z.open(member) as f:
        r = -1
        col = -1
        for event, el in ET.iterparse(f, events=("start", "end")):
            if event == "start":
                if el.tag == ROW:
                    try:
                        r = int(el.get("r")) - 1
                    except (TypeError, ValueError):
                        r += 1
                    col = -1
                    if r >= MAX_GRID_ROWS:
                        sheet.truncated = True
                        break
                continue
            if el.tag == C:
                ref = el.get("r")
                col = col_index(ref) if ref else col + 1
                t = el.get("t", "n")
                v = el.find(V)
                raw = v.text if v is not None and v.text is not None else None
                text = ""
                if t == "s":
                    try:
                        text = shared[int(raw)]
                    except (TypeError, ValueError, IndexError):
                        text = ""
                elif t == "inlineStr":
                    inline = el.find(IS)
                    text = rich_text(inline) if inline is not None else ""
                elif raw is None:
                    text = ""
                elif t == "b":
                    text = "TRUE" if raw.strip() in ("1", "true") else "FALSE"
                elif t in ("str", "e"):
                    text = raw
                else:
                    try:
                        kind = formats[int(el.get("s", "0"))]
                    except (ValueError, IndexError):
                        kind = None
                    if kind in ("date", "datetime", "time"):
                        text = excel_date(raw, date1904, kind)
                    elif kind == "percent":
                        try:
                            text = format_number(repr(float(raw) * 100)) + "%"
                        except ValueError:
                            text = raw
                    else:
                        text = format_number(raw)
                sheet.put(r if r >= 0 else 0, col, text)
                el.clear()
            elif el.tag == ROW:
                el.clear()
    dim_total(z, member, sheet)


def dim_total(z, member, sheet):
    """When a sheet was cut short, its <dimension> tells how large it really is."""
    if not sheet.truncated:
        return
    with z.open(member) as f:
        head = f.read(4096).decode("utf-8", "replace")
    m = re.search(r'<(?:\w+:)?dimension ref="[A-Z]+\d+:([A-Z]+)(\d+)"', head)
    if m:
        sheet.total_rows = max(sheet.total_rows, int(m.group(2)))
        sheet.total_cols = max(sheet.total_cols, col_index(m.group(1)) + 1)


def ods_grid(path):
    z = open_zip(path, "OpenDocument")
    data = read_member(z, "content.xml")
    if data is None:
        raise Failure("This file is not an OpenDocument spreadsheet (it has no content.xml).")
    root = parse_xml(data, "content")
    result = []
    budget = MAX_GRID_CELLS
    for table in root.iter(TABLE_NS + "table"):
        sheet = Sheet(table.get(TABLE_NS + "name", "Sheet"))
        r = 0
        for row in table.iter(TABLE_NS + "table-row"):
            rrep = repeat(row, "number-rows-repeated")
            cells = []
            c = 0
            for cell in row:
                if cell.tag not in (TABLE_NS + "table-cell", TABLE_NS + "covered-table-cell"):
                    continue
                crep = repeat(cell, "number-columns-repeated")
                text = ods_cell_text(cell)
                if text:
                    for k in range(min(crep, MAX_GRID_COLS + 1)):
                        cells.append((c + k, text))
                c += crep
            if cells:
                for k in range(min(rrep, MAX_GRID_ROWS + 1)):
                    for cc, text in cells:
                        sheet.put(r + k, cc, text)
            r += rrep
            if r > MAX_GRID_ROWS and sheet.truncated:
                break
        entry = sheet.as_json(max(budget, 0))
        budget -= cells_in(entry)
        result.append(entry)
    return result


def repeat(el, attr):
    try:
        return max(1, int(el.get(TABLE_NS + attr, "1")))
    except ValueError:
        return 1


def ods_cell_text(cell):
    kind = cell.get(OFFICE_NS + "value-type")
    paras = []
    for p in cell.iter(TEXT_NS + "p"):
        paras.append("".join(p.itertext()))
    shown = "\n".join(paras)
    if shown:
        return shown
    if kind in ("float", "currency"):
        return format_number(cell.get(OFFICE_NS + "value", ""))
    if kind == "percentage":
        try:
            return format_number(repr(float(cell.get(OFFICE_NS + "value", "")) * 100)) + "%"
        except ValueError:
            return ""
    if kind == "date":
        return cell.get(OFFICE_NS + "date-value", "")
    if kind == "boolean":
        return "TRUE" if cell.get(OFFICE_NS + "boolean-value") == "true" else "FALSE"
    return ""


def delimited_grid(path):
    with open(path, "rb") as f:
        data = f.read()
    text = decode_text(data)
    kind = ext_of(path)
    sample = text[:65536]
    first_line = sample.split("\n", 1)[0]
    if kind in ("tsv", "tab") and "\t" in first_line:
        delimiter = "\t"
    else:
        delimiter = "\t" if kind in ("tsv", "tab") else ","
        try:
            delimiter = csv.Sniffer().sniff(sample, delimiters=",;\t|").delimiter
        except csv.Error:
            pass
    sheet = Sheet(os.path.basename(path))
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=delimiter)
    try:
        for r, row in enumerate(reader):
            if r >= MAX_GRID_ROWS:
                sheet.truncated = True
                sheet.total_rows = r + 1 + sum(1 for _ in reader)
                break
            for c, value in enumerate(row):
                sheet.put(r, c, value)
    except csv.Error as e:
        raise Failure("This file is not valid delimited text (%s)." % e)
    entry = sheet.as_json()
    entry["delimiter"] = delimiter
    return [entry]


class _TableReader(html.parser.HTMLParser):
    """The rows of the tables of an HTML page: text of each th/td, one list per tr."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables = []
        self.cell = None

    def handle_starttag(self, tag, attrs):
        if tag == "table":
            self.tables.append([])
        elif tag == "tr" and self.tables:
            self.tables[-1].append([])
        elif tag in ("td", "th") and self.tables and self.tables[-1]:
            self.cell = []
        elif tag == "br" and self.cell is not None:
            self.cell.append("\n")

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.tables[-1][-1].append("".join(self.cell).strip())
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(re.sub(r"[ \t\r\n]+", " ", data))


def html_table_grid(path):
    """Sheets from an HTML file with tables, or None when it is not one."""
    with open(path, "rb") as f:
        data = f.read()
    head = data[:2048].lstrip().lower()
    if not (head.startswith(b"<") and b"<table" in data[:1 << 20].lower()):
        return None
    reader = _TableReader()
    reader.feed(decode_text(data))
    sheets = []
    for k, rows in enumerate(t for t in reader.tables if t):
        sheet = Sheet("Table %d" % (k + 1))
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                sheet.put(r, c, value)
        sheets.append(sheet.as_json())
    return sheets or None


def grid(path):
    kind = ext_of(path)
    answer = {"path": path, "name": os.path.basename(path), "kind": kind,
              "limits": {"rows": MAX_GRID_ROWS, "cols": MAX_GRID_COLS, "cells": MAX_GRID_CELLS}}
    try:
        if not os.path.isfile(path):
            raise Failure("The file is not there any more.")
        if kind == "xls":
            if is_ole(path):
                raise Failure("Legacy Excel workbooks (.xls) cannot be read yet. Save it as "
                              ".xlsx or .csv from a spreadsheet program to open it here.")
            if zipfile.is_zipfile(path):
                sheets = xlsx_grid(path)
            else:
                # Many programs export HTML tables or tab-separated text under .xls.
                sheets = html_table_grid(path)
                if sheets is None:
                    with open(path, "rb") as f:
                        if b"\x00" in f.read(4096):
                            raise Failure("This .xls file is not in a format that can be read. "
                                          "Save it as .xlsx or .csv to open it here.")
                    sheets = delimited_grid(path)
        elif kind == "numbers":
            raise Failure("Apple Numbers files cannot be read on this system. Export it as "
                          ".xlsx or .csv from Numbers to open it here.")
        elif kind in ("xlsx", "xlsm"):
            sheets = xlsx_grid(path)
        elif kind == "ods":
            sheets = ods_grid(path)
        elif kind in ("csv", "tsv", "tab", "txt"):
            sheets = delimited_grid(path)
        else:
            raise Failure("Files of type .%s cannot be shown as a table." % (kind or "?"))
    except Failure as e:
        answer["error"] = str(e)
        return answer
    answer["sheets"] = sheets
    answer["truncated"] = any(s["truncated"] for s in sheets)
    return answer


# ---- page list ---------------------------------------------------------------------------

def page_sizes(pdf):
    """[(width, height)] in points for each page, rotation applied."""
    tool = mutool()
    try:
        run = subprocess.run([tool, "pages", pdf], capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        raise Failure("Reading the page list took too long.")
    sizes = []
    box = None
    for line in run.stdout.decode("utf-8", "replace").splitlines():
        m = re.search(r'<MediaBox l="([-\d.]+)" b="([-\d.]+)" r="([-\d.]+)" t="([-\d.]+)"', line)
        if m:
            l, b, r, t = (float(x) for x in m.groups())
            box = (abs(r - l), abs(t - b))
        m = re.search(r'<CropBox l="([-\d.]+)" b="([-\d.]+)" r="([-\d.]+)" t="([-\d.]+)"', line)
        if m and box:
            l, b, r, t = (float(x) for x in m.groups())
            box = (abs(r - l), abs(t - b))
        m = re.search(r'<Rotate v="(-?\d+)"', line)
        if m and box and int(m.group(1)) % 180:
            box = (box[1], box[0])
        if line.startswith("</page>") and box:
            sizes.append(box)
            box = None
    if not sizes:
        msg = run.stderr.decode("utf-8", "replace").strip().splitlines()
        raise Failure("The PDF could not be read%s." % (": " + msg[-1] if msg else ""))
    return sizes


def render_pages(path):
    answer = {"path": path, "pages": [], "needs_converter": False}
    kind = ext_of(path)
    try:
        if kind == "pdf":
            pdf = path
        elif kind in CONVERTIBLE:
            pdf = to_pdf(path)
            answer["pdf"] = pdf
        else:
            answer["needs_converter"] = True
            answer["error"] = "Documents of type .%s cannot be shown as pages." % (kind or "?")
            return answer
        width = PAGE_IMAGE_WIDTH
        quoted = urllib.parse.quote(pdf, safe="")
        for i, (w, h) in enumerate(page_sizes(pdf)):
            answer["pages"].append({
                "index": i,
                "img": "vtpage://page?p=%s&i=%d&w=%d" % (quoted, i, width),
                "w": width,
                "h": int(round(width * h / w)) if w else width,
                "pt": [round(w, 2), round(h, 2)],
            })
    except Failure as e:
        answer["error"] = str(e)
        if kind != "pdf" and "mutool" in str(e):
            answer["needs_converter"] = True
    return answer


# ---- entry -------------------------------------------------------------------------------

def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    flag, src, out = argv[1], argv[2], argv[3]
    try:
        if flag == "--to-pdf":
            result = run_to_pdf(src)
        elif flag == "--edit-probe":
            result = edit_probe(src)
        elif flag == "--grid-json":
            result = grid(src)
        elif flag == "--render-pages":
            result = render_pages(src)
        else:
            sys.stderr.write("triage_gen: unknown flag %s\n" % flag)
            return 2
    except Exception as e:  # a reader bug must still answer, never leave the host waiting
        message = "The document could not be read (%s: %s)." % (type(e).__name__, e)
        result = {"path": src, "error": message}
        if flag == "--to-pdf":
            result["pdf"] = ""
        elif flag == "--render-pages":
            result.update({"pages": [], "needs_converter": False})
        elif flag == "--edit-probe":
            result.update({"editable": False, "why": [NO_EDITOR, message]})
    write_json(out, result)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
