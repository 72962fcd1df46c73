// Search pages: scanned PDFs that a search could not read (no text layer and no recognised
// text) are pointed out above the results, with an offer to recognise them. The host then
// sends progress, and the search runs again over the recognised text.
(function () {
  var show = window.cvlSearchResults;
  if (!show) return;
  var box = null, lastQuery = '';
  function ask(op, args) {
    var q = [];
    for (var k in args) q.push(encodeURIComponent(k) + '=' + encodeURIComponent(args[k]));
    var f = document.createElement('iframe');
    f.style.display = 'none';
    f.src = 'qrtiz://' + op + '?' + q.join('&');
    document.body.appendChild(f);
    setTimeout(function () { f.remove(); }, 2000);
  }
  function notice() {
    if (!box) {
      box = document.createElement('div');
      box.id = 'cvlNoText';
      box.style.cssText = 'margin:0 0 12px;padding:10px 14px;border-radius:10px;border:1px solid var(--line,rgba(0,0,0,.1));background:var(--card,#fff);display:flex;gap:12px;align-items:center';
      var results = document.getElementById('results');
      results.parentNode.insertBefore(box, results);
    }
    box.hidden = false;
    box.textContent = '';
    return box;
  }
  window.cvlSearchResults = function (res) {
    show(res);
    lastQuery = (res && res.q) || lastQuery;
    var scans = (res && res.scannedNoText) || [];
    if (!scans.length) { if (box && !box.dataset.busy) box.hidden = true; return; }
    if (box && box.dataset.busy) return;
    var b = notice();
    var names = scans.slice(0, 3).map(function (d) { return d.name; }).join(', ') + (scans.length > 3 ? ' and ' + (scans.length - 3) + ' more' : '');
    var text = document.createElement('span');
    text.style.flex = '1';
    text.textContent = (scans.length === 1 ? '1 scanned PDF has' : scans.length + ' scanned PDFs have') + ' no text to search: ' + names + '.';
    var go = document.createElement('button');
    go.textContent = scans.length === 1 ? 'Recognise its text' : 'Recognise their text';
    go.onclick = function () {
      b.dataset.busy = '1';
      text.textContent = 'Recognising the text of ' + (scans.length === 1 ? scans[0].name : scans.length + ' documents') + '…';
      go.remove();
      ask('ocr', { paths: JSON.stringify(scans.map(function (d) { return d.path; })), q: lastQuery });
    };
    b.appendChild(text);
    b.appendChild(go);
    window.__cvlNoTextOffer = scans;
  };
  window.cvlOCRProgress = function (p) {
    if (!p || !box) return;
    box.textContent = p.pages ? 'Recognising ' + p.name + ': page ' + p.page + ' of ' + p.pages + ' (document ' + (p.done + 1) + ' of ' + p.total + ')…'
                              : 'Recognised ' + p.done + ' of ' + p.total + ' documents…';
  };
  window.cvlOCRDone = function (p) {
    if (!box) return;
    delete box.dataset.busy;
    var n = (p && p.total) || 0;
    box.textContent = 'Recognised the text of ' + n + (n === 1 ? ' document' : ' documents') + (lastQuery ? '; searching again…' : '.');
    window.__cvlLastOCRDone = p;
  };
})();
