'use strict';
// Every language of the menu shows the page and a real report in that
// language. A language runs once its dictionary has every key of
// ui/i18n/source/keys.json; until then it is skipped and says how many keys
// it lacks (scripts/i18n_missing.py <code> lists them).
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { Harness, fixture, hostSend, loadReport, ROOT } = require('./harness');

const I18N = path.join(ROOT, 'ui', 'i18n');
const KEYS = JSON.parse(fs.readFileSync(path.join(I18N, 'source', 'keys.json'), 'utf8')).map((e) => e.key);
const EXE = path.join(ROOT, 'build', 'win', 'VornixQuelm.exe');
const OUT = path.join(ROOT, 'build', 'page-i18n');
// The views the languages are checked in: Overview, a collector tab, VM Detection, Compare and Diff.
const VIEWS = ['overview', 'cpu', 'vm', 'compare', 'diff'];
// How each language is chosen: the host's start-up object, or the browser's
// languages where those pick it.
const LANGUAGES = [
  { code: 'ru', init: { lang: 'ru' } },
  { code: 'vi', init: { lang: 'vi' } },
  { code: 'zh-Hans', init: { lang: 'zh-Hans' } },
  { code: 'zh-Hant', languages: ['zh-TW'] },
  { code: 'es', init: { lang: 'es' } },
  { code: 'pt', languages: ['pt-BR'] },
  { code: 'fr', init: { lang: 'fr' } },
  { code: 'de', init: { lang: 'de' } },
];

function dictionary(code) {
  const file = path.join(I18N, code + '.json');
  return fs.existsSync(file) ? JSON.parse(fs.readFileSync(file, 'utf8')) : {};
}

// Once the dictionary check requires every key, an incomplete language fails here too.
const FULL_COVERAGE = /^REQUIRE_FULL_COVERAGE = True$/m.test(fs.readFileSync(path.join(ROOT, 'scripts', 'i18n_check.py'), 'utf8'));

function incomplete(code) {
  if (FULL_COVERAGE) return false;
  const dict = dictionary(code);
  const missing = KEYS.filter((k) => !(k in dict)).length;
  return missing ? `${code}: ${missing} of ${KEYS.length} keys not translated yet (scripts/i18n_missing.py ${code})` : false;
}

// A report the program wrote under Wine when the Windows build exists (the
// end-to-end run's, else a fresh one), otherwise the hand-made fixture.
function realReport() {
  const e2e = path.join(ROOT, 'build', 'win', 'e2e', 'scan-raw.json');
  if (fs.existsSync(e2e)) return JSON.parse(fs.readFileSync(e2e, 'utf8'));
  if (fs.existsSync(EXE)) {
    fs.mkdirSync(OUT, { recursive: true });
    fs.rmSync(path.join(OUT, 'report.json'), { force: true });
    execFileSync(path.join(ROOT, 'scripts', 'wine-run'), [EXE, '--export-raw', 'report.json'], { cwd: OUT, stdio: 'ignore', timeout: 600000 });
    return JSON.parse(fs.readFileSync(path.join(OUT, 'report.json'), 'utf8'));
  }
  return fixture('report-ui.json');
}

// The trimmed texts of the view, the navigation and the header.
async function shownTexts(page) {
  return page.evaluate(() => {
    const out = [];
    for (const root of [document.getElementById('view'), document.querySelector('nav'), document.querySelector('header')]) {
      if (!root) continue;
      const walk = document.createTreeWalker(root, NodeFilter.SHOW_TEXT);
      for (let n = walk.nextNode(); n; n = walk.nextNode()) {
        const t = n.nodeValue.trim();
        if (t) out.push(t);
      }
    }
    return out;
  });
}

const h = new Harness();
let report = null;
before(async () => {
  report = realReport();
  await h.start();
});
after(() => h.stop());

for (const lang of LANGUAGES) {
  test(`${lang.code}: the page and a real report show no English label that has a key`, { skip: incomplete(lang.code) }, async () => {
    const dict = dictionary(lang.code);
    const translations = new Set(Object.values(dict));
    assert.deepEqual(KEYS.filter((k) => !(k in dict)).slice(0, 5), [], `${lang.code}: keys without a translation`);
    const page = await h.open({ init: lang.init, languages: lang.languages });
    assert.equal(await page.evaluate(() => LANG), lang.code);
    await loadReport(page, report);
    for (const view of VIEWS) {
      await page.evaluate((v) => showTab(v, true), view);
      const texts = await shownTexts(page);
      // A word may be both an English key and another key's translation
      // (es "Media" is the verdict "Medium"); only a text no translation
      // produces counts as English left over.
      const english = texts.filter((t) => t in dict && dict[t] !== t && !translations.has(t));
      assert.deepEqual(english.slice(0, 10), [], `${lang.code} ${view}: English labels left`);
      const translated = texts.filter((t) => translations.has(t)).length;
      assert.ok(translated >= 10, `${lang.code} ${view}: only ${translated} translated texts shown`);
    }
    // Templates, placeholders translated on their own, lists.
    const fill = (t, v) => t.replace(/\{([ntx]\d+)\}/g, (all, n) => (n in v ? v[n] : all));
    const got = await page.evaluate(() => [tx('Rows: 12'), tx('AVX, AVX2, yes'), tx('A text nobody translated')]);
    assert.deepEqual(got, [fill(dict['Rows: {n1}'], { n1: '12' }), 'AVX, AVX2, ' + dict.yes, 'A text nobody translated']);
    await hostSend(page, { type: 'progress', stage: 'Platform security', pct: 50 });
    assert.equal(await page.textContent('#progress-text'), fill(dict['Collecting: {t1}…'], { t1: dict['Platform security'] }));
    assert.deepEqual(page.errors, []);
    await page.close();
  });
}

test('German: "Rows: 12" and the progress text of a stage', { skip: incomplete('de') }, async () => {
  const page = await h.open({ init: { lang: 'de' } });
  assert.equal(await page.evaluate(() => tx('Rows: 12')), 'Zeilen: 12');
  await hostSend(page, { type: 'progress', stage: 'Platform security', pct: 50 });
  assert.equal(await page.textContent('#progress-text'), 'Erfassung: Plattformsicherheit…');
  await page.close();
});

test('a browser asking for Japanese gets the English page', async () => {
  const page = await h.open({ languages: ['ja'] });
  await loadReport(page, report);
  assert.equal(await page.evaluate(() => LANG), 'en');
  assert.equal(await page.textContent('.nav-btn[data-id="overview"] .nav-label'), 'Overview');
  await page.close();
});

test('choosing a language in the menu keeps the scroll position of the view', async () => {
  const page = await h.open({ viewport: { width: 1200, height: 600 } });
  await loadReport(page, report);
  await page.evaluate(() => showTab('cpu'));
  const top = await page.evaluate(() => {
    const v = document.getElementById('view');
    v.scrollTop = Math.min(400, v.scrollHeight - v.clientHeight);
    return v.scrollTop;
  });
  assert.ok(top > 0, 'the view scrolls');
  for (const code of ['de', 'fr', 'en']) {
    await page.click('#lang-btn');
    await page.click(`#lang-menu [data-code="${code}"]`);
    assert.equal(await page.evaluate(() => LANG + ' ' + document.getElementById('view').scrollTop), code + ' ' + top);
  }
  await page.close();
});
