// The reader: one PDF shown with pdf.js's viewer components, a page-command bar, a search
// panel and the calls the host makes into the page. Everything the page asks of the host goes
// through qrtiz: addresses and "corvello" script messages.
import * as pdfjsLib from '../../node_modules/pdfjs-dist/build/pdf.mjs';

const params = new URLSearchParams(location.search);
const PDF = params.get('pdf') || '';
const ORIG = params.get('orig') || PDF;
const GEN = Number(params.get('gen') || 0);
const START_PAGE = Number(params.get('page') || 0);
let zoomDefault = params.get('z') || 'page-width';
let zoomWithWindow = params.get('zw') !== '0';
const $ = (id) => document.getElementById(id);
const baseName = (p) => String(p || '').split('/').pop();

document.documentElement.dataset.theme = params.get('theme') === 'dark' ? 'dark' : 'light';
if (params.get('ptheme') === 'night') document.documentElement.classList.add('night');
if (params.get('sb') === '0') $('status').hidden = true;
document.title = baseName(ORIG) || 'Reader';

// ---- talking to the host ----------------------------------------------------------------
function post(body) {
  try { window.webkit.messageHandlers.corvello.postMessage(body); } catch (e) { /* not hosted */ }
}
// Each request gets its own frame so that quick successive requests are never merged.
function ask(op, args) {
  // encodeURIComponent, not URLSearchParams: the host reads '+' as itself, not as a space.
  const q = Object.entries(args || {})
    .map(([k, v]) => encodeURIComponent(k) + '=' + encodeURIComponent(v == null ? '' : String(v)))
    .join('&');
  const frame = document.createElement('iframe');
  frame.style.display = 'none';
  frame.src = 'qrtiz://' + op + (q ? '?' + q : '');
  document.body.appendChild(frame);
  setTimeout(() => frame.remove(), 2000);
}

// ---- toast -------------------------------------------------------------------------------
let toastTimer = 0;
function toast(text, isError) {
  const t = $('toast');
  t.textContent = String(text || '');
  t.className = 'show' + (isError ? ' err' : '');
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { t.className = ''; }, 2600);
}
window.__cvlToast = (text) => toast(text, false);
window.cvlToast = (text, isError) => toast(text, !!isError);

// ---- the viewer ----------------------------------------------------------------------------
pdfjsLib.GlobalWorkerOptions.workerSrc =
  new URL('../../node_modules/pdfjs-dist/build/pdf.worker.mjs', import.meta.url).href;
globalThis.pdfjsLib = pdfjsLib;
const { EventBus, PDFViewer, PDFLinkService } =
  await import('../../node_modules/pdfjs-dist/web/pdf_viewer.mjs');

const container = $('viewerContainer');
const eventBus = new EventBus();
const linkService = new PDFLinkService({ eventBus, externalLinkTarget: 0 });
const viewer = new PDFViewer({
  container, viewer: $('viewer'), eventBus, linkService,
  textLayerMode: 1, removePageBorders: false,
  annotationEditorMode: pdfjsLib.AnnotationEditorType.NONE, enableHighlightFloatingButton: true,
  // The highlighter's colours by name; the editor needs them to make and describe a highlight.
  annotationEditorHighlightColors: 'yellow=#FFFF98,green=#53FFBC,blue=#80EBFF,pink=#FFCBE6,red=#FF4F5F',
});
linkService.setViewer(viewer);
window.pdfViewer = viewer;

let shownOnce = false;
let pendingRestore = null;

eventBus.on('pagesinit', () => {
  keepFocus();
  viewer.currentScaleValue = zoomDefault;
  if (START_PAGE > 0 && START_PAGE <= viewer.pagesCount) viewer.currentPageNumber = START_PAGE;
  $('pageCount').textContent = '/ ' + viewer.pagesCount;
  buildThumbs();
  showSelection();
  syncPager();
  if (pendingRestore) { applyView(pendingRestore); pendingRestore = null; }
  post({ action: 'viewready' });
});
eventBus.on('pagerendered', () => {
  if (shownOnce) return;
  shownOnce = true;
  post({ action: 'displayed', gen: GEN, pdf: PDF, orig: ORIG });
  ask('links', {});
});
eventBus.on('pagechanging', syncPager);
eventBus.on('scalechanging', syncPager);

// The zoom menu names the zoom in force: a preset by its name, any other scale as its
// percentage (after the zoom buttons or the View menu's zoom in and out).
function syncPager() {
  $('pageInput').value = viewer.currentPageNumber || 1;
  const v = String(viewer.currentScaleValue);
  const sel = $('zoomSel');
  const now = $('zoomNow');
  const preset = [...sel.options].find((o) => o !== now && (o.value === v || Number(o.value) === Number(v)));
  if (preset) { now.hidden = true; sel.value = preset.value; return; }
  now.textContent = Math.round((viewer.currentScale || 1) * 100) + '%';
  now.hidden = false;
  sel.value = 'custom';
}

// ---- opening: a password for a locked PDF, a plain page for one that cannot be opened ------
// window.__cvlOpenState: 'loading', 'password', 'open' or 'failed' (with __cvlOpenFailure).
window.__cvlOpenState = 'loading';
let passwordProtected = false;

