'use strict';
// The Compare snapshots and Report diff tabs in the browser.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, fixture, sent, hostSend, loadReport } = require('./harness');

const h = new Harness();
before(() => h.start());
after(() => h.stop());

const fileMessage = (slot, name, report) => ({ type: 'file', slot, name, text: typeof report === 'string' ? report : JSON.stringify(report) });
const texts = (page, sel) => page.$$eval(sel, (els) => els.map((e) => e.textContent));

test('Compare: current scan in A, a simulation in B, the decision and the way to the diff', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await page.click('.nav-btn[data-id="compare"]');
  assert.match(await page.textContent('#view'), /Take a privacy-safe report/);
  assert.match(await page.textContent('.slot >> nth=1'), /EmptyLoad a report file or use the current scan/);
  await page.click('[data-act="cmp-sim"][data-sim="reinstall"]');
  assert.match(await page.textContent('.sim-note'), /Report B is simulated from the current scan \(Clean Windows reinstall\)/);
  assert.equal(await page.getAttribute('[data-sim="reinstall"]', 'class'), 'chip on');
  assert.match(await page.textContent('.decision'), /Same device|Probable same device/);
  assert.match(await page.textContent('.decision'), /Both reports use the same HMAC key/);
  const clusters = await texts(page, '.card:has(h3:text-is("Identity clusters")) tbody tr');
  assert.equal(clusters.length, 9);
  // Differences only: every shown row changed; the sensitive value stays masked.
  const diffRows = await texts(page, '.card:has(h3:text-is("Signal diff")) tbody tr');
  assert.ok(diffRows.length > 0 && diffRows.every((r) => !/\bsame$/.test(r)));
  assert.doesNotMatch(await page.textContent('#view'), /4C4C4544-0042/);
  await page.uncheck('[data-opt="cmp-only"]');
  assert.ok((await texts(page, '.card:has(h3:text-is("Signal diff")) tbody tr')).length > diffRows.length);
  assert.equal(await page.evaluate(() => state.cmp.onlyDiff), false);

  await page.click('[data-act="cmp-load"][data-slot="B"]');
  assert.equal((await sent(page)).at(-1), 'open:B|Open report file');
  await page.click('[data-act="cmp-open-diff"]');
  assert.equal(await page.evaluate(() => state.tab), 'diff');
  assert.equal(await page.getAttribute('.nav-btn.active', 'data-id'), 'diff');
  assert.equal(await page.evaluate(() => state.diff.A === state.cmp.A && state.diff.B === state.cmp.B), true);
  assert.match(await page.textContent('.slot >> nth=1'), / · simulated · key 3FA2C1D0 · Clean Windows reinstall/);
  assert.match(await page.textContent('#view'), /fields compared/);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Report diff: files into the slots, a refused file named in its slot, options, search and masks', async () => {
  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, fixture('report-ui.json'));
  await page.click('.nav-btn[data-id="diff"]');
  assert.match(await page.textContent('#view'), /Load a report into each slot/);
  await hostSend(page, fileMessage('DA', 'a.json', fixture('report-ui.json')));
  await hostSend(page, fileMessage('DB', 'other.json', '{"schema":"other/1"}'));
  assert.equal(await page.textContent('.slot >> nth=1 >> .slot-error'), 'Could not load other.json: not a VornixQuelm report');
  const b = fixture('report-ui.json');
  b.created = '2024-05-02T10:30:00Z';
  b.tables.find((t) => t.id === 'storage.disks').rows[0].c[2] = 'Samsung SSD 990';
  b.tables.push({ tab: 'display', id: 'display.extra', title: 'Extra', columns: ['Name', 'Value', 'More'], rows: [{ c: ['x', 'y', 'z'] }] });
  await hostSend(page, fileMessage('DB', 'b.json', b));
  assert.equal(await page.textContent('#toast'), 'Loaded b.json into report B');
  assert.equal(await page.$('.slot-error'), null);

  const stats = await texts(page, '.diff-stats .stat');
  assert.deepEqual(stats.slice(1), ['1differs', '0only in A', '1only in B', '2not comparable']);
  assert.equal(await page.textContent('.nav-btn[data-id="diff"] .nav-count'), '1');
  const chips = await texts(page, '.chips .chip');
  assert.deepEqual(chips, ['Disks1', 'Extra1']);
  // The changed model shows A over B, the serial column stays masked.
  const pair = await texts(page, '#view .card:has(h3:text-is("Disks")) tbody tr');
  assert.deepEqual(pair, ['A0●●●●●●●●●●Samsung SSD 980●●●●●●●●●●', 'B0●●●●●●●●●●Samsung SSD 990●●●●●●●●●●']);
  assert.equal(await page.getAttribute('#view .card:has(h3:text-is("Disks")) tbody tr >> nth=0 >> td >> nth=3', 'class'), 'd-diff');
  assert.match(await page.textContent('#view .card:has(h3:text-is("Extra"))'), /only in B/);
  // Differences only: the sections that do not differ keep no card, one line counts them.
  const sections = await page.evaluate(() => currentDiff().sections.length);
  assert.deepEqual(await texts(page, '#view .card:not(.slot) h3'), ['Disks', 'Extra']);
  assert.equal(await page.textContent('.diff-same'), (sections - 2) + ' sections without differences are hidden.');

  await page.uncheck('[data-opt="diff-volatile"]');
  assert.deepEqual((await texts(page, '.diff-stats .stat')).slice(1, 2), ['2differ']);
  await page.uncheck('[data-opt="diff-only"]');
  assert.equal(await page.$('.diff-same'), null);
  assert.equal((await page.$$('#view .card:not(.slot) h3')).length, sections);
  assert.ok((await texts(page, '#view .card:has(h3:text-is("Report")) tbody tr')).length === 8);
  await page.fill('#search', 'S4EWNX0R123456');
  await page.waitForFunction(() => state.q === 'S4EWNX0R123456');
  assert.match(await page.textContent('#view .card:has(h3:text-is("Disks"))'), /No rows match the filter\./);
  await page.click('#reveal-btn');
  assert.match(await page.textContent('#view .card:has(h3:text-is("Disks"))'), /S4EWNX0R123456/);

  await page.click('[data-act="diff-clear"][data-slot="B"]');
  assert.equal(await page.evaluate(() => state.diff.B), null);
  await page.click('[data-act="diff-use"][data-slot="B"]');
  assert.equal(await page.evaluate(() => state.diff.B === state.snap), true);
  await page.click('[data-act="pick"][data-slot="DA"]');
  assert.equal((await sent(page)).at(-1), 'open:DA|Open report file');
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('capture mode fills both tabs with demonstration reports', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await page.evaluate(() => showTab('compare', true));
  assert.match(await page.textContent('.sim-note'), /System SSD replaced/);
  await page.evaluate(() => showTab('diff', true));
  await page.waitForFunction(() => window.__sent.includes('shown:diff'));
  const view = await page.textContent('#view');
  assert.match(view, /added in B/);
  assert.match(view, /\(B\)/);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Report diff draws at most 500 rows per section and says so', async () => {
  const page = await h.open();
  const a = fixture('report-ui.json');
  a.tables.push({ tab: 'devices', id: 'devices', title: 'Devices', columns: ['Device', 'Driver', 'Version'],
    rows: Array.from({ length: 620 }, (_, i) => ({ c: ['Node ' + i, 'drv.sys', '1.' + i] })) });
  const b = JSON.parse(JSON.stringify(a));
  for (const row of b.tables.at(-1).rows) row.c[2] += '.1';
  await loadReport(page, a);
  await hostSend(page, fileMessage('DA', 'a.json', a));
  await hostSend(page, fileMessage('DB', 'b.json', b));
  await page.click('.nav-btn[data-id="diff"]');
  const card = '#view .card:has(h3:text-is("Devices"))';
  assert.match(await page.textContent(card), /Showing 500 of 620 rows; the search box narrows them down\./);
  assert.equal((await page.$$(card + ' tbody tr')).length, 1000);
  await page.fill('#search', 'Node 610');
  await page.waitForFunction(() => state.q === 'Node 610');
  assert.equal((await page.$$(card + ' tbody tr')).length, 2);
  await page.close();
});

