'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const path = require('node:path');
const { Harness, fixture, sent, hostSend, loadReport, ROOT } = require('./harness');

const h = new Harness();
before(() => h.start());
after(() => h.stop());

test('tx: exact entries, templates, lists, heads and sentences', async () => {
  const page = await h.open({ init: { lang: 'de' } });
  const cases = [
    ['Storage', 'Speicher'],
    ['Rows: 12', 'Zeilen: 12'],
    ['Rows: 1,024.5', 'Zeilen: 1.024,5'], // a number in a template takes the language's notation
    ['0.5 hours', '0,5 Stunden'],
    ['Uptime 0.5 hours', 'Uptime 0.5 hours'], // no template: as written
    // A date a template carries is written as the language writes dates.
    ['Remote Desktop certificate (valid to 2027-01-31)', 'Remotedesktopzertifikat (gültig bis 31.01.2027)'],
    ['Remote Desktop certificate (valid to 2027-01-31 10:20)', 'Remotedesktopzertifikat (gültig bis 2027-01-31 10:20)'], // no zone: as written
    ['Rows: many', 'Rows: many'], // {n} takes digits, points and commas only
    ['Collecting: Platform security…', 'Erfassung: Plattformsicherheit…'], // {t} is translated on its own
    ['Disk 0 serial (Storage)', 'Seriennummer von Datenträger 0 (Storage)'], // {x} is copied as it is
    ['Permanent MAC - Mobile broadband (Qualcomm X55)', 'Permanente MAC - Mobilfunk (Qualcomm X55)'],
    ['Permanent MAC - {x2} (Intel)', 'Permanente MAC - {x2} (Intel)'], // a value is never filled again
    // A safe report masks an argument in place: the template still matches, the tag stays as written.
    ['Disk 0 serial (hmac:A8A06841EFB01B9D4789F3D7)', 'Seriennummer von Datenträger 0 (hmac:A8A06841EFB01B9D4789F3D7)'],
    ['Remote Desktop certificate (valid to hmac:0123456789ABCDEF01234567)', 'Remotedesktopzertifikat (gültig bis hmac:0123456789ABCDEF01234567)'],
    ['AVX, AVX2, yes', 'AVX, AVX2, ja'],
    ['yes · no / Detected;  Storage', 'ja · nein / Erkannt;  Speicher'],
    ['Hypervisor - KVM signature', 'Hypervisor - KVM signature'],
    ['Storage - 2 disks', 'Speicher - 2 disks'],
    ['Mobile broadband query failed. Needs administrator rights.', 'Mobilfunkabfrage fehlgeschlagen. Administratorrechte erforderlich.'],
    ['Mobile broadband query failed. Nothing else.', 'Mobile broadband query failed. Nothing else.'],
    ['A text nobody translated', 'A text nobody translated'],
    // The program's own words inside a template are {t}: translated too.
    ['SystemIdentification source: unavailable', 'SystemIdentification-Quelle: nicht verfügbar'],
    ['matches permanent (permanent address is locally administered)', 'entspricht permanenter (permanente Adresse ist lokal verwaltet)'],
    ['topology level: core, x2APIC 2', 'Topologieebene: Kern, x2APIC 2'],
    ['Biometric framework not available: error 126: Module not found.', 'Biometrie-Framework nicht verfügbar: Fehler 126: Module not found.'],
    ['', ''],
  ];
  const got = await page.evaluate((c) => c.map(([s]) => tx(s)), cases);
  assert.deepEqual(got, cases.map((c) => c[1]));
  assert.deepEqual(await page.evaluate(() => [tx(null), tx(undefined), tx(12)]), ['', '', '12']);
  // tf fills without translating the values; English returns the template itself.
  assert.equal(await page.evaluate(() => tf('Shown: {n1} of {n2}', { n1: 3, n2: 'Storage' })), 'Angezeigt: 3 von Storage');
  await page.evaluate(() => setLang('en'));
  assert.equal(await page.evaluate(() => tf('Shown: {n1} of {n2}', { n1: 3, n2: 4 }) + '|' + tx('Rows: 12')), 'Shown: 3 of 4|Rows: 12');
  assert.equal(await page.evaluate(() => tf('Could not load {x1}: {x2}', { x1: '{x2}.json', x2: 'bad' })), 'Could not load {x2}.json: bad');
  await page.close();
});

