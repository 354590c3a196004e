'use strict';
// The Compare snapshots and Report diff views over the cores of
// compare_core.js and diff_core.js, their slots, options and report files.

// A slot's error as its parts (file name, reason and its values), so it is
// written in the language the page shows when it is drawn.
const SLOT_ERRORS = { A: null, B: null, DA: null, DB: null };
const SLOTS = ['A', 'B'];
const SCHEMA = 'vorq.snapshot/1';
const SCHEMA_BASE = 'vorq.snapshot/';

// Reads a report file's text; the reason when it is not a report this
// version reads (the browser's own parse error is English).
function parseReportText(text) {
  let report;
  try {
    report = JSON.parse(text);
  } catch (e) {
    return { error: { text: 'not a valid report (the file is not JSON)' } };
  }
  if (!report || typeof report !== 'object' || Array.isArray(report)) return { error: { text: 'not a VornixQuelm report' } };
  if (report.schema !== SCHEMA) {
    const schema = typeof report.schema === 'string' ? report.schema : '';
    const version = schema.startsWith(SCHEMA_BASE) ? schema.slice(SCHEMA_BASE.length) : '';
    if (!version) return { error: { text: 'not a VornixQuelm report' } };
    return { error: { text: 'format version {x1}, which this version of the program cannot read; open it with the version that wrote it, or export the report again with this one', values: { x1: version } } };
  }
  return { report: normReport(report) };
}

function loadErrorText(e) {
  return tf('Could not load {x1}: {x2}', { x1: e.name, x2: tf(e.text, e.values || {}) });
}

// Into state[store] under slot: the compare slots (A, B) or the diff slots.
function loadReportInto(store, errorKey, slot, name, text, tab) {
  const got = parseReportText(String(text));
  if (got.error !== undefined) {
    SLOT_ERRORS[errorKey] = Object.assign({ name }, got.error);
    toast(loadErrorText(SLOT_ERRORS[errorKey]), 'bad');
  } else {
    got.report._file = name;
    state[store][slot] = got.report;
    SLOT_ERRORS[errorKey] = null;
    toast(tf('Loaded {x1} into report {x2}', { x1: name, x2: slot }), 'ok');
  }
  if (state.tab === tab && state.snap) { state.keepScroll = true; render(); } else renderNav();
}

function loadCompareFile(slot, name, text) {
  if (SLOTS.includes(slot)) loadReportInto('cmp', slot, slot, name, text, 'compare');
}

function loadDiffFile(slot, name, text) {
  if (SLOTS.includes(slot)) loadReportInto('diff', 'D' + slot, slot, name, text, 'diff');
}

// ---- shared parts ----

// Rows drawn per table: a report file may hold tens of thousands of rows or
// identifiers, which would hold the page up for many seconds; the search box
// reaches the rest.
const DIFF_ROW_LIMIT = 500;

function rowLimitNote(drawn, total) {
  return '<p class="note">' + esc(tf('Showing {n1} of {n2} rows; the search box narrows them down.', { n1: drawn, n2: total })) + '</p>';
}

function snapLabel(r) {
  if (!r) return { title: tx('Empty'), sub: tx('Load a report file or use the current scan') };
  const sim = simulationOf(r);
  const parts = [tx(r.created), tx(r.mode), tf('key {x1}', { x1: r.hmacKeyId || '?' }), sim ? tx(sim.label) : r._file].filter((p) => p);
  return { title: r.device.title ? tx(r.device.title) : tx('Report'), sub: parts.join(' · ') };
}

function slotHead(slot, r, errorKey) {
  const l = snapLabel(r);
  return '<div class="slot-label">' + esc(tx('Report') + ' ' + slot) + '</div><div class="slot-title">' + esc(l.title) + '</div>' +
    '<div class="slot-sub">' + esc(l.sub) + '</div>' +
    (SLOT_ERRORS[errorKey] ? '<div class="slot-error">' + esc(loadErrorText(SLOT_ERRORS[errorKey])) + '</div>' : '');
}

