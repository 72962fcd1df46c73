#!/usr/bin/python3
"""The folder organiser: reads the documents directly inside one folder, tells their kind and
date, and proposes sub-folders by kind (by year too where a kind has many documents) and
clearer names. It works offline with the Python standard library; text comes from `cvl text`
(the same extraction as the search index), found through CVL_CLI, else on PATH.

  plan  --folder DIR       print the plan (a JSON object; see make_plan)
  apply --plan FILE        perform the items of an approved plan (the plan with the unticked
                           items removed) and print {"ok", "manifest", "moved", "failed", ...}
  undo  --manifest FILE    put back every path the manifest records; a second undo changes
                           nothing

Progress goes to standard error, one line each, such as "· Reading 3/12 files".
Nothing is ever overwritten: every new path is made free first, and the rename that puts a
file there refuses to replace. Apply writes each step to its manifest (one JSON object per
line, flushed to disk) before doing it, so that an apply cut short can still be undone.
Manifests live in ~/Library/Application Support/Corvello/Organize/.

Test hook: CVL_ORGANIZE_STEP_DELAY_MS pauses after each step of apply.
"""
import calendar
import concurrent.futures
import ctypes
import datetime
import errno
import html.parser
import json
import os
import re
import shutil
import subprocess
import sys
import time
import uuid
import zipfile

EXTENSIONS = {"pdf", "doc", "docx", "rtf", "txt", "md", "markdown", "odt", "html", "htm"}
CVL_TYPES = {"pdf", "doc", "docx", "rtf", "txt", "md", "markdown"}
TEXT_LIMIT = 40000
YEAR_SPLIT = 8          # a kind with this many dated documents over several years gets years
NAME_LIMIT = 110        # characters of a proposed name, extension excluded

# kind -> (folder, label for names)
KINDS = {
    "contract": ("Contracts", "Contract"),
    "invoice": ("Invoices", "Invoice"),
    "receipt": ("Receipts", "Receipt"),
    "statement": ("Bank Statements", "Bank Statement"),
    "letter": ("Letters", "Letter"),
    "filing": ("Court Filings", "Court Filing"),
    "tax": ("Tax Forms", "Tax Form"),
    "scan": ("Scans", "Scan"),
    "other": (None, None),
}

# Evidence for each kind: (pattern, weight). Patterns are matched on lower-cased text.
CUES = {
    "contract": [
        (r"\bthis (?:\w+ ){0,3}agreement\b", 5), (r"\bagreement\b", 3), (r"\bcontract\b", 3),
        (r"\bin witness whereof\b", 5), (r"\bwhereas\b", 3), (r"\bthe parties\b", 3),
        (r"\bhereinafter\b", 2), (r"\bgoverning law\b", 3), (r"\beffective date\b", 2),
        (r"\btermination\b", 1), (r"\bindemnif", 2), (r"\bconfidential information\b", 2),
        (r"\bnon-disclosure\b", 3), (r"\blease\b", 2), (r"\blandlord\b", 2), (r"\btenant\b", 2),
        (r"\bmemorandum of understanding\b", 4), (r"\bterms and conditions\b", 1),
        (r"\bshall\b", 1), (r"\bsigned by\b", 1),
    ],
    "invoice": [
        (r"\binvoice\b", 4), (r"\binvoice (?:no|number|#|date)", 5), (r"\bbill(?:ed)? to\b", 3),
        (r"\bamount due\b", 4), (r"\bbalance due\b", 4), (r"\bdue date\b", 2),
        (r"\bpayment terms\b", 2), (r"\bnet (?:15|30|45|60)\b", 2), (r"\bsubtotal\b", 2),
        (r"\bunit price\b", 2), (r"\bqty\b", 1), (r"\bremit\b", 2), (r"\bplease pay\b", 2),
    ],
    "receipt": [
        (r"\breceipt\b", 5), (r"\bthank you for your (?:purchase|order|payment)\b", 3),
        (r"\bpayment received\b", 3), (r"\bcashier\b", 3), (r"\bchange due\b", 3),
        (r"\b(?:card|visa|mastercard|amex) (?:ending|no)\b", 2), (r"\btotal paid\b", 3),
        (r"\bamount paid\b", 3), (r"\btransaction (?:id|no)\b", 1), (r"\bstore #?\d", 2),
        (r"\border confirmation\b", 4), (r"\bthanks for (?:shopping|your order)\b", 3),
        (r"\btotal charged\b", 3), (r"\border (?:date|number|no|#)", 2),
    ],
    "statement": [
        (r"\bbank statement\b", 6), (r"\baccount statement\b", 5), (r"\bstatement period\b", 5),
        (r"\b(?:opening|beginning|previous) balance\b", 4),
        (r"\b(?:closing|ending|new) balance\b", 4), (r"\bstatement\b", 2),
        (r"\baccount (?:number|no)\b", 2), (r"\bdeposits?\b", 2), (r"\bwithdrawals?\b", 2),
        (r"\bavailable balance\b", 2), (r"\brouting\b", 2), (r"\b(?:checking|savings)\b", 1),
        (r"\bbank\b", 1), (r"\bcredit union\b", 2),
    ],
    "letter": [
        (r"(?:^|\n)\s*dear\b", 5), (r"\bsincerely\b", 5),
        (r"\b(?:yours truly|yours faithfully|best regards|kind regards|warm regards)\b", 4),
        (r"(?:^|\n)\s*re:", 1), (r"\bletter\b", 2), (r"(?:^|\n)\s*(?:cc|enc|encl)[:.]", 1),
        (r"\bi am writing\b", 3), (r"\bplease do not hesitate\b", 2),
        (r"(?:^|\n)\s*(?:hello|hi|dear)\s+[^\n,]{1,40},[ \t]*\n", 3),
        (r"\n\s*(?:best|cheers|thanks|thank you|warmly|all the best)[,!]?[ \t]*\n\s*[a-z][^\n]{1,40}\s*$", 4),
    ],
    "filing": [
        (r"\bcourt\b", 3), (r"\bplaintiffs?\b", 4), (r"\bdefendants?\b", 4),
        (r"\b(?:case|docket|index) (?:no|number)\b", 4), (r"\bcivil action\b", 4),
        (r"\bmotion\b", 3), (r"\bcomplaint\b", 2), (r"\bpetition(?:er)?\b", 2),
        (r"\b\w+ v\. \w+", 2), (r"\bhonorable\b", 2), (r"\bhereby moves\b", 3),
        (r"\bcertificate of service\b", 4), (r"\battorneys? for\b", 3), (r"\bsubpoena\b", 3),
        (r"\baffidavit\b", 3), (r"\bso ordered\b", 3), (r"\bjurisdiction\b", 2),
        (r"\bdistrict court\b", 5), (r"\bsuperior court\b", 5),
    ],
    "tax": [
        (r"\bform w-?2\b", 6), (r"\bw-?9\b", 4), (r"\b1099(?:-[a-z]+)?\b", 5), (r"\b1040\b", 5),
        (r"\binternal revenue service\b", 5), (r"\birs\b", 3), (r"\btaxpayer\b", 3),
        (r"\btax year\b", 4), (r"\btax return\b", 4), (r"\bemployer identification\b", 3),
        (r"\bwithh(?:olding|eld)\b", 3), (r"\bwages, tips\b", 4), (r"\bschedule [a-e]\b", 2),
        (r"\bdepartment of the treasury\b", 4), (r"\btax\b", 2), (r"\bvat return\b", 4),
        (r"\bsocial security\b", 2),
    ],
}

