'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, fixture, sent, hostSend, loadReport } = require('./harness');

const h = new Harness();
before(() => h.start());
after(() => h.stop());

const TAB_IDS = ['overview', 'vm', 'signals', 'compare', 'diff', 'cpu', 'firmware', 'storage', 'network', 'display', 'devices',
  'tpm', 'platform', 'microsoft', 'drivers', 'windows', 'json', 'about'];

// Markup and script in every text of a real-shaped report.
const EVIL = '<img src=x onerror="window.__pwned=1;chrome.webview.postMessage(\'elevate\')">"\'><script>window.__pwned=2</script>' +
  '<svg onload="window.__pwned=3"></svg>{n1}{x1}';
// The schema and the tab ids stay, so that every view gets its data; with
// `keep` the column titles stay too, so the VM cards find their cells.
function poison(v, keep = [], key = '') {
  if (['schema', 'tab'].concat(keep).includes(key)) return v;
  if (typeof v === 'string') return v + EVIL;
  if (Array.isArray(v)) return v.map((x) => poison(x, keep));
  if (v && typeof v === 'object') {
    const o = {};
    for (const k of Object.keys(v)) o[k] = poison(v[k], keep, k);
    return o;
  }
  return v;
}

// Wrong types in every member, at every level.
function wrongTypes(base) {
  const r = JSON.parse(JSON.stringify(base));
  r.version = { evil: EVIL }; r.created = 7; r.elevated = 'yes'; r.durationMs = 'slow'; r.device = [EVIL];
  r.scores = [null, 5, EVIL, { id: 'physical', title: ['x'], value: '99', verdict: null, items: { a: 1 } },
    { id: 1, items: [null, { label: {}, points: 'many', max: null, status: 9 }] }];
  r.checks = { length: 3 };
  r.signals = [null, 'x', { key: 1, name: { toString: EVIL }, v: { x: EVIL }, scope: null, w: '30', q: '1', sens: 'true' }, { name: EVIL, scope: EVIL, w: 1e308 }];
  r.tables = [null, { tab: 'vm', id: 'vm.tests.cpu', columns: 'Test ID', rows: [{ c: [EVIL, 1, null] }] },
    { tab: 'storage', id: {}, title: 5, columns: [EVIL, 3, null], sens: -1, groupCol: '0', rows: [null, { c: 'abc', s: 'x' }, { c: [EVIL, { a: 1 }, [EVIL]], s: 4294967295 }] },
    { tab: 'vm', id: 'vm.catalog.x', columns: ['Related checks'], sens: 0, groupCol: 99, rows: [{ c: ['a, ' + EVIL + ', "><b>'] }] }];
  r.collectors = [{ name: EVIL, ms: 'x', status: null, error: { e: 1 } }, 4];
  r.notes = [EVIL, 3, null, { n: EVIL }];
  return r;
}

async function assertInert(page) {
  assert.equal(await page.evaluate(() => window.__pwned), undefined);
  const bad = await page.evaluate(() => {
    const found = [];
    for (const el of document.querySelectorAll('*')) {
      if (['IMG', 'SCRIPT', 'IFRAME', 'OBJECT', 'EMBED', 'B'].includes(el.tagName) && !el.closest('head') && el.textContent !== undefined && el.tagName !== 'SCRIPT') found.push(el.tagName);
      for (const a of el.attributes) if (a.name.startsWith('on')) found.push(el.tagName + '@' + a.name);
    }
    return found;
  });
  assert.deepEqual(bad, []);
  assert.deepEqual(page.errors, []);
  assert.equal(await page.isVisible('#banner') && /error/i.test(await page.textContent('#banner')), false);
}

