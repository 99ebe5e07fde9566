// The report page: reads the model orveldump embedded and shows the file's facts, its element
// tree, the seven properties of the selected node and a hex view of the embedded bytes, linked
// both ways. Every text from the file goes in as textContent, never as markup.
'use strict';
(() => {
  const model = JSON.parse(document.getElementById('model').textContent);
  const ROW_BYTES = 16;
  const PAGE = 100;              // children shown per page of a long list
  const MAX_SCROLL_PX = 8000000; // below the browsers' element-height limit
  const UNDEFINED = 0xFFFFFFFF;
  const FLAG_INCOMPLETE = 1, FLAG_REDACTED = 2;

  const $ = (id) => document.getElementById(id);
  const el = (tag, cls, text) => {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  };
  const hex = (n, width) => n.toString(16).toUpperCase().padStart(width || 0, '0');
  const grouped = (n) => String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ',');

  // ---- nodes: flat arrays in file order (pre-order), with parents and children
  const rows = model.nodes || [];
  const count = rows.length;
  const tagOffset = new Float64Array(count), dataOffset = new Float64Array(count), lastByte = new Float64Array(count);
  const parent = new Int32Array(count), indexInParent = new Int32Array(count), depth = new Int32Array(count);
  const kidStart = new Int32Array(count + 2), kids = new Int32Array(count);
  {
    const stack = []; // [node, children left]
    const counts = new Int32Array(count + 1);
    let previous = 0;
    for (let i = 0; i < count; i++) {
      const r = rows[i];
      // The offsets are differences: the tag offset from the previous node's, the data offset
      // and the last byte from the tag offset.
      previous += r[3];
      tagOffset[i] = previous; dataOffset[i] = previous + r[4]; lastByte[i] = previous + r[6];
      while (stack.length && stack[stack.length - 1][1] === 0) stack.pop();
      const p = stack.length ? stack[stack.length - 1] : null;
      parent[i] = p ? p[0] : -1;
      depth[i] = stack.length;
      if (p) p[1]--;
      const slot = parent[i] < 0 ? count : parent[i];
      indexInParent[i] = counts[slot]++;
      if (r[8] > 0) stack.push([i, r[8]]);
    }
    // Children of node p lie at kids[kidStart[p] .. kidStart[p] + counts[p]); the top level at slot `count`.
    let at = 0;
    for (let p = 0; p <= count; p++) { kidStart[p] = at; at += counts[p]; }
    kidStart[count + 1] = at;
    const fill = new Int32Array(count + 1);
    for (let i = 0; i < count; i++) {
      const slot = parent[i] < 0 ? count : parent[i];
      kids[kidStart[slot] + fill[slot]++] = i;
    }
  }
  const childrenOf = (p) => kids.subarray(kidStart[p < 0 ? count : p], kidStart[(p < 0 ? count : p) + 1]);
  const names = model.names || [];
  const kidCount = (i) => rows[i][8] || 0;
  const flagsOf = (i) => rows[i][9] || 0;
  const tagOf = (i) => rows[i][0];
  const nameOf = (i) => (names[rows[i][1]] || ['', ''])[0];
  const isItem = (i) => tagOf(i) === 'FFFE,E000';

  // The innermost node whose bytes hold `offset`, as orveldump --at finds it: on each level the
  // last sibling that starts at or before the byte, when its range holds it.
  function nodeAt(offset) {
    let list = childrenOf(-1), found = -1;
    for (;;) {
      let lo = 0, hi = list.length;
      while (lo < hi) { const mid = (lo + hi) >> 1; if (tagOffset[list[mid]] <= offset) lo = mid + 1; else hi = mid; }
      if (lo === 0) return found;
      const n = list[lo - 1];
      if (offset < tagOffset[n] || offset > lastByte[n]) return found;
      found = n;
      list = childrenOf(n);
    }
  }

  // ---- bytes: segments of base64, decoded in chunks when shown
  const bytes = model.bytes || { segments: [], gaps: [] };
  const fileSize = model.fileSize != null ? model.fileSize : 0;
  const segments = bytes.segments.map(([start, text]) => {
    const pad = text.endsWith('==') ? 2 : text.endsWith('=') ? 1 : 0;
    return { start, text, length: text.length / 4 * 3 - pad, chunks: new Map() };
  });
  const CHUNK = 49152; // bytes per decoded chunk (65536 digits)
  function segmentAt(offset) {
    let lo = 0, hi = segments.length;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (segments[mid].start <= offset) lo = mid + 1; else hi = mid; }
    const s = segments[lo - 1];
    return s && offset < s.start + s.length ? s : null;
  }
  function byteAt(offset) {
    const s = segmentAt(offset);
    if (!s) return -1;
    const k = offset - s.start, c = Math.floor(k / CHUNK);
    let chunk = s.chunks.get(c);
    if (!chunk) {
      const digits = atob(s.text.substr(c * (CHUNK / 3 * 4), CHUNK / 3 * 4));
      chunk = new Uint8Array(digits.length);
      for (let i = 0; i < digits.length; i++) chunk[i] = digits.charCodeAt(i);
      s.chunks.set(c, chunk);
    }
    return chunk[k - c * CHUNK];
  }
  // Filler ranges (redacted values), sorted: [first, last].
  const fillers = [];
  if (model.redacted && model.hasPreamble) fillers.push([0, 127]);
  for (let i = 0; i < count; i++)
    if (flagsOf(i) & FLAG_REDACTED) fillers.push([dataOffset[i], dataOffset[i] + rows[i][5] - 1]);
  fillers.sort((a, b) => a[0] - b[0]);
  function inRanges(list, offset) {
    let lo = 0, hi = list.length;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (list[mid][0] <= offset) lo = mid + 1; else hi = mid; }
    return lo > 0 && offset <= list[lo - 1][1] ? list[lo - 1] : null;
  }
  const gapList = bytes.gaps.slice().sort((a, b) => a[0] - b[0]);

  // Virtual rows of the hex view: runs of file rows, and one row for each gap that covers whole rows.
  const blocks = []; // {v, kind: 'rows', row, n} | {v, kind: 'gap', gap, from, to}
  let virtualRows = 0;
  {
    const totalRows = Math.ceil(fileSize / ROW_BYTES);
    let row = 0;
    const addRows = (upTo) => {
      if (upTo > row) { blocks.push({ v: virtualRows, kind: 'rows', row, n: upTo - row }); virtualRows += upTo - row; row = upTo; }
    };
    for (const g of gapList) {
      const firstFull = Math.ceil(g[0] / ROW_BYTES), endFull = Math.floor((g[1] + 1) / ROW_BYTES);
      if (endFull <= firstFull || firstFull < row) continue;
      addRows(firstFull);
      blocks.push({ v: virtualRows, kind: 'gap', gap: g, from: firstFull, to: endFull });
      virtualRows += 1;
      row = endFull;
    }
    addRows(totalRows);
  }
  function blockOfVirtual(v) {
    let lo = 0, hi = blocks.length;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (blocks[mid].v <= v) lo = mid + 1; else hi = mid; }
    return blocks[lo - 1];
  }
  function virtualOfOffset(offset) {
    const row = Math.floor(offset / ROW_BYTES);
    for (let lo = 0, hi = blocks.length; lo < hi;) {
      const mid = (lo + hi) >> 1, b = blocks[mid];
      const first = b.kind === 'rows' ? b.row : b.from, end = b.kind === 'rows' ? b.row + b.n : b.to;
      if (row < first) hi = mid;
      else if (row >= end) lo = mid + 1;
      else return b.kind === 'rows' ? b.v + (row - b.row) : b.v;
    }
    return 0;
  }

  // ---- selection state
  let selected = -1;     // node
  let caret = -1;        // byte
  let failureLit = null; // [first, last]
  const severityRank = { info: 1, warning: 2, error: 3 };
  const nodeSeverity = new Map();
  const problems = model.problems || [];
  (model.problemNodes || []).forEach((n, k) => {
    if (n < 0) return;
    const s = problems[k].severity;
    if ((severityRank[s] || 0) > (severityRank[nodeSeverity.get(n)] || 0)) nodeSeverity.set(n, s);
  });

  // ---- facts and notices
  function fact(label, value, cls) {
    const d = el('div'); d.append(el('dt', '', label), el('dd', cls || '', value));
    $('facts').append(d);
  }
  const yesNo = (v, yes, no) => (v == null ? 'unknown' : v ? yes : no);
  const transferSyntax = (() => {
    for (const i of childrenOf(-1)) if (tagOf(i) === '0002,0010') return rows[i][7].replace(/\0+$/, '');
    return '';
  })();
  document.title = (model.file != null ? model.file : 'Redacted file') + ' - DICOM report';
  fact('File', model.file != null ? model.file : '(name left out)');
  fact('Size', model.fileSize != null ? grouped(model.fileSize) + ' bytes' : 'unknown');
  fact('Preamble', yesNo(model.hasPreamble, 'preamble and DICM', 'none'));
  fact('Transfer syntax', transferSyntax || 'none');
  fact('VR', yesNo(model.explicitVR, 'explicit', 'implicit'));
  fact('Byte order', yesNo(model.littleEndian, 'little endian', 'big endian'));
  if (model.loaded) fact('Status', 'loaded');
  else fact('Status', 'refused: ' + model.error, 'refused');
  if (model.trailingBytes) fact('Trailing bytes', grouped(model.trailingBytes));
  fact('Elements', grouped(count) + ' nodes');
  if (bytes.leftOut) fact('Bytes not in the page', grouped(bytes.leftOut));

  const failure = model.failure;
  let failureNode = -1;
  if (failure) {
    // The open containers of the failure path are in the partial tree; the last step may not be.
    let list = childrenOf(-1);
    for (const step of failure.path) {
      const n = list[step.index];
      if (n === undefined || tagOf(n) !== step.tag) break;
      failureNode = n;
      list = childrenOf(n);
    }
    const where = failure.offset == null ? 'at offset none'
      : 'at offset ' + failure.offset + ' (0x' + hex(failure.offset) + ')';
    const path = failure.path.map((s, k) => (k ? ' > ' : '') + stepWords(s.index, s.tag)).join('');
    let text = 'Refused ' + where + (path ? ' in ' + path : '') + ': ' + failure.reason;
    if (failure.firstReason) text += ' (read as implicit VR after the explicit reading failed: ' + failure.firstReason + ')';
    $('failure').textContent = text;
    $('failure').hidden = false;
    if (failure.offset != null) failureLit = [failure.offset, Math.min(failure.offset + 7, Math.max(fileSize - 1, failure.offset))];
    const goFailure = () => {
      if (failureNode >= 0) selectNode(failureNode, { scrollHex: false });
      if (failure.offset != null) setCaret(failure.offset, true);
    };
    $('failure').addEventListener('click', goFailure);
    $('failure').addEventListener('keydown', (e) => { if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); goFailure(); } });
  }
  function stepWords(index, tag, parentNode) {
    const word = tag === 'FFFE,E000' ? (parentNode >= 0 && tagOf(parentNode) === '7FE0,0010' ? 'fragment' : 'item') : 'element';
    return word + ' ' + index + ' (' + tag + ')';
  }
  if (model.redacted) {
    $('redacted').textContent = 'Redacted page: every value is left out except those that describe the encoding and ' +
      'carry no patient data (group lengths, (0002,0001), the transfer syntax and SOP classes, Specific Character Set, ' +
      'Modality, the numbers and codes of group 0028). The bytes of the values left out show as "░░" (filler), ' +
      'or as a gap; the file\'s name is left out. Tags, VRs, offsets, sizes and nesting stay.';
    $('redacted').hidden = false;
  }
  if (bytes.shrunk || bytes.overBudget) {
    let text = 'To stay within the size budget of ' + grouped(bytes.budget) + ' bytes, bulk values keep ' +
      bytes.window + ' bytes at each end and values longer than ' + grouped(bytes.longValue) + ' bytes are left out.';
    if (bytes.overBudget) text += ' The page is still larger than the budget: the structure alone needs more.';
    $('budget').textContent = text;
    $('budget').hidden = false;
  }

  // ---- properties: the viewer's seven rows
  const propertyNames = ['Tag', 'Description', 'VR', 'Tag Offset', 'Data Offset', 'Data Size', 'Data Value'];
  const propertyCells = propertyNames.map((name) => {
    const tr = el('tr'); const td = el('td');
    tr.append(el('td', '', name), td);
    $('properties').tBodies[0].append(tr);
    return td;
  });
  function showProperties(i) {
    if (i < 0) { propertyCells.forEach((td) => { td.textContent = ' '; td.title = ''; }); return; }
    const r = rows[i];
    const values = [r[0].replace(',', ', ')];
    if (isItem(i)) values.push('SQ Item', '', '', '', '', '');
    else values.push(nameOf(i), r[2], String(tagOffset[i]), String(dataOffset[i]), r[5] === UNDEFINED ? 'FFFFFFFF' : String(r[5]), r[7]);
    values.forEach((v, k) => { propertyCells[k].textContent = v; propertyCells[k].title = v; });
  }
  showProperties(-1);

  // ---- tree
  const tree = $('tree');
  const items = new Map();     // node -> its <li> while shown
  const pageOf = new Map();    // node -> page of its children shown
  const open = new Set();
  function label(i) {
    const row = el('div', 'row');
    const kidsCount = kidCount(i);
    row.append(el('span', 'twisty', kidsCount ? (open.has(i) ? '▾' : '▸') : ''));
    row.append(el('span', 'tag', '(' + tagOf(i) + ')'));
    if (rows[i][2]) row.append(el('span', 'vr', rows[i][2]));
    row.append(el('span', 'name', nameOf(i) + (isItem(i) ? ' ' + indexInParent[i] : '')));
    if (flagsOf(i) & FLAG_INCOMPLETE) row.append(el('span', 'incomplete', '(incomplete)'));
    const severity = nodeSeverity.get(i);
    if (severity) row.append(el('span', 'mark ' + severity, severity === 'info' ? 'i' : '!'));
    return row;
  }
  function makeItem(i) {
    const li = el('li');
    li.setAttribute('role', 'treeitem');
    li.setAttribute('aria-level', String(depth[i] + 1));
    li.dataset.node = String(i);
    li.append(label(i));
    if (kidCount(i)) li.setAttribute('aria-expanded', open.has(i) ? 'true' : 'false');
    if (i === selected) { li.classList.add('selected'); li.setAttribute('aria-selected', 'true'); }
    items.set(i, li);
    if (open.has(i)) li.append(makeGroup(i));
    return li;
  }
  function pager(p, page, forward, left) {
    const li = el('li', 'pager');
    li.setAttribute('role', 'treeitem');
    li.dataset.pager = String(p);
    li.dataset.page = String(forward ? page + 1 : page - 1);
    li.append(el('div', 'row', forward ? '▸ next ' + Math.min(PAGE, left) + ' of ' + grouped(left) + ' more'
                                      : '◂ previous ' + PAGE));
    return li;
  }
  function makeGroup(p) {
    const list = childrenOf(p);
    const ul = el('ul');
    ul.setAttribute('role', p < 0 ? 'none' : 'group');
    const page = pageOf.get(p) || 0;
    const from = page * PAGE, to = Math.min(list.length, from + PAGE);
    if (page > 0) ul.append(pager(p, page, false));
    for (let k = from; k < to; k++) ul.append(makeItem(list[k]));
    if (to < list.length) ul.append(pager(p, page, true, list.length - to));
    return ul;
  }
  function forget(li) {
    for (const sub of li.querySelectorAll('li[data-node]')) items.delete(Number(sub.dataset.node));
  }
  function rebuild(p) {
    if (p < 0) {
      items.clear();
      tree.replaceChildren(...makeGroup(-1).childNodes);
      return;
    }
    const old = items.get(p);
    if (!old) return;
    forget(old);
    const li = makeItem(p);
    old.replaceWith(li);
  }
  function setOpen(i, state) {
    if (!kidCount(i) || open.has(i) === state) return;
    if (state) open.add(i); else open.delete(i);
    rebuild(i);
  }
  // Opens the ancestors of a node and turns their pages so that it is shown.
  function reveal(i) {
    const chain = [];
    for (let p = parent[i]; p >= 0; p = parent[p]) chain.unshift(p);
    let changedFrom = null;
    const touch = (p) => { if (changedFrom === null) changedFrom = p; };
    let at = -1;
    for (const p of chain.concat([i])) {
      const page = Math.floor(indexInParent[p] / PAGE);
      if ((pageOf.get(at) || 0) !== page) { pageOf.set(at, page); touch(at); }
      if (p !== i && !open.has(p)) { open.add(p); touch(p); }
      at = p;
    }
    if (changedFrom !== null) {
      // The outermost change rebuilds everything below it.
      if (changedFrom < 0 || !items.get(changedFrom)) rebuild(-1); else rebuild(changedFrom);
    }
  }
  function markSelected(i) {
    for (const li of tree.querySelectorAll('li.selected')) { li.classList.remove('selected'); li.removeAttribute('aria-selected'); }
    const li = items.get(i);
    if (li) {
      li.classList.add('selected');
      li.setAttribute('aria-selected', 'true');
      const row = li.firstChild, box = tree.getBoundingClientRect(), r = row.getBoundingClientRect();
      if (r.top < box.top || r.bottom > box.bottom) row.scrollIntoView({ block: 'nearest' });
    }
  }
  function selectNode(i, options) {
    const opts = options || {};
    selected = i;
    if (i >= 0) reveal(i);
    markSelected(i);
    showProperties(i);
    if (i >= 0 && opts.scrollHex !== false) scrollHexTo(tagOffset[i]);
    renderHex();
  }
  tree.addEventListener('click', (e) => {
    const li = e.target.closest('li');
    if (!li || !tree.contains(li)) return;
    if (li.dataset.pager !== undefined) { turnPage(li); return; }
    const i = Number(li.dataset.node);
    if (e.target.classList.contains('twisty')) setOpen(i, !open.has(i));
    selectNode(i);
    tree.focus({ preventScroll: true });
  });
  function turnPage(li) {
    const p = Number(li.dataset.pager), page = Number(li.dataset.page);
    pageOf.set(p, page);
    rebuild(p);
    const group = p < 0 ? tree : items.get(p);
    const first = group && group.querySelector('li[data-node]');
    if (first) selectNode(Number(first.dataset.node));
  }
  tree.addEventListener('keydown', (e) => {
    const visible = Array.from(tree.querySelectorAll('li'));
    if (!visible.length) return;
    const current = selected >= 0 ? items.get(selected) : null;
    const at = current ? visible.indexOf(current) : -1;
    const go = (li) => {
      if (!li) return;
      if (li.dataset.pager !== undefined) { turnPage(li); return; }
      selectNode(Number(li.dataset.node));
    };
    switch (e.key) {
      case 'ArrowDown': go(visible[Math.min(at + 1, visible.length - 1)]); break;
      case 'ArrowUp': go(visible[Math.max(at - 1, 0)]); break;
      case 'Home': go(visible[0]); break;
      case 'End': go(visible[visible.length - 1]); break;
      case 'ArrowRight':
        if (selected < 0) go(visible[0]);
        else if (kidCount(selected) && !open.has(selected)) setOpen(selected, true);
        else if (kidCount(selected)) go(items.get(selected).querySelector('li'));
        break;
      case 'ArrowLeft':
        if (selected >= 0 && open.has(selected)) setOpen(selected, false);
        else if (selected >= 0 && parent[selected] >= 0) selectNode(parent[selected]);
        break;
      case 'Enter': case ' ':
        if (selected >= 0) setOpen(selected, !open.has(selected));
        break;
      default: return;
    }
    e.preventDefault();
    markSelected(selected);
  });

  // ---- hex view
  const hexBox = $('hex'), spacer = $('hex-spacer'), hexRows = $('hex-rows');
  let rowHeight = 18, topRow = 0;
  const offsetWidth = fileSize > 0xFFFFFFFF ? 12 : 8;
  const spacerHeight = () => Math.min(virtualRows * rowHeight, MAX_SCROLL_PX);
  function visibleRows() { return Math.max(1, Math.floor(hexBox.clientHeight / rowHeight)); }
  function layout() {
    const probe = el('div', 'hrow', ' ');
    hexRows.append(probe);
    rowHeight = probe.getBoundingClientRect().height || 18;
    probe.remove();
    spacer.style.height = spacerHeight() + 'px';
    hexRows.style.height = hexBox.clientHeight + 'px';
  }
  // Scroll position <-> first virtual row, proportional above the pixel limit.
  function rowOfScroll() {
    const range = spacerHeight() - hexBox.clientHeight, rowsRange = Math.max(0, virtualRows - visibleRows());
    // At the bottom the last row shows whole.
    if (range > 0 && hexBox.scrollTop >= range - 1) return rowsRange;
    if (virtualRows * rowHeight <= MAX_SCROLL_PX || range <= 0) return Math.min(rowsRange, Math.floor(hexBox.scrollTop / rowHeight));
    return Math.round(hexBox.scrollTop / range * rowsRange);
  }
  function scrollOfRow(v) {
    const range = spacerHeight() - hexBox.clientHeight, rowsRange = virtualRows - visibleRows();
    if (virtualRows * rowHeight <= MAX_SCROLL_PX || rowsRange <= 0) return v * rowHeight;
    return Math.min(v, rowsRange) / rowsRange * range;
  }
  // The row chosen here stays even where the scroll position maps back to a neighbour.
  let pinnedRow = -1;
  function scrollHexTo(offset) {
    const v = virtualOfOffset(offset), n = visibleRows();
    if (v >= topRow && v < topRow + n - 1) return;
    topRow = Math.max(0, Math.min(v - Math.floor(n / 3), virtualRows - n));
    const before = hexBox.scrollTop;
    hexBox.scrollTop = scrollOfRow(topRow);
    pinnedRow = hexBox.scrollTop !== before ? topRow : -1;
  }
  hexBox.addEventListener('scroll', () => {
    if (pinnedRow >= 0) { topRow = pinnedRow; pinnedRow = -1; } else topRow = rowOfScroll();
    renderHex();
  });
  function cellClass(offset, present) {
    let cls = '';
    if (!present) cls = 'miss';
    else if (inRanges(fillers, offset)) cls = 'red';
    if (selected >= 0 && offset >= tagOffset[selected] && offset <= lastByte[selected])
      cls += offset < dataOffset[selected] ? ' hh' : ' hv';
    else if (selected >= 0 && parent[selected] >= 0 && offset >= tagOffset[parent[selected]] && offset <= lastByte[parent[selected]])
      cls += ' hc';
    if (failureLit && offset >= failureLit[0] && offset <= failureLit[1]) cls += ' hf';
    if (offset === caret) cls += ' caret';
    return cls;
  }
  function gapText(g) {
    const length = g[1] - g[0] + 1;
    const what = g[2] >= 0 ? ' of (' + tagOf(g[2]) + ')' : '';
    if (g[3] === 'redacted') return '… ' + grouped(length) + ' bytes' + what + ' left out (redacted) …';
    if (g[3] === 'unread') return '… ' + grouped(length) + ' bytes' + what + ' could not be read …';
    return '… ' + grouped(length) + ' bytes' + what + ' not included …';
  }
  // One span per run of bytes that look alike (the same highlight), so that a row is a few
  // elements, not 32; a click finds its byte from where it falls in the run.
  function run(cls, start, count, text) {
    const span = el('span', 'r ' + cls, text);
    span.dataset.offset = String(start);
    span.dataset.count = String(count);
    return span;
  }
  function renderRow(v) {
    const b = blockOfVirtual(v);
    const row = el('div', 'hrow');
    if (b.kind === 'gap') {
      const start = b.from * ROW_BYTES;
      row.append(el('span', 'off', hex(start, offsetWidth)));
      const gap = el('span', 'gap ' + b.gap[3], gapText(b.gap));
      gap.dataset.offset = String(b.gap[0]);
      gap.dataset.count = '1';
      row.append(gap);
      return row;
    }
    const base = (b.row + (v - b.v)) * ROW_BYTES;
    row.append(el('span', 'off', hex(base, offsetWidth)));
    const hexes = el('span', 'hx'), chars = el('span', 'chars');
    let cls = null, start = 0, hexText = '', charText = '';
    const flush = (end) => {
      if (cls === null) return;
      hexes.append(run(cls, start, end - start, hexText));
      chars.append(run(cls, start, end - start, charText));
      cls = null; hexText = ''; charText = '';
    };
    for (let k = 0; k < ROW_BYTES; k++) {
      const o = base + k;
      if (k === ROW_BYTES / 2) { flush(o); hexes.append(' '); }
      if (o >= fileSize) { flush(o); hexes.append('   '); continue; }
      const value = byteAt(o);
      const c = cellClass(o, value >= 0);
      if (c !== cls) { flush(o); cls = c; start = o; }
      const filler = c.startsWith('red');
      hexText += (value < 0 ? '··' : filler ? '░░' : hex(value, 2)) + ' ';
      charText += value < 0 || filler ? '·' : value >= 0x20 && value < 0x7F ? String.fromCharCode(value) : '.';
    }
    flush(Math.min(base + ROW_BYTES, fileSize));
    row.append(hexes, chars);
    return row;
  }
  function renderHex() {
    const n = visibleRows() + 1;
    const fragment = document.createDocumentFragment();
    for (let v = topRow; v < Math.min(virtualRows, topRow + n); v++) fragment.append(renderRow(v));
    hexRows.replaceChildren(fragment);
    hexRows.style.top = hexBox.scrollTop + 'px';
  }
  function setCaret(offset, scroll) {
    caret = offset;
    if (scroll) scrollHexTo(offset);
    renderHex();
  }
  hexBox.addEventListener('click', (e) => {
    const cell = e.target.closest('[data-count]');
    if (!cell) return;
    const box = cell.getBoundingClientRect(), n = Number(cell.dataset.count);
    const k = Math.max(0, Math.min(n - 1, Math.floor((e.clientX - box.left) / (box.width / n))));
    const offset = Number(cell.dataset.offset) + (Number.isFinite(k) ? k : 0);
    caret = offset;
    const node = nodeAt(offset);
    selectNode(node, { scrollHex: false });
    if (node < 0) renderHex();
  });
  hexBox.addEventListener('keydown', (e) => {
    if (caret < 0) return;
    const step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -ROW_BYTES, ArrowDown: ROW_BYTES }[e.key];
    if (step === undefined) return;
    e.preventDefault();
    const to = Math.max(0, Math.min(fileSize - 1, caret + step));
    caret = to;
    selectNode(nodeAt(to), { scrollHex: false });
    scrollHexTo(to);
    renderHex();
  });

  // ---- go to offset, search, problems, deep links
  function parseOffset(text) {
    const t = text.trim();
    if (/^0[xX][0-9a-fA-F]+$/.test(t)) return parseInt(t.slice(2), 16);
    if (/^[0-9]+$/.test(t)) return Number(t);
    return NaN;
  }
  function goToOffset(offset) {
    if (!Number.isSafeInteger(offset)) { $('goto-status').textContent = 'not an offset (decimal, or hex after 0x)'; return false; }
    if (offset >= fileSize) { $('goto-status').textContent = 'past the end (' + grouped(fileSize) + ' bytes)'; return false; }
    $('goto-status').textContent = '';
    caret = offset;
    selectNode(nodeAt(offset), { scrollHex: false });
    scrollHexTo(offset);
    renderHex();
    return true;
  }
  $('goto').addEventListener('submit', (e) => { e.preventDefault(); goToOffset(parseOffset($('goto-text').value)); });

  function matcher(text) {
    const t = text.trim();
    const tag = /^\(?([0-9a-fA-F]{4}),?([0-9a-fA-F]{4})\)?$/.exec(t);
    if (tag) { const want = (tag[1] + ',' + tag[2]).toUpperCase(); return (i) => tagOf(i) === want; }
    const lower = t.toLowerCase();
    const byName = names.map(([name, keyword]) => keyword.toLowerCase() === lower || (lower.length > 0 && name.toLowerCase().includes(lower)));
    return (i) => byName[rows[i][1]] && !isItem(i);
  }
  function find(text, from) {
    const test = matcher(text);
    let total = 0, next = -1, firstHit = -1;
    for (let i = 0; i < count; i++) {
      if (!test(i)) continue;
      total++;
      if (firstHit < 0) firstHit = i;
      if (next < 0 && i > from) next = i;
    }
    return { total, hit: next >= 0 ? next : firstHit };
  }
  $('search').addEventListener('submit', (e) => {
    e.preventDefault();
    const text = $('search-text').value;
    const { total, hit } = find(text, selected);
    $('search-status').textContent = total ? grouped(total) + ' found' : 'not found';
    if (hit >= 0) selectNode(hit);
  });

  const problemBody = $('problems').tBodies[0];
  if (model.problems === null) $('problems-title').textContent = 'Problems unknown: ' + (model.checkError || '');
  else $('problems-title').textContent = problems.length ? problems.length + ' problem' + (problems.length === 1 ? '' : 's') : 'No problems found';
  problems.forEach((p, k) => {
    const tr = el('tr');
    tr.dataset.problem = String(k);
    const path = p.path.map((s, j) => (j ? ' > ' : '') + s.tag + ' #' + s.index).join('');
    tr.append(el('td', p.severity, p.severity), el('td', '', p.rule), el('td', '', p.offset + ' (0x' + hex(p.offset) + ')'),
              el('td', '', path), el('td', 'message', p.message));
    tr.addEventListener('click', () => {
      const n = model.problemNodes[k];
      caret = p.offset;
      if (n >= 0) selectNode(n, { scrollHex: false }); else selectNode(nodeAt(p.offset), { scrollHex: false });
      scrollHexTo(p.offset);
      renderHex();
    });
    problemBody.append(tr);
  });

  function followHash() {
    const hash = decodeURIComponent(location.hash.slice(1));
    const offset = /^offset=(.+)$/.exec(hash), tag = /^tag=(.+)$/.exec(hash);
    if (offset) goToOffset(parseOffset(offset[1]));
    else if (tag) { const { hit } = find(tag[1], -1); if (hit >= 0) selectNode(hit); }
  }
  window.addEventListener('hashchange', followHash);
  window.addEventListener('resize', () => { layout(); topRow = rowOfScroll(); renderHex(); });

  rebuild(-1);
  layout();
  renderHex();
  followHash();
  document.body.dataset.ready = 'true';
})();
