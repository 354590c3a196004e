'use strict';
// The device-matching core on its own, without a browser.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const core = require('../../ui/js/compare_core.js');
const { NO_EXE } = require('./harness');
const { winePairs } = require('./wine-pairs');

const { jaccard, compareSnaps, decision, verdict, MIN_UNIT_WEIGHT, indexSnap, systemDiskLabel, simulateSnapshot } = core;

const fixture = (name) => JSON.parse(fs.readFileSync(path.join(__dirname, 'fixtures', name), 'utf8'));

function sig(key, group, fields) {
  return { key, name: key, group, scope: 'per-unit', w: 10, sens: false, q: 1, ...fields };
}
function report(signals, extra) {
  return { schema: 'vorq.snapshot/1', hmacKeyId: 'K1', signals, tables: [], ...extra };
}
const group = (result, id) => result.groups.find((g) => g.id === id);
const row = (result, key) => result.rows.find((r) => r.key === key);

test('jaccard', () => {
  for (const [a, b, want] of [[[], [], 0], [['x'], ['x'], 1], [['x', 'y'], ['x'], 0.5], [['x'], ['y'], 0], [['a', 'b', 'c'], ['b', 'c', 'd'], 0.5]]) {
    assert.equal(jaccard(new Set(a), new Set(b)), want, JSON.stringify([a, b]));
  }
});

test('decision thresholds', () => {
  for (const [score, title] of [[100, 'Same device'], [85, 'Same device'], [84.9, 'Probable same device'], [65, 'Probable same device'],
    [64, 'Needs verification'], [45, 'Needs verification'], [44.9, 'Different device'], [0, 'Different device']]) {
    assert.equal(decision(score)[0], title, String(score));
  }
});

test('a report compared with itself is the same device', () => {
  for (const name of ['report-ui.json', 'report-safe.json']) {
    const r = fixture(name);
    const result = compareSnaps(r, r);
    assert.equal(result.score, 100, name);
    assert.equal(decision(result.score)[0], 'Same device');
    assert.ok(result.rows.every((x) => ['same', 'n/a'].includes(x.status)), name);
  }
});

test('identifier similarity, placeholders and HMAC keys', () => {
  const cases = [
    {
      name: '{X, Y} against {X} is partial at 0.5',
      a: report([sig('nic', 'network', { v: 'X' }), sig('nic', 'network', { v: 'Y' })]),
      b: report([sig('nic', 'network', { v: 'X' })]),
      key: 'nic@network', status: 'partial', sim: 0.5, score: 50,
    },
    {
      name: 'a cluster of placeholders only is left out of the score',
      a: report([sig('board', 'mainboard', { v: 'Default string', q: 0 }), sig('disk', 'storage', { v: 'S1' })]),
      b: report([sig('board', 'mainboard', { v: 'To be filled', q: 0 }), sig('disk', 'storage', { v: 'S1' })]),
      key: 'board@mainboard', status: 'n/a', sim: null, score: 100, notComparable: 'mainboard',
    },
    {
      name: 'the same key compares tags',
      a: report([sig('uuid', 'mainboard', { h: 'AA' })]),
      b: report([sig('uuid', 'mainboard', { h: 'AA' })]),
      key: 'uuid@mainboard', status: 'same', sim: 1, mode: 'hmac', score: 100,
    },
    {
      name: 'different keys skip tags and compare clear-text values',
      a: report([sig('uuid', 'mainboard', { h: 'AA' }), sig('cpu', 'cpu', { v: 'i7', h: 'C1' })]),
      b: report([sig('uuid', 'mainboard', { h: 'AA' }), sig('cpu', 'cpu', { v: 'i7', h: 'C2' })], { hmacKeyId: 'K2' }),
      key: 'uuid@mainboard', status: 'n/a', sim: null, score: 100, notComparable: 'mainboard',
    },
    {
      name: 'an identifier only in B',
      a: report([sig('disk', 'storage', { v: 'S1' })]),
      b: report([sig('disk', 'storage', { v: 'S1' }), sig('gpu', 'gpu', { v: 'G' })]),
      key: 'gpu@gpu', status: 'only B', sim: null, score: 100,
    },
  ];
  for (const c of cases) {
    const result = compareSnaps(c.a, c.b);
    const r = row(result, c.key);
    assert.equal(r.status, c.status, c.name);
    assert.equal(r.sim, c.sim, c.name);
    if (c.mode) assert.equal(r.mode, c.mode, c.name);
    assert.equal(result.score, c.score, c.name);
    if (c.notComparable) assert.equal(group(result, c.notComparable).n, 0, c.name);
  }
  assert.equal(compareSnaps(cases[3].a, cases[3].b).sameKey, false);
  assert.equal(row(compareSnaps(cases[3].a, cases[3].b), 'cpu@cpu').mode, 'value');
});

