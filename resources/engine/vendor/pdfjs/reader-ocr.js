// Recognised text in the reader: for a scanned PDF without text, "Make searchable" asks the host
// to recognise its pages and lays the lines over the page images as an invisible, selectable
// text layer that the reader's search also finds. The reader page itself is reader.js; this
// file uses only what it hands over in window.__cvlReader.

const STYLE = `
#cvlOcrBar{flex:none;display:flex;align-items:center;gap:10px;padding:7px 14px;background:var(--bar);border-bottom:1px solid var(--line)}
#cvlOcrBar[hidden]{display:none}#cvlOcrBar span{flex:1}
#cvlOcrBar button,.cvlOcrOffer button{height:26px;padding:0 12px;border-radius:7px;border:1px solid var(--line);background:var(--card);cursor:pointer}
#cvlOcrBar button.primary{background:var(--accent);color:var(--accentfg);border-color:var(--accent)}
.cvlOcrLayer{position:absolute;inset:0;overflow:hidden;line-height:1;z-index:3;white-space:pre}
.cvlOcrLayer span{position:absolute;color:transparent;transform-origin:0 0;cursor:text;font-family:sans-serif}
.cvlOcrLayer span::selection{background:rgba(47,109,179,.35);color:transparent}
.cvlOcrOffer{margin-top:6px}
`;

