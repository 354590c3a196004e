'use strict';
// Numbers, dates, percentages and the program's own words of real reports,
// written under Wine, as every language writes them: the same date in every
// view, a report's decimals with the language's mark and plural, one
// percentage format, the language's unit, and no English left where the page
// has a translation.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { Harness, wineReport, hostSend, loadReport, ROOT, EXE, NO_EXE } = require('./harness');

const DICTS = Object.fromEntries(['ru', 'vi', 'zh-Hans', 'zh-Hant', 'es', 'pt', 'fr', 'de'].map((c) =>
  [c, JSON.parse(fs.readFileSync(path.join(ROOT, 'ui', 'i18n', c + '.json'), 'utf8'))]));
const tr = (code, key) => (code === 'en' ? key : DICTS[code][key]);

// The decimal mark, the percentage after its number, the KB symbol and the
// word for hours by plural category (of a number shown with one decimal).
const FORMS = {
  en: { dec: '.', pct: '%', kb: 'KB', hours: { other: 'hours' } },
  ru: { dec: ',', pct: '\u00a0%', kb: 'КБ', hours: { one: 'час', few: 'часа', many: 'часов', other: 'часа' } },
  vi: { dec: ',', pct: '%', kb: 'KB', hours: { other: 'giờ' } },
  'zh-Hans': { dec: '.', pct: '%', kb: 'KB', hours: { other: '小时' } },
  'zh-Hant': { dec: '.', pct: '%', kb: 'KB', hours: { other: '小時' } },
  es: { dec: ',', pct: '\u00a0%', kb: 'KB', hours: { one: 'hora', other: 'horas' } },
  pt: { dec: ',', pct: '%', kb: 'KB', hours: { one: 'hora', other: 'horas' } },
  fr: { dec: ',', pct: '\u00a0%', kb: 'Ko', hours: { one: 'heure', other: 'heures' } },
  de: { dec: ',', pct: '\u00a0%', kb: 'KB', hours: { one: 'Stunde', other: 'Stunden' } },
};

const h = new Harness();
const reports = {};
before(async () => {
  if (!fs.existsSync(EXE)) return;
  reports.raw = wineReport('formats-raw', '--export-raw');
  reports.safe = wineReport('formats-safe', '--export');
  await h.start();
});
after(() => h.stop());

function rowValue(report, tableId, property) {
  const t = report.tables.find((x) => x.id === tableId);
  const row = t && t.rows.find((r) => r.c[0] === property);
  return row ? row.c[1] : undefined;
}

// What one language shows of the report in the views that carry its dates,
// percentages, decimals and words.
function shown() {
  const texts = (sel) => [...document.querySelectorAll(sel)].map((e) => e.textContent);
  const out = {};
  showTab('overview');
  out.collection = [...document.querySelectorAll('#view .card')].at(-1).querySelector('.meta').textContent;
  showTab('signals');
  out.signals = texts('#view td.val');
  showTab('windows');
  out.windows = texts('#view td');
  showTab('vm');
  out.ring = document.querySelector('.score .ring-text').textContent;
  out.vmSummary = texts('.vm-summary td');
  out.vmNote = document.querySelector('.vm-summary .note').textContent;
  showTab('drivers');
  out.drivers = texts('#view td');
  showTab('cpu');
  out.cpu = texts('#view td');
  showTab('firmware');
  out.firmware = texts('#view td');
  showTab('display');
  out.displayHeads = texts('#view th');
  showTab('json');
  out.jsonLead = document.querySelector('#view .lead').textContent;
  showTab('compare');
  out.compareSlots = texts('#view .slot-sub');
  showTab('diff');
  out.diffSlots = texts('#view .slot-sub');
  return out;
}

