'use strict';
// Every text the page hands to tx/tf/tn in a non-English language, with the
// program's own reports written under Wine: one that comes back unchanged
// must be an identifier, a name, a number or a glossary term. The labels the
// page asked for are written to build/page-test/asked.json, which
// scripts/i18n_keys.py --write adds to the key list.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { Harness, wineReport, hostSend, loadReport, ROOT, EXE, NO_EXE } = require('./harness');
const { pcShaped } = require('./pc-report');

const OUT = path.join(ROOT, 'build', 'page-test');
const ASKED = path.join(OUT, 'asked.json');
const LANG = 'de';
const TAB_IDS = ['overview', 'vm', 'signals', 'compare', 'diff', 'cpu', 'firmware', 'storage', 'network', 'display', 'devices',
  'tpm', 'platform', 'microsoft', 'drivers', 'windows', 'json', 'about'];

const SOURCE = path.join(ROOT, 'ui', 'i18n', 'source');
const GLOSSARY = JSON.parse(fs.readFileSync(path.join(SOURCE, 'glossary.json'), 'utf8'));
const EXTRA = JSON.parse(fs.readFileSync(path.join(SOURCE, 'extra.json'), 'utf8'));
const IGNORED_PATTERNS = (EXTRA.ignore_patterns || []).map((p) => new RegExp(p));
const escapeRe = (s) => s.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
const GLOSSARY_RE = new RegExp('(?<![\\w-])(?:' + GLOSSARY.slice().sort((a, b) => b.length - a.length).map(escapeRe).join('|') + ')(?![\\w-])', 'g');

// What is left of a text once its glossary terms, identifiers (dots,
// underscores, "::", calls, CamelCase), paths, addresses and numbers are gone.
function words(text) {
  return text
    .replace(GLOSSARY_RE, ' ')
    .replace(/[^\s(),;]*[\\/][^\s(),;]*/g, ' ')
    .replace(/(?<![\w.])[A-Za-z][\w-]*(?:[._]|::)[\w.:-]*\w|[A-Za-z_]\w*\(\)/g, ' ')
    .replace(/\b[A-Za-z]*[a-z][A-Z]\w*/g, ' ')
    .replace(/\b(?:0x)?[0-9A-Fa-f]*\d[0-9A-Fa-f]*\b/g, ' ');
}

// The program's own English words: those of its keys that no translation
// into the language uses (a word both languages write, "Desktop", "die",
// stays out).
const DICT = JSON.parse(fs.readFileSync(path.join(ROOT, 'ui', 'i18n', LANG + '.json'), 'utf8'));
const WORD = /(?<![\w-])[a-z]{2,}(?:-[a-z]+)*(?![\w-])/g;
const ENGLISH = (() => {
  const native = new Set(Object.values(DICT).flatMap((t) => t.toLowerCase().match(WORD) || []));
  const keys = JSON.parse(fs.readFileSync(path.join(SOURCE, 'keys.json'), 'utf8')).map((e) => e.key);
  return new Set(keys.flatMap((k) => words(k).match(WORD) || []).filter((w) => !native.has(w)));
})();

// The English words of the program left inside a translated line. A system
// message after "error <n>: " (or its translation) or "HRESULT 0x<n>: " is
// the system's own text, in the language Windows runs in.
const SYSTEM_MESSAGE = new RegExp('((?:error|' + escapeRe(DICT['error {n1}: {x2}'].split('{n1}')[0].trim()) +
  ') \\d+: |HRESULT 0x[0-9A-F]+: ).*?(?=\\)|$)', 'g');
function englishLeft(line) {
  const own = line.replace(SYSTEM_MESSAGE, '$1');
  return (words(own).match(WORD) || []).filter((w) => ENGLISH.has(w));
}

// A sentence or a label: a word of small letters is left over.
function readsAsLabel(text) {
  if (EXTRA.ignore.includes(text) || IGNORED_PATTERNS.some((p) => p.test(text))) return false;
  return /(?<![\w-])[a-z]{2,}(?![\w-])/.test(words(text));
}

