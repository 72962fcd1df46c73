// The signing view: signatures drawn with the pointer or imported from a picture, placed on the
// pages, moved and resized, several of them. The page describes the placements in
// window.__cvlSignPlan; the host builds the signed copy (signatures drawn into the pages, form
// fields flattened) and hands it back into window.__cvlSignOut, which __cvlSignExport returns.
import { $, ask, baseName, layOutPages, openPdf, pageWidthFor, params, post, toast, toCssRect,
  toPdfRect } from './toolpage.js';

const PDF = params.get('pdf') || '';
const ORIG = params.get('orig') || PDF;
const RUN = params.get('run') || '';
const RUN_ID = params.get('runid') || '';
const SAME = Number(params.get('samecopies') || 0);

const signatures = [];  // {id, url (PNG data address), ratio (height / width)}
const placements = [];  // {id, page, x0, y0, x1, y1, sig} in PDF user space
let current = '';       // the chosen signature
let selected = 0;
let nextId = 1;
let pages = [];
let stops = [];
let stopAt = -1;
let signedFields = [];
const stopsToken = 'stops-' + Date.now();

document.title = 'Sign \u2014 ' + baseName(ORIG);
$('title').textContent = 'Sign \u201c' + baseName(ORIG) + '\u201d';
window.__cvlSignOut = '';
window.__cvlSignExport = () => window.__cvlSignOut || '';

// ---- the plan the host reads ------------------------------------------------------------------
function publish() {
  const images = {};
  for (const p of placements) {
    const s = signatures.find((x) => x.id === p.sig);
    if (s) images[s.id] = s.url.slice(s.url.indexOf(',') + 1);
  }
  window.__cvlSignPlan = {
    placements: placements.map(({ page, x0, y0, x1, y1, sig }) => ({ page, x0, y0, x1, y1, image: sig })),
    images,
  };
  window.__cvlSignOut = '';
  $('btnSave').disabled = $('btnAll').disabled = placements.length === 0;
  $('status').textContent = placements.length === 0 ? ''
    : placements.length + (placements.length === 1 ? ' placement' : ' placements');
}

// ---- signatures -----------------------------------------------------------------------------------
function addSignature(url, choose = true, id = '') {
  const img = new Image();
  img.onload = () => {
    const sig = { id: id || 'sig' + (nextId++), url, ratio: img.naturalHeight / Math.max(1, img.naturalWidth) };
    if (!signatures.some((s) => s.id === sig.id)) signatures.push(sig);
    if (choose) current = sig.id;
    listSignatures();
    drawAll();
  };
  img.src = url;
}

function listSignatures() {
  const box = $('sigs');
  box.textContent = '';
  for (const s of signatures) {
    const el = document.createElement('div');
    el.className = 'sig' + (s.id === current ? ' on' : '');
    el.style.backgroundImage = 'url(' + s.url + ')';
    el.title = 'Place this signature: click on the page';
    el.onclick = () => { current = s.id; listSignatures(); };
    const x = document.createElement('div');
    x.className = 'x';
    x.textContent = '\u00d7';
    x.title = 'Forget this signature';
    x.onclick = (e) => {
      e.stopPropagation();
      if (placements.some((p) => p.sig === s.id)) { toast('This signature is placed on the page: remove it there first.'); return; }
      signatures.splice(signatures.indexOf(s), 1);
      if (current === s.id) current = signatures.length ? signatures[0].id : '';
      listSignatures();
    };
    el.appendChild(x);
    box.appendChild(el);
  }
}

window.cvlSignImportNative = (r) => {
  if (!r) return;
  if (r.error) { toast(r.error, true); return; }
  if (r.png) addSignature('data:image/png;base64,' + r.png);
};
$('btnImport').onclick = () => ask('signimport', {});

