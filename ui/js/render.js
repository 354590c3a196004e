'use strict';
// Views of a report: cells, masking, generic tables, overview, key panel,
// About and raw JSON. Every report text is escaped on its way into markup.

function esc(s) {
  return String(s === null || s === undefined ? '' : s)
    .replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
    .replace(/"/g, '&quot;').replace(/'/g, '&#39;');
}

// A report is untrusted input: shape it so every view can rely on the types.
function str(v) {
  if (v === null || v === undefined) return '';
  if (typeof v === 'string') return v;
  if (typeof v === 'number' || typeof v === 'boolean') return String(v);
  try {
    return JSON.stringify(v);
  } catch (e) {
    return '';
  }
}
function arr(v) {
  return Array.isArray(v) ? v : [];
}
function obj(v) {
  return v && typeof v === 'object' && !Array.isArray(v) ? v : {};
}
function num(v) {
  const n = typeof v === 'number' ? v : parseFloat(v);
  return Number.isFinite(n) ? n : 0;
}
function mask32(v) {
  return typeof v === 'number' && Number.isFinite(v) ? v >>> 0 : 0;
}

function normReport(raw) {
  const r = obj(raw);
  const out = {};
  // A header field the file lacks stays absent, so Report diff does not
  // compare a value the page made up.
  const has = (o, k) => Object.prototype.hasOwnProperty.call(o, k);
  for (const k of ['schema', 'tool', 'version', 'mode', 'created', 'hmacKeyId']) if (has(r, k)) out[k] = str(r[k]);
  if (has(r, 'elevated')) out.elevated = typeof r.elevated === 'boolean' ? r.elevated : str(r.elevated);
  if (has(r, 'durationMs')) out.durationMs = num(r.durationMs);
  const dev = obj(r.device);
  out.device = {};
  for (const k of ['title', 'subtitle']) if (has(dev, k)) out.device[k] = str(dev[k]);
  out.scores = arr(r.scores).map((x) => {
    const s = obj(x);
    return {
      id: str(s.id), title: str(s.title), value: num(s.value), verdict: str(s.verdict), note: str(s.note),
      items: arr(s.items).map((y) => {
        const i = obj(y);
        return { label: str(i.label), points: num(i.points), max: num(i.max), status: str(i.status), note: str(i.note) };
      }),
    };
  });
  out.checks = arr(r.checks).map((x) => {
    const c = obj(x);
    return { id: str(c.id), category: str(c.category), title: str(c.title), status: str(c.status), detail: str(c.detail) };
  });
  out.signals = arr(r.signals).map((x) => {
    const s = obj(x);
    const o = { key: str(s.key), cat: str(s.cat), name: str(s.name) };
    if ('v' in s) o.v = str(s.v);
    if ('h' in s) o.h = str(s.h);
    Object.assign(o, { group: str(s.group), scope: str(s.scope), w: num(s.w), sens: s.sens === true, q: num(s.q), src: str(s.src) });
    if ('note' in s) o.note = str(s.note);
    return o;
  });
  out.tables = arr(r.tables).map((x) => {
    const t = obj(x);
    const o = { tab: str(t.tab), id: str(t.id), title: str(t.title) };
    if ('note' in t) o.note = str(t.note);
    o.columns = arr(t.columns).map(str);
    o.sens = mask32(t.sens);
    o.groupCol = Number.isInteger(t.groupCol) ? t.groupCol : -1;
    o.rows = arr(t.rows).map((y) => {
      const row = obj(y);
      const ro = { c: arr(row.c).map(str) };
      if ('s' in row) ro.s = mask32(row.s);
      return ro;
    });
    return o;
  });
  out.collectors = arr(r.collectors).map((x) => {
    const c = obj(x);
    const o = { name: str(c.name), ms: num(c.ms), status: str(c.status) };
    if ('error' in c) o.error = str(c.error);
    return o;
  });
  out.notes = arr(r.notes).map(str);
  return out;
}

// ---- masking and cells ----

function rowIsSensitive(table, row, i) {
  if (i < 0 || i >= 32) return false;
  return (((table.sens | (row.s || 0)) >>> i) & 1) === 1;
}

// A screen reader hears what the circles stand for, not ten "black circle"s.
function maskHtml() {
  const say = esc(tx('Hidden identifier - use Show identifiers'));
  return '<span class="mask" role="img" aria-label="' + say + '" title="' + say + '">●●●●●●●●●●</span>';
}

// An identifier without a value shows as empty in every view, shown or
// hidden: a mask stands only for a value that exists.
function emptyValueHtml() {
  return '<span class="dim empty-value">' + esc(tx('(empty)')) + '</span>';
}

// A signal's value is empty when its text is blank, or, without a text (a
// privacy-safe report), when it has no tag either.
function signalIsEmpty(sig) {
  return 'v' in sig ? String(sig.v).trim() === '' : !sig.h;
}

function looksHex(value) {
  const v = String(value === null || value === undefined ? '' : value);
  if (!/\d/.test(v)) return false;
  return /^[0-9a-f]{8,}$/i.test(v) ||
    /^[0-9a-f]{2}(?:[-:][0-9a-f]{2}){4,}$/i.test(v) ||
    /^[0-9a-f]{8}-[0-9a-f]{4}-/i.test(v) ||
    /^[0-9A-F]{4}:[0-9A-F]{16}/.test(v) ||
    /^[0-9a-f]{4,}(?: [0-9a-f]{4,})+$/i.test(v);
}

// Style, symbol and the word a screen reader says for it.
const PILLS = {
  ok: ['ok', '✓', 'ok'], warn: ['warn', '!', 'warn'], bad: ['bad', '✕', 'problem'], info: ['info', 'i', 'info'],
  pass: ['ok', '✓', 'pass'], fail: ['bad', '✕', 'fail'],
};

function pill(level) {
  const p = Object.prototype.hasOwnProperty.call(PILLS, level) ? PILLS[level] : PILLS.info;
  return '<span class="pill pill-' + p[0] + '" role="img" aria-label="' + esc(tx(p[2])) + '">' + p[1] + '</span>';
}

// Copying gives the value as written; the view shows a date in the page's language.
function copyable(value, cls) {
  return '<span class="copy' + (cls ? ' ' + cls : '') + '" data-copy="' + esc(value) + '">' + breakIds(asShown(value)) + '</span>';
}

// Table cells keep words whole, so a narrow column shows "permanent", never
// "permane" and "nt". Only a long token that reads as an identifier, a path,
// an address or a version (a digit, a separator inside it, or a small letter
// before a capital) may break anywhere; it is marked for that.
function breakIds(text) {
  return String(text).split(/(\s+)/).map((t) => (t.length >= 12 && /\d|[\\/_.:&{}=|@#%+~]\S|[a-z][A-Z]/.test(t) ? '<span class="brk">' + esc(t) + '</span>' : esc(t))).join('');
}

const TAG_RE = /^\[(ok|warn|bad|info)\]\s?/;

function cell(value, sensitive) {
  if (value === null || value === undefined || value === '') return '';
  const v = String(value);
  const tag = TAG_RE.exec(v);
  if (tag) return pill(tag[1]) + ' ' + breakIds(tx(v.slice(tag[0].length)));
  if (sensitive && !state.reveal) return maskHtml();
  if (v.startsWith('hmac:')) return '<span class="mono hmac" title="' + esc(tx('HMAC tag from a privacy-safe report')) + '">' + esc(v) + '</span>';
  if (looksHex(v)) return sensitive ? copyable(v, 'mono') : '<span class="mono">' + esc(v) + '</span>';
  if (sensitive) return copyable(v);
  return breakIds(tx(v));
}

function matchesQuery(parts) {
  if (!state.q) return true;
  const q = state.q.toLowerCase();
  return parts.some((p) => {
    const s = String(p === null || p === undefined ? '' : p);
    if (s.toLowerCase().includes(q)) return true;
    return LANG !== 'en' && tx(s).toLowerCase().includes(q);
  });
}

function hidden(sensitive) {
  return sensitive && !state.reveal;
}

// ---- tables ----

const TAB_ORDER = {
  cpu: ['cpu.summary', 'fpu.summary', 'fpu.tests', 'cpu.caches', 'cpu.lps', 'cpu.leaves'],
  firmware: ['smbios.summary', 'acpi.summary', 'uefi.esrt', 'uefi.secureboot', 'uefi.bcd', 'smbios', 'acpi'],
  storage: ['storage.disks', 'storage.ids', 'storage.volumes'],
  network: ['net.ifaces', 'net.ids', 'net.wwan', 'net.bt', 'net.btdevices', 'net.profiles'],
  display: ['display.gpus', 'display.dxgi', 'display.outputs', 'display.nvml', 'display.monitors', 'battery'],
  devices: ['devices.classes', 'devices.providers', 'devices.biometric', 'devices.audio', 'devices.smartcard', 'devices.printers', 'devices'],
  tpm: ['tpm.device', 'tpm.ekcerts', 'tpm.pcrs', 'tpm.windows', 'tpm.log', 'tpm.props'],
  platform: ['platform.posture', 'platform.wsc', 'platform.hvguest'],
  microsoft: ['ms.ids', 'ms.enrollments', 'ms.autopilot'],
  windows: ['windows.os', 'windows.ids', 'windows.lineage', 'windows.profiles', 'windows.certs', 'windows.chid'],
  drivers: ['drivers.summary', 'drivers', 'drivers.vendors'],
};

const TAB_INTRO = {
  cpu: ['CPU & FPU', 'CPUID dump, topology and a deterministic floating-point signature. Per-model signals - identical CPUs look identical.'],
  firmware: ['Firmware', 'Raw SMBIOS structures and ACPI tables read through GetSystemFirmwareTable, plus ESRT, Secure Boot variables and the boot configuration.'],
  storage: ['Storage', 'The same drives read through independent paths: storage descriptor, SCSI VPD 0x83, NVMe Identify, ATA IDENTIFY, Windows DUID, plus the storage adapter serial.'],
  network: ['Network', 'Burned-in (permanent) MAC addresses next to the addresses Windows currently uses, the DHCPv6 DUID, the networks this installation has joined and the paired Bluetooth devices.'],
  display: ['Display & power', 'GPU PCI identifiers, NVIDIA board UUIDs, monitor EDID serial numbers and batteries.'],
  devices: ['PnP devices', 'Every present device node with hardware IDs, container IDs, driver packages and PCIe link state, plus biometric sensors, audio endpoints, smart-card readers and printers.'],
  tpm: ['TPM', 'Endorsement key, EK certificates, PCR bank, a replay of the measured-boot log against the live PCRs, and the provisioning record Windows keeps about this TPM.'],
  platform: ['Platform security', 'Boot and kernel protections that determine how much the readings above can be trusted, the registered security products and the virtual-machine parameters.'],
  microsoft: ['Microsoft & cloud', 'Identifiers Microsoft services keep for this device: diagnostic data, Windows Update, Xbox, Microsoft account, Entra and Intune enrollment, licensing state, Edge, Office, OneDrive and the Autopilot hardware hash.'],
  drivers: ['Kernel drivers', 'Every running kernel driver with its signature provenance, verified offline with WinVerifyTrust.'],
  windows: ['Windows', 'Installation-level identifiers, the lineage of in-place upgrades, user profiles and machine certificates. They reset on reinstall unless derived from TPM or UEFI.'],
};

const BY_DESIGN = [
  'No kernel-driver mode for PPIN, SPD and raw PCI - the documents themselves advise against it in a first version.',
  'Product keys are not read: for the MSDM/SLIC tables only the header is shown.',
  'EK certificate chains, remote attestation and the runtime attestation report are evidence for a backend; nothing is verified against external roots here.',
];

function card(title, meta, body, extraClass, attrs) {
  return '<section class="card' + (extraClass ? ' ' + extraClass : '') + '"' + (attrs || '') + '><div class="card-head"><h3>' + esc(title) + '</h3>' +
    (meta ? '<span class="meta">' + esc(meta) + '</span>' : '') + '</div>' + body + '</section>';
}

// Rows per block of a long table (see renderTable).
const ROW_BLOCK = 100;

// Column widths shared by the blocks of a long table: by the longest text of
// each column in its first rows, within bounds, as shares of the width.
function colgroup(table, cols, rows) {
  const longest = cols.map((i) => Math.max(4, String(table.columns[i] || '').length));
  for (const row of rows.slice(0, 500)) cols.forEach((i, n) => { longest[n] = Math.max(longest[n], String(row.c[i] || '').length); });
  const weights = longest.map((n) => Math.min(n, 60));
  const total = weights.reduce((a, b) => a + b, 0);
  return '<colgroup>' + weights.map((w) => '<col style="width:' + (100 * w / total).toFixed(2) + '%">').join('') + '</colgroup>';
}

// Columns empty in every row of the table take no room (they would squeeze
// the others in a narrow window); the card names them instead.
function emptyColumns(table) {
  if (!table.rows.length) return [];
  return table.columns.map((c, i) => i).filter((i) => i !== table.groupCol && table.rows.every((row) => !row.c[i]));
}

// A table wider than its card scrolls in this frame, which the keyboard
// must be able to reach.
const TABLE_WRAP = '<div class="table-wrap" tabindex="0">';

function renderTable(table) {
  const cols = [];
  const empty = emptyColumns(table);
  table.columns.forEach((c, i) => { if (i !== table.groupCol && !empty.includes(i)) cols.push(i); });
  const rows = state.q ? table.rows.filter((row) => matchesQuery(cols.map((i) => (hidden(rowIsSensitive(table, row, i)) ? '' : row.c[i]))))
    : table.rows;
  const meta = state.q ? tf('Shown: {n1} of {n2}', { n1: rows.length, n2: table.rows.length }) : tf('Rows: {n1}', { n1: table.rows.length });
  let body = table.note ? '<p class="note">' + esc(tx(table.note)) + '</p>' : '';
  if (empty.length) body += '<p class="note empty-cols">' + esc(tf('Columns empty in every row: {x1}', { x1: empty.map((i) => tx(table.columns[i])).join(', ') })) + '</p>';
  if (!table.rows.length) body += '<p class="empty">' + esc(tx('Nothing reported on this machine.')) + '</p>';
  else if (!rows.length) body += '<p class="empty">' + esc(tx('No rows match the filter.')) + '</p>';
  else {
    const kv = cols.length + empty.length === 2;
    const head = '<thead><tr>' + cols.map((i) => '<th>' + esc(tx(table.columns[i])) + '</th>').join('') + '</tr></thead>';
    const html = [];
    let group;
    for (const row of rows) {
      if (table.groupCol >= 0) {
        const g = row.c[table.groupCol] || '';
        if (g !== group) {
          group = g;
          html.push('<tr class="group-row"><td colspan="' + cols.length + '">' + esc(tx(g)) + '</td></tr>');
        }
      }
      html.push('<tr>' + cols.map((i, n) => {
        const v = row.c[i] || '';
        const cls = [];
        if (kv && n === 0) cls.push('key');
        if (v.length <= 14) cls.push('nowrap');
        return '<td' + (cls.length ? ' class="' + cls.join(' ') + '"' : '') + '>' + cell(v, rowIsSensitive(table, row, i)) + '</td>';
      }).join('') + '</tr>');
    }
    const tableClass = 'grid' + (kv ? ' kv' : '');
    if (html.length <= ROW_BLOCK) {
      body += TABLE_WRAP + '<table class="' + tableClass + '">' + head + '<tbody>' + html.join('') + '</tbody></table></div>';
    } else {
      // A long table is drawn as blocks of rows, each its own table with the
      // same fixed column widths, so the browser can skip the layout of the
      // blocks off screen (it cannot skip parts of one table).
      const cg = colgroup(table, cols, rows);
      body += TABLE_WRAP;
      for (let k = 0; k < html.length; k += ROW_BLOCK) {
        const block = html.slice(k, k + ROW_BLOCK).join('');
        const t = '<table class="' + tableClass + ' fixed">' + cg + (k === 0 ? head : '') + '<tbody>' + block + '</tbody></table>';
        body += k === 0 ? t : '<div class="row-block">' + t + '</div>';
      }
      body += '</div>';
    }
  }
  return card(tx(table.title), meta, body);
}

function tablesFor(tab) {
  const order = Object.prototype.hasOwnProperty.call(TAB_ORDER, tab) ? TAB_ORDER[tab] : [];
  const list = state.snap ? state.snap.tables.filter((t) => t.tab === tab) : [];
  const pos = (t) => { const i = order.indexOf(t.id); return i < 0 ? order.length : i; };
  return list.map((t, i) => [t, i]).sort((a, b) => pos(a[0]) - pos(b[0]) || a[1] - b[1]).map((x) => x[0]);
}

function heading(title, desc) {
  return '<div class="view-head"><h2>' + esc(tx(title)) + '</h2>' + (desc ? '<p class="lead">' + esc(tx(desc)) + '</p>' : '') + '</div>';
}

function renderGenericTab(tab) {
  const intro = Object.prototype.hasOwnProperty.call(TAB_INTRO, tab) ? TAB_INTRO[tab] : [tab, ''];
  let h = heading(intro[0], intro[1]);
  if (tab === 'tpm') h += renderKeyPanel();
  const tables = tablesFor(tab);
  if (!tables.length) h += '<p class="empty">' + esc(tx('No data collected for this section.')) + '</p>';
  for (const t of tables) h += renderTable(t);
  return h;
}

// ---- scores ----

function scoreColor(v) {
  if (v >= 85) return 'var(--good)';
  if (v >= 65) return 'var(--warn)';
  if (v >= 45) return '#f07f3b';
  return 'var(--bad)';
}

function ring(value, colour, size, percent) {
  size = size || 104;
  const v = Math.max(0, Math.min(100, num(value)));
  const r = size / 2 - 8;
  const circ = 2 * Math.PI * r;
  const c = size / 2;
  return '<svg class="ring" width="' + size + '" height="' + size + '" viewBox="0 0 ' + size + ' ' + size + '">' +
    '<circle cx="' + c + '" cy="' + c + '" r="' + r + '" fill="none" stroke="var(--line2)" stroke-width="9"/>' +
    // A round cap would draw a dot for 0; no arc then.
    (v > 0 ? '<circle cx="' + c + '" cy="' + c + '" r="' + r + '" fill="none" stroke="' + colour + '" stroke-width="9" stroke-linecap="round" ' +
    'stroke-dasharray="' + ((circ * v) / 100).toFixed(2) + ' ' + circ.toFixed(2) + '" transform="rotate(-90 ' + c + ' ' + c + ')"/>' : '') +
    '<text x="' + c + '" y="' + c + '" text-anchor="middle" dominant-baseline="central" class="ring-text">' + ringText(v, percent) + '</text></svg>';
}

function ringText(v, percent) {
  const [before, number, after] = percent ? percentParts(v) : ['', String(Math.round(v)), '/100'];
  const unit = (t) => (t ? '<tspan class="ring-unit">' + esc(t) + '</tspan>' : '');
  return unit(before) + esc(number) + unit(after);
}

function renderScore(score) {
  const items = score.items.map((it) => {
    const cls = it.points > 0 ? 'pos' : it.points < 0 ? 'neg' : 'zero';
    return '<li><span class="pts ' + cls + '">' + esc(pointsText(it)) + '</span>' + pill(it.status) +
      '<span class="item-text"><span class="item-label">' + esc(tx(it.label)) + '</span>' +
      (it.note ? '<span class="item-note">' + esc(tx(it.note)) + '</span>' : '') + '</span></li>';
  }).join('');
  return '<section class="card score"><div class="score-head">' + ring(score.value, scoreColor(score.value), 104, score.id === 'physical') +
    '<div class="score-titles"><h3>' + esc(tx(score.title)) + '</h3><div class="verdict" style="color:' + scoreColor(score.value) + '">' +
    esc(tx(score.verdict)) + '</div></div></div>' + (score.note ? '<p class="note score-note">' + esc(tx(score.note)) + '</p>' : '') +
    (items ? '<ul class="items">' + items + '</ul>' : '') + '</section>';
}

// ---- overview ----

function sigValue(sig) {
  if (signalIsEmpty(sig)) return emptyValueHtml();
  if (sig.sens && !state.reveal) return maskHtml();
  if (!('v' in sig)) {
    return '<span class="mono hmac" title="' + esc(tx('Only an HMAC tag is stored in privacy-safe reports')) + '">' + esc('h:' + sig.h) + '</span>';
  }
  const v = sig.v;
  return looksHex(v) ? copyable(v, 'mono') : '<span class="copy" data-copy="' + esc(v) + '">' + breakIds(tx(v)) + '</span>';
}

const CHECK_ORDER = { fail: 0, warn: 1, pass: 2 };

function renderOverview() {
  const s = state.snap;
  // The cards' headings sit under the view's own, which only a screen reader needs.
  let h = '<div class="view-head sr-only"><h2>' + esc(tx('Overview')) + '</h2></div><div class="scores">' + s.scores.map(renderScore).join('') + '</div>';
  h += '<p class="fineprint">' + esc(tx('Scores are explainable engineering priors meant for calibration on field data - not statistical probabilities and not a Microsoft rating.')) + '</p>';

  const anchors = s.signals.filter((g) => g.scope === 'per-unit' && g.q > 0 && g.w >= 8 && g.group && g.group !== 'peripheral')
    .map((g, i) => [g, i]).sort((a, b) => b[0].w - a[0].w || a[1] - b[1]).slice(0, 12).map((x) => x[0]);
  let ab = anchors.length ? '<ul class="anchors">' + anchors.map((g) => '<li><div class="anchor-name">' + esc(tx(g.name)) +
    '<span class="src">' + esc(g.src) + '</span></div><div class="anchor-value">' + sigValue(g) + '</div>' +
    '<div class="wbar" title="' + esc(tx('Weight') + ' ' + formatNumber(g.w)) + '"><span style="width:' + Math.min(100, 2.8 * g.w) + '%"></span></div></li>').join('') + '</ul>'
    : '<p class="empty">' + esc(tx('No per-unit identifiers were exposed.')) + '</p>';

  const checks = s.checks.map((c, i) => [c, i]).sort((a, b) => {
    const oa = CHECK_ORDER[a[0].status] ?? 3;
    const ob = CHECK_ORDER[b[0].status] ?? 3;
    return oa - ob || a[1] - b[1];
  }).map((x) => x[0]);
  const passed = s.checks.filter((c) => c.status === 'pass').length;
  const cb = checks.length ? '<ul class="checks">' + checks.map((c) => '<li>' + pill(c.status) + '<div><div class="check-title">' + esc(tx(c.title)) +
    '</div>' + (c.detail ? '<div class="check-detail">' + esc(tx(c.detail)) + '</div>' : '') + '</div></li>').join('') + '</ul>' : '';
  h += '<div class="two-col">' + card(tx('Strongest per-unit anchors'), tf('Shown: {n1}', { n1: anchors.length }), ab) +
    card(tx('Cross-source consistency'), tf('Passed: {n1} of {n2}', { n1: passed, n2: s.checks.length }), cb) + '</div>';

  const scopeCount = (sc) => s.signals.filter((g) => g.scope === sc).length;
  const rows = s.tables.reduce((n, t) => n + t.rows.length, 0);
  const stat = (n, label, sub) => '<div class="stat"><div class="stat-num">' + esc(formatNumber(n)) + '</div><div class="stat-label">' +
    esc(tn(n, label)) + '</div>' + (sub ? '<div class="stat-sub">' + esc(sub) + '</div>' : '') + '</div>';
  const cov = '<div class="stats">' + stat(s.signals.length, 'identifiers catalogued') + stat(scopeCount('per-unit'), 'per-unit') +
    stat(scopeCount('per-model'), 'per-model') + stat(scopeCount('per-install'), 'per-install') +
    stat(rows, 'raw data rows', tf('Tables: {n1}', { n1: s.tables.length })) + '</div>';
  h += '<div class="two-col">' + card(tx('Coverage'), '', cov) + renderByDesign() + '</div>';

  let ct = TABLE_WRAP + '<table class="grid"><thead><tr><th>' + esc(tx('Collector')) + '</th><th class="num">' + esc(tx('Time')) + '</th><th>' +
    esc(tx('Status')) + '</th></tr></thead><tbody>';
  for (const c of s.collectors) {
    const ok = c.status === 'ok';
    ct += '<tr><td>' + esc(tx(c.name)) + '</td><td class="nowrap num">' + esc(formatUnit(c.ms, 'ms', 1)) + '</td><td>' +
      (ok ? pill('ok') + ' ' + esc(tx('ok')) : pill('bad') + ' ' + esc(tx(c.error || 'error'))) + '</td></tr>';
  }
  for (const n of s.notes) ct += '<tr class="note-row"><td colspan="3">' + pill('info') + ' ' + esc(tx(n)) + '</td></tr>';
  ct += '</tbody></table></div>';
  h += card(tx('Collection'), formatUnit(num(s.durationMs) / 1000, 's', 1) + ' · ' + tx(s.created), ct);
  return h;
}

function renderByDesign() {
  return card(tx('By design'), tx('limits of this version'), '<ul class="plain">' + BY_DESIGN.map((t) => '<li>' + esc(tx(t)) + '</li>').join('') + '</ul>');
}

// ---- TPM-bound key ----

// The key panel's buttons: the operation sent to the host and its label.
const KEY_ACTIONS = { create: 'Create key', challenge: 'Run challenge', delete: 'Delete key' };

function renderKeyPanel() {
  const k = state.key;
  let body = '<p class="note">' + esc(tx('A non-exportable ECDSA P-256 key is created inside the TPM through the Microsoft Platform Crypto Provider. The app signs a fresh random nonce with it and verifies the signature - the same challenge-response a licensing server would run. Nothing leaves this PC.')) + '</p>';
  if (k) {
    const rows = [['Status', esc(tx(str(k.message)))], ['Key present', esc(tx(k.exists === true ? 'yes' : 'no'))]];
    if (k.exists === true) {
      const cut = (v) => { const s = str(v); return s.length > 32 ? s.slice(0, 32) + '...' : s; };
      rows.push(['Algorithm', esc(str(k.algorithm))]);
      rows.push(['Private key exportable', esc(tx(k.exportable === true ? 'yes' : 'no (TPM-protected)'))]);
      rows.push(['Public key SHA-256', state.reveal ? '<span class="mono">' + esc(str(k.publicKeyHash)) + '</span>' : esc(tx('(hidden)'))]);
      rows.push(['Challenge', esc(k.challengeOk === true ? tf('verified in {n1} ms', { n1: Math.round(num(k.signMs)) }) : tx('failed'))]);
      rows.push(['Nonce', '<span class="mono">' + esc(cut(k.nonce)) + '</span>']);
      rows.push(['Signature', '<span class="mono">' + esc(cut(k.signature)) + '</span>']);
    }
    body += '<table class="grid kv"><tbody>' + rows.map((r) => '<tr><td class="key">' + esc(tx(r[0])) + '</td><td>' + r[1] + '</td></tr>').join('') + '</tbody></table>';
  }
  body += '<div class="btn-row">' + Object.entries(KEY_ACTIONS)
    .map((b) => '<button class="btn" data-act="tpmkey" data-op="' + b[0] + '">' + esc(tx(b[1])) + '</button>').join('') + '</div>';
  return card(tx('TPM-bound device key (challenge-response demo)'), tx('optional'), body);
}

// ---- About and raw JSON ----

function renderAbout() {
  const s = state.snap;
  let h = '<div class="about-head">' + LOGO_SVG + '<div><h2 class="about-name">Vornix<span class="accent2">Quelm</span></h2><div class="muted">' +
    esc('by Morvel K7 · ' + tx('version') + ' ' + (s ? str(s.version) : '')) + '</div></div></div>';
  h += '<p class="lead">' + esc(tx('A read-only inspector for Windows 11: which hardware and system identifiers describe this PC, how far each of them can be trusted, and what state the platform protections are in.')) + '</p>';
  h += '<div class="btn-row">' + siteButtons() + '</div>';
  const how = ['Everything is read in user mode through documented Windows APIs; nothing is written to the hardware or to the TPM.',
    'The program makes no network requests. The two links above open in your browser.',
    'Serial numbers and key fingerprints stay hidden on screen until you choose to show them.',
    'Privacy-safe reports replace identifiers with HMAC tags keyed to this PC; raw reports are for local diagnostics only.',
    'A single executable: the interface and all translations are embedded; the WebView2 runtime is part of Windows 11.'];
  h += '<div class="two-col">' + card(tx('How it works'), '', '<ul class="plain">' + how.map((t) => '<li>' + esc(tx(t)) + '</li>').join('') + '</ul>') + renderByDesign() + '</div>';
  h += card(tx('Language'), '', '<div class="btn-row">' + LANGS.map((l) => '<button class="btn' + (l.code === LANG ? ' current' : '') +
    '" data-act="lang" data-code="' + esc(l.code) + '">' + flagSvg(l.flag) + ' ' + esc(l.name) + '</button>').join('') + '</div>');
  h += card(tx('Local data'), '', '<p>' + esc(tx('HMAC key, language choice and the WebView2 profile:')) + ' <span class="mono">%LOCALAPPDATA%\\VornixQuelm</span></p><p>' +
    esc(tx('Deleting that folder resets the HMAC key; reports exported before and after it can no longer be compared by their hashed identifiers.')) + '</p><p>' +
    esc(tf('The optional TPM-bound demo key is created only by the button on the TPM page and removed by "{x1}".', { x1: tx('Delete key') })) + '</p>');
  return h;
}

function maskedJson(report) {
  if (state.reveal) return report;
  const copy = JSON.parse(JSON.stringify(report));
  for (const g of arr(copy.signals)) if (g && g.sens === true && 'v' in g && str(g.v).trim() !== '') g.v = '<hidden>';
  for (const t of arr(copy.tables)) {
    if (!t) continue;
    for (const row of arr(t.rows)) {
      if (!row) continue;
      arr(row.c).forEach((v, i) => {
        if (v !== '' && v !== null && v !== undefined && rowIsSensitive({ sens: mask32(t.sens) }, { s: mask32(row.s) }, i)) row.c[i] = '<hidden>';
      });
    }
  }
  return copy;
}

const JSON_LIMIT = 2500000;

// The page's own marks on a report stay out of its JSON.
function reportJsonText(report) {
  return JSON.stringify(maskedJson(report), (k, v) => (k === '_current' || k === '_file' ? undefined : v), 2);
}

// The text as blocks of lines, so the browser lays out only the blocks near
// the screen; each keeps its line feed, so the text reads as before.
const JSON_BLOCK_LINES = 300;

function jsonBlocks(text) {
  const lines = text.split('\n');
  let h = '';
  for (let k = 0; k < lines.length; k += JSON_BLOCK_LINES) {
    const last = k + JSON_BLOCK_LINES >= lines.length;
    h += '<div class="json-block">' + esc(lines.slice(k, k + JSON_BLOCK_LINES).join('\n') + (last ? '' : '\n')) + '</div>';
  }
  return h;
}

// The report's size as a file: the program writes it without indentation,
// in the order and form the page keeps, so its UTF-8 length is the file's.
const fileSizes = new WeakMap();
function reportFileBytes(report) {
  if (!fileSizes.has(report)) {
    const text = JSON.stringify(report, (k, v) => (k === '_current' || k === '_file' ? undefined : v));
    fileSizes.set(report, new TextEncoder().encode(text).length);
  }
  return fileSizes.get(report);
}

function renderJson() {
  const text = reportJsonText(state.snap);
  const shown = text.length > JSON_LIMIT ? text.slice(0, JSON_LIMIT) + '\n... ' + tx('truncated') : text;
  const lead = tx(state.reveal ? 'The in-memory report as sent to this view. Exports use the menu at the top right.'
    : 'The in-memory report as sent to this view (identifiers hidden). Exports use the menu at the top right.');
  return '<div class="view-head"><h2>' + esc(tx('Raw JSON')) + '</h2><p class="lead">' + esc(lead) + '</p></div>' +
    '<section class="card"><div class="card-head"><h3>vorq.snapshot/1</h3><span class="meta">' + esc(formatUnit(Math.round(reportFileBytes(state.snap) / 1024), 'KB')) +
    '</span><button class="btn small" data-act="copy-json">' + esc(tx('Copy')) + '</button></div><pre class="json">' + jsonBlocks(shown) + '</pre></section>';
}