// Asks for the password in the page; `retry` after a wrong one. Resolves with the password,
// or null when the user gives up.
function askPassword(retry) {
  window.__cvlOpenState = 'password';
  post({ action: 'openstate', state: 'password', gen: GEN });
  const dialog = $('pwDialog');
  const input = $('pwInput');
  $('pwText').textContent = '\u201c' + baseName(ORIG) + '\u201d is protected with a password. Enter it to open the document.';
  $('pwError').textContent = retry ? 'That password is not right. Try again.' : '';
  input.value = '';
  dialog.hidden = false;
  input.focus();
  return new Promise((resolve) => {
    const done = (value) => {
      dialog.hidden = true;
      $('pwForm').onsubmit = null;
      $('pwCancel').onclick = null;
      resolve(value);
    };
    $('pwForm').onsubmit = (e) => { e.preventDefault(); if (input.value) done(input.value); else input.focus(); };
    $('pwCancel').onclick = () => done(null);
  });
}
window.__cvlPassword = { submit: (pw) => { $('pwInput').value = pw; $('pwForm').requestSubmit(); }, cancel: () => $('pwCancel').click() };

// Why pdf.js could not open the bytes, in the user's words.
function openFailureReason(e) {
  const name = e && e.name;
  if (name === 'PasswordException') return 'It is protected with a password, and none was given.';
  if (name === 'InvalidPDFException') return 'The file is damaged or is not a PDF: its structure cannot be read.';
  if (name === 'MissingPDFException') return 'The file is not there any more.';
  if (name === 'UnknownErrorException' || name === 'FormatError') return 'The file is damaged: part of it cannot be read.';
  if (e && e.unreadable) return 'Corvello could not read the file: it is missing, not a regular file, or too large.';
  return 'The file is damaged or uses something the reader does not understand.';
}
function showOpenFailure(e) {
  window.__cvlOpenState = 'failed';
  window.__cvlOpenFailure = { name: (e && e.name) || '', reason: openFailureReason(e) };
  post({ action: 'openstate', state: 'failed', gen: GEN, reason: window.__cvlOpenFailure.reason });
  $('pwDialog').hidden = true;
  $('viewerContainer').hidden = true;
  $('openFailed').hidden = false;
  $('openFailedName').textContent = baseName(ORIG);
  $('openFailedWhy').textContent = window.__cvlOpenFailure.reason;
  $('openFailedDetail').textContent = (e && e.message) || String(e || '');
  $('pageCount').textContent = '';
  $('pageInput').disabled = true;
  $('statusInfo').textContent = 'Not opened';
}

async function openDocument() {
  $('statusName').textContent = baseName(ORIG);
  if (!PDF) { showOpenFailure({ message: 'No document was given to the reader.', unreadable: true }); return; }
  let data;
  try {
    // reader-annotate.js may name the document's annotated copy instead.
    const source = (window.__cvlDocSource && await window.__cvlDocSource) || 'vtpdf://doc?p=' + encodeURIComponent(PDF);
    const response = await fetch(source);
    if (!response.ok) throw new Error('status ' + response.status);
    data = new Uint8Array(await response.arrayBuffer());
  } catch (e) {
    showOpenFailure({ message: String(e && e.message ? e.message : e), unreadable: true });
    return;
  }
  const task = pdfjsLib.getDocument({
    data,
    cMapUrl: new URL('../../node_modules/pdfjs-dist/cmaps/', import.meta.url).href,
    cMapPacked: true,
    standardFontDataUrl: new URL('../../node_modules/pdfjs-dist/standard_fonts/', import.meta.url).href,
  });
  let gaveUp = false;
  task.onPassword = async (update, reason) => {
    passwordProtected = true;
    const pw = await askPassword(reason === pdfjsLib.PasswordResponses.INCORRECT_PASSWORD);
    if (pw === null) { gaveUp = true; task.destroy(); showOpenFailure({ name: 'PasswordException', message: 'No password was given.' }); return; }
    update(pw);
  };
  try {
    const doc = await task.promise;
    window.__cvlOpenState = 'open';
    viewer.setDocument(doc);
    linkService.setDocument(doc, null);
  } catch (e) {
    if (!gaveUp) showOpenFailure(e);
  }
}

// ---- view state: captured on close and for the tab snapshot, restored on reopen ------------
function captureView() {
  if (!viewer.pagesCount) return null;
  return {
    page: viewer.currentPageNumber,
    scale: String(viewer.currentScaleValue),
    top: container.scrollHeight ? container.scrollTop / container.scrollHeight : 0,
    left: container.scrollLeft,
  };
}
function applyView(v) {
  if (!v || typeof v !== 'object') return;
  if (v.scale) viewer.currentScaleValue = v.scale;
  if (typeof v.top === 'number' && container.scrollHeight) {
    container.scrollTop = v.top * container.scrollHeight;
    container.scrollLeft = v.left || 0;
  } else if (v.page) {
    viewer.currentPageNumber = v.page;
  }
}
window.__cvlCaptureView = captureView;
window.__cvlRestoreView = (v) => {
  if (typeof v === 'string') { try { v = JSON.parse(v); } catch (e) { return; } }
  if (viewer.pagesCount) applyView(v); else pendingRestore = v;
};
// Nothing is held back in this page: edits are written by the host as they happen.
window.__cvlFlush = () => true;