const h = new Harness();
const reports = {};
before(async () => {
  if (!fs.existsSync(EXE)) return;
  // Shaped like a real PC's: a TPM with its keys, memory modules, a
  // monitor, a disk and a battery, which Wine does not have.
  reports.raw = pcShaped(wineReport('untranslated-raw', '--export-raw'));
  reports.safe = pcShaped(wineReport('untranslated-safe', '--export'));
  await h.start();
});
after(() => h.stop());

const skip = NO_EXE;

// Wraps the translation functions: each text asked for, whether it came back
// unchanged, and the view that asked.
function record() {
  window.__asked = new Map();
  window.__lines = new Map();
  window.__where = 'start';
  const note = (text, same) => {
    if (typeof text !== 'string' || text === '') return;
    const e = window.__asked.get(text) || { same: true, where: window.__where };
    e.same = e.same && same;
    // A text the engine translates by its parts (a list, sentences) is no key.
    e.key = text in dict();
    window.__asked.set(text, e);
  };
  const dict = () => I18N[LANG] || {};
  const [tx0, tf0, tn0] = [window.tx, window.tf, window.tn];
  // Only the outermost call counts: the engine tries parts of a text on its
  // own (sentences, list items) and keeps the whole when a part fails.
  let depth = 0;
  // A translated line, for the English words left inside it.
  const line = (out, text) => {
    if (out !== text && !window.__lines.has(out)) window.__lines.set(out, { text, where: window.__where });
    return out;
  };
  // Unchanged means without an entry: a translation may read like its key.
  window.tx = (text) => {
    depth++;
    let out;
    try {
      out = tx0(text);
    } finally {
      depth--;
    }
    const s = text === null || text === undefined ? '' : String(text);
    if (depth === 0) note(s, out === s && !(s in dict()));
    return depth === 0 ? line(out, s) : out;
  };
  window.tf = (template, values) => {
    note(template, !(template in dict()));
    return template in dict() ? line(tf0(template, values), template) : tf0(template, values);
  };
  window.tn = (n, key, values) => {
    note(key, !(key in dict()) && !(key + '#other' in dict()));
    return tn0(n, key, values);
  };
  // For checks that must not count as asked, nor what they ask on the way.
  window.__tx = (text) => {
    depth++;
    try {
      return tx0(text);
    } finally {
      depth--;
    }
  };
}

// Value cells of Compare and Report diff that the translation function
// would change: a report value shown as written where the tables translate it.
function valuesLeft() {
  const cells = document.querySelectorAll('#view td.val > div, #view td.val:not(:has(div)), #view table.diff td:not(.key):not(.nowrap)');
  return [...cells].map((c) => c.textContent).filter((t) => t !== '' && window.__tx(t) !== t);
}

async function view(page, where, action) {
  await page.evaluate((w) => { window.__where = w; }, where);
  await action();
  assert.equal(await page.isVisible('#banner') && /error/i.test(await page.textContent('#banner')), false, where);
  assert.deepEqual(await page.evaluate(valuesLeft), [], where + ': values shown as written that the page translates');
}

