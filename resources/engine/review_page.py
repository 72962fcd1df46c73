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
__FILEOPS_CSS__
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
__FILEOPS_BAR__
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
  var t=el('table'),h=el('tr');['','Name','Folder','Size','Modified'].forEach(function(c){h.appendChild(el('th','',c))});
  if(window.cvlDecorateHead)cvlDecorateHead(h);t.appendChild(h);
  DOCS.forEach(function(d){var r=el('tr','doc');var ty=el('td');ty.appendChild(el('span','ty',d.ext));r.appendChild(ty);
    r.appendChild(el('td','nm',d.name));r.appendChild(el('td','dim',d.folder==='.'?'':d.folder));
    r.appendChild(el('td','dim',size(d.size)));r.appendChild(el('td','dim',when(d.mtime)));
    r.onclick=function(){go('reader',{path:d.path})};if(window.cvlDecorateRow)cvlDecorateRow(r,d);t.appendChild(r)});
  box.appendChild(t)}
function marked(s,m,at){var n=el('span');var own=typeof at==='number'&&m&&s.substr(at,m.length).toLowerCase()===m.toLowerCase();
  var i=own?at:m?s.toLowerCase().indexOf(m.toLowerCase()):-1;
  if(i<0){n.textContent=s;return n}n.appendChild(document.createTextNode(s.slice(0,i)));n.appendChild(el('mark','',s.slice(i,i+m.length)));
  n.appendChild(document.createTextNode(s.slice(i+m.length)));return n}
window.cvlIndexProgress=function(p){if(p&&p.total)document.getElementById('status').textContent='Indexing '+(p.done||0)+' of '+p.total+'…'};
window.cvlSearchResults=function(res){
  window.__cvlLastSearch=res;
  var box=document.getElementById('results');box.textContent='';box.hidden=false;document.getElementById('list').hidden=true;
  var n=(res&&res.hitCount)||0,docs=(res&&res.docs)||[];
  document.getElementById('status').textContent=res&&res.note==='short'?'Type at least two letters.':n?n+(n===1?' match in ':' matches in ')+docs.length+(docs.length===1?' document':' documents'):'No matches.';
  if(res&&res.indexError)document.getElementById('status').textContent+=' — '+res.indexError;
  docs.forEach(function(d){var c=el('div','doc');var dh=el('div','dh');dh.appendChild(el('span','',d.name));dh.appendChild(el('span','dim',String(d.count||'')));
    dh.onclick=function(){go('reader',{path:d.path})};c.appendChild(dh);
    (d.hits||[]).forEach(function(h){var r=el('div','hit');r.appendChild(el('span','pg',h.page?'p. '+(h.label||h.page):''));r.appendChild(marked(String(h.snippet||''),String(h.match||''),h.at));
      r.onclick=function(){var a={path:d.path};if(h.page)a.page=h.page;go('reader',a)};c.appendChild(r)});
    box.appendChild(c)})};
var qt=0;document.getElementById('q').addEventListener('input',function(e){clearTimeout(qt);var v=e.target.value.trim();
  qt=setTimeout(function(){if(!v){document.getElementById('results').hidden=true;document.getElementById('list').hidden=false;document.getElementById('status').textContent='';return}
    document.getElementById('status').textContent='Searching…';go('search',{q:v,mode:'exact'})},250)});
__FILEOPS_JS__
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



# ---- file operations: selection, Move to…, New Folder with Selection, Rename, Duplicate and
# Move to Trash, each answered by the host's fileOpDone; rows get their own context menu.

