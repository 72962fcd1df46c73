#!/usr/bin/python3
"""Word-level comparison of documents.

Used three ways:
  corvello_diff.py --multi-diff IN OUT
      IN is a JSON object {"paths": [...], "meta": bool, "pairs": [[i, j], ...]} (pairs are
      optional: without them each draft is compared with the next). OUT receives
      {"drafts": [...], "diffs": {"i-j": {...}}}.
  corvello_diff.py --word-diff A B
      prints the comparison of two documents as JSON.
  review_page.py --mode compare A B
      imports write_compare_page() and writes the side-by-side page.

Text comes from the host's companion (`$CVL_CLI text FILE`, the text the search index
reads); plain text files are read directly and PDFs fall back to pdftotext.
"""
import difflib
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

WORD = re.compile(r"\S+")
CONTEXT_LINES = 2          # unchanged lines kept around each change on the page
MAX_SEGMENTS = 20000       # segments kept in one JSON diff
PLAIN = {".txt", ".text", ".md", ".markdown", ".log", ".csv"}


# ---- text of a document ------------------------------------------------------------------

def _companion():
    cli = os.environ.get("CVL_CLI") or shutil.which("cvl")
    if cli and os.path.isfile(cli) and os.access(cli, os.X_OK):
        return cli
    here = os.path.dirname(os.path.abspath(__file__))
    for guess in (os.path.join(here, "..", "..", "build", "cvl"), "/usr/bin/cvl"):
        if os.path.isfile(guess) and os.access(guess, os.X_OK):
            return guess
    return None


def document_lines(path):
    """The document's text as a list of lines, or raises ValueError with a message."""
    if not os.path.isfile(path):
        raise ValueError("There is no file at " + path + ".")
    ext = os.path.splitext(path)[1].lower()
    if ext in PLAIN:
        with open(path, "rb") as f:
            data = f.read()
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            text = data.decode("latin-1")
        return text.splitlines()
    cli = _companion()
    if cli:
        try:
            out = subprocess.run([cli, "text", path], capture_output=True, timeout=600)
            doc = json.loads(out.stdout.decode("utf-8", "replace") or "{}")
        except (OSError, ValueError, subprocess.SubprocessError):
            doc = {}
        if isinstance(doc, dict) and isinstance(doc.get("chunks"), list):
            lines = []
            for c in doc["chunks"]:
                lines.extend(str(c.get("text", "")).splitlines())
            return lines
        if isinstance(doc, dict) and doc.get("error"):
            raise ValueError(str(doc["error"]))
    if ext == ".pdf" and shutil.which("pdftotext"):
        out = subprocess.run(["pdftotext", "-layout", "-enc", "UTF-8", path, "-"],
                             capture_output=True, timeout=600)
        if out.returncode == 0:
            return out.stdout.decode("utf-8", "replace").splitlines()
    raise ValueError("The text of " + os.path.basename(path) + " could not be read.")


# ---- the comparison ----------------------------------------------------------------------

def _norm(line):
    return " ".join(WORD.findall(line))


def _tokens(lines):
    """The words of the lines, with a line break token between lines (kept on the page)."""
    out = []
    for k, line in enumerate(lines):
        if k:
            out.append("\n")
        out.extend(WORD.findall(line))
    return out


def _join(tokens):
    return " ".join(tokens).replace(" \n ", "\n").replace("\n ", "\n").replace(" \n", "\n")


def _count(tokens):
    return sum(1 for t in tokens if t != "\n")


def word_diff(old_words, new_words):
    """Segments [("same"|"add"|"del", [words])] turning old_words into new_words."""
    # Very long runs let the matcher skip the most frequent words, which keeps it fast.
    sm = difflib.SequenceMatcher(None, old_words, new_words,
                                 autojunk=len(new_words) > 20000)
    out = []
    for tag, i1, i2, j1, j2 in sm.get_opcodes():
        if tag == "equal":
            out.append(("same", old_words[i1:i2]))
        else:
            if i2 > i1:
                out.append(("del", old_words[i1:i2]))
            if j2 > j1:
                out.append(("add", new_words[j1:j2]))
    return out


def compare_lines(old_lines, new_lines):
    """Blocks of the comparison, in order. Lines are matched first (white space within a line
    does not count), then the words of each changed run of lines:
      ("same", old_lines, new_lines) or ("change", segments)."""
    a = [_norm(l) for l in old_lines]
    b = [_norm(l) for l in new_lines]
    sm = difflib.SequenceMatcher(None, a, b, autojunk=False)
    blocks = []
    for tag, i1, i2, j1, j2 in sm.get_opcodes():
        if tag == "equal":
            blocks.append(("same", a[i1:i2], b[j1:j2]))
        else:
            blocks.append(("change", word_diff(_tokens(a[i1:i2]), _tokens(b[j1:j2]))))
    return blocks


def summary(blocks):
    same = added = removed = 0
    for block in blocks:
        if block[0] == "same":
            same += sum(len(WORD.findall(l)) for l in block[1])
            continue
        for op, words in block[1]:
            if op == "same":
                same += _count(words)
            elif op == "add":
                added += _count(words)
            else:
                removed += _count(words)
    total = same * 2 + added + removed
    return {"same": same, "added": added, "removed": removed,
            "similarity": round(2.0 * same / total, 4) if total else 1.0}