# Words in a file name that say the kind outright.
NAME_CUES = {
    "contract": r"\b(?:contract|agreement|nda|lease|mou|addendum|amendment)\b",
    "invoice": r"\b(?:invoice|inv)\b",
    "receipt": r"\b(?:receipt|rcpt)\b",
    "statement": r"\b(?:statement|stmt|bank)\b",
    "letter": r"\b(?:letter|ltr|correspondence)\b",
    "filing": r"\b(?:motion|complaint|petition|filing|affidavit|subpoena|brief|order)\b",
    "tax": r"\b(?:w-?2|w-?9|1099(?:-[a-z]+)?|1040|tax|taxes)\b",
    "scan": r"\b(?:scan|scanned|img|image|photo)\b",
}

# A title in the first short lines of the document weighs more.
HEAD_CUES = {
    "contract": r"\b(?:agreement|contract|lease|memorandum of understanding)\b",
    "invoice": r"\binvoice\b",
    "receipt": r"\breceipt\b",
    "statement": r"\b(?:bank statement|account statement|statement of account)\b",
    "filing": r"\b(?:united states district court|superior court|court of|in the matter of|motion to|complaint for)\b",
    "tax": r"\b(?:form w-?2|form 1099|form 1040|form w-?9|tax return)\b",
}

PRIORITY = ["filing", "tax", "statement", "invoice", "receipt", "contract", "letter"]

MONTHS = {m.lower(): i for i, m in enumerate(calendar.month_name) if m}
MONTHS.update({m.lower(): i for i, m in enumerate(calendar.month_abbr) if m})
MONTHS["sept"] = 9
MONTH_RE = "|".join(sorted(MONTHS, key=len, reverse=True))

DATE_PATTERNS = [
    # 2024-03-03, 2024/03/03, 2024.03.03, 2024_03_03
    ("ymd", re.compile(r"(?<!\d)((?:19|20)\d\d)[-/._](\d{1,2})[-/._](\d{1,2})(?!\d)")),
    # March 3, 2024 / Mar. 3rd 2024
    ("mdy_name", re.compile(r"\b(" + MONTH_RE + r")\.?\s+(\d{1,2})(?:st|nd|rd|th)?,?\s+((?:19|20)\d\d)\b", re.I)),
    # 3 March 2024 / 3rd of March, 2024
    ("dmy_name", re.compile(r"\b(\d{1,2})(?:st|nd|rd|th)?\s+(?:of\s+)?(" + MONTH_RE + r")\.?,?\s+((?:19|20)\d\d)\b", re.I)),
    # 03/03/2024 (month first unless the first number cannot be a month); 03.03.2024 day first
    ("numeric", re.compile(r"(?<![\d/.])(\d{1,2})([/.-])(\d{1,2})\2((?:19|20)\d\d|\d\d)(?![\d/])")),
]
NAME_ONLY_PATTERNS = [
    # 20240303 in names such as scan_20240303.pdf
    ("compact", re.compile(r"(?<!\d)((?:19|20)\d\d)(\d\d)(\d\d)(?!\d)")),
]

