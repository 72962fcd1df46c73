// The reader's document menu (print, information, rename, copy, duplicate, compress, show in
// folder, mail, open in the word processor, annotated copy and notes, keeping the screen
// awake), its Info pane and the offer to become the default PDF viewer. Loaded by reader.html
// after reader.js; everything it does is a bridge operation the host answers.

const params = new URLSearchParams(location.search);
const PDF = params.get('pdf') || '';
const ORIG = params.get('orig') || PDF;
const TEST_LAUNCH = params.get('nosync') === '1';
const $ = (id) => document.getElementById(id);
const baseName = (p) => String(p || '').split('/').pop();

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
const toast = (text, isError) => window.cvlToast && window.cvlToast(text, isError);

const style = document.createElement('style');
style.textContent = `
#studioMenu{position:fixed;z-index:20;min-width:250px;padding:5px;border-radius:10px;background:var(--card);border:1px solid var(--line);box-shadow:0 8px 28px rgba(0,0,0,.22)}
#studioMenu[hidden]{display:none}
#studioMenu button{display:flex;justify-content:space-between;gap:18px;width:100%;text-align:left;height:28px;padding:0 10px;border:none;border-radius:6px;background:none;cursor:pointer;font-size:13px}
#studioMenu button:hover,#studioMenu button:focus{background:var(--accent);color:var(--accentfg);outline:none}
#studioMenu .key{color:var(--dim)}#studioMenu button:hover .key{color:inherit}
#studioMenu hr{border:none;border-top:1px solid var(--line);margin:4px 6px}
#renameBox{position:fixed;z-index:21;left:50%;top:70px;transform:translateX(-50%);width:380px;padding:14px;border-radius:12px;background:var(--card);border:1px solid var(--line);box-shadow:0 10px 32px rgba(0,0,0,.25)}
#renameBox[hidden]{display:none}
#renameBox input{width:100%;box-sizing:border-box;height:32px;padding:0 10px;border-radius:8px;border:1px solid var(--line);background:var(--bg)}
#renameBox .row{display:flex;justify-content:flex-end;gap:8px;margin-top:10px}
#renameBox button{height:30px;padding:0 14px;border-radius:8px;border:1px solid var(--line);background:var(--bg);cursor:pointer}
#renameBox button.primary{background:var(--accent);color:var(--accentfg);border-color:var(--accent)}
#renameBox .err{color:#c0392b;margin-top:6px;min-height:1.2em;font-size:12px}
#infoPane .cvlInfo{font-size:12.5px}
#defaultBar{flex:none;display:flex;align-items:center;gap:8px;padding:7px 14px;background:var(--bar);border-bottom:1px solid var(--line)}
#defaultBar[hidden]{display:none}#defaultBar span{flex:1}
#defaultBar button{height:26px;padding:0 10px;border-radius:7px;border:1px solid var(--line);background:var(--card);cursor:pointer}
#defaultBar button.primary{background:var(--accent);color:var(--accentfg);border-color:var(--accent)}
`;
document.head.appendChild(style);

while (!window.__cvlReader || !window.pdfViewer) await new Promise((r) => setTimeout(r, 30));
const viewer = window.pdfViewer;
const reader = window.__cvlReader;
const annotate = () => window.__cvlAnnotate || null;

// ---- actions ----------------------------------------------------------------------------------
let keepAwake = sessionStorage.getItem('cvlKeepAwake') === '1';
async function print() {
  // Unsaved or not, the page's own bytes carry its annotations.
  const a = annotate();
  try { window.__cvlPrintB64 = a ? await a.currentBytes() : ''; } catch (e) { window.__cvlPrintB64 = ''; }
  ask('printdoc', { page: viewer.currentPageNumber || 1 });
}
window.__cvlPrintB = (r) => {
  window.__cvlLastPrint = r;
  window.__cvlPrintB64 = '';
};
function setKeepAwake(on) {
  keepAwake = !!on;
  sessionStorage.setItem('cvlKeepAwake', keepAwake ? '1' : '0');
  ask('keepawake', { on: keepAwake ? '1' : '0' });
  toast(keepAwake ? 'The screen stays on while this document is open' : 'The screen may turn off again');
}
if (keepAwake) ask('keepawake', { on: '1' });

