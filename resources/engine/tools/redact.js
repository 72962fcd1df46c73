// The redaction page: boxes drawn over the pages with the pointer, listed and removable; the host
// builds the flattened copy (every page a picture, boxes black, no metadata) and hands it here,
// where it is kept in window.__cvlRedactOut with its audit in window.__cvlRedactAudit, previewed,
// and saved through "redactsave".
import { $, ask, baseName, base64ToBytes, layOutPages, openPdf, pageWidthFor, params, toast,
  toCssRect, toPdfRect } from './toolpage.js';

const PDF = params.get('pdf') || '';
const boxes = [];  // {id, page, x0, y0, x1, y1} in PDF user space
let nextId = 1;
let pages = [];
let selected = 0;
let builtFor = '';  // the boxes and option the copy in __cvlRedactOut was built from
let previewing = false;
let sourceDoc = null;

document.title = 'Redact \u2014 ' + baseName(PDF);
$('title').textContent = 'Redact \u201c' + baseName(PDF) + '\u201d';
window.__cvlRedactOut = '';
window.__cvlRedactAudit = '';

const keyOf = () => JSON.stringify([boxes.map(({ page, x0, y0, x1, y1 }) => [page, x0, y0, x1, y1]),
  $('searchable').checked]);
function invalidate() {
  if (builtFor && builtFor !== keyOf()) {
    builtFor = '';
    window.__cvlRedactOut = '';
    window.__cvlRedactAudit = '';
  }
}
function boxesArg() {
  return JSON.stringify(boxes.map(({ page, x0, y0, x1, y1 }) => ({ page, x0, y0, x1, y1 })));
}

// ---- the pages and the boxes on them ----------------------------------------------------
async function showSource() {
  const container = $('pages');
  if (!sourceDoc) sourceDoc = await openPdf(PDF);
  pages = await layOutPages(sourceDoc, container, pageWidthFor(container));
  for (const p of pages) armDrawing(p);
  drawBoxes();
}

function armDrawing(p) {
  p.overlay.addEventListener('pointerdown', (e) => {
    if (e.button !== 0 || e.target !== p.overlay) return;
    const origin = p.overlay.getBoundingClientRect();
    const sx = e.clientX - origin.left, sy = e.clientY - origin.top;
    const ghost = document.createElement('div');
    ghost.className = 'box';
    p.overlay.appendChild(ghost);
    p.overlay.setPointerCapture(e.pointerId);
    const place = (ev) => {
      const x = Math.max(0, Math.min(origin.width, ev.clientX - origin.left));
      const y = Math.max(0, Math.min(origin.height, ev.clientY - origin.top));
      Object.assign(ghost.style, { left: Math.min(x, sx) + 'px', top: Math.min(y, sy) + 'px',
        width: Math.abs(x - sx) + 'px', height: Math.abs(y - sy) + 'px' });
      return { left: Math.min(x, sx), top: Math.min(y, sy), width: Math.abs(x - sx), height: Math.abs(y - sy) };
    };
    place(e);
    const move = (ev) => place(ev);
    const up = (ev) => {
      p.overlay.removeEventListener('pointermove', move);
      p.overlay.removeEventListener('pointerup', up);
      const r = place(ev);
      ghost.remove();
      if (r.width < 4 || r.height < 4) return;
      const rect = toPdfRect(p.viewport, r.left, r.top, r.width, r.height);
      boxes.push({ id: nextId++, page: p.number, ...rect });
      selected = nextId - 1;
      changed();
    };
    p.overlay.addEventListener('pointermove', move);
    p.overlay.addEventListener('pointerup', up);
  });
}

function drawBoxes() {
  for (const p of pages) p.overlay.querySelectorAll('.box').forEach((b) => b.remove());
  for (const b of boxes) {
    const p = pages[b.page - 1];
    if (!p) continue;
    const r = toCssRect(p.viewport, b);
    const el = document.createElement('div');
    el.className = 'box' + (b.id === selected ? ' on' : '');
    Object.assign(el.style, { left: r.left + 'px', top: r.top + 'px', width: r.width + 'px', height: r.height + 'px' });
    const x = document.createElement('div');
    x.className = 'x';
    x.textContent = '\u00d7';
    x.title = 'Remove this box';
    x.onclick = (e) => { e.stopPropagation(); remove(b.id); };
    el.appendChild(x);
    el.onclick = () => { selected = b.id; drawBoxes(); listBoxes(); };
    p.overlay.appendChild(el);
  }
}