// ---- keyboard focus ----------------------------------------------------------------------------
// The pages keep the keyboard: after the document opens, after a toolbar button and after a
// bar or panel closes, so Page Down, the arrows, Home and End always scroll the document.
function keepFocus(force) {
  const a = document.activeElement;
  if (!force && a && a !== document.body && a.closest('#cmdbar, #side, #pwDialog')) return;
  container.focus({ preventScroll: true });
}
window.__cvlKeepFocus = keepFocus;
document.getElementById('bar').addEventListener('click', (e) => {
  if (e.target.closest('button')) keepFocus();
});
const editable = (t) => t && (t.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(t.tagName));
// Scrolling keys that reach the page anywhere but a text field move the document, wherever
// the focus was left.
function scrollKey(e) {
  if (e.ctrlKey || e.metaKey || e.altKey || editable(e.target) || !viewer.pagesCount) return false;
  const line = 40;
  const pageStep = Math.max(line, container.clientHeight - line);
  switch (e.key) {
    case 'Home': viewer.currentPageNumber = 1; container.scrollTop = 0; break;
    case 'End': viewer.currentPageNumber = viewer.pagesCount; container.scrollTop = container.scrollHeight; break;
    case 'PageDown': container.scrollTop += pageStep; break;
    case 'PageUp': container.scrollTop -= pageStep; break;
    case 'ArrowDown': container.scrollTop += line; break;
    case 'ArrowUp': container.scrollTop -= line; break;
    case ' ': container.scrollTop += e.shiftKey ? -pageStep : pageStep; break;
    default: return false;
  }
  if (document.activeElement !== container) keepFocus();
  return true;
}

// ---- toolbar -----------------------------------------------------------------------------------
$('btnPrev').onclick = () => { viewer.currentPageNumber = Math.max(1, viewer.currentPageNumber - 1); };
$('btnNext').onclick = () => { viewer.currentPageNumber = Math.min(viewer.pagesCount, viewer.currentPageNumber + 1); };
$('pageInput').onchange = () => {
  const n = parseInt($('pageInput').value, 10);
  if (n >= 1 && n <= viewer.pagesCount) viewer.currentPageNumber = n; else syncPager();
};
$('zoomSel').onchange = () => {
  if ($('zoomSel').value !== 'custom') viewer.currentScaleValue = $('zoomSel').value;
  keepFocus();
};
$('btnIn').onclick = () => { viewer.currentScale = Math.min(8, viewer.currentScale * 1.2); };
$('btnOut').onclick = () => { viewer.currentScale = Math.max(0.1, viewer.currentScale / 1.2); };
// Fits the pages to the view again. pdf.js keeps the scroll position it last observed, which
// lags a jump made in the same frame (a search hit, a link), so the jump's page is kept.
function refit(v) {
  const page = viewer.currentPageNumber;
  viewer.currentScaleValue = v;
  if (page && viewer.currentPageNumber !== page) viewer.currentPageNumber = page;
}
window.addEventListener('resize', () => {
  const v = String(viewer.currentScaleValue);
  if (zoomWithWindow && (v === 'page-width' || v === 'page-fit' || v === 'auto')) refit(v);
});

function showSide(pane) {
  const side = $('side');
  // Panes that other reader scripts add register themselves in window.__cvlSidePanes.
  const panes = { search: $('searchPane'), outline: $('outlinePane'), links: $('linksPane'), pages: $('pagesPane'), ...(window.__cvlSidePanes || {}) };
  const already = !side.hidden && !panes[pane].hidden;
  side.hidden = already;
  for (const [k, el] of Object.entries(panes)) el.hidden = already || k !== pane;
  $('btnSearch').classList.toggle('on', !side.hidden && pane === 'search');
  $('btnOutline').classList.toggle('on', !side.hidden && pane === 'outline');
  $('btnLinks').classList.toggle('on', !side.hidden && pane === 'links');
  $('btnPages').classList.toggle('on', !side.hidden && pane === 'pages');
  if (!side.hidden && pane === 'search') { $('searchInput').focus(); if (!hits.length) runSearch($('searchInput').value); }
  if (side.hidden || pane !== 'search') clearSearch();
  if (side.hidden) keepFocus(true);
  if (!side.hidden && pane === 'outline') ask('outline', {});
  requestAnimationFrame(() => { const v = String(viewer.currentScaleValue); if (v === 'page-width') refit(v); });
}
// The side pane in view, by name.
function openPane() {
  const panes = { search: $('searchPane'), outline: $('outlinePane'), links: $('linksPane'), ...(window.__cvlSidePanes || {}) };
  return Object.keys(panes).find((k) => !panes[k].hidden) || 'search';
}
$('btnSearch').onclick = () => showSide('search');
$('btnOutline').onclick = () => showSide('outline');
$('btnLinks').onclick = () => showSide('links');
$('btnPages').onclick = () => showSide('pages');
// Earlier versions of a PDF are kept while it is open; the host shows them and restores one.
$('btnVersions').hidden = !/\.pdf$/i.test(ORIG);
$('btnVersions').onclick = () => ask('restoreversion', {});
$('btnCmd').onclick = () => toggleCommandBar();

