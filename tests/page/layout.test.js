'use strict';
// Nothing is cut without a way to read it: in every language, at the default
// window size and a small one, score titles and verdicts stay inside their
// cards, and a navigation label too long for the sidebar carries its whole
// text as a tooltip.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, fixture, loadReport } = require('./harness');

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

// Texts that reach past their card's content box (or past their own box),
// measured on the laid-out text itself.
function overflowingScoreTexts() {
  const out = [];
  const cards = document.querySelectorAll('.card.score');
  if (!cards.length) out.push('no score cards');
  for (const card of cards) {
    card.scrollIntoView();
    const cs = getComputedStyle(card);
    const box = card.getBoundingClientRect();
    const left = box.left + parseFloat(cs.borderLeftWidth) + parseFloat(cs.paddingLeft);
    const right = box.right - parseFloat(cs.borderRightWidth) - parseFloat(cs.paddingRight);
    for (const el of card.querySelectorAll('.score-titles h3, .verdict')) {
      const range = document.createRange();
      range.selectNodeContents(el);
      const t = range.getBoundingClientRect();
      if (t.width === 0 || t.left < left - 0.5 || t.right > right + 0.5 || el.scrollWidth > el.clientWidth) {
        out.push(el.textContent + ' [' + Math.round(t.left) + '..' + Math.round(t.right) + ' in ' + Math.round(left) + '..' + Math.round(right) + ']');
      }
    }
  }
  return out;
}

// Navigation labels the sidebar cuts whose button does not carry the whole
// label as its tooltip, and labels not cut whose tooltip says something else.
function navLabelsWithoutTheirText() {
  const out = [];
  const labels = document.querySelectorAll('.nav-label');
  if (!labels.length) out.push('no navigation labels');
  for (const label of labels) {
    const btn = label.closest('.nav-btn');
    const full = label.textContent;
    const title = btn.getAttribute('title');
    const isCut = label.scrollWidth > label.clientWidth;
    if (isCut ? title !== full : title !== null && title !== full) out.push(full + ' [title: ' + title + ']');
  }
  return out;
}

test('score titles and verdicts stay in their cards; cut navigation labels carry their text', async () => {
  const page = await h.open({ viewport: SIZES[0] });
  await loadReport(page, everyVerdict());
  const langs = await page.evaluate(() => LANG_CODES.slice());
  for (const viewport of SIZES) {
    await page.setViewportSize(viewport);
    const size = viewport.width + 'x' + viewport.height;
    for (const lang of langs) {
      await page.evaluate((l) => setLang(l), lang);
      assert.deepEqual(await page.evaluate(overflowingScoreTexts), [], `scores overflow at ${size} in ${lang}`);
      assert.deepEqual(await page.evaluate(navLabelsWithoutTheirText), [], `navigation labels without their text at ${size} in ${lang}`);
    }
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});
