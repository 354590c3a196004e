'use strict';
// Field-by-field diff of two reports: header, scores, checks, identifiers and
// every table row by row and cell by cell. Functions of their inputs only, so
// Node's test runner loads this file as it is; in the page its names become
// globals.
(function (root) {
  const DIFF_HEADER = [
    ['version', 'Program version'], ['mode', 'Report mode'], ['created', 'Created'], ['elevated', 'Administrator'],
    ['durationMs', 'Scan duration (ms)'], ['hmacKeyId', 'HMAC key'], ['device.title', 'Device'], ['device.subtitle', 'Device details'],
  ];

  // Fields that differ between two scans of one machine: header paths, column
  // titles, or the first key cell of a row.
  const DIFF_VOLATILE = new Set([
    'created', 'durationMs', 'Uptime', 'Boot time', 'Local time', 'Current time', 'Adapter LUID', 'Time', 'Collected',
    'DeviceHardwareData (base64)', 'SHA-256 of the whole value', 'Harvest time stamp (record type 1)', 'Boot counter (BootId)',
    'Last loaded', 'Last unloaded', 'Last seen', 'Last used', 'Last connected', 'Updated', 'Known networks',
    'PCR read records (PcrInfo)', 'Last recorded boot', 'PCR 0-7 recorded vs live', 'PCRs matched the log at that boot (PcrsMatched)',
    'OS build of the last task run',
  ]);

  const DIFF_STATUS = { same: 'same', diff: 'differs', onlyA: 'only in A', onlyB: 'only in B', nc: 'not comparable' };

  const SEP = '\u0001';
  const list = (v) => (Array.isArray(v) ? v : []);
  const isObj = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
  const text = (v) => (v === null || v === undefined ? '' : typeof v === 'string' ? v : typeof v === 'number' || typeof v === 'boolean' ? String(v) : '');
  const has = (o, k) => Object.prototype.hasOwnProperty.call(o, k);
  const mask = (v) => (typeof v === 'number' && Number.isFinite(v) ? v >>> 0 : 0);
  const bit = (m, i) => i >= 0 && i < 32 && ((m >>> i) & 1) === 1;
  const missing = (v) => v === undefined || v === null;

  // A score item's points as Overview writes them: "+4/10", "0/10", a
  // deduction without a maximum as "-20", else "•".
  function pointsText(item) {
    const p = isObj(item) && Number.isFinite(Number(item.points)) ? Number(item.points) : 0;
    const max = isObj(item) && Number.isFinite(Number(item.max)) ? Number(item.max) : 0;
    if (max > 0 && p > 0) return '+' + p + '/' + max;
    if (max > 0) return '0/' + max;
    if (p < 0) return String(p);
    return '•';
  }

  function cmpVal(a, b, sameKey) {
    if (missing(a)) return missing(b) ? 'same' : 'onlyB';
    if (missing(b)) return 'onlyA';
    const ha = typeof a === 'string' && a.startsWith('hmac:');
    const hb = typeof b === 'string' && b.startsWith('hmac:');
    if (ha || hb) return ha && hb && sameKey ? (a === b ? 'same' : 'diff') : 'nc';
    return text(a) === text(b) ? 'same' : 'diff';
  }

  // An identifier present in a report always has a value here: its text, its
  // tag, or, with neither (a privacy-safe report leaves an empty value out),
  // the empty text, so that it is never "only in" the other report.
  function sigVal(s) {
    if (!isObj(s)) return undefined;
    if (has(s, 'v')) return text(s.v);
    if (has(s, 'h') && text(s.h) !== '') return 'hmac:' + text(s.h);
    return '';
  }

  // A table's shape as the diff needs it, whatever the file held.
  function shapeTable(t) {
    const columns = list(t.columns).map(text);
    const groupCol = Number.isInteger(t.groupCol) && t.groupCol >= 0 && t.groupCol < columns.length ? t.groupCol : -1;
    const rows = list(t.rows).map((r) => (isObj(r) ? { c: list(r.c).map(text), s: mask(r.s) } : { c: [], s: 0 }));
    return { id: text(t.id), tab: text(t.tab), title: text(t.title), columns, groupCol, sens: mask(t.sens), rows };
  }

  // Column identities by title; a title repeated in one table gets "#n" so
  // that no column is lost.
  function columnIds(columns) {
    return numberRepeats(columns, SEP + '#');
  }

  // Column identity to index, the first column of each identity.
  function positions(ids) {
    const at = new Map();
    ids.forEach((id, i) => { if (!at.has(id)) at.set(id, i); });
    return at;
  }

  function keyIndexes(table, keyCols) {
    const at = positions(columnIds(table.columns));
    return keyCols.map((k) => (at.has(k) ? at.get(k) : -1));
  }

  function rawKeys(table, keyCols) {
    const idx = keyIndexes(table, keyCols);
    return table.rows.map((r) => (table.groupCol >= 0 ? text(r.c[table.groupCol]) : '') + SEP + idx.map((i) => (i < 0 ? '' : text(r.c[i]))).join(SEP));
  }

  // The n-th repeat of a base gets mark + n; a number already taken by a
  // literal key of the same text is skipped, so that no record is lost.
  function numberRepeats(bases, mark) {
    const seen = new Map();
    const used = new Set();
    return bases.map((b) => {
      let n = seen.get(b) || 0;
      let k;
      do {
        n++;
        k = n === 1 ? b : b + mark + n;
      } while (used.has(k));
      seen.set(b, n);
      used.add(k);
      return k;
    });
  }

  // keyCols are column identities (titles), so the other report's columns may
  // stand in any order.
  function rowKeys(table, keyCols) {
    return numberRepeats(rawKeys(shapeTable(isObj(table) ? table : {}), keyCols), SEP + '#');
  }

  function unique(keys) {
    return new Set(keys).size === keys.length;
  }

  function tableRowKeys(tableA, tableB) {
    const a = tableA ? shapeTable(tableA) : null;
    const b = tableB ? shapeTable(tableB) : null;
    const ref = a || b;
    if (!ref) return { keyCols: [], ka: [], kb: [] };
    const ids = columnIds(ref.columns);
    const candidates = ids.filter((_, i) => i !== ref.groupCol && !bit(ref.sens, i));
    const byPosition = (t) => (t ? t.rows.map((_, i) => '#' + i) : []);
    if (!candidates.length) return { keyCols: [], ka: byPosition(a), kb: byPosition(b) };
    // The raw keys grow by one column at a time: a table of thousands of
    // columns whose rows repeat stays linear in its size.
    const start = (t) => (t ? { t, at: positions(columnIds(t.columns)), keys: t.rows.map((r) => (t.groupCol >= 0 ? text(r.c[t.groupCol]) : '')) } : null);
    const grow = (st, col) => {
      if (!st) return;
      const i = st.at.has(col) ? st.at.get(col) : -1;
      for (let r = 0; r < st.keys.length; r++) st.keys[r] += SEP + (i < 0 ? '' : text(st.t.rows[r].c[i]));
    };
    const sa = start(a);
    const sb = start(b);
    let n = 0;
    while (n < candidates.length) {
      grow(sa, candidates[n]);
      grow(sb, candidates[n]);
      n++;
      if ((!sa || unique(sa.keys)) && (!sb || unique(sb.keys))) break;
    }
    const mark = SEP + '#';
    return { keyCols: candidates.slice(0, n), ka: sa ? numberRepeats(sa.keys, mark) : [], kb: sb ? numberRepeats(sb.keys, mark) : [] };
  }

  function countRows(rows) {
    const counts = { same: 0, diff: 0, onlyA: 0, onlyB: 0, nc: 0 };
    for (const r of rows) counts[r.status]++;
    return counts;
  }

  function pathValue(report, path) {
    let v = report;
    for (const p of path.split('.')) {
      if (!isObj(v) || !has(v, p)) return undefined;
      v = v[p];
    }
    return isObj(v) || Array.isArray(v) ? undefined : v;
  }

  // Keyed records of one list, repeats numbered "#2", "#3"...
  function keyed(items, keyOf) {
    const records = items.filter(isObj);
    const keys = numberRepeats(records.map(keyOf), '#');
    return new Map(records.map((it, i) => [keys[i], it]));
  }

  function unionKeys(ma, mb) {
    const keys = [...ma.keys()];
    for (const k of mb.keys()) if (!ma.has(k)) keys.push(k);
    return keys;
  }

  function valueRow(key, label, a, b, sameKey, extra) {
    return Object.assign({ key, label, a, b, status: cmpVal(a, b, sameKey) }, extra || {});
  }

  // A header value as the page writes it: a flag in words ("yes", "no"),
  // which the views translate.
  const headerText = (v) => (missing(v) ? v : typeof v === 'boolean' ? (v ? 'yes' : 'no') : text(v));

  function headerSection(A, B, sameKey, volatile) {
    const rows = DIFF_HEADER.map(([path, label]) => {
      const a = pathValue(A, path);
      const b = pathValue(B, path);
      const row = valueRow(path, label, headerText(a), headerText(b), sameKey);
      if (volatile.has(path) && !missing(a) && !missing(b)) row.status = 'nc';
      return row;
    });
    return { id: 'header', title: 'Report', rows };
  }

  function scoresSection(A, B, sameKey) {
    const ma = keyed(list(A.scores), (s) => text(s.id));
    const mb = keyed(list(B.scores), (s) => text(s.id));
    const scoreText = (s) => (s ? text(s.value) + ' · ' + text(s.verdict) : undefined);
    const itemText = (i) => (i ? pointsText(i) + ' · ' + text(i.status) : undefined);
    const rows = [];
    for (const id of unionKeys(ma, mb)) {
      const sa = ma.get(id);
      const sb = mb.get(id);
      const title = text((sa || sb).title);
      rows.push(valueRow(id, title || id, scoreText(sa), scoreText(sb), sameKey, { tr: true }));
      const ia = keyed(sa ? list(sa.items) : [], (i) => text(i.label));
      const ib = keyed(sb ? list(sb.items) : [], (i) => text(i.label));
      for (const label of unionKeys(ia, ib)) {
        rows.push(valueRow(id + '/' + label, text((ia.get(label) || ib.get(label)).label), itemText(ia.get(label)), itemText(ib.get(label)), sameKey,
          { sub: title, tr: true }));
      }
    }
    return { id: 'scores', title: 'Scores', rows };
  }

  function checksSection(A, B, sameKey) {
    const ma = keyed(list(A.checks), (c) => text(c.title));
    const mb = keyed(list(B.checks), (c) => text(c.title));
    const checkText = (c) => (c ? text(c.status) + ' · ' + text(c.detail) : undefined);
    const rows = unionKeys(ma, mb).map((k) => valueRow(k, text((ma.get(k) || mb.get(k)).title), checkText(ma.get(k)), checkText(mb.get(k)), sameKey));
    return { id: 'checks', title: 'Cross-source checks', rows };
  }

  function signalsSection(A, B, sameKey) {
    const keyOf = (s) => (text(s.key) || text(s.name)) + '@' + text(s.group) + '|' + text(s.name);
    const ma = keyed(list(A.signals), keyOf);
    const mb = keyed(list(B.signals), keyOf);
    const rows = unionKeys(ma, mb).map((k) => {
      const sa = ma.get(k);
      const sb = mb.get(k);
      const s = sa || sb;
      return valueRow(k, text(s.name), sa ? sigVal(sa) : undefined, sb ? sigVal(sb) : undefined, sameKey,
        { sub: text(s.key), group: text(s.group), sens: (sa && sa.sens === true) || (sb && sb.sens === true) });
    });
    return { id: 'signals', title: 'Identifiers', rows };
  }

  function tableSection(ta, tb, sameKey, volatile) {
    const a = ta ? shapeTable(ta) : null;
    const b = tb ? shapeTable(tb) : null;
    const ref = a || b;
    const { keyCols, ka, kb } = tableRowKeys(a, b);
    const groupId = (t) => (t && t.groupCol >= 0 ? columnIds(t.columns)[t.groupCol] : null);
    const skip = new Set([groupId(a), groupId(b)].filter((x) => x !== null));
    const idsA = a ? columnIds(a.columns) : [];
    const idsB = b ? columnIds(b.columns) : [];
    const cols = [...new Set(idsA.concat(idsB))].filter((id) => !skip.has(id));
    const atA = positions(idsA);
    const atB = positions(idsB);
    const idxA = cols.map((c) => (atA.has(c) ? atA.get(c) : -1));
    const idxB = cols.map((c) => (atB.has(c) ? atB.get(c) : -1));
    const titles = cols.map((c) => c.split(SEP)[0]);
    const keySet = new Set(keyCols);
    const valueCols = cols.filter((c) => !keySet.has(c));
    const volatileCol = titles.map((t) => volatile.has(t));
    const rowsA = new Map(a ? a.rows.map((r, i) => [ka[i], r]) : []);
    const rowsB = new Map(b ? b.rows.map((r, i) => [kb[i], r]) : []);
    const keyIdxA = a ? keyIndexes(a, keyCols) : [];
    const keyIdxB = b ? keyIndexes(b, keyCols) : [];
    const rows = [];
    for (const key of unionKeys(rowsA, rowsB)) {
      const ra = rowsA.get(key);
      const rb = rowsB.get(key);
      const r = ra || rb;
      const keyIdx = ra ? keyIdxA : keyIdxB;
      const keyCells = keyIdx.map((i) => (i < 0 ? '' : text(r.c[i])));
      const first = (row, idx) => (row && idx.length && idx[0] >= 0 ? text(row.c[idx[0]]) : '');
      const volatileRow = volatile.has(first(ra, keyIdxA)) || volatile.has(first(rb, keyIdxB));
      const cells = cols.map((_, j) => {
        const va = ra && idxA[j] >= 0 && idxA[j] < ra.c.length ? ra.c[idxA[j]] : undefined;
        const vb = rb && idxB[j] >= 0 && idxB[j] < rb.c.length ? rb.c[idxB[j]] : undefined;
        let status = !ra ? 'onlyB' : !rb ? 'onlyA' : cmpVal(va, vb, sameKey);
        if (status === 'diff' && (volatileRow || volatileCol[j])) status = 'nc';
        const sens = (ra && bit(a.sens | ra.s, idxA[j])) || (rb && bit(b.sens | rb.s, idxB[j]));
        return { a: va, b: vb, status, sens };
      });
      let status = !ra ? 'onlyB' : !rb ? 'onlyA' : 'same';
      if (ra && rb) {
        if (cells.some((c) => c.status === 'diff')) status = 'diff';
        else if (!cells.every((c) => c.status === 'same')) status = 'nc';
      }
      const own = ra ? a : b;
      const group = own.groupCol >= 0 ? text(r.c[own.groupCol]) : '';
      rows.push({ key, label: keyCells.length ? keyCells.join(' · ') : key, group, status, cells });
    }
    return {
      id: 'table:' + ref.id, title: ref.title || ref.id, tab: ref.tab, columns: titles, keyCols: keyCols.map((c) => c.split(SEP)[0]),
      kv: valueCols.length === 1, valueCol: valueCols.length === 1 ? cols.indexOf(valueCols[0]) : -1, onlyA: !b, onlyB: !a, rows,
    };
  }

  function diffReports(A, B, opts) {
    const ra = isObj(A) ? A : {};
    const rb = isObj(B) ? B : {};
    const sameKey = text(ra.hmacKeyId) !== '' && text(ra.hmacKeyId) === text(rb.hmacKeyId);
    const volatile = opts && opts.ignoreVolatile ? DIFF_VOLATILE : new Set();
    const sections = [headerSection(ra, rb, sameKey, volatile), scoresSection(ra, rb, sameKey), checksSection(ra, rb, sameKey),
      signalsSection(ra, rb, sameKey)];
    const ta = keyed(list(ra.tables), (t) => text(t.id));
    const tb = keyed(list(rb.tables), (t) => text(t.id));
    for (const id of unionKeys(ta, tb)) {
      // One malformed table never stops the others.
      try {
        const s = tableSection(ta.get(id), tb.get(id), sameKey, volatile);
        s.id = 'table:' + id;
        sections.push(s);
      } catch (e) {
        sections.push({ id: 'table:' + id, title: id, rows: [], error: String(e && e.message ? e.message : e) });
      }
    }
    const totals = { same: 0, diff: 0, onlyA: 0, onlyB: 0, nc: 0 };
    for (const s of sections) {
      s.counts = countRows(s.rows);
      for (const k of Object.keys(totals)) totals[k] += s.counts[k];
    }
    return { sameKey, sections, totals };
  }

  const api = { DIFF_HEADER, DIFF_VOLATILE, DIFF_STATUS, pointsText, cmpVal, sigVal, rowKeys, tableRowKeys, diffReports };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else Object.assign(root, api);
})(typeof window === 'object' ? window : globalThis);