GOOD_LABELS = re.compile(r"\b(?:invoice date|statement date|date of issue|issue date|issued|dated|date|as of|effective date|closing date|period ending|filed|signed)\b", re.I)
BAD_LABELS = re.compile(r"\b(?:due|birth|born|expir\w*|valid until|deadline|payable by|hearing)\b", re.I)
PERIOD = re.compile(r"\b(?:statement period|period|for the period)\b[^\n]{0,60}?\b(?:to|through|thru|-|–)\s*([^\n]{6,30})", re.I)

COMPANY_SUFFIX = re.compile(r",?\s+(?:inc|llc|l\.l\.c|pty ltd|pty|ltd|limited|corp|corporation|co|company|gmbh|plc|llp|lp|s\.a|n\.a|pllc)\.?$", re.I)
ORG_WORDS = re.compile(r"\b(?:inc|llc|ltd|pty|limited|corp|corporation|company|co|gmbh|plc|llp|bank|credit union|services|group|partners|associates|holdings|industries|solutions|supply|store|market)\b\.?", re.I)


def progress(text):
    sys.stderr.write("\u00b7 " + text + "\n")
    sys.stderr.flush()


def answer(obj):
    # ASCII escapes keep names that are not valid UTF-8 intact on their way back.
    sys.stdout.write(json.dumps(obj) + "\n")
    sys.stdout.flush()


def now_iso():
    return datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


# ---- reading text --------------------------------------------------------------------------

def cvl_program():
    given = os.environ.get("CVL_CLI", "")
    if given and (os.path.isabs(given) and os.access(given, os.X_OK)):
        return given
    return shutil.which(given or "cvl") or shutil.which("cvl")


def text_from_cvl(path):
    program = cvl_program()
    if not program:
        return None
    try:
        run = subprocess.run([program, "text", path], capture_output=True, timeout=180)
    except (OSError, subprocess.SubprocessError):
        return None
    try:
        doc = json.loads(run.stdout.decode("utf-8", "replace"))
    except ValueError:
        return None
    if not isinstance(doc, dict) or "chunks" not in doc:
        return None
    parts, size = [], 0
    for chunk in doc.get("chunks") or []:
        t = str(chunk.get("text") or "")
        parts.append(t)
        size += len(t)
        if size > TEXT_LIMIT:
            break
    return "\n".join(parts)