test('untrusted shapes index without throwing', () => {
  const odd = { signals: [null, 5, 'x', { key: '' }, { key: { a: 1 }, v: 'v' }, { key: 'k', w: '12', q: '1', v: { x: 1 }, h: 7 }, { key: '__proto__', q: 1, v: 'p' }] };
  const index = indexSnap(odd);
  assert.deepEqual([...index.keys()], ['k', '__proto__']);
  assert.equal(index.get('k').w, 12);
  assert.deepEqual(compareSnaps(odd, 'not a report').score, 0);
  assert.deepEqual(compareSnaps(null, undefined), { score: 0, groups: compareSnaps({}, {}).groups, rows: [], sameKey: false, unitWeight: 0,
    decided: false, reason: 'none', coreCompared: false, coreDiffer: [] });
});

const DISKS = { tab: 'storage', id: 'storage.disks', columns: ['Disk', 'Serial', 'Model', 'Bus', 'Size', 'Media', 'Firmware', 'Partitions', 'Style', 'Role'],
  rows: [{ c: ['Disk 1', 'S2', 'Data', '', '', '', '', '', '', 'data'] }, { c: ['Disk 0', 'S1', 'Boot', '', '', '', '', '', '', 'system disk, boot'] }] };

test('the system disk label', () => {
  assert.equal(systemDiskLabel({ tables: [DISKS] }), 'Disk 0');
  assert.equal(systemDiskLabel({ tables: [{ ...DISKS, rows: [DISKS.rows[0]] }] }), null);
  assert.equal(systemDiskLabel({ tables: [null, { id: 'storage.disks', rows: [null, { c: 'abc' }] }] }), null);
});

test('simulations change the signals they name; the TPM-bound key stays only on an upgrade', () => {
  const base = report([
    sig('tpm.ek', 'anchor', { v: 'EK', h: '0ABC' }),
    sig('tpm.app_key', 'anchor', { v: 'APPKEY' }),
    sig('smbios.uuid', 'mainboard', { v: 'U1', h: 'X0' }),
    sig('disk.0', 'storage', { name: 'Disk 0 serial', v: 'S1' }),
    sig('disk.1', 'storage', { name: 'Disk 1 serial', v: 'S2' }),
    // A safe report masks a model in the name in place: the disk is still named.
    sig('disk.0m', 'storage', { name: 'Disk 0 serial (hmac:A8A06841EFB01B9D4789F3D7)', h: '5E' }),
    sig('os.id', 'os', { v: 'OS', scope: 'per-install' }),
    sig('gpu', 'gpu', { v: 'G1' }),
    sig('ram', 'memory', { v: 'M1', scope: 'per-model' }),
    sig('cpu', 'cpu', { v: 'C1', scope: 'per-model' }),
  ], { tables: [DISKS], _current: true });
  const changed = (sim) => sim.signals.filter((s) => !base.signals.some((b) => b.key === s.key && b.v === s.v && b.h === s.h)).map((s) => s.key);
  const cases = [
    ['reinstall', ['os.id'], false, 'Clean Windows reinstall'],
    ['ssd', ['disk.0', 'disk.0m', 'os.id'], false, 'System SSD replaced'],
    ['upgrade', ['gpu'], true, 'RAM + GPU upgrade'],
    ['board', ['tpm.ek', 'smbios.uuid'], false, 'Mainboard replaced'],
    ['clone', ['tpm.ek', 'smbios.uuid', 'disk.0', 'disk.1', 'disk.0m', 'os.id', 'gpu'], false, 'Another PC, same model'],
    ['no-such-kind', [], false, 'Clean Windows reinstall'],
  ];
  for (const [kind, keys, keepsAppKey, label] of cases) {
    const sim = simulateSnapshot(base, kind);
    assert.deepEqual(changed(sim).sort(), keys.sort(), kind);
    assert.equal(sim.signals.some((s) => s.key === 'tpm.app_key'), keepsAppKey, kind);
    assert.deepEqual([sim.mode, sim._file, sim._current], ['simulated', 'simulated: ' + label, false], kind);
  }
  assert.equal(base.signals.length, 10, 'the report itself is left unchanged');
  const board = simulateSnapshot(base, 'board').signals.find((s) => s.key === 'tpm.ek');
  assert.deepEqual([board.v, board.h], ['sim~KE', '0BA0']);
  assert.equal(simulateSnapshot(base, 'board').signals.find((s) => s.key === 'smbios.uuid').h, '1X');
});