function listBoxes() {
  const list = $('boxList');
  list.textContent = '';
  boxes.forEach((b, i) => {
    const li = document.createElement('li');
    li.className = b.id === selected ? 'on' : '';
    const label = document.createElement('span');
    label.textContent = (i + 1) + '. Page ' + b.page + ' \u00b7 ' + Math.round(b.x1 - b.x0) + ' \u00d7 ' +
      Math.round(b.y1 - b.y0) + ' pt';
    const del = document.createElement('button');
    del.textContent = 'Remove';
    del.onclick = (e) => { e.stopPropagation(); remove(b.id); };
    li.append(label, del);
    li.onclick = () => {
      selected = b.id;
      if (previewing) togglePreview();
      const p = pages[b.page - 1];
      if (p) $('pages').scrollTop = p.el.offsetTop + toCssRect(p.viewport, b).top - 120;
      drawBoxes();
      listBoxes();
    };
    list.appendChild(li);
  });
  $('status').textContent = boxes.length === 0 ? 'No boxes yet'
    : boxes.length + (boxes.length === 1 ? ' box' : ' boxes');
}

function remove(id) {
  const i = boxes.findIndex((b) => b.id === id);
  if (i >= 0) boxes.splice(i, 1);
  if (selected === id) selected = 0;
  changed();
}

function changed() {
  invalidate();
  drawBoxes();
  listBoxes();
}

document.addEventListener('keydown', (e) => {
  if ((e.key === 'Delete' || e.key === 'Backspace') && selected && !previewing) {
    e.preventDefault();
    remove(selected);
  } else if (e.key === 'Escape' && previewing) {
    togglePreview();
  }
});
$('searchable').onchange = invalidate;

// ---- preview and save -----------------------------------------------------------------------
let wantPreview = false;
function build(preview) {
  $('btnPreview').disabled = $('btnSave').disabled = true;
  $('status').textContent = 'Flattening\u2026';
  wantPreview = preview;
  ask('redactsave', { boxes: boxesArg(), n: boxes.length, searchable: $('searchable').checked ? 1 : 0,
    preview: preview ? 1 : 0 });
}

window.cvlRedactProgress = ({ done, total }) => {
  $('status').textContent = 'Flattening page ' + Math.min(done + 1, total) + ' of ' + total + '\u2026';
};

window.cvlRedactBuilt = async (r) => {
  $('btnPreview').disabled = $('btnSave').disabled = false;
  listBoxes();
  if (!r || r.error) return;
  window.__cvlRedactOut = r.out || '';
  window.__cvlRedactAudit = r.audit || '';
  builtFor = keyOf();
  if (wantPreview && !previewing) await showPreview();
};

async function showPreview() {
  previewing = true;
  document.body.classList.add('previewing');
  $('btnPreview').textContent = 'Back to Editing';
  const banner = $('banner');
  banner.hidden = false;
  banner.className = 'banner';
  banner.textContent = 'Preview: this is the flattened copy that will be saved. Every page is a picture; the text under the boxes is gone.';
  const doc = await openPdf(base64ToBytes(window.__cvlRedactOut));
  await layOutPages(doc, $('pages'), pageWidthFor($('pages')));
}

async function togglePreview() {
  if (!previewing) {
    if (builtFor === keyOf() && window.__cvlRedactOut) await showPreview();
    else build(true);
    return;
  }
  previewing = false;
  document.body.classList.remove('previewing');
  $('btnPreview').textContent = 'Preview';
  $('banner').hidden = true;
  await showSource();
}

$('btnPreview').onclick = togglePreview;
$('btnSave').onclick = () => {
  if (builtFor === keyOf() && window.__cvlRedactOut) ask('redactsave', { n: boxes.length });
  else build(false);
};

window.cvlRedactToast = (text) => toast(text, /^(Could|Couldn|Keep it searchable|A box|The )/.test(String(text)));

showSource().catch((e) => {
  toast('This document could not be opened: ' + (e && e.message ? e.message : e), true);
});
listBoxes();
