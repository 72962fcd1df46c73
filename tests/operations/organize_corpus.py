#!/usr/bin/python3
"""Writes a folder of 40 made-up documents for the organiser's tests: contracts, invoices,
bank statements, letters and scans (with a few receipts, court filings and tax forms), as
PDF, Word, OpenDocument, RTF, HTML and text files, with dates in their names and contents in
several formats. Names are a mix of telling and opaque ones. Prints {name: kind} as JSON.

  organize_corpus.py DIR [SEED]
"""
import json
import os
import random
import sys
import zipfile
import zlib

COMPANIES = ["Acme Supply Co.", "Northwind Traders LLC", "Blue Harbor Logistics Inc.",
             "Granite Peak Consulting", "Orion Office Furniture Ltd.", "Meadowbrook Dental Group",
             "Cobalt Software Corporation", "Riverside Printing Company"]
PEOPLE = ["Maria Lopez", "James Whitaker", "Priya Natarajan", "Tom Becker", "Aisha Bello",
          "Henrik Olsen", "Claire Dubois", "Samuel Osei"]
BANKS = ["First Lakeside Bank", "Pioneer Savings Bank", "Summit Credit Union", "Harborview National Bank"]
MONTHS = ["January", "February", "March", "April", "May", "June", "July", "August",
          "September", "October", "November", "December"]


def fmt_date(rng, y, m, d):
    style = rng.choice(["iso", "long", "us"])
    if style == "iso":
        return "%04d-%02d-%02d" % (y, m, d)
    if style == "long":
        return "%s %d, %d" % (MONTHS[m - 1], d, y)
    return "%02d/%02d/%04d" % (m, d, y)


def rand_date(rng):
    return rng.choice([2022, 2023, 2024]), rng.randint(1, 12), rng.randint(1, 28)


# ---- document bodies ------------------------------------------------------------------------

def contract(rng, when):
    a, b = rng.sample(COMPANIES, 2)
    kind = rng.choice(["Services Agreement", "Non-Disclosure Agreement", "Consulting Agreement",
                       "Lease Agreement", "Supply Contract"])
    return [kind.upper(), "",
            "This %s (the \"Agreement\") is entered into as of %s" % (kind, fmt_date(rng, *when)),
            "by and between %s (\"Provider\") and %s (\"Client\")." % (a, b), "",
            "1. Term. The term of this Agreement begins on the Effective Date and continues",
            "for twelve (12) months unless terminated earlier as provided herein.",
            "2. Payment. Client shall pay the fees set out in Schedule A within thirty days.",
            "3. Confidentiality. Each party shall keep the other party's confidential",
            "information secret and use it only to perform this Agreement.",
            "4. Termination. Either party may terminate this Agreement on sixty days notice.",
            "5. Governing Law. This Agreement is governed by the laws of the State of Oregon.",
            "",
            "IN WITNESS WHEREOF, the parties have signed this Agreement on the date above.",
            "", a, "By: ______________________", "", b, "By: ______________________"]


def invoice(rng, when):
    vendor, client = rng.sample(COMPANIES, 2)
    number = rng.randint(1000, 9999)
    lines = [vendor, "%d Market Street, Suite %d" % (rng.randint(10, 999), rng.randint(1, 40)), "",
             "INVOICE", "",
             "Invoice No: %d" % number,
             "Invoice Date: %s" % fmt_date(rng, *when),
             "Due Date: %s" % fmt_date(rng, when[0], min(12, when[1] + 1), when[2]), "",
             "Bill To:", client, ""]
    total = 0
    for item in rng.sample(["Consulting hours", "Office chairs", "Printer toner", "Freight",
                            "Software licence", "Maintenance visit"], 3):
        qty, price = rng.randint(1, 20), rng.randint(20, 400)
        total += qty * price
        lines.append("%-24s qty %3d   unit price %7.2f   %9.2f" % (item, qty, price, qty * price))
    lines += ["", "Subtotal: %.2f" % total, "Amount Due: %.2f" % total,
              "Payment terms: Net 30. Please remit payment to the account below."]
    return lines


def statement(rng, when):
    bank = rng.choice(BANKS)
    person = rng.choice(PEOPLE)
    y, m, _ = when
    last = 28
    lines = [bank, "Account Statement", "", person,
             "Account Number: XXXX-XXXX-%04d" % rng.randint(0, 9999),
             "Statement Period: %s to %s" % (fmt_date(rng, y, m, 1), fmt_date(rng, y, m, last)), "",
             "Beginning Balance        %10.2f" % rng.uniform(500, 9000)]
    for _ in range(6):
        lines.append("%02d/%02d  %-28s %9.2f" % (m, rng.randint(1, 28),
                     rng.choice(["Deposit - Payroll", "Withdrawal ATM", "Card purchase",
                                 "Transfer to savings", "Online payment"]), rng.uniform(5, 900)))
    lines += ["Total deposits           %10.2f" % rng.uniform(1000, 5000),
              "Total withdrawals        %10.2f" % rng.uniform(200, 3000),
              "Ending Balance           %10.2f" % rng.uniform(500, 9000)]
    return lines


