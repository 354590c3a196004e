'use strict';
// Reports written by the program itself under Wine: every tab must render
// them, and the screenshots in build/page-screenshots let a person look.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { Harness, sent, hostSend, loadReport, ROOT } = require('./harness');

const EXE = path.join(ROOT, 'build', 'win', 'VornixQuelm.exe');
const OUT = path.join(ROOT, 'build', 'page-screenshots');
const TAB_IDS = ['overview', 'vm', 'signals', 'compare', 'diff', 'cpu', 'firmware', 'storage', 'network', 'display', 'devices',
  'tpm', 'platform', 'microsoft', 'drivers', 'windows', 'json', 'about'];

const h = new Harness();
const reports = {};
before(async () => {
  if (!fs.existsSync(EXE)) return;
  fs.mkdirSync(OUT, { recursive: true });
  for (const [mode, option] of [['raw', '--export-raw'], ['safe', '--export']]) {
    const file = `report-${mode}.json`;
    fs.rmSync(path.join(OUT, file), { force: true });
    execFileSync(path.join(ROOT, 'scripts', 'wine-run'), [EXE, option, file], { cwd: OUT, stdio: 'ignore', timeout: 600000 });
    reports[mode] = JSON.parse(fs.readFileSync(path.join(OUT, file), 'utf8'));
  }
  await h.start();
});
after(() => h.stop());

const skip = fs.existsSync(EXE) ? false : 'the Windows build is missing (make build-win)';

test('a raw report of this machine renders in every tab; screenshots', { skip }, async () => {
  const page = await h.open({ viewport: { width: 1500, height: 1000 } });
  await loadReport(page, reports.raw);
  assert.deepEqual(await sent(page), ['ready', 'rendered']);
  for (const id of TAB_IDS) {
    await page.evaluate((i) => showTab(i), id);
    assert.equal(await page.isVisible('#banner') && /error/i.test(await page.textContent('#banner')), false, id);
    if (['overview', 'vm', 'signals'].includes(id)) await page.screenshot({ path: path.join(OUT, `${id}.png`) });
  }
  assert.deepEqual(page.errors, []);
  // Sensitive values of the report stay off the screen until shown.
  const secret = reports.raw.signals.find((s) => s.sens && s.v);
  if (secret) {
    await page.evaluate(() => showTab('signals'));
    assert.equal((await page.textContent('#view')).includes(secret.v), false);
  }
  await page.close();
});

test('a privacy-safe report of this machine shows pseudonym tags', { skip }, async () => {
  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, reports.safe);
  await page.click('.nav-btn[data-id="signals"]');
  await page.click('#reveal-btn');
  const tagged = reports.safe.signals.filter((s) => s.sens && s.h);
  const text = await page.textContent('#view');
  for (const s of tagged) assert.ok(text.includes('h:' + s.h), s.key);
  for (const id of TAB_IDS) await page.evaluate((i) => showTab(i), id);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('two reports of this machine in Compare and Report diff', { skip }, async () => {
  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, reports.raw);
  await hostSend(page, { type: 'file', slot: 'B', name: 'report-safe.json', text: JSON.stringify(reports.safe) });
  await page.evaluate(() => showTab('compare'));
  // One machine, one key: the tags match even though one report is raw.
  assert.match(await page.textContent('.decision'), /Same device/);
  assert.match(await page.textContent('.decision'), /same HMAC key/);
  await page.screenshot({ path: path.join(OUT, 'compare.png') });
  await page.click('[data-act="cmp-open-diff"]');
  assert.equal(await page.evaluate(() => state.tab), 'diff');
  const stats = await page.$$eval('.diff-stats .stat-num', (els) => els.map((e) => Number(e.textContent.replace(/,/g, ''))));
  assert.ok(stats[0] > 100, 'fields compared');
  await page.screenshot({ path: path.join(OUT, 'diff.png') });
  await page.uncheck('[data-opt="diff-only"]');
  await page.click('#reveal-btn');
  assert.equal(await page.isVisible('#banner') && /error/i.test(await page.textContent('#banner')), false);
  assert.deepEqual(page.errors, []);
  await page.close();
});
