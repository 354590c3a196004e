'use strict';
// The page for keyboard and screen-reader users: axe-core over every tab in
// every language, the menu buttons, jumps and redraws by keyboard, and the
// words a screen reader hears, with the reports the program writes under Wine.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { Harness, wineReport, hostSend, loadReport, NO_EXE } = require('./harness');

const AXE = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
const TAB_IDS = ['overview', 'vm', 'signals', 'compare', 'diff', 'cpu', 'firmware', 'storage', 'network', 'display', 'devices',
  'tpm', 'platform', 'microsoft', 'drivers', 'windows', 'json', 'about'];

const h = new Harness();
const reports = {};
before(async () => {
  if (NO_EXE) return;
  reports.raw = wineReport('a11y-raw', '--export-raw');
  reports.safe = wineReport('a11y-safe', '--export');
  await h.start();
});
after(() => h.stop());

const skip = NO_EXE;
const file = (slot, name, report) => ({ type: 'file', slot, name, text: JSON.stringify(report) });

// The raw report as the scan, its privacy-safe report in the second slot of
// Compare and Report diff.
async function openWithReports(opts) {
  const page = await h.open({ acceptDialogs: true, ...opts });
  await loadReport(page, reports.raw);
  await hostSend(page, file('B', 'safe.json', reports.safe));
  await hostSend(page, file('DB', 'safe.json', reports.safe));
  return page;
}

// Every rule axe runs by default (WCAG 2.0 to 2.2 A and AA and its best
// practices); a violation is named by rule, tab, language and first nodes.
async function axeViolations(page, where) {
  const found = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] })).violations
    .map((v) => v.id + ' (' + v.nodes.length + '): ' + v.nodes.slice(0, 3).map((n) => n.target.join(' ') + ' ' + n.failureSummary).join(' | ')));
  return found.map((v) => where + ': ' + v);
}

