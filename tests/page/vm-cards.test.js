'use strict';
// Every VM Detection card (tests, method catalog, rejected heuristics) shows
// its row's status, translated, in the card's own tone, readable whole, in
// every language at the smallest window and the usual one.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { Harness, fixture, wineReport, loadReport, ROOT, NO_EXE } = require('./harness');

const SIZES = [{ width: 944, height: 581 }, { width: 1400, height: 900 }];
const DICTS = {};
for (const f of fs.readdirSync(path.join(ROOT, 'ui', 'i18n'))) {
  if (f.endsWith('.json') && f !== 'templates.json') DICTS[f.slice(0, -5)] = JSON.parse(fs.readFileSync(path.join(ROOT, 'ui', 'i18n', f), 'utf8'));
}

const h = new Harness();
before(() => h.start());
after(() => h.stop());

// The statuses of the cards in the order the view draws them: test tables,
// then catalogs, each in the report's order.
function cardStatuses(report) {
  const vm = report.tables.filter((t) => t.tab === 'vm');
  const rows = (prefix) => vm.filter((t) => t.id.startsWith(prefix)).flatMap((t) => t.rows.map((r) => r.c[t.columns.indexOf('Status')]));
  return rows('vm.tests.').concat(rows('vm.catalog.'));
}

// Per card: its tag's text and tone, the card's tone, and what keeps the tag
// from being read (cut, outside the card, not laid out).
function cardTags() {
  const tone = (el, prefix) => [...el.classList].filter((c) => c.startsWith(prefix)).map((c) => c.slice(prefix.length)).join(' ');
  return [...document.querySelectorAll('#view .vm-entry')].map((card) => {
    card.scrollIntoView();
    const tags = card.querySelectorAll(':scope > .vm-entry-head > .tag');
    const tag = tags[0];
    if (tags.length !== 1) return { text: null, tone: null, card: tone(card, 'tone-border-'), unreadable: tags.length + ' tags' };
    const c = card.getBoundingClientRect();
    const t = tag.getBoundingClientRect();
    const unreadable = [];
    if (t.width === 0 || t.height === 0) unreadable.push('not laid out');
    if (tag.scrollWidth > tag.clientWidth) unreadable.push('cut');
    if (t.left < c.left || t.right > c.right) unreadable.push('outside its card');
    return { text: tag.textContent, tone: tone(tag, 'tone-'), card: tone(card, 'tone-border-'), unreadable: unreadable.join(', ') };
  });
}

async function checkCards(report) {
  const statuses = cardStatuses(report);
  assert.ok(statuses.length > 0);
  const page = await h.open({ viewport: SIZES[0] });
  await loadReport(page, report);
  await page.evaluate(() => showTab('vm'));
  const langs = await page.evaluate(() => LANG_CODES.slice());
  assert.equal(langs.length, 9);
  for (const viewport of SIZES) {
    await page.setViewportSize(viewport);
    for (const lang of langs) {
      await page.evaluate((l) => setLang(l), lang);
      const cards = await page.evaluate(cardTags);
      const where = `${lang} at ${viewport.width}x${viewport.height}`;
      assert.equal(cards.length, statuses.length, where);
      cards.forEach((c, i) => {
        const expected = lang === 'en' ? statuses[i] : DICTS[lang][statuses[i]];
        assert.ok(expected, `${where}: no ${lang} text for the status "${statuses[i]}"`);
        assert.deepEqual(c, { text: expected, tone: c.card, card: c.card, unreadable: '' }, `${where}, card ${i} (${statuses[i]})`);
        assert.match(c.card, /^(ok|warn|bad|info)$/, `${where}, card ${i}`);
      });
    }
  }
  assert.deepEqual(page.errors, []);
  await page.close();
}

test('every card of a small report shows its status in its tone; every status and tone is among them', async () => {
  const report = fixture('report-ui.json');
  assert.deepEqual([...new Set(cardStatuses(report))].sort(), ['Detected', 'Error', 'Inconclusive', 'Not Detected', 'Not Supported']);
  await checkCards(report);
});

test('every card of a report of this machine shows its status in its tone', { skip: NO_EXE, timeout: 900000 }, async () => {
  await checkCards(wineReport('cards-raw', '--export-raw'));
});