// Edit state of a converted document: the status bar says it is a read-only copy and why.
window.cvlEditState = (state) => {
  window.__cvlEditState = state;
  const why = state && Array.isArray(state.why) ? state.why : [];
  if (!state || state.editable || (ORIG === PDF && !why.length)) return;
  const name = $('statusName');
  name.textContent = baseName(ORIG) + ' \u00b7 read-only copy';
  name.title = why.join('\n');
};
window.cvlStatusBar = (on) => { $('status').hidden = !on; };
window.cvlZoomWithWin = (on) => { zoomWithWindow = !!on; };
window.__cvlPTMode = (mode) => { document.documentElement.dataset.ptmode = mode; };
window.__cvlNightPages = (on) => { document.documentElement.classList.toggle('night', !!on); };
// The host's View menu: 'in', 'out' or 'width'.
window.cvlZoom = (how) => {
  if (how === 'in') $('btnIn').click();
  else if (how === 'out') $('btnOut').click();
  else if (how === 'width') viewer.currentScaleValue = 'page-width';
};
window.__cvlResetToolbar = () => {
  zoomDefault = 'page-width';
  viewer.currentScaleValue = zoomDefault;
  $('side').hidden = true;
  $('cmdbar').hidden = true;
  toast('Toolbar reset');
};

// ---- the document menu: Move to Trash asks the host, which confirms and closes the window ----
$('btnMore').onclick = (e) => { e.stopPropagation(); $('moreMenu').hidden = !$('moreMenu').hidden; };
document.addEventListener('click', () => { $('moreMenu').hidden = true; });
$('menuTrash').onclick = () => { $('moreMenu').hidden = true; ask('trashfile', { path: ORIG }); };

// ---- outline -------------------------------------------------------------------------------------
window.cvlOutline = (items) => {
  const list = $('outlineList');
  list.textContent = '';
  const add = (parent, entries) => {
    for (const it of entries || []) {
      const li = document.createElement('li');
      const a = document.createElement('a');
      a.href = '#';
      a.textContent = it.title || '(untitled)';
      a.onclick = (e) => { e.preventDefault(); if (it.page) viewer.currentPageNumber = it.page; };
      li.appendChild(a);
      if (it.children && it.children.length) {
        const ul = document.createElement('ul');
        add(ul, it.children);
        li.appendChild(ul);
      }
      parent.appendChild(li);
    }
  };
  add(list, items);
  if (!list.children.length) list.innerHTML = '<li class="dim">This document has no outline.</li>';
};

// ---- selected pages ------------------------------------------------------------------------------
// Pages are selected in the Pages pane: a click selects one page (and shows it), Ctrl+click adds
// or removes one, Shift+click takes the range from the last page clicked. Page commands that
// speak of "the selected pages" act on them.
const selectedPages = new Set();
let selectionAnchor = 0;
function buildThumbs() {
  const box = $('thumbs');
  box.textContent = '';
  for (let n = 1; n <= viewer.pagesCount; n++) {
    const fig = el('figure');
    fig.dataset.page = n;
    const img = el('img');
    img.loading = 'lazy';
    img.alt = 'Page ' + n;
    img.src = 'vtpage://page?p=' + encodeURIComponent(PDF) + '&i=' + (n - 1) + '&w=180';
    fig.appendChild(img);
    fig.appendChild(el('figcaption', '', String(n)));
    fig.onclick = (e) => pickPage(n, e);
    box.appendChild(fig);
  }
}
function pickPage(n, e) {
  if (e && e.shiftKey && selectionAnchor) {
    const [a, b] = selectionAnchor < n ? [selectionAnchor, n] : [n, selectionAnchor];
    for (let k = a; k <= b; k++) selectedPages.add(k);
  } else if (e && (e.ctrlKey || e.metaKey)) {
    if (selectedPages.has(n)) selectedPages.delete(n); else selectedPages.add(n);
    selectionAnchor = n;
  } else {
    selectedPages.clear();
    selectedPages.add(n);
    selectionAnchor = n;
    viewer.currentPageNumber = n;
  }
  showSelection();
}
function selectionList() { return [...selectedPages].sort((a, b) => a - b); }
function showSelection() {
  const count = selectedPages.size;
  document.querySelectorAll('#thumbs figure').forEach((f) => f.classList.toggle('on', selectedPages.has(Number(f.dataset.page))));
  for (let i = 0; i < viewer.pagesCount; i++) {
    const view = viewer.getPageView(i);
    if (view && view.div) view.div.classList.toggle('cvlSelected', selectedPages.has(i + 1));
  }
  $('selCount').textContent = count ? count + ' selected' : '';
  $('statusInfo').textContent = viewer.pagesCount + (viewer.pagesCount === 1 ? ' page' : ' pages') +
    (count ? ' \u00b7 ' + count + ' selected' : '');
}
function selectPages(pages) {
  selectedPages.clear();
  for (const p of pages || []) if (p >= 1 && p <= viewer.pagesCount) selectedPages.add(Number(p));
  selectionAnchor = selectionList()[0] || 0;
  showSelection();
}