test('axe-core finds no violation on any tab in any language', { skip, timeout: 900000 }, async () => {
  const page = await openWithReports();
  await page.evaluate(AXE);
  const codes = await page.evaluate(() => LANG_CODES.slice());
  const found = [];
  for (const code of codes) {
    await page.evaluate((c) => setLang(c), code);
    for (const id of TAB_IDS) {
      await page.evaluate((t) => showTab(t), id);
      found.push(...await axeViolations(page, code + ' ' + id));
    }
  }
  // The menus open, with identifiers shown.
  await page.click('#reveal-btn');
  for (const btn of ['#export-btn', '#lang-btn']) {
    await page.click(btn);
    found.push(...await axeViolations(page, btn + ' open'));
    await page.keyboard.press('Escape');
  }
  assert.deepEqual(found, []);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// What the keyboard and a screen reader meet: the focused element, the open
// menu and the state its button states.
function focusState() {
  const a = document.activeElement;
  const menu = ['export-menu', 'lang-menu'].find((id) => !document.getElementById(id).hidden) || '';
  return {
    focus: a ? (a.id ? '#' + a.id : a.className + ' ' + (a.dataset.act || a.dataset.opt || '') + ' ' + (a.dataset.code || a.dataset.id || a.dataset.v || '')).trim() : '',
    menu,
    expanded: ['export-btn', 'lang-btn'].map((id) => document.getElementById(id).getAttribute('aria-expanded')),
  };
}

test('menu buttons: Enter, Space and the arrows open, arrows move, Escape closes and gives the focus back', { skip, timeout: 120000 }, async () => {
  const page = await openWithReports();
  await page.evaluate(() => showTab('vm'));
  for (const [btn, menu, items] of [['#export-btn', 'export-menu', ['export-safe', 'export-raw']], ['#lang-btn', 'lang-menu', null]]) {
    const names = items || await page.$$eval('#lang-menu .menu-item', (els) => els.map((e) => e.dataset.code));
    const item = (i) => (items ? 'menu-item ' + names[i] : 'menu-item lang-item' + (names[i] === 'en' ? ' current' : '') + ' lang ' + names[i]);
    assert.deepEqual(await page.$eval(btn, (b) => [b.getAttribute('aria-haspopup'), b.getAttribute('aria-expanded')]), ['menu', 'false'], btn);
    // The items follow their button: one Tab from the button reaches what the menu holds.
    assert.equal(await page.$eval(btn, (b) => b.nextElementSibling.id), menu, btn);
    for (const [key, first] of [['Enter', 0], [' ', 0], ['ArrowDown', 0], ['ArrowUp', names.length - 1]]) {
      await page.focus(btn);
      await page.keyboard.press(key === ' ' ? 'Space' : key);
      let s = await page.evaluate(focusState);
      assert.deepEqual([s.menu, s.focus], [menu, item(first)], btn + ' ' + key);
      assert.ok(s.expanded.includes('true'), btn + ' ' + key);
      for (const [move, want] of [['ArrowDown', (first + 1) % names.length], ['ArrowUp', first], ['End', names.length - 1], ['Home', 0],
        ['ArrowUp', names.length - 1], ['ArrowDown', 0]]) {
        await page.keyboard.press(move);
        assert.equal((await page.evaluate(focusState)).focus, item(want), btn + ' ' + key + ' then ' + move);
      }
      await page.keyboard.press('Escape');
      s = await page.evaluate(focusState);
      assert.deepEqual([s.menu, s.focus, s.expanded], ['', btn, ['false', 'false']], btn + ' ' + key + ' then Escape');
    }
    // Tab leaves the menu closed.
    await page.focus(btn);
    await page.keyboard.press('Enter');
    await page.keyboard.press('Tab');
    assert.equal((await page.evaluate(focusState)).menu, '', btn + ' Tab');
  }
  // An item chosen by key: the language changes and the focus is back on the button.
  await page.focus('#lang-btn');
  await page.keyboard.press('Enter');
  const de = await page.$$eval('#lang-menu .menu-item', (els) => els.findIndex((e) => e.dataset.code === 'de'));
  for (let i = 0; i < de; i++) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  const s = await page.evaluate(focusState);
  assert.deepEqual([await page.evaluate(() => LANG), s.menu, s.focus], ['de', '', '#lang-btn']);
  assert.equal(await page.$eval('#lang-menu [data-code="de"]', (e) => e.getAttribute('aria-checked')), 'true');
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Where a jump landed: the focused element, whether it is a heading inside
// the target, and the target's distance from the top of the view.
function landing(target) {
  const el = document.getElementById(target);
  const a = document.activeElement;
  const top = document.getElementById('view').getBoundingClientRect().top;
  return { inTarget: !!el && el.contains(a), heading: !!a && a.matches('h2, h3, .vm-title'), offset: Math.round(el.getBoundingClientRect().top - top) };
}

test('a jump moves the focus to its target\'s heading, and the next Tab goes on from there', { skip, timeout: 300000 }, async () => {
  const page = await openWithReports({ viewport: { width: 944, height: 581 } });
  const cases = [];
  for (const tab of ['vm', 'diff']) {
    await page.evaluate((t) => showTab(t), tab);
    const all = await page.$$eval('#view [data-act="goto"]', (els) => els.map((e, i) => [i, e.dataset.target, !!e.closest('.vm-entry')]));
    // Every catalog button, finding and section chip; the first and last related check.
    const related = all.filter((c) => c[2]);
    cases.push(...all.filter((c) => !c[2] || c === related[0] || c === related[related.length - 1]).map((c) => [tab, c[0], c[1]]));
  }
  assert.ok(cases.length >= 5, 'jump controls found: ' + cases.length);
  for (const [tab, index, target] of cases) {
    await page.evaluate((t) => showTab(t), tab);
    await page.$$eval('#view [data-act="goto"]', (els, i) => els[i].focus(), index);
    await page.keyboard.press('Enter');
    const at = await page.evaluate(landing, target);
    const where = tab + ' → ' + target;
    assert.ok(at.inTarget && at.heading, where + ': focus ' + JSON.stringify(at));
    const view = await page.evaluate(() => [document.getElementById('view').scrollTop, document.getElementById('view').clientHeight]);
    await page.keyboard.press('Tab');
    const next = await page.evaluate(() => {
      const r = document.activeElement.getBoundingClientRect();
      const v = document.getElementById('view').getBoundingClientRect();
      return { scrollTop: document.getElementById('view').scrollTop, inView: r.bottom > v.top && r.top < v.bottom };
    });
    assert.ok(Math.abs(next.scrollTop - view[0]) < view[1] && next.inView, where + ': the next Tab went to ' + JSON.stringify(next));
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('a redraw keeps the focused control, or moves the focus to the view\'s heading; the open tab is aria-current', { skip, timeout: 300000 }, async () => {
  const page = await openWithReports();
  // [tab, control, key, focus after]: the same control unless named.
  const cases = [
    ['overview', '.nav-btn[data-id="signals"]', 'Enter'],
    ['signals', '.nav-btn[data-id="overview"]', 'Space'],
    ['signals', '[data-act="sigcat"] >> nth=1', 'Enter'],
    ['signals', '[data-act="sigcat"][data-v="All"]', 'Enter'],
    ['signals', '[data-act="sigscope"][data-v="per-install"]', 'Space'],
    ['compare', '[data-opt="cmp-only"]', 'Space'],
    ['compare', '[data-act="cmp-sim"][data-sim="ssd"]', 'Enter'],
    ['compare', '[data-act="cmp-use"][data-slot="B"]', 'Enter'],
    ['diff', '[data-opt="diff-only"]', 'Space'],
    ['diff', '[data-opt="diff-volatile"]', 'Space'],
    ['diff', '[data-act="diff-use"][data-slot="B"]', 'Enter'],
    // The button is gone (disabled) after it cleared its slot.
    ['diff', '[data-act="diff-clear"][data-slot="B"]', 'Enter', '#view h2'],
  ];
  for (const [tab, control, key, after] of cases) {
    await page.evaluate((t) => showTab(t), tab);
    const el = await page.$(control);
    const want = await el.evaluate((e) => e.outerHTML.replace(/ class="[^"]*"| checked=""| aria-current="page"| tabindex="-1"/g, '').slice(0, 80));
    await el.focus();
    await page.keyboard.press(key);
    const got = await page.evaluate(() => {
      const a = document.activeElement;
      return { html: a.outerHTML.replace(/ class="[^"]*"| checked=""| aria-current="page"| tabindex="-1"/g, '').slice(0, 80), h2: a.matches('#view h2') };
    });
    if (after) assert.equal(got.h2, true, tab + ' ' + control + ': ' + got.html);
    else assert.equal(got.html, want, tab + ' ' + control);
    const current = await page.$$eval('[aria-current]', (els) => els.map((e) => [e.dataset.id, e.getAttribute('aria-current')]));
    assert.deepEqual(current, [[await page.evaluate(() => state.tab), 'page']], tab + ' ' + control);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

// A row (by its place in the view) scrolled to the given distance below the
// top of the view; and where it stands now.
function placeRow([n, offset]) {
  const view = document.getElementById('view');
  const row = view.querySelectorAll('tbody tr')[n];
  view.scrollTop += row.getBoundingClientRect().top - view.getBoundingClientRect().top - offset;
}
function rowOffset(n) {
  const view = document.getElementById('view');
  return Math.round(view.querySelectorAll('tbody tr')[n].getBoundingClientRect().top - view.getBoundingClientRect().top);
}

test('"Show identifiers" and a language switch keep the row at the top of the view where it was', { skip, timeout: 300000 }, async () => {
  const page = await openWithReports({ viewport: { width: 944, height: 581 } });
  for (const tab of ['signals', 'network', 'firmware', 'drivers', 'diff']) {
    await page.evaluate((t) => { setLang('en'); showTab(t); }, tab);
    const rows = await page.$$eval('#view tbody tr', (els) => els.length);
    const n = Math.floor(rows * 0.3);
    // Blocks laid out on the way down move the row: placed again once they are.
    for (let k = 0; k < 3; k++) {
      await page.evaluate(placeRow, [n, 0]);
      await page.waitForTimeout(50);
    }
    const at = await page.evaluate(rowOffset, n);
    assert.ok(Math.abs(at) <= 1, tab + ': row ' + n + ' placed at ' + at);
    for (const [what, action] of [['show identifiers', () => page.click('#reveal-btn')], ['language', () => page.evaluate(() => setLang('ru', true))],
      ['hide identifiers', () => page.click('#reveal-btn')], ['language back', () => page.evaluate(() => setLang('de', true))]]) {
      await action();
      await page.waitForTimeout(100);
      assert.ok(Math.abs(await page.evaluate(rowOffset, n) - at) <= 2, tab + ', ' + what + ': row ' + n + ' moved from ' + at + ' to ' + await page.evaluate(rowOffset, n));
    }
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('statuses and hidden values are words for a screen reader, in the page\'s language', { skip, timeout: 300000 }, async () => {
  const page = await openWithReports();
  const codes = await page.evaluate(() => LANG_CODES.slice());
  const words = { '✓': ['ok', 'pass'], '!': ['warn'], '✕': ['problem', 'fail'], 'i': ['info'] };
  for (const code of codes) {
    await page.evaluate((c) => setLang(c), code);
    for (const id of ['overview', 'platform', 'tpm', 'signals']) {
      const got = await page.evaluate(([t, w]) => {
        showTab(t);
        const said = (el) => el.getAttribute('role') === 'img' && el.getAttribute('aria-label');
        const pills = [...document.querySelectorAll('#view .pill')].filter((p) => !w[p.textContent].map(tx).includes(said(p)));
        const masks = [...document.querySelectorAll('#view .mask')];
        return { pills: document.querySelectorAll('#view .pill').length, wrong: pills.map((p) => p.textContent + '=' + said(p)),
          masks: masks.length, masksSaid: masks.filter((m) => said(m) === tx('Hidden identifier - use Show identifiers')).length };
      }, [id, words]);
      assert.deepEqual(got.wrong, [], code + ' ' + id);
      assert.equal(got.masksSaid, got.masks, code + ' ' + id);
    }
  }
  assert.ok(await page.$$eval('#view .mask', (els) => els.length) > 0, 'hidden values on Identifiers');
  await page.close();
});

test('at 200 % zoom in the smallest window the header scrolls away with the content', { skip, timeout: 120000 }, async () => {
  // 944x581 CSS pixels at 200 %: 472x290.
  const page = await openWithReports({ viewport: { width: 472, height: 290 } });
  for (const tab of ['signals', 'vm', 'diff']) {
    await page.evaluate((t) => showTab(t), tab);
    const got = await page.evaluate(() => {
      const main = document.getElementById('main');
      main.scrollTop = document.getElementById('header').offsetHeight + 40;
      const m = main.getBoundingClientRect();
      const v = document.getElementById('view').getBoundingClientRect();
      return { content: Math.round(Math.min(v.bottom, m.bottom) - Math.max(v.top, m.top)), height: Math.round(m.height) };
    });
    assert.equal(got.content, got.height, tab + ': the content gets ' + got.content + ' of ' + got.height + ' px');
  }
  // A jump still lands its target at the top of what scrolls.
  await page.evaluate(() => showTab('vm'));
  const target = await page.$eval('#view [data-act="goto"]', (e) => e.dataset.target);
  await page.click('#view [data-act="goto"]');
  await page.waitForTimeout(100);
  const offset = await page.evaluate((t) => Math.round(document.getElementById(t).getBoundingClientRect().top - document.getElementById('main').getBoundingClientRect().top), target);
  assert.ok(Math.abs(offset) <= 1, 'target at ' + offset);
  assert.deepEqual(page.errors, []);
  await page.close();
});