test('a hostile report renders as text in every tab, runs nothing and posts nothing', async () => {
  for (const [name, report] of [['markup', poison(fixture('report-ui.json'))], ['markup in cells', poison(fixture('report-ui.json'), ['columns'])],
    ['types', wrongTypes(fixture('report-ui.json'))],
    ['markup and types', poison(wrongTypes(fixture('report-ui.json')))]]) {
    const page = await h.open({ init: { lang: 'de' }, acceptDialogs: true });
    await loadReport(page, report);
    for (const id of TAB_IDS) {
      await page.click(`.nav-btn[data-id="${id}"]`);
      await assertInert(page);
    }
    await page.click('#reveal-btn');
    for (const id of TAB_IDS) {
      await page.click(`.nav-btn[data-id="${id}"]`);
      const filters = await page.isVisible('#search'); // hidden where there are no rows to filter
      if (filters) await page.fill('#search', 'img');
      await page.waitForTimeout(160);
      await assertInert(page);
      if (filters) await page.fill('#search', '');
    }
    assert.deepEqual(await sent(page), ['ready', 'rendered'], name);
    if (name === 'markup') assert.match(await page.textContent('#dev-title'), /<img src=x onerror=/);
    await page.close();
  }
});

test('hostile host messages and files stay text', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await hostSend(page, { type: 'status', level: '"><img src=x onerror=alert(1)>', text: EVIL });
  await assertInert(page);
  assert.equal(await page.getAttribute('#toast', 'class'), 'toast');
  await hostSend(page, { type: 'file', slot: 'A', name: EVIL, text: EVIL });
  await assertInert(page);
  assert.match(await page.textContent('#toast'), /^Could not load <img/);
  await hostSend(page, { type: 'file', slot: '__proto__', name: 'x', text: JSON.stringify(fixture('report-ui.json')) });
  await hostSend(page, { type: 'tpmkey', message: EVIL, exists: true, challengeOk: true, nonce: EVIL, signature: { a: 1 }, signMs: 'x', algorithm: EVIL });
  await page.click('.nav-btn[data-id="tpm"]');
  await hostSend(page, { type: 'progress', stage: EVIL, pct: 'x' });
  await hostSend(page, { type: 'snapshot', data: 'not an object' });
  await hostSend(page, 'just a string');
  await hostSend(page, null);
  await assertInert(page);
  assert.deepEqual(await sent(page), ['ready', 'rendered', 'rendered']);
  assert.equal(await page.evaluate(() => Object.prototype.polluted), undefined);
  await page.close();
});

test('hostile reports in Compare and Report diff stay text, and each slot survives the others', async () => {
  for (const [name, report] of [['markup', poison(fixture('report-ui.json'), ['columns'])], ['types', wrongTypes(fixture('report-ui.json'))],
    ['markup and types', poison(wrongTypes(fixture('report-ui.json')))]]) {
    const page = await h.open({ acceptDialogs: true });
    await loadReport(page, fixture('report-ui.json'));
    const text = JSON.stringify(report);
    for (const slot of ['B', 'DA', 'DB']) await hostSend(page, { type: 'file', slot, name: EVIL, text: slot === 'DA' ? JSON.stringify(fixture('report-ui.json')) : text });
    for (const reveal of [false, true]) {
      if (reveal) await page.click('#reveal-btn');
      await page.click('.nav-btn[data-id="compare"]');
      await assertInert(page);
      await page.uncheck('[data-opt="cmp-only"]');
      await assertInert(page);
      await page.click('.nav-btn[data-id="diff"]');
      await page.uncheck('[data-opt="diff-only"]');
      await assertInert(page);
      await page.check('[data-opt="diff-only"]');
      await page.evaluate(() => { state.cmp.onlyDiff = true; });
      // Both reports made it into the slots and into the statistics.
      assert.match(await page.textContent('.diff-stats'), /fields compared/, name);
    }
    await page.click('.nav-btn[data-id="compare"]');
    await page.click('[data-act="cmp-open-diff"]');
    await assertInert(page);
    assert.deepEqual((await sent(page)).filter((m) => m !== 'ready' && m !== 'rendered'), [], name);
    await page.close();
  }
});
