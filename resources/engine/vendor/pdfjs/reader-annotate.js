// The reader's annotations, made with pdf.js's annotation editor: highlights (on a text
// selection, or drawn over text), notes (free text), ink, and images the host reads from disk.
// Every change is saved into the document's annotated copy, which the host keeps beside its
// other memories and which this page opens instead of the plain document. Loaded by
// reader.html before reader.js: the choice of the copy is made before the document is fetched.

const params = new URLSearchParams(location.search);
const PDF = params.get('pdf') || '';
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

// ---- which bytes the reader opens ------------------------------------------------------------
// The host answers with the document's annotated copy (when it has a current one), the copy's
// content hash (the token autosaves must match), the document's state and the copies kept from
// earlier states of the document.
const SOURCE_WAIT_MS = 1500;
// The hash of the annotation changes last saved ('' for none); set before anything can ask.
let lastSavedHash = '';
function hasEdits() {
  const s = window.pdfViewer && window.pdfViewer.pdfDocument && window.pdfViewer.pdfDocument.annotationStorage;
  return !!(s && s.size);
}
const annot = {
  source: null,       // the host's answer
  token: '',          // the copy this page last read or wrote ('' for the plain document)
  signature: '',      // the document's state the page opened
  openedCopy: false,  // the page shows the annotated copy
  frozen: '',         // why autosave stopped ('' while it runs)
};
let sourceArrived;
const sourceAnswer = new Promise((resolve) => { sourceArrived = resolve; });
window.cvlAnnotSource = (r) => {
  if (!r || typeof r !== 'object') return;
  if (annot.source) return lateSource(r);
  annot.source = r;
  sourceArrived(r);
};
ask('annotsource', {});
// reader.js awaits this before fetching: the address of the bytes to show, or null for its own.
window.__cvlDocSource = Promise.race([
  sourceAnswer, new Promise((resolve) => setTimeout(() => resolve(null), SOURCE_WAIT_MS)),
]).then((r) => {
  if (!r) { annot.source = annot.source || { late: true }; return null; }
  annot.token = r.token || '';
  annot.signature = r.signature || '';
  annot.openedCopy = !!r.copy;
  return r.copy ? 'vtpdf://doc?p=' + encodeURIComponent(r.copy) : null;
});
// An answer after the page gave up waiting: a copy it did not open is opened now, unless work
// was done on the plain document meanwhile (that stays, and saving it is refused as a conflict).
function lateSource(r) {
  if (annot.source && !annot.source.late) return;
  annot.source = r;
  annot.signature = r.signature || '';
  if (r.copy && lastSavedHash === '' && !hasEdits() && !sessionStorage.getItem('cvlAnnotReloaded')) {
    sessionStorage.setItem('cvlAnnotReloaded', '1');
    location.reload();
    return;
  }
  annot.token = r.token || '';
  // Shown as a notice once the page is set up.
  if (r.copy) annot.frozen = 'The annotations of this document opened late; reopen it to see them.';
  if (r.copy && window.__cvlAnnotate) freeze(annot.frozen);
}

// ---- the rest waits for the viewer ---------------------------------------------------------------
while (!window.__cvlReader || !window.pdfViewer || !globalThis.pdfjsLib) await new Promise((r) => setTimeout(r, 30));
const viewer = window.pdfViewer;
const pdfjsLib = globalThis.pdfjsLib;
const Type = pdfjsLib.AnnotationEditorType;
const reader = window.__cvlReader;

function el(tag, cls, text) {
  const n = document.createElement(tag);
  if (cls) n.className = cls;
  if (text !== undefined) n.textContent = text;
  return n;
}
function toast(text, isError) { if (window.cvlToast) window.cvlToast(text, isError); }

const style = document.createElement('style');
style.textContent = `
#annotGrp button{font-size:13px;padding:0 9px}
#annotBar{flex:none;display:flex;align-items:center;gap:10px;padding:7px 14px;background:var(--bar);border-bottom:1px solid var(--line)}
#annotBar[hidden]{display:none}#annotBar span{flex:1}
#annotBar button{height:26px;padding:0 10px;border-radius:7px;border:1px solid var(--line);background:var(--card);cursor:pointer}
#annotBar.warn{background:#fff4d6;color:#5a4300}html[data-theme=dark] #annotBar.warn{background:#3a3016;color:#f3dfa6}
#annotState{font-size:12px;margin-left:10px}
`;
document.head.appendChild(style);

// ---- the editor ---------------------------------------------------------------------------------
let uiManager = null;
viewer.eventBus.on('annotationeditoruimanager', (e) => { uiManager = e.uiManager; });
const manager = () => uiManager || (viewer._layerProperties && viewer._layerProperties.annotationEditorUIManager) || null;
const editingAvailable = () => viewer.annotationEditorMode !== Type.DISABLE && !!manager();

