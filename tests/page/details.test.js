'use strict';
// Small things a user notices: the Raw JSON card gives the report file's
// size, each catalog button counts what its card lists, the filter box shows
// only where it filters, and Compare and Report diff start alike.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { Harness, fixture, wineReport, loadReport, hostSend, NO_EXE } = require('./harness');

const h = new Harness();
let raw = null;
let rawBytes = 0;
before(async () => {
  await h.start();
  if (!NO_EXE) {
    raw = wineReport('details-raw', '--export-raw');
    rawBytes = fs.statSync(path.join(__dirname, '..', '..', 'build', 'page-test', 'details-raw.json')).size;
  }
});
after(() => h.stop());

test('Raw JSON gives the size of the report file, not of the indented text', { skip: NO_EXE }, async () => {
  const page = await h.open();
  await loadReport(page, raw);
  for (const reveal of [false, true]) {
    await page.evaluate((r) => { state.reveal = r; showTab('json'); }, reveal);
    assert.equal(await page.textContent('#view .card .meta'), Math.round(rawBytes / 1024) + ' KB');
  }
  // The indented text is much longer: the size is not taken from it.
  assert.ok(await page.evaluate(() => reportJsonText(state.snap).length) > rawBytes * 1.3);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('each catalog button names its card and counts its rows', { skip: NO_EXE }, async () => {
  const page = await h.open();
  await loadReport(page, raw);
  for (const lang of ['en', 'de']) {
    await page.evaluate((l) => { setLang(l); showTab('vm'); }, lang);
    const buttons = await page.$$eval('.catalog-link [data-act="goto"]', (bs) => bs.map((b) => {
      const card = document.getElementById(b.dataset.target);
      return [b.textContent, card.querySelector('h3').textContent + ' · ' + card.querySelector('.meta').textContent.match(/[\d.,\s\u00a0\u202f]+$/)[0].trim()];
    }));
    const catalogs = raw.tables.filter((t) => t.id.startsWith('vm.catalog.'));
    assert.equal(buttons.length, catalogs.length, lang);
    assert.ok(buttons.length > 1, 'the report has more than one catalog');
    for (const [label, card] of buttons) assert.equal(label, card, lang);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('the filter box shows only on views it filters; Ctrl+F does not reach it elsewhere', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  const tabs = await page.evaluate(() => TAB_IDS.slice());
  for (const tab of tabs) {
    await page.evaluate((t) => showTab(t), tab);
    const shown = await page.evaluate(() => getComputedStyle(document.getElementById('search')).visibility === 'visible');
    assert.equal(shown, !['overview', 'json', 'about'].includes(tab), tab);
  }
  await page.evaluate(() => showTab('about'));
  await page.keyboard.press('Control+f');
  assert.notEqual(await page.evaluate(() => document.activeElement.id), 'search');
  await page.evaluate(() => showTab('storage'));
  await page.keyboard.press('Control+f');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'search');
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Compare and Report diff both start with the current scan in slot A and follow a new scan', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  const slots = async (tab) => {
    await page.evaluate((t) => showTab(t), tab);
    return page.$$eval('#view .slot .slot-title', (e) => e.map((x) => x.textContent));
  };
  const title = await page.evaluate(() => tx(state.snap.device.title));
  assert.deepEqual(await slots('compare'), [title, 'Empty']);
  assert.deepEqual(await slots('diff'), [title, 'Empty']);
  assert.equal(await page.evaluate(() => state.cmp.A === state.snap && state.diff.A === state.snap), true);
  // A new scan takes slot A in both; a file loaded there stays.
  await loadReport(page, fixture('report-safe.json'));
  assert.equal(await page.evaluate(() => state.cmp.A === state.snap && state.diff.A === state.snap), true);
  await hostSend(page, { type: 'file', slot: 'DA', name: 'a.json', text: JSON.stringify(fixture('report-ui.json')) });
  await loadReport(page, fixture('report-ui.json'));
  assert.equal(await page.evaluate(() => state.diff.A._file), 'a.json');
  assert.equal(await page.evaluate(() => state.cmp.A === state.snap), true);
  assert.deepEqual(page.errors, []);
  await page.close();
});
