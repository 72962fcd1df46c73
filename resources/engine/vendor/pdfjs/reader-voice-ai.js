// The reader's read-aloud control (the spoken word highlighted on the page), its Translate
// and Ask panel (answered on this computer through the "translate", "ask" and "aistatus"
// messages), and the AI table of contents in the outline panel. Loaded by reader.html after
// reader.js; it reaches the reader only through what reader.js exposes on window.

const $ = (id) => document.getElementById(id);
function post(body) {
  try { window.webkit.messageHandlers.corvello.postMessage(body); } catch (e) { /* not hosted */ }
}
function ask(op, args) {
  const q = Object.entries(args || {})
    .map(([k, v]) => encodeURIComponent(k) + '=' + encodeURIComponent(v == null ? '' : String(v)))
    .join('&');
  const frame = document.createElement('iframe');
  frame.style.display = 'none';
  frame.src = 'qrtiz://' + op + (q ? '?' + q : '');
  document.body.appendChild(frame);
  setTimeout(() => frame.remove(), 2000);
}
function el(tag, cls, text) {
  const n = document.createElement(tag);
  if (cls) n.className = cls;
  if (text !== undefined) n.textContent = text;
  return n;
}
function button(label, title, onclick) {
  const b = el('button', '', label);
  b.type = 'button';
  b.title = title;
  b.onclick = onclick;
  return b;
}

const style = document.createElement('style');
style.textContent = `
#speakBar{position:fixed;left:50%;bottom:44px;transform:translateX(-50%);display:flex;align-items:center;gap:6px;padding:6px 10px;border-radius:12px;background:var(--card);border:1px solid var(--line);box-shadow:0 4px 18px rgba(0,0,0,.18);z-index:9}
#speakBar[hidden]{display:none}
#speakBar button,#speakBar select{height:28px;border-radius:7px;border:1px solid var(--line);background:var(--bg);cursor:pointer;min-width:30px;padding:0 10px}
#speakBar .what{font-size:12px;color:var(--dim);max-width:260px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.cvlSpoken{position:absolute;background:rgba(47,109,179,.28);outline:2px solid rgba(47,109,179,.55);border-radius:3px;pointer-events:none;z-index:3}
#aiPane label{display:block;font-size:12px;color:var(--dim);margin:10px 2px 4px}
#aiPane select,#aiPane textarea{width:100%;box-sizing:border-box;border:1px solid var(--line);border-radius:7px;background:var(--card);color:inherit;font:inherit}
#aiPane select{height:28px}#aiPane textarea{min-height:64px;padding:6px 8px;resize:vertical}
#aiPane .row{display:flex;gap:6px;margin-top:8px;flex-wrap:wrap}
#aiPane .row button,#aiToc button{height:28px;padding:0 10px;border-radius:7px;border:1px solid var(--line);background:var(--card);cursor:pointer}
#aiPane .out{margin-top:8px;padding:8px 10px;border-radius:8px;border:1px solid var(--line);background:var(--card);white-space:pre-wrap;min-height:1.4em}
#aiPane .out.err,#aiToc .err{color:#c0392b}
#aiPane .langs{display:flex;gap:6px}#aiPane .langs>div{flex:1}
#aiToc{margin-top:14px;border-top:1px solid var(--line);padding-top:10px}
#aiTocList{list-style:none;margin:6px 0 0;padding:0}
#aiTocList a{display:block;padding:3px 4px;border-radius:5px;color:inherit;text-decoration:none}#aiTocList a:hover{background:var(--line)}
`;
document.head.appendChild(style);

// reader.js finishes setting up after its viewer module loads.
while (!window.__cvlReader || !window.pdfViewer) await new Promise((r) => setTimeout(r, 30));
const viewer = window.pdfViewer;
const reader = window.__cvlReader;
const toolbar = document.querySelector('#bar .grp');

// ---- read aloud -----------------------------------------------------------------------------------
// The page keeps the text being read in window.__cvlSpeakText; the host reports each word as
// a UTF-16 range of it. Every report carries the generation of its reading: reports of an
// older reading are ignored.
const RATE_NORMAL = 175;
let gen = 0;
let state = 'stopped';
let readingPage = 0;   // the page being read, 0 when reading a selection
let pieces = [];       // [{node, start, end}]: text-layer nodes and their place in the text
window.__cvlSpeakText = '';
window.__cvlSpeakLog = [];