class _TextOfHtml(html.parser.HTMLParser):
    BLOCKS = {"p", "div", "br", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6", "title", "td"}

    def __init__(self):
        super().__init__()
        self.parts, self.skip = [], 0

    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style"):
            self.skip += 1
        elif tag in self.BLOCKS:
            self.parts.append("\n")

    def handle_endtag(self, tag):
        if tag in ("script", "style") and self.skip:
            self.skip -= 1
        elif tag in self.BLOCKS:
            self.parts.append("\n")

    def handle_data(self, data):
        if not self.skip:
            self.parts.append(data)


def xml_text(xml, para_tags):
    xml = re.sub(r"<(?:%s)\b[^>]*/>" % para_tags, "\n", xml)
    xml = re.sub(r"</(?:%s)>" % para_tags, "\n", xml)
    text = re.sub(r"<[^>]+>", "", xml)
    return html.unescape(text)


def text_by_hand(path, ext):
    """Text for the kinds cvl does not read (OpenDocument, HTML), and a fallback for plain
    text and Word files when cvl is not at hand."""
    try:
        if ext in ("html", "htm"):
            with open(path, "rb") as f:
                raw = f.read(2_000_000).decode("utf-8", "replace")
            p = _TextOfHtml()
            p.feed(raw)
            return "".join(p.parts)
        if ext in ("odt", "docx"):
            member = "content.xml" if ext == "odt" else "word/document.xml"
            tags = "text:p|text:h|text:line-break" if ext == "odt" else "w:p|w:br"
            with zipfile.ZipFile(path) as z:
                xml = z.read(member)[:4_000_000].decode("utf-8", "replace")
            return xml_text(xml, tags)
        if ext in ("txt", "md", "markdown"):
            with open(path, "rb") as f:
                return f.read(TEXT_LIMIT * 4).decode("utf-8", "replace")
        if ext == "rtf":
            with open(path, "rb") as f:
                raw = f.read(TEXT_LIMIT * 4).decode("latin-1", "replace")
            raw = re.sub(r"\\par[d]?\b", "\n", raw)
            raw = re.sub(r"\\'[0-9a-f]{2}|\\[a-z]+-?\d* ?|[{}]", "", raw)
            return raw
    except (OSError, zipfile.BadZipFile, KeyError, ValueError):
        return None
    return None


def read_text(path):
    ext = os.path.splitext(path)[1].lower().lstrip(".")
    text = text_from_cvl(path) if ext in CVL_TYPES else None
    if text is None:
        text = text_by_hand(path, ext)
    return (text or "")[:TEXT_LIMIT]


# ---- what a document is ----------------------------------------------------------------------

def name_words(name):
    stem = os.path.splitext(name)[0]
    stem = re.sub(r"([a-z])([A-Z])", r"\1 \2", stem)
    return re.sub(r"[_\-.+()\[\]]+", " ", stem).lower()


def classify(name, text):
    """The kind of a document, the evidence for it and a confidence between 0 and 1."""
    low = text.lower()
    letters = sum(1 for c in text if c.isalpha())
    words = name_words(name)
    scores = {k: 0.0 for k in CUES}
    for kind, cues in CUES.items():
        for pattern, weight in cues:
            n = len(re.findall(pattern, low))
            if n:
                scores[kind] += weight * min(n, 3) ** 0.5
    head = "\n".join([l for l in lines_of(low[:2000]) if len(l) < 80][:4])
    for kind, pattern in HEAD_CUES.items():
        if re.search(pattern, head):
            scores[kind] += 6
    name_kind = None
    for kind, pattern in NAME_CUES.items():
        if re.search(pattern, words):
            if kind in scores:
                scores[kind] += 7
            name_kind = name_kind or kind
    ext = os.path.splitext(name)[1].lower()
    if letters < 25:
        # Nothing to read: a scan (or an empty file), unless the name says what it is.
        if name_kind and name_kind != "scan":
            return name_kind, "no text; the name says " + KINDS[name_kind][1].lower(), 0.6
        if ext == ".pdf" or name_kind == "scan":
            return "scan", "no text layer", 0.9
        return "other", "no text", 0.3
    ranked = sorted(scores.items(), key=lambda kv: (-kv[1], PRIORITY.index(kv[0])))
    (best, top), (_, second) = ranked[0], ranked[1]
    if top < 5:
        return "other", "no clear kind", 0.3
    confidence = round(top / (top + second), 2) if top + second else 0.5
    return best, "reads like " + ("an " if best in ("invoice",) else "a ") + KINDS[best][1].lower(), confidence


def valid_date(y, m, d):
    try:
        dt = datetime.date(int(y), int(m), int(d))
    except ValueError:
        return None
    if not 1950 <= dt.year <= datetime.date.today().year + 2:
        return None
    return dt


def dates_in(text, name_only=False):
    """Every date in the text, as (position, date)."""
    found = []
    patterns = DATE_PATTERNS + (NAME_ONLY_PATTERNS if name_only else [])
    for kind, pattern in patterns:
        for m in pattern.finditer(text):
            g = m.groups()
            if kind in ("ymd", "compact"):
                dt = valid_date(g[0], g[1], g[2])
            elif kind == "mdy_name":
                dt = valid_date(g[2], MONTHS[g[0].lower().rstrip(".")], g[1])
            elif kind == "dmy_name":
                dt = valid_date(g[2], MONTHS[g[1].lower().rstrip(".")], g[0])
            else:
                a, sep, b, y = int(g[0]), g[1], int(g[2]), g[3]
                year = int(y) if len(y) == 4 else 2000 + int(y)
                if sep == "." or a > 12:
                    dt = valid_date(year, b, a)
                else:
                    dt = valid_date(year, a, b)
            if dt:
                found.append((m.start(), m.end(), dt))
    found.sort(key=lambda t: t[0])
    return found


def document_date(name, text, kind):
    """The date that names the document: a labelled date in the text (an invoice date, the
    end of a statement period), else the first date in the text, else one in the name."""
    if kind == "statement":
        m = PERIOD.search(text)
        if m:
            ends = dates_in(m.group(1))
            if ends:
                return ends[0][2], "statement period"
    found = dates_in(text)
    best, best_score = None, None
    for start, end, dt in found:
        line_start = text.rfind("\n", 0, start) + 1
        before = text[max(line_start, start - 40):start]
        score = start / 1000.0
        if GOOD_LABELS.search(before):
            score -= 100
        if BAD_LABELS.search(before):
            score += 1000
        if best_score is None or score < best_score:
            best, best_score = dt, score
    if best is not None and best_score < 1000:
        return best, "content"
    in_name = dates_in(name_words(name).replace(" ", "-") + " " + os.path.splitext(name)[0], name_only=True)
    if in_name:
        return in_name[0][2], "name"
    if best is not None:
        return best, "content"
    return None, None


# ---- who and what, for names -----------------------------------------------------------------

def clean_party(text, words=4):
    text = re.sub(r"\s+", " ", text or "").strip(" ,.;:-\u2013\"'()")
    text = COMPANY_SUFFIX.sub("", text)
    text = re.sub(r"^(?:the)\s+", "", text, flags=re.I)
    parts = text.split()[:words]
    out = " ".join(parts).strip(" ,.;:-")
    if not out or len(out) < 2 or not re.search(r"[A-Za-z]", out):
        return ""
    if out.isupper() and len(out) > 4:
        out = out.title() if not ORG_WORDS.search(out) else out
    return out


def lines_of(text):
    return [l.strip() for l in text.splitlines() if l.strip()]


def first_org_line(lines, skip=()):
    """The first of the top lines that names an organisation, without trailing numbers."""
    for l in lines[:12]:
        low = l.lower()
        if any(w in low for w in skip):
            continue
        part = re.split(r"\s{2,}|\t|\s+(?:abn|acn|vat|ein|tax id|tel|phone)\b", l, flags=re.I)[0].strip()
        # Text readers may join the name with the address: keep what comes before a number.
        digits = re.search(r"\d", part)
        head = part[:digits.start()] if digits else part
        ends = [m.end() for m in ORG_WORDS.finditer(head)]
        if ends and ends[-1] < 70:
            return head[:ends[-1]].strip()
    return ""


def value_after(text, label_pattern):
    """What follows "Label:" on its line, or on the next line when the label ends its line."""
    m = re.search(label_pattern + r"\s*:[ \t]*([^\n]*)(?:\n\s*([^\n]+))?", text, re.I)
    if not m:
        return ""
    return (m.group(1).strip() or (m.group(2) or "").strip())


def number_after(text, label_pattern, bare=False):
    """A reference such as "No. 1042" after the label ("Invoice 1042" too when `bare`)."""
    marker = r"\s*(?:no\.?|number|num\.?|#)\s*[:#.]?\s*" if not bare else r"\s*(?:no\.?|number|num\.?|#)?\s*[:#.]?\s*"
    for m in re.finditer(label_pattern + marker + r"([A-Z]{0,4}-?\d[\w\-:/]{0,20})", text, re.I):
        ref = m.group(1).strip(":-/")
        if dates_in(ref) or not re.search(r"\d", ref):
            continue
        return re.sub(r"[:/]+", "-", ref)
    return ""


def surname_or_org(party):
    """People by their surname, as case captions name them; organisations whole."""
    if not party or ORG_WORDS.search(party):
        return party
    parts = party.split()
    return parts[-1] if len(parts) >= 2 else party


def describe(kind, text, name):
    """The words after the date in a proposed name: the label and what identifies it."""
    lines = lines_of(text[:6000])
    label = KINDS[kind][1]
    extra = []
    if kind == "invoice":
        vendor = value_after(text, r"\b(?:from|vendor|seller|bill from)\b") or first_org_line(lines, ("bill to", "invoice"))
        extra = [clean_party(vendor, 3), number_after(text, r"\binvoice\b", bare=True)]
    elif kind == "receipt":
        shop = re.search(r"\b(?:shopping|shop|ordering) (?:with|at) ([A-Z][\w&' .-]{1,40}?)[!.,\n]", text)
        top = [l for l in lines[:2] if not re.search(r"receipt|order|confirmation|invoice|\d{3,}", l, re.I)]
        merchant = (value_after(text, r"\b(?:merchant|store|sold by)\b") or (shop.group(1) if shop else "")
                    or first_org_line(lines, ("receipt",)) or (top[0] if top else ""))
        extra = [clean_party(merchant, 3), number_after(text, r"\b(?:receipt|order|transaction)\b")]
    elif kind == "statement":
        bank = first_org_line([l for l in lines if re.search(r"\bbank|credit union|financial\b", l, re.I)] + lines, ("statement period",))
        acct = re.search(r"\baccount(?:\s+(?:number|no\.?|#))?\s*[:#]?\s*[X*x•\d\- ]*?(\d{4})\b", text, re.I)
        extra = [clean_party(bank, 3), acct.group(1) if acct else ""]
    elif kind == "contract":
        title = re.search(r"\b((?:[A-Z][A-Za-z\-]+ ){0,3}(?:Agreement|Contract|Lease|Addendum|Amendment))\b", text[:800])
        if title and title.group(1).split()[0].lower() not in ("this", "the", "an", "a"):
            label = title.group(1).strip()
        elif title:
            label = title.group(1).split(None, 1)[-1] if len(title.group(1).split()) > 1 else title.group(1)
        between = re.search(r"\bbetween\s+(.{2,80}?)\s*(?:\(|,|\band\b)\s*(?:.{0,80}?\band\s+)?(.{2,80}?)\s*(?:\(|,|\.|\n)", text[:3000], re.I | re.S)
        if between:
            a, b = clean_party(between.group(1), 3), clean_party(between.group(2), 3)
            extra = [a + (" and " + b if b and b.lower() != a.lower() else "")]
    elif kind == "letter":
        closing = re.search(r"(?:\b(?:sincerely|regards|yours truly|yours faithfully)\b[^\n]*|(?:^|\n)\s*(?:best|cheers|thanks|warmly|all the best)[,!]?[ \t]*)\n+\s*([A-Z][^\n]{2,40})", text, re.I)
        dear = re.search(r"(?:^|\n)\s*dear\s+([^\n,:]{2,40})", text, re.I)
        if closing:
            extra = ["from " + clean_party(closing.group(1), 3)]
        elif dear:
            extra = ["to " + clean_party(dear.group(1), 3)]
    elif kind == "filing":
        kindword = re.search(r"\b((?:motion|petition|complaint|affidavit|subpoena|order|brief|notice|memorandum)(?: (?:to|for|of|in) [a-z]+(?: (?!the\b|a\b|an\b|this\b|and\b|of\b|for\b)[a-z]+)?)?)\b", text[:2000], re.I)
        if kindword:
            label = kindword.group(1).strip().title().replace(" To ", " to ").replace(" For ", " for ").replace(" Of ", " of ").replace(" In ", " in ")
        caption = re.search(r"([A-Z][A-Za-z.&' ]{1,40}?),?\s*(?i:et al\.?,?\s*)?(?i:plaintiffs?|petitioners?)?,?[ \t]*\n?\s*(?i:vs?)\.[ \t]*\n?\s*([A-Z][A-Za-z.&' ]{1,40}?)\s*(?:,|\n|\s{2})", text[:3000])
        case = number_after(text, r"\b(?:case|docket|index)\b")
        parties = ""
        if caption:
            a = surname_or_org(clean_party(caption.group(1), 4))
            b = surname_or_org(clean_party(caption.group(2), 4))
            parties = a + " v " + b if a and b else ""
        extra = [parties, case]
    elif kind == "tax":
        form = re.search(r"\b(w-?2|w-?9|1099(?:-[a-z]+)?|1040(?:-[a-z]+)?)\b", text[:3000] + " " + name, re.I)
        if form:
            f = form.group(1).upper()
            f = re.sub(r"^W(\d)", r"W-\1", f)
            label = "Form " + f
        employer = value_after(text, r"\b(?:employer(?:'s)? name|payer(?:'s)? name|employer|payer)\b")
        extra = [clean_party(employer, 3)]
    return label, [e for e in extra if e]


def tax_year(text, name):
    m = re.search(r"\b(?:tax year|for (?:the )?(?:calendar )?year)\s*[:]?\s*((?:19|20)\d\d)\b", text, re.I)
    if m:
        return m.group(1)
    m = re.search(r"\b((?:19|20)\d\d)\b", name)
    return m.group(1) if m else None


def safe_name(text):
    text = re.sub(r"[/\\:*?\"<>|\x00-\x1f]+", " ", text)
    text = re.sub(r"\s+", " ", text).strip(" .")
    if len(text) > NAME_LIMIT:
        text = text[:NAME_LIMIT].rsplit(" ", 1)[0].strip(" .")
    return text


def proposed_name(doc):
    """A clearer name ("2024-03-03 Invoice ACME 1042.pdf"), or None to keep the current one."""
    kind, name, text = doc["kind"], doc["name"], doc["text"]
    stem, ext = os.path.splitext(name)
    if kind in ("other", "scan"):
        return None
    label, extra = describe(kind, text, name)
    when = doc["date"]
    if kind == "tax" and not when:
        year = tax_year(text, name)
        when = year
    if not when and not extra:
        return None
    words = ([when] if when else []) + [label] + extra
    new_stem = safe_name(" ".join(words))
    if not new_stem or new_stem == stem:
        return None
    return new_stem + ext


# ---- the plan ---------------------------------------------------------------------------------

def organizable(folder):
    try:
        names = os.listdir(folder)
    except OSError:
        return []
    out = []
    for n in names:
        if n.startswith("."):
            continue
        if os.path.splitext(n)[1].lower().lstrip(".") in EXTENSIONS and os.path.isfile(os.path.join(folder, n)):
            out.append(n)
    return sorted(out)


def split_name(name):
    stem, ext = os.path.splitext(name)
    if not stem:
        return name, ""
    return stem, ext


class FreeNames:
    """Names already taken in each folder: what is on disk and what the plan uses. Compared
    without case, so that a plan stays safe on a file system that ignores case."""

    def __init__(self, root):
        self.root = root
        self.taken = {}

    def _names(self, rel):
        if rel not in self.taken:
            try:
                self.taken[rel] = {n.lower() for n in os.listdir(os.path.join(self.root, rel))}
            except OSError:
                self.taken[rel] = set()
        return self.taken[rel]

    def claim(self, rel, name):
        names = self._names(rel)
        stem, ext = split_name(name)
        candidate, n = name, 2
        while candidate.lower() in names:
            candidate = "%s %d%s" % (stem, n, ext)
            n += 1
        names.add(candidate.lower())
        return candidate

    def release(self, rel, name):
        self._names(rel).discard(name.lower())


def folder_for(root, label, free):
    """The folder for a label: the existing folder of that name, else a free new name."""
    path = os.path.join(root, label)
    if os.path.isdir(path) and not os.path.islink(path):
        return label, False
    if not os.path.lexists(path):
        free.claim("", label)
        return label, True
    return free.claim("", label), True


def make_plan(folder):
    folder = os.path.abspath(folder)
    names = organizable(folder)
    total = len(names)
    progress("Reading 0/%d files" % total)
    docs = [None] * total

    def read(i):
        path = os.path.join(folder, names[i])
        try:
            return i, read_text(path), os.stat(path)
        except Exception:  # gone or unreadable: planned without text, or left out
            try:
                return i, "", os.stat(path)
            except OSError:
                return i, None, None

    done = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=min(4, os.cpu_count() or 2)) as pool:
        for i, text, st in pool.map(read, range(total)):
            done += 1
            progress("Reading %d/%d files" % (done, total))
            if st is None:
                continue
            kind, why, confidence = classify(names[i], text)
            dt, source = document_date(names[i], text, kind)
            docs[i] = {"name": names[i], "text": text, "kind": kind, "why": why,
                       "confidence": confidence, "date": dt.isoformat() if dt else None,
                       "date_source": source, "size": st.st_size, "mtime": st.st_mtime}
    progress("Planning %d/%d files" % (total, total))
    docs = [d for d in docs if d]

    by_kind = {}
    for d in docs:
        by_kind.setdefault(d["kind"], []).append(d)
    free = FreeNames(folder)
    # The documents keep their current names in the folder until they move.
    free._names("")
    folders, items, kept = [], [], []
    for kind in [k for k in KINDS if k in by_kind]:
        group = by_kind[kind]
        label = KINDS[kind][0]
        if label is None:
            for d in group:
                kept.append({"name": d["name"], "kind": kind, "why": d["why"]})
            continue
        base, new = folder_for(folder, label, free)
        folders.append({"path": base, "new": new, "kind": kind})
        years = {d["date"][:4] for d in group if d["date"]}
        by_year = sum(1 for d in group if d["date"]) >= YEAR_SPLIT and len(years) > 1
        made_years = set()
        for d in group:
            rel = base
            if by_year and d["date"]:
                rel = os.path.join(base, d["date"][:4])
                if rel not in made_years:
                    made_years.add(rel)
                    exists = os.path.isdir(os.path.join(folder, rel))
                    folders.append({"path": rel, "new": not exists, "kind": kind})
            new_name = proposed_name(d) or d["name"]
            target = free.claim(rel, new_name)
            items.append({
                "id": len(items) + 1, "from": d["name"], "to": os.path.join(rel, target),
                "folder": rel, "name": target, "renamed": target != d["name"],
                "kind": kind, "label": KINDS[kind][1], "date": d["date"],
                "date_source": d["date_source"], "why": d["why"], "confidence": d["confidence"],
                "size": d["size"], "mtime": d["mtime"],
            })
    counts = {}
    for d in docs:
        counts[d["kind"]] = counts.get(d["kind"], 0) + 1
    return {"plan": 1, "folder": folder, "created": now_iso(), "files": total,
            "items": items, "folders": folders, "kept": kept, "counts": counts}


