'use strict';
// VM Detection and Identifiers views: evidence cards over the "vm" tables and
// the signal catalogue with its filters.

function colIndex(table, title) {
  return table.columns.indexOf(title);
}

function vmValue(table, row, title) {
  const i = colIndex(table, title);
  return i < 0 ? '' : row.c[i] || '';
}

function vmCell(table, row, title) {
  const i = colIndex(table, title);
  return i < 0 ? '' : cell(row.c[i] || '', rowIsSensitive(table, row, i));
}

function vmWeightedDetection(table, row) {
  return vmValue(table, row, 'Status') === 'Detected' && vmValue(table, row, 'Reliability') !== 'Context' &&
    num(vmValue(table, row, 'Weight')) > 0;
}

function vmImpact(table, row) {
  return Math.abs(num(vmValue(table, row, 'Impact')));
}

// Tone of a test's status: 'bad', 'warn', 'ok' or 'info'.
function vmStatus(table, row) {
  switch (vmValue(table, row, 'Status')) {
    case 'Detected':
      if (!vmWeightedDetection(table, row)) return 'info';
      return vmImpact(table, row) > 0 ? 'bad' : 'warn';
    case 'Not Detected': return 'ok';
    case 'Inconclusive': return 'warn';
    case 'Not Supported': return 'info';
    case 'Error': return 'warn';
    default: return 'info';
  }
}

function vmTables() {
  const all = state.snap.tables.filter((t) => t.tab === 'vm');
  return {
    all,
    tests: all.filter((t) => t.id.startsWith('vm.tests.')),
    catalogs: all.filter((t) => t.id.startsWith('vm.catalog.')),
    summary: all.filter((t) => !t.id.startsWith('vm.tests.') && !t.id.startsWith('vm.catalog.')),
  };
}

function vmWeightedCount(snap) {
  let n = 0;
  for (const t of snap.tables) {
    if (t.tab !== 'vm' || !t.id.startsWith('vm.tests.')) continue;
    for (const row of t.rows) if (vmWeightedDetection(t, row)) n++;
  }
  return n;
}

function statusTag(tone, text) {
  return '<span class="tag tone-' + tone + '">' + esc(tx(text)) + '</span>';
}

// The texts of a row that searching may see (hidden identifiers left out).
function visibleParts(table, row) {
  return table.columns.map((c, i) => (hidden(rowIsSensitive(table, row, i)) ? '' : row.c[i]));
}

function metric(label, html) {
  return '<div class="metric"><span class="metric-label">' + esc(tx(label)) + '</span><span class="metric-value">' + html + '</span></div>';
}

function renderVmTest(table, row) {
  const id = vmValue(table, row, 'Test ID');
  const tone = vmStatus(table, row);
  const evidence = vmCell(table, row, 'Evidence');
  const details = vmCell(table, row, 'Technical details');
  let h = '<div class="vm-entry tone-border-' + tone + '" id="' + esc('vm-test-' + id) + '"><div class="vm-entry-head"><div><div class="vm-title">' +
    vmCell(table, row, 'Test') + '</div><div class="vm-id">' + esc(labelColon('Test ID') + ' ' + id) + '</div></div>' +
    statusTag(tone, vmValue(table, row, 'Status')) + '</div>';
  h += '<div class="vm-method">' + vmCell(table, row, 'Method') + '</div>';
  h += '<div class="vm-evidence"><span class="metric-label">' + esc(labelColon('Evidence')) + '</span> ' + (evidence || '—') + '</div>';
  h += '<div class="metrics">' + metric('Reliability', vmCell(table, row, 'Reliability')) + metric('Weight', vmCell(table, row, 'Weight')) +
    metric('Impact', vmCell(table, row, 'Impact'));
  if (vmValue(table, row, 'Platform families')) h += metric('Platform families', vmCell(table, row, 'Platform families'));
  h += '</div>';
  if (details) h += '<details><summary>' + esc(tx('Technical details')) + '</summary><div class="vm-details">' + details + '</div></details>';
  return h + '</div>';
}

function renderVmCatalogEntry(table, row) {
  const st = vmValue(table, row, 'Status');
  const tone = st === 'Error' ? 'warn' : st === 'Not Detected' ? 'ok' : 'info';
  let h = '<div class="vm-entry tone-border-' + tone + '"><div class="vm-entry-head"><div class="vm-title">' +
    esc('#' + vmValue(table, row, 'Catalog ID') + ' · ') + vmCell(table, row, 'Test') + '</div>' + statusTag(tone, st) + '</div>';
  h += '<div class="vm-method">' + vmCell(table, row, 'Method') + '</div>';
  const evidence = vmCell(table, row, 'Evidence');
  h += '<div class="vm-evidence"><span class="metric-label">' + esc(labelColon('Evidence')) + '</span> ' + (evidence || '—') + '</div>';
  h += '<div class="metrics">' + metric('Implementation', vmCell(table, row, 'Implementation')) + metric('Weight', vmCell(table, row, 'Weight')) +
    metric('Impact', vmCell(table, row, 'Impact')) + '</div>';
  const fp = vmCell(table, row, 'False-positive considerations');
  if (fp) h += '<div class="vm-fp"><span class="metric-label">' + esc(labelColon('False-positive considerations')) + '</span> ' + fp + '</div>';
  const related = vmValue(table, row, 'Related checks').split(',').map((s) => s.trim()).filter(Boolean);
  if (related.length) {
    h += '<div class="btn-row">' + related.map((r) => '<button class="chip" data-act="goto" data-target="' + esc('vm-test-' + r) + '">' + esc(r) + '</button>').join('') + '</div>';
  }
  const ref = vmCell(table, row, 'Reference');
  if (ref) h += '<details><summary>' + esc(tx('Reference')) + '</summary><div class="vm-details">' + ref + '</div></details>';
  return h + '</div>';
}

