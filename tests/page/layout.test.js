'use strict';
// Nothing is cut without a way to read it: in every language, at the default
// window size and a small one, score titles and verdicts stay inside their
// cards, and a navigation label too long for the sidebar carries its whole
// text as a tooltip.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, fixture, wineReport, loadReport, NO_EXE } = require('./harness');

const h = new Harness();
before(() => h.start());
after(() => h.stop());

const SIZES = [{ width: 1400, height: 900 }, { width: 1100, height: 700 }];

// The verdicts the scorers write: a level for the three scores, a
// classification for the physical-PC one. One report shows every score with
// every verdict it can get, each pair in a card of the width the grid gives.
const LEVELS = ['High', 'Medium', 'Low', 'Very low'];
const CLASSIFICATIONS = ['Virtual guest evidence confirmed', 'Virtualization indicators require confirmation',
  'Hypervisor active; guest not established', 'No guest evidence detected', 'Insufficient data'];

function everyVerdict() {
  const r = fixture('report-ui.json');
  r.scores = r.scores.flatMap((s) => (s.id === 'physical' ? CLASSIFICATIONS : LEVELS).map((verdict) => ({ ...s, verdict })));
  return r;
}

// Texts that reach past the content box of their container (or past their
// own box), measured on the laid-out text itself. boxes: [container, texts]
// selector pairs.
function textsOutsideTheirBox(boxes) {
  const out = [];
  for (const [boxSel, textSel] of boxes) {
    const found = document.querySelectorAll(boxSel);
    if (!found.length) out.push('no ' + boxSel);
    for (const box of found) {
      box.scrollIntoView();
      const cs = getComputedStyle(box);
      const r = box.getBoundingClientRect();
      const left = r.left + parseFloat(cs.borderLeftWidth) + parseFloat(cs.paddingLeft);
      const right = r.right - parseFloat(cs.borderRightWidth) - parseFloat(cs.paddingRight);
      for (const el of box.querySelectorAll(textSel)) {
        const range = document.createRange();
        range.selectNodeContents(el);
        const t = range.getBoundingClientRect();
        if (t.width === 0 || t.left < left - 0.5 || t.right > right + 0.5 || el.scrollWidth > el.clientWidth) {
          out.push(el.textContent + ' [' + Math.round(t.left) + '..' + Math.round(t.right) + ' in ' + Math.round(left) + '..' + Math.round(right) + ']');
        }
      }
    }
  }
  return out;
}
const SCORE_TEXTS = [['.card.score', '.score-titles h3, .verdict']];
const STAT_TEXTS = [['.stat', '.stat-num, .stat-label, .stat-sub']];

// Texts cut with "…" whose tooltip is not their whole text, and texts not
// cut whose tooltip says something else. cuts: [text, element with the
// tooltip] selector pairs.
function cutTextsWithoutTooltip(cuts) {
  const out = [];
  for (const [textSel, tipSel] of cuts) {
    const found = document.querySelectorAll(textSel);
    if (!found.length) out.push('no ' + textSel);
    for (const el of found) {
      const full = el.textContent;
      const title = el.closest(tipSel).getAttribute('title');
      const isCut = el.scrollWidth > el.clientWidth;
      if (isCut ? title !== full : title !== null && title !== full) out.push(full + ' [title: ' + title + ']');
    }
  }
  return out;
}
const NAV_LABELS = [['.nav-label', '.nav-btn']];
const HEADER_TEXTS = [['#dev-title', '#dev-title'], ['#dev-sub', '#dev-sub']];