const tools = [
  ['highlight', 'Highlight', 'Highlight the selected text, or drag over text to highlight it', Type.HIGHLIGHT],
  ['note', 'Note', 'Write a note on the page', Type.FREETEXT],
  ['ink', 'Draw', 'Draw on the page', Type.INK],
  ['image', 'Image', 'Place a picture on the page', Type.STAMP],
];
const group = el('div', 'grp');
group.id = 'annotGrp';
const buttons = {};
for (const [key, label, title, mode] of tools) {
  const b = el('button', '', label);
  b.type = 'button';
  b.title = title;
  b.dataset.mode = String(mode);
  // Pressing must not drop the selection a highlight is made of.
  b.addEventListener('mousedown', (e) => e.preventDefault());
  b.onclick = () => pickTool(key, mode);
  buttons[key] = b;
  group.appendChild(b);
}
const stateLabel = el('span', 'dim');
stateLabel.id = 'annotState';
group.appendChild(stateLabel);
document.querySelector('#bar .grp').after(group);

function setMode(mode) {
  if (!editingAvailable()) {
    toast('This document cannot be annotated here.', true);
    return false;
  }
  try { viewer.annotationEditorMode = { mode }; } catch (e) { toast('The annotation tools are not available: ' + e.message, true); return false; }
  return true;
}
function pickTool(key, mode) {
  if (annot.frozen) { toast(annot.frozen, true); return; }
  const current = viewer.annotationEditorMode;
  if (key === 'image') { ask('editimage', {}); return; }
  if (key === 'highlight') {
    const sel = document.getSelection();
    if (sel && !sel.isCollapsed && manager()) { manager().highlightSelection('main_toolbar'); return; }
  }
  setMode(current === mode ? Type.NONE : mode);
}
// The editor asks its host for a mode of its own: a highlight of a selection made while no tool
// is on (the Highlight button, the floating button by a selection) waits for the highlight
// mode, and a double click on a saved annotation asks for that annotation's editor.
viewer.eventBus.on('showannotationeditorui', ({ mode }) => setMode(mode));
viewer.eventBus.on('switchannotationeditormode', ({ mode, editId }) => {
  if (!editingAvailable() || annot.frozen) return;
  try { viewer.annotationEditorMode = { mode, editId }; } catch (e) { toast('The annotation tools are not available: ' + e.message, true); }
});
viewer.eventBus.on('annotationeditormodechanged', ({ mode }) => {
  for (const b of Object.values(buttons)) b.classList.toggle('on', Number(b.dataset.mode) === mode && mode !== Type.NONE);
});
document.addEventListener('keydown', (e) => {
  if (e.key === 'Escape' && viewer.annotationEditorMode > 0 && !e.target.closest('[contenteditable=true]')) setMode(Type.NONE);
});

// An image the host read from disk: placed in the middle of the current page.
window.cvlImageImportNative = async (img) => {
  if (!img || !img.data) return;
  if (!setMode(Type.STAMP)) return;
  const raw = atob(img.data);
  const bytes = new Uint8Array(raw.length);
  for (let i = 0; i < raw.length; i++) bytes[i] = raw.charCodeAt(i);
  const file = new File([bytes], img.name || 'image', { type: img.type || 'image/png' });
  await new Promise((r) => requestAnimationFrame(r));
  const layer = manager() && manager().currentLayer;
  if (!layer) { toast('The picture could not be placed.', true); return; }
  const box = layer.div.getBoundingClientRect();
  layer.createAndAddNewEditor({ offsetX: box.width / 2, offsetY: box.height / 2 }, true, { bitmapFile: file });
};

// ---- saving ------------------------------------------------------------------------------------------
// The page's changes are the annotation storage's content; it is saved whenever its hash differs
// from the last saved one (deleting the last new annotation counts too). The copy written is the
// opened bytes with the changes added, so the original's bytes are never touched.
const AUTOSAVE_DELAY_MS = 700;
let saving = false;
let saveTimer = 0;
let saveSeq = 0;
let pendingReply = null;
const storage = () => viewer.pdfDocument && viewer.pdfDocument.annotationStorage;
const storageHash = () => { const s = storage(); return s ? s.serializable.hash || '' : ''; };

function toBase64(bytes) {
  let out = '';
  for (let i = 0; i < bytes.length; i += 0x8000) out += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(out);
}
// The document as shown, changes included, as Base64.
async function currentBytes() {
  const doc = viewer.pdfDocument;
  if (!doc) return '';
  return toBase64(await doc.saveDocument());
}