const VM_STATUSES = ['Detected', 'Not Detected', 'Inconclusive', 'Not Supported', 'Error'];
const VM_STATUS_TONE = { 'Detected': 'bad', 'Not Detected': 'ok', 'Inconclusive': 'warn', 'Not Supported': 'info', 'Error': 'warn' };

function renderVmDetection() {
  const vt = vmTables();
  if (!vt.all.length) return heading('VM Detection', 'No data collected for this section.');
  let h = heading('VM Detection', 'Virtualization checks grouped by independent evidence sources.');
  const phys = state.snap.scores.find((s) => s.id === 'physical');
  h += '<div class="vm-top">' + (phys ? renderScore(phys) : '') + '<div class="vm-summary">' + vt.summary.map(renderTable).join('') + '</div></div>';

  const counts = {};
  for (const t of vt.tests) for (const row of t.rows) { const s = vmValue(t, row, 'Status'); counts[s] = (counts[s] || 0) + 1; }
  h += '<div class="stats vm-counts">' + VM_STATUSES.map((s) => '<div class="stat tone-' + VM_STATUS_TONE[s] + '"><div class="stat-num">' + esc(formatNumber(counts[s] || 0)) +
    '</div><div class="stat-label">' + esc(tx(s)) + '</div></div>').join('') + '</div>';

  const findings = [];
  for (const t of vt.tests) for (const row of t.rows) if (vmWeightedDetection(t, row) && vmImpact(t, row) > 0) findings.push([t, row]);
  findings.sort((a, b) => vmImpact(b[0], b[1]) - vmImpact(a[0], a[1]));
  const shown = findings.filter(([t, row]) => matchesQuery(visibleParts(t, row))).slice(0, 8);
  let fb;
  if (shown.length) {
    fb = '<ul class="findings">' + shown.map(([t, row]) => '<li><span class="impact">' + esc(vmValue(t, row, 'Impact')) + '</span><div><div class="vm-title">' +
      vmCell(t, row, 'Test') + '</div><div class="vm-evidence">' + vmCell(t, row, 'Evidence') + '</div></div>' +
      '<button class="chip" data-act="goto" data-target="' + esc('vm-test-' + vmValue(t, row, 'Test ID')) + '">' + esc(vmValue(t, row, 'Test ID')) + '</button></li>').join('') + '</ul>';
  } else {
    fb = '<p class="empty">' + esc(tx(findings.length ? 'No rows match the filter.' : 'No weighted virtualization evidence was detected.')) + '</p>';
  }
  h += card(tx('Most significant findings'), '', fb);

  // One way to each catalog card, named and counted as the card is.
  const catalogId = (i) => (i === 0 ? 'vm-catalog' : 'vm-catalog-' + i);
  if (vt.catalogs.length) {
    h += '<div class="catalog-link">' + vt.catalogs.map((t, i) => '<button class="btn" data-act="goto" data-target="' + catalogId(i) + '">' +
      esc(tx(t.title) + ' · ' + formatNumber(t.rows.length)) + '</button>').join('') + '<span class="muted">' +
      esc(tx('Catalog entries reuse executed checks and do not add score deductions.')) + '</span></div>';
  }
  for (const t of vt.tests) {
    const rows = t.rows.filter((row) => matchesQuery(visibleParts(t, row)));
    const meta = state.q ? tf('Shown: {n1} of {n2}', { n1: rows.length, n2: t.rows.length }) : tf('Rows: {n1}', { n1: t.rows.length });
    let body = t.note ? '<p class="note">' + esc(tx(t.note)) + '</p>' : '';
    if (!t.rows.length) body += '<p class="empty">' + esc(tx('Nothing reported on this machine.')) + '</p>';
    else if (!rows.length) body += '<p class="empty">' + esc(tx('No rows match the filter.')) + '</p>';
    else body += '<div class="vm-grid">' + rows.map((row) => renderVmTest(t, row)).join('') + '</div>';
    h += card(tx(t.title), meta, body);
  }
  vt.catalogs.forEach((t, i) => {
    const rows = t.rows.filter((row) => matchesQuery(visibleParts(t, row)));
    const meta = state.q ? tf('Shown: {n1} of {n2}', { n1: rows.length, n2: t.rows.length }) : tf('Rows: {n1}', { n1: t.rows.length });
    let body = t.note ? '<p class="note">' + esc(tx(t.note)) + '</p>' : '';
    if (!t.rows.length) body += '<p class="empty">' + esc(tx('Nothing reported on this machine.')) + '</p>';
    else if (!rows.length) body += '<p class="empty">' + esc(tx('No rows match the filter.')) + '</p>';
    else body += '<div class="vm-grid">' + rows.map((row) => renderVmCatalogEntry(t, row)).join('') + '</div>';
    h += card(tx(t.title), meta, body, '', ' id="' + catalogId(i) + '"');
  });
  return h;
}

