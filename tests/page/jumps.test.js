'use strict';
// In-page jumps land: one click on a catalog button, a finding, a catalog
// entry's related check or a Report diff section chip puts its target at the
// top of the view at once, and it is still there after the cards around it
// are laid out; in every language at the smallest window and the usual one,
// on reports the program writes under Wine (cards are laid out lazily, so a
// target's place is known only once what lies above it is).
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, wineReport, loadReport, hostSend, NO_EXE } = require('./harness');

const SIZES = [{ width: 944, height: 581 }, { width: 1400, height: 900 }];
const SETTLE_FRAMES = 20;

const h = new Harness();
let reports = null;
before(async () => {
  await h.start();
  if (!NO_EXE) reports = { raw: wineReport('jumps-raw', '--export-raw'), safe: wineReport('jumps-safe', '--export') };
});
after(() => h.stop());

// Each chosen jump of the tab, clicked on a fresh drawing of it (nothing laid
// out but the first screen), the view at its top. A jump misses when its
// target is not at the top of the view, right after the click or frames
// later, unless the view can scroll no further and the target is in view.
// Chosen: in VM Detection every catalog button and finding, and the first
// and last related check of the catalog (the farthest jump back up); in
// Report diff every section chip, or with every section listed the first,
// middle and last.
async function missedJumps([tab, frames]) {
  const nextFrame = () => new Promise((r) => requestAnimationFrame(r));
  const view = document.getElementById('view');
  const where = (id) => {
    const top = Math.round(document.getElementById(id).getBoundingClientRect().top - view.getBoundingClientRect().top);
    const atEnd = view.scrollTop >= view.scrollHeight - view.clientHeight - 1;
    return Math.abs(top) <= 1 || (atEnd && top > 0 && top < view.clientHeight) ? '' : `${top} px from the top`;
  };
  showTab(tab);
  const all = [...view.querySelectorAll('[data-act="goto"]')];
  const related = all.filter((b) => b.closest('.vm-entry'));
  const chosen = tab === 'vm' ? all.filter((b) => !b.closest('.vm-entry') || b === related[0] || b === related[related.length - 1])
    : all.filter((b, i) => all.length < 12 || i === 0 || i === all.length >> 1 || i === all.length - 1);
  const targets = [...new Set(chosen.map((b) => b.dataset.target))];
  const missed = [];
  for (const id of targets) {
    showTab(tab);
    view.querySelector(`[data-act="goto"][data-target="${CSS.escape(id)}"]`).click();
    const now = where(id);
    for (let i = 0; i < frames; i++) await nextFrame();
    const later = where(id);
    if (now || later) missed.push(`${id}: ${now || 'at the top'}, then ${later || 'at the top'}`);
  }
  return { jumps: targets.length, missed };
}

async function checkJumps(page, tab, what) {
  const langs = await page.evaluate(() => LANG_CODES.slice());
  for (const viewport of SIZES) {
    await page.setViewportSize(viewport);
    for (const lang of langs) {
      await page.evaluate((l) => setLang(l), lang);
      const r = await page.evaluate(missedJumps, [tab, SETTLE_FRAMES]);
      const size = viewport.width + 'x' + viewport.height;
      assert.ok(r.jumps > 0, `${what}: no jumps at ${size} in ${lang}`);
      assert.deepEqual(r.missed, [], `${what} at ${size} in ${lang}`);
    }
  }
}

async function opened() {
  const page = await h.open({ viewport: SIZES[0] });
  await loadReport(page, reports.raw);
  return page;
}

test('VM Detection: catalog buttons, findings and related checks land at the top', { skip: NO_EXE, timeout: 900000 }, async () => {
  const page = await opened();
  await checkJumps(page, 'vm', 'VM Detection');
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Report diff of a raw and a safe report: section chips land at the top', { skip: NO_EXE, timeout: 900000 }, async () => {
  const page = await opened();
  await hostSend(page, { type: 'file', slot: 'DA', name: 'raw.json', text: JSON.stringify(reports.raw) });
  await hostSend(page, { type: 'file', slot: 'DB', name: 'safe.json', text: JSON.stringify(reports.safe) });
  for (const onlyDiff of [true, false]) {
    await page.evaluate((o) => { state.diff.onlyDiff = o; }, onlyDiff);
    await checkJumps(page, 'diff', onlyDiff ? 'differences only' : 'every section');
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

// A jump also lands when the view is already far down: a related check near
// the end of the catalog leads back up to a test card.
test('a jump from the end of the view back up lands at the top', { skip: NO_EXE, timeout: 300000 }, async () => {
  const page = await opened();
  for (const viewport of SIZES) {
    await page.setViewportSize(viewport);
    const r = await page.evaluate(async () => {
      showTab('vm');
      const view = document.getElementById('view');
      const chips = view.querySelectorAll('.vm-entry [data-act="goto"]');
      const chip = chips[chips.length - 1];
      view.scrollTop = view.scrollHeight;
      for (let i = 0; i < 5; i++) await new Promise((f) => requestAnimationFrame(f));
      chip.click();
      for (let i = 0; i < 20; i++) await new Promise((f) => requestAnimationFrame(f));
      return Math.round(document.getElementById(chip.dataset.target).getBoundingClientRect().top - view.getBoundingClientRect().top);
    });
    assert.ok(Math.abs(r) <= 1, `${r} px from the top at ${viewport.width}x${viewport.height}`);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});
