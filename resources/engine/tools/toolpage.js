// Shared parts of the tool pages (redaction, signing): talking to the host, toasts, reading
// PDFs with pdf.js and drawing their pages lazily, and Base64.
import * as pdfjsLib from '../node_modules/pdfjs-dist/build/pdf.mjs';

pdfjsLib.GlobalWorkerOptions.workerSrc =
  new URL('../node_modules/pdfjs-dist/build/pdf.worker.mjs', import.meta.url).href;

export const params = new URLSearchParams(location.search);
export const $ = (id) => document.getElementById(id);
export const baseName = (p) => String(p || '').split('/').pop();

document.documentElement.dataset.theme = params.get('theme') === 'dark' ? 'dark' : 'light';

export function post(body) {
  try { window.webkit.messageHandlers.corvello.postMessage(body); } catch (e) { /* not hosted */ }
}

// Each request gets its own frame so that quick successive requests are never merged.
export function ask(op, args) {
  const q = Object.entries(args || {})
    .map(([k, v]) => encodeURIComponent(k) + '=' + encodeURIComponent(v == null ? '' : String(v)))
    .join('&');
  const frame = document.createElement('iframe');
  frame.style.display = 'none';
  frame.src = 'qrtiz://' + op + (q ? '?' + q : '');
  document.body.appendChild(frame);
  setTimeout(() => frame.remove(), 2000);
}

let toastTimer = 0;
export function toast(text, isError) {
  let t = $('toast');
  if (!t) {
    t = document.createElement('div');
    t.id = 'toast';
    t.setAttribute('role', 'status');
    document.body.appendChild(t);
  }
  t.textContent = String(text || '');
  t.className = 'show' + (isError ? ' err' : '');
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { t.className = ''; }, 3200);
}
window.__cvlToast = (text) => toast(text, false);

export function bytesToBase64(bytes) {
  let s = '';
  for (let i = 0; i < bytes.length; i += 0x8000)
    s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(s);
}

export function base64ToBytes(b64) {
  const s = atob(b64);
  const out = new Uint8Array(s.length);
  for (let i = 0; i < s.length; ++i) out[i] = s.charCodeAt(i);
  return out;
}

// Opens a document from the host's PDF scheme (a path) or from bytes.
export async function openPdf(source) {
  let data = source;
  if (typeof source === 'string') {
    const response = await fetch('vtpdf://doc?p=' + encodeURIComponent(source));
    if (!response.ok) throw new Error('status ' + response.status);
    data = new Uint8Array(await response.arrayBuffer());
  }
  return pdfjsLib.getDocument({
    data,
    cMapUrl: new URL('../node_modules/pdfjs-dist/cmaps/', import.meta.url).href,
    cMapPacked: true,
    standardFontDataUrl: new URL('../node_modules/pdfjs-dist/standard_fonts/', import.meta.url).href,
  }).promise;
}

// Lays the pages of `doc` out in `container` at `cssWidth` pixels wide and draws each one when
// it comes near the view. Each page gets {number, viewport, el, overlay}; `viewport` maps the
// page's PDF coordinates to CSS pixels of `el`.
export async function layOutPages(doc, container, cssWidth) {
  container.textContent = '';
  const pages = [];
  const observer = new IntersectionObserver((entries) => {
    for (const e of entries) if (e.isIntersecting) draw(e.target.cvlPage);
  }, { root: container, rootMargin: '600px 0px' });
  for (let n = 1; n <= doc.numPages; ++n) {
    const page = await doc.getPage(n);
    const unscaled = page.getViewport({ scale: 1 });
    const viewport = page.getViewport({ scale: cssWidth / unscaled.width });
    const el = document.createElement('div');
    el.className = 'page';
    el.style.width = viewport.width + 'px';
    el.style.height = viewport.height + 'px';
    const pno = document.createElement('div');
    pno.className = 'pno';
    pno.textContent = String(n);
    const overlay = document.createElement('div');
    overlay.className = 'overlay';
    el.append(pno, overlay);
    container.appendChild(el);
    const entry = { number: n, page, viewport, el, overlay, drawn: false };
    el.cvlPage = entry;
    pages.push(entry);
    observer.observe(el);
  }
  return pages;
}

async function draw(entry) {
  if (entry.drawn) return;
  entry.drawn = true;
  const ratio = window.devicePixelRatio || 1;
  const canvas = document.createElement('canvas');
  canvas.width = Math.floor(entry.viewport.width * ratio);
  canvas.height = Math.floor(entry.viewport.height * ratio);
  entry.el.insertBefore(canvas, entry.el.firstChild);
  await entry.page.render({
    canvasContext: canvas.getContext('2d'),
    viewport: entry.viewport,
    transform: ratio !== 1 ? [ratio, 0, 0, ratio, 0, 0] : null,
  }).promise;
}

// A rectangle in CSS pixels of the page element to PDF user space, and back.
export function toPdfRect(viewport, left, top, width, height) {
  const [x0, y0] = viewport.convertToPdfPoint(left, top);
  const [x1, y1] = viewport.convertToPdfPoint(left + width, top + height);
  return { x0: Math.min(x0, x1), y0: Math.min(y0, y1), x1: Math.max(x0, x1), y1: Math.max(y0, y1) };
}
export function toCssRect(viewport, r) {
  const [a, b, c, d] = viewport.convertToViewportRectangle([r.x0, r.y0, r.x1, r.y1]);
  return { left: Math.min(a, c), top: Math.min(b, d), width: Math.abs(c - a), height: Math.abs(d - b) };
}

// A width for the pages that fits the container, between 480 and 1000 pixels.
export function pageWidthFor(container) {
  return Math.max(480, Math.min(1000, container.clientWidth - 80));
}