function freeze(reason) {
  annot.frozen = reason;
  showBar(reason, true, [['Save a Copy…', () => saveCopy()]]);
  stateLabel.textContent = 'Not saved';
}
function scheduleSave() {
  if (annot.frozen) return;
  clearTimeout(saveTimer);
  saveTimer = setTimeout(saveNow, AUTOSAVE_DELAY_MS);
}
async function saveNow() {
  if (saving || annot.frozen || !viewer.pdfDocument) return;
  const hash = storageHash();
  if (hash === lastSavedHash) return;
  saving = true;
  stateLabel.textContent = 'Saving…';
  try {
    window.__cvlAutosaveB64 = await currentBytes();
    saveSeq += 1;
    const reply = await new Promise((resolve) => {
      pendingReply = { seq: String(saveSeq), resolve };
      ask('autosaveannot', { token: annot.token, sig: annot.signature, seq: saveSeq });
    });
    if (reply.ok) {
      lastSavedHash = hash;
      annot.token = reply.token || '';
      stateLabel.textContent = 'Saved';
      window.__cvlLastAutosave = reply;
      if (reply.setAside) freeze('This document changed on disk while you annotated it. Your annotations were kept with the earlier version; save a copy to keep them as a file.');
    } else {
      stateLabel.textContent = 'Not saved';
      window.__cvlLastAutosave = reply;
      freeze(reply.message || 'The annotations could not be saved.');
    }
  } catch (e) {
    stateLabel.textContent = 'Not saved';
    toast('The annotations could not be saved: ' + (e && e.message ? e.message : e), true);
  } finally {
    window.__cvlAutosaveB64 = '';
    saving = false;
  }
  if (!annot.frozen && storageHash() !== lastSavedHash) scheduleSave();
}
window.__cvlAutosaveB = (r) => {
  if (!pendingReply || !r || String(r.seq) !== pendingReply.seq) return;
  const { resolve } = pendingReply;
  pendingReply = null;
  resolve(r);
};
// The host waits for nothing when the window closes: the last changes are saved at once.
window.__cvlFlush = () => {
  if (storageHash() !== lastSavedHash) { clearTimeout(saveTimer); saveNow(); return false; }
  return true;
};

function watchStorage() {
  const s = storage();
  if (!s) return;
  s.onSetModified = scheduleSave;
  const remove = s.remove.bind(s);
  s.remove = (key) => { remove(key); scheduleSave(); };
}
viewer.eventBus.on('pagesinit', () => {
  watchStorage();
  lastSavedHash = '';
  if (annot.source && annot.source.setAside && annot.source.setAside.length && !annot.openedCopy) showSetAside(annot.source.setAside);
});
viewer.eventBus.on('annotationeditorstateschanged', scheduleSave);
// Edits that leave no event behind (a note being typed, a drawing being finished) are caught
// by a look now and then.
setInterval(() => { if (!saving && !annot.frozen && viewer.pdfDocument && storageHash() !== lastSavedHash) scheduleSave(); }, 2000);

// ---- notices in the page -------------------------------------------------------------------------
const bar = el('div');
bar.id = 'annotBar';
bar.hidden = true;
document.getElementById('bar').after(bar);
function showBar(text, warn, actions) {
  bar.textContent = '';
  bar.className = warn ? 'warn' : '';
  bar.appendChild(el('span', '', text));
  for (const [label, fn] of actions || []) {
    const b = el('button', '', label);
    b.type = 'button';
    b.onclick = fn;
    bar.appendChild(b);
  }
  const close = el('button', '', '×');
  close.type = 'button';
  close.title = 'Hide';
  close.onclick = () => { bar.hidden = true; };
  bar.appendChild(close);
  bar.hidden = false;
}
if (annot.frozen) freeze(annot.frozen);
function showSetAside(copies) {
  showBar('This document changed after it was annotated. The earlier annotations are kept with the earlier version.', true,
    [['Open the Earlier Version', () => ask('reader', { path: copies[0] })]]);
}

// ---- export ---------------------------------------------------------------------------------------------
window.__cvlAnnotB64 = '';
async function withBytes(op) {
  try { window.__cvlAnnotB64 = await currentBytes(); } catch (e) { window.__cvlAnnotB64 = ''; }
  ask(op, {});
  setTimeout(() => { window.__cvlAnnotB64 = ''; }, 60000);
}
function saveCopy() { withBytes('saveannot'); }
function exportNotes() { withBytes('exportannots'); }
window.cvlNotesToast = (text, isError) => toast(text, isError);

window.__cvlAnnotate = {
  setMode, pickTool, saveNow, saveCopy, exportNotes, currentBytes,
  state: () => ({ ...annot, lastSavedHash, saving, hash: storageHash() }),
  manager,
};