function slotButton(act, slot, label, disabled, extra) {
  return '<button class="btn small" data-act="' + act + '" data-slot="' + slot + '"' + (extra || '') + (disabled ? ' disabled' : '') + '>' + esc(tx(label)) + '</button>';
}

function optionBox(name, on, label) {
  return '<label class="opt"><input type="checkbox" data-opt="' + name + '"' + (on ? ' checked' : '') + '> ' + esc(tx(label)) + '</label>';
}

function keySentence(sameKey) {
  return tx(sameKey ? 'Both reports use the same HMAC key - hashed identifiers are directly comparable.'
    : 'Different HMAC keys - only clear-text values can be compared; hashed identifiers are skipped.');
}

// ---- Compare snapshots ----

function slotButtons(slot) {
  return '<div class="btn-row">' + slotButton('cmp-use', slot, 'Use current scan', !state.snap) + slotButton('cmp-load', slot, 'Load report file…') + '</div>';
}

function simulationOf(r) {
  if (!r || r.mode !== 'simulated' || typeof r._file !== 'string') return null;
  return SIMULATIONS.find((s) => r._file === 'simulated: ' + s.label) || null;
}

// Values read as the tables show them; an identifier stays as written.
function displayValues(entry) {
  if (!entry) return '-';
  const shown = entry.disp.slice(0, 4).map((s) => {
    if (signalIsEmpty(s)) return emptyValueHtml();
    if (s.sens && !state.reveal) return maskHtml();
    if (!('v' in s)) return '<span class="mono hmac">' + esc('h:' + s.h.slice(0, 12)) + '</span>';
    if (!s.sens) return cell(s.v, false);
    return looksHex(s.v) ? '<span class="mono">' + esc(s.v) + '</span>' : esc(asShown(s.v));
  });
  if (entry.disp.length > 4) shown.push('<span class="muted">' + esc(tf('+{n1} more', { n1: entry.disp.length - 4 })) + '</span>');
  return shown.map((x) => '<div>' + x + '</div>').join('');
}

// The ring of a comparison without a verdict: no arc and no number.
function noScoreRing(size) {
  const c = size / 2;
  return '<svg class="ring" width="' + size + '" height="' + size + '" viewBox="0 0 ' + size + ' ' + size + '"><circle cx="' + c + '" cy="' + c + '" r="' + (c - 8) +
    '" fill="none" stroke="var(--line2)" stroke-width="9"/><text x="' + c + '" y="' + c + '" text-anchor="middle" dominant-baseline="central" class="ring-text">–</text></svg>';
}

function barColor(pct) {
  return pct >= 85 ? 'var(--good)' : pct >= 50 ? 'var(--warn)' : 'var(--bad)';
}

function renderClusters(result) {
  const rows = result.groups.map((g) => {
    const comparable = g.n > 0;
    const pct = Math.round(g.score * 100);
    const bar = comparable ? '<div class="dbar"><span style="width:' + pct + '%;background:' + barColor(pct) + '"></span></div><span class="dbar-num">' + esc(formatPercent(pct)) + '</span>'
      : esc(tx('not comparable'));
    return '<tr' + (comparable ? '' : ' class="dim"') + '><td>' + esc(tx(g.label)) + '</td><td class="num">' + esc(formatPercent(g.weight * 100)) + '</td><td class="num">' +
      esc(formatNumber(g.same) + ' / ' + formatNumber(g.n)) + '</td><td class="bar-cell">' + bar + '</td></tr>';
  }).join('');
  return card(tx('Identity clusters'), '', TABLE_WRAP + '<table class="grid"><thead><tr><th>' + esc(tx('Cluster')) + '</th><th class="num">' +
    esc(tx('Weight')) + '</th><th class="num">' + esc(tx('Identical')) + '</th><th>' + esc(tx('Similarity')) + '</th></tr></thead><tbody>' + rows + '</tbody></table></div>');
}

const CMP_STATUS = { same: 'same', changed: 'changed', partial: 'partial', 'only A': 'only in A', 'only B': 'only in B', 'n/a': 'not comparable' };

// A group's name as Identifiers and Compare both show it.
function clusterName(id) {
  const label = groupLabel(id);
  return label === id ? id : tx(label);
}