test('score titles and verdicts stay in their cards; cut navigation labels carry their text', async () => {
  const page = await h.open({ viewport: SIZES[0] });
  await loadReport(page, everyVerdict());
  const langs = await page.evaluate(() => LANG_CODES.slice());
  for (const viewport of SIZES) {
    await page.setViewportSize(viewport);
    const size = viewport.width + 'x' + viewport.height;
    for (const lang of langs) {
      await page.evaluate((l) => setLang(l), lang);
      assert.deepEqual(await page.evaluate(textsOutsideTheirBox, SCORE_TEXTS), [], `scores overflow at ${size} in ${lang}`);
      assert.deepEqual(await page.evaluate(cutTextsWithoutTooltip, NAV_LABELS), [], `navigation labels without their text at ${size} in ${lang}`);
    }
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The same for the other texts of the first screen: the header's device
// title and subtitle are cut with "…" and carry their text as a tooltip, also
// after the window is resized; the overview's counts stay in their boxes.
test('the header carries cut device texts as tooltips; overview counts stay in their boxes', async () => {
  const page = await h.open({ viewport: SIZES[0] });
  const report = fixture('report-ui.json');
  report.device.title = 'Micro-Star International Co., Ltd. MAG B650 TOMAHAWK WIFI (MS-7D75)';
  await loadReport(page, report);
  const langs = await page.evaluate(() => LANG_CODES.slice());
  for (const viewport of SIZES) {
    await page.setViewportSize(viewport);
    const size = viewport.width + 'x' + viewport.height;
    for (const lang of langs) {
      await page.evaluate((l) => setLang(l), lang);
      assert.deepEqual(await page.evaluate(cutTextsWithoutTooltip, HEADER_TEXTS), [], `header texts without their text at ${size} in ${lang}`);
      assert.deepEqual(await page.evaluate(textsOutsideTheirBox, STAT_TEXTS), [], `counts overflow at ${size} in ${lang}`);
    }
  }
  // Wider again: nothing is cut, so no tooltip is left behind.
  await page.setViewportSize({ width: 2400, height: 900 });
  await page.evaluate(() => setLang('en'));
  assert.deepEqual(await page.evaluate(() => ['dev-title', 'dev-sub'].map((id) => document.getElementById(id).getAttribute('title'))), [null, null]);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The window at its smallest (960x620 at 100 % scaling leaves this much for
// the page). Every header action lies inside the page and is what its centre
// hits; focusing one scrolls nothing sideways; no view is wider than the
// window; the menus open under their buttons and stay inside the window.
const SMALLEST = { width: 944, height: 581 };
const ACTIONS = ['search', 'lang-btn', 'reveal-btn', 'scan-btn', 'export-btn'];

function actionsOutside(ids) {
  const out = [];
  for (const id of ids) {
    const el = document.getElementById(id);
    const r = el.getBoundingClientRect();
    if (r.left < 0 || r.top < 0 || r.right > innerWidth || r.bottom > innerHeight) out.push(`${id} at ${Math.round(r.left)}..${Math.round(r.right)}`);
    const hit = document.elementFromPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    if (!hit || !el.contains(hit)) out.push(`${id}: its centre hits ${hit ? hit.id || hit.tagName : 'nothing'}`);
  }
  return out;
}

// Elements scrolled sideways after each action is focused, and boxes wider
// than the window or than their own frame (a table's frame scrolls instead).
function sidewaysScroll(ids) {
  const out = [];
  const scrolled = () => [...document.querySelectorAll('*')].filter((e) => e.scrollLeft !== 0).map((e) => e.id || e.className || e.tagName);
  for (const id of ids) {
    document.getElementById(id).focus();
    for (const s of scrolled()) out.push(`focus on ${id} scrolls ${s}`);
    if (scrollX !== 0) out.push(`focus on ${id} scrolls the window`);
  }
  document.activeElement.blur();
  for (const el of [document.documentElement, document.body, ...document.querySelectorAll('#app, #main, #header, #view')]) {
    if (el.scrollWidth > innerWidth || el.scrollWidth > el.clientWidth) out.push(`${el.id || el.tagName} is ${el.scrollWidth} px wide`);
  }
  return out;
}

function menuPlacement(pairs) {
  const out = [];
  for (const [btnId, menuId] of pairs) {
    document.getElementById(btnId).click();
    const b = document.getElementById(btnId).getBoundingClientRect();
    const m = document.getElementById(menuId).getBoundingClientRect();
    if (document.getElementById(menuId).hidden) out.push(menuId + ' did not open');
    if (m.top < b.bottom || m.left < 0 || m.right > innerWidth || m.bottom > innerHeight) {
      out.push(`${menuId} at ${Math.round(m.left)},${Math.round(m.top)}..${Math.round(m.right)},${Math.round(m.bottom)} under ${btnId} ending at ${Math.round(b.bottom)}`);
    }
    document.body.click();
  }
  return out;
}

test('at the smallest window every header action fits, nothing scrolls sideways, menus stay inside', async () => {
  const page = await h.open({ viewport: SMALLEST });
  await loadReport(page, fixture('report-ui.json'));
  const langs = await page.evaluate(() => LANG_CODES.slice());
  const tabs = await page.evaluate(() => TAB_IDS.slice());
  for (const lang of langs) {
    await page.evaluate((l) => setLang(l), lang);
    for (const tab of tabs) {
      await page.evaluate((t) => showTab(t), tab);
      assert.deepEqual(await page.evaluate(sidewaysScroll, []), [], `${tab} in ${lang}`);
    }
    // On a tab with rows to filter: elsewhere the filter box is hidden.
    await page.evaluate(() => showTab('signals'));
    assert.deepEqual(await page.evaluate(actionsOutside, ACTIONS), [], `header actions in ${lang}`);
    assert.deepEqual(await page.evaluate(sidewaysScroll, ACTIONS), [], `focused header actions in ${lang}`);
    assert.deepEqual(await page.evaluate(menuPlacement, [['export-btn', 'export-menu'], ['lang-btn', 'lang-menu']]), [], `menus in ${lang}`);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The sidebar shows only part of the tabs at the smallest window: the open
// tab's button is scrolled into it however the tab was opened, with the
// sidebar scrolled to either end before, and when the window gets smaller.
function activeTabOutOfView() {
  const nav = document.getElementById('nav');
  const btn = nav.querySelector('.nav-btn.active');
  if (!btn) return 'no open tab';
  const n = nav.getBoundingClientRect();
  const b = btn.getBoundingClientRect();
  if (b.top < n.top - 0.5 || b.bottom > n.bottom + 0.5) return `${btn.dataset.id} at ${Math.round(b.top)}..${Math.round(b.bottom)} in ${Math.round(n.top)}..${Math.round(n.bottom)}`;
  if (scrollY !== 0 || document.getElementById('app').scrollTop !== 0) return 'the page itself scrolled';
  return '';
}

test('at the smallest window the open tab is always in view in the sidebar', async () => {
  const page = await h.open({ viewport: SMALLEST });
  await loadReport(page, fixture('report-ui.json'));
  const langs = await page.evaluate(() => LANG_CODES.slice());
  const tabs = await page.evaluate(() => TAB_IDS.slice());
  assert.ok(await page.evaluate(() => document.getElementById('nav').scrollHeight > document.getElementById('nav').clientHeight),
    'the sidebar shows only part of the tabs');
  for (const lang of langs) {
    await page.evaluate((l) => setLang(l), lang);
    for (const tab of tabs) {
      for (const [from, fromHost, end] of [['overview', true, 'bottom'], ['about', false, 'top']]) {
        await page.evaluate(([t, f, host, e]) => {
          showTab(f === t ? (t === 'about' ? 'overview' : 'about') : f);
          const nav = document.getElementById('nav');
          nav.scrollTop = e === 'top' ? 0 : nav.scrollHeight;
          showTab(t, host);
        }, [tab, from, fromHost, end]);
        assert.equal(await page.evaluate(activeTabOutOfView), '', `${tab} opened ${fromHost ? 'by the host' : 'from a view'} with the sidebar at its ${end} in ${lang}`);
      }
    }
  }
  // A window made smaller keeps the open tab in view.
  await page.setViewportSize({ width: 1400, height: 900 });
  await page.evaluate(() => showTab('about'));
  await page.setViewportSize(SMALLEST);
  await page.waitForFunction(() => innerHeight === 581);
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))); // the resize event
  assert.equal(await page.evaluate(activeTabOutOfView), '');
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Words in table cells break only between words; identifiers, hex and masks
// may break anywhere. Per cell of the view: the words (runs of letters, in
// scripts that put spaces between words) that the layout splits over lines.
function wordsSplitInCells() {
  const out = [];
  const NO_SPACES = /[\p{Script=Han}\p{Script=Hiragana}\p{Script=Katakana}\p{Script=Hangul}\p{Script=Thai}]/u;
  for (const td of document.querySelectorAll('#view .grid td')) {
    const walker = document.createTreeWalker(td, NodeFilter.SHOW_TEXT);
    for (let n = walker.nextNode(); n; n = walker.nextNode()) {
      if (n.parentElement.closest('.brk, .mono, .mask')) continue;
      for (const m of n.data.matchAll(/[\p{L}\p{M}]{2,}/gu)) {
        if (NO_SPACES.test(m[0])) continue;
        const range = document.createRange();
        range.setStart(n, m.index);
        range.setEnd(n, m.index + m[0].length);
        if (new Set([...range.getClientRects()].map((r) => Math.round(r.top))).size > 1) out.push(`${m[0]} in "${td.textContent.slice(0, 50)}"`);
      }
    }
  }
  return out;
}

async function noWordSplitInCells(report) {
  const page = await h.open({ viewport: SMALLEST });
  await loadReport(page, report);
  const langs = await page.evaluate(() => LANG_CODES.slice());
  const tabs = await page.evaluate(() => TAB_IDS.slice());
  for (const viewport of [SMALLEST, SIZES[0]]) {
    await page.setViewportSize(viewport);
    for (const lang of langs) {
      await page.evaluate((l) => setLang(l), lang);
      for (const tab of tabs) {
        // As the host opens them: Compare and Report diff with a second report.
        await page.evaluate((t) => showTab(t, true), tab);
        assert.deepEqual(await page.evaluate(wordsSplitInCells), [], `${tab} in ${lang} at ${viewport.width}x${viewport.height}`);
      }
    }
  }
  assert.deepEqual(page.errors, []);
  await page.close();
}

// The network table of a real report, squeezed by its masked identifiers.
function squeezedNetworkTable() {
  const r = fixture('report-ui.json');
  r.tables = r.tables.filter((t) => t.id !== 'net.ifaces');
  const row = (name) => ({ c: [name, 'Ethernet', 'unspecified', '16-67-20-F3-76-7A', '16-67-20-F3-76-7A',
    '[ok] matches permanent (permanent address is locally administered)', '00000002-0000-0000-0000-4E6574446576', 'disconnected',
    'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}\\0001'] });
  r.tables.push({ tab: 'network', id: 'net.ifaces', title: 'Hardware network interfaces', columns: ['Interface', 'Type', 'Physical medium',
    'Current MAC', 'Permanent MAC', 'MAC state', 'Interface GUID', 'Status', 'Driver key'], sens: 88, groupCol: -1, rows: [row('ifb0'), row('ifb1')] });
  return r;
}

test('no word in a table cell is split over two lines, in every tab and language at both sizes', async () => {
  await noWordSplitInCells(squeezedNetworkTable());
});

test('no word in a table cell of a report of this machine is split over two lines', { skip: NO_EXE, timeout: 900000 }, async () => {
  await noWordSplitInCells(wineReport('layout-raw', '--export-raw'));
});