test('against the unmodified report: a clone loses its per-unit clusters, a reinstall at most the os share', () => {
  const r = fixture('report-ui.json');
  const clone = compareSnaps(r, simulateSnapshot(r, 'clone'));
  for (const g of clone.groups) {
    const onlyUnits = r.signals.filter((s) => s.group === g.id && s.q > 0).every((s) => s.scope === 'per-unit' || s.scope === 'per-install');
    if (g.n > 0 && onlyUnits) assert.equal(g.score, 0, g.id);
  }
  const reinstall = compareSnaps(r, simulateSnapshot(r, 'reinstall'));
  const os = group(reinstall, 'os');
  const shared = reinstall.groups.filter((g) => g.n > 0).reduce((a, g) => a + g.weight, 0);
  assert.ok(reinstall.score >= 100 - (100 * (os.n ? os.weight : 0)) / shared - 1e-9);
  assert.ok(reinstall.groups.filter((g) => g.id !== 'os' && g.id !== 'anchor').every((g) => g.n === 0 || g.score === 1));
});

test('empty values are never compared; a cluster of them neither matches nor differs', () => {
  const cases = [
    ['empty on both sides', { v: '' }, { v: '' }],
    ['blank on both sides', { v: ' ' }, { v: '  ' }],
    ['empty against a value', { v: '' }, { v: 'S1' }],
    ['empty with a tag against a tag', { v: '', h: 'AA' }, { h: 'AA' }],
    ['a privacy-safe report leaves an empty value out', { v: '' }, {}],
  ];
  for (const [name, fa, fb] of cases) {
    const a = report([sig('board', 'mainboard', { scope: 'per-model', ...fa })]);
    const b = report([sig('board', 'mainboard', { scope: 'per-model', ...fb })]);
    const result = compareSnaps(a, b);
    assert.deepEqual([row(result, 'board@mainboard').status, row(result, 'board@mainboard').sim], ['n/a', null], name);
    assert.deepEqual([group(result, 'mainboard').n, group(result, 'mainboard').same], [0, 0], name);
    assert.equal(verdict(result).decided, false, name);
  }
});