function renderSignalDiff(result) {
  const label = clusterName;
  const rows = result.rows.map((r, i) => [r, i]).sort((x, y) => y[0].w - x[0].w || x[1] - y[1]).map((x) => x[0])
    .filter((r) => !(state.cmp.onlyDiff && (r.status === 'same' || r.status === 'n/a')))
    .filter((r) => matchesQuery([r.name, r.key, r.group, label(r.group)]));
  let body = '<div class="opts">' + optionBox('cmp-only', state.cmp.onlyDiff, 'differences only') + '</div>';
  if (!rows.length) body += '<p class="empty">' + esc(tx('No differences.')) + '</p>';
  else {
    const drawn = rows.slice(0, DIFF_ROW_LIMIT);
    if (drawn.length < rows.length) body += rowLimitNote(drawn.length, rows.length);
    body += TABLE_WRAP + '<table class="grid"><thead><tr><th>' + esc(tx('Identifier')) + '</th><th>' + esc(tx('Cluster')) + '</th><th>A</th><th>B</th><th>' +
      esc(tx('Result')) + '</th></tr></thead><tbody>' + drawn.map((r) => {
      const result = tx(CMP_STATUS[r.status] || r.status) + (r.status === 'partial' ? ' ' + formatPercent(r.sim * 100) : '');
      const tone = r.status === 'same' ? 'ok' : r.status === 'n/a' ? 'info' : r.status === 'partial' ? 'warn' : 'bad';
      return '<tr><td>' + esc(tx(r.name)) + '<div class="sig-note mono">' + esc(r.key) + '</div></td><td>' + esc(label(r.group)) + '</td><td class="val">' +
        displayValues(r.a) + '</td><td class="val">' + displayValues(r.b) + '</td><td><span class="tag tone-' + tone + '">' + esc(result) + '</span></td></tr>';
    }).join('') + '</tbody></table></div>';
  }
  return card(tx('Signal diff'), tf('Shown: {n1}', { n1: rows.length }), body);
}

function renderCompare() {
  const { A, B } = state.cmp;
  let h = heading('Compare snapshots', '');
  h += '<div class="slots">' + SLOTS.map((slot) => {
    const r = state.cmp[slot];
    let inner = slotHead(slot, r, slot) + slotButtons(slot);
    if (slot === 'B' && state.snap) {
      const current = simulationOf(B);
      inner += '<div class="sim-row"><span class="muted">' + esc(tx('Simulate from current scan:')) + '</span> ' + SIMULATIONS.map((s) =>
        '<button class="chip' + (current && current.id === s.id ? ' on' : '') + '" data-act="cmp-sim" data-sim="' + s.id + '" title="' + esc(tx(s.desc)) + '">' +
        esc(tx(s.label)) + '</button>').join('') + '</div>';
    }
    return '<section class="card slot">' + inner + '</section>';
  }).join('') + '</div>';
  const sim = simulationOf(B);
  if (sim) h += '<p class="note sim-note">' + esc(tf('Report B is simulated from the current scan ({t1}) - a what-if for demonstration, not a real second machine.', { t1: tx(sim.label) })) + '</p>';
  if (!A || !B) {
    return h + '<p class="empty">' + esc(tx('Take a privacy-safe report (Export → Privacy-safe report), change something - swap a disk, reinstall Windows, move to a VM - and load it here. Reports exported on this PC share its HMAC key, so even hashed identifiers can be compared.')) + '</p>';
  }
  const result = compareSnaps(A, B);
  const v = verdict(result);
  const why = v.names.length ? tf(v.desc, { x1: listText(v.names.map(clusterName)) })
    : tf(v.desc, { x1: formatPercent(result.unitWeight * 100), x2: formatPercent(MIN_UNIT_WEIGHT * 100) });
  h += '<section class="card decision' + (v.decided ? '' : ' undecided') + '">' + (v.decided ? ring(result.score, v.colour, 112) : noScoreRing(112)) +
    '<div class="decision-text"><h3 style="color:' + v.colour + '">' + esc(tx(v.title)) + '</h3><p class="verdict-why">' + esc(why) + '</p>' +
    (v.todo ? '<p class="verdict-todo">' + esc(tx(v.todo)) + '</p>' : '') + '<p class="muted">' + esc(keySentence(result.sameKey)) + '</p><p class="fineprint">' +
    esc(tx('Thresholds: ≥ 85 same, 65-85 re-bind, 45-65 verify, < 45 new device.')) + '</p><button class="btn" data-act="cmp-open-diff">' +
    esc(tx('Open the field-by-field diff of A and B')) + '</button></div></section>';
  return h + renderClusters(result) + renderSignalDiff(result);
}