// ---- page commands -------------------------------------------------------------------------------
let cmdSeq = 0;
let lastText = '';
function toggleCommandBar(force) {
  const bar = $('cmdbar');
  bar.hidden = force === undefined ? !bar.hidden : !force;
  if (!bar.hidden) $('cmdInput').focus(); else keepFocus(true);
}
function sendCommand(text) {
  text = String(text || '').trim();
  if (!text) return;
  lastText = text;
  cmdSeq += 1;
  const isPdf = /\.pdf$/i.test(ORIG);
  ask('pagecmd', {
    op: 'ask', seq: cmdSeq, path: isPdf ? ORIG : PDF, text,
    n: viewer.pagesCount, cur: viewer.currentPageNumber, sel: selectionList().join(','),
    pdf: isPdf || /\.pdf$/i.test(PDF) ? '1' : '0',
  });
  showReply({ kind: 'working' });
}
function runPreview(id) {
  cmdSeq += 1;
  const isPdf = /\.pdf$/i.test(ORIG);
  ask('pagecmd', { op: 'run', seq: cmdSeq, id, path: isPdf ? ORIG : PDF });
  showReply({ kind: 'working', text: 'Writing the new file…' });
}
function el(tag, cls, text) {
  const n = document.createElement(tag);
  if (cls) n.className = cls;
  if (text !== undefined) n.textContent = text;
  return n;
}
function showReply(r) {
  const box = $('cmdReply');
  box.hidden = false;
  box.className = r.kind || '';
  box.textContent = '';
  const buttons = el('div', 'row');
  const button = (label, fn, primary) => {
    const b = el('button', primary ? 'primary' : '', label);
    b.type = 'button';
    b.onclick = fn;
    buttons.appendChild(b);
    return b;
  };
  const dismiss = () => { box.hidden = true; $('cmdInput').focus(); };
  switch (r.kind) {
    case 'working':
      box.appendChild(el('div', 'det', r.text || 'Reading “' + lastText + '”…'));
      return;
    case 'preview': {
      box.appendChild(el('div', 'sum', r.summary || 'Preview'));
      if (r.readAs) box.appendChild(el('div', 'det', 'Read as: ' + r.readAs));
      if (r.detail) box.appendChild(el('div', 'det', r.detail));
      if (Array.isArray(r.outputs) && r.outputs.length) {
        const ul = el('ul');
        for (const o of r.outputs) ul.appendChild(el('li', '', baseName(o)));
        box.appendChild(ul);
      }
      const ok = button('Confirm', () => runPreview(r.id), true);
      button('Cancel', dismiss);
      box.appendChild(buttons);
      ok.focus();
      return;
    }
    case 'clarify': {
      box.appendChild(el('div', 'sum', r.question || 'Which did you mean?'));
      for (const opt of r.options || []) button(opt, () => { $('cmdInput').value = opt; sendCommand(opt); });
      button('Cancel', dismiss);
      box.appendChild(buttons);
      return;
    }
    case 'refuse':
    case 'error':
      box.appendChild(el('div', 'sum', r.message || 'That command could not be done.'));
      button('OK', dismiss);
      box.appendChild(buttons);
      return;
    case 'done': {
      const outs = Array.isArray(r.outputs) ? r.outputs : [];
      const files = Number(r.files) || 0;
      const where = ORIG !== PDF ? 'beside \u201c' + baseName(ORIG) + '\u201d' : 'beside the original';
      box.appendChild(el('div', 'sum', r.folder
        ? 'Done: ' + files + (files === 1 ? ' file' : ' files') + ' in the new folder \u201c' + baseName(r.folder) + '\u201d, ' + where + '.'
        : outs.length === 1 ? 'Done: 1 new file ' + where + '.' : 'Done: ' + outs.length + ' new files ' + where + '.'));
      const ul = el('ul');
      for (const o of outs) {
        const li = el('li');
        const a = el('a', '', baseName(o));
        a.href = '#';
        a.onclick = (e) => { e.preventDefault(); ask('reader', { path: o }); };
        li.appendChild(a);
        ul.appendChild(li);
      }
      box.appendChild(ul);
      button('Close', dismiss);
      box.appendChild(buttons);
      toast(r.folder ? 'Saved ' + files + (files === 1 ? ' file' : ' files') + ' in ' + baseName(r.folder)
        : outs.length === 1 ? 'Saved ' + baseName(outs[0]) : 'Saved ' + outs.length + ' files');
      return;
    }
    case 'notACommand': {
      // Not a change to the pages: a question about the document goes to the Ask panel.
      const ai = window.CorvelloMacAI && window.CorvelloMacAI.askQuestion;
      box.appendChild(el('div', 'sum', ai ? 'That isn’t a page command. Ask it about the document?' : 'That doesn’t read as a page command.'));
      box.appendChild(el('div', 'det', 'Page commands read like “delete page 2”, “rotate pages 1-3 right” or “extract pages 4-6”.'));
      if (ai) button('Ask about this page', () => { toggleCommandBar(false); box.hidden = true; ai(lastText); }, true);
      button('OK', dismiss);
      box.appendChild(buttons);
      return;
    }
    default:
      box.appendChild(el('div', 'det', JSON.stringify(r)));
  }
}
window.cvlPageCmdReply = (r) => {
  if (!r || String(r.seq) !== String(cmdSeq)) return;  // an answer to an older request
  window.__cvlLastPageCmdReply = r;
  showReply(r);
};
$('cmdForm').onsubmit = (e) => { e.preventDefault(); sendCommand($('cmdInput').value); };

