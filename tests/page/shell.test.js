'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, fixture, sent, hostSend, loadReport } = require('./harness');

const h = new Harness();
before(() => h.start());
after(() => h.stop());

const TAB_IDS = ['overview', 'vm', 'signals', 'compare', 'diff', 'cpu', 'firmware', 'storage', 'network', 'display', 'devices',
  'tpm', 'platform', 'microsoft', 'drivers', 'windows', 'json', 'about'];

test('start-up sends ready; a snapshot is answered by exactly one rendered', async () => {
  const page = await h.open();
  assert.deepEqual(await sent(page), ['ready']);
  assert.match(await page.textContent('#view'), /Collecting identifiers…/);
  await loadReport(page, fixture('report-ui.json'));
  await page.waitForTimeout(50);
  assert.deepEqual(await sent(page), ['ready', 'rendered']);
  assert.equal(await page.textContent('#dev-title'), 'Contoso Tower 7');
  assert.equal(await page.textContent('#version-line'), 'v1.4.0 · scan 12.3 s');
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('progress shows the stage, disables rescan, and F5 then does nothing', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  assert.equal(await page.isDisabled('#scan-btn'), false);
  await hostSend(page, { type: 'progress', stage: 'FPU', pct: 12 });
  assert.equal(await page.textContent('#progress-text'), 'Collecting: FPU…');
  assert.equal(await page.isVisible('#progress'), true);
  assert.equal(await page.isDisabled('#scan-btn'), true);
  await page.keyboard.press('F5');
  await hostSend(page, { type: 'progress', stage: 'Done', pct: 100 });
  assert.equal(await page.textContent('#progress-text'), 'Finishing…');
  assert.deepEqual(await sent(page), ['ready', 'rendered']);
  // After the scan, F5 asks for a new one once.
  await loadReport(page, fixture('report-ui.json'));
  await page.keyboard.press('F5');
  await page.keyboard.press('F5');
  assert.deepEqual(await sent(page), ['ready', 'rendered', 'rendered', 'scan']);
  await page.close();
});

test('a failed scan ends the scanning state, so rescan works again', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await hostSend(page, { type: 'progress', stage: 'Storage', pct: 30 });
  await hostSend(page, { type: 'status', level: 'bad', text: 'Export failed' });
  assert.equal(await page.isDisabled('#scan-btn'), true, 'another failure leaves the scan running');
  await hostSend(page, { type: 'status', level: 'bad', text: 'The scan failed: out of memory' });
  assert.equal(await page.isDisabled('#scan-btn'), true, 'the text alone does not end the scan');
  await hostSend(page, { type: 'status', level: 'bad', text: 'The scan failed: out of memory', scan: 'failed' });
  assert.equal(await page.isDisabled('#scan-btn'), false);
  assert.equal(await page.isVisible('#progress'), false);
  await page.keyboard.press('F5');
  assert.deepEqual(await sent(page), ['ready', 'rendered', 'scan']);
  await page.close();
});

test('a tab shown by the host is confirmed with shown:', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await page.evaluate(() => showTab('vm', true));
  await page.waitForFunction(() => window.__sent.length === 3);
  assert.deepEqual(await sent(page), ['ready', 'rendered', 'shown:vm']);
  assert.equal(await page.getAttribute('.nav-btn.active', 'data-id'), 'vm');
  await page.close();
});

test('every tab renders a report without a script error', async () => {
  for (const name of ['report-ui.json', 'report-safe.json']) {
    const page = await h.open();
    await loadReport(page, fixture(name));
    for (const id of TAB_IDS) {
      await page.click(`.nav-btn[data-id="${id}"]`);
      assert.equal(await page.getAttribute('.nav-btn.active', 'data-id'), id);
      assert.ok((await page.textContent('#view')).length > 0, id);
    }
    assert.equal(await page.textContent('#banner').then((t) => /error/i.test(t)), false);
    assert.deepEqual(page.errors, [], name);
    await page.close();
  }
});

test('header: empty device title, elevation banner and navigation counts', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-safe.json'));
  assert.equal(await page.textContent('#dev-title'), 'Windows PC');
  assert.equal(await page.isVisible('#banner'), false, 'elevated report has no banner');
  await loadReport(page, fixture('report-ui.json'));
  assert.match(await page.textContent('#banner span'), /^Standard user: some reads need administrator rights\.$/);
  assert.match(await page.getAttribute('#banner span', 'title'), /^Running as a standard user\./);
  await page.click('#banner [data-act="elevate"]');
  assert.equal((await sent(page)).at(-1), 'elevate');
  const count = (id) => page.textContent(`.nav-btn[data-id="${id}"] .nav-count`);
  assert.equal(await count('overview'), '1'); // one failed check, shown in the bad colour
  assert.equal(await page.getAttribute('.nav-btn[data-id="overview"] .nav-count', 'class'), 'nav-count count-bad');
  assert.equal(await count('vm'), '3'); // Detected with weight; the context row does not count
  assert.equal(await count('signals'), '8');
  assert.equal(await count('storage'), '2');
  assert.equal(await page.getAttribute('.nav-btn[data-id="drivers"] .nav-count', 'class'), 'nav-count count-bad');
  assert.equal(await page.$('.nav-btn[data-id="compare"] .nav-count'), null);
  await page.close();
});