function start(reader) {
  const { viewer, eventBus, ask, toast } = reader;
  const PDF = reader.pdf;
  const GEN = reader.gen;
  const $ = (id) => document.getElementById(id);
  const el = (tag, cls, text) => {
    const n = document.createElement(tag);
    if (cls) n.className = cls;
    if (text !== undefined) n.textContent = text;
    return n;
  };
  const style = document.createElement('style');
  style.textContent = STYLE;
  document.head.appendChild(style);

  // ---- the bar under the toolbar ----------------------------------------------------------
  const bar = el('div');
  bar.id = 'cvlOcrBar';
  bar.hidden = true;
  const barText = el('span');
  const barGo = el('button', 'primary', 'Make searchable');
  const barCancel = el('button', '', 'Cancel');
  barGo.type = barCancel.type = 'button';
  bar.append(barText, barGo, barCancel);
  $('bar').after(bar);

  let layer = {};         // page number -> items, once recognised
  let building = false;
  let scan = null;        // the host's scan report

  function showBar(text, go, cancel) {
    bar.hidden = false;
    barText.textContent = text;
    barGo.hidden = !go;
    if (go) barGo.textContent = go;
    barCancel.hidden = !cancel;
  }
  function makeSearchable() {
    building = true;
    showBar('Recognising the text of this scan…', null, true);
    ask('readerocrlayer', { path: PDF });
  }
  barGo.onclick = makeSearchable;
  barCancel.onclick = () => { ask('readerocrlayer', { path: PDF, cancel: '1' }); showBar('Stopping…', null, false); };

  const current = (r) => !r || r.gen === undefined || !GEN || Number(r.gen) === GEN;

  window.cvlScanInfo = (info) => {
    scan = info;
    window.__cvlLastScanInfo = info;
    if (!info || info.error || building || Object.keys(layer).length) return;
    const pages = (info.noTextPages || []).length;
    if (info.scanned && pages)
      showBar('This document is a scan without text: it cannot be searched or selected yet.', 'Make searchable', false);
  };
  window.cvlSearchableProgress = (p) => {
    if (!building || !p) return;
    showBar('Recognising page ' + p.page + ' (' + (p.done + 1) + ' of ' + p.total + ')…', null, true);
  };
  window.cvlSearchableLayer = (answer) => {
    if (!current(answer)) return;
    building = false;
    window.__cvlLastLayer = answer;
    if (!answer || answer.reason === 'missing') { showBar('The document is no longer where it was opened from.', null, false); return; }
    for (const p of answer.pages || []) layer[p.page] = p.items || [];
    const n = (answer.pages || []).length;
    for (const page of Object.keys(layer)) drawLayer(Number(page));
    if (answer.cancelled) showBar('Stopped: text recognised on ' + n + (n === 1 ? ' page.' : ' pages.'), 'Continue', false);
    else if (n) { showBar('Text recognised on ' + n + (n === 1 ? ' page' : ' pages') + ': it can now be selected and searched.', null, false); setTimeout(() => { bar.hidden = true; }, 6000); }
    else showBar('No text was found on the pages of this document.', null, false);
  };

  // ---- the invisible text layer -------------------------------------------------------------
  const measure = document.createElement('canvas').getContext('2d');
  function drawLayer(pageNumber) {
    const items = layer[pageNumber];
    const view = viewer.getPageView(pageNumber - 1);
    if (!items || !view || !view.div || !view.viewport) return;
    const old = view.div.querySelector('.cvlOcrLayer');
    const scale = String(view.viewport.scale) + '/' + view.viewport.rotation;
    if (old && old.dataset.scale === scale) return;
    if (old) old.remove();
    const box = el('div', 'cvlOcrLayer');
    box.dataset.scale = scale;
    for (const it of items) {
      // The line's corners on the drawn page: its baseline runs from the bottom-left to the
      // bottom-right corner, whatever the page's rotation.
      const [x0, y0] = view.viewport.convertToViewportPoint(it.x, it.y);
      const [x1, y1] = view.viewport.convertToViewportPoint(it.x + it.width, it.y);
      const [x2, y2] = view.viewport.convertToViewportPoint(it.x, it.y + it.height);
      const length = Math.hypot(x1 - x0, y1 - y0);
      const height = Math.hypot(x2 - x0, y2 - y0);
      if (!(length > 0) || !(height > 0)) continue;
      const span = el('span', '', it.str);
      const size = height * 0.92;
      measure.font = size + 'px sans-serif';
      const natural = measure.measureText(it.str).width || length;
      span.style.left = x2 + 'px';
      span.style.top = y2 + 'px';
      span.style.fontSize = size + 'px';
      span.style.transform = 'rotate(' + Math.atan2(y1 - y0, x1 - x0) + 'rad) scaleX(' + (length / natural) + ')';
      box.appendChild(span);
      box.appendChild(document.createTextNode('\n'));
    }
    view.div.appendChild(box);
  }
  eventBus.on('pagerendered', (e) => { if (layer[e.pageNumber]) drawLayer(e.pageNumber); });

  // ---- search: hits in the recognised lines, with their rectangles --------------------------
  function layerHits(q) {
    const out = [];
    const want = String(q || '').toLowerCase();
    if (want.length < 2) return out;
    for (const [page, items] of Object.entries(layer)) {
      for (const it of items) {
        const text = String(it.str);
        const low = text.toLowerCase();
        for (let at = low.indexOf(want); at >= 0; at = low.indexOf(want, at + want.length)) {
          // Where the match lies along the line, from the widths of the text before and in it.
          measure.font = '20px sans-serif';
          const whole = measure.measureText(text).width || 1;
          const before = measure.measureText(text.slice(0, at)).width / whole;
          const inside = measure.measureText(text.slice(at, at + want.length)).width / whole;
          out.push({
            page: Number(page), label: String(page), ocr: true,
            snippet: text, match: text.slice(at, at + want.length),
            rects: [{ x: it.x + it.width * before, y: it.y, w: it.width * inside, h: it.height }],
          });
        }
      }
    }
    return out.sort((a, b) => a.page - b.page);
  }
  const showResults = window.cvlReaderSearchResults;
  window.cvlReaderSearchResults = (res) => {
    const q = res && res.q;
    if (res && Object.keys(layer).length) {
      // Pages with a recognised layer are answered from it (the host has no rectangles there).
      const extra = layerHits(q);
      const docs = (res.docs || []).map((d) => ({ ...d, hits: (d.hits || []).filter((h) => !layer[h.page]) }));
      if (!docs.length) docs.push({ path: PDF, name: PDF.split('/').pop(), hits: [] });
      docs[0].hits = docs[0].hits.concat(extra).sort((a, b) => (a.page || 0) - (b.page || 0));
      const hitCount = docs.reduce((n, d) => n + d.hits.length, 0);
      res = { ...res, docs, hitCount, docCount: hitCount ? 1 : 0 };
    }
    showResults(res);
    const noText = ((res && res.scannedNoText) || []).some((d) => d.path === PDF);
    if (noText && !Object.keys(layer).length && q) offerRecognition(q);
  };
  function offerRecognition(q) {
    const box = el('div', 'cvlOcrOffer');
    box.appendChild(el('div', 'dim', 'This document is a scan without text.'));
    const b = el('button', '', 'Recognise text and search');
    b.type = 'button';
    b.onclick = () => { box.remove(); $('searchSummary').textContent = 'Recognising the text…'; ask('readerocr', { path: PDF, q }); };
    box.appendChild(b);
    $('searchSummary').appendChild(box);
  }
  window.cvlReaderOCRProgress = (p) => {
    if (!p) return;
    if (p.done >= p.total) { toast('Text recognised: later searches read it too.'); return; }
    $('searchSummary').textContent = p.pages ? 'Recognising page ' + p.page + ' of ' + p.pages + '…' : 'Recognising the text…';
  };

  window.__cvlOcr = { makeSearchable, layerHits, layer: () => layer, scan: () => scan };
  // Only a document whose first pages show no text is worth asking the host about.
  async function firstPagesHaveText(doc) {
    for (let n = 1; n <= Math.min(3, doc.numPages); n++) {
      const content = await (await doc.getPage(n)).getTextContent();
      const chars = content.items.map((it) => it.str || '').join('').replace(/\s/g, '').length;
      if (chars >= 8) return true;
    }
    return false;
  }
  async function askScanInfo() {
    try {
      if (PDF && viewer.pdfDocument && !(await firstPagesHaveText(viewer.pdfDocument))) ask('scaninfo', { path: PDF });
    } catch (e) { /* the reader shows its own error */ }
  }
  if (viewer.pagesCount) askScanInfo(); else eventBus.on('pagesinit', askScanInfo);
}

if (window.__cvlReader && window.__cvlReader.viewer) start(window.__cvlReader);
else window.addEventListener('cvlreaderready', () => start(window.__cvlReader), { once: true });
