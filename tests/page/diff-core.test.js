'use strict';
// The report diff core on its own, without a browser.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { cmpVal, sigVal, rowKeys, tableRowKeys, diffReports, pointsText } = require('../../ui/js/diff_core.js');

const fixture = (name) => JSON.parse(fs.readFileSync(path.join(__dirname, 'fixtures', name), 'utf8'));
const clone = (x) => JSON.parse(JSON.stringify(x));
const section = (result, id) => result.sections.find((s) => s.id === id);
const statusOf = (result, id, key) => section(result, id).rows.find((r) => r.key === key || r.label === key).status;

test('cmpVal', () => {
  const cases = [
    [undefined, undefined, true, 'same'], [null, 'x', true, 'onlyB'], ['x', undefined, true, 'onlyA'],
    ['x', 'x', false, 'same'], ['x', 'y', false, 'diff'], ['', '', false, 'same'], [1, '1', false, 'same'],
    ['hmac:AA', 'hmac:AA', true, 'same'], ['hmac:AA', 'hmac:BB', true, 'diff'], ['hmac:AA', 'hmac:AA', false, 'nc'],
    ['hmac:AA', 'S123', true, 'nc'], ['S123', 'hmac:AA', true, 'nc'],
  ];
  for (const [a, b, sameKey, want] of cases) assert.equal(cmpVal(a, b, sameKey), want, JSON.stringify([a, b, sameKey]));
});

test('sigVal', () => {
  // A privacy-safe report leaves an empty value out: neither text nor tag.
  const cases = [[{ v: 'x', h: 'AA' }, 'x'], [{ v: '' }, ''], [{ h: 'AA' }, 'hmac:AA'], [{ h: '' }, ''], [{}, ''], [null, undefined]];
  for (const [s, want] of cases) assert.equal(sigVal(s), want, JSON.stringify(s));
  const serial = { key: 'smbios.system.serial', name: 'System serial', group: 'mainboard', sens: true };
  const raw = { hmacKeyId: 'K', signals: [{ ...serial, v: '' }] };
  const safe = { hmacKeyId: 'K', signals: [serial] };
  assert.deepEqual(section(diffReports(raw, safe), 'signals').rows.map((r) => [r.a, r.b, r.status]), [['', '', 'same']]);
});

test('row keys: repeats numbered, further columns taken while the first repeats, column order free', () => {
  const a = { columns: ['Name', 'Slot', 'Size'], rows: [{ c: ['DIMM', 'A1', '8'] }, { c: ['DIMM', 'A2', '8'] }, { c: ['GPU', '', '4'] }] };
  const b = { columns: ['Size', 'Slot', 'Name'], rows: [{ c: ['16', 'A2', 'DIMM'] }, { c: ['8', 'A1', 'DIMM'] }] };
  const keys = tableRowKeys(a, b);
  assert.deepEqual(keys.keyCols, ['Name', 'Slot']);
  assert.deepEqual(keys.kb, [keys.ka[1], keys.ka[0]]);
  assert.deepEqual(rowKeys(a, ['Name']).map((k) => k.split('\u0001')), [['', 'DIMM'], ['', 'DIMM', '#2'], ['', 'GPU']]);
  // Sensitive and group columns are never keys; without candidates rows go by position.
  assert.deepEqual(tableRowKeys({ columns: ['Serial', 'Kind', 'Model'], sens: 1, groupCol: 1, rows: [{ c: ['S', 'k', 'M'] }] }, null).keyCols, ['Model']);
  assert.deepEqual(tableRowKeys({ columns: ['Serial'], sens: 1, rows: [{ c: ['S1'] }, { c: ['S2'] }] }, { columns: ['Serial'], rows: [{ c: ['S3'] }] }),
    { keyCols: [], ka: ['#0', '#1'], kb: ['#0'] });
  // Rows equal in every column keep apart by their repeat number.
  assert.deepEqual(tableRowKeys({ columns: ['A', 'B'], rows: [{ c: ['x', 'y'] }, { c: ['x', 'y'] }] }, null).ka.map((k) => k.split('\u0001').pop()), ['y', '#2']);
});