const speakBtn = button('Listen', 'Read this page (or the selected text) aloud', () => toggleSpeech());
speakBtn.style.fontSize = '13px';
toolbar.appendChild(speakBtn);
const bar = el('div');
bar.id = 'speakBar';
bar.hidden = true;
const playBtn = button('Pause', 'Pause', () => playPause());
const stopBtn = button('Stop', 'Stop reading', () => stopSpeech());
const rateSel = el('select');
rateSel.title = 'Speed';
for (const [v, label] of [[0.75, '0.75\u00d7'], [1, '1\u00d7'], [1.25, '1.25\u00d7'], [1.5, '1.5\u00d7'], [2, '2\u00d7']]) {
  const o = el('option', '', label);
  o.value = String(v);
  if (v === 1) o.selected = true;
  rateSel.appendChild(o);
}
const what = el('span', 'what');
bar.append(playBtn, stopBtn, rateSel, what);
document.body.appendChild(bar);
rateSel.onchange = () => { if (state !== 'stopped') start(readingPage || viewer.currentPageNumber, !readingPage); };

function pageLayer(page) {
  const view = viewer.getPageView(page - 1);
  return view && view.div ? view.div.querySelector('.textLayer') : null;
}

// The page's text from its drawn text layer, remembering which node holds which part so that
// spoken words can be marked; from the document's text when the layer is not drawn yet.
async function pageText(page) {
  pieces = [];
  const layer = pageLayer(page);
  let text = '';
  if (layer && layer.querySelector('span')) {
    for (const span of layer.querySelectorAll('span')) {
      if (span.firstElementChild) continue;
      const node = span.firstChild;
      if (!node || node.nodeType !== 3 || !node.data) continue;
      const brk = span.previousElementSibling && span.previousElementSibling.tagName === 'BR';
      if (text && !/[\s-]$/.test(text) && (brk || !/^\s/.test(node.data))) text += brk ? '\n' : ' ';
      pieces.push({ node, start: text.length, end: text.length + node.data.length });
      text += node.data;
    }
    return text;
  }
  const doc = viewer.pdfDocument;
  if (!doc) return '';
  const content = await (await doc.getPage(page)).getTextContent();
  return content.items.map((i) => i.str + (i.hasEOL ? '\n' : ' ')).join('');
}

function clearSpoken() { document.querySelectorAll('.cvlSpoken').forEach((n) => n.remove()); }

function markSpoken(loc, len) {
  clearSpoken();
  if (!readingPage) return;
  const view = viewer.getPageView(readingPage - 1);
  if (!view || !view.div) return;
  const base = view.div.getBoundingClientRect();
  let first = null;
  for (const p of pieces) {
    if (p.end <= loc || p.start >= loc + len) continue;
    const range = document.createRange();
    range.setStart(p.node, Math.max(0, loc - p.start));
    range.setEnd(p.node, Math.min(p.node.data.length, loc + len - p.start));
    for (const r of range.getClientRects()) {
      const d = el('div', 'cvlSpoken');
      d.style.left = (r.left - base.left - 1) + 'px';
      d.style.top = (r.top - base.top - 1) + 'px';
      d.style.width = (r.width + 2) + 'px';
      d.style.height = (r.height + 2) + 'px';
      view.div.appendChild(d);
      first = first || d;
    }
  }
  if (first) {
    const box = first.getBoundingClientRect();
    const c = $('viewerContainer').getBoundingClientRect();
    if (box.top < c.top || box.bottom > c.bottom) first.scrollIntoView({ block: 'center' });
  }
}

function selectedText() {
  const sel = window.getSelection();
  const t = sel && !sel.isCollapsed ? sel.toString() : '';
  const node = t ? sel.anchorNode : null;
  const at = node && (node.nodeType === 1 ? node : node.parentElement);
  return at && at.closest('#viewer') ? t : '';
}

async function start(page, selection) {
  gen += 1;
  const mine = gen;
  readingPage = selection ? 0 : page;
  const text = selection ? selectedText() : await pageText(page);
  if (mine !== gen) return;
  window.__cvlSpeakText = text;
  what.textContent = selection ? 'Reading the selection' : 'Reading page ' + page;
  bar.hidden = false;
  speakBtn.classList.add('on');
  setState('playing');
  ask('speak', { rate: Math.round(RATE_NORMAL * Number(rateSel.value)), gen: mine });
}

function setState(s) {
  state = s;
  playBtn.textContent = s === 'paused' ? 'Continue' : 'Pause';
  playBtn.title = s === 'paused' ? 'Continue' : 'Pause';
}

