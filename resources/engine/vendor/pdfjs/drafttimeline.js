// The draft timeline: the drafts of one document, oldest first, each with the words changed from
// the draft before it. The host sends the drafts and the differences between neighbours
// (cvlTimeline), and new differences whenever the user puts the drafts in another order
// (timelinereorder, answered by cvlTimelineDiffs).
(function () {
  const params = new URLSearchParams(location.search);
  document.documentElement.dataset.theme = params.get('theme') === 'dark' ? 'dark' : 'light';
  const $ = (id) => document.getElementById(id);
  const baseName = (p) => String(p || '').split('/').pop();
  function el(tag, cls, text) {
    const n = document.createElement(tag);
    if (cls) n.className = cls;
    if (text !== undefined) n.textContent = text;
    return n;
  }
  function ask(op, args) {
    const q = Object.entries(args || {}).map(([k, v]) => encodeURIComponent(k) + '=' + encodeURIComponent(String(v))).join('&');
    const f = document.createElement('iframe');
    f.style.display = 'none';
    f.src = 'qrtiz://' + op + (q ? '?' + q : '');
    document.body.appendChild(f);
    setTimeout(() => f.remove(), 2000);
  }
  let toastTimer = 0;
  function toast(text) {
    const t = $('toast');
    t.textContent = text;
    t.className = 'show';
    clearTimeout(toastTimer);
    toastTimer = setTimeout(() => { t.className = ''; }, 2600);
  }

  // ---- reading the comparison engine's answer, whatever shape its pieces take -------------------
  const INSERT = new Set(['+', 'insert', 'ins', 'add', 'added', 'inserted', '1']);
  const DELETE = new Set(['-', 'delete', 'del', 'remove', 'removed', 'deleted', '-1']);
  function opsOf(diff) {
    if (!diff || typeof diff !== 'object') return [];
    const list = diff.ops || diff.changes || diff.segments || diff.diff || diff.words || (Array.isArray(diff) ? diff : []);
    return (Array.isArray(list) ? list : []).map((x) => {
      let op, text;
      if (Array.isArray(x)) { op = x[0]; text = x[1]; } else if (x && typeof x === 'object') { op = x.op ?? x.type ?? x.kind ?? x.tag; text = x.text ?? x.value ?? x.words ?? ''; }
      op = String(op).toLowerCase();
      const kind = INSERT.has(op) ? 'ins' : DELETE.has(op) ? 'del' : 'eq';
      return { kind, text: Array.isArray(text) ? text.join(' ') : String(text ?? '') };
    });
  }
  const wordCount = (t) => (String(t).match(/\S+/g) || []).length;
  function statsOf(diff) {
    const ops = opsOf(diff);
    const pick = (...keys) => { for (const k of keys) if (diff && typeof diff[k] === 'number') return diff[k]; return null; };
    const added = pick('added', 'inserted', 'insertions') ?? ops.filter((o) => o.kind === 'ins').reduce((n, o) => n + wordCount(o.text), 0);
    const removed = pick('removed', 'deleted', 'deletions') ?? ops.filter((o) => o.kind === 'del').reduce((n, o) => n + wordCount(o.text), 0);
    return { added, removed };
  }
  function diffFor(diffs, i, j) {
    if (!diffs) return null;
    for (const key of [i + '-' + j, i + ',' + j, i + '|' + j, i + ':' + j]) if (diffs[key]) return diffs[key];
    return null;
  }
  function dateOf(d) {
    const v = d && (d.date ?? d.modified ?? d.mtime ?? d.created);
    if (v === undefined || v === null || v === '') return '';
    const t = typeof v === 'number' ? new Date(v < 1e12 ? v * 1000 : v) : new Date(v);
    return isNaN(t) ? String(v) : t.toLocaleString([], { dateStyle: 'medium', timeStyle: 'short' });
  }

  // ---- state ------------------------------------------------------------------------------------------------
  let paths = [];        // in the order shown
  let meta = {};         // path -> draft object
  let diffs = {};        // "i-j" over `paths`
  let selected = 1;
  let seq = 0;

  window.cvlTimeline = (r) => {
    window.__cvlLastTimeline = r;
    if (!r || r.error) { $('sub').textContent = (r && r.error) || 'The drafts could not be compared.'; $('sub').className = 'sub err'; }
    paths = (r && r.paths) || [];
    const drafts = (r && Array.isArray(r.drafts)) ? r.drafts : [];
    meta = {};
    paths.forEach((p, i) => { const d = drafts.find((x) => x && x.path === p) || drafts[i] || {}; meta[p] = d; });
    diffs = (r && r.diffs) || {};
    if (r && !r.error) $('sub').textContent = paths.length + ' drafts, oldest first. Drag a draft, or use the arrows, to change the order.';
    selected = Math.min(Math.max(selected, 1), Math.max(paths.length - 1, 0));
    render();
  };
  window.cvlTimelineDiffs = (r) => {
    window.__cvlLastTimelineDiffs = r;
    if (!r || String(r.seq) !== String(seq)) return;
    if (r.error) { toast(r.error); return; }
    diffs = r.diffs || {};
    render();
  };

  function reorder(next) {
    paths = next;
    diffs = {};
    seq += 1;
    render();
    ask('timelinereorder', { order: JSON.stringify(paths), seq });
  }
  function move(i, to) {
    if (to < 0 || to >= paths.length || to === i) return;
    const next = paths.slice();
    const [p] = next.splice(i, 1);
    next.splice(to, 0, p);
    selected = to;
    reorder(next);
  }

  function render() {
    const strip = $('strip');
    strip.textContent = '';
    paths.forEach((p, i) => {
      const d = meta[p] || {};
      const li = el('li', i === selected ? 'on' : '');
      li.draggable = true;
      li.dataset.i = i;
      li.appendChild(el('div', 'n', i === 0 ? 'First draft' : 'Draft ' + (i + 1)));
      li.appendChild(el('div', 'nm', d.name || baseName(p)));
      const facts = [dateOf(d), d.pages ? d.pages + (d.pages === 1 ? ' page' : ' pages') : '', d.words ? d.words + ' words' : ''].filter(Boolean);
      li.appendChild(el('div', 'meta', facts.join(' · ') || ' '));
      if (i > 0) {
        const diff = diffFor(diffs, i - 1, i);
        const chg = el('div', 'chg');
        if (!diff) chg.appendChild(el('span', 'dim', seq && !Object.keys(diffs).length ? 'Comparing…' : 'No comparison'));
        else {
          const s = statsOf(diff);
          chg.appendChild(el('span', 'a', '+' + s.added));
          chg.appendChild(document.createTextNode(' '));
          chg.appendChild(el('span', 'r', '−' + s.removed));
          chg.appendChild(el('span', 'dim', ' words'));
        }
        li.appendChild(chg);
      }
      const mv = el('div', 'mv');
      const left = el('button', '', '◀');
      left.title = 'Earlier';
      left.disabled = i === 0;
      left.onclick = (e) => { e.stopPropagation(); move(i, i - 1); };
      const right = el('button', '', '▶');
      right.title = 'Later';
      right.disabled = i === paths.length - 1;
      right.onclick = (e) => { e.stopPropagation(); move(i, i + 1); };
      mv.append(left, right);
      li.appendChild(mv);
      li.onclick = () => { selected = i; render(); };
      li.ondragstart = (e) => { e.dataTransfer.setData('text/plain', String(i)); li.classList.add('drag'); };
      li.ondragend = () => li.classList.remove('drag');
      li.ondragover = (e) => { e.preventDefault(); li.classList.add('over'); };
      li.ondragleave = () => li.classList.remove('over');
      li.ondrop = (e) => { e.preventDefault(); li.classList.remove('over'); move(Number(e.dataTransfer.getData('text/plain')), i); };
      strip.appendChild(li);
    });
    renderDetail();
  }

  function renderDetail() {
    const head = $('detailHead');
    const box = $('detail');
    head.textContent = '';
    box.textContent = '';
    if (paths.length < 2 || selected < 1) { box.className = 'dim'; box.textContent = 'Choose a draft to see what changed from the one before it.'; return; }
    const a = paths[selected - 1], b = paths[selected];
    head.appendChild(el('strong', '', (meta[b].name || baseName(b)) + ' compared with ' + (meta[a].name || baseName(a))));
    for (const [label, p] of [['Open the earlier', a], ['Open this draft', b]]) {
      const link = el('a', '', label);
      link.href = '#';
      link.onclick = (e) => { e.preventDefault(); ask('reader', { path: p }); };
      head.appendChild(link);
    }
    const diff = diffFor(diffs, selected - 1, selected);
    if (!diff) { box.className = 'dim'; box.textContent = seq ? 'Comparing…' : 'There is no comparison for these two drafts.'; return; }
    box.className = '';
    const ops = opsOf(diff);
    if (!ops.length) { box.textContent = 'No differences in the text.'; return; }
    for (const o of ops) {
      if (o.kind === 'eq') {
        // Long unchanged stretches are shortened to their ends.
        const words = o.text.split(/(\s+)/);
        if (words.length > 80) {
          box.appendChild(document.createTextNode(words.slice(0, 30).join('')));
          box.appendChild(el('span', 'gap', ' … ' + Math.round((words.length - 60) / 2) + ' unchanged words … '));
          box.appendChild(document.createTextNode(words.slice(-30).join('')));
        } else box.appendChild(document.createTextNode(o.text));
      } else box.appendChild(el(o.kind, '', o.text));
      box.appendChild(document.createTextNode(' '));
    }
  }

  window.__cvlTimelinePage = { move, reorder, state: () => ({ paths, diffs, selected, seq }) };
  ask('timelineready', {});
})();