test('identical reports differ nowhere', () => {
  const r = fixture('report-ui.json');
  const result = diffReports(r, clone(r), { ignoreVolatile: true });
  assert.equal(result.totals.diff + result.totals.onlyA + result.totals.onlyB, 0);
  assert.ok(result.totals.same > 50);
  assert.equal(result.sameKey, true);
  assert.deepEqual(result.sections.slice(0, 4).map((s) => s.title), ['Report', 'Scores', 'Cross-source checks', 'Identifiers']);
  assert.equal(result.sections.length, 4 + r.tables.length);
});

test('header fields as the files hold them: a missing one only in the other, a flag in words', () => {
  const cases = [
    // [name, A's header, B's header, path, [a, b, status]]
    ['a field only B has', {}, { elevated: false }, 'elevated', [undefined, 'no', 'onlyB']],
    ['a field only A has', { durationMs: 12.5 }, {}, 'durationMs', ['12.5', undefined, 'onlyA']],
    ['flags in words', { elevated: true }, { elevated: false }, 'elevated', ['yes', 'no', 'diff']],
    ['a device without a title', { device: { subtitle: 'x' } }, { device: { title: 'PC', subtitle: 'x' } }, 'device.title', [undefined, 'PC', 'onlyB']],
    ['absent on both sides', {}, {}, 'mode', [undefined, undefined, 'same']],
  ];
  for (const [name, a, b, path, want] of cases) {
    const row = section(diffReports(a, b), 'header').rows.find((r) => r.key === path);
    assert.deepEqual([row.a, row.b, row.status], want, name);
  }
});

test('score items read as Overview writes them', () => {
  for (const [points, max, want] of [[-20, 0, '-20'], [0, 10, '0/10'], [4, 10, '+4/10'], [-5, 10, '0/10'], [0, 0, '•'], ['x', 'y', '•']]) {
    assert.equal(pointsText({ points, max }), want, JSON.stringify([points, max]));
  }
  const score = (points) => ({ scores: [{ id: 'drivers', title: 'Driver trust', value: 80, verdict: 'Medium', items: [{ label: 'Unsigned', points, max: 0, status: 'warn' }] }] });
  const row = section(diffReports(score(-20), score(-10)), 'scores').rows[1];
  assert.deepEqual([row.a, row.b, row.status], ['-20 · warn', '-10 · warn', 'diff']);
});

// Two scans of one machine a minute apart.
function secondScan(r) {
  const b = clone(r);
  b.created = '2024-05-02T10:21:00Z';
  b.durationMs += 250;
  b.tables.push({ tab: 'windows', id: 'windows.time', title: 'Clock', columns: ['Property', 'Value'], rows: [{ c: ['Uptime', '3 min'] }, { c: ['Build', '22631'] }] });
  const a = clone(r);
  a.tables.push({ tab: 'windows', id: 'windows.time', title: 'Clock', columns: ['Property', 'Value'], rows: [{ c: ['Uptime', '2 min'] }, { c: ['Build', '22631'] }] });
  return [a, b];
}

test('two scans of one machine: volatile fields are not comparable unless asked for', () => {
  const [a, b] = secondScan(fixture('report-ui.json'));
  const ignoring = diffReports(a, b, { ignoreVolatile: true });
  assert.deepEqual(['created', 'durationMs'].map((k) => statusOf(ignoring, 'header', k)), ['nc', 'nc']);
  assert.equal(statusOf(ignoring, 'table:windows.time', 'Uptime'), 'nc');
  assert.equal(ignoring.totals.diff, 0);
  const strict = diffReports(a, b, { ignoreVolatile: false });
  assert.deepEqual(['created', 'durationMs'].map((k) => statusOf(strict, 'header', k)), ['diff', 'diff']);
  assert.equal(statusOf(strict, 'table:windows.time', 'Uptime'), 'diff');
  assert.equal(strict.totals.diff, 3);
  const clock = section(strict, 'table:windows.time');
  assert.deepEqual([clock.kv, clock.keyCols, clock.columns], [true, ['Property'], ['Property', 'Value']]);
});