test('dates, decimals, percentages, units and the program\'s words of Wine reports in every language', { skip: NO_EXE, timeout: 600000 }, async () => {
  const { raw, safe } = reports;
  const installed = rowValue(raw, 'windows.ids', 'Installation time');
  assert.match(installed, /^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC$/);
  const uptime = /^(\d+\.\d) hours$/.exec(rowValue(raw, 'windows.os', 'Uptime'));
  assert.ok(uptime, rowValue(raw, 'windows.os', 'Uptime'));
  const ceiling = /(\d+)%/.exec(raw.tables.find((t) => t.id === 'vm.summary').note)[1];
  const sizes = raw.tables.filter((t) => t.tab === 'cpu' || t.tab === 'firmware').flatMap((t) => t.rows.flatMap((r) => r.c))
    .filter((v) => /^\d+\.\d+ KB$/.test(v));
  assert.ok(sizes.length > 0);

  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, raw);
  await page.click('#reveal-btn');
  await hostSend(page, { type: 'file', slot: 'A', name: 'raw.json', text: JSON.stringify(raw) });
  await hostSend(page, { type: 'file', slot: 'B', name: 'safe.json', text: JSON.stringify(safe) });
  await hostSend(page, { type: 'file', slot: 'DA', name: 'raw.json', text: JSON.stringify(raw) });
  await hostSend(page, { type: 'file', slot: 'DB', name: 'safe.json', text: JSON.stringify(safe) });

  for (const [code, f] of Object.entries(FORMS)) {
    await page.evaluate((c) => setLang(c), code);
    const s = await page.evaluate(shown);
    const where = (what) => code + ': ' + what;

    // One date text per moment, in every view; never the report's own form.
    const created = s.collection.split(' · ').at(-1);
    const year = raw.created.slice(0, 4);
    assert.ok(created.includes('UTC') && created.includes(year) && !created.includes(raw.created), where(created));
    for (const slots of [s.compareSlots, s.diffSlots]) {
      assert.ok(slots.length === 2 && slots[0].startsWith(created + ' · ') && slots[1].split(' · ')[0].includes('UTC') &&
        !slots[1].includes(safe.created), where(slots.join(' | ')));
    }
    const install = s.signals.filter((t) => t.includes('2010') || t.includes(installed.slice(0, 4)));
    assert.equal(install.length, 1, where(s.signals.join(' | ')));
    assert.ok(install[0].includes('UTC') && install[0] !== installed, where(install[0]));
    assert.ok(s.windows.includes(install[0]), where('the Windows tab writes the installation time as Identifiers does'));

    // A report's decimals with the language's mark, its word in the plural
    // form of the number as shown.
    const category = new Intl.PluralRules(code, { minimumFractionDigits: 1 }).select(Number(uptime[1]));
    const hours = uptime[1].replace('.', f.dec) + ' ' + (f.hours[category] || f.hours.other);
    assert.ok(s.windows.includes(hours), where(hours + ' not in ' + s.windows.filter((t) => /\d[.,]\d/.test(t)).join(' | ')));

    // Every percentage as the ring writes its own.
    const pct = new RegExp('^\\d+' + f.pct + '$');
    assert.match(s.ring, pct, where('ring'));
    const percents = s.vmSummary.concat(s.drivers.map((t) => t.replace(/^[✓✕!i] /, ''))).filter((t) => t.includes('%'));
    assert.ok(percents.length >= 2 && percents.every((t) => pct.test(t)), where(percents.join(' | ')));
    assert.ok(s.vmNote.includes(ceiling + f.pct) && !/\d%/.test(s.vmNote.replace(ceiling + f.pct, '')), where(s.vmNote));

    // Sizes with the language's decimal mark and unit.
    for (const v of sizes) {
      const want = v.replace('.', f.dec).replace('KB', f.kb);
      assert.ok(s.cpu.includes(want) || s.firmware.includes(want), where(want));
    }

    // The program's words that once stayed English.
    if (code !== 'en') {
      const english = [...s.cpu, ...s.firmware].filter((t) => /max rel\. error|vendor\/uarch|x86-semantics|^L\d (data|instr|unified) /.test(t));
      assert.deepEqual(english, [], where('FPU texts'));
      assert.ok(!s.displayHeads.includes('PCI IDs') && !s.displayHeads.includes('Video ID'), where(s.displayHeads.join(' | ')));
    }
    // Identifiers are shown: the lead's sentence without "(identifiers hidden)", whole.
    assert.equal(s.jsonLead, tr(code, 'The in-memory report as sent to this view. Exports use the menu at the top right.'), where('Raw JSON lead'));

    // A broken file is named in the language, without the browser's English.
    await hostSend(page, { type: 'file', slot: 'B', name: 'broken.json', text: '{"schema": "vorq.snapshot/1", ' });
    const message = await page.textContent('#toast');
    const slotError = await page.evaluate(() => { showTab('compare'); return document.querySelector('#view .slot-error').textContent; });
    assert.equal(slotError, message, where('slot and toast'));
    assert.ok(message.includes('broken.json') && message.includes(tr(code, 'not a valid report (the file is not JSON)')) &&
      !/Unexpected|JSON input|position/.test(message), where(message));
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});