// ---- the drawing pad --------------------------------------------------------------------------
const pad = $('pad');
const ink = pad.getContext('2d');
let strokes = 0;
function clearPad() {
  ink.clearRect(0, 0, pad.width, pad.height);
  strokes = 0;
}
pad.addEventListener('pointerdown', (e) => {
  pad.setPointerCapture(e.pointerId);
  const r = pad.getBoundingClientRect();
  const at = (ev) => [(ev.clientX - r.left) * pad.width / r.width, (ev.clientY - r.top) * pad.height / r.height];
  let [lx, ly] = at(e);
  ink.lineCap = ink.lineJoin = 'round';
  ink.strokeStyle = '#1a2a6c';
  ink.lineWidth = 3;
  const move = (ev) => {
    const [x, y] = at(ev);
    ink.beginPath();
    ink.moveTo(lx, ly);
    ink.quadraticCurveTo(lx, ly, (lx + x) / 2, (ly + y) / 2);
    ink.lineTo(x, y);
    ink.stroke();
    [lx, ly] = [x, y];
  };
  const up = () => {
    pad.removeEventListener('pointermove', move);
    pad.removeEventListener('pointerup', up);
    ++strokes;
  };
  pad.addEventListener('pointermove', move);
  pad.addEventListener('pointerup', up);
});
// The drawn ink, cut to its bounds, as a transparent PNG.
function padPicture() {
  const data = ink.getImageData(0, 0, pad.width, pad.height).data;
  let x0 = pad.width, y0 = pad.height, x1 = -1, y1 = -1;
  for (let y = 0; y < pad.height; ++y)
    for (let x = 0; x < pad.width; ++x)
      if (data[(y * pad.width + x) * 4 + 3] > 0) {
        x0 = Math.min(x0, x); y0 = Math.min(y0, y); x1 = Math.max(x1, x); y1 = Math.max(y1, y);
      }
  if (x1 < 0) return '';
  const m = 6;
  x0 = Math.max(0, x0 - m); y0 = Math.max(0, y0 - m);
  x1 = Math.min(pad.width - 1, x1 + m); y1 = Math.min(pad.height - 1, y1 + m);
  const out = document.createElement('canvas');
  out.width = (x1 - x0 + 1) * 2;
  out.height = (y1 - y0 + 1) * 2;
  out.getContext('2d').drawImage(pad, x0, y0, x1 - x0 + 1, y1 - y0 + 1, 0, 0, out.width, out.height);
  return out.toDataURL('image/png');
}
$('btnDraw').onclick = () => { clearPad(); $('padSheet').hidden = false; };
$('padClear').onclick = clearPad;
$('padCancel').onclick = () => { $('padSheet').hidden = true; };
$('padUse').onclick = () => {
  const url = strokes ? padPicture() : '';
  if (!url) { toast('Draw your signature first.'); return; }
  $('padSheet').hidden = true;
  addSignature(url);
};

// ---- placements ------------------------------------------------------------------------------------
function place(pageNumber, rect, sig) {
  placements.push({ id: nextId++, page: pageNumber, ...rect, sig });
  selected = nextId - 1;
  changed();
}

function placeAt(p, cssX, cssY) {
  const sig = signatures.find((s) => s.id === current);
  if (!sig) { toast('Draw or import a signature first.'); return; }
  const scale = p.viewport.scale;
  const w = 160 * scale, h = w * sig.ratio;
  const left = Math.max(0, Math.min(p.viewport.width - w, cssX - w / 2));
  const top = Math.max(0, Math.min(p.viewport.height - h, cssY - h / 2));
  place(p.number, toPdfRect(p.viewport, left, top, w, h), sig.id);
}

// Fits the chosen signature into a stop, keeping its proportions, sitting on the stop's bottom.
function placeInStop(stop) {
  const p = pages[stop.page - 1];
  const sig = signatures.find((s) => s.id === current);
  if (!p) return;
  if (!sig) { toast('Draw or import a signature first.'); return; }
  const r = toCssRect(p.viewport, stop);
  let w = r.width, h = w * sig.ratio;
  if (h > r.height) { h = r.height; w = h / sig.ratio; }
  place(p.number, toPdfRect(p.viewport, r.left, r.top + r.height - h, w, h), sig.id);
}

function armPage(p) {
  p.overlay.addEventListener('click', (e) => {
    if (e.target !== p.overlay) return;
    const r = p.overlay.getBoundingClientRect();
    placeAt(p, e.clientX - r.left, e.clientY - r.top);
  });
}