test('a verdict needs a core anchor and per-unit or per-install identifiers compared in a fifth of the weight', () => {
  const install = (key, group) => sig(key, group, { scope: 'per-install' });
  const cases = [
    // [name, signals of both reports, B's key, decided, reason, title]
    ['the mainboard alone', [sig('uuid', 'mainboard', { v: 'U' })], 'K1', true, '', 'Same device'],
    ['the TPM alone', [sig('ek', 'anchor', { v: 'E' })], 'K1', true, '', 'Same device'],
    ['storage and Windows installation together', [sig('disk', 'storage', { v: 'D' }), sig('guid', 'os', { v: 'G', scope: 'per-install' })], 'K1', true, '', 'Same device'],
    ['storage alone', [sig('disk', 'storage', { v: 'D' })], 'K1', false, 'weight', 'Not enough compared to decide'],
    ['network adapters alone', [sig('mac', 'network', { v: 'M' })], 'K1', false, 'core', 'Not enough compared to decide'],
    // A cloned disk image keeps the installation's identifiers; the copied
    // network and GPU values reach the weight without a core anchor.
    ['a clone: network, Windows installation and GPU only', [sig('mac', 'network', { v: 'M' }), { ...install('guid', 'os'), v: 'G' },
      { ...install('vid', 'gpu'), v: 'V' }, { ...install('duid', 'os'), v: 'D' }], 'K1', false, 'core', 'Not enough compared to decide'],
    ['per-model values only', [sig('cpu', 'cpu', { v: 'i7', scope: 'per-model' }), sig('gpu', 'gpu', { v: 'G', scope: 'per-model' })], 'K1', false, 'none',
      'Not enough compared to decide'],
    ['tags under two keys', [sig('uuid', 'mainboard', { h: 'AA' }), sig('cpu', 'cpu', { v: 'i7', scope: 'per-model' })], 'K2', false, 'keys',
      'Not enough compared to decide'],
  ];
  for (const [name, signals, keyB, decided, reason, title] of cases) {
    const result = compareSnaps(report(signals), report(signals, { hmacKeyId: keyB }));
    const v = verdict(result);
    assert.deepEqual([result.decided, result.reason, v.title], [decided, reason, title], name);
    assert.equal(v.todo !== '', !decided, name);
  }
});

test('"Different device" names the core anchors that were compared and differ, and only those', () => {
  const both = (same, changed) => [report([...same, ...changed].map((s) => ({ ...s, v: s.v || 'A' }))),
    report([...same, ...changed.map((s) => ({ ...s, v: 'B' }))])];
  const cases = [
    // [name, identifiers equal in both, identifiers that change, names, text]
    ['only the mainboard compared, and changed', [], [sig('uuid', 'mainboard', {})], ['mainboard'], 'Core anchors that do not match: {x1}.'],
    ['the TPM changed, storage compared and equal', [sig('disk', 'storage', { v: 'D' })], [sig('ek', 'anchor', {})], ['anchor'], 'Core anchors that do not match: {x1}.'],
    ['TPM and storage changed', [], [sig('ek', 'anchor', {}), sig('disk', 'storage', {})], ['anchor', 'storage'], 'Core anchors that do not match: {x1}.'],
    ['the mainboard equal, every other cluster changed', [sig('uuid', 'mainboard', { v: 'U' })],
      [sig('mac', 'network', {}), sig('guid', 'os', {}), sig('vid', 'gpu', {}), sig('fw', 'firmware', {}), sig('cpu', 'cpu', {})], [],
      'The core anchors compared match; most other identifiers differ.'],
  ];
  for (const [name, same, changed, names, text] of cases) {
    const result = compareSnaps(...both(same, changed));
    const v = verdict(result);
    assert.deepEqual([v.title, v.names, v.desc], ['Different device', names, text], name);
  }
});

test('an identifier of several named values is compared value by value', () => {
  const volumes = (c, z) => report([sig('volume.serial', 'os', { name: 'Volume serial C:\\', v: c, scope: 'per-install', w: 3 }),
    sig('volume.serial', 'os', { name: 'Volume serial Z:\\', v: z, scope: 'per-install', w: 3 }), sig('uuid', 'mainboard', { v: 'U' })]);
  // A second volume changed: its own row changes, the first stays the same.
  const result = compareSnaps(volumes('C1', 'Z1'), volumes('C1', 'Z2'));
  const rows = result.rows.filter((r) => r.key === 'volume.serial@os').map((r) => [r.name, r.status, r.a.disp.length, r.b.disp.length]);
  assert.deepEqual(rows, [['Volume serial C:\\', 'same', 1, 1], ['Volume serial Z:\\', 'changed', 1, 1]]);
  assert.deepEqual([group(result, 'os').n, group(result, 'os').same, group(result, 'os').score], [2, 1, 0.5]);
  // A volume only in B is its own row; the named values of A still compare.
  const added = compareSnaps(report([sig('volume.serial', 'os', { name: 'Volume serial C:\\', v: 'C1', scope: 'per-install' })]), volumes('C1', 'Z1'));
  assert.deepEqual(added.rows.filter((r) => r.key === 'volume.serial@os').map((r) => [r.name, r.status]),
    [['Volume serial C:\\', 'same'], ['Volume serial Z:\\', 'only B']]);
});