function toggleSpeech() {
  if (state !== 'stopped') { stopSpeech(); return; }
  const sel = selectedText();
  start(viewer.currentPageNumber || 1, !!sel);
}
function playPause() {
  if (state === 'playing') ask('speakpause', {});
  else if (state === 'paused') ask('speakresume', {});
}
function stopSpeech() {
  gen += 1;
  ask('speakstop', {});
  finish();
}
function finish() {
  setState('stopped');
  clearSpoken();
  bar.hidden = true;
  speakBtn.classList.remove('on');
}

window.cvlSpeakRange = (loc, len, g) => {
  window.__cvlSpeakLog.push(['range', loc, len, g]);
  if (g === gen) markSpoken(loc, len);
};
window.cvlSpeakState = (s, g) => {
  window.__cvlSpeakLog.push(['state', s, g]);
  if (g !== gen) return;
  if (s === 'stopped') finish(); else setState(s);
};
window.cvlSpeakDone = (g) => {
  window.__cvlSpeakLog.push(['done', g]);
  if (g !== gen) return;
  clearSpoken();
  // A page read to its end goes on with the next page.
  if (readingPage && readingPage < viewer.pagesCount && state !== 'stopped') {
    viewer.currentPageNumber = readingPage + 1;
    const next = readingPage + 1;
    // The next page's text layer is drawn once it is shown.
    setTimeout(() => { if (state !== 'stopped') start(next, false); }, 400);
    return;
  }
  finish();
};

// ---- Translate and Ask ------------------------------------------------------------------------------
const LANGS = [['auto', 'Detect'], ['en', 'English'], ['es', 'Spanish'], ['ca', 'Catalan'], ['fr', 'French'],
  ['it', 'Italian'], ['pt', 'Portuguese'], ['gl', 'Galician'], ['eu', 'Basque'], ['de', 'German'], ['nl', 'Dutch'],
  ['da', 'Danish'], ['sv', 'Swedish'], ['nb', 'Norwegian Bokmål'], ['ru', 'Russian'], ['uk', 'Ukrainian']];
const side = $('side');
const pane = el('div');
pane.id = 'aiPane';
pane.hidden = true;
side.appendChild(pane);
(window.__cvlSidePanes = window.__cvlSidePanes || {}).ai = pane;
const aiBtn = button('AI', 'Translate and ask about this document', () => {
  reader.showSide('ai');
  const open = !side.hidden && !pane.hidden;
  aiBtn.classList.toggle('on', open);
  if (open) requestStatus();
});
aiBtn.style.fontSize = '13px';
toolbar.appendChild(aiBtn);
for (const id of ['btnSearch', 'btnOutline', 'btnLinks']) $(id).addEventListener('click', () => aiBtn.classList.remove('on'));

function langSelect(withAuto, chosen) {
  const s = el('select');
  for (const [v, label] of LANGS) {
    if (v === 'auto' && !withAuto) continue;
    const o = el('option', '', label);
    o.value = v;
    o.selected = v === chosen;
    s.appendChild(o);
  }
  return s;
}
pane.appendChild(el('div', 'paneTitle', 'Translate'));
const langs = el('div', 'langs');
const fromBox = el('div'); fromBox.appendChild(el('label', '', 'From'));
const fromSel = langSelect(true, 'auto'); fromBox.appendChild(fromSel);
const toBox = el('div'); toBox.appendChild(el('label', '', 'To'));
const toSel = langSelect(false, 'en'); toBox.appendChild(toSel);
langs.append(fromBox, toBox);
pane.appendChild(langs);
const trRow = el('div', 'row');
const trOut = el('div', 'out dim', 'The page or the selected text, translated on this computer.');
trRow.append(button('Translate page', 'Translate the page shown', () => translate(false)),
  button('Translate selection', 'Translate the selected text', () => translate(true)));
pane.append(trRow, trOut);

pane.appendChild(el('div', 'paneTitle', 'Ask'));
const question = el('textarea');
question.placeholder = 'Ask about the page shown';
const askRow = el('div', 'row');
const askOut = el('div', 'out dim', '');
askOut.hidden = true;
const modelNote = el('div', 'dim', '');
modelNote.style.fontSize = '12px';
modelNote.style.marginTop = '6px';
askRow.append(button('Ask', 'Ask the local model about this page', () => askModel()),
  button('Ask about the whole document…', 'Open the Ask window for this document',
    () => ask('ask', { path: new URLSearchParams(location.search).get('orig') || '' })));