// ---- search in this document ---------------------------------------------------------------------
// The search runs as the user types; Enter and Shift+Enter (or the arrows beside the box) step
// through the matches. Closing the panel clears the highlights.
let hits = [];
let activeHit = -1;
let searchedFor = '';
let typingTimer = 0;
function runSearch(q) {
  q = String(q || '').trim();
  clearTimeout(typingTimer);
  searchedFor = q;
  hits = [];
  activeHit = -1;
  $('searchSummary').textContent = q ? 'Searching…' : '';
  $('searchHits').textContent = '';
  clearHighlights();
  syncSearchButtons();
  if (!q) return;
  ask('readersearch', { q, path: PDF });
}
function clearSearch() {
  clearTimeout(typingTimer);
  searchedFor = '';
  hits = [];
  activeHit = -1;
  clearHighlights();
  $('searchHits').textContent = '';
  $('searchSummary').textContent = '';
  syncSearchButtons();
}
function syncSearchButtons() {
  $('searchPrev').disabled = hits.length < 2;
  $('searchNext').disabled = hits.length < 2;
}
function stepHit(delta) {
  const q = $('searchInput').value.trim();
  if (q !== searchedFor) { runSearch(q); return; }
  if (!hits.length) return;
  goToHit((activeHit + delta + hits.length) % hits.length);
}
function clearHighlights() { document.querySelectorAll('.cvlHit').forEach((n) => n.remove()); }
function drawHighlights() {
  clearHighlights();
  hits.forEach((h, i) => {
    const view = viewer.getPageView((h.page || 1) - 1);
    if (!view || !view.div || !Array.isArray(h.rects)) return;
    // Rectangles are in the page's own space (PDF units, origin bottom-left); the viewport
    // maps them to the drawn page, rotation included.
    for (const r of h.rects) {
      const [x1, y1, x2, y2] = view.viewport.convertToViewportRectangle([r.x, r.y, r.x + r.w, r.y + r.h]);
      const d = el('div', 'cvlHit' + (i === activeHit ? ' on' : ''));
      d.style.left = Math.min(x1, x2) + 'px';
      d.style.top = Math.min(y1, y2) + 'px';
      d.style.width = Math.abs(x2 - x1) + 'px';
      d.style.height = Math.abs(y2 - y1) + 'px';
      view.div.appendChild(d);
    }
  });
}
eventBus.on('pagerendered', () => { if (hits.length) drawHighlights(); });
function goToHit(i) {
  activeHit = i;
  document.querySelectorAll('#searchHits li').forEach((li, k) => li.classList.toggle('on', k === i));
  const h = hits[i];
  if (h) viewer.currentPageNumber = h.page || 1;
  const item = $('searchHits').children[i];
  if (item) item.scrollIntoView({ block: 'nearest' });
  showSearchCount();
  drawHighlights();
}
let searchTotal = 0;
function showSearchCount() {
  const shown = hits.length;
  const total = Math.max(searchTotal, shown);
  $('searchSummary').textContent = (activeHit >= 0 ? (activeHit + 1) + ' of ' + shown : '') +
    (total > shown ? ' (' + total + ' matches, the first ' + shown + ' shown)' : activeHit >= 0 ? '' : total + ' matches');
}
window.cvlReaderSearchResults = (res) => {
  // An answer to a query the user has typed past.
  if (res && typeof res.q === 'string' && res.q.trim() !== searchedFor) return;
  if (!searchedFor) return;
  window.__cvlLastReaderSearch = res;
  hits = [];
  activeHit = -1;
  for (const d of (res && res.docs) || []) for (const h of d.hits || []) hits.push(h);
  const list = $('searchHits');
  list.textContent = '';
  searchTotal = (res && res.hitCount) || 0;
  $('searchSummary').textContent = res && res.note === 'short' ? 'Type at least two letters.'
    : res && res.note === 'locked' ? '\u201c' + baseName(ORIG) + '\u201d is locked with a password, so Corvello can\u2019t search it.'
    : searchTotal ? searchTotal + (searchTotal === 1 ? ' match' : ' matches') : 'No matches.';
  syncSearchButtons();
  hits.forEach((h, i) => {
    const li = el('li');
    li.appendChild(el('div', 'pg', 'Page ' + (h.label || h.page)));
    const snip = el('div');
    const s = String(h.snippet || '');
    const m = String(h.match || '');
    // Each hit marks its own occurrence: a line holding the word twice is listed twice.
    const own = typeof h.at === 'number' && m && s.substr(h.at, m.length).toLowerCase() === m.toLowerCase();
    const at = own ? h.at : m ? s.toLowerCase().indexOf(m.toLowerCase()) : -1;
    if (at >= 0) {
      snip.appendChild(document.createTextNode(s.slice(0, at)));
      snip.appendChild(el('mark', '', s.slice(at, at + m.length)));
      snip.appendChild(document.createTextNode(s.slice(at + m.length)));
    } else snip.textContent = s;
    li.appendChild(snip);
    li.onclick = () => goToHit(i);
    list.appendChild(li);
  });
  if (hits.length) goToHit(0);
};
$('searchForm').onsubmit = (e) => e.preventDefault();
$('searchInput').addEventListener('input', () => {
  clearTimeout(typingTimer);
  typingTimer = setTimeout(() => runSearch($('searchInput').value), 250);
});
$('searchInput').addEventListener('keydown', (e) => {
  if (e.key !== 'Enter') return;
  e.preventDefault();
  stepHit(e.shiftKey ? -1 : 1);
});
$('searchPrev').onclick = () => stepHit(-1);
$('searchNext').onclick = () => stepHit(1);