// Moving (the body) and resizing (the corner grip, keeping proportions).
function drag(el, p, item, resize, e) {
  e.preventDefault();
  e.stopPropagation();
  selected = item.id;
  el.setPointerCapture(e.pointerId);
  const start = toCssRect(p.viewport, item);
  const sx = e.clientX, sy = e.clientY;
  const ratio = start.height / Math.max(1, start.width);
  const move = (ev) => {
    let { left, top, width, height } = start;
    if (resize) {
      width = Math.max(24, Math.min(p.viewport.width - left, start.width + ev.clientX - sx));
      height = width * ratio;
      if (top + height > p.viewport.height) { height = p.viewport.height - top; width = height / ratio; }
    } else {
      left = Math.max(0, Math.min(p.viewport.width - width, start.left + ev.clientX - sx));
      top = Math.max(0, Math.min(p.viewport.height - height, start.top + ev.clientY - sy));
    }
    Object.assign(el.style, { left: left + 'px', top: top + 'px', width: width + 'px', height: height + 'px' });
    Object.assign(item, toPdfRect(p.viewport, left, top, width, height));
  };
  const up = () => {
    el.removeEventListener('pointermove', move);
    el.removeEventListener('pointerup', up);
    changed();
  };
  el.addEventListener('pointermove', move);
  el.addEventListener('pointerup', up);
}

function drawAll() {
  for (const p of pages) p.overlay.querySelectorAll('.place,.stop,.signed').forEach((x) => x.remove());
  stops.forEach((s, i) => {
    const p = pages[s.page - 1];
    if (!p) return;
    const r = toCssRect(p.viewport, s);
    const el = document.createElement('div');
    el.className = 'stop' + (i === stopAt ? ' current' : '');
    Object.assign(el.style, { left: r.left + 'px', top: r.top + 'px', width: r.width + 'px', height: r.height + 'px' });
    const tag = document.createElement('span');
    tag.textContent = 'Sign here';
    el.appendChild(tag);
    el.title = s.label || 'Sign here';
    el.onclick = (e) => { e.stopPropagation(); placeInStop(s); };
    p.overlay.appendChild(el);
  });
  for (const f of signedFields) {
    const p = pages[f.page - 1];
    if (!p) continue;
    const r = toCssRect(p.viewport, f);
    const el = document.createElement('div');
    el.className = 'signed';
    Object.assign(el.style, { left: r.left + 'px', top: r.top + 'px', width: r.width + 'px', height: r.height + 'px' });
    const tag = document.createElement('span');
    tag.textContent = 'Signed';
    el.appendChild(tag);
    p.overlay.appendChild(el);
  }
  for (const item of placements) {
    const p = pages[item.page - 1];
    const sig = signatures.find((s) => s.id === item.sig);
    if (!p || !sig) continue;
    const r = toCssRect(p.viewport, item);
    const el = document.createElement('div');
    el.className = 'place' + (item.id === selected ? ' on' : '');
    Object.assign(el.style, { left: r.left + 'px', top: r.top + 'px', width: r.width + 'px', height: r.height + 'px' });
    const img = document.createElement('img');
    img.src = sig.url;
    const grip = document.createElement('div');
    grip.className = 'grip';
    grip.title = 'Drag to resize';
    const x = document.createElement('div');
    x.className = 'x';
    x.textContent = '\u00d7';
    x.title = 'Remove';
    x.onpointerdown = (e) => e.stopPropagation();
    x.onclick = (e) => { e.stopPropagation(); remove(item.id); };
    el.append(img, grip, x);
    el.addEventListener('pointerdown', (e) => { if (e.target !== x) drag(el, p, item, e.target === grip, e); });
    p.overlay.appendChild(el);
  }
}

function listPlacements() {
  const list = $('placeList');
  list.textContent = '';
  placements.forEach((item, i) => {
    const li = document.createElement('li');
    li.className = item.id === selected ? 'on' : '';
    const label = document.createElement('span');
    label.textContent = (i + 1) + '. Page ' + item.page;
    const del = document.createElement('button');
    del.textContent = 'Remove';
    del.onclick = (e) => { e.stopPropagation(); remove(item.id); };
    li.append(label, del);
    li.onclick = () => { selected = item.id; scrollTo(item); drawAll(); listPlacements(); };
    list.appendChild(li);
  });
}

function scrollTo(rect) {
  const p = pages[rect.page - 1];
  if (p) $('pages').scrollTop = p.el.offsetTop + toCssRect(p.viewport, rect).top - 140;
}

function remove(id) {
  const i = placements.findIndex((x) => x.id === id);
  if (i >= 0) placements.splice(i, 1);
  if (selected === id) selected = 0;
  changed();
}

function changed() {
  publish();
  drawAll();
  listPlacements();
}