def diff_json(blocks):
    """The comparison as JSON: counts and merged segments of words."""
    segments = []

    def push(op, text):
        if segments and segments[-1]["op"] == op:
            segments[-1]["text"] += " " + text
        else:
            segments.append({"op": op, "text": text})

    for block in blocks:
        if block[0] == "same":
            for line in block[2]:
                if line:
                    push("same", line)
        else:
            for op, words in block[1]:
                text = _join(words).strip("\n")
                if text:
                    push(op, text)
    out = summary(blocks)
    out["truncated"] = len(segments) > MAX_SEGMENTS
    out["segments"] = segments[:MAX_SEGMENTS]
    return out


# ---- draft timeline ------------------------------------------------------------------------

def draft_record(index, path, lines, meta, error=None):
    rec = {"index": index, "path": path, "name": os.path.basename(path)}
    if error:
        rec["error"] = error
    rec["words"] = sum(len(WORD.findall(l)) for l in lines)
    if meta:
        try:
            st = os.stat(path)
            rec["size"] = st.st_size
            rec["mtime"] = int(st.st_mtime)
        except OSError:
            pass
    return rec


def multi_diff(request):
    paths = [str(p) for p in request.get("paths") or [] if isinstance(p, str)]
    meta = bool(request.get("meta"))
    texts, drafts = [], []
    for i, p in enumerate(paths):
        try:
            lines = document_lines(p)
            err = None
        except ValueError as e:
            lines, err = [], str(e)
        texts.append(lines)
        drafts.append(draft_record(i, p, lines, meta, err))
    pairs = request.get("pairs")
    if not isinstance(pairs, list):
        pairs = [[i, i + 1] for i in range(len(paths) - 1)]
    diffs = {}
    for pair in pairs:
        if (not isinstance(pair, list) or len(pair) != 2
                or not all(isinstance(k, int) and 0 <= k < len(paths) for k in pair)):
            continue
        i, j = pair
        d = diff_json(compare_lines(texts[i], texts[j]))
        d["a"], d["b"] = i, j
        diffs["%d-%d" % (i, j)] = d
    return {"drafts": drafts, "diffs": diffs}


def write_atomic(path, text):
    """Writes the text through a temporary file in the same folder; nothing is left on failure."""
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix=".diff-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(tmp, path)
    except OSError:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise


# ---- the side-by-side page ---------------------------------------------------------------

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta name="color-scheme" content="light dark">
<title>__TITLE__</title>
<style>
:root{--bg:#f6f5f2;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.09);--accent:#2f6db3;--ins:rgba(46,160,67,.22);--del:rgba(218,54,51,.2);--cur:rgba(47,109,179,.5)}
@media (prefers-color-scheme: dark){:root{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.09);--accent:#6ea8e8;--ins:rgba(63,185,80,.28);--del:rgba(248,81,73,.28)}}
html,body{margin:0;background:var(--bg);color:var(--fg);font:14px/1.55 Inter,system-ui,Cantarell,"DejaVu Sans",sans-serif}
header{position:sticky;top:0;z-index:2;background:var(--bg);padding:16px 28px 10px;border-bottom:1px solid var(--line)}
h1{font-size:19px;margin:0;font-weight:650}
.sub{color:var(--dim);margin-top:2px}
.tools{display:flex;gap:10px;align-items:center;margin-top:10px}
button,a.btn{font:inherit;border:1px solid var(--line);background:var(--card);color:inherit;border-radius:7px;padding:3px 10px;cursor:pointer;text-decoration:none}
.cols{display:grid;grid-template-columns:1fr 1fr;gap:0 18px;padding:12px 28px 40px}
.head{font-weight:650;padding:6px 0;overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
.cell{background:var(--card);border:1px solid var(--line);padding:6px 12px;white-space:pre-wrap;word-wrap:break-word;min-height:1.2em}
.cell.same{color:var(--dim)}
.gap{grid-column:1/3;text-align:center;color:var(--dim);font-size:12px;padding:4px 0}
ins{background:var(--ins);text-decoration:none;border-radius:2px}
del{background:var(--del);text-decoration:line-through;border-radius:2px}
.change.cur{outline:2px solid var(--cur);outline-offset:-1px}
.error{padding:40px;text-align:center;color:var(--dim)}
</style></head><body>
<header>
  <h1>__TITLE__</h1>
  <div class="sub">__SUB__</div>
  <div class="tools"><button id="prevc" title="Previous difference (p)">&#x2039; Previous</button><button id="nextc" title="Next difference (n)">Next &#x203A;</button><span id="where" class="sub"></span>__VISUAL__</div>
</header>
<div class="cols">__BODY__</div>
<script>
var changes = [].slice.call(document.querySelectorAll('.change.left')), at = -1;
function show(i) {
  if (!changes.length) { document.getElementById('where').textContent = 'No differences.'; return; }
  at = (i + changes.length) % changes.length;
  document.querySelectorAll('.change.cur').forEach(function (n) { n.classList.remove('cur'); });
  var l = changes[at], r = l.nextElementSibling;
  l.classList.add('cur'); if (r) r.classList.add('cur');
  l.scrollIntoView({block: 'center'});
  document.getElementById('where').textContent = 'Difference ' + (at + 1) + ' of ' + changes.length;
}
document.getElementById('nextc').onclick = function () { show(at + 1); };
document.getElementById('prevc').onclick = function () { show(at - 1); };
document.addEventListener('keydown', function (e) {
  if (e.ctrlKey || e.metaKey || e.altKey) return;
  if (e.key === 'n') show(at + 1); else if (e.key === 'p') show(at - 1);
});
document.getElementById('where').textContent = changes.length ? changes.length + (changes.length === 1 ? ' difference' : ' differences') : 'No differences.';
</script></body></html>
"""


def _esc(text):
    return html.escape(text, quote=True)


def _cells(left, right, cls):
    return ('<div class="cell %s left">%s</div><div class="cell %s right">%s</div>'
            % (cls, left, cls, right))


def page_body(blocks):
    parts = []
    for k, block in enumerate(blocks):
        if block[0] == "same":
            old, new = block[1], block[2]
            first, last = k == 0, k == len(blocks) - 1
            keep_head = 0 if first else CONTEXT_LINES
            keep_tail = 0 if last else CONTEXT_LINES
            if len(old) <= keep_head + keep_tail + 1:
                parts.append(_cells(_esc("\n".join(old)), _esc("\n".join(new)), "same"))
                continue
            if keep_head:
                parts.append(_cells(_esc("\n".join(old[:keep_head])),
                                    _esc("\n".join(new[:keep_head])), "same"))
            hidden = len(old) - keep_head - keep_tail
            parts.append('<div class="gap">%d unchanged line%s</div>'
                         % (hidden, "" if hidden == 1 else "s"))
            if keep_tail:
                parts.append(_cells(_esc("\n".join(old[-keep_tail:])),
                                    _esc("\n".join(new[-keep_tail:])), "same"))
            continue
        left, right = [], []
        for op, words in block[1]:
            text = _esc(_join(words))
            if op == "same":
                left.append(text)
                right.append(text)
            elif op == "del":
                left.append("<del>" + text + "</del>")
            else:
                right.append("<ins>" + text + "</ins>")
        parts.append(_cells(_join(left), _join(right), "change"))
    return "".join(parts)


def compare_page(a, b):
    name_a, name_b = os.path.basename(a), os.path.basename(b)
    title = "Compare: %s \u2194 %s" % (name_a, name_b)
    visual = ""
    if a.lower().endswith(".pdf") and b.lower().endswith(".pdf"):
        from urllib.parse import quote
        visual = ('<a class="btn" href="qrtiz://comparego?a=%s&amp;b=%s&amp;visual=1">'
                  'Compare page images</a>' % (quote(a, safe=""), quote(b, safe="")))
    try:
        blocks = compare_lines(document_lines(a), document_lines(b))
    except ValueError as e:
        body = '<div class="error" style="grid-column:1/3">%s</div>' % _esc(str(e))
        sub = "The documents could not be compared."
    else:
        s = summary(blocks)
        sub = ("%d word%s added \u00b7 %d removed \u00b7 %d%% the same"
               % (s["added"], "" if s["added"] == 1 else "s", s["removed"],
                  round(s["similarity"] * 100)))
        body = ('<div class="head" title="%s">A \u00b7 %s</div><div class="head" title="%s">B \u00b7 %s</div>'
                % (_esc(a), _esc(name_a), _esc(b), _esc(name_b))) + page_body(blocks)
    return (PAGE.replace("__TITLE__", _esc(title)).replace("__SUB__", _esc(sub))
            .replace("__VISUAL__", visual).replace("__BODY__", body))


def write_compare_page(loading, a, b):
    """Writes the comparison page into the loading file; exit status."""
    page = compare_page(os.path.abspath(os.path.expanduser(a)),
                        os.path.abspath(os.path.expanduser(b)))
    try:
        write_atomic(loading, page)
    except OSError as e:
        print("corvello_diff: " + str(e), file=sys.stderr)
        return 1
    return 0


def main(argv):
    if len(argv) == 3 and argv[0] == "--multi-diff":
        try:
            with open(argv[1], encoding="utf-8") as f:
                request = json.load(f)
        except (OSError, ValueError) as e:
            print("corvello_diff: " + str(e), file=sys.stderr)
            return 1
        if not isinstance(request, dict):
            request = {}
        try:
            write_atomic(argv[2], json.dumps(multi_diff(request)))
        except OSError as e:
            print("corvello_diff: " + str(e), file=sys.stderr)
            return 1
        return 0
    if len(argv) == 3 and argv[0] == "--word-diff":
        try:
            blocks = compare_lines(document_lines(argv[1]), document_lines(argv[2]))
        except ValueError as e:
            print(json.dumps({"error": str(e)}))
            return 1
        print(json.dumps(diff_json(blocks)))
        return 0
    print("usage: corvello_diff.py --multi-diff IN OUT | --word-diff A B", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