// ---- Identifiers ----

const SCOPES = ['per-unit', 'per-model', 'per-install', 'per-boot', 'state'];

function scopeTag(scope) {
  const cls = SCOPES.includes(scope) ? scope : 'state';
  return '<span class="tag scope-' + cls + '">' + esc(tx(scope)) + '</span>';
}

function renderSignals() {
  const sigs = state.snap.signals;
  let h = heading('Identifiers', 'Every identifier the collectors found, with its uniqueness scope, identity weight and source API.');
  const cats = [];
  const catCount = new Map();
  for (const g of sigs) {
    if (!catCount.has(g.cat)) { cats.push(g.cat); catCount.set(g.cat, 0); }
    catCount.set(g.cat, catCount.get(g.cat) + 1);
  }
  const chip = (act, v, label, count, on) => '<button class="chip' + (on ? ' on' : '') + '" data-act="' + act + '" data-v="' + esc(v) + '">' + esc(label) +
    (count !== null ? ' <span class="chip-count">' + esc(formatNumber(count)) + '</span>' : '') + '</button>';
  h += '<div class="chips">' + chip('sigcat', 'All', tx('All'), sigs.length, state.sigCat === 'All') +
    cats.map((c) => chip('sigcat', c, tx(c), catCount.get(c), state.sigCat === c)).join('') + '</div>';
  h += '<div class="chips">' + ['All'].concat(SCOPES).map((s) => chip('sigscope', s, tx(s), null, state.sigScope === s)).join('') + '</div>';

  const rows = sigs.map((g, i) => [g, i]).filter(([g]) => {
    if (state.sigCat !== 'All' && g.cat !== state.sigCat) return false;
    if (state.sigScope !== 'All') {
      const sc = SCOPES.includes(g.scope) ? g.scope : 'state';
      if (sc !== state.sigScope) return false;
    }
    return matchesQuery([g.name, g.cat, g.src, g.group, groupLabel(g.group), g.note, hidden(g.sens) ? '' : g.v]);
  }).sort((a, b) => {
    const ua = a[0].q > 0 ? 0 : 1;
    const ub = b[0].q > 0 ? 0 : 1;
    return ua - ub || b[0].w - a[0].w || (a[0].cat < b[0].cat ? -1 : a[0].cat > b[0].cat ? 1 : 0) || a[1] - b[1];
  }).map((x) => x[0]);

  let body = '<p class="note">' + esc(tx('Weight = engineering prior for identity matching (0-100). Placeholder values left by the OEM are dimmed and ignored. Group = identity cluster used by Compare.')) + '</p>';
  if (!rows.length) body += '<p class="empty">' + esc(tx(sigs.length ? 'No rows match the filter.' : 'Nothing reported on this machine.')) + '</p>';
  else {
    body += TABLE_WRAP + '<table class="grid signals"><thead><tr>' + ['Category', 'Identifier', 'Value', 'Scope', 'Weight', 'Group', 'Source']
      .map((c) => '<th' + (c === 'Weight' ? ' class="num"' : '') + '>' + esc(tx(c)) + '</th>').join('') + '</tr></thead><tbody>';
    for (const g of rows) {
      const ph = !(g.q > 0);
      body += '<tr' + (ph ? ' class="dim"' : '') + '><td class="nowrap">' + esc(tx(g.cat)) + '</td><td><div>' + esc(tx(g.name)) +
        (ph ? ' <span class="tag tag-placeholder">' + esc(tx('placeholder')) + '</span>' : '') + '</div>' +
        (g.note ? '<div class="sig-note">' + esc(tx(g.note)) + '</div>' : '') + '</td><td class="val">' + sigValue(g) + '</td><td>' + scopeTag(g.scope) +
        '</td><td class="num">' + esc(g.w) + '</td><td class="nowrap">' + esc(g.group ? clusterName(g.group) : '-') + '</td><td class="src">' + breakIds(tx(g.src)) + '</td></tr>';
    }
    body += '</tbody></table></div>';
  }
  h += card(tx('Identifier catalog'), tf('Shown: {n1} of {n2}', { n1: rows.length, n2: sigs.length }), body);
  return h;
}