// ---- Report diff ----

let diffMemo = null;
// The diff of the two slots, computed once per pair and option.
function currentDiff() {
  const { A, B, ignoreVolatile } = state.diff;
  if (!A || !B) return null;
  if (!diffMemo || diffMemo.A !== A || diffMemo.B !== B || diffMemo.ignoreVolatile !== ignoreVolatile) {
    diffMemo = { A, B, ignoreVolatile, result: diffReports(A, B, { ignoreVolatile }) };
  }
  return diffMemo.result;
}

const SHOWN_STATUS = new Set(['diff', 'onlyA', 'onlyB']);

// A privacy-safe report's HMAC tag stands in for an identifier without
// revealing it: it shows as a tag whether or not identifiers are shown.
const isTag = (value) => typeof value === 'string' && value.startsWith('hmac:');

function diffCell(value, sensitive) {
  if (value === undefined || value === null) return '<span class="dim">-</span>';
  return cell(value, sensitive && !isTag(value));
}

// A check's value is its status and detail joined by " · "; each is
// translated on its own, as Overview shows them.
function checkCell(value) {
  if (typeof value !== 'string') return diffCell(value, false);
  const i = value.indexOf(' · ');
  if (i < 0) return esc(tx(value));
  const detail = value.slice(i + 3);
  return esc(tx(value.slice(0, i)) + (detail ? ' · ' + tx(detail) : ' · '));
}

function diffStatusTag(status) {
  const tone = status === 'same' ? 'ok' : status === 'nc' ? 'info' : 'bad';
  return '<span class="tag tone-' + tone + '">' + esc(tx(DIFF_STATUS[status])) + '</span>';
}

const CELL_CLASS = { diff: 'd-diff', onlyA: 'd-only', onlyB: 'd-only', nc: 'd-nc', same: '' };

function shownValue(value, sensitive) {
  return sensitive && !state.reveal && !isTag(value) ? '' : value;
}

function rowMatches(section, row) {
  if (!state.q) return true;
  const parts = [row.label, row.sub, row.group];
  if (row.cells) for (const c of row.cells) parts.push(shownValue(c.a, c.sens), shownValue(c.b, c.sens));
  else parts.push(shownValue(row.a, row.sens), shownValue(row.b, row.sens));
  return matchesQuery(parts);
}

function fourColumnRows(section, rows) {
  let h = TABLE_WRAP + '<table class="grid diff"><thead><tr><th>' + esc(tx('Field')) + '</th><th>A</th><th>B</th><th>' + esc(tx('Result')) +
    '</th></tr></thead><tbody>';
  for (const r of rows) {
    const c = section.kv ? r.cells[section.valueCol] : r;
    const sens = !!c.sens;
    const value = (v) => (section.id === 'checks' && v !== undefined && v !== null ? checkCell(v)
      : section.id === 'signals' && typeof v === 'string' && v.trim() === '' ? emptyValueHtml() : diffCell(v, sens));
    const cls = CELL_CLASS[r.status] || '';
    h += '<tr' + (cls ? ' class="' + cls + '"' : '') + '><td class="key">' + esc(tx(r.label)) +
      (r.sub ? '<div class="sig-note">' + esc(r.tr ? tx(r.sub) : r.sub) + '</div>' : '') + '</td><td class="val">' + value(c.a) + '</td><td class="val">' +
      value(c.b) + '</td><td>' + diffStatusTag(r.status) + '</td></tr>';
  }
  return h + '</tbody></table></div>';
}