test('sentences translated one by one join as the language joins them: no blank after a Chinese full stop', async () => {
  const page = await h.open({ init: { lang: 'zh-Hans' } });
  const text = 'Mobile broadband query failed. Needs administrator rights.';
  for (const code of ['zh-Hans', 'zh-Hant', 'de', 'ru']) {
    const [whole, head, tail] = await page.evaluate(([c, t]) => {
      setLang(c);
      return [tx(t), tx('Mobile broadband query failed.'), tx('Needs administrator rights.')];
    }, [code, text]);
    assert.equal(whole, code.startsWith('zh') ? head + tail : head + ' ' + tail, code);
    assert.ok(!/[。！？] /.test(whole), code + ': ' + whole);
  }
  await page.close();
});

// Collectors append counts and error codes to their notes; the appended
// sentence is a template, so it translates on any machine, not only for the
// values of the report the key list was made from.
test('notes with an appended count or error code translate both parts', async () => {
  const page = await h.open({ init: { lang: 'de' } });
  const got = await page.evaluate(() => {
    const head = 'Readers registered with the Smart Card Resource Manager, queried without a card. ' +
      'Vendor serial numbers, when the reader reports one, are per unit.';
    return [tx(head) !== head, tx(head + ' Reader list not available (0x80100002).') === tx(head) + ' Leserliste nicht verfügbar (0x80100002).',
      tx('7 software/filter interfaces not shown.'), tx('3 endpoint(s) of devices that are no longer present are not listed.')];
  });
  assert.deepEqual(got, [true, true, '7 Software-/Filterschnittstellen nicht angezeigt.',
    '3 Endpunkt(e) nicht mehr vorhandener Geräte werden nicht aufgeführt.']);
  await page.close();
});

// Values in reports can be as long as a file allows. Before the length bound
// each of these took minutes (template and list expressions backtrack over the
// whole text, sentence heads recursed once per sentence); the timeout only
// keeps a regression from hanging the suite.
test('long hostile values are translated whole and quickly', { timeout: 60000 }, async () => {
  const page = await h.open({ init: { lang: 'de' } });
  const got = await page.evaluate(() => {
    const mb = 1 << 20;
    const cases = [
      'v' + ' · scan '.repeat(mb / 8) + 'x', // against 'v{x1} · scan {x2} s'
      'Could not load ' + ': '.repeat(mb / 2),
      'Needs administrator rights. '.repeat(mb / 28) + 'Nothing else.',
      'yes' + ' '.repeat(mb) + 'no', // whitespace the list separators look through
      'Storage - ' + 'x'.repeat(mb),
    ];
    return cases.map((s) => {
      const t = tx(s);
      return t === s ? 'unchanged' : t.slice(0, 12) + '…' + t.length;
    });
  });
  assert.deepEqual(got, ['unchanged', 'unchanged', 'unchanged', 'unchanged', 'Speicher - x…' + ((1 << 20) + 11)]);
  assert.deepEqual(await page.evaluate(() => window.__pageErrors), []);
  await page.close();
});