const rows = [
  ['Print…', 'Ctrl+P', print],
  ['Info', 'Ctrl+I', () => showInfo()],
  null,
  ['Rename…', '', () => openRename()],
  ['Duplicate', '', () => ask('duplicatefile', {})],
  ['Copy File', '', () => ask('copyfile', {})],
  ['Compress…', '', () => ask('compressfile', {})],
  ['Show in Folder', '', () => ask('reveal', {})],
  ['Share by E-mail…', '', () => ask('share', {})],
  ['Open in Word Processor', '', () => ask('openinword', {})],
  null,
  ['Save a Copy with Annotations…', '', () => annotate() && annotate().saveCopy()],
  ['Export Notes', '', () => annotate() && annotate().exportNotes()],
  null,
  [() => (keepAwake ? '✓ ' : '') + 'Keep the Screen On', '', () => setKeepAwake(!keepAwake)],
];

const menuButton = el('button', '', '⋯');
menuButton.id = 'btnStudio';
menuButton.title = 'Document menu';
const lastGroup = [...document.querySelectorAll('#bar .grp')].pop();
lastGroup.appendChild(menuButton);
const menu = el('div');
menu.id = 'studioMenu';
menu.hidden = true;
menu.setAttribute('role', 'menu');
document.body.appendChild(menu);
function renderMenu() {
  menu.textContent = '';
  for (const row of rows) {
    if (!row) { menu.appendChild(el('hr')); continue; }
    const [label, key, fn] = row;
    const b = el('button');
    b.type = 'button';
    b.setAttribute('role', 'menuitem');
    b.appendChild(el('span', '', typeof label === 'function' ? label() : label));
    if (key) b.appendChild(el('span', 'key', key));
    b.onclick = () => { closeMenu(); fn(); };
    menu.appendChild(b);
  }
}
function openMenu() {
  renderMenu();
  const r = menuButton.getBoundingClientRect();
  menu.hidden = false;
  menu.style.top = (r.bottom + 4) + 'px';
  menu.style.left = Math.max(8, Math.min(window.innerWidth - menu.offsetWidth - 8, r.right - menu.offsetWidth)) + 'px';
  menu.querySelector('button').focus();
}
function closeMenu() { menu.hidden = true; }
menuButton.onclick = (e) => { e.stopPropagation(); if (menu.hidden) openMenu(); else closeMenu(); };
document.addEventListener('click', (e) => { if (!menu.hidden && !menu.contains(e.target)) closeMenu(); });
menu.addEventListener('keydown', (e) => {
  const items = [...menu.querySelectorAll('button')];
  const i = items.indexOf(document.activeElement);
  if (e.key === 'ArrowDown') { e.preventDefault(); items[(i + 1) % items.length].focus(); }
  else if (e.key === 'ArrowUp') { e.preventDefault(); items[(i - 1 + items.length) % items.length].focus(); }
  else if (e.key === 'Escape') { closeMenu(); menuButton.focus(); }
});
document.addEventListener('keydown', (e) => {
  const mod = e.ctrlKey || e.metaKey;
  if (mod && !e.shiftKey && e.key.toLowerCase() === 'p') { e.preventDefault(); print(); }
  else if (mod && !e.shiftKey && e.key.toLowerCase() === 'i') { e.preventDefault(); showInfo(); }
});