test('a privacy-safe report against a raw one: hashed fields are not comparable', () => {
  const raw = fixture('report-ui.json');
  const safe = clone(raw);
  safe.mode = 'safe';
  for (const s of safe.signals) if (s.sens) delete s.v;
  const disks = safe.tables.find((t) => t.id === 'storage.disks');
  for (const row of disks.rows) row.c[1] = 'hmac:' + row.c[1].length;
  const result = diffReports(raw, safe, { ignoreVolatile: true });
  const sensitive = section(result, 'signals').rows.filter((r) => r.sens && String(r.b).startsWith('hmac:'));
  assert.ok(sensitive.length > 0);
  assert.ok(sensitive.every((r) => r.status === 'nc'), 'hashed identifiers');
  const rows = section(result, 'table:storage.disks').rows;
  assert.ok(rows.every((r) => r.status === 'nc' && r.cells[1].status === 'nc' && r.cells[1].sens));
  assert.equal(statusOf(result, 'header', 'mode'), 'diff');
});

test('tables only in one report, reordered columns, repeated ids and malformed tables', () => {
  const a = { schema: 'vorq.snapshot/1', hmacKeyId: 'K', tables: [
    { id: 'mem', title: 'Memory', columns: ['Name', 'Slot', 'Size'], rows: [{ c: ['DIMM', 'A1', '8'] }, { c: ['DIMM', 'A2', '8'] }] },
    { id: 'broken', columns: 'x', rows: { length: 2 } },
    { id: 'dup', columns: ['K', 'V'], rows: [{ c: ['a', '1'] }] },
    { id: 'dup', columns: ['K', 'V'], rows: [{ c: ['a', '2'] }] },
  ] };
  const b = { schema: 'vorq.snapshot/1', hmacKeyId: 'K', tables: [
    { id: 'mem', title: 'Memory', columns: ['Size', 'Slot', 'Name', 'Speed'], rows: [{ c: ['16', 'A2', 'DIMM', '3200'] }, { c: ['8', 'A1', 'DIMM', '3200'] }] },
    { id: 'dup', columns: ['K', 'V'], rows: [{ c: ['a', '1'] }] },
    { id: 'gpu', title: 'GPUs', columns: ['GPU', 'Vendor'], rows: [{ c: ['0', 'X'] }, { c: ['1', 'Y'] }] },
    null, 'table',
  ] };
  const result = diffReports(a, b, { ignoreVolatile: true });
  const mem = section(result, 'table:mem');
  assert.deepEqual(mem.columns, ['Name', 'Slot', 'Size', 'Speed']);
  assert.deepEqual(mem.rows.map((r) => [r.label, r.status, r.cells.map((c) => c.status).join(',')]), [
    ['DIMM · A1', 'nc', 'same,same,same,onlyB'], ['DIMM · A2', 'diff', 'same,same,diff,onlyB']]);
  const gpu = section(result, 'table:gpu');
  assert.deepEqual([gpu.onlyB, gpu.onlyA, gpu.rows.map((r) => r.status)], [true, false, ['onlyB', 'onlyB']]);
  assert.deepEqual(section(result, 'table:broken').counts, { same: 0, diff: 0, onlyA: 0, onlyB: 0, nc: 0 });
  assert.equal(section(result, 'table:dup').counts.same, 1);
  assert.equal(section(result, 'table:dup#2').onlyA, true);
  assert.deepEqual(diffReports('x', 5, {}).totals.diff, 0);
});

test('a literal key shaped like a numbered repeat loses no record', () => {
  const sig = (name) => ({ key: 'k', name, v: name, q: 1 });
  const report = { schema: 'vorq.snapshot/1', signals: [sig('n'), sig('n'), sig('n#2')],
    tables: [{ id: 't', columns: ['K'], rows: [{ c: ['a'] }, { c: ['a'] }, { c: ['a\u0001#2'] }] },
      { id: 'cols', columns: ['K', 'x', 'x', 'x\u0001#2'], rows: [{ c: ['k', '1', '2', '3'] }] }] };
  const b = clone(report);
  b.tables[1].rows[0].c[3] = '4';
  const result = diffReports(report, b, { ignoreVolatile: true });
  assert.deepEqual(section(result, 'signals').counts.same, 3);
  assert.deepEqual(section(result, 'table:t').counts.same, 3);
  assert.deepEqual(section(result, 'table:cols').rows[0].cells.map((c) => c.status), ['same', 'same', 'same', 'diff']);
  assert.equal(new Set(tableRowKeys(report.tables[0], null).ka).size, 3);
});