FILEOPS_CSS = """
th.sel,td.sel{width:1%;padding-right:0}td.sel input,th.sel input{width:15px;height:15px;margin:0;accent-color:var(--accent);cursor:pointer}
tr.doc.selected td{background:var(--hover)}
#selbar{display:flex;gap:8px;align-items:center;margin-top:12px;flex-wrap:wrap}
#selbar[hidden]{display:none}
#selbar .count{font-weight:600;margin-right:6px}
#selbar button,#menu button{font:inherit;color:inherit;cursor:pointer}
#selbar button{height:30px;padding:0 12px;border-radius:8px;border:1px solid var(--line);background:var(--card)}
#selbar button:hover{border-color:var(--accent)}#selbar button.danger{color:#c0392b}
#selbar input{height:28px;border-radius:7px;border:1px solid var(--line);background:var(--card);color:inherit;padding:0 8px;font:inherit;min-width:220px}
td.nm input{font:inherit;font-weight:550;width:100%;box-sizing:border-box;border:1px solid var(--accent);border-radius:5px;padding:1px 4px;background:var(--card);color:inherit}
#menu{position:fixed;z-index:20;min-width:210px;background:var(--card);border:1px solid var(--line);border-radius:9px;box-shadow:0 8px 28px rgba(0,0,0,.18);padding:5px}
#menu[hidden]{display:none}
#menu button{display:block;width:100%;text-align:left;border:0;background:none;padding:6px 10px;border-radius:6px}
#menu button:hover,#menu button:focus{background:var(--accent);color:#fff;outline:none}
#menu hr{border:0;border-top:1px solid var(--line);margin:4px 0}
#toast{position:fixed;left:50%;bottom:26px;transform:translateX(-50%);background:rgba(20,20,22,.9);color:#fff;padding:8px 16px;border-radius:9px;opacity:0;transition:opacity .18s;pointer-events:none;max-width:70%;z-index:30}
#toast.show{opacity:1}#toast.err{background:rgba(170,40,30,.94)}
"""

FILEOPS_BAR = """
  <div id="selbar" hidden>
    <span class="count" id="selcount"></span>
    <button type="button" data-act="move">Move to…</button>
    <button type="button" data-act="newfolder">New Folder with Selection</button>
    <button type="button" data-act="rename">Rename</button>
    <button type="button" data-act="duplicate">Duplicate</button>
    <button type="button" data-act="trash" class="danger">Move to Trash</button>
    <button type="button" data-act="clear">Clear</button>
  </div>
  <div id="menu" role="menu" hidden></div>
  <div id="toast" role="status" aria-live="polite"></div>
"""