test('Compare draws at most 500 rows of the signal diff and says so', async () => {
  const page = await h.open();
  const a = fixture('report-ui.json');
  await loadReport(page, a);
  const b = JSON.parse(JSON.stringify(a));
  for (let i = 0; i < 20000; i++) b.signals.push({ key: 'x.k' + i, name: 'Extra ' + i, group: 'storage', w: 1, q: 1, v: 'v' + i });
  await hostSend(page, fileMessage('B', 'b.json', b));
  await page.click('.nav-btn[data-id="compare"]');
  const card = '#view .card:has(h3:text-is("Signal diff"))';
  assert.match(await page.textContent(card), /Showing 500 of 20,?\d{3} rows; the search box narrows them down\./);
  assert.equal((await page.$$(card + ' tbody tr')).length, 500);
  await page.fill('#search', 'Extra 19999');
  await page.waitForFunction(() => state.q === 'Extra 19999');
  assert.equal((await page.$$(card + ' tbody tr')).length, 1);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Compare and Report diff show report values as the tables do: translated
// where the page has a translation, identifiers and hashes as written.
test('Compare and Report diff show values in the page language; identifiers stay as written', async () => {
  const cases = [
    ['x.topology', '1 socket / 8 cores / 8 threads', '1 Sockel / 8 Kerne / 8 Threads'],
    ['x.hv', 'Hypervisor reported; see VM Detection for guest classification', 'Hypervisor gemeldet; Gasteinstufung siehe VM-Erkennung'],
    ['x.os', 'Microsoft Windows 7  (build 7601.0)', 'Microsoft Windows 7  (Build 7601.0)'],
    ['x.chassis', 'Other', 'Andere'],
    ['x.hex', '0A1B2C3D4E5F6071', '0A1B2C3D4E5F6071'],
    ['x.serial', 'Other', 'Other'], // an identifier, revealed
  ];
  const a = fixture('report-ui.json');
  for (const [key, v] of cases) a.signals.push({ key, name: 'Processor', v, group: 'cpu', scope: 'per-model', w: 1, q: 1, sens: key === 'x.serial' });
  const b = JSON.parse(JSON.stringify(a));
  b.elevated = true;
  const page = await h.open({ init: { lang: 'de' }, acceptDialogs: true });
  await loadReport(page, a);
  await page.click('#reveal-btn');
  await hostSend(page, fileMessage('B', 'b.json', b));
  await page.evaluate(() => { state.cmp.onlyDiff = false; showTab('compare'); });
  const shown = await page.evaluate((keys) => keys.map((k) => {
    const row = [...document.querySelectorAll('#view tbody tr')].find((tr) => tr.querySelector('.sig-note') && tr.querySelector('.sig-note').textContent === k + '@cpu');
    return row ? row.querySelector('td.val').textContent : 'no row ' + k;
  }), cases.map((c) => c[0]));
  assert.deepEqual(shown, cases.map((c) => c[2]));
  await hostSend(page, fileMessage('DA', 'a.json', a));
  await hostSend(page, fileMessage('DB', 'b.json', b));
  await page.evaluate(() => showTab('diff'));
  assert.deepEqual(await texts(page, '#view .card:has(h3:text-is("Bericht")) tr.d-diff td.val'), ['falsch', 'wahr']);
  assert.deepEqual(page.errors, []);
  await page.close();
});