// ---- links between documents ----------------------------------------------------------------------
// The selected passage as a link end, kept as JSON text for the host to read; '' when nothing
// in the document is selected.
window.__cvlLinkEndpoint = '';
const squash = (t) => String(t || '').replace(/\s+/g, ' ').trim();
document.addEventListener('selectionchange', () => {
  const sel = window.getSelection();
  const text = sel && !sel.isCollapsed ? squash(sel.toString()) : '';
  const node = text ? sel.anchorNode : null;
  const at = node && (node.nodeType === 1 ? node : node.parentElement);
  const pageDiv = at && at.closest('#viewer .page');
  window.__cvlLinkEndpoint = pageDiv
    ? JSON.stringify({ path: ORIG, page: Number(pageDiv.dataset.pageNumber), text: text.slice(0, 2000) })
    : '';
});

let linking = false;
window.cvlLinkMode = (on, name) => {
  linking = !!on;
  $('linkbarText').textContent = 'Linking from ' + name + ' — select a passage, then Link here';
  $('linkbar').hidden = !linking;
  $('btnLink').textContent = linking ? 'Link here' : 'Link';
  $('btnLink').classList.toggle('on', linking);
};
function linkSelection() {
  if (!window.__cvlLinkEndpoint) {
    toast(linking ? 'Select the passage to link to on a page, then press Link here.'
      : 'Select a passage on a page first, then press Link to connect it to another document.', false);
    return;
  }
  ask(linking ? 'linkfinish' : 'linkstart', {});
}
// Pressing these buttons must not drop the selection they act on.
for (const id of ['btnLink', 'linkHere']) $(id).addEventListener('mousedown', (e) => e.preventDefault());
$('btnLink').onclick = linkSelection;
$('linkHere').onclick = linkSelection;
$('linkCancel').onclick = () => ask('linkcancel', {});
window.cvlReloadLinks = () => ask('links', {});
window.__cvlLinkJump = (r) => { if (r && r.ok === false) toast(r.message || 'That link could not be followed.', true); };