document.addEventListener('keydown', (e) => {
  if ((e.key === 'Delete' || e.key === 'Backspace') && selected && $('padSheet').hidden) {
    e.preventDefault();
    remove(selected);
  }
});

// ---- signing stops and signed fields ----------------------------------------------------------
window.cvlSignStopsRoute = (r) => {
  if (r && r.token === stopsToken) $('status').textContent = 'Looking for signing places\u2026';
};
window.cvlSignStopsResult = (r) => {
  if (!r || r.token !== stopsToken) return;
  stops = Array.isArray(r.stops) ? r.stops : [];
  $('btnStop').hidden = stops.length === 0;
  $('btnStop').textContent = stops.length === 1 ? 'Go to the Signing Place' : 'Next Place (' + stops.length + ')';
  publish();
  drawAll();
};
$('btnStop').onclick = () => {
  if (!stops.length) return;
  stopAt = (stopAt + 1) % stops.length;
  scrollTo(stops[stopAt]);
  drawAll();
};
window.cvlSignedSignatures = (list) => {
  signedFields = Array.isArray(list) ? list : [];
  drawAll();
};
window.cvlFormInfo = (summary) => {
  if (!summary || !summary.ok || !summary.total) return;
  const banner = $('banner');
  banner.hidden = false;
  banner.className = 'banner';
  banner.textContent = 'This document has ' + summary.total + (summary.total === 1 ? ' form field' : ' form fields') +
    '. The signed copy keeps what they show, flattened into the page, so nobody can change them afterwards.';
};

// ---- saving -------------------------------------------------------------------------------------------
window.cvlSignBuilt = (r) => { if (r && r.out) window.__cvlSignOut = r.out; };
window.cvlSignApplyProgress = ({ done, total, name }) => {
  $('status').textContent = 'Signing ' + (done + 1) + ' of ' + total + ': ' + name;
};
window.cvlSignSaveDone = (text) => {
  const banner = $('banner');
  banner.hidden = false;
  banner.className = 'banner' + (/^(Saved, but|Could|The |A |Corvello)/.test(String(text)) ? ' err' : '');
  banner.textContent = String(text || '');
  publish();
};
window.__cvlSignDone = () => {
  $('status').textContent = 'Saved';
  $('btnPrint').hidden = false;
};
$('btnPrint').onclick = () => ask('printsaved', {});
$('btnSave').onclick = () => ask('signsave', { suggest: baseName(ORIG), runid: RUN_ID });
$('btnAll').onclick = () => ask('signsave', { suggest: baseName(ORIG), runid: RUN_ID, applyall: 1 });
if (SAME > 0) $('btnAll').textContent = 'Sign All ' + (SAME + 1) + ' Copies\u2026';

// ---- a run over several documents --------------------------------------------------------------
window.__cvlSignReplay = (plan) => {
  if (!plan || !Array.isArray(plan.placements)) return;
  // The previous copy's pictures keep their own ids, apart from the ones made here.
  for (const [id, b64] of Object.entries(plan.images || {}))
    addSignature('data:image/png;base64,' + b64, true, 'replay-' + id);
  for (const p of plan.placements)
    placements.push({ id: nextId++, page: p.page, x0: p.x0, y0: p.y0, x1: p.x1, y1: p.y1, sig: 'replay-' + p.image });
  toast('The signatures of the previous copy are placed: check them, then save.');
  changed();
};
if (RUN) {
  const [at, total] = RUN.split('/').map(Number);
  $('run').hidden = false;
  $('runText').textContent = at + ' of ' + total + (params.get('runname') ? ' \u00b7 ' + params.get('runname') : '');
  $('btnPrev').disabled = at <= 1;
  $('btnNext').disabled = at >= total;
  $('btnPrev').onclick = () => ask('signrunprev', { runid: RUN_ID });
  $('btnNext').onclick = () => ask('signrunnext', { runid: RUN_ID });
}

async function start() {
  const doc = await openPdf(PDF);
  pages = await layOutPages(doc, $('pages'), pageWidthFor($('pages')));
  for (const p of pages) armPage(p);
  publish();
  listSignatures();
  ask('forminfo', {});
  post({ action: 'signstops', pages: [], token: stopsToken });
  if (params.get('replay') === '1') ask('signreplayready', { runid: RUN_ID });
}
start().catch((e) => toast('This document could not be opened: ' + (e && e.message ? e.message : e), true));
