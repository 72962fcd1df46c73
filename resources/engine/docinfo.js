// The document information view: the file and what its PDF says about itself. Shared by the
// reader's Info pane and the stand-alone information page; the host supplies the object.
(function () {
  function el(tag, cls, text) {
    const n = document.createElement(tag);
    if (cls) n.className = cls;
    if (text !== undefined) n.textContent = text;
    return n;
  }
  function size(n) {
    if (typeof n !== 'number') return '';
    const units = ['bytes', 'KB', 'MB', 'GB'];
    let v = n, u = 0;
    while (v >= 1000 && u < units.length - 1) { v /= 1000; u += 1; }
    const shown = u === 0 ? String(v) : v.toFixed(v < 10 ? 1 : 0);
    return shown + ' ' + units[u] + (u ? ' (' + n.toLocaleString() + ' bytes)' : '');
  }
  function when(iso) {
    if (!iso) return '';
    const d = new Date(iso);
    return isNaN(d) ? iso : d.toLocaleString([], { dateStyle: 'medium', timeStyle: 'short' });
  }
  function pts(v) { return (Math.round(v * 10) / 10).toString(); }
  function mm(v) { return Math.round(v / 72 * 25.4); }
  const yes = (b) => (b ? 'Yes' : 'No');

  function table(rows) {
    const t = el('table', 'cvlInfoRows');
    for (const [label, value, extra] of rows) {
      if (value === undefined || value === null || value === '') continue;
      const tr = el('tr');
      tr.appendChild(el('th', '', label));
      const td = el('td', '', String(value));
      if (extra) td.appendChild(extra);
      tr.appendChild(td);
      t.appendChild(tr);
    }
    return t;
  }

  function render(container, info, options) {
    container.textContent = '';
    if (!info || info.error) {
      container.appendChild(el('p', 'cvlInfoErr', (info && info.error) || 'No information.'));
      return;
    }
    const ask = (options && options.ask) || null;
    const file = el('section');
    file.appendChild(el('h3', '', 'File'));
    let where = null;
    if (ask) {
      where = el('a', 'cvlInfoLink', 'Show in Folder');
      where.href = '#';
      where.onclick = (e) => { e.preventDefault(); ask('reveal', { path: info.path }); };
    }
    file.appendChild(table([
      ['Name', info.name], ['Kind', info.kind], ['Size', size(info.size)],
      ['Where', info.folder, where], ['Created', when(info.created)],
      ['Modified', when(info.modified)], ['Last opened', when(info.accessed)],
    ]));
    container.appendChild(file);
    if (info.pdfError) container.appendChild(el('p', 'cvlInfoErr', info.pdfError));
    const pdf = info.pdf;
    if (!pdf) return;
    const doc = el('section');
    doc.appendChild(el('h3', '', pdf.converted ? 'PDF (the converted copy shown)' : 'PDF'));
    const d = pdf.info || {};
    const sizes = (pdf.pageSizes || []).map((s) => {
      const name = (s.paper ? s.paper + ', ' : '') + pts(s.width) + ' × ' + pts(s.height) + ' pt (' + mm(s.width) + ' × ' + mm(s.height) + ' mm)';
      return pdf.pageSizes.length > 1 ? name + ': ' + (s.count === 1 ? 'page ' : 'pages ') + s.pages : name;
    });
    const perms = pdf.permissions || {};
    const denied = Object.entries({ print: 'printing', copy: 'copying text', edit: 'changes', annotate: 'comments' })
      .filter(([k]) => perms[k] === false).map(([, v]) => v);
    let encrypted = 'No';
    if (pdf.encrypted) {
      encrypted = 'Yes' + (pdf.encryption ? ', ' + pdf.encryption : '') + (pdf.locked ? ' (needs its password)' : '');
      if (denied.length) encrypted += '; does not allow ' + denied.join(', ');
    }
    const forms = pdf.forms === 'XFA' ? 'Yes (XFA)' : pdf.forms === 'AcroForm'
      ? 'Yes, ' + pdf.fields + (pdf.fields === 1 ? ' field' : ' fields') : 'No';
    doc.appendChild(table([
      ['Title', d.Title], ['Author', d.Author], ['Subject', d.Subject], ['Keywords', d.Keywords],
      ['Application', d.Creator], ['Producer', d.Producer],
      ['Created', when(d.CreationDate)], ['Modified', when(d.ModDate)],
      ['PDF version', pdf.version], ['Pages', pdf.locked ? '' : pdf.pages],
      ['Page size', sizes.join('\n')],
      ['Tagged', pdf.locked ? '' : yes(pdf.tagged) + (pdf.tagged || !pdf.structure ? '' : ' (has a structure tree, not marked as tagged)')],
      ['Encrypted', encrypted], ['Forms', pdf.locked ? '' : forms],
      ['Damaged', pdf.damaged ? 'Yes, repaired while reading' : ''],
    ]));
    container.appendChild(doc);
    const fonts = pdf.fonts || [];
    if (!pdf.locked) {
      const f = el('section');
      f.appendChild(el('h3', '', 'Fonts' + (fonts.length ? ' (' + fonts.length + ')' : '')));
      if (!fonts.length) f.appendChild(el('p', 'cvlInfoDim', 'No fonts: the pages hold no text drawn with fonts.'));
      else {
        const t = el('table', 'cvlInfoFonts');
        const h = el('tr');
        for (const c of ['Name', 'Type', 'Embedded']) h.appendChild(el('th', '', c));
        t.appendChild(h);
        for (const x of fonts) {
          const tr = el('tr');
          tr.appendChild(el('td', '', x.name));
          tr.appendChild(el('td', '', x.type));
          tr.appendChild(el('td', '', x.embedded ? (x.subset ? 'Yes (subset)' : 'Yes') : 'No'));
          t.appendChild(tr);
        }
        f.appendChild(t);
      }
      if (pdf.fontsTruncated) f.appendChild(el('p', 'cvlInfoDim', 'Fonts of the first 2,000 pages.'));
      container.appendChild(f);
    }
  }

  const style = document.createElement('style');
  style.textContent = `
.cvlInfo h3{font-size:12px;text-transform:uppercase;letter-spacing:.06em;color:var(--dim);margin:16px 2px 6px}
.cvlInfo table{width:100%;border-collapse:collapse}
.cvlInfoRows th{text-align:left;font-weight:500;color:var(--dim);padding:3px 10px 3px 2px;vertical-align:top;white-space:nowrap;width:1%}
.cvlInfoRows td{padding:3px 2px;white-space:pre-line;word-break:break-word}
.cvlInfoFonts th{text-align:left;font-weight:600;font-size:12px;color:var(--dim);padding:4px 6px 4px 2px;border-bottom:1px solid var(--line)}
.cvlInfoFonts td{padding:3px 6px 3px 2px;border-bottom:1px solid var(--line);word-break:break-word}
.cvlInfoLink{margin-left:8px;color:var(--accent);text-decoration:none;white-space:nowrap}
.cvlInfoDim{color:var(--dim)}.cvlInfoErr{color:#c0392b}`;
  document.head.appendChild(style);
  window.cvlDocInfoView = render;
})();