// A count takes the form of its number's plural category: English and German
// have one and other, Russian one, few and many (21 is "one" again).
test('counts read right for one and for many', async () => {
  const cases = {
    en: {
      '{n1} differ': ['1 differs', '2 differ', '5 differ', '21 differ'],
      'fields compared': ['1 field compared', '2 fields compared', '5 fields compared', '21 fields compared'],
      'raw data rows': ['1 raw data row', '2 raw data rows', '5 raw data rows', '21 raw data rows'],
      'not comparable': ['1 not comparable', '2 not comparable', '5 not comparable', '21 not comparable'],
    },
    ru: {
      '{n1} differ': ['различаются: 1', 'различаются: 2', 'различаются: 5', 'различаются: 21'],
      'differ': ['1 различается', '2 различаются', '5 различаются', '21 различается'],
      'fields compared': ['1 поле сравнено', '2 поля сравнено', '5 полей сравнено', '21 поле сравнено'],
      'raw data rows': ['1 строка необработанных данных', '2 строки необработанных данных', '5 строк необработанных данных',
        '21 строка необработанных данных'],
    },
    es: {
      '{n1} differ': ['1 difiere', '2 difieren', '5 difieren', '21 difieren'],
      'fields compared': ['1 campo comparado', '2 campos comparados', '5 campos comparados', '21 campos comparados'],
      'not comparable': ['1 no comparable', '2 no comparables', '5 no comparables', '21 no comparables'],
    },
    de: {
      '{n1} differ': ['1 abweichend', '2 abweichend', '5 abweichend', '21 abweichend'],
      'fields compared': ['1 Feld verglichen', '2 Felder verglichen', '5 Felder verglichen', '21 Felder verglichen'],
      'identifiers catalogued': ['1 Kennung katalogisiert', '2 Kennungen katalogisiert', '5 Kennungen katalogisiert',
        '21 Kennungen katalogisiert'],
    },
  };
  const page = await h.open();
  for (const [code, keys] of Object.entries(cases)) {
    await page.evaluate((c) => setLang(c), code);
    const got = await page.evaluate((ks) => Object.fromEntries(ks.map((k) =>
      [k, [1, 2, 5, 21].map((n) => (k.includes('{n1}') ? tn(n, k) : n + ' ' + tn(n, k)))])), Object.keys(keys));
    assert.deepEqual(got, keys, code);
  }
  // Without a number the key reads as before: the Spanish legend word.
  assert.equal(await page.evaluate(() => { setLang('es'); return tx('not comparable'); }), 'no comparable');
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The dictionary check knows which "<key>#<category>" forms each language
// can have; its list must be the browser's.
test('the dictionary check allows the plural categories the browser has', async () => {
  const script = 'import json, sys; sys.path.insert(0, sys.argv[1]); import i18n_check; print(json.dumps(i18n_check.PLURAL_CATEGORIES))';
  const want = JSON.parse(execFileSync('python3', ['-c', script, path.join(ROOT, 'scripts')], { encoding: 'utf8' }));
  const page = await h.open();
  const got = await page.evaluate((codes) => Object.fromEntries(codes.map((c) =>
    [c, new Intl.PluralRules(c).resolvedOptions().pluralCategories.slice().sort()])), Object.keys(want));
  for (const c of Object.keys(want)) want[c].sort();
  assert.deepEqual(got, want);
  await page.close();
});

// The button's name sits inside the sentence, where each language puts it.
test('the About page names the key button inside one translated sentence', async () => {
  const cases = [
    ['en', 'The optional TPM-bound demo key is created only by the button on the TPM page and removed by "Delete key".'],
    ['de', 'Der optionale TPM-gebundene Demoschlüssel wird nur über die Schaltfläche auf der TPM-Seite erstellt und über „Schlüssel löschen“ entfernt.'],
    ['zh-Hans', '可选的 TPM 绑定演示密钥只能通过 TPM 页面上的按钮创建，并通过“删除密钥”按钮删除。'],
  ];
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  for (const [code, want] of cases) {
    await page.evaluate((c) => { setLang(c); showTab('about', true); }, code);
    const got = await page.$$eval('#view p', (ps) => ps.map((p) => p.textContent).filter((t) => t.includes('TPM')));
    assert.deepEqual(got, [want], code);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('compiled templates are anchored and keep placeholder order', async () => {
  const page = await h.open();
  const r = await page.evaluate(() => {
    const c = compileTemplate('{n1} of {n2} DXGI adapters match a PnP device');
    return [c.names, c.re.test('2 of 3 DXGI adapters match a PnP device'), c.re.test('x2 of 3 DXGI adapters match a PnP device'),
      compileTemplate('a.b {x1}').re.test('aXb c'), compileTemplate('Note: {x1}').re.test('Note: two\nlines'),
      fillTemplate('{x2} / {x1}', ['x1', 'x2'], ['A', 'B'])];
  });
  assert.deepEqual(r, [['n1', 'n2'], true, false, false, true, 'B / A']);
  await page.close();
});

test('language choice: start-up object, stored choice, browser languages, English', async () => {
  const cases = [
    [{ lang: 'de' }, ['fr-FR'], 'de'],
    [{ lang: 'xx' }, ['fr-FR'], 'fr'],
    [{}, ['zh-TW'], 'zh-Hant'],
    [{}, ['zh-HK'], 'zh-Hant'],
    [{}, ['zh-CN'], 'zh-Hans'],
    [{}, ['pt-BR'], 'pt'],
    [{}, ['ja', 'es-MX'], 'es'],
    [{}, ['ja'], 'en'],
    [undefined, ['de-AT'], 'de'],
  ];
  for (const [init, languages, want] of cases) {
    const page = await h.open({ init, languages });
    assert.equal(await page.evaluate(() => LANG + '|' + document.documentElement.lang), want + '|' + want, JSON.stringify([init, languages]));
    await page.close();
  }
});

test('a choice in the menu is sent once, stored, and wins over the browser next time', async () => {
  const context = await h.browser.newContext();
  const page = await h.open({ context, languages: ['fr-FR'] });
  await loadReport(page, fixture('report-ui.json'));
  await page.click('#lang-btn');
  assert.equal(await page.isVisible('#lang-menu'), true);
  await page.click('#lang-menu [data-code="de"]');
  assert.deepEqual((await sent(page)).filter((m) => m.startsWith('setlang:')), ['setlang:de']);
  assert.equal(await page.textContent('#reveal-label'), 'Kennungen anzeigen');
  assert.equal(await page.textContent('.nav-btn[data-id="overview"] .nav-label'), 'Übersicht');
  assert.equal(await page.getAttribute('#search', 'placeholder'), 'Zeilen filtern (Strg+F)');
  await hostSend(page, { type: 'progress', stage: 'Platform security', pct: 50 });
  assert.equal(await page.textContent('#progress-text'), 'Erfassung: Plattformsicherheit…');
  await page.close();
  const again = await h.open({ context, languages: ['fr-FR'] });
  assert.equal(await again.evaluate(() => LANG), 'de');
  await context.close();
});

test('a language switch with a report open redraws the version line and the standard-user banner', async () => {
  const page = await h.open({ languages: ['fr-FR'] });
  await loadReport(page, fixture('report-ui.json'));
  assert.equal(await page.textContent('#version-line'), 'v1.4.0 · analyse 12,3 s');
  await page.evaluate(() => setLang('de', true));
  assert.equal(await page.textContent('#version-line'), 'v1.4.0 · Erfassung 12,3 s');
  assert.equal(await page.textContent('#banner button[data-act="elevate"]'), 'Als Administrator neu starten');
  assert.equal(await page.textContent('#banner span'), 'Standardbenutzer: Manche Lesevorgänge erfordern Administratorrechte.');
  assert.match(await page.getAttribute('#banner span', 'title'), /^Ausführung als Standardbenutzer\./);
  assert.equal(await page.getAttribute('#banner [data-act="banner-off"]', 'title'), 'Bis zum Schließen des Programms ausblenden');
  assert.equal(await page.$$eval('#banner button', (b) => b.length), 2);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Counts and durations the page writes itself follow the language, and so
// does a size from a report that the page translates through its unit.
test('the page writes its own counts and durations in the number format of the language', async () => {
  const report = fixture('report-ui.json');
  report.durationMs = 523;
  report.tables.push({ tab: 'storage', id: 'storage.many', title: 'Volumes', columns: ['Name', 'Size'],
    rows: Array.from({ length: 1523 }, (_, i) => ({ c: ['v' + i, '1,523 MB'] })) });
  const rows = report.tables.reduce((n, t) => n + t.rows.length, 0);
  const cases = [
    ['en', '1,523', ',', '0.5 s', '1,523 MB'],
    ['de', '1.523', '.', '0,5 s', '1.523 MB'],
    ['fr', '1\u202f523', '\u202f', '0,5 s', '1\u202f523 Mo'],
    ['ru', '1\u00a0523', '\u00a0', '0,5 с', '1\u00a0523 МБ'],
  ];
  const page = await h.open({ viewport: { width: 1400, height: 900 } });
  await loadReport(page, report);
  for (const [code, count, group, seconds, size] of cases) {
    await page.evaluate((c) => { setLang(c); showTab('storage'); }, code);
    const shown = await page.evaluate(() => ({
      nav: document.querySelector('.nav-btn[data-id="storage"] .nav-count').textContent,
      meta: [...document.querySelectorAll('#view .card .meta')].map((m) => m.textContent),
      cell: document.querySelector('#view .card:last-of-type tbody td:last-child').textContent,
      version: document.getElementById('version-line').textContent,
    }));
    assert.equal(shown.nav, String(1523 + 2).replace(/^(\d)/, '$1' + group), code);
    assert.ok(shown.meta.some((m) => m.includes(count)), code + ': ' + shown.meta.join(' | '));
    assert.equal(shown.cell, size, code);
    assert.ok(shown.version.startsWith('v1.4.0 · ') && shown.version.endsWith(' ' + seconds), code + ': ' + shown.version);
    await page.evaluate(() => showTab('overview'));
    const stats = await page.$$eval('#view .stat-num', (els) => els.map((e) => e.textContent));
    assert.ok(stats.includes(String(rows).replace(/^(\d)/, '$1' + group)), code + ': ' + stats.join(' | '));
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

// How each language writes what the page formats: the digit group of a
// four-digit number, the decimal mark, the unit symbols, the space before
// "%" (Spanish groups only from five digits; French and Russian group with a
// narrow or a no-break space), the day 2027-01-31 and 2024-05-02T10:20:30Z
// in UTC.
const NUMBER_FORMS = {
  en: { group: ',', dec: '.', ms: 'ms', s: 's', kb: 'KB', mb: 'MB', pct: '%', day: 'Jan 31, 2027', date: 'May 2, 2024, 10:20:30 AM UTC' },
  ru: { group: '\u00a0', dec: ',', ms: 'мс', s: 'с', kb: 'КБ', mb: 'МБ', pct: '\u00a0%', day: '31 янв. 2027 г.', date: '2 мая 2024 г., 10:20:30 UTC' },
  vi: { group: '.', dec: ',', ms: 'ms', s: 'giây', kb: 'KB', mb: 'MB', pct: '%', day: '31 thg 1, 2027', date: '10:20:30 UTC 2 thg 5, 2024' },
  'zh-Hans': { group: ',', dec: '.', ms: '毫秒', s: '秒', kb: 'KB', mb: 'MB', pct: '%', day: '2027年1月31日', date: '2024年5月2日 UTC 10:20:30' },
  'zh-Hant': { group: ',', dec: '.', ms: '毫秒', s: '秒', kb: 'KB', mb: 'MB', pct: '%', day: '2027年1月31日', date: '2024年5月2日 上午10:20:30 [UTC]' },
  es: { group: '', dec: ',', ms: 'ms', s: 's', kb: 'KB', mb: 'MB', pct: '\u00a0%', day: '31 ene 2027', date: '2 may 2024, 10:20:30 UTC' },
  pt: { group: '.', dec: ',', ms: 'ms', s: 's', kb: 'KB', mb: 'MB', pct: '%', day: '31 de jan. de 2027', date: '2 de mai. de 2024, 10:20:30 UTC' },
  fr: { group: '\u202f', dec: ',', ms: 'ms', s: 's', kb: 'Ko', mb: 'Mo', pct: '\u00a0%', day: '31 janv. 2027', date: '2 mai 2024, 10:20:30 UTC' },
  de: { group: '.', dec: ',', ms: 'ms', s: 's', kb: 'KB', mb: 'MB', pct: '\u00a0%', day: '31.01.2027', date: '02.05.2024, 10:20:30 UTC' },
};

// Counts, durations, sizes, percentages and dates are written the way the
// language writes them: those the page works out itself, and those of report
// values the page translates (a size or a duration with its unit, a
// percentage, a date). A number the page does not translate stays as written.
test('numbers, units, percentages and dates follow the language, the page\'s own and those of report values', { timeout: 300000 }, async () => {
  const report = fixture('report-ui.json');
  report.durationMs = 12345.6789;
  report.collectors[0].ms = 1234.5;
  const catalog = report.tables.find((t) => t.id === 'vm.catalog.methods');
  catalog.rows = Array.from({ length: 1210 }, (_, i) => ({ c: [String(i + 1)].concat(catalog.rows[0].c.slice(1)) }));
  const quoted = ['9%', '0.8 s', '12.5 ms', '1,523 MB', '640 KB', '2024-05-02 10:20:30 UTC', '2027-01-31', '2.4', '7601.0', '2010', '2024-13-02'];
  report.tables.push({ tab: 'storage', id: 'storage.quoted', title: 'Quoted', columns: ['Name', 'Value'], sens: 0, groupCol: -1,
    rows: quoted.map((v, i) => ({ c: ['q' + i, v] })) });
  // Enough text that the Raw JSON view's size needs a digit group.
  report.notes.push('x'.repeat(1100 * 1024));
  const page = await h.open({ languages: ['en'] });
  await loadReport(page, report);
  await page.evaluate(() => showTab('compare'));
  await page.click('[data-act="cmp-sim"][data-sim="reinstall"]');
  const escRe = (t) => t.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  for (const [code, f] of Object.entries(NUMBER_FORMS)) {
    await page.evaluate((c) => { setLang(c); showTab('vm'); }, code);
    const vm = await page.evaluate(() => ({
      catalog: document.querySelector('[data-target="vm-catalog"]').textContent,
      ring: document.querySelector('.score .ring-text').textContent,
      sign: [...document.querySelectorAll('.score .ring-unit')].map((e) => e.textContent),
    }));
    assert.ok(vm.catalog.endsWith(' · 1' + f.group + '210'), code + ': ' + vm.catalog);
    assert.equal(vm.ring, '27' + f.pct, code);
    assert.deepEqual(vm.sign, [f.pct], code);

    await page.evaluate(() => showTab('overview'));
    const overview = await page.evaluate(() => {
      const card = [...document.querySelectorAll('#view .card')].at(-1);
      return { meta: card.querySelector('.meta').textContent, ms: card.querySelector('tbody td.num').textContent,
        version: document.getElementById('version-line').textContent };
    });
    assert.equal(overview.ms, '1' + f.group + '234' + f.dec + '5 ' + f.ms, code);
    assert.equal(overview.meta, '12' + f.dec + '3 ' + f.s + ' · ' + f.date, code);
    assert.ok(overview.version.endsWith(' 12' + f.dec + '3 ' + f.s), code + ': ' + overview.version);

    await page.evaluate(() => showTab('json'));
    assert.match(await page.textContent('#view .card .meta'), new RegExp('^1' + escRe(f.group) + '\\d{3} ' + escRe(f.kb) + '$'), code);

    await page.evaluate(() => showTab('tpm'));
    await hostSend(page, { type: 'tpmkey', providerOk: true, exists: true, challengeOk: true, message: 'Challenge verified', signMs: 1234.4 });
    assert.ok((await page.textContent('#view')).includes('1' + f.group + '234 ' + f.ms), code);

    await page.evaluate(() => showTab('compare'));
    const weights = await page.evaluate(() => [...document.querySelectorAll('.decision + .card tbody tr')].map((tr) =>
      [tr.children[1].textContent, (tr.querySelector('.dbar-num') || {}).textContent]));
    assert.equal(weights[0][0], '33' + f.pct, code);
    assert.ok(weights.every(([w, bar]) => new RegExp('^\\d+' + escRe(f.pct) + '$').test(w) &&
      (bar === undefined || new RegExp('^\\d+' + escRe(f.pct) + '$').test(bar))), code + ': ' + JSON.stringify(weights));

    await page.evaluate(() => showTab('storage'));
    const values = await page.evaluate(() => {
      const card = [...document.querySelectorAll('#view .card')].find((c) => [...c.querySelectorAll('tbody td')].some((td) => td.textContent === 'q0'));
      return [...card.querySelectorAll('tbody tr')].map((tr) => tr.lastElementChild.textContent);
    });
    assert.deepEqual(values, ['9' + f.pct, '0' + f.dec + '8 ' + f.s, '12' + f.dec + '5 ' + f.ms, '1' + f.group + '523 ' + f.mb, '640 ' + f.kb,
      f.date, f.day, '2.4', '7601.0', '2010', '2024-13-02'], code);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The Compare hint tells where the privacy-safe export is: the path it
// names must be the one the header's button and menu show.
test('the Compare hint names the export menu path as the header shows it, in every language', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  const codes = await page.evaluate(() => LANG_CODES.slice());
  assert.equal(codes.length, 9);
  for (const code of codes) {
    const got = await page.evaluate((c) => {
      setLang(c);
      showTab('compare');
      const path = document.querySelector('#export-btn span').textContent + ' → ' +
        document.querySelector('#export-menu [data-act="export-safe"] .menu-title').textContent;
      return [path, document.querySelector('#view .empty').textContent];
    }, code);
    assert.ok(got[1].includes('(' + got[0] + ')') || got[1].includes('（' + got[0] + '）'), code + ': ' + got.join(' | '));
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('every language has a flag drawing and a menu entry', async () => {
  const page = await h.open();
  await page.click('#lang-btn');
  const entries = await page.$$eval('#lang-menu .lang-item', (els) => els.map((e) => [e.dataset.code, e.querySelectorAll('svg.flag').length]));
  assert.deepEqual(entries.map((e) => e[0]), ['ru', 'en', 'vi', 'zh-Hans', 'zh-Hant', 'es', 'pt', 'fr', 'de']);
  assert.ok(entries.every((e) => e[1] === 1));
  assert.equal(await page.getAttribute('#lang-menu .current', 'data-code'), 'en');
  assert.deepEqual(page.errors, []);
  await page.close();
});

// French sets a no-break space before ":" (U+00A0) and before ";", "!", "?"
// (U+202F, narrow), so no line starts with the mark: in every text of its
// dictionary, and where the page puts a label before a value.
test('French keeps its no-break space before colons and semicolons, in its texts and where the page joins them', async () => {
  const fr = JSON.parse(require('node:fs').readFileSync(path.join(ROOT, 'ui', 'i18n', 'fr.json'), 'utf8'));
  const bad = Object.entries(fr).filter(([, t]) =>
    /[ \u00a0][;!?]|[ \u202f]:|« | »|[^\s\u202f][;!?](\s|$)/.test(t)).map(([k, t]) => k + ' -> ' + t);
  assert.deepEqual(bad, []);
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  const labels = () => [...document.querySelectorAll('#view .vm-id, #view .vm-evidence > .metric-label, #view .vm-fp > .metric-label')].map((e) => e.textContent);
  for (const [code, colon] of [['fr', '\u00a0:'], ['de', ':'], ['en', ':']]) {
    await page.evaluate((c) => { setLang(c); showTab('vm', true); }, code);
    const got = await page.evaluate(labels);
    assert.ok(got.length > 0, code);
    for (const t of got) assert.ok(t.endsWith(colon) || t.includes(colon + ' '), code + ': ' + JSON.stringify(t));
    if (code !== 'fr') assert.ok(got.every((t) => !/\s:/.test(t)), code);
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});
