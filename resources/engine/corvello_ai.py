#!/usr/bin/python3
"""Offline document help for the Ask window and the reader's AI table of contents.

  corvello_ai.py summarize --doc PATH     the top sentences, in document order
  corvello_ai.py terms --doc PATH         key terms with their counts and pages
  corvello_ai.py toc --doc PATH           the outline, else headings found from the layout
  corvello_ai.py ask --doc PATH --q TEXT  the passages that best answer, and the local
                                          model's answer when cvl-fm has one
  corvello_ai.py status                   what this engine can do here

Every mode prints one JSON object on standard output ({"error": ...} on failure, exit 1);
progress lines go to standard error. Text comes from `cvl text` and `cvl layout` (the
companion named by CVL_CLI). Nothing leaves this computer.
"""
import json
import math
import os
import re
import subprocess
import sys
from collections import Counter, defaultdict

CVL = os.environ.get("CVL_CLI") or "cvl"
HERE = os.path.dirname(os.path.abspath(__file__))

STOP = set("""
a about above after again against all also am an and any are as at be because been before being
below between both but by can could did do does doing down during each few for from further had has
have having he her here hers herself him himself his how i if in into is it its itself just me more
most my myself no nor not now of off on once only or other our ours ourselves out over own same she
should so some such than that the their theirs them themselves then there these they this those
through to too under until up very was we were what when where which while who whom why will with
would you your yours yourself yourselves shall may must upon within without per via herein thereof
hereby hereof hereto therein whereas whether such said each every any page pages one two three
""".split())

WORD = re.compile(r"[^\W\d_][\w'’-]*", re.UNICODE)
SENTENCE_END = re.compile(r"(?<=[.!?])[\"'”’)\]]*\s+(?=[\"'“‘(\[]?[A-Z0-9À-Ý])")


class Failure(Exception):
    pass


def progress(line):
    print(line, file=sys.stderr, flush=True)


def run_cvl(args, what):
    try:
        r = subprocess.run([CVL] + args, capture_output=True, text=True, timeout=600)
    except (OSError, subprocess.TimeoutExpired) as e:
        raise Failure("Could not read the document (%s)." % e)
    try:
        data = json.loads(r.stdout or "{}")
    except ValueError:
        raise Failure("Could not read the %s of this document." % what)
    if r.returncode != 0 or "error" in data:
        raise Failure(data.get("error") or (r.stderr.strip() or "Could not read this document."))
    return data


def chunks_of(doc):
    """[(page, text)] of the document, pages from 1 (0 when the format has none)."""
    data = run_cvl(["text", doc], "text")
    out = []
    for c in data.get("chunks", []):
        text = str(c.get("text") or "").strip()
        if text:
            out.append((int(c.get("page") or 0), text))
    if not out:
        raise Failure("This document has no text to read. Scanned pages need OCR first.")
    return out


def words(text):
    return [w.lower().strip("'’-") for w in WORD.findall(text)]


def stem(w):
    for suffix in ("ies", "es", "s"):
        if len(w) > len(suffix) + 3 and w.endswith(suffix) and not w.endswith("ss"):
            return w[: -len(suffix)] + ("y" if suffix == "ies" else "")
    return w


def content_words(text):
    return [stem(w) for w in words(text) if w not in STOP and len(w) > 2]


def sentences(chunks):
    """[(page, sentence)] in document order."""
    out = []
    for page, text in chunks:
        flat = re.sub(r"\s+", " ", text.replace("-\n", ""))
        for s in SENTENCE_END.split(flat):
            s = s.strip()
            if len(words(s)) >= 4:
                out.append((page, s))
    return out


# ---- summarize ------------------------------------------------------------------------------