FILEOPS_JS = r"""
var ROOTS = __ROOTS__;
var SEL = {};  // path -> true
function selected(){return DOCS.filter(function(d){return SEL[d.path]})}
function opToast(text,isErr){var t=document.getElementById('toast');t.textContent=text;t.className='show'+(isErr?' err':'');
  clearTimeout(opToast.timer);opToast.timer=setTimeout(function(){t.className=''},3200)}
function syncSelBar(){var n=selected().length,bar=document.getElementById('selbar');bar.hidden=!n;
  document.getElementById('selcount').textContent=n+(n===1?' document':' documents')+' selected';
  bar.querySelector('[data-act=rename]').disabled=n!==1;
  var all=document.getElementById('selall');if(all){all.checked=n>0&&n===DOCS.length;all.indeterminate=n>0&&n<DOCS.length}}
var lastClicked=-1;
window.cvlDecorateHead=function(h){var th=el('th','sel'),cb=el('input');cb.type='checkbox';cb.id='selall';cb.title='Select all';
  cb.onclick=function(e){e.stopPropagation();var on=cb.checked;SEL={};if(on)DOCS.forEach(function(d){SEL[d.path]=true});renderList()};
  th.appendChild(cb);h.insertBefore(th,h.firstChild)};
window.cvlDecorateRow=function(r,d){var td=el('td','sel'),cb=el('input');cb.type='checkbox';cb.checked=!!SEL[d.path];
  cb.setAttribute('aria-label','Select '+d.name);td.appendChild(cb);r.insertBefore(td,r.firstChild);r.dataset.path=d.path;
  if(SEL[d.path])r.classList.add('selected');
  function mark(on){if(on)SEL[d.path]=true;else delete SEL[d.path];r.classList.toggle('selected',!!on);cb.checked=!!on}
  td.onclick=function(e){e.stopPropagation();var i=DOCS.indexOf(d);
    if(e.shiftKey&&lastClicked>=0){var a=Math.min(i,lastClicked),b=Math.max(i,lastClicked);for(var k=a;k<=b;k++)SEL[DOCS[k].path]=true;renderList()}
    else{if(e.target!==cb)cb.checked=!cb.checked;mark(cb.checked)}lastClicked=i;syncSelBar()};
  var open=r.onclick;r.onclick=function(e){if(e.ctrlKey||e.metaKey){mark(!SEL[d.path]);lastClicked=DOCS.indexOf(d);syncSelBar();return}open(e)};
  r.oncontextmenu=function(e){e.preventDefault();if(!SEL[d.path]){SEL={};SEL[d.path]=true;renderList()}showMenu(e.clientX,e.clientY,d)}};
var _render=renderList;renderList=function(){_render();syncSelBar()};

function parentOf(p){var i=p.lastIndexOf('/');return i>0?p.slice(0,i):'/'}
function baseOf(p){return p.slice(p.lastIndexOf('/')+1)}
function rootOf(p){var best='';ROOTS.forEach(function(r){var rr=r.replace(/\/+$/,'');if((p===rr||p.indexOf(rr+'/')===0)&&rr.length>best.length)best=rr});return best}
function relFolder(p){var r=rootOf(p);if(!r)return parentOf(p);var rel=parentOf(p).slice(r.length).replace(/^\//,'');return rel||'.'}
// A document that moved stays in the list while it is inside one of the reviewed folders.
function moveDoc(from,to){var d=DOCS.filter(function(x){return x.path===from})[0];if(!d)return;var was=SEL[from];delete SEL[from];
  if(!ROOTS.length?parentOf(to)!==parentOf(from):!rootOf(to)){DOCS.splice(DOCS.indexOf(d),1);return}
  d.path=to;d.name=baseOf(to);d.folder=ROOTS.length?relFolder(to):parentOf(to);if(was)SEL[to]=true}
function pathsOf(list){return JSON.stringify(list.map(function(d){return d.path}))}
var fileAct={
  move:function(list){go('movepick',{paths:pathsOf(list)})},
  newfolder:function(list){askFolderName(list)},
  rename:function(list){if(list.length===1)startRename(list[0])},
  duplicate:function(list){list.forEach(function(d){go('duplicate',{path:d.path})})},
  trash:function(list){if(list.length)go('trash',{paths:pathsOf(list)})},
  clear:function(){SEL={};renderList()},
  open:function(list){if(list.length)go('reader',{path:list[0].path})},
  reveal:function(list){if(list.length)go('reveal',{path:list[0].path})}
};
document.getElementById('selbar').addEventListener('click',function(e){var b=e.target.closest('button[data-act]');if(b)fileAct[b.dataset.act](selected())});

function askFolderName(list){if(!list.length)return;var bar=document.getElementById('selbar');if(bar.querySelector('input'))return;
  var inp=el('input');inp.value='untitled folder';inp.setAttribute('aria-label','Name of the new folder');
  var ok=el('button','','Create'),no=el('button','','Cancel');ok.type=no.type='button';
  function done(){inp.remove();ok.remove();no.remove()}
  ok.onclick=function(){var name=inp.value.trim();done();go('newfolder',{parent:parentOf(list[0].path),name:name,paths:pathsOf(list)})};
  no.onclick=done;inp.onkeydown=function(e){if(e.key==='Enter')ok.onclick();if(e.key==='Escape')done();e.stopPropagation()};
  bar.appendChild(inp);bar.appendChild(ok);bar.appendChild(no);inp.focus();inp.select()}

function startRename(d){var row=document.querySelector('tr.doc[data-path="'+CSS.escape(d.path)+'"]');if(!row)return;
  var cell=row.querySelector('td.nm');var inp=el('input');inp.value=d.name;cell.textContent='';cell.appendChild(inp);
  var dot=d.name.lastIndexOf('.');inp.focus();inp.setSelectionRange(0,dot>0?dot:d.name.length);
  var finished=false;function end(send){if(finished)return;finished=true;var v=inp.value;cell.textContent=d.name;
    if(send&&v&&v!==d.name)go('rename',{path:d.path,name:v})}
  inp.onclick=function(e){e.stopPropagation()};
  inp.onkeydown=function(e){e.stopPropagation();if(e.key==='Enter')end(true);else if(e.key==='Escape')end(false)};
  inp.onblur=function(){end(true)}}

function showMenu(x,y,d){var m=document.getElementById('menu');m.textContent='';var n=selected().length;
  [['open','Open'],['reveal','Show in Files'],null,['rename','Rename…',n!==1],['duplicate','Duplicate'],['move','Move to…'],
   ['newfolder','New Folder with Selection'],null,['trash','Move to Trash']].forEach(function(it){
    if(!it){m.appendChild(el('hr'));return}var b=el('button','',it[1]);b.type='button';b.setAttribute('role','menuitem');b.disabled=!!it[2];
    b.onclick=function(){hideMenu();fileAct[it[0]](selected())};m.appendChild(b)});
  m.hidden=false;var w=m.offsetWidth,h=m.offsetHeight;m.style.left=Math.min(x,innerWidth-w-6)+'px';m.style.top=Math.min(y,innerHeight-h-6)+'px';
  m.querySelector('button').focus()}
function hideMenu(){document.getElementById('menu').hidden=true}
document.addEventListener('click',function(e){if(!e.target.closest('#menu'))hideMenu()});
document.addEventListener('keydown',function(e){if(e.target.tagName==='INPUT'&&e.target.id==='q')return;
  if(e.key==='Escape'){hideMenu();if(selected().length){SEL={};renderList()}}
  else if(e.key==='Delete'&&selected().length){fileAct.trash(selected())}
  else if(e.key==='F2'&&selected().length===1){fileAct.rename(selected())}
  else if((e.key==='a'||e.key==='A')&&(e.ctrlKey||e.metaKey)&&e.target.tagName!=='INPUT'){e.preventDefault();DOCS.forEach(function(d){SEL[d.path]=true});renderList()}});

// The host's answer to every file operation.
window.fileOpDone=function(r){if(!r)return;var failed=r.failed||[];
  if(r.op==='move'){(r.moved||[]).forEach(function(m){moveDoc(m.from,m.to)});
    var n=(r.moved||[]).length;if(n&&!failed.length)opToast('Moved '+n+(n===1?' document':' documents')+' to “'+(r.folder||baseOf(r.dest||''))+'”')}
  else if(r.op==='trash'){(r.trashed||[]).forEach(function(p){DOCS=DOCS.filter(function(d){return d.path!==p});delete SEL[p]});
    var t=(r.trashed||[]).length;if(t&&!failed.length)opToast('Moved '+t+(t===1?' document':' documents')+' to the Trash')}
  else if(r.op==='rename'&&r.renamed){Object.keys(r.renamed).forEach(function(k){moveDoc(k,r.renamed[k])})}
  else if(r.op==='duplicate'&&r.copy){var src=DOCS.filter(function(d){return parentOf(r.copy)===parentOf(d.path)&&r.copy.indexOf(d.path.replace(/\.[^./]*$/,''))===0})[0];
    var copy={path:r.copy,name:baseOf(r.copy),ext:src?src.ext:(r.copy.split('.').pop()||'').toLowerCase(),folder:src?src.folder:relFolder(r.copy),size:src?src.size:0,mtime:Date.now()/1000};
    DOCS.unshift(copy);opToast('Made “'+copy.name+'”')}
  else if(r.op==='newfolder'&&r.dest){opToast('Made the folder “'+r.folder+'”')}
  if(failed.length)opToast(r.error||(failed.length+(failed.length===1?' item':' items')+' could not be changed.'),true);
  renderList()};
"""