test('menus and buttons send their commands', async () => {
  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, fixture('report-ui.json'));
  await page.click('#export-btn');
  assert.equal(await page.isVisible('#export-menu'), true);
  await page.click('[data-act="export-safe"]');
  assert.equal(await page.isVisible('#export-menu'), false);
  await page.click('#export-btn');
  await page.click('[data-act="export-raw"]');
  await page.click('#scan-btn');
  await page.click('#sidebar .site-btn >> nth=1');
  await page.click('.nav-btn[data-id="tpm"]');
  await page.click('[data-act="tpmkey"][data-op="delete"]');
  assert.deepEqual((await sent(page)).slice(2), [
    'export:safe|Export privacy-safe report',
    'export:raw|Export raw diagnostic report (contains identifiers)',
    'scan',
    'openurl:https://morvel-k7.example/',
    'tpmkey:delete',
  ]);
  assert.equal(page.dialogs.length, 2);
  assert.match(await page.textContent('#toast'), /^TPM: Delete key…$/);
  await page.close();
});

test('declined confirmations send nothing', async () => {
  const page = await h.open({ acceptDialogs: false });
  await loadReport(page, fixture('report-ui.json'));
  await page.click('#export-btn');
  await page.click('[data-act="export-raw"]');
  await page.click('#reveal-btn');
  await page.click('.nav-btn[data-id="tpm"]');
  await page.click('[data-act="tpmkey"][data-op="delete"]');
  assert.deepEqual(await sent(page), ['ready', 'rendered']);
  assert.equal(await page.textContent('#reveal-label'), 'Show identifiers');
  await page.close();
});

test('host status, key result and compare files', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await hostSend(page, { type: 'status', level: 'ok', text: 'Saved <b>x</b>' });
  assert.equal(await page.textContent('#toast'), 'Saved <b>x</b>');
  assert.equal(await page.getAttribute('#toast', 'class'), 'toast toast-ok');
  await hostSend(page, { type: 'file', slot: 'B', name: 'broken.json', text: '{"a": <img src=x>' });
  assert.match(await page.textContent('#toast'), /^Could not load broken\.json: /);
  assert.equal(await page.$('#toast img'), null);
  await hostSend(page, { type: 'file', slot: 'B', name: 'other.json', text: '{"schema":"other/1"}' });
  assert.equal(await page.textContent('#toast'), 'Could not load other.json: not a VornixQuelm report');
  await hostSend(page, { type: 'file', slot: 'B', name: 'good.json', text: JSON.stringify(fixture('report-safe.json')) });
  assert.equal(await page.textContent('#toast'), 'Loaded good.json into report B');
  assert.equal(await page.evaluate(() => state.cmp.B._file), 'good.json');
  assert.equal(await page.evaluate(() => state.cmp.A._current), true);

  await page.click('.nav-btn[data-id="tpm"]');
  await hostSend(page, { type: 'tpmkey', providerOk: true, exists: true, challengeOk: true, exportable: false, message: 'Challenge verified',
    algorithm: 'ECDSA_P256', publicKeyHash: 'AB12CD34AB12CD34AB12CD34AB12CD34', nonce: 'N'.repeat(64), signature: 'S'.repeat(128), signMs: 12.6 });
  assert.equal(await page.getAttribute('#toast', 'class'), 'toast toast-ok');
  const panel = await page.textContent('#view .card');
  assert.match(panel, /verified in 13 ms/);
  assert.match(panel, /\(hidden\)/);
  assert.match(panel, /N{32}\.\.\./);
  assert.doesNotMatch(panel, /AB12CD34/);
  await page.close();
});

test('keys: Ctrl+F focuses the search, typing filters, Escape clears', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await page.click('.nav-btn[data-id="storage"]');
  await page.keyboard.press('Control+f');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'search');
  await page.keyboard.type('WDC');
  await page.waitForFunction(() => state.q === 'WDC');
  assert.match(await page.textContent('#view'), /Shown: 1 of 2/);
  await page.keyboard.press('Escape');
  assert.equal(await page.inputValue('#search'), '');
  assert.match(await page.textContent('#view'), /Rows: 2/);
  await page.close();
});

test('without a host the page sends nothing and opens sites in a new tab', async () => {
  const context = await h.browser.newContext();
  await context.route(/\.example\//, (r) => r.fulfill({ body: 'site', contentType: 'text/plain' }));
  const page = await h.open({ host: false, context });
  assert.equal(await page.evaluate(() => window.__sent), undefined);
  assert.match(await page.textContent('#view'), /Collecting identifiers…/);
  const [popup] = await Promise.all([context.waitForEvent('page'), page.click('#sidebar .site-btn >> nth=0')]);
  await popup.waitForLoadState('domcontentloaded').catch(() => {});
  assert.equal(popup.url(), 'https://vornixquelm.example/');
  // Report diff's file picking opens the browser's chooser; Compare's does nothing here.
  const chooser = page.waitForEvent('filechooser', { timeout: 2000 });
  await page.evaluate(() => pickFile('DA'));
  await chooser;
  assert.deepEqual(page.errors, []);
  await context.close();
});

test('the page loads nothing from elsewhere and forbids inline handlers', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  const csp = await page.getAttribute('meta[http-equiv="Content-Security-Policy"]', 'content');
  assert.match(csp, /default-src 'none'/);
  assert.doesNotMatch(csp, /script-src[^;]*unsafe-inline/);
  await page.evaluate(() => {
    const d = document.createElement('div');
    d.innerHTML = '<img src="x" onerror="window.__ran=1"><iframe src="https://example.com/"></iframe>';
    document.body.appendChild(d);
    const s = document.createElement('script');
    s.textContent = 'window.__ran2 = 1';
    document.body.appendChild(s);
  });
  await page.waitForTimeout(200);
  assert.equal(await page.evaluate(() => window.__ran), undefined);
  assert.equal(await page.evaluate(() => window.__ran2), undefined);
  assert.ok((await page.evaluate(() => window.__cspViolations)).length >= 2);
  assert.deepEqual(h.strayRequests, []);
  await page.close();
});