def letter(rng, when):
    sender, recipient = rng.sample(PEOPLE, 2)
    topic = rng.choice(["our meeting last week", "the renovation of the office",
                        "your recent request for references", "the change of address",
                        "the schedule for the spring workshop"])
    return [sender, "%d Elm Avenue" % rng.randint(1, 300), "", fmt_date(rng, *when), "",
            recipient, "", "Dear %s," % recipient.split()[0], "",
            "I am writing to follow up on %s. Thank you for taking the time to" % topic,
            "discuss it with me. I have attached the notes we spoke about, and I would",
            "be glad to answer any questions you may have.", "",
            "Please do not hesitate to contact me if anything is unclear.", "",
            rng.choice(["Sincerely,", "Kind regards,", "Yours truly,"]), "", sender]


def receipt(rng, when):
    store = rng.choice(["Corner Hardware Store", "Greenleaf Market", "City Books"])
    return [store, "SALES RECEIPT", fmt_date(rng, *when), "",
            "Hammer            12.99", "Nails (box)        4.50", "Tape               3.25",
            "TOTAL PAID        20.74", "VISA ending 4421", "", "Thank you for your purchase!"]


def filing(rng, when):
    p, d = rng.sample(PEOPLE, 2)
    return ["UNITED STATES DISTRICT COURT", "DISTRICT OF OREGON", "",
            "%s, Plaintiff," % p.upper(), "v.", "%s, Defendant." % d.upper(), "",
            "Case No. 3:%02d-cv-%05d" % (when[0] % 100, rng.randint(100, 99999)), "",
            "DEFENDANT'S MOTION TO DISMISS", "",
            "Defendant hereby moves the Court to dismiss the complaint for lack of",
            "jurisdiction. This motion is supported by the memorandum below.", "",
            "Dated: %s" % fmt_date(rng, *when), "Attorney for Defendant"]


def taxform(rng, when):
    employer = rng.choice(COMPANIES)
    return ["Form W-2 Wage and Tax Statement", "Tax Year %d" % when[0],
            "Department of the Treasury - Internal Revenue Service", "",
            "Employer name: %s" % employer, "Employee: %s" % rng.choice(PEOPLE),
            "1 Wages, tips, other compensation   %.2f" % rng.uniform(30000, 90000),
            "2 Federal income tax withheld       %.2f" % rng.uniform(3000, 9000)]


# ---- file formats -----------------------------------------------------------------------------

def pdf_bytes(pages):
    """A PDF with one page per entry: a list of text lines, or None for a scanned image."""
    objs = []

    def add(body):
        objs.append(body)
        return len(objs)

    font = add(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    page_ids = []
    pages_id = len(objs) + 1 + 2 * len(pages) + sum(1 for p in pages if p is None)
    for content in pages:
        resources = b"/Font << /F1 %d 0 R >>" % font
        if content is None:
            w, h = 170, 220
            rng = random.Random(w * h)
            raw = bytes(200 + rng.randint(0, 55) if rng.random() > 0.08 else rng.randint(0, 80) for _ in range(w * h))
            data = zlib.compress(raw)
            img = add(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                      b"/BitsPerComponent 8 /Filter /FlateDecode /Length %d >>\nstream\n" % (w, h, len(data))
                      + data + b"\nendstream")
            resources = b"/XObject << /Im1 %d 0 R >>" % img
            stream = b"q 612 0 0 792 0 0 cm /Im1 Do Q"
        else:
            ops = [b"BT /F1 11 Tf 14 TL 64 740 Td"]
            for line in content:
                esc = line.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
                ops.append(b"(" + esc.encode("latin-1", "replace") + b") '")
            ops.append(b"ET")
            stream = b"\n".join(ops)
        cid = add(b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream")
        page_ids.append(add(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Resources << %s >> "
                            b"/Contents %d 0 R >>" % (pages_id, resources, cid)))
    assert add(b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(b"%d 0 R" % i for i in page_ids), len(page_ids))) == pages_id
    catalog = add(b"<< /Type /Catalog /Pages %d 0 R >>" % pages_id)
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for i, body in enumerate(objs, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    out += b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, catalog, xref)
    return bytes(out)


def xml_escape(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def docx_bytes(lines, path):
    body = "".join("<w:p><w:r><w:t xml:space=\"preserve\">%s</w:t></w:r></w:p>" % xml_escape(l) for l in lines)
    doc = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
           '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
           "<w:body>%s</w:body></w:document>" % body)
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("[Content_Types].xml", "<Types/>")
        z.writestr("word/document.xml", doc)


def odt_bytes(lines, path):
    body = "".join("<text:p>%s</text:p>" % xml_escape(l) for l in lines)
    doc = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
           'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
           'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">'
           "<office:body><office:text>%s</office:text></office:body></office:document-content>" % body)
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("mimetype", "application/vnd.oasis.opendocument.text")
        z.writestr("content.xml", doc)


