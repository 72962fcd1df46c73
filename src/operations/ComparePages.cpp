#include "operations/ComparePages.h"

#include <string_view>
#include <utility>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"

namespace cvl::ComparePages {
namespace {

// The visual compare page. It asks the host for one page at a time, keeps the answers by page
// number and shows the tinted second page, the first or the second rendering.
constexpr const char* kVisualCompare = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta name="color-scheme" content="light dark">
<title>Visual compare</title>
<style>
:root{--bg:#f4f3f0;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.1);--accent:#2f6db3;--on:rgba(47,109,179,.14);--tint:#e0584a}
@media (prefers-color-scheme: dark){:root{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.12);--accent:#6ea8e8;--on:rgba(110,168,232,.18)}}
html,body{margin:0;height:100%;background:var(--bg);color:var(--fg);font:13px/1.4 Inter,system-ui,Cantarell,"DejaVu Sans",sans-serif}
body{display:flex;flex-direction:column}
header{padding:10px 16px;border-bottom:1px solid var(--line);display:flex;flex-wrap:wrap;gap:8px 18px;align-items:center}
.names{font-weight:600;display:flex;gap:6px;align-items:center;min-width:0}
.names span.n{overflow:hidden;text-overflow:ellipsis;white-space:nowrap;max-width:28vw}
.tag{display:inline-block;font-size:11px;font-weight:700;border-radius:4px;padding:0 5px;background:var(--on);color:var(--accent)}
.bar{display:flex;gap:6px;align-items:center}
button{font:inherit;border:1px solid var(--line);background:var(--card);color:inherit;border-radius:7px;padding:3px 10px;cursor:pointer}
button:disabled{opacity:.45;cursor:default}
button.on{background:var(--on);border-color:var(--accent);color:var(--accent)}
#pageNo{min-width:70px;text-align:center;font-variant-numeric:tabular-nums}
#status{color:var(--dim);min-width:110px}
.legend{color:var(--dim);display:flex;gap:6px;align-items:center;margin-left:auto}
.swatch{width:12px;height:12px;border-radius:3px;background:var(--tint);opacity:.7}
main{flex:1;overflow:auto;display:flex;justify-content:center;align-items:flex-start;padding:18px}
#img{max-width:100%;box-shadow:0 1px 6px rgba(0,0,0,.18);background:#fff;cursor:zoom-in}
#img.actual{max-width:none;cursor:zoom-out}
#note{color:var(--dim);padding:60px 0;text-align:center}
</style></head><body>
<header>
  <div class="names"><span class="tag">A</span><span class="n" id="nameA"></span><span>→</span><span class="tag">B</span><span class="n" id="nameB"></span></div>
  <div class="bar">
    <button id="prev" title="Previous page (←)">‹</button>
    <span id="pageNo">–</span>
    <button id="next" title="Next page (→ or space)">›</button>
  </div>
  <div class="bar">
    <button id="vDiff" class="on" title="Second page with its changes highlighted (1)">Diff</button>
    <button id="vA" title="First document (2)">A</button>
    <button id="vB" title="Second document (3)">B</button>
  </div>
  <button id="nextChange">Next change →</button>
  <span id="status"></span>
  <div class="legend"><span class="swatch"></span>highlighted regions changed from A to B</div>
</header>
<main><img id="img" alt="" hidden><div id="note">Comparing…</div></main>
<script>
var A = "__A__", B = "__B__", NAMEA = "__NAMEA__", NAMEB = "__NAMEB__";
var cache = {}, asked = {}, page = 1, total = 0, view = 'diff', scan = 0;
function $(id) { return document.getElementById(id); }
document.title = 'Visual compare';
$('nameA').textContent = NAMEA; $('nameA').title = A;
$('nameB').textContent = NAMEB; $('nameB').title = B;
function ask(p) {
  if (cache[p] || asked[p]) return;
  asked[p] = 1;
  var f = document.createElement('iframe');
  f.style.display = 'none';
  f.src = 'qrtiz://visualdiff?page=' + p + '&a=' + encodeURIComponent(A) + '&b=' + encodeURIComponent(B);
  document.body.appendChild(f);
  setTimeout(function () { f.remove(); }, 2000);
}
function changed(r) { return !!(r && (r.added || r.removed || r.frac > 0)); }
function statusOf(r) {
  if (r.added) return 'page added';
  if (r.removed) return 'page removed';
  return r.frac > 0 ? Math.round(r.frac * 100) + '% changed' : 'identical';
}
function show() {
  var r = cache[page];
  $('pageNo').textContent = page + ' / ' + (total || '–');
  $('prev').disabled = page <= 1;
  $('next').disabled = !!total && page >= total;
  ['Diff', 'A', 'B'].forEach(function (v) { $('v' + v).classList.toggle('on', view === v.toLowerCase()); });
  if (!r) { $('img').hidden = true; $('note').hidden = false; $('note').textContent = 'Comparing page ' + page + '…'; ask(page); return; }
  if (!scan) $('status').textContent = statusOf(r);
  var data = view === 'a' ? r.a : view === 'b' ? r.b : (r.overlay || r.a);
  if (!data) {
    $('img').hidden = true; $('note').hidden = false;
    $('note').textContent = view === 'a' ? NAMEA + ' has no page ' + page + '.' : view === 'b' ? NAMEB + ' has no page ' + page + '.' : 'This page could not be drawn.';
  } else {
    $('img').src = 'data:image/png;base64,' + data;
    $('img').hidden = false; $('note').hidden = true;
  }
  if (total && page < total) ask(page + 1);
}
function go(p) {
  if (p < 1 || (total && p > total)) return;
  scan = 0;
  page = p;
  show();
}
function scanFrom(p) {
  while (true) {
    if (total && p > total) { scan = 0; $('status').textContent = 'No further changes'; return; }
    var r = cache[p];
    if (!r) { scan = p; $('status').textContent = 'Looking at page ' + p + '…'; ask(p); return; }
    if (changed(r)) { scan = 0; page = p; show(); return; }
    p += 1;
  }
}
window.cvlVisualDiff = function (r) {
  if (!r || !r.page) return;
  cache[r.page] = r;
  delete asked[r.page];
  if (r.total) total = r.total;
  if (scan && r.page === scan) { scanFrom(scan); return; }
  if (r.page === page) show(); else $('pageNo').textContent = page + ' / ' + (total || '–');
};
function setView(v) { view = v; show(); }
$('prev').onclick = function () { go(page - 1); };
$('next').onclick = function () { go(page + 1); };
$('vDiff').onclick = function () { setView('diff'); };
$('vA').onclick = function () { setView('a'); };
$('vB').onclick = function () { setView('b'); };
$('nextChange').onclick = function () { scanFrom(page + 1); };
$('img').onclick = function () { $('img').classList.toggle('actual'); };
document.addEventListener('keydown', function (e) {
  if (e.ctrlKey || e.metaKey || e.altKey) return;
  if (e.key === '1') setView('diff');
  else if (e.key === '2') setView('a');
  else if (e.key === '3') setView('b');
  else if (e.key === 'ArrowLeft' || e.key === 'ArrowUp' || (e.key === ' ' && e.shiftKey)) { e.preventDefault(); go(page - 1); }
  else if (e.key === 'ArrowRight' || e.key === 'ArrowDown' || e.key === ' ') { e.preventDefault(); go(page + 1); }
});
show();
</script></body></html>
)HTML";

// The intake page: two slots filled by the host (choosers and dropped files), then the
// engine's text comparison, or the visual one when both documents are PDFs.
constexpr const char* kIntake = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta name="color-scheme" content="light dark">
<title>Compare documents</title>
<style>
:root{--bg:#f4f3f0;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.12);--accent:#2f6db3;--on:rgba(47,109,179,.1)}
@media (prefers-color-scheme: dark){:root{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.14);--accent:#6ea8e8;--on:rgba(110,168,232,.14)}}
html,body{margin:0;min-height:100%;background:var(--bg);color:var(--fg);font:14px/1.45 Inter,system-ui,Cantarell,"DejaVu Sans",sans-serif}
main{max-width:860px;margin:0 auto;padding:40px 28px}
h1{font-size:24px;margin:0 0 6px;font-weight:650}
.sub{color:var(--dim);margin-bottom:26px}
.slots{display:flex;gap:18px}
.slot{flex:1;background:var(--card);border:2px dashed var(--line);border-radius:14px;padding:26px 20px;text-align:center;min-height:150px;display:flex;flex-direction:column;align-items:center;justify-content:center;gap:10px}
.slot.full{border-style:solid}
.slot.over{border-color:var(--accent);background:var(--on)}
.tag{font-size:12px;font-weight:700;color:var(--accent);letter-spacing:.08em}
.name{font-weight:600;word-break:break-all}
.path{color:var(--dim);font-size:12px;word-break:break-all}
button{font:inherit;border:1px solid var(--line);background:var(--card);color:inherit;border-radius:8px;padding:6px 14px;cursor:pointer}
button.primary{background:var(--accent);border-color:var(--accent);color:#fff}
button:disabled{opacity:.45;cursor:default}
.go{margin-top:26px;display:flex;gap:10px;justify-content:flex-end}
</style></head><body>
<main>
  <h1>Compare documents</h1>
  <div class="sub">Put one document in each slot: choose it, or drop it on the slot. Words that were added or removed are marked side by side.</div>
  <div class="slots">
    <div class="slot" id="slotA" data-side="a"><div class="tag">A</div><div class="name" id="nameA">No document yet</div><div class="path" id="pathA"></div><button id="pickA">Choose…</button></div>
    <div class="slot" id="slotB" data-side="b"><div class="tag">B</div><div class="name" id="nameB">No document yet</div><div class="path" id="pathB"></div><button id="pickB">Choose…</button></div>
  </div>
  <div class="go">
    <button id="visual" hidden title="Compare the pages of the two PDFs as images">Compare Page Images</button>
    <button id="compare" class="primary" disabled>Compare</button>
  </div>
</main>
<script>
var slots = { a: '', b: '' };
function $(id) { return document.getElementById(id); }
function ask(op, args) {
  var q = [];
  for (var k in args) q.push(encodeURIComponent(k) + '=' + encodeURIComponent(args[k]));
  var f = document.createElement('iframe');
  f.style.display = 'none';
  f.src = 'qrtiz://' + op + (q.length ? '?' + q.join('&') : '');
  document.body.appendChild(f);
  setTimeout(function () { f.remove(); }, 2000);
}
function isPdf(p) { return /\.pdf$/i.test(p); }
window.cvlCompareSet = function (side, path, name) {
  var s = side === 'b' ? 'b' : 'a', S = s.toUpperCase();
  slots[s] = path;
  $('name' + S).textContent = name;
  $('path' + S).textContent = path;
  $('slot' + S).classList.add('full');
  $('compare').disabled = !(slots.a && slots.b);
  $('visual').hidden = !(slots.a && slots.b && isPdf(slots.a) && isPdf(slots.b));
};
$('pickA').onclick = function () { ask('comparepick', { side: 'a' }); };
$('pickB').onclick = function () { ask('comparepick', { side: 'b' }); };
$('compare').onclick = function () { ask('comparego', { a: slots.a, b: slots.b }); };
$('visual').onclick = function () { ask('comparego', { a: slots.a, b: slots.b, visual: '1' }); };
// Dropped files arrive as file addresses; the host keeps those that exist and are not folders.
// One file goes to the slot it was dropped on (or the nearer half of the window).
function droppedPaths(dt) {
  var list = (dt.getData('text/uri-list') || '').split(/\r?\n/), out = [];
  list.forEach(function (u) {
    u = u.trim();
    if (!u || u[0] === '#' || u.indexOf('file://') !== 0) return;
    try { out.push(decodeURIComponent(u.replace(/^file:\/\/[^\/]*/, ''))); } catch (e) {}
  });
  return out;
}
function sideAt(e) {
  var slot = e.target && e.target.closest ? e.target.closest('.slot') : null;
  if (slot) return slot.dataset.side;
  return e.clientX < window.innerWidth / 2 ? 'a' : 'b';
}
document.addEventListener('dragover', function (e) {
  e.preventDefault();
  var side = sideAt(e);
  $('slotA').classList.toggle('over', side === 'a');
  $('slotB').classList.toggle('over', side === 'b');
});
document.addEventListener('dragleave', function (e) {
  if (e.target === document.documentElement || e.target === document.body) { $('slotA').classList.remove('over'); $('slotB').classList.remove('over'); }
});
document.addEventListener('drop', function (e) {
  e.preventDefault();
  $('slotA').classList.remove('over'); $('slotB').classList.remove('over');
  var paths = droppedPaths(e.dataTransfer);
  if (paths.length) ask('comparepick', { side: sideAt(e), paths: JSON.stringify(paths) });
});
</script></body></html>
)HTML";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::optional<std::string> writePage(const std::string& prefix, const std::string& html) {
    const std::string dir = UserDirs::archiveDir();
    if (!makeDirs(dir)) return std::nullopt;
    std::string path = dir + "/" + prefix + newUuid() + ".html";
    if (!writeFileAtomic(path, html).ok()) return std::nullopt;
    return path;
}

}  // namespace

std::string scriptString(const std::string& text) {
    std::string quoted = jsQuote(text);
    return replaceAll(quoted.substr(1, quoted.size() - 2), "</", "<\\/");
}

std::string visualComparePage(const std::string& a, const std::string& b) {
    // One pass over the template, so that a value holding a placeholder's text stays as it is.
    const std::pair<std::string, std::string> values[] = {
        {"__A__", scriptString(a)},
        {"__B__", scriptString(b)},
        {"__NAMEA__", scriptString(lastPathComponent(a))},
        {"__NAMEB__", scriptString(lastPathComponent(b))},
    };
    const std::string_view page = kVisualCompare;
    std::string out;
    out.reserve(page.size() + a.size() * 2 + b.size() * 2);
    for (std::size_t i = 0; i < page.size();) {
        bool replaced = false;
        if (page[i] == '_')
            for (const auto& [key, value] : values)
                if (page.compare(i, key.size(), key) == 0) {
                    out += value;
                    i += key.size();
                    replaced = true;
                    break;
                }
        if (!replaced) out += page[i++];
    }
    return out;
}

std::optional<std::string> writeVisualComparePage(const std::string& a, const std::string& b) {
    return writePage(".vdiff-", visualComparePage(a, b));
}

std::string intakePage() {
    return kIntake;
}

std::optional<std::string> writeIntakePage() {
    return writePage(".compare-", kIntake);
}

}  // namespace cvl::ComparePages
