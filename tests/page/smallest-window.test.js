'use strict';
// The smallest window (944x581 for the page), in every language, with a
// report the program writes under Wine: the standard-user banner is one line
// that can be put away until the program closes, and a column empty in every
// row of its table takes no room (the card names it instead).
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, wineReport, loadReport, sent, NO_EXE } = require('./harness');

const SMALLEST = { width: 944, height: 581 };

const h = new Harness();
let raw = null;
before(async () => {
  await h.start();
  if (!NO_EXE) raw = Object.assign(wineReport('smallest-raw', '--export-raw'), { elevated: false });
});
after(() => h.stop());

// What keeps the banner from being one line with its buttons whole inside
// the window, each hit at its centre.
function bannerProblems() {
  const out = [];
  const b = document.getElementById('banner');
  if (b.hidden) return ['no banner'];
  const span = b.querySelector('span');
  const range = document.createRange();
  range.selectNodeContents(span);
  const lines = new Set([...range.getClientRects()].map((r) => Math.round(r.top))).size;
  if (lines !== 1) out.push(`the text takes ${lines} lines`);
  for (const btn of b.querySelectorAll('button')) {
    const r = btn.getBoundingClientRect();
    if (btn.scrollWidth > btn.clientWidth || r.left < 0 || r.right > innerWidth) out.push(`${btn.textContent} is cut or outside`);
    const hit = document.elementFromPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    if (!hit || !btn.contains(hit)) out.push(`the centre of ${btn.textContent} hits ${hit ? hit.tagName : 'nothing'}`);
  }
  const height = b.getBoundingClientRect().height;
  const buttonHeight = Math.max(...[...b.querySelectorAll('button')].map((x) => x.getBoundingClientRect().height));
  if (height > buttonHeight + 12) out.push(`${Math.round(height)} px high`);
  return out;
}

test('the standard-user banner is one line in every language and stays away once dismissed', { skip: NO_EXE, timeout: 300000 }, async () => {
  const page = await h.open({ viewport: SMALLEST });
  await loadReport(page, raw);
  const langs = await page.evaluate(() => LANG_CODES.slice());
  for (const lang of langs) {
    await page.evaluate((l) => setLang(l), lang);
    assert.deepEqual(await page.evaluate(bannerProblems), [], lang);
    // The whole explanation is the text's tooltip; the close button says what it does.
    const [tip, close, want] = await page.evaluate(() => [document.querySelector('#banner span').title,
      document.querySelector('#banner [data-act="banner-off"]').title, [tx('Running as a standard user. Everything here is read in user mode; on some systems NVMe Identify or TPM NV reads additionally need administrator rights.'),
        tx('Hide until the program closes')]]);
    assert.deepEqual([tip, close], want, lang);
    if (lang !== 'en') assert.notEqual(close, 'Hide until the program closes', lang);
  }
  await page.click('#banner [data-act="banner-off"]');
  assert.equal(await page.isVisible('#banner'), false);
  assert.ok(!(await sent(page)).includes('elevate'));
  // Not back with the next scan's report, another language or another tab.
  await loadReport(page, raw);
  await page.evaluate(() => { setLang('de'); showTab('drivers'); });
  assert.equal(await page.isVisible('#banner'), false);
  // An error banner still shows.
  await page.evaluate(() => showBanner('UI error: x'));
  assert.equal(await page.isVisible('#banner'), true);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Per table of the view: the columns whose cells are all empty.
function emptyShownColumns() {
  const out = [];
  for (const table of document.querySelectorAll('#view table.grid')) {
    const heads = [...table.querySelectorAll('thead th')];
    if (!heads.length) continue;
    // A long table is drawn as blocks of rows, each its own table.
    const wrap = table.closest('.table-wrap');
    const rows = [...wrap.querySelectorAll('tbody tr')].filter((tr) => tr.cells.length === heads.length);
    heads.forEach((th, i) => {
      if (rows.length && rows.every((tr) => tr.cells[i].textContent.trim() === '')) out.push(`${table.closest('.card').querySelector('h3').textContent}: ${th.textContent}`);
    });
  }
  return out;
}

test('a column empty in every row takes no room, in every tab and language', { skip: NO_EXE, timeout: 600000 }, async () => {
  const page = await h.open({ viewport: SMALLEST });
  await loadReport(page, raw);
  const langs = await page.evaluate(() => LANG_CODES.slice());
  const tabs = await page.evaluate(() => TAB_IDS.filter((t) => t !== 'compare' && t !== 'diff'));
  // Wine leaves whole columns empty: the drivers' company, version and signer among them.
  const drivers = raw.tables.find((t) => t.id === 'drivers');
  const expected = drivers.columns.filter((c, i) => drivers.rows.every((r) => !r.c[i]));
  assert.ok(expected.length > 0, 'the Wine report has empty columns');
  for (const lang of langs) {
    await page.evaluate((l) => setLang(l), lang);
    for (const tab of tabs) {
      await page.evaluate((t) => showTab(t), tab);
      assert.deepEqual(await page.evaluate(emptyShownColumns), [], `${tab} in ${lang}`);
    }
    await page.evaluate(() => showTab('drivers'));
    const note = await page.evaluate(([title, cols]) => {
      const card = [...document.querySelectorAll('#view .card')].find((c) => c.querySelector('h3').textContent === tx(title));
      const heads = [...card.querySelectorAll('th')].map((th) => th.textContent);
      const wrap = card.querySelector('.table-wrap');
      return { note: card.querySelector('.empty-cols').textContent, overflow: wrap.scrollWidth - wrap.clientWidth, want: tf('Columns empty in every row: {x1}', { x1: cols.map((c) => tx(c)).join(', ') }),
        shown: cols.filter((c) => heads.includes(tx(c))) };
    }, [drivers.title, expected]);
    assert.equal(note.note, note.want, lang);
    assert.deepEqual(note.shown, [], lang);
    // Without them (their headers took the room) the table fits its card.
    assert.equal(note.overflow, 0, `the drivers table is wider than its card in ${lang}`);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});