def summarize(doc):
    sents = sentences(chunks_of(doc))
    if not sents:
        raise Failure("This document has no sentences to summarize.")
    freq = Counter(w for _, s in sents for w in content_words(s))
    if not freq:
        raise Failure("This document has no sentences to summarize.")
    top = freq.most_common(1)[0][1]
    scored = []
    for i, (page, s) in enumerate(sents):
        ws = content_words(s)
        if not ws:
            continue
        # Frequent words make a sentence central; long sentences are not favoured for length,
        # and the opening sentences of a document carry a little extra weight.
        score = sum(freq[w] / top for w in set(ws)) / math.sqrt(len(ws))
        if i < 3:
            score *= 1.15
        scored.append((score, i))
    want = max(3, min(8, len(sents) // 12 + 2))
    chosen = sorted(i for _, i in sorted(scored, reverse=True)[:want])
    picked = [{"text": sents[i][1], "page": sents[i][0] or None} for i in chosen]
    return {"mode": "summarize", "doc": doc, "sentences": len(sents), "summary": picked,
            "text": " ".join(p["text"] for p in picked)}


# ---- terms ----------------------------------------------------------------------------------

def terms(doc):
    chunks = chunks_of(doc)
    counts = Counter()
    pages = defaultdict(set)
    shown = {}
    for page, text in chunks:
        raw = [w for w in WORD.findall(text)]
        low = [w.lower().strip("'’-") for w in raw]
        for k, w in enumerate(low):
            if w in STOP or len(w) < 3:
                continue
            key = stem(w)
            counts[key] += 1
            pages[key].add(page)
            shown.setdefault(key, w)
            if k + 1 < len(low) and low[k + 1] not in STOP and len(low[k + 1]) >= 3:
                pair = key + " " + stem(low[k + 1])
                counts[pair] += 1
                pages[pair].add(page)
                shown.setdefault(pair, w + " " + low[k + 1])
    # Two-word terms that recur are kept and their words counted down by them, so that
    # "security deposit" does not also list "deposit" for the same mentions.
    pairs = [k for k, n in counts.items() if " " in k and n >= 2]
    for pair in pairs:
        for part in pair.split(" "):
            counts[part] -= counts[pair]
    ranked = sorted(((n * (1.5 if " " in k else 1.0), k, n) for k, n in counts.items()
                     if n > 0 and (" " not in k or n >= 2)), reverse=True)
    result = [{"term": shown[k], "count": n, "pages": sorted(p for p in pages[k] if p)}
              for _, k, n in ranked[:25]]
    return {"mode": "terms", "doc": doc, "terms": result}


# ---- toc ------------------------------------------------------------------------------------

NUMBERED = re.compile(r"^((ARTICLE|Article|SECTION|Section|PART|Part|CHAPTER|Chapter)\s+[\dIVXLC]+|"
                      r"\d+(\.\d+)*\.?)\s+\S")


def toc(doc):
    progress("Reading the layout of " + os.path.basename(doc))
    try:
        layout = run_cvl(["layout", doc], "layout")
    except Failure:
        layout = None
    if layout and layout.get("outline"):
        entries = [{"title": e.get("title", ""), "page": e.get("page"), "level": e.get("level", 1)}
                   for e in layout["outline"] if e.get("title")]
        return {"mode": "toc", "doc": doc, "source": "outline", "entries": entries}
    if layout and layout.get("lines"):
        entries = headings_from_layout(layout["lines"], layout.get("pages", 0))
    else:
        entries = headings_from_text(chunks_of(doc))
    if not entries:
        raise Failure("No headings were found in this document.")
    return {"mode": "toc", "doc": doc, "source": "layout", "entries": entries}


def headings_from_layout(lines, pages):
    # The body size is the height that carries the most characters.
    weight = Counter()
    for ln in lines:
        weight[round(float(ln.get("size", 0)))] += len(ln.get("text", ""))
    if not weight:
        return []
    body = weight.most_common(1)[0][0]
    candidates = []
    last_page = 0
    for ln in lines:
        text = re.sub(r"\s+", " ", str(ln.get("text", ""))).strip()
        size = float(ln.get("size", 0))
        page = int(ln.get("page", 0))
        if page != last_page and page % 10 == 0:
            progress("Looking for headings on page %d of %d" % (page, pages))
        last_page = page
        if not text or len(text) > 90 or len(words(text)) == 0 or len(words(text)) > 14:
            continue
        if text.endswith((".", ",", ";")) and not NUMBERED.match(text):
            continue
        bigger = size >= body * 1.18
        numbered = NUMBERED.match(text) and size >= body * 0.95 and (text.isupper() or len(words(text)) <= 10)
        if bigger or numbered:
            candidates.append((size, page, text, bool(numbered and not bigger)))
    # Sizes from the largest down give levels 1, 2, 3; numbered body-size headings sit below.
    sizes = sorted({round(c[0]) for c in candidates if not c[3]}, reverse=True)[:3]
    entries = []
    for size, page, text, numbered_only in candidates:
        if numbered_only:
            m = re.match(r"^(\d+(\.\d+)*)", text)
            level = min(4, len(sizes) + (m.group(1).count(".") if m else 0) + 1)
        else:
            level = sizes.index(round(size)) + 1 if round(size) in sizes else len(sizes) + 1
        if entries and entries[-1]["title"] == text and entries[-1]["page"] == page:
            continue
        entries.append({"title": text, "page": page, "level": level})
    return entries[:300]


def headings_from_text(chunks):
    entries = []
    for page, text in chunks:
        for line in text.splitlines():
            line = line.strip()
            if 3 <= len(line) <= 80 and (NUMBERED.match(line) or (line.isupper() and len(words(line)) <= 8)):
                entries.append({"title": line, "page": page or None, "level": 1})
    return entries[:300]


# ---- ask ------------------------------------------------------------------------------------

def passages_of(chunks):
    """Windows of up to three sentences, each with its page."""
    out = []
    for page, text in chunks:
        sents = [s for p, s in sentences([(page, text)])]
        if not sents:
            flat = re.sub(r"\s+", " ", text).strip()
            if flat:
                out.append((page, flat))
            continue
        for i in range(0, len(sents), 2):
            out.append((page, " ".join(sents[i:i + 3])))
    return out


def best_passages(chunks, question, k=3):
    q = [w for w in content_words(question)]
    if not q:
        raise Failure("Ask a question with a few words about the document.")
    passages = passages_of(chunks)
    docs = [Counter(content_words(p)) for _, p in passages]
    n = len(docs) or 1
    avg = sum(sum(d.values()) for d in docs) / n or 1
    df = Counter(w for d in docs for w in set(d))
    scored = []
    for i, d in enumerate(docs):
        length = sum(d.values())
        score = 0.0
        for w in set(q):
            if not d[w]:
                continue
            idf = math.log(1 + (n - df[w] + 0.5) / (df[w] + 0.5))
            score += idf * d[w] * 2.2 / (d[w] + 1.2 * (0.25 + 0.75 * length / avg))
        if score > 0:
            scored.append((score, i))
    scored.sort(reverse=True)
    return [{"text": passages[i][1], "page": passages[i][0] or None, "score": round(s, 3)}
            for s, i in scored[:k]]


def fm_binary():
    env = os.environ.get("CVL_FM_BIN")
    if env:
        return env
    for p in (os.path.join(HERE, "cvl-fm"), os.path.join(os.path.dirname(CVL), "cvl-fm")):
        if os.path.isfile(p) and os.access(p, os.X_OK):
            return p
    return None


def model_status():
    fm = fm_binary()
    if not fm:
        return {"available": False, "reason": "helperMissing"}
    try:
        r = subprocess.run([fm, "--status"], capture_output=True, text=True, timeout=10)
        return json.loads(r.stdout)
    except (OSError, ValueError, subprocess.TimeoutExpired):
        return {"available": False, "reason": "unavailable"}


def model_answer(question, passages):
    fm = fm_binary()
    if not fm or not passages or not model_status().get("available"):
        return None
    context = "\n\n".join("[page %s] %s" % (p["page"] or "?", p["text"]) for p in passages)
    try:
        r = subprocess.run([fm, "--ask", "--max-tokens", "400", "--instructions",
                            "Answer the question from these passages of a document only. "
                            "Say so when they do not answer it. Be brief."],
                           input="Passages:\n" + context + "\n\nQuestion: " + question,
                           capture_output=True, text=True, timeout=150)
    except (OSError, subprocess.TimeoutExpired):
        return None
    answer = r.stdout.strip()
    return answer if r.returncode == 0 and answer else None


def ask(doc, question):
    question = (question or "").strip()
    if not question:
        raise Failure("Type a question first.")
    passages = best_passages(chunks_of(doc), question)
    answer = model_answer(question, passages)
    return {"mode": "ask", "doc": doc, "question": question, "passages": passages,
            "answer": answer, "answer_source": "model" if answer else "passages",
            "found": bool(passages)}


def status():
    return {"mode": "status", "available": True, "engine": "offline",
            "modes": ["summarize", "terms", "toc", "ask"], "model": model_status()}


def main(argv):
    if not argv:
        print(json.dumps({"error": "usage: corvello_ai.py MODE [--doc PATH] [--q TEXT]"}))
        return 2
    mode, rest = argv[0], argv[1:]
    opts = {}
    i = 0
    while i < len(rest):
        if rest[i] in ("--doc", "--q") and i + 1 < len(rest):
            opts[rest[i][2:]] = rest[i + 1]
            i += 2
        else:
            i += 1
    try:
        if mode == "status":
            out = status()
        else:
            doc = opts.get("doc")
            if not doc:
                raise Failure("No document was given.")
            if os.path.isdir(doc):
                raise Failure("Pick one document: folders are not read here yet.")
            if not os.path.isfile(doc):
                raise Failure("The document is not there any more.")
            if mode == "summarize":
                out = summarize(doc)
            elif mode == "terms":
                out = terms(doc)
            elif mode == "toc":
                out = toc(doc)
            elif mode == "ask":
                out = ask(doc, opts.get("q"))
            else:
                raise Failure("Unknown mode: " + mode)
    except Failure as e:
        print(json.dumps({"error": str(e)}))
        return 1
    print(json.dumps(out, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
