// The welcome page: open a document or a folder, pinned libraries, recent items and tools.
// The host defines window.CVL_* before this script runs and answers qrtiz: links.
(function () {
  'use strict';
  var brand = window.CVL_BRAND || { name: 'Corvello', tagline: '' };
  var pins = Array.isArray(window.CVL_PINS) ? window.CVL_PINS : [];
  var recents = Array.isArray(window.CVL_RECENTS) ? window.CVL_RECENTS : [];
  var demo = window.CVL_DEMO || null;
  var accel = window.CVL_ACCEL_OPEN || 'Ctrl+O';
  if (/\u2318/.test(accel) && !/Mac/.test(navigator.platform)) accel = 'Ctrl+O';

  // Sample content for screenshots and demonstrations; never mixed with real items.
  if (demo && recents.length === 0 && pins.length === 0) {
    var now = Date.now() / 1000;
    pins = [
      { name: 'Hartwell v. Brenner', path: '~/Matters/Hartwell v. Brenner' },
      { name: 'Lease Portfolio 2026', path: '~/Matters/Lease Portfolio 2026' }
    ];
    recents = [
      { name: 'Master Services Agreement.pdf', path: '~/Matters/Acme/Master Services Agreement.pdf', kind: 'file', ts: String(now - 600), missing: '' },
      { name: 'Deposition Exhibits', path: '~/Matters/Hartwell v. Brenner/Deposition Exhibits', kind: 'folder', ts: String(now - 5400), missing: '' },
      { name: 'Amended Complaint (filed).pdf', path: '~/Matters/Hartwell v. Brenner/Amended Complaint (filed).pdf', kind: 'file', ts: String(now - 86400), missing: '' },
      { name: 'Q3 Rent Roll.xlsx', path: '~/Matters/Lease Portfolio 2026/Q3 Rent Roll.xlsx', kind: 'file', ts: String(now - 3 * 86400), missing: '' },
      { name: 'Board Minutes March.docx', path: '~/Company/Board/Board Minutes March.docx', kind: 'file', ts: String(now - 9 * 86400), missing: '1' }
    ];
  }

  function el(tag, cls, text) {
    var n = document.createElement(tag);
    if (cls) n.className = cls;
    if (text !== undefined) n.textContent = text;
    return n;
  }
  function go(op, params) {
    var q = [];
    for (var k in params || {}) q.push(encodeURIComponent(k) + '=' + encodeURIComponent(params[k]));
    location.href = 'qrtiz://' + op + (q.length ? '?' + q.join('&') : '');
  }
  // The badge of an item, as File History shows it: the file's type, or a folder.
  function kindBadge(it) {
    if (it.kind === 'folder') return el('div', 'kind', '\u25a4');
    var m = /\.([A-Za-z0-9]{1,5})$/.exec(String(it.name || it.path || ''));
    return el('div', 'kind badge', m ? m[1].slice(0, 4).toUpperCase() : 'FILE');
  }
  // A clock face: File History's mark, drawn rather than taken from a font.
  function clockIcon() {
    var n = el('div', 'kind');
    n.innerHTML = '<svg viewBox="0 0 16 16" aria-hidden="true"><circle cx="8" cy="8" r="6.2" fill="none" stroke="currentColor" stroke-width="1.6"/><path d="M8 4.6V8l2.4 1.6" fill="none" stroke="currentColor" stroke-width="1.6" stroke-linecap="round"/></svg>';
    return n;
  }
  function ago(ts) {
    var s = Date.now() / 1000 - Number(ts || 0);
    if (!isFinite(s) || s < 0) return '';
    if (s < 90) return 'just now';
    if (s < 3600) return Math.round(s / 60) + ' min ago';
    if (s < 86400) return Math.round(s / 3600) + ' h ago';
    if (s < 86400 * 30) { var d = Math.round(s / 86400); return d === 1 ? 'yesterday' : d + ' days ago'; }
    return new Date(Number(ts) * 1000).toLocaleDateString();
  }

  var css = [
    ':root{--bg:#f6f5f2;--card:#ffffff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.08);--accent:#2f6db3;--accentfg:#fff;--hover:rgba(47,109,179,.08)}',
    '@media (prefers-color-scheme: dark){:root{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.08);--accent:#6ea8e8;--accentfg:#10151c;--hover:rgba(110,168,232,.12)}}',
    'html[data-theme=light]{--bg:#f6f5f2;--card:#ffffff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.08);--accent:#2f6db3;--accentfg:#fff;--hover:rgba(47,109,179,.08)}',
    'html[data-theme=dark]{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.08);--accent:#6ea8e8;--accentfg:#10151c;--hover:rgba(110,168,232,.12)}',
    'html,body{background:var(--bg)!important;color:var(--fg)!important}',
    '#cvlWelcome{font:14px/1.45 Inter,system-ui,"Cantarell","DejaVu Sans",sans-serif;max-width:980px;margin:0 auto;padding:48px 40px 40px;box-sizing:border-box}',
    '#cvlWelcome h1{font-size:30px;font-weight:650;letter-spacing:-.02em;margin:0}',
    '#cvlWelcome .tag{color:var(--dim);margin:4px 0 26px;font-size:15px}',
    '#cvlWelcome .tabs{display:flex;gap:6px;margin-bottom:22px;border-bottom:1px solid var(--line)}',
    '#cvlWelcome .tab{background:none;border:none;color:var(--dim);font:inherit;font-weight:600;padding:8px 12px;cursor:pointer;border-bottom:2px solid transparent;margin-bottom:-1px}',
    '#cvlWelcome .tab.on{color:var(--fg);border-bottom-color:var(--accent)}',
    '#cvlWelcome .actions{display:grid;grid-template-columns:1fr 1fr;gap:14px;margin-bottom:28px}',
    '#cvlWelcome .big{display:flex;gap:14px;align-items:center;padding:18px 20px;border-radius:14px;background:var(--card);border:1px solid var(--line);cursor:pointer;text-align:left;color:var(--fg);font:inherit;transition:transform .12s,box-shadow .12s}',
    '#cvlWelcome .big:hover{transform:translateY(-1px);box-shadow:0 6px 20px rgba(0,0,0,.08)}',
    '#cvlWelcome .big .ic{width:42px;height:42px;border-radius:11px;background:var(--accent);color:var(--accentfg);display:flex;align-items:center;justify-content:center;font-size:20px;flex:none}',
    '#cvlWelcome .big b{display:block;font-size:15px}#cvlWelcome .big span{color:var(--dim);font-size:12.5px}',
    '#cvlWelcome .cols{display:grid;grid-template-columns:1fr 1.6fr;gap:22px}',
    '#cvlWelcome h2{font-size:12px;text-transform:uppercase;letter-spacing:.08em;color:var(--dim);margin:0 0 10px;font-weight:650}',
    '#cvlWelcome .list{background:var(--card);border:1px solid var(--line);border-radius:12px;overflow:hidden}',
    '#cvlWelcome h2.head{display:flex;justify-content:space-between;align-items:baseline}',
    '#cvlWelcome .more{border:none;background:none;color:var(--accent);font:inherit;font-size:12px;text-transform:none;letter-spacing:0;cursor:pointer;padding:0}',
    '#cvlWelcome .row{display:flex;align-items:center;gap:10px;padding:10px 14px;border-top:1px solid var(--line);cursor:pointer}',
    '#cvlWelcome .row:first-child{border-top:none}#cvlWelcome .row:hover{background:var(--hover)}',
    '#cvlWelcome .row .nm{flex:1;min-width:0}#cvlWelcome .row .nm b{display:block;font-weight:560;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}',
    '#cvlWelcome .row .nm span{display:block;color:var(--dim);font-size:12px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}',
    '#cvlWelcome .row .when{color:var(--dim);font-size:12px;white-space:nowrap}',
    '#cvlWelcome .row.missing{opacity:.5}#cvlWelcome .row.missing .when::after{content:" \u00b7 missing"}',
    '#cvlWelcome .kind{width:28px;height:28px;border-radius:7px;display:flex;align-items:center;justify-content:center;background:var(--hover);color:var(--accent);font-size:14px;flex:none}',
    '#cvlWelcome .kind.badge{width:36px;font-size:10px;font-weight:700;letter-spacing:.03em}',
    '#cvlWelcome .kind svg{width:16px;height:16px}',
    '#cvlWelcome .empty{padding:16px 14px;color:var(--dim)}',
    '#cvlWelcome .x{border:none;background:none;color:var(--dim);cursor:pointer;font-size:14px;visibility:hidden}#cvlWelcome .row:hover .x{visibility:visible}',
    '#cvlWelcome .tools{display:grid;grid-template-columns:repeat(3,1fr);gap:14px}',
    '#cvlWelcome .tool{padding:16px;border-radius:12px;background:var(--card);border:1px solid var(--line);cursor:pointer}',
    '#cvlWelcome .tool:hover{background:var(--hover)}#cvlWelcome .tool b{display:block;margin:6px 0 2px}#cvlWelcome .tool span{color:var(--dim);font-size:12.5px}',
    '#cvlWelcome .note{margin:0 0 20px;padding:10px 14px;border-radius:10px;background:var(--hover)}',
    '#cvlWelcome .foot{margin-top:26px;color:var(--dim);font-size:12px}'
  ].join('\n');
  var style = el('style');
  style.textContent = css;
  document.head.appendChild(style);

  var root = el('div');
  root.id = 'cvlWelcome';
  root.appendChild(el('h1', '', brand.name || 'Corvello'));
  root.appendChild(el('div', 'tag', brand.tagline || ''));
  if (window.CVL_NOTE) root.appendChild(el('div', 'note', String(window.CVL_NOTE)));

  var tabs = el('div', 'tabs');
  var panes = {};
  var tabButtons = {};
  function setTab(name) {
    if (!panes[name]) return;
    for (var k in panes) {
      panes[k].style.display = k === name ? '' : 'none';
      tabButtons[k].className = 'tab' + (k === name ? ' on' : '');
    }
  }
  [['start', 'Start'], ['tools', 'Tools']].forEach(function (t) {
    var b = el('button', 'tab', t[1]);
    b.onclick = function () { setTab(t[0]); };
    tabButtons[t[0]] = b;
    tabs.appendChild(b);
  });
  root.appendChild(tabs);

  // Start: open actions, libraries and recent items.
  var start = el('div');
  var actions = el('div', 'actions');
  function big(icon, title, sub, op) {
    var b = el('button', 'big');
    var ic = el('div', 'ic', icon);
    var t = el('div');
    t.appendChild(el('b', '', title));
    t.appendChild(el('span', '', sub));
    b.appendChild(ic);
    b.appendChild(t);
    b.onclick = function () { go(op); };
    return b;
  }
  actions.appendChild(big('\u2197', 'Open a document\u2026', 'PDF, Word, RTF, text or Excel', 'read'));
  actions.appendChild(big('\u25a4', 'Open a folder\u2026', 'Review and search a whole folder (' + accel + ')', 'open'));
  start.appendChild(actions);

  var cols = el('div', 'cols');
  var left = el('div');
  left.appendChild(el('h2', '', 'Libraries'));
  var pinList = el('div', 'list');
  // Pinning and unpinning show at once; the host stores the change.
  function syncPinsEmpty() {
    var empty = pinList.querySelector('.empty');
    if (!pinList.querySelector('.row') && !empty) pinList.appendChild(el('div', 'empty', 'Pin a folder to keep it here.'));
    if (pinList.querySelector('.row') && empty) empty.remove();
  }
  function pinRow(p) {
    var r = el('div', 'row');
    r.dataset.path = p.path;
    r.appendChild(el('div', 'kind', '\u2605'));
    var nm = el('div', 'nm');
    nm.appendChild(el('b', '', p.name));
    nm.appendChild(el('span', '', p.path));
    r.appendChild(nm);
    var x = el('button', 'x', '\u2715');
    x.title = 'Unpin';
    x.onclick = function (e) { e.stopPropagation(); go('unpin', { path: p.path }); r.remove(); syncPinsEmpty(); };
    r.appendChild(x);
    r.onclick = function () { go('openroot', { path: p.path }); };
    return r;
  }
  function addPin(path) {
    var rows = pinList.querySelectorAll('.row');
    for (var i = 0; i < rows.length; i++) if (rows[i].dataset.path === path) return;
    pinList.appendChild(pinRow({ name: String(path).replace(/\/+$/, '').split('/').pop() || path, path: path }));
    syncPinsEmpty();
  }
  pins.forEach(function (p) { pinList.appendChild(pinRow(p)); });
  syncPinsEmpty();
  left.appendChild(pinList);
  cols.appendChild(left);

  var right = el('div');
  var recentHead = el('h2', 'head', 'Recent');
  var all = el('button', 'more', 'File History \u2192');
  all.title = 'Everything you opened, with favourites and pins';
  all.onclick = function () { go('history'); };
  recentHead.appendChild(all);
  right.appendChild(recentHead);
  var recentList = el('div', 'list');
  if (!recents.length) recentList.appendChild(el('div', 'empty', 'Documents and folders you open appear here.'));
  recents.forEach(function (it) {
    var r = el('div', 'row' + (it.missing ? ' missing' : ''));
    r.appendChild(kindBadge(it));
    var nm = el('div', 'nm');
    nm.appendChild(el('b', '', it.name));
    nm.appendChild(el('span', '', it.path));
    r.appendChild(nm);
    r.appendChild(el('div', 'when', ago(it.ts)));
    if (it.kind === 'folder') {
      var pin = el('button', 'x', '\u2605');
      pin.title = 'Pin as a library';
      pin.onclick = function (e) { e.stopPropagation(); go('pin', { path: it.path }); addPin(it.path); };
      r.appendChild(pin);
    }
    r.onclick = function () { if (!it.missing) go('openrecent', { path: it.path }); };
    recentList.appendChild(r);
  });
  right.appendChild(recentList);
  cols.appendChild(right);
  start.appendChild(cols);
  panes.start = start;
  root.appendChild(start);

  // Tools: the ways into the program besides opening one document.
  var tools = el('div', 'tools');
  [['\u25a4', 'Review a folder', 'Read through everything in a folder.', 'open'],
   ['\u2195', 'Rank a folder', 'Bring the most relevant documents forward.', 'rank'],
   ['\u21c6', 'Browse', 'Flip through a folder page by page.', 'browse'],
   [clockIcon, 'File History', 'Everything you opened, with favourites and pins.', 'history'],
   ['#', 'Bates numbering', 'Stamp a folder\u2019s PDFs and images with production numbers.', 'bates'],
   ['\u2699', 'Settings', 'Appearance, reader and page-command choices.', 'prefs'],
   ['\u25d0', 'Light or dark', 'Switch the appearance.', 'appearance']
  ].forEach(function (t) {
    var c = el('div', 'tool');
    c.appendChild(typeof t[0] === 'function' ? t[0]() : el('div', 'kind', t[0]));
    c.appendChild(el('b', '', t[1]));
    c.appendChild(el('span', '', t[2]));
    c.onclick = function () { go(t[3]); };
    tools.appendChild(c);
  });
  panes.tools = tools;
  root.appendChild(tools);
  root.appendChild(el('div', 'foot', 'Press ' + accel + ' to open a folder, Ctrl+, for settings.'));

  document.body.appendChild(root);
  setTab('start');
  window.CorvelloWelcome = { _setTab: setTab, _addPin: addPin };
})();