// ---- rename -----------------------------------------------------------------------------------------
const renameBox = el('form');
renameBox.id = 'renameBox';
renameBox.hidden = true;
renameBox.appendChild(el('div', '', 'Rename the document'));
const renameInput = el('input');
renameInput.spellcheck = false;
const renameErr = el('div', 'err');
const renameRow = el('div', 'row');
const renameCancel = el('button', '', 'Cancel');
renameCancel.type = 'button';
const renameGo = el('button', 'primary', 'Rename');
renameGo.type = 'submit';
renameRow.append(renameCancel, renameGo);
renameBox.append(renameInput, renameErr, renameRow);
document.body.appendChild(renameBox);
function openRename() {
  renameInput.value = baseName(ORIG);
  renameErr.textContent = '';
  renameBox.hidden = false;
  renameInput.focus();
  const dot = renameInput.value.lastIndexOf('.');
  renameInput.setSelectionRange(0, dot > 0 ? dot : renameInput.value.length);
}
renameCancel.onclick = () => { renameBox.hidden = true; };
renameBox.onsubmit = (e) => {
  e.preventDefault();
  const name = renameInput.value.trim();
  if (!name || name === baseName(ORIG)) { renameBox.hidden = true; return; }
  renameErr.textContent = '';
  // The renamed document opens in this tab's place when the host has renamed it.
  ask('readerrename', { name, page: viewer.currentPageNumber || 1 });
};
renameBox.addEventListener('keydown', (e) => { if (e.key === 'Escape') renameBox.hidden = true; });
window.__cvlRenameFail = (message) => {
  renameBox.hidden = false;
  renameErr.textContent = String(message || 'The document could not be renamed.');
  window.__cvlLastRenameFail = renameErr.textContent;
};

// ---- information pane -----------------------------------------------------------------------------
const infoPane = el('div');
infoPane.id = 'infoPane';
infoPane.hidden = true;
infoPane.appendChild(el('div', 'paneTitle', 'Info'));
const infoView = el('div', 'cvlInfo');
infoView.textContent = 'Reading…';
infoPane.appendChild(infoView);
$('side').appendChild(infoPane);
window.__cvlSidePanes = { ...(window.__cvlSidePanes || {}), info: infoPane };
const infoScript = new Promise((resolve) => {
  const s = document.createElement('script');
  s.src = '../../docinfo.js';
  s.onload = resolve;
  s.onerror = resolve;
  document.head.appendChild(s);
});
function showInfo() {
  if (!$('side').hidden && !infoPane.hidden) { reader.showSide('info'); return; }
  reader.showSide('info');
  infoView.textContent = 'Reading…';
  ask('getinfo', {});
}
window.cvlDocInfo = async (info) => {
  window.__cvlLastDocInfo = info;
  await infoScript;
  if (window.cvlDocInfoView) window.cvlDocInfoView(infoView, info, { ask });
  else infoView.textContent = 'The information view is missing.';
};

// ---- default viewer ------------------------------------------------------------------------------------
const defaultBar = el('div');
defaultBar.id = 'defaultBar';
defaultBar.hidden = true;
$('bar').after(defaultBar);
window.cvlOfferDefault = (offer) => {
  window.__cvlLastOffer = offer;
  if (!offer || offer.pdf) return;
  defaultBar.textContent = '';
  const total = offer.total || 0;
  defaultBar.appendChild(el('span', '', 'Open PDFs with Corvello?' + (total ? ' It opens ' + (offer.claimed || 0) + ' of the ' + total + ' document types it knows.' : '')));
  const button = (label, op, primary) => {
    const b = el('button', primary ? 'primary' : '', label);
    b.type = 'button';
    b.onclick = () => { ask(op, {}); if (!op.startsWith('setdefault')) defaultBar.hidden = true; };
    defaultBar.appendChild(b);
  };
  button('Make Default', 'setdefaultpdf', true);
  button('For All Documents', 'setdefaultall');
  button('Later', 'defaultsnooze');
  button('Never', 'defaultnever');
  defaultBar.hidden = false;
};
window.__cvlDefaultBusy = (busy) => {
  defaultBar.querySelectorAll('button').forEach((b) => { b.disabled = !!busy; });
  if (!busy) defaultBar.hidden = true;
};
if (!TEST_LAUNCH && /\.pdf$/i.test(ORIG)) setTimeout(() => ask('defaultpdf', {}), 1500);

window.__cvlStudio = { print, showInfo, openRename, setKeepAwake, openMenu, closeMenu, rows };