function pairRows(section, rows) {
  const n = section.columns.length;
  let h = TABLE_WRAP + '<table class="grid diff"><thead><tr><th><span class="sr-only">' + esc(tx('Report')) + '</span></th>' + section.columns.map((t) => '<th>' + esc(tx(t)) + '</th>').join('') +
    '</tr></thead><tbody>';
  let group;
  const line = (r, side) => '<tr class="' + (r.status === 'onlyA' || r.status === 'onlyB' ? 'd-only' : 'pair-' + side) + '"><td class="nowrap"><span class="side side-' + side + '">' + side.toUpperCase() +
    '</span>' + (r.status === 'onlyA' || r.status === 'onlyB' ? ' ' + diffStatusTag(r.status) : '') + '</td>' + r.cells.map((c) => {
      const cls = r.status === 'onlyA' || r.status === 'onlyB' ? '' : CELL_CLASS[c.status];
      return '<td' + (cls ? ' class="' + cls + '"' : '') + '>' + diffCell(c[side], c.sens) + '</td>';
    }).join('') + '</tr>';
  for (const r of rows) {
    if (r.group && r.group !== group) {
      group = r.group;
      h += '<tr class="group-row"><td colspan="' + (n + 1) + '">' + esc(tx(group)) + '</td></tr>';
    }
    if (r.status === 'onlyA') h += line(r, 'a');
    else if (r.status === 'onlyB') h += line(r, 'b');
    else h += line(r, 'a') + line(r, 'b');
  }
  return h + '</tbody></table></div>';
}

// A section names the tab of its table by the tab's label; an id no tab has
// (a report of another version) stays as written.
function tabLabel(id) {
  if (!id) return '';
  const tab = TABS.find((t) => t.id === id);
  return tab ? tx(tab.label) : id;
}

function renderDiffSection(section, i) {
  const shown = section.rows.filter((r) => (!state.diff.onlyDiff || SHOWN_STATUS.has(r.status)) && rowMatches(section, r));
  const c = section.counts;
  const meta = [section.onlyA ? tx('only in A') : section.onlyB ? tx('only in B') : '',
    tn(c.diff, '{n1} differ'), tabLabel(section.tab)].filter((x) => x).join(' · ');
  let body = '';
  if (section.error) body = '<p class="empty">' + esc(tf('This table could not be compared: {x1}', { x1: section.error })) + '</p>';
  else if (!shown.length) body = '<p class="empty">' + esc(tx(state.q && section.rows.length ? 'No rows match the filter.' : 'No differences.')) + '</p>';
  else {
    const rows = shown.length > DIFF_ROW_LIMIT ? shown.slice(0, DIFF_ROW_LIMIT) : shown;
    if (rows !== shown) body = rowLimitNote(rows.length, shown.length);
    body += section.columns && !section.kv ? pairRows(section, rows) : fourColumnRows(section, rows);
  }
  return card(tx(section.title), meta, body, section.onlyA || section.onlyB ? 'd-one-side' : '', ' id="diff-sec-' + i + '"');
}