# ---- moving without replacing -----------------------------------------------------------------

_AT_FDCWD = -100
_RENAME_NOREPLACE = 1
try:
    _libc = ctypes.CDLL(None, use_errno=True)
    _renameat2 = getattr(_libc, "renameat2", None)
except OSError:
    _renameat2 = None


def move_no_replace(src, dst):
    """rename(2) that fails with FileExistsError instead of replacing `dst`."""
    if _renameat2 is not None:
        if _renameat2(_AT_FDCWD, os.fsencode(src), _AT_FDCWD, os.fsencode(dst), _RENAME_NOREPLACE) == 0:
            return
        e = ctypes.get_errno()
        if e not in (errno.EINVAL, errno.ENOSYS, errno.ENOTSUP):
            raise OSError(e, os.strerror(e), dst)
    if not os.path.isdir(src) or os.path.islink(src):
        try:
            os.link(src, dst, follow_symlinks=False)
            os.unlink(src)
            return
        except OSError as x:
            if x.errno in (errno.EEXIST, errno.ENOENT, errno.EXDEV):
                raise
    if os.path.lexists(dst):
        raise FileExistsError(errno.EEXIST, os.strerror(errno.EEXIST), dst)
    os.rename(src, dst)


def inside(root, rel):
    """The absolute path of `rel` under `root`, or None when it would leave it."""
    if not isinstance(rel, str) or not rel or rel.startswith("/") or "\x00" in rel:
        return None
    parts = rel.split("/")
    if any(p in ("", ".", "..") for p in parts):
        return None
    return os.path.join(root, *parts)