let linkState = { self: ORIG, list: [] };
const endOf = (l, which) => (l && l[which]) || {};
window.cvlLinks = (obj) => {
  window.__cvlLastLinks = obj;
  const self = (obj && obj.self) || ORIG;
  const list = ((obj && obj.links) || []).filter((l) => endOf(l, 'a').path === self || endOf(l, 'b').path === self);
  linkState = { self, list };
  renderLinks();
  if (obj && obj.focus) focusLink(obj.focus);
};
function renderLinks() {
  const { self, list } = linkState;
  $('linksCount').textContent = list.length ? String(list.length) : '';
  const ol = $('linksList');
  ol.textContent = '';
  if (!list.length) ol.appendChild(el('li', 'dim', 'No links yet. Select a passage and press Link to connect it to another document.'));
  for (const l of list) {
    const hereEnd = endOf(l, 'a').path === self ? 'a' : 'b';
    const otherEnd = hereEnd === 'a' ? 'b' : 'a';
    const here = endOf(l, hereEnd);
    const other = endOf(l, otherEnd);
    const li = el('li');
    li.dataset.id = l.id;
    li.appendChild(el('div', 'pg', baseName(other.path) + ' · page ' + (other.page || '?')));
    if (other.text) li.appendChild(el('div', 'quote', '“' + other.text + '”'));
    const back = el('a', 'here', 'Here: page ' + (here.page || '?'));
    back.href = '#';
    back.onclick = (e) => { e.preventDefault(); showEnd(here); };
    li.appendChild(back);
    const note = el('input', 'note');
    note.placeholder = 'Add a note';
    note.value = l.note || '';
    note.onchange = () => ask('linknote', { id: l.id, note: note.value });
    li.appendChild(note);
    const row = el('div', 'row');
    const button = (label, title, fn) => {
      const b = el('button', '', label);
      b.type = 'button';
      b.title = title;
      b.onclick = fn;
      row.appendChild(b);
      return b;
    };
    button('Open', 'Open ' + baseName(other.path) + ' at this passage', () => ask('linkjump', { id: l.id, end: otherEnd }));
    button('Open both', 'Open both documents at their passages', () => ask('linkopenpair', { id: l.id }));
    // Deleting takes a second press within three seconds.
    const del = button('Delete', 'Delete this link', () => {
      if (del.dataset.armed) { ask('linkdelete', { id: l.id }); return; }
      del.dataset.armed = '1';
      del.textContent = 'Delete?';
      setTimeout(() => { delete del.dataset.armed; del.textContent = 'Delete'; }, 3000);
    });
    li.appendChild(row);
    ol.appendChild(li);
  }
}
// A link followed from the other document: show its end here and mark it in the panel.
function focusLink(focus) {
  const link = linkState.list.find((l) => l.id === focus.id);
  const end = endOf(link, focus.end);
  if (!link || end.path !== linkState.self) return;
  document.querySelectorAll('#linksList li').forEach((li) => li.classList.toggle('on', li.dataset.id === link.id));
  if (!$('side').hidden && !$('linksPane').hidden) { showEnd(end); return; }
  showSide('links');
  // After the panel's own refit of the zoom (next frame), which keeps the old page in view.
  requestAnimationFrame(() => showEnd(end));
}
let pendingFlash = null;
function showEnd(end) {
  const page = Number(end.page) || 1;
  if (!viewer.pagesCount || page > viewer.pagesCount) return;
  viewer.currentPageNumber = page;
  pendingFlash = { page, text: squash(end.text) };
  flashPassage();
}
// Marks the passage on its page's text layer for a moment; when the layer is not drawn yet
// this runs again once it is. A passage that cannot be found leaves just the page shown.
function flashPassage() {
  const view = pendingFlash && viewer.getPageView(pendingFlash.page - 1);
  const layer = view && view.div && view.div.querySelector('.textLayer');
  if (!layer || !layer.querySelector('span')) return;
  const want = pendingFlash.text.replace(/\s/g, '').toLowerCase().slice(0, 300);
  pendingFlash = null;
  // Compared without white space: the layer breaks lines and words its own way.
  const spans = [...layer.querySelectorAll('span')].filter((s) => !s.firstElementChild);
  let joined = '';
  const owner = [];
  spans.forEach((s, i) => {
    const t = s.textContent.toLowerCase();
    for (let k = 0; k < t.length; k++) if (!/\s/.test(t[k])) { joined += t[k]; owner.push(i); }
  });
  const at = want ? joined.indexOf(want) : -1;
  if (at < 0) return;
  const hit = spans.slice(owner[at], owner[at + want.length - 1] + 1);
  hit.forEach((s) => s.classList.add('cvlFlash'));
  hit[0].scrollIntoView({ block: 'center' });
  window.__cvlLastFlash = { page: Number(view.id), spans: hit.length };
  setTimeout(() => hit.forEach((s) => s.classList.remove('cvlFlash')), 2600);
}
eventBus.on('textlayerrendered', (e) => { if (pendingFlash && e.pageNumber === pendingFlash.page) flashPassage(); });

// ---- keys ------------------------------------------------------------------------------------------
// Ctrl+A outside a text field selects the text of the pages, not the toolbar and status bar.
function selectPageText() {
  const range = document.createRange();
  range.selectNodeContents($('viewer'));
  const sel = window.getSelection();
  sel.removeAllRanges();
  sel.addRange(range);
}
document.addEventListener('keydown', (e) => {
  const mod = e.ctrlKey || e.metaKey;
  if (!$('pwDialog').hidden) return;
  if (scrollKey(e)) { e.preventDefault(); return; }
  if (mod && e.key.toLowerCase() === 'a' && !editable(e.target)) { e.preventDefault(); selectPageText(); }
  else if (mod && e.key.toLowerCase() === 'f') { e.preventDefault(); if ($('side').hidden || $('searchPane').hidden) showSide('search'); else $('searchInput').focus(); }
  else if (mod && e.key.toLowerCase() === 'k') { e.preventDefault(); toggleCommandBar(true); }
  else if (e.key === 'Escape') { if (linking) ask('linkcancel', {}); else if (!$('cmdbar').hidden) toggleCommandBar(false); else if (!$('side').hidden) showSide(openPane()); }
});

// Hooks for automation: the same paths the bar and the search panel use.
window.__cvlReader = { sendCommand, runPreview, runSearch, stepHit, toggleCommandBar, showSide, linkSelection, pickPage, selectPages, selectionList };
// What the reader's add-on scripts (reader-ocr.js) build on.
Object.assign(window.__cvlReader, { viewer, eventBus, ask, toast, pdf: PDF, orig: ORIG, gen: GEN });
window.dispatchEvent(new Event('cvlreaderready'));

openDocument();
if (ORIG !== PDF) ask('editstate', {});