pane.append(question, askRow, askOut, modelNote);

let aiSeq = 0;
const pendingAI = {};
function request(action, body, box) {
  const id = 'r' + (++aiSeq);
  pendingAI[id] = box;
  if (box !== modelNote) box.className = 'out dim';
  box.hidden = false;
  box.textContent = action === 'translate' ? 'Translating…' : action === 'ask' ? 'Thinking…' : '';
  post(Object.assign({ action, id }, body));
  return id;
}
window.CorvelloMacAI = {
  _partial(id, text) {
    const box = pendingAI[id];
    if (box) { box.className = 'out'; box.textContent = text; }
  },
  _reply(id, ok, payload, code) {
    const box = pendingAI[id];
    delete pendingAI[id];
    window.__cvlLastAI = { id, ok, payload, code };
    if (!box) return;
    if (box === modelNote) {
      let s = {};
      try { s = JSON.parse(payload); } catch (e) { /* shown as unavailable */ }
      box.textContent = s.available ? 'Answers come from the local model.'
        : 'No local model answers here' + (s.detail ? ': ' + s.detail : '.');
      return;
    }
    box.className = ok ? 'out' : 'out err';
    box.textContent = payload;
  },
};
// A question typed into the command bar: asked here, about the page shown.
window.CorvelloMacAI.askQuestion = (text) => {
  if (side.hidden || pane.hidden) aiBtn.click();
  question.value = String(text || '');
  askModel();
};
function requestStatus() { request('aistatus', {}, modelNote); }
async function translate(selection) {
  const text = selection ? selectedText() : await pageText(viewer.currentPageNumber || 1);
  if (!text.trim()) {
    trOut.className = 'out err';
    trOut.textContent = selection ? 'Select some text on the page first.' : 'This page has no text to translate.';
    return;
  }
  request('translate', { text, from: fromSel.value, to: toSel.value }, trOut);
}
async function askModel() {
  const q = question.value.trim();
  if (!q) { question.focus(); return; }
  const page = viewer.currentPageNumber || 1;
  const text = (await pageText(page)).slice(0, 12000);
  request('ask', {
    system: 'Answer the question from the page of the document below. Say so when the page does not answer it. Be brief.',
    prompt: 'Page ' + page + ' of the document:\n' + text + '\n\nQuestion: ' + q,
    maxTokens: 700,
  }, askOut);
}

// ---- AI table of contents -----------------------------------------------------------------------------
const tocBox = el('div');
tocBox.id = 'aiToc';
const tocBtn = button('Build a table of contents', 'Find the headings of this document', () => {
  tocBtn.disabled = true;
  tocStatus.className = 'dim';
  tocStatus.textContent = 'Reading the document…';
  tocList.textContent = '';
  ask('aitoc', {});
});
const tocStatus = el('div', 'dim', '');
tocStatus.style.fontSize = '12px';
tocStatus.style.marginTop = '6px';
const tocList = el('ul');
tocList.id = 'aiTocList';
tocBox.append(tocBtn, tocStatus, tocList);
$('outlinePane').appendChild(tocBox);
window.cvlTocProgress = (line) => { tocStatus.className = 'dim'; tocStatus.textContent = String(line); };
window.cvlAiToc = (text) => {
  tocBtn.disabled = false;
  let toc = null;
  try { toc = JSON.parse(text); } catch (e) { toc = { error: 'The table of contents could not be read.' }; }
  window.__cvlLastAiToc = toc;
  tocList.textContent = '';
  if (!toc || toc.error) {
    tocStatus.className = 'err';
    tocStatus.textContent = (toc && toc.error) || 'No table of contents came back.';
    return;
  }
  const entries = toc.entries || [];
  tocStatus.textContent = entries.length + (entries.length === 1 ? ' heading' : ' headings') +
    (toc.source === 'outline' ? ' from the document\u2019s outline' : ' found from the page layout');
  for (const e of entries) {
    const li = el('li');
    const a = el('a', '', e.title);
    a.href = '#';
    a.style.paddingLeft = (4 + 12 * Math.max(0, (e.level || 1) - 1)) + 'px';
    a.onclick = (ev) => { ev.preventDefault(); if (e.page) viewer.currentPageNumber = e.page; };
    li.appendChild(a);
    tocList.appendChild(li);
  }
};

window.__cvlVoiceAI = { start, toggleSpeech, stopSpeech, playPause, translate, askModel };
