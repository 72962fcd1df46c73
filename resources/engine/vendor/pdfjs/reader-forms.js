// Forms, signing and redaction in the reader. pdf.js's form layer fills the fields; this script
// keeps window.__cvlFilledB64 current with the viewer's saved bytes, offers Save Form (the host
// writes the file in place after its checks), and opens the signing and redaction views.
const params = new URLSearchParams(location.search);
const PDF = params.get('pdf') || '';
const ORIG = params.get('orig') || PDF;
const IS_PDF = ORIG === PDF && /\.pdf$/i.test(ORIG);

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

function toBase64(bytes) {
  let s = '';
  for (let i = 0; i < bytes.length; i += 0x8000)
    s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(s);
}

const FILLABLE = new Set(['text', 'checkbox', 'radiobutton', 'combobox', 'listbox']);
let doc = null;
let timer = 0;
let saveButton = null;
window.__cvlFilledB64 = '';

// The viewer's document with the entries made so far, as the host will save it.
async function refresh() {
  if (!doc) return '';
  const bytes = await doc.saveDocument();
  window.__cvlFilledB64 = toBase64(bytes);
  return window.__cvlFilledB64;
}
function schedule() {
  clearTimeout(timer);
  timer = setTimeout(() => { refresh().catch(() => {}); }, 400);
}

function button(label, title, onclick) {
  const b = document.createElement('button');
  b.textContent = label;
  b.title = title;
  b.style.fontSize = '13px';
  b.style.padding = '0 10px';
  b.onclick = onclick;
  return b;
}

function addControls(hasForm) {
  const bar = document.getElementById('bar');
  if (!bar || document.getElementById('cvlDocTools')) return;
  const group = document.createElement('div');
  group.className = 'grp';
  group.id = 'cvlDocTools';
  if (hasForm) {
    saveButton = button('Save Form', 'Save your entries into this file', async () => {
      saveButton.disabled = true;
      try {
        await refresh();
        ask('fillform', { path: ORIG });
      } catch (e) {
        if (window.cvlToast) window.cvlToast('Could not read the filled form', true);
      } finally {
        saveButton.disabled = false;
      }
    });
    group.appendChild(saveButton);
  }
  group.appendChild(button('Sign\u2026', 'Place your signature and save a signed copy', () => ask('signrun', {})));
  group.appendChild(button('Redact\u2026', 'Black out parts of the pages and save a flattened copy', () => ask('redactcurrent', {})));
  bar.appendChild(group);
}

async function onDocument(d) {
  if (!d || d === doc) return;
  doc = d;
  window.__cvlFilledB64 = '';
  let fields = null;
  try { fields = await d.getFieldObjects(); } catch (e) { fields = null; }
  const hasForm = !!fields && Object.values(fields).some((list) => list.some((f) => FILLABLE.has(f.type)));
  if (!IS_PDF) return;
  addControls(hasForm);
  if (!hasForm) return;
  const storage = d.annotationStorage;
  const setValue = storage.setValue.bind(storage);
  storage.setValue = (key, value) => { setValue(key, value); schedule(); };
  ask('forminfo', {});
}

window.cvlFormInfo = (summary) => {
  if (saveButton && summary && summary.ok)
    saveButton.title = 'Save your entries into this file (' + summary.count +
      (summary.count === 1 ? ' field)' : ' fields)');
};

(async () => {
  while (!window.pdfViewer) await new Promise((r) => setTimeout(r, 50));
  const viewer = window.pdfViewer;
  viewer.eventBus.on('pagesinit', () => onDocument(viewer.pdfDocument));
  if (viewer.pdfDocument && viewer.pagesCount) onDocument(viewer.pdfDocument);
})();