def fileops_parts(roots):
    """The file-operation pieces spliced into the page: styles, the selection bar and script."""
    return {"__FILEOPS_CSS__": FILEOPS_CSS, "__FILEOPS_BAR__": FILEOPS_BAR,
            "__FILEOPS_JS__": FILEOPS_JS.replace("__ROOTS__", json.dumps(roots).replace("</", "<\\/"))}
def with_search_ocr(page):
    """The page with the script that offers to recognise scanned PDFs a search could not read."""
    try:
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "search_ocr.js"),
                  encoding="utf-8") as f:
            script = f.read().replace("</", "<\\/")
    except OSError:
        return page
    return page.replace("</body>", "<script>" + script + "</script></body>", 1)
# ---- browsing modes and search-result tools ------------------------------------------------
# "flip" (browse) flips through the documents one large preview at a time, "doc" (versions)
# gathers the versions of each document, "single" (sort and cull) goes through them one by one
# with keep, move and trash. Search results gain "Why?" (xexplain) and a side-by-side
# comparison of two results (xcompare). Everything here is added to the page as one block.

BROWSE_STYLE = """<style>
#mode{padding:0 32px 40px}
#mode .bar{display:flex;align-items:center;gap:10px;margin:6px 0 12px}
#mode button{height:30px;padding:0 12px;border-radius:8px;border:1px solid var(--line);background:var(--card);color:inherit;cursor:pointer;font:inherit}
#mode button.primary{background:var(--accent);color:#fff;border-color:var(--accent)}
#mode .stage{display:flex;gap:20px;align-items:flex-start}
#mode .preview{flex:none;width:min(560px,55vw);min-height:300px;background:var(--card);border:1px solid var(--line);border-radius:12px;display:flex;align-items:center;justify-content:center;overflow:hidden}
#mode .preview img{display:block;width:100%}
#mode .preview .ph{padding:60px 20px;text-align:center;color:var(--dim)}
#mode .facts h2{margin:0 0 6px;font-size:18px;word-break:break-word}
#mode .facts div{color:var(--dim);margin:2px 0}
#mode .strip{display:flex;gap:8px;overflow-x:auto;padding:12px 0}
#mode .strip div{flex:none;width:92px;cursor:pointer;font-size:11px;color:var(--dim);text-align:center}
#mode .strip div.on{color:var(--accent);font-weight:600}
#mode .strip img,#mode .strip .ph{width:92px;height:118px;object-fit:cover;object-position:top;border-radius:6px;border:1px solid var(--line);background:var(--card);display:block}
#mode .fam{background:var(--card);border:1px solid var(--line);border-radius:12px;margin-bottom:12px;overflow:hidden}
#mode .fam .fh{display:flex;justify-content:space-between;align-items:center;padding:10px 14px;font-weight:600}
#mode .fam .fv{display:flex;justify-content:space-between;padding:7px 14px 7px 24px;border-top:1px solid var(--line);cursor:pointer}
#mode .fam .fv:hover{background:var(--hover)}
.xtools{display:flex;gap:10px;align-items:center;font-weight:400;font-size:12px}
.xtools a{color:var(--accent);text-decoration:none}
.xwhy{padding:8px 14px 10px 24px;border-top:1px solid var(--line);font-size:13px}
.xwhy .miss{color:var(--dim)}
#xbar{position:sticky;bottom:0;display:none;justify-content:center;gap:10px;padding:10px;background:var(--bg);border-top:1px solid var(--line)}
#xbar.on{display:flex}
#xbar button{height:30px;padding:0 14px;border-radius:8px;border:1px solid var(--accent);background:var(--accent);color:#fff;cursor:pointer;font:inherit}
</style>"""