def write(path, kind_lines, fmt):
    if fmt == "pdf":
        pages = [kind_lines] if kind_lines is not None else [None, None]
        with open(path, "wb") as f:
            f.write(pdf_bytes(pages))
    elif fmt == "docx":
        docx_bytes(kind_lines, path)
    elif fmt == "odt":
        odt_bytes(kind_lines, path)
    elif fmt == "rtf":
        body = "\\par\n".join(l.replace("\\", "\\\\").replace("{", "\\{").replace("}", "\\}") for l in kind_lines)
        with open(path, "w", encoding="ascii", errors="replace") as f:
            f.write("{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Helvetica;}}\n\\f0\\fs22 " + body + "\\par\n}")
    elif fmt == "html":
        with open(path, "w", encoding="utf-8") as f:
            f.write("<!DOCTYPE html><html><head><title>document</title><style>p{margin:0}</style></head><body>"
                    + "".join("<p>%s</p>" % xml_escape(l) for l in kind_lines) + "</body></html>")
    else:
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(kind_lines) + "\n")


# kind, how many, maker, file formats, name styles
PLAN = [
    ("contract", 8, contract, ["pdf", "pdf", "docx", "pdf", "odt", "pdf", "rtf", "pdf"]),
    ("invoice", 8, invoice, ["pdf", "pdf", "pdf", "html", "pdf", "docx", "pdf", "txt"]),
    ("statement", 7, statement, ["pdf", "pdf", "pdf", "pdf", "txt", "pdf", "pdf"]),
    ("letter", 7, letter, ["docx", "pdf", "txt", "pdf", "rtf", "md", "pdf"]),
    ("scan", 5, None, ["pdf"] * 5),
    ("receipt", 2, receipt, ["pdf", "txt"]),
    ("filing", 2, filing, ["pdf", "pdf"]),
    ("tax", 1, taxform, ["pdf"]),
]


def file_name(rng, kind, n, when, fmt):
    y, m, d = when
    telling = {
        "contract": ["Contract %s" % rng.choice(["Northwind", "final", "signed"]), "agreement_v%d" % n],
        "invoice": ["Invoice %d" % rng.randint(100, 999), "inv_%04d%02d%02d" % (y, m, d)],
        "statement": ["statement_%04d_%02d" % (y, m), "Bank Statement %s %d" % (MONTHS[m - 1], y)],
        "letter": ["Letter to %s" % rng.choice(PEOPLE).split()[1], "letter_%d" % n],
        "scan": ["Scan %04d-%02d-%02d" % (y, m, d), "IMG_%04d%02d%02d_%02d%02d" % (y, m, d, n, n + 7),
                 "scan%04d" % (n + 11)],
        "receipt": ["receipt_%d" % n],
        "filing": ["Motion to Dismiss %d" % n],
        "tax": ["W-2 %d" % y],
    }[kind]
    opaque = ["document_%d" % rng.randint(10, 9999), "Document (%d)" % n, "download (%d)" % rng.randint(1, 9),
              "%s%04d" % (rng.choice(["doc", "file", "untitled"]), rng.randint(1, 9999)),
              "%04d%02d%02d_%d" % (y, m, d, rng.randint(100, 999))]
    base = rng.choice(telling) if kind == "scan" or rng.random() < 0.5 else rng.choice(opaque)
    return base + "." + fmt


def main(argv):
    if len(argv) < 1:
        print(__doc__, file=sys.stderr)
        return 2
    folder = argv[0]
    rng = random.Random(int(argv[1]) if len(argv) > 1 else 7)
    os.makedirs(folder, exist_ok=True)
    expected = {}
    for kind, count, maker, fmts in PLAN:
        for n in range(count):
            when = rand_date(rng)
            fmt = fmts[n % len(fmts)]
            name = file_name(rng, kind, n + 1, when, fmt)
            while name in expected:
                name = "x" + name
            lines = maker(rng, when) if maker else None
            write(os.path.join(folder, name), lines, fmt)
            expected[name] = kind
    print(json.dumps(expected, indent=1, sort_keys=True))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