test('every text the page shows in ' + LANG + ' is translated, or an identifier, a number or a glossary term', { skip, timeout: 600000 }, async () => {
  const page = await h.open({ acceptDialogs: true, languages: [LANG] });
  await page.evaluate(record);
  // A standard user sees the banner with its button.
  const raw = Object.assign({}, reports.raw, { elevated: false });
  await view(page, 'report', () => loadReport(page, raw));
  assert.equal(await page.isVisible('#banner [data-act="elevate"]'), true);
  for (const reveal of [false, true]) {
    if (reveal) await page.click('#reveal-btn');
    for (const id of TAB_IDS) await view(page, 'tab ' + id, () => page.evaluate((i) => showTab(i), id));
  }
  // Compare and Report diff against simulated reports B: every simulation,
  // as the host opens them and from the chips.
  await view(page, 'compare, simulated', () => page.evaluate(() => showTab('compare', true)));
  await view(page, 'diff, simulated', () => page.evaluate(() => showTab('diff', true)));
  await view(page, 'compare, simulated', () => page.evaluate(() => showTab('compare')));
  for (const sim of await page.$$eval('[data-act="cmp-sim"]', (els) => els.map((e) => e.dataset.sim))) {
    await view(page, 'compare, simulated ' + sim, () => page.click(`[data-act="cmp-sim"][data-sim="${sim}"]`));
    for (const on of [true, false]) await view(page, 'compare, simulated ' + sim, () => page.setChecked('[data-opt="cmp-only"]', on));
  }
  // Then the privacy-safe report of the same machine as B in both.
  const safe = JSON.stringify(reports.safe);
  await view(page, 'compare, safe B', () => hostSend(page, { type: 'file', slot: 'B', name: 'safe.json', text: safe }));
  for (const on of [true, false]) await view(page, 'compare, safe B', () => page.setChecked('[data-opt="cmp-only"]', on));
  await view(page, 'diff, safe B', async () => {
    await hostSend(page, { type: 'file', slot: 'DA', name: 'raw.json', text: JSON.stringify(raw) });
    await hostSend(page, { type: 'file', slot: 'DB', name: 'safe.json', text: safe });
    await page.evaluate(() => showTab('diff'));
  });
  for (const opt of ['diff-only', 'diff-volatile']) {
    for (const on of [true, false]) await view(page, 'diff, safe B', () => page.setChecked(`[data-opt="${opt}"]`, on));
  }
  assert.deepEqual(page.errors, []);

  const asked = await page.evaluate(() => [...window.__asked].map(([text, e]) => ({ text, same: e.same, key: e.key, where: e.where })));
  const lines = await page.evaluate(() => [...window.__lines]);
  await page.close();
  const labels = asked.filter((e) => readsAsLabel(e.text));
  fs.mkdirSync(OUT, { recursive: true });
  fs.writeFileSync(ASKED, JSON.stringify(labels.filter((e) => e.key || e.same).map((e) => ({ key: e.text, where: e.where }))
    .sort((a, b) => (a.key < b.key ? -1 : a.key > b.key ? 1 : 0)), null, 1) + '\n');
  const untranslated = labels.filter((e) => e.same).map((e) => e.text + '  (' + e.where + ')');
  assert.deepEqual(untranslated, [], 'shown untranslated in ' + LANG + '; add keys (scripts/i18n_keys.py --write reads ' +
    path.relative(ROOT, ASKED) + ') and their translations');
  // A placeholder that carries a word of the program is {t}, translated on
  // its own; a word without a key gets one.
  const mixed = lines.map(([out, e]) => [out, englishLeft(out), e]).filter(([, left]) => left.length)
    .map(([out, left, e]) => `${out}  [${left.join(', ')}] from ${e.text}  (${e.where})`);
  assert.deepEqual(mixed, [], 'English words of the program inside translated lines in ' + LANG);
});

test('the filters keep labels and English words of the program and let names, numbers, glossary terms and system messages pass', () => {
  const cases = [
    ['same', true], ['speakers', true], ['FSCTL_GET_OBJECT_ID on the volume root', true], ['device key VideoID', true],
    ['new installation IDs; keys of the old install are gone; hardware unchanged', true],
    ['FSCTL_GET_OBJECT_ID', false], ['GetSystemFirmwareTable()', false], ['1.4.0', false], ['0x1F', false],
    ['TPM', false], ['NVMe', false], ['HKLM\\SOFTWARE\\Microsoft', false], ['Win32_BIOS.SerialNumber', false],
    ['VirtualBox', false], ['Realtek', false], ['ms', false], ['hmac:A8A06841EFB01B9D4789F3D7', false],
  ];
  for (const [text, label] of cases) assert.equal(readsAsLabel(text), label, text);
  const lines = [
    ['SystemIdentification-Quelle: unavailable', ['unavailable']],
    ['nicht lesbar: error 2: File not found.', ['error']],
    ['Biometrie-Framework nicht verfügbar: Fehler 126: Module not found.', []],
    ['Nicht signiert - HRESULT 0x800B0100: No Signature found in file.', []],
    ['Topologieebene: Kern, x2APIC 0', []],
    ['safe.json in Bericht B geladen', []],
  ];
  for (const [line, left] of lines) assert.deepEqual(englishLeft(line), left, line);
});