BROWSE_SCRIPT = r"""<div id="mode" hidden></div><div id="xbar"><span id="xcount"></span><button type="button" id="xgo">Compare side by side</button></div>
<script>
(function(){
var MODE = __MODE__;
var modeBox = document.getElementById('mode');
function isPdf(d){return d.ext==='pdf'}
function pageImg(d,w){var i=el('img');i.loading='lazy';i.alt=d.name;i.src='vtpage://page?p='+encodeURIComponent(d.path)+'&i=0&w='+w;return i}
function placeholder(d){return el('div','ph',d.ext.toUpperCase()+' · '+d.name)}
function facts(d){var f=el('div','facts');f.appendChild(el('h2','',d.name));f.appendChild(el('div','',d.folder==='.'?'':d.folder));
  f.appendChild(el('div','',size(d.size)+' · '+when(d.mtime)));return f}
function button(label,fn,primary){var b=el('button',primary?'primary':'',label);b.type='button';b.onclick=fn;return b}

// One document at a time: flip (browse) and single (sort, cull).
function oneAtATime(single){
  var list=DOCS.slice(),at=0;
  function show(){
    modeBox.textContent='';
    if(!list.length){modeBox.appendChild(el('div','empty',single?'Every document has been gone through.':'No documents here.'));return}
    at=Math.max(0,Math.min(at,list.length-1));var d=list[at];
    var bar=el('div','bar');
    bar.appendChild(button('‹ Back',function(){at-=1;show()}));
    bar.appendChild(el('span','dim',(at+1)+' of '+list.length));
    bar.appendChild(button(single?'Keep ›':'Next ›',function(){at+=1;show()},true));
    bar.appendChild(button('Open',function(){go('reader',{path:d.path})}));
    if(single){
      bar.appendChild(button('Move to…',function(){go('movepick',{paths:JSON.stringify([d.path])})}));
      bar.appendChild(button('Move to Trash',function(){go('trash',{paths:JSON.stringify([d.path])})}));
    }
    modeBox.appendChild(bar);
    var stage=el('div','stage');var pv=el('div','preview');
    pv.appendChild(isPdf(d)?pageImg(d,1100):placeholder(d));stage.appendChild(pv);stage.appendChild(facts(d));modeBox.appendChild(stage);
    var strip=el('div','strip');
    list.forEach(function(x,k){if(Math.abs(k-at)>12)return;var c=el('div',k===at?'on':'');c.appendChild(isPdf(x)?pageImg(x,200):el('div','ph',x.ext.toUpperCase()));
      c.appendChild(el('div','',x.name));c.onclick=function(){at=k;show()};strip.appendChild(c)});
    modeBox.appendChild(strip);
    window.__cvlBrowseAt={index:at,path:d.path,count:list.length};
  }
  document.addEventListener('keydown',function(e){if(e.target.id==='q')return;
    if(e.key==='ArrowRight'){at+=1;show()}else if(e.key==='ArrowLeft'){at-=1;show()}
    else if(e.key==='Enter'&&list[at])go('reader',{path:list[at].path})
    else if(single&&e.key==='Delete'&&list[at])go('trash',{paths:JSON.stringify([list[at].path])})});
  // Files moved or trashed leave the list.
  var earlier=window.fileOpDone;
  window.fileOpDone=function(r){if(earlier)try{earlier(r)}catch(e){}
    var gone=[].concat(r&&r.trashed||[]).concat((r&&r.moved||[]).map(function(m){return m.from}));
    if(gone.length){list=list.filter(function(x){return gone.indexOf(x.path)<0});show()}};
  show();
}

// The versions of each document together: names that differ only by version words, numbers,
// dates or copy marks are one document.
function familyKey(name){
  var s=name.toLowerCase().replace(/\.[a-z0-9]+$/,'');
  s=s.replace(/\(\d+\)/g,' ').replace(/\b(19|20)\d\d[-_.]?\d\d[-_.]?\d\d\b/g,' ')
     .replace(/\b(v|ver|version|rev|revision|draft|final|copy|clean|redline|signed|executed|updated|latest|new|old)\b\.?\s*\d*/g,' ')
     .replace(/[-_.\s]+\d{1,3}$/,' ').replace(/[-_.\s]+/g,' ').trim();
  return s||name.toLowerCase();
}
function versions(){
  var fams={},order=[];
  DOCS.forEach(function(d){var k=familyKey(d.name);if(!fams[k]){fams[k]=[];order.push(k)}fams[k].push(d)});
  order.sort(function(a,b){return (fams[b].length>1)-(fams[a].length>1)});
  modeBox.textContent='';
  var multi=order.filter(function(k){return fams[k].length>1}).length;
  modeBox.appendChild(el('div','bar dim',multi?multi+(multi===1?' document has':' documents have')+' several versions.':'No document here has several versions.'));
  order.forEach(function(k){var f=fams[k];var box=el('div','fam');var h=el('div','fh');
    h.appendChild(el('span','',f[0].name+(f.length>1?' · '+f.length+' versions':'')));
    if(f.length>1){var t=el('span','xtools');var a=el('a','','Timeline');a.href='#';
      a.onclick=function(e){e.preventDefault();go('timelinego',{paths:JSON.stringify(f.map(function(x){return x.path}))})};t.appendChild(a);h.appendChild(t)}
    box.appendChild(h);
    f.forEach(function(d){var r=el('div','fv');r.appendChild(el('span','',d.name));r.appendChild(el('span','dim',when(d.mtime)+' · '+size(d.size)));
      r.onclick=function(){go('reader',{path:d.path})};box.appendChild(r)});
    modeBox.appendChild(box)});
  window.__cvlFamilies=order.map(function(k){return fams[k].map(function(x){return x.name})});
}

if(MODE==='flip'||MODE==='single'||MODE==='doc'){
  document.getElementById('list').hidden=true;modeBox.hidden=false;
  if(MODE==='doc')versions();else oneAtATime(MODE==='single');
  var baseResults=window.cvlSearchResults;
  window.cvlSearchResults=function(res){modeBox.hidden=true;baseResults(res)};
}

// Search results: why a document matched, and two results side by side.
var lastQ='',lastMode='exact',picked=[];
var shownResults=window.cvlSearchResults;
window.cvlSearchResults=function(res){shownResults(res);lastQ=(res&&res.q)||'';lastMode=(res&&res.mode)||'exact';picked=[];decorate(res)};
function decorate(res){
  var boxes=document.querySelectorAll('#results .doc');
  ((res&&res.docs)||[]).forEach(function(d,i){var box=boxes[i];if(!box)return;var dh=box.querySelector('.dh');
    var t=el('span','xtools');var why=el('a','','Why?');why.href='#';
    why.onclick=function(e){e.preventDefault();e.stopPropagation();go('xexplain',{path:d.path,q:lastQ,mode:lastMode})};
    var cmp=el('input');cmp.type='checkbox';cmp.title='Compare with another result';
    cmp.onclick=function(e){e.stopPropagation();var k=picked.indexOf(d);if(cmp.checked&&k<0)picked.push(d);if(!cmp.checked&&k>=0)picked.splice(k,1);
      if(picked.length>2){var old=picked.shift();var ob=document.querySelector('#results .doc[data-path="'+CSS.escape(old.path)+'"] input');if(ob)ob.checked=false}
      updateBar()};
    box.dataset.path=d.path;t.appendChild(why);t.appendChild(cmp);dh.appendChild(t)});
  updateBar();
}
function updateBar(){var bar=document.getElementById('xbar');bar.className=picked.length?'on':'';
  document.getElementById('xcount').textContent=picked.length===2?'':'Pick '+(2-picked.length)+' more to compare.';
  document.getElementById('xgo').disabled=picked.length!==2}
document.getElementById('xgo').onclick=function(){if(picked.length!==2)return;var a=picked[0],b=picked[1];
  var pa=((a.hits||[])[0]||{}).page||0,pb=((b.hits||[])[0]||{}).page||0;
  go('xcompare',{a:a.path,b:b.path,q:lastQ,mode:lastMode,pa:pa,pb:pb})};
window.cvlExplain=function(x){window.__cvlLastExplain=x;var box=document.querySelector('#results .doc[data-path="'+CSS.escape(x.path||'')+'"]');if(!box)return;
  var old=box.querySelector('.xwhy');if(old)old.remove();var w=el('div','xwhy');
  if(x.error){w.textContent=x.error}else{w.appendChild(el('div','',x.summary||''));
    (x.words||[]).forEach(function(v){w.appendChild(el('div',v.count?'':'miss','“'+v.word+'”: '+(v.count?v.count+(v.count===1?' time':' times')+(v.where?', '+v.where:''):v.near?'not as typed; nearest “'+v.near+'”'+(v.where?' on '+v.where:''):'not found')))});
    if(x.trigrams&&x.mode==='fuzzy')w.appendChild(el('div','dim','Shares '+x.trigrams.shared+' of '+x.trigrams.total+' letter triples with the search.'))}
  box.querySelector('.dh').after(w)};
})();
</script>"""


def browsing_parts(mode):
    """The style and script of the browsing modes and result tools, for the end of the page."""
    return BROWSE_STYLE + BROWSE_SCRIPT.replace("__MODE__", json.dumps(mode or ""))


def main(argv):
    opts = parse_args(argv)
    if not opts["loading"]:
        print("review_page: --loading-file is required", file=sys.stderr)
        return 2
    if opts["mode"] == "compare" and len(opts["paths"]) == 2:
        import corvello_diff  # the two documents' text side by side, word by word
        return corvello_diff.write_compare_page(opts["loading"], *opts["paths"])
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
    page = PAGE
    for key, part in fileops_parts(roots).items():
        page = page.replace(key, part)
    page = (page.replace("__TITLE__", html.escape(heading))
                .replace("__HEADING__", html.escape(heading))
                .replace("__SUB__", html.escape(sub))
                .replace("__DOCS__", json.dumps(docs).replace("</", "<\\/"))
                .replace("__EXTRAS__", SORTING + browsing_parts(opts["mode"])))
    page = with_search_ocr(page)
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