function renderDiff() {
  let h = heading('Report diff', '');
  h += '<div class="slots">' + SLOTS.map((slot) => '<section class="card slot" data-drop="' + slot + '">' + slotHead(slot, state.diff[slot], 'D' + slot) +
    '<div class="btn-row">' + slotButton('diff-use', slot, 'Use current scan', !state.snap) + slotButton('pick', 'D' + slot, 'Load report file…') +
    slotButton('diff-clear', slot, 'Clear', !state.diff[slot]) + '</div><p class="muted small">' + esc(tx('You can also drop a .json report file here.')) + '</p></section>').join('') + '</div>';
  const result = currentDiff();
  if (!result) {
    return h + '<p class="empty">' + esc(tx('Load a report into each slot. Reports exported on this PC share its HMAC key, so hashed identifiers in privacy-safe reports are compared too; with different keys they are marked as not comparable.')) + '</p>';
  }
  const t = result.totals;
  const stat = (n, label, tone) => '<div class="stat' + (tone ? ' tone-' + tone : '') + '"><div class="stat-num">' + esc(formatNumber(n)) +
    '</div><div class="stat-label">' + esc(tn(n, label)) + '</div></div>';
  h += '<div class="stats diff-stats">' + stat(t.same + t.diff, 'fields compared') + stat(t.diff, 'differ', t.diff ? 'bad' : 'ok') + stat(t.onlyA, 'only in A') +
    stat(t.onlyB, 'only in B') + stat(t.nc, 'not comparable', 'info') + '</div>';
  h += '<p class="muted">' + esc(keySentence(result.sameKey)) + '</p>';
  h += '<div class="opts">' + optionBox('diff-only', state.diff.onlyDiff, 'differences only') +
    optionBox('diff-volatile', state.diff.ignoreVolatile, 'ignore volatile fields (time stamps, uptime, adapter LUIDs)') + '</div>';
  h += '<div class="legend"><span class="d-diff">' + esc(tx('differs')) + '</span><span class="d-only">' + esc(tx('only in one report')) + '</span><span class="d-nc">' +
    esc(tx('not comparable')) + '</span><span class="side side-a">A</span><span class="side side-b">B</span></div>';
  // Differences only: a section that does not differ keeps neither its chip
  // nor its card; one line counts them.
  const shown = (s) => !state.diff.onlyDiff || sectionDiffers(s);
  const chips = result.sections.map((s, i) => {
    if (!shown(s)) return '';
    const n = s.counts.diff + s.counts.onlyA + s.counts.onlyB;
    return '<button class="chip" data-act="goto" data-target="diff-sec-' + i + '">' + esc(tx(s.title)) + '<span class="chip-count">' + esc(formatNumber(n)) + '</span></button>';
  }).join('');
  if (chips) h += '<div class="chips">' + chips + '</div>';
  const same = result.sections.filter((s) => !shown(s)).length;
  if (!chips) h += '<p class="empty">' + esc(tx('No differences.')) + '</p>';
  if (same) h += '<p class="note diff-same">' + esc(tn(same, '{n1} sections without differences are hidden.')) + '</p>';
  return h + result.sections.map((s, i) => (shown(s) ? renderDiffSection(s, i) : '')).join('');
}

// A section differs when a row differs or stands in one report only, when
// the table is in one report only, or when it could not be compared.
function sectionDiffers(s) {
  return !!(s.error || s.onlyA || s.onlyB || s.counts.diff + s.counts.onlyA + s.counts.onlyB);
}

// ---- actions and options ----

function onCompareAction(act, el) {
  const slot = SLOTS.includes(el.dataset.slot) ? el.dataset.slot : '';
  switch (act) {
    case 'cmp-use': if (slot && state.snap) { state.cmp[slot] = state.snap; SLOT_ERRORS[slot] = null; } break;
    case 'cmp-load': if (slot) send('open:' + slot + '|' + tx('Open report file')); return true;
    case 'cmp-sim':
      if (state.snap && SIMULATIONS.some((s) => s.id === el.dataset.sim)) { state.cmp.B = simulateSnapshot(state.snap, el.dataset.sim); SLOT_ERRORS.B = null; }
      break;
    case 'cmp-open-diff':
      state.diff.A = state.cmp.A;
      state.diff.B = state.cmp.B;
      showTab('diff');
      return true;
    case 'diff-use': if (slot && state.snap) { state.diff[slot] = state.snap; SLOT_ERRORS['D' + slot] = null; } break;
    case 'diff-clear': if (slot) { state.diff[slot] = null; SLOT_ERRORS['D' + slot] = null; } break;
    default: return false;
  }
  state.keepScroll = true;
  render();
  return true;
}

function onCompareOption(ev) {
  const el = ev.target;
  if (!(el instanceof HTMLInputElement) || !el.dataset.opt) return;
  if (el.dataset.opt === 'cmp-only') state.cmp.onlyDiff = el.checked;
  else if (el.dataset.opt === 'diff-only') state.diff.onlyDiff = el.checked;
  else if (el.dataset.opt === 'diff-volatile') state.diff.ignoreVolatile = el.checked;
  else return;
  state.keepScroll = true;
  render();
}

document.addEventListener('change', onCompareOption);
