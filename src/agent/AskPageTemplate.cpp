// The Ask window's page. Values come in as script literals (see AskWindow::fill); everything
// the answers carry is put on the page as text, never as markup.
#include "agent/AskWindow.h"

namespace cvl::AskWindow {

const std::string& pageTemplate() {
    static const std::string page = R"ASK(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta name="color-scheme" content="light dark">
<title>Ask</title>
<style>
:root{--bg:#f6f5f2;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.1);--accent:#2f6db3;--accentfg:#fff;--err:#b3261e}
@media (prefers-color-scheme: dark){:root{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.1);--accent:#6ea8e8;--accentfg:#10151c;--err:#ff8a7a}}
html,body{margin:0;height:100%;background:var(--bg);color:var(--fg);font:14px/1.5 Inter,system-ui,Cantarell,"DejaVu Sans",sans-serif}
body{display:flex;flex-direction:column}
header{padding:16px 22px 10px;border-bottom:1px solid var(--line)}
header h1{font-size:18px;margin:0;overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
.dim{color:var(--dim)}
#files{display:flex;flex-wrap:wrap;gap:6px;margin-top:8px}
#files button{border:1px solid var(--line);background:var(--card);border-radius:14px;padding:3px 10px;cursor:pointer;font:inherit;color:inherit}
#files button.on{background:var(--accent);color:var(--accentfg);border-color:var(--accent)}
#log{flex:1;overflow:auto;padding:16px 22px;display:flex;flex-direction:column;gap:12px}
.msg{max-width:760px;padding:10px 14px;border-radius:12px;background:var(--card);border:1px solid var(--line);white-space:pre-wrap}
.msg.me{align-self:flex-end;background:var(--accent);color:var(--accentfg);border-color:var(--accent)}
.msg.err{color:var(--err)}
.msg .pg{font-size:12px;font-weight:600;color:var(--accent);margin-top:8px}
.msg ul{margin:6px 0 0;padding-left:18px}
.msg .quote{border-left:3px solid var(--line);padding-left:10px;margin-top:4px}
footer{padding:12px 22px 16px;border-top:1px solid var(--line)}
.quick{display:flex;gap:8px;margin-bottom:10px;flex-wrap:wrap}
.quick button,#f button{height:32px;padding:0 14px;border-radius:9px;border:1px solid var(--line);background:var(--card);cursor:pointer;font:inherit;color:inherit}
#f{display:flex;gap:8px}
#q{flex:1;height:34px;padding:0 12px;border-radius:9px;border:1px solid var(--line);background:var(--card);color:inherit;font:inherit}
#f button{background:var(--accent);color:var(--accentfg);border-color:var(--accent)}
</style>
</head>
<body>
<header>
  <h1 id="title"></h1>
  <div class="dim" id="sub"></div>
  <div id="files" hidden></div>
</header>
<main id="log" aria-live="polite"></main>
<footer>
  <div class="quick">
    <button type="button" data-mode="summarize">Summarize</button>
    <button type="button" data-mode="terms">Key terms</button>
    <button type="button" data-mode="status">What answers here?</button>
  </div>
  <form id="f" autocomplete="off">
    <input id="q" type="text" placeholder="Ask a question about this document" spellcheck="true">
    <button type="submit">Ask</button>
  </form>
</footer>
<script>
const DOC = __DOC__;
const NAME = __NAME__;
const ISFOLDER = __ISFOLDER__;
const FILES = __FILES__;
const COUNT = __COUNT__;
const AUTOQ = __AUTOQ__;

const $ = (id) => document.getElementById(id);
let current = ISFOLDER ? '' : DOC;
let seq = 0;
const waiting = {};

document.title = 'Ask · ' + NAME;
$('title').textContent = NAME;
$('sub').textContent = ISFOLDER
  ? (COUNT === 1 ? '1 document' : COUNT + ' documents') + ' · pick one to ask about'
  : 'Answers are worked out on this computer; nothing is sent anywhere.';

function el(tag, cls, text) {
  const n = document.createElement(tag);
  if (cls) n.className = cls;
  if (text !== undefined) n.textContent = text;
  return n;
}
function add(node) { $('log').appendChild(node); node.scrollIntoView({ block: 'end' }); return node; }

if (ISFOLDER) {
  const box = $('files');
  box.hidden = false;
  for (const f of FILES) {
    const b = el('button', '', f.n);
    b.type = 'button';
    b.title = f.t;
    b.onclick = () => {
      current = DOC.replace(/\/$/, '') + '/' + f.n;
      box.querySelectorAll('button').forEach((x) => x.classList.toggle('on', x === b));
      $('sub').textContent = 'Asking about ' + f.n;
    };
    box.appendChild(b);
  }
}

function send(mode, question) {
  if (mode !== 'status' && !current) { add(el('div', 'msg err', 'Pick a document first.')); return; }
  const id = 'a' + (++seq);
  waiting[id] = add(el('div', 'msg dim', mode === 'ask' ? 'Reading…' : 'Working…'));
  const q = 'mode=' + encodeURIComponent(mode) + '&id=' + encodeURIComponent(id) +
    '&doc=' + encodeURIComponent(current) + '&q=' + encodeURIComponent(question || '');
  const frame = document.createElement('iframe');
  frame.style.display = 'none';
  frame.src = 'qrtiz://ai?' + q;
  document.body.appendChild(frame);
  setTimeout(() => frame.remove(), 2000);
}

function pageLine(p) { return p ? 'Page ' + p : ''; }

function render(box, a) {
  box.className = 'msg';
  box.textContent = '';
  if (!a || typeof a !== 'object') { box.textContent = String(a); return; }
  if (a.error) { box.className = 'msg err'; box.textContent = a.error; return; }
  switch (a.mode) {
    case 'summarize':
      box.appendChild(el('div', '', 'Summary'));
      for (const s of a.summary || []) {
        box.appendChild(el('div', 'quote', s.text));
        if (s.page) box.appendChild(el('div', 'pg', pageLine(s.page)));
      }
      return;
    case 'terms': {
      box.appendChild(el('div', '', 'Key terms'));
      const ul = el('ul');
      for (const t of a.terms || []) {
        const pages = (t.pages || []).slice(0, 8).join(', ');
        ul.appendChild(el('li', '', t.term + ' — ' + t.count + (pages ? ' (pages ' + pages + ')' : '')));
      }
      box.appendChild(ul);
      return;
    }
    case 'ask':
      if (a.answer) box.appendChild(el('div', '', a.answer));
      box.appendChild(el('div', a.answer ? 'dim' : '', a.passages && a.passages.length
        ? (a.answer ? 'From these passages:' : 'These passages answer it best:')
        : 'Nothing in this document matches that question.'));
      for (const p of a.passages || []) {
        box.appendChild(el('div', 'quote', p.text));
        if (p.page) box.appendChild(el('div', 'pg', pageLine(p.page)));
      }
      return;
    case 'status': {
      const m = a.model || {};
      box.textContent = 'Summaries, key terms and passages are worked out here, offline. ' +
        (m.available ? 'Answers in your own words come from the local model ' + (m.model || '') + '.'
          : 'No local model answers in words: ' + (m.detail || 'none is set up') );
      return;
    }
    default:
      box.textContent = JSON.stringify(a);
  }
}

window.cvReply = (id, answer) => {
  const box = waiting[id];
  if (!box) return;
  delete waiting[id];
  window.__cvlLastAnswer = answer;
  render(box, answer);
};
window.cvStatus = (s) => { window.__cvlAiStatus = s; };

document.querySelectorAll('.quick button').forEach((b) => {
  b.onclick = () => { add(el('div', 'msg me', b.textContent)); send(b.dataset.mode, ''); };
});
$('f').onsubmit = (e) => {
  e.preventDefault();
  const q = $('q').value.trim();
  if (!q) return;
  add(el('div', 'msg me', q));
  $('q').value = '';
  send('ask', q);
};
window.__cvlAsk = { send };
if (AUTOQ) { add(el('div', 'msg me', AUTOQ)); send('ask', AUTOQ); }
$('q').focus();
</script>
</body>
</html>
)ASK";
    return page;
}

}  // namespace cvl::AskWindow