# ---- the manifest -----------------------------------------------------------------------------

def manifest_dir():
    return os.path.join(os.path.expanduser("~"), "Library", "Application Support", "Corvello", "Organize")


class Journal:
    """Append-only JSON lines, each flushed to disk before the step it announces."""

    def __init__(self, path):
        self.path = path
        self.fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_APPEND | os.O_CLOEXEC, 0o600)

    def write(self, record):
        data = (json.dumps(record) + "\n").encode("ascii")
        os.write(self.fd, data)
        os.fsync(self.fd)

    def close(self):
        os.close(self.fd)


def read_journal(path):
    records = []
    with open(path, "rb") as f:
        for raw in f:
            try:
                rec = json.loads(raw.decode("utf-8"))
            except ValueError:
                continue  # a line cut short by a crash
            if isinstance(rec, dict):
                records.append(rec)
    return records


def step_pause():
    try:
        ms = int(os.environ.get("CVL_ORGANIZE_STEP_DELAY_MS", "0"))
    except ValueError:
        ms = 0
    if ms > 0:
        time.sleep(ms / 1000.0)


def apply_plan(plan_path):
    try:
        with open(plan_path, encoding="utf-8") as f:
            plan = json.load(f)
    except (OSError, ValueError) as e:
        return {"error": "The approved plan could not be read: %s" % e}
    if not isinstance(plan, dict) or not isinstance(plan.get("items"), list):
        return {"error": "The approved plan is not a plan."}
    folder = plan.get("folder")
    if not isinstance(folder, str) or not os.path.isabs(folder) or not os.path.isdir(folder):
        return {"error": "The folder of the plan is not there any more."}
    items = [i for i in plan["items"] if isinstance(i, dict)]
    if not items:
        return {"error": "Nothing was approved, so nothing was changed."}

    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    manifest = os.path.join(manifest_dir(), "%s-%s.jsonl" % (stamp, uuid.uuid4().hex[:8]))
    try:
        os.makedirs(manifest_dir(), exist_ok=True)
        journal = Journal(manifest)
        journal.write({"manifest": 1, "folder": folder, "created": now_iso(), "items": len(items)})
    except OSError as e:
        return {"error": "Nothing was changed: the change log could not be written (%s)." % e.strerror}
    progress("Logging every change to " + manifest)

    moved, failed, created = [], [], []
    free = FreeNames(folder)
    for n, item in enumerate(items, 1):
        src = inside(folder, item.get("from"))
        dst = inside(folder, item.get("to"))
        progress("Moving %d/%d: %s" % (n, len(items), item.get("from")))

        def fail(why):
            failed.append({"from": item.get("from"), "to": item.get("to"), "error": why})

        if not src or not dst or "/" in item.get("from", "/"):
            fail("This item of the plan is not inside the folder.")
            continue
        try:
            st = os.lstat(src)
        except OSError:
            fail("It is no longer in the folder.")
            continue
        if not os.path.isfile(src) or os.path.islink(src):
            fail("It is not a plain file any more.")
            continue
        if "size" in item and item["size"] != st.st_size:
            fail("It changed after the plan was made.")
            continue
        # Folders on the way, each announced before it is made.
        rel_dir = os.path.dirname(item["to"])
        ok, walked = True, ""
        for part in [p for p in rel_dir.split("/") if p]:
            walked = part if not walked else walked + "/" + part
            path = os.path.join(folder, walked)
            if os.path.isdir(path) and not os.path.islink(path):
                continue
            if os.path.lexists(path):
                fail("“%s” is in the way of a new folder." % walked)
                ok = False
                break
            journal.write({"op": "mkdir", "path": walked})
            try:
                os.mkdir(path)
                created.append(walked)
            except OSError as e:
                fail("The folder “%s” could not be made: %s" % (walked, e.strerror))
                ok = False
                break
        if not ok:
            continue
        # The approved name, or the next free one when something took it since the plan.
        target_name = free.claim(rel_dir, os.path.basename(item["to"]))
        target_rel = os.path.join(rel_dir, target_name) if rel_dir else target_name
        target = os.path.join(folder, target_rel)
        record = {"op": "move", "from": item["from"], "to": target_rel,
                  "dev": st.st_dev, "ino": st.st_ino, "size": st.st_size}
        journal.write(record)
        try:
            move_no_replace(src, target)
        except OSError as e:
            free.release(rel_dir, target_name)
            fail(e.strerror or str(e))
            continue
        moved.append({"from": item["from"], "to": target_rel})
        step_pause()
    journal.write({"op": "applied", "at": now_iso(), "moved": len(moved), "failed": len(failed)})
    journal.close()
    progress("Done %d/%d" % (len(items), len(items)))
    return {"ok": True, "manifest": manifest, "folder": folder, "moved": moved,
            "failed": failed, "created": created,
            "renamed": sum(1 for m in moved if os.path.basename(m["from"]) != os.path.basename(m["to"]))}