test('weights from a file are clamped to 0..100', () => {
  const cases = [
    // [name, weight of the equal identifier, weight of the changed one, mainboard score]
    ['huge weights', 1e308, 1e308, 0.5],
    ['one above the range', 1e6, 100, 0.5],
    ['a negative weight counts as none', 10, -5, 1],
    ['not a number', 10, 'x', 1],
  ];
  for (const [name, wSame, wChanged, score] of cases) {
    const a = report([sig('uuid', 'mainboard', { v: 'U', w: wSame }), sig('serial', 'mainboard', { v: 'S1', w: wChanged })]);
    const b = report([sig('uuid', 'mainboard', { v: 'U', w: wSame }), sig('serial', 'mainboard', { v: 'S2', w: wChanged })]);
    const result = compareSnaps(a, b);
    assert.equal(group(result, 'mainboard').score, score, name);
    assert.ok(result.rows.every((r) => r.w >= 0 && r.w <= 100), name);
  }
});

// Reports the program writes under Wine, in pairs (see wine-pairs.js).
test('report pairs: the verdict, and only what holds a value on both sides compared', { skip: NO_EXE }, () => {
  const { pairs } = winePairs();
  const want = {
    twice: [true, '', 'Same device'],
    'raw-safe': [true, '', 'Same device'],
    'two-keys': [false, 'keys', 'Not enough compared to decide'],
    'installs-raw': [true, '', 'Same device'],
    'installs-safe': [false, 'keys', 'Not enough compared to decide'],
    fixture: [false, 'core', 'Not enough compared to decide'],
    emptied: [false, 'none', 'Not enough compared to decide'],
  };
  assert.deepEqual(pairs.map((p) => p.id), Object.keys(want));
  const blankOnly = (e) => e.disp.every((s) => ('v' in s ? String(s.v).trim() === '' : !s.h));
  for (const p of pairs) {
    const result = compareSnaps(p.a, p.b);
    const v = verdict(result);
    assert.deepEqual([result.decided, result.reason, v.title], want[p.id], p.name);
    assert.equal(result.decided, result.coreCompared && result.unitWeight >= MIN_UNIT_WEIGHT - 1e-9, p.name);
    if (result.decided) assert.deepEqual([v.title, v.colour], [decision(result.score)[0], decision(result.score)[2]], p.name);
    else assert.ok(v.todo, p.name);
    for (const r of result.rows) {
      if (r.a && r.b && (blankOnly(r.a) || blankOnly(r.b))) assert.equal(r.sim, null, p.name + ': ' + r.key);
    }
    for (const g of result.groups) assert.equal(g.n === 0, g.wsum === 0 && g.same === 0, p.name + ': ' + g.id);
  }
  // Empty SMBIOS names of the installation are not a match.
  const rawSafe = compareSnaps(pairs[1].a, pairs[1].b);
  const blanks = pairs[1].a.signals.filter((s) => s.group === 'mainboard' && s.v !== undefined && s.v.trim() === '');
  assert.ok(blanks.length >= 3, 'the raw report has empty mainboard values');
  for (const s of blanks) assert.equal(row(rawSafe, s.key + '@mainboard').status, 'n/a', s.key);
  // Two installations on one host: the hardware is shared, the installation is not.
  const installs = compareSnaps(pairs[3].a, pairs[3].b);
  assert.ok(group(installs, 'os').score < 1 && group(installs, 'mainboard').score === 1);
});
