// The page grid: the cells of a spreadsheet or delimited text file as a readable table with
// one tab per sheet, sticky column letters, header row and row numbers, and a row filter.
// The host hands over the cells through cvlGrid() after the page asks with "gridready".
(function () {
  'use strict';
  const params = new URLSearchParams(location.search);
  document.documentElement.dataset.theme = params.get('theme') === 'dark' ? 'dark' : 'light';
  const $ = (id) => document.getElementById(id);
  const baseName = (p) => String(p || '').split('/').pop();
  document.title = baseName(params.get('path')) || 'Table';

  const CHUNK = 300;  // rows added to the table at a time, as the user scrolls
  const NUMERIC = /^[-+(]?[$€£¥]?\s?[-+]?(\d{1,3}(,\d{3})+|\d+)?(\.\d+)?([eE][-+]?\d+)?\)?\s?%?$/;
  const DATE = /^\d{4}-\d{2}-\d{2}( \d{2}:\d{2}(:\d{2})?)?$|^\d{2}:\d{2}:\d{2}$/;
  let data = null;
  let current = 0;
  let shown = [];     // indexes of the rows that pass the filter
  let rendered = 0;   // how many of them are in the table
  let headerRow = false;

  function ask(op) {
    const frame = document.createElement('iframe');
    frame.style.display = 'none';
    frame.src = 'qrtiz://' + op;
    document.body.appendChild(frame);
    setTimeout(() => frame.remove(), 2000);
  }

  function columnName(i) {
    let s = '';
    for (i += 1; i > 0; i = Math.floor((i - 1) / 26)) s = String.fromCharCode(65 + ((i - 1) % 26)) + s;
    return s;
  }

  const isNumber = (v) => v !== '' && /\d/.test(v) && (NUMERIC.test(v.trim()) || DATE.test(v));

  function showMessage(title, text) {
    $('sheet').hidden = true;
    $('filter').disabled = true;
    const box = document.createElement('div');
    box.className = 'box';
    const h = document.createElement('h2');
    h.textContent = title;
    const p = document.createElement('p');
    p.textContent = text;
    box.append(h, p);
    $('message').replaceChildren(box);
    $('message').hidden = false;
  }

  // The first row is a header when it has text and none of its cells are numbers.
  function looksLikeHeader(rows) {
    if (rows.length < 2) return false;
    const first = rows[0].filter((v) => v !== '');
    return first.length > 0 && first.every((v) => !isNumber(v));
  }

  function selectSheet(index) {
    current = index;
    const sheet = data.sheets[index];
    [...$('tabs').children].forEach((b, i) => b.classList.toggle('on', i === index));
    headerRow = looksLikeHeader(sheet.rows);
    const width = sheet.rows.reduce((w, r) => Math.max(w, r.length), 0);
    const head = $('grid').tHead;
    head.replaceChildren();
    const letters = document.createElement('tr');
    letters.className = 'letters';
    const corner = document.createElement('th');
    corner.className = 'rn';
    letters.appendChild(corner);
    for (let c = 0; c < width; c++) {
      const th = document.createElement('th');
      th.textContent = columnName(c);
      letters.appendChild(th);
    }
    head.appendChild(letters);
    if (headerRow) {
      const tr = document.createElement('tr');
      tr.className = 'hdr';
      const rn = document.createElement('th');
      rn.className = 'rn';
      rn.textContent = '1';
      tr.appendChild(rn);
      for (let c = 0; c < width; c++) {
        const th = document.createElement('th');
        th.textContent = sheet.rows[0][c] || '';
        tr.appendChild(th);
      }
      head.appendChild(tr);
      // The header row sticks just below the column letters.
      const top = letters.getBoundingClientRect().height + 'px';
      for (const th of tr.cells) th.style.top = top;
    }
    const note = [];
    if (sheet.truncated) {
      note.push('Showing the first ' + sheet.rows.length.toLocaleString() + ' rows' +
        (sheet.total_cols > (data.limits || {}).cols ? ' and ' + data.limits.cols + ' columns' : '') +
        ' of ' + Number(sheet.total_rows || sheet.rows.length).toLocaleString() + ' rows.');
    }
    if (sheet.hidden) note.push('This sheet is hidden in the workbook.');
    if (!sheet.rows.length) note.push(sheet.truncated ? 'This sheet is not shown: the sheets before it fill the view.' : 'This sheet is empty.');
    $('note').textContent = note.join(' ');
    $('note').hidden = note.length === 0;
    $('sheet').scrollTop = 0;
    $('sheet').scrollLeft = 0;
    applyFilter();
  }

  function applyFilter() {
    const sheet = data.sheets[current];
    const q = $('filter').value.trim().toLowerCase();
    shown = [];
    for (let r = headerRow ? 1 : 0; r < sheet.rows.length; r++) {
      if (!q || sheet.rows[r].some((v) => v.toLowerCase().includes(q))) shown.push(r);
    }
    rendered = 0;
    $('grid').tBodies[0].replaceChildren();
    const total = sheet.rows.length - (headerRow ? 1 : 0);
    $('count').textContent = q ? shown.length.toLocaleString() + ' of ' + total.toLocaleString() + ' rows'
                               : total.toLocaleString() + (total === 1 ? ' row' : ' rows');
    renderMore();
  }

  function highlight(td, text, q) {
    const i = q ? text.toLowerCase().indexOf(q) : -1;
    if (i < 0) { td.textContent = text; return; }
    const mark = document.createElement('mark');
    mark.textContent = text.slice(i, i + q.length);
    td.append(text.slice(0, i), mark, text.slice(i + q.length));
  }

  function renderMore() {
    const sheet = data.sheets[current];
    const width = $('grid').tHead.rows[0].cells.length - 1;
    const q = $('filter').value.trim().toLowerCase();
    const body = $('grid').tBodies[0];
    const frag = document.createDocumentFragment();
    const end = Math.min(shown.length, rendered + CHUNK);
    for (; rendered < end; rendered++) {
      const r = shown[rendered];
      const row = sheet.rows[r];
      const tr = document.createElement('tr');
      const rn = document.createElement('th');
      rn.textContent = String(r + 1);
      tr.appendChild(rn);
      for (let c = 0; c < width; c++) {
        const v = row[c] || '';
        const td = document.createElement('td');
        if (isNumber(v)) td.className = 'num';
        highlight(td, v, q);
        tr.appendChild(td);
      }
      frag.appendChild(tr);
    }
    body.appendChild(frag);
    const left = shown.length - rendered;
    $('more').hidden = left <= 0;
    $('more').textContent = left > 0 ? left.toLocaleString() + ' more rows below…' : '';
  }

  $('sheet').addEventListener('scroll', () => {
    const s = $('sheet');
    if (rendered < shown.length && s.scrollTop + s.clientHeight > s.scrollHeight - 600) renderMore();
  });
  let filterTimer = 0;
  $('filter').addEventListener('input', () => {
    clearTimeout(filterTimer);
    filterTimer = setTimeout(applyFilter, 120);
  });
  document.addEventListener('keydown', (e) => {
    if ((e.ctrlKey || e.metaKey) && e.key === 'f') { e.preventDefault(); $('filter').focus(); }
    if (e.key === 'Escape' && document.activeElement === $('filter')) {
      $('filter').value = '';
      applyFilter();
    }
  });

  // Called by the host with the engine's answer.
  window.cvlGrid = function (answer) {
    data = answer || {};
    window.__cvlGridData = data;
    if (data.name || data.path) document.title = data.name || baseName(data.path);
    if (data.error) {
      showMessage(baseName(data.path) || 'This file', data.error);
      return;
    }
    const sheets = Array.isArray(data.sheets) ? data.sheets : [];
    if (!sheets.length) {
      showMessage(baseName(data.path) || 'This file', 'There are no sheets in this file.');
      return;
    }
    $('tabs').replaceChildren(...sheets.map((s, i) => {
      const b = document.createElement('button');
      b.textContent = s.name || 'Sheet ' + (i + 1);
      b.setAttribute('role', 'tab');
      if (s.hidden) b.classList.add('hid');
      b.addEventListener('click', () => selectSheet(i));
      return b;
    }));
    $('tabs').hidden = sheets.length < 2 && !sheets[0].name;
    selectSheet(0);
  };
  window.__cvlGrid = { selectSheet: (i) => selectSheet(i), filter: (q) => { $('filter').value = q; applyFilter(); } };

  ask('gridready');
})();