def undo_manifest(manifest):
    try:
        records = read_journal(manifest)
    except OSError as e:
        return {"error": "The change log could not be read: %s" % e.strerror}
    head = records[0] if records and records[0].get("manifest") == 1 else None
    if head is None or not isinstance(head.get("folder"), str):
        return {"error": "That file is not an organiser change log."}
    folder = head["folder"]
    if any(r.get("op") == "undone" for r in records):
        return {"ok": True, "manifest": manifest, "folder": folder, "already": True,
                "restored": [], "removed": [], "kept": [], "failed": []}
    restored, failed, removed, kept = [], [], [], []
    moves = [r for r in records if r.get("op") == "move"]
    for n, r in enumerate(reversed(moves), 1):
        progress("Restoring %d/%d" % (n, len(moves)))
        src, dst = inside(folder, r.get("from")), inside(folder, r.get("to"))
        if not src or not dst:
            failed.append({"from": r.get("to"), "to": r.get("from"), "error": "not inside the folder"})
            continue
        try:
            now = os.lstat(dst)
        except OSError:
            if not os.path.lexists(src):
                failed.append({"from": r["to"], "to": r["from"], "error": "It is no longer where it was put."})
            continue  # never moved, or already back
        same = (now.st_dev, now.st_ino) == (r.get("dev"), r.get("ino"))
        if not same:
            failed.append({"from": r["to"], "to": r["from"], "error": "Another file is there now."})
            continue
        if os.path.lexists(src):
            there = os.lstat(src)
            if (there.st_dev, there.st_ino) == (now.st_dev, now.st_ino):
                os.unlink(dst)  # a move cut short between its link and its unlink
                restored.append({"from": r["to"], "to": r["from"]})
            else:
                failed.append({"from": r["to"], "to": r["from"], "error": "Another file has its old name now."})
            continue
        try:
            move_no_replace(dst, src)
            restored.append({"from": r["to"], "to": r["from"]})
        except OSError as e:
            failed.append({"from": r["to"], "to": r["from"], "error": e.strerror or str(e)})
    for r in reversed([r for r in records if r.get("op") == "mkdir"]):
        path = inside(folder, r.get("path"))
        if not path or not os.path.isdir(path) or os.path.islink(path):
            continue
        try:
            os.rmdir(path)
            removed.append(r["path"])
        except OSError:
            kept.append(r["path"])  # something else was put in it since
    if not failed:
        try:
            journal = Journal(manifest)
            journal.write({"op": "undone", "at": now_iso(), "restored": len(restored)})
            journal.close()
        except OSError:
            pass
    return {"ok": not failed, "manifest": manifest, "folder": folder, "already": False,
            "restored": restored, "removed": removed, "kept": kept, "failed": failed}


# ---- entry -------------------------------------------------------------------------------------

def main(argv):
    if len(argv) != 3 or argv[1] not in ("--folder", "--plan", "--manifest"):
        answer({"error": "usage: corvello_organize.py plan --folder DIR | apply --plan FILE | undo --manifest FILE"})
        return 2
    step, flag, value = argv
    expected = {"plan": "--folder", "apply": "--plan", "undo": "--manifest"}
    if expected.get(step) != flag:
        answer({"error": "unknown step %s %s" % (step, flag)})
        return 2
    if step == "plan":
        if not os.path.isdir(value):
            answer({"error": "That folder could not be opened."})
            return 1
        plan = make_plan(value)
        answer(plan)
        return 0
    result = apply_plan(value) if step == "apply" else undo_manifest(value)
    answer(result)
    return 0 if "error" not in result else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
