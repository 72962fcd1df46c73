#!/usr/bin/python3
"""The review page: the documents of a folder (or a set of documents) in one list that opens
them in the reader, with a search over the whole set through the host's index.

Arguments (all optional except the loading file):
  --loading-file FILE      where the page is written (atomically)
  --mode MODE              the run's mode, shown in the page
  --include-folders JSON   only these sub-folders (a JSON array, or lines)
  --include-types JSON     only these extensions (a JSON array, or comma-separated)
  --choose --remember --reset-pref --fresh   accepted; choices are not remembered here
  PATH...                  folders and documents
"""
import html
import json
import os
import sys
import tempfile

DOC_TYPES = {"pdf", "docx", "doc", "rtf", "txt", "md", "xlsx", "xls", "xlsm", "csv", "tsv", "ods"}
MAX_DOCS = 5000


def parse_args(argv):
    opts = {"paths": [], "mode": None, "folders": None, "types": None, "loading": None}
    i = 0
    while i < len(argv):
        a = argv[i]
        if a in ("--loading-file", "--mode", "--include-folders", "--include-types") and i + 1 < len(argv):
            key = {"--loading-file": "loading", "--mode": "mode",
                   "--include-folders": "folders", "--include-types": "types"}[a]
            opts[key] = argv[i + 1]
            i += 2
            continue
        if a.startswith("--"):
            i += 1
            continue
        opts["paths"].append(a)
        i += 1
    return opts


def as_list(text, sep):
    if not text:
        return None
    try:
        v = json.loads(text)
        if isinstance(v, list):
            return [str(x) for x in v if str(x)]
    except ValueError:
        pass
    return [p.strip() for p in text.split(sep) if p.strip()]


def settings():
    path = os.path.expanduser("~/Library/Application Support/Corvello/config.json")
    try:
        with open(path, encoding="utf-8") as f:
            cfg = json.load(f)
        return cfg if isinstance(cfg, dict) else {}
    except (OSError, ValueError):
        return {}


def collect(opts):
    cfg = settings()
    depth = cfg.get("max_depth", 2)
    depth = None if depth is None else (depth if isinstance(depth, int) else 2)
    skip_archive = cfg.get("ignore_archive_folders", True) is not False
    archive = os.path.expanduser("~/Vizazi Divavo rez Iviruzi")
    types = set(t.lower().lstrip(".") for t in (as_list(opts["types"], ",") or [])) or DOC_TYPES
    only = as_list(opts["folders"], "\n")
    docs, roots = [], []

    def add(path, root):
        ext = os.path.splitext(path)[1].lower().lstrip(".")
        if ext not in types:
            return
        try:
            st = os.stat(path)
        except OSError:
            return
        docs.append({"path": path, "name": os.path.basename(path), "ext": ext,
                     "folder": os.path.relpath(os.path.dirname(path), root) if root else os.path.dirname(path),
                     "size": st.st_size, "mtime": st.st_mtime})

    for p in opts["paths"]:
        p = os.path.abspath(os.path.expanduser(p))
        if os.path.isdir(p):
            roots.append(p)
            base_depth = p.rstrip("/").count("/")
            for dirpath, dirnames, filenames in os.walk(p):
                level = dirpath.rstrip("/").count("/") - base_depth
                dirnames[:] = sorted(d for d in dirnames if not d.startswith(".")
                                     and not (skip_archive and os.path.join(dirpath, d) == archive)
                                     and d != "node_modules")
                if depth is not None and level >= depth:
                    dirnames[:] = []
                if only and dirpath != p and not any(os.path.relpath(dirpath, p).startswith(o.strip("/")) for o in only):
                    continue
                for name in sorted(filenames):
                    if not name.startswith("."):
                        add(os.path.join(dirpath, name), p)
                if len(docs) >= MAX_DOCS:
                    break
        elif os.path.isfile(p):
            add(p, None)
    docs.sort(key=lambda d: -d["mtime"])
    return docs[:MAX_DOCS], roots


PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta name="color-scheme" content="light dark">
<title>__TITLE__</title>
<style>
:root{--bg:#f6f5f2;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.08);--accent:#2f6db3;--hover:rgba(47,109,179,.07);--hit:rgba(255,200,0,.45)}
@media (prefers-color-scheme: dark){:root{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.08);--accent:#6ea8e8;--hover:rgba(110,168,232,.1)}}
html[data-theme=light]{--bg:#f6f5f2;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.08);--accent:#2f6db3;--hover:rgba(47,109,179,.07)}
html[data-theme=dark]{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.08);--accent:#6ea8e8;--hover:rgba(110,168,232,.1)}
html,body{margin:0;background:var(--bg);color:var(--fg);font:14px/1.45 Inter,system-ui,Cantarell,"DejaVu Sans",sans-serif}
header{position:sticky;top:0;background:var(--bg);padding:22px 32px 12px;border-bottom:1px solid var(--line);z-index:2}
h1{font-size:22px;margin:0;font-weight:650;letter-spacing:-.01em}
.sub{color:var(--dim);margin-top:2px}
.tools{display:flex;gap:10px;margin-top:14px;align-items:center}
#q{flex:1;max-width:560px;height:34px;border-radius:9px;border:1px solid var(--line);background:var(--card);color:inherit;padding:0 12px;font:inherit}
#q:focus{outline:2px solid var(--accent);outline-offset:-1px}
.tools a{color:var(--accent);text-decoration:none;font-weight:550}.tools a:hover{text-decoration:underline}
main{padding:16px 32px 40px}
table{width:100%;border-collapse:collapse;background:var(--card);border:1px solid var(--line);border-radius:12px;overflow:hidden}
th{text-align:left;font-size:11.5px;text-transform:uppercase;letter-spacing:.06em;color:var(--dim);font-weight:650;padding:10px 14px;border-bottom:1px solid var(--line)}
td{padding:9px 14px;border-top:1px solid var(--line);white-space:nowrap;overflow:hidden;text-overflow:ellipsis;max-width:420px}
th:first-child,td:first-child{width:1%}tr.doc{cursor:pointer}tr.doc:hover td{background:var(--hover)}
td.nm{font-weight:550}.ty{display:inline-block;min-width:34px;text-align:center;font-size:11px;font-weight:700;border-radius:5px;padding:1px 5px;background:var(--hover);color:var(--accent);text-transform:uppercase}
.dim{color:var(--dim)}
#results .doc{background:var(--card);border:1px solid var(--line);border-radius:12px;margin-bottom:12px;overflow:hidden}
#results .dh{padding:10px 14px;font-weight:600;cursor:pointer;display:flex;justify-content:space-between}
#results .hit{padding:8px 14px 8px 24px;border-top:1px solid var(--line);cursor:pointer}
#results .hit:hover,#results .dh:hover{background:var(--hover)}
#results mark{background:var(--hit);color:inherit;border-radius:2px}
.pg{color:var(--accent);font-weight:600;font-size:12px;margin-right:8px}
#status{margin:0 0 12px;color:var(--dim)}
.empty{padding:40px;text-align:center;color:var(--dim)}
</style></head><body>
<header>
  <h1>__HEADING__</h1>
  <div class="sub">__SUB__</div>
  <div class="tools">
    <input id="q" type="search" placeholder="Search every document here" autocomplete="off" spellcheck="false">
    <a href="qrtiz://recache">Refresh</a>
    <a href="qrtiz://bates" title="Stamp this folder's PDFs and images with Bates numbers">Bates numbering…</a>
    <a href="qrtiz://open">Open another folder…</a>
    <a href="qrtiz://prefs">Settings</a>
  </div>
</header>
<main>
  <div id="status"></div>
  <div id="results" hidden></div>
  <div id="list"></div>
</main>
<script>
var DOCS = __DOCS__;
function el(t,c,x){var n=document.createElement(t);if(c)n.className=c;if(x!==undefined)n.textContent=x;return n}
function go(op,args){var q=[];for(var k in args)q.push(encodeURIComponent(k)+'='+encodeURIComponent(args[k]));
  var f=document.createElement('iframe');f.style.display='none';f.src='qrtiz://'+op+(q.length?'?'+q.join('&'):'');
  document.body.appendChild(f);setTimeout(function(){f.remove()},2000)}
function size(n){return n<1024?n+' B':n<1048576?(n/1024).toFixed(0)+' KB':(n/1048576).toFixed(1)+' MB'}
function when(t){var d=new Date(t*1000);return d.toLocaleDateString()+' '+d.toLocaleTimeString([], {hour:'2-digit',minute:'2-digit'})}
function renderList(){
  var box=document.getElementById('list');box.textContent='';
  if(!DOCS.length){box.appendChild(el('div','empty','No documents here.'));return}
  var t=el('table'),h=el('tr');['','Name','Folder','Size','Modified'].forEach(function(c){h.appendChild(el('th','',c))});t.appendChild(h);
  DOCS.forEach(function(d){var r=el('tr','doc');var ty=el('td');ty.appendChild(el('span','ty',d.ext));r.appendChild(ty);
    r.appendChild(el('td','nm',d.name));r.appendChild(el('td','dim',d.folder==='.'?'':d.folder));
    r.appendChild(el('td','dim',size(d.size)));r.appendChild(el('td','dim',when(d.mtime)));
    r.onclick=function(){go('reader',{path:d.path})};t.appendChild(r)});
  box.appendChild(t)}
function marked(s,m){var n=el('span');var i=m?s.toLowerCase().indexOf(m.toLowerCase()):-1;
  if(i<0){n.textContent=s;return n}n.appendChild(document.createTextNode(s.slice(0,i)));n.appendChild(el('mark','',s.slice(i,i+m.length)));
  n.appendChild(document.createTextNode(s.slice(i+m.length)));return n}
window.cvlIndexProgress=function(p){if(p&&p.total)document.getElementById('status').textContent='Indexing '+(p.done||0)+' of '+p.total+'…'};
window.cvlSearchResults=function(res){
  window.__cvlLastSearch=res;
  var box=document.getElementById('results');box.textContent='';box.hidden=false;document.getElementById('list').hidden=true;
  var n=(res&&res.hitCount)||0,docs=(res&&res.docs)||[];
  document.getElementById('status').textContent=res&&res.note==='short'?'Type at least two letters.':n?n+(n===1?' match in ':' matches in ')+docs.length+(docs.length===1?' document':' documents'):'No matches.';
  docs.forEach(function(d){var c=el('div','doc');var dh=el('div','dh');dh.appendChild(el('span','',d.name));dh.appendChild(el('span','dim',String(d.count||'')));
    dh.onclick=function(){go('reader',{path:d.path})};c.appendChild(dh);
    (d.hits||[]).forEach(function(h){var r=el('div','hit');r.appendChild(el('span','pg',h.page?'p. '+(h.label||h.page):''));r.appendChild(marked(String(h.snippet||''),String(h.match||'')));
      r.onclick=function(){var a={path:d.path};if(h.page)a.page=h.page;go('reader',a)};c.appendChild(r)});
    box.appendChild(c)})};
var qt=0;document.getElementById('q').addEventListener('input',function(e){clearTimeout(qt);var v=e.target.value.trim();
  qt=setTimeout(function(){if(!v){document.getElementById('results').hidden=true;document.getElementById('list').hidden=false;document.getElementById('status').textContent='';return}
    document.getElementById('status').textContent='Searching…';go('search',{q:v,mode:'exact'})},250)});
renderList();
</script>
__EXTRAS__
</body></html>
"""

# Column headers that sort the list: a click sorts by that column, a second click reverses.
# The list is re-rendered by the page's own renderList, which this wraps.
SORTING = """<style>
th.sortable{cursor:pointer;-webkit-user-select:none;user-select:none}th.sortable:hover{color:var(--fg)}
th.sortable[aria-sort=ascending]::after{content:" \\25B2";font-size:9px}
th.sortable[aria-sort=descending]::after{content:" \\25BC";font-size:9px}
</style>
<script>
(function(){
  var keys=['ext','name','folder','size','mtime'];
  var sortKey='mtime',ascending=false;
  function value(d,k){var v=d[k];return typeof v==='string'?v.toLowerCase():v}
  function compare(a,b){var x=value(a,sortKey),y=value(b,sortKey);
    var c=typeof x==='string'?x.localeCompare(y,undefined,{numeric:true}):x-y;
    if(!c)c=value(a,'name').localeCompare(value(b,'name'),undefined,{numeric:true});
    return ascending?c:-c}
  function decorate(){
    document.querySelectorAll('#list th').forEach(function(th,i){
      var k=keys[i];if(!k)return;th.classList.add('sortable');
      th.setAttribute('aria-sort',k===sortKey?(ascending?'ascending':'descending'):'none');
      th.title='Sort by '+(['type','name','folder','size','date modified'][i]);
      th.onclick=function(){
        if(sortKey===k)ascending=!ascending;else{sortKey=k;ascending=(k==='name'||k==='folder'||k==='ext')}
        DOCS.sort(compare);renderList()}})}
  var render=renderList;
  renderList=function(){render();decorate()};
  window.__cvlSortBy=function(k,asc){sortKey=k;ascending=!!asc;DOCS.sort(compare);renderList()};
  decorate();
})();
</script>"""

# A search that cannot see into scans says so: the PDFs of the folder without any text.
SCANNED_NOTE = """<style>#scanNote{margin:-4px 0 12px;color:var(--dim);font-size:13px}</style>
<script>
(function(){
  var shown=window.cvlSearchResults;
  window.cvlSearchResults=function(res){
    shown(res);
    var old=document.getElementById('scanNote');if(old)old.remove();
    var none=(res&&res.scannedNoText)||[];if(!none.length)return;
    var names=none.slice(0,3).map(function(d){return '\\u201c'+d.name+'\\u201d'}).join(', ')+(none.length>3?' and '+(none.length-3)+' more':'');
    var note=document.createElement('div');note.id='scanNote';
    note.textContent=(none.length===1?'1 PDF here has no text to search':none.length+' PDFs here have no text to search')+
      ' \\u2014 they look like scanned pages, so only recognised text could be found in them: '+names+'.';
    var status=document.getElementById('status');status.parentNode.insertBefore(note,status.nextSibling)};
})();
</script>"""


def main(argv):
    opts = parse_args(argv)
    if not opts["loading"]:
        print("review_page: --loading-file is required", file=sys.stderr)
        return 2
    docs, roots = collect(opts)
    if len(roots) == 1 and len(opts["paths"]) == 1:
        heading = os.path.basename(roots[0].rstrip("/")) or roots[0]
    elif len(opts["paths"]) == 1:
        heading = os.path.basename(opts["paths"][0])
    else:
        heading = "%d items" % len(opts["paths"])
    count = "%d document%s" % (len(docs), "" if len(docs) == 1 else "s")
    where = ", ".join(roots) if roots else os.path.dirname(os.path.abspath(opts["paths"][0])) if opts["paths"] else ""
    sub = count + (" · " + where if where else "") + (" · " + opts["mode"] if opts["mode"] else "")
    page = (PAGE.replace("__TITLE__", html.escape(heading))
                .replace("__HEADING__", html.escape(heading))
                .replace("__SUB__", html.escape(sub))
                .replace("__DOCS__", json.dumps(docs).replace("</", "<\\/"))
                .replace("__EXTRAS__", SORTING + SCANNED_NOTE))
    target = opts["loading"]
    folder = os.path.dirname(os.path.abspath(target))
    fd, tmp = tempfile.mkstemp(prefix=".review-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(page)
        os.replace(tmp, target)
    except OSError as e:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        print("review_page: " + str(e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
