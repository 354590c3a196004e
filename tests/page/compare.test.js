'use strict';
// The Compare snapshots and Report diff tabs in the browser.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, fixture, sent, hostSend, loadReport, NO_EXE } = require('./harness');
const { winePairs } = require('./wine-pairs');
const { pcShaped } = require('./pc-report');

const h = new Harness();
let wine = null;
before(async () => {
  if (!NO_EXE) wine = winePairs();
  await h.start();
});
after(() => h.stop());

const fileMessage = (slot, name, report) => ({ type: 'file', slot, name, text: typeof report === 'string' ? report : JSON.stringify(report) });
const texts = (page, sel) => page.$$eval(sel, (els) => els.map((e) => e.textContent));

test('Compare: current scan in A, a simulation in B, the decision and the way to the diff', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await page.click('.nav-btn[data-id="compare"]');
  assert.match(await page.textContent('#view'), /Take a privacy-safe report/);
  assert.match(await page.textContent('.slot >> nth=1'), /EmptyLoad a report file or use the current scan/);
  await page.click('[data-act="cmp-sim"][data-sim="reinstall"]');
  assert.match(await page.textContent('.sim-note'), /Report B is simulated from the current scan \(Clean Windows reinstall\)/);
  assert.equal(await page.getAttribute('[data-sim="reinstall"]', 'class'), 'chip on');
  assert.match(await page.textContent('.decision'), /Same device|Probable same device/);
  assert.match(await page.textContent('.decision'), /Both reports use the same HMAC key/);
  const clusters = await texts(page, '.card:has(h3:text-is("Identity clusters")) tbody tr');
  assert.equal(clusters.length, 9);
  // Differences only: every shown row changed; the sensitive value stays masked.
  const diffRows = await texts(page, '.card:has(h3:text-is("Signal diff")) tbody tr');
  assert.ok(diffRows.length > 0 && diffRows.every((r) => !/\bsame$/.test(r)));
  assert.doesNotMatch(await page.textContent('#view'), /4C4C4544-0042/);
  await page.uncheck('[data-opt="cmp-only"]');
  assert.ok((await texts(page, '.card:has(h3:text-is("Signal diff")) tbody tr')).length > diffRows.length);
  assert.equal(await page.evaluate(() => state.cmp.onlyDiff), false);

  await page.click('[data-act="cmp-load"][data-slot="B"]');
  assert.equal((await sent(page)).at(-1), 'open:B|Open report file');
  await page.click('[data-act="cmp-open-diff"]');
  assert.equal(await page.evaluate(() => state.tab), 'diff');
  assert.equal(await page.getAttribute('.nav-btn.active', 'data-id'), 'diff');
  assert.equal(await page.evaluate(() => state.diff.A === state.cmp.A && state.diff.B === state.cmp.B), true);
  assert.match(await page.textContent('.slot >> nth=1'), / · simulated · key 3FA2C1D0 · Clean Windows reinstall/);
  assert.match(await page.textContent('#view'), /fields compared/);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Report diff: files into the slots, a refused file named in its slot, options, search and masks', async () => {
  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, fixture('report-ui.json'));
  await page.click('.nav-btn[data-id="diff"]');
  assert.match(await page.textContent('#view'), /Load a report into each slot/);
  await hostSend(page, fileMessage('DA', 'a.json', fixture('report-ui.json')));
  await hostSend(page, fileMessage('DB', 'other.json', '{"schema":"other/1"}'));
  assert.equal(await page.textContent('.slot >> nth=1 >> .slot-error'), 'Could not load other.json: not a VornixQuelm report');
  const b = fixture('report-ui.json');
  b.created = '2024-05-02T10:30:00Z';
  b.tables.find((t) => t.id === 'storage.disks').rows[0].c[2] = 'Samsung SSD 990';
  b.tables.push({ tab: 'display', id: 'display.extra', title: 'Extra', columns: ['Name', 'Value', 'More'], rows: [{ c: ['x', 'y', 'z'] }] });
  await hostSend(page, fileMessage('DB', 'b.json', b));
  assert.equal(await page.textContent('#toast'), 'Loaded b.json into report B');
  assert.equal(await page.$('.slot-error'), null);

  const stats = await texts(page, '.diff-stats .stat');
  assert.deepEqual(stats.slice(1), ['1differs', '0only in A', '1only in B', '2not comparable']);
  assert.equal(await page.textContent('.nav-btn[data-id="diff"] .nav-count'), '1');
  const chips = await texts(page, '.chips .chip');
  assert.deepEqual(chips, ['Disks1', 'Extra1']);
  // The changed model shows A over B, the serial column stays masked.
  const pair = await texts(page, '#view .card:has(h3:text-is("Disks")) tbody tr');
  assert.deepEqual(pair, ['A0●●●●●●●●●●Samsung SSD 980●●●●●●●●●●', 'B0●●●●●●●●●●Samsung SSD 990●●●●●●●●●●']);
  assert.equal(await page.getAttribute('#view .card:has(h3:text-is("Disks")) tbody tr >> nth=0 >> td >> nth=3', 'class'), 'd-diff');
  assert.match(await page.textContent('#view .card:has(h3:text-is("Extra"))'), /only in B/);
  // Differences only: the sections that do not differ keep no card, one line counts them.
  const sections = await page.evaluate(() => currentDiff().sections.length);
  assert.deepEqual(await texts(page, '#view .card:not(.slot) h3'), ['Disks', 'Extra']);
  assert.equal(await page.textContent('.diff-same'), (sections - 2) + ' sections without differences are hidden.');

  await page.uncheck('[data-opt="diff-volatile"]');
  assert.deepEqual((await texts(page, '.diff-stats .stat')).slice(1, 2), ['2differ']);
  await page.uncheck('[data-opt="diff-only"]');
  assert.equal(await page.$('.diff-same'), null);
  assert.equal((await page.$$('#view .card:not(.slot) h3')).length, sections);
  assert.ok((await texts(page, '#view .card:has(h3:text-is("Report")) tbody tr')).length === 8);
  await page.fill('#search', 'S4EWNX0R123456');
  await page.waitForFunction(() => state.q === 'S4EWNX0R123456');
  assert.match(await page.textContent('#view .card:has(h3:text-is("Disks"))'), /No rows match the filter\./);
  await page.click('#reveal-btn');
  assert.match(await page.textContent('#view .card:has(h3:text-is("Disks"))'), /S4EWNX0R123456/);

  await page.click('[data-act="diff-clear"][data-slot="B"]');
  assert.equal(await page.evaluate(() => state.diff.B), null);
  await page.click('[data-act="diff-use"][data-slot="B"]');
  assert.equal(await page.evaluate(() => state.diff.B === state.snap), true);
  await page.click('[data-act="pick"][data-slot="DA"]');
  assert.equal((await sent(page)).at(-1), 'open:DA|Open report file');
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('capture mode fills both tabs with demonstration reports', async () => {
  const page = await h.open();
  await loadReport(page, fixture('report-ui.json'));
  await page.evaluate(() => showTab('compare', true));
  assert.match(await page.textContent('.sim-note'), /System SSD replaced/);
  await page.evaluate(() => showTab('diff', true));
  await page.waitForFunction(() => window.__sent.includes('shown:diff'));
  const view = await page.textContent('#view');
  assert.match(view, /added in B/);
  assert.match(view, /\(B\)/);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Report diff draws at most 500 rows per section and says so', async () => {
  const page = await h.open();
  const a = fixture('report-ui.json');
  a.tables.push({ tab: 'devices', id: 'devices', title: 'Devices', columns: ['Device', 'Driver', 'Version'],
    rows: Array.from({ length: 620 }, (_, i) => ({ c: ['Node ' + i, 'drv.sys', '1.' + i] })) });
  const b = JSON.parse(JSON.stringify(a));
  for (const row of b.tables.at(-1).rows) row.c[2] += '.1';
  await loadReport(page, a);
  await hostSend(page, fileMessage('DA', 'a.json', a));
  await hostSend(page, fileMessage('DB', 'b.json', b));
  await page.click('.nav-btn[data-id="diff"]');
  const card = '#view .card:has(h3:text-is("Devices"))';
  assert.match(await page.textContent(card), /Showing 500 of 620 rows; the search box narrows them down\./);
  assert.equal((await page.$$(card + ' tbody tr')).length, 1000);
  await page.fill('#search', 'Node 610');
  await page.waitForFunction(() => state.q === 'Node 610');
  assert.equal((await page.$$(card + ' tbody tr')).length, 2);
  await page.close();
});

test('Compare draws at most 500 rows of the signal diff and says so', async () => {
  const page = await h.open();
  const a = fixture('report-ui.json');
  await loadReport(page, a);
  const b = JSON.parse(JSON.stringify(a));
  for (let i = 0; i < 20000; i++) b.signals.push({ key: 'x.k' + i, name: 'Extra ' + i, group: 'storage', w: 1, q: 1, v: 'v' + i });
  await hostSend(page, fileMessage('B', 'b.json', b));
  await page.click('.nav-btn[data-id="compare"]');
  const card = '#view .card:has(h3:text-is("Signal diff"))';
  assert.match(await page.textContent(card), /Showing 500 of 20,?\d{3} rows; the search box narrows them down\./);
  assert.equal((await page.$$(card + ' tbody tr')).length, 500);
  await page.fill('#search', 'Extra 19999');
  await page.waitForFunction(() => state.q === 'Extra 19999');
  assert.equal((await page.$$(card + ' tbody tr')).length, 1);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Compare and Report diff show report values as the tables do: translated
// where the page has a translation, identifiers and hashes as written.
test('Compare and Report diff show values in the page language; identifiers stay as written', async () => {
  const cases = [
    ['x.topology', '1 socket / 8 cores / 8 threads', '1 Sockel / 8 Kerne / 8 Threads'],
    ['x.hv', 'Hypervisor reported; see VM Detection for guest classification', 'Hypervisor gemeldet; Gasteinstufung siehe VM-Erkennung'],
    ['x.os', 'Microsoft Windows 7  (build 7601.0)', 'Microsoft Windows 7  (Build 7601.0)'],
    ['x.chassis', 'Other', 'Andere'],
    ['x.hex', '0A1B2C3D4E5F6071', '0A1B2C3D4E5F6071'],
    ['x.serial', 'Other', 'Other'], // an identifier, revealed
  ];
  const a = fixture('report-ui.json');
  for (const [key, v] of cases) a.signals.push({ key, name: 'Processor', v, group: 'cpu', scope: 'per-model', w: 1, q: 1, sens: key === 'x.serial' });
  const b = JSON.parse(JSON.stringify(a));
  b.elevated = true;
  const page = await h.open({ init: { lang: 'de' }, acceptDialogs: true });
  await loadReport(page, a);
  await page.click('#reveal-btn');
  await hostSend(page, fileMessage('B', 'b.json', b));
  await page.evaluate(() => { state.cmp.onlyDiff = false; showTab('compare'); });
  const shown = await page.evaluate((keys) => keys.map((k) => {
    const row = [...document.querySelectorAll('#view tbody tr')].find((tr) => tr.querySelector('.sig-note') && tr.querySelector('.sig-note').textContent === k + '@cpu');
    return row ? row.querySelector('td.val').textContent : 'no row ' + k;
  }), cases.map((c) => c[0]));
  assert.deepEqual(shown, cases.map((c) => c[2]));
  await hostSend(page, fileMessage('DA', 'a.json', a));
  await hostSend(page, fileMessage('DB', 'b.json', b));
  await page.evaluate(() => showTab('diff'));
  assert.deepEqual(await texts(page, '#view .card:has(h3:text-is("Bericht")) tr.d-diff td.val'), ['nein', 'ja']);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Identifiers and Compare name each group of identifiers by one translated cluster name', async () => {
  const r = pcShaped(fixture('report-ui.json'));
  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, r);
  await hostSend(page, fileMessage('B', 'b.json', r));
  const codes = await page.evaluate(() => LANG_CODES.slice());
  for (const code of codes) {
    const got = await page.evaluate((c) => {
      setLang(c);
      state.cmp.onlyDiff = false;
      showTab('signals');
      const col = (sel, i) => [...document.querySelectorAll(sel)].map((tr) => tr.children[i].textContent);
      const identifiers = col('#view table.signals tbody tr', 5).filter((t) => t !== '-');
      showTab('compare');
      const compare = col('.card:has(h3) table.grid tbody tr:has(.sig-note)', 1).filter((t) => t !== '');
      const groups = [...new Set(state.snap.signals.map((s) => s.group).filter((g) => g))];
      return { identifiers: [...new Set(identifiers)].sort(), compare: [...new Set(compare)].sort(), want: groups.map((g) => tx(groupLabel(g))).sort(),
        english: groups.map(groupLabel).sort() };
    }, code);
    assert.deepEqual(got.identifiers, got.want, code);
    assert.deepEqual(got.compare, got.want, code);
    // Every name but an acronym ("GPU") reads in the language.
    if (code !== 'en') {
      assert.deepEqual(got.want.filter((n) => got.english.includes(n) && !/^[A-Z]+$/.test(n)), [], code);
    }
  }
  assert.ok((await page.evaluate(() => state.snap.signals.map((s) => s.group))).includes('peripheral'));
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Report diff is true to the files: missing fields, flags, deductions, tags and the words of a slot error', async () => {
  const a = fixture('report-ui.json');
  const b = JSON.parse(JSON.stringify(fixture('report-safe.json')));
  delete b.elevated;
  const page = await h.open({ acceptDialogs: true, init: { lang: 'de' } });
  await loadReport(page, a);
  await hostSend(page, fileMessage('DA', 'a.json', a));
  await hostSend(page, fileMessage('DB', 'b.json', b));
  await page.evaluate(() => showTab('diff'));
  const row = (label) => page.evaluate((l) => {
    const tr = [...document.querySelectorAll('#view table.diff tbody tr')].find((x) => x.querySelector('td.key') && x.querySelector('td.key').firstChild.textContent === l);
    return tr ? [...tr.children].slice(1).map((td) => td.textContent) : null;
  }, label);
  // A field only one file holds: "-" on the other side, "only in A".
  assert.deepEqual(await row('Administrator'), [a.elevated ? 'ja' : 'nein', '-', 'nur in A']);
  // A privacy-safe report's tags read as tags while identifiers are hidden.
  const tags = await page.$$eval('#view table.diff td.val .hmac', (els) => els.map((e) => e.textContent));
  assert.ok(tags.length > 0 && tags.every((t) => /^hmac:[0-9A-F]{24}$/.test(t)), JSON.stringify(tags.slice(0, 3)));
  // Deductions as Overview writes them: "-5", never "-5/0".
  await page.evaluate(() => { state.diff.onlyDiff = false; render(); });
  const values = await page.$$eval('#view table.diff td.val', (els) => els.map((e) => e.textContent));
  assert.deepEqual(values.filter((t) => /^-?\d+\/0\b/.test(t)), []);
  assert.ok(values.some((t) => /^-5 · /.test(t)) && values.some((t) => /^-40 · /.test(t)), 'deductions shown');
  // Two identical reports: no differences.
  await page.evaluate(() => { state.diff.onlyDiff = true; });
  await hostSend(page, fileMessage('DB', 'a2.json', a));
  assert.equal(await page.textContent('#view .view-inner > p.empty'), 'Keine Unterschiede.');
  // A file of another format version is named by its version; its error follows the language.
  await hostSend(page, fileMessage('DB', 'next.json', { ...a, schema: 'vorq.snapshot/2' }));
  const error = () => page.textContent('.slot >> nth=1 >> .slot-error');
  const want = (c) => page.evaluate(() => tf('Could not load {x1}: {x2}', { x1: 'next.json', x2: tf('format version {x1}, which this version of the program cannot read; open it with the version that wrote it, or export the report again with this one', { x1: '2' }) }));
  assert.equal(await error(), await want());
  assert.match(await error(), /Formatversion 2/);
  await page.evaluate(() => setLang('fr'));
  assert.equal(await error(), await want());
  assert.match(await error(), /version de format 2/);
  assert.deepEqual(page.errors, []);
  await page.close();
});

// Report pairs written under Wine (see wine-pairs.js), in every language: a
// verdict only when enough was compared, else why not and what to do.
test('Compare gives a verdict only on what it compared, on real report pairs in every language', { skip: NO_EXE }, async () => {
  const want = {
    twice: 'Same device', 'raw-safe': 'Same device', 'installs-raw': 'Same device',
    'two-keys': 'keys', 'installs-safe': 'keys', fixture: 'core', emptied: 'none',
  };
  const page = await h.open();
  await loadReport(page, wine.raw);
  const codes = await page.evaluate(() => LANG_CODES.slice());
  for (const p of wine.pairs) {
    await hostSend(page, fileMessage('A', 'a.json', p.a));
    await hostSend(page, fileMessage('B', 'b.json', p.b));
    for (const code of codes) {
      const got = await page.evaluate((c) => {
        setLang(c);
        showTab('compare');
        const d = document.querySelector('.decision');
        const text = (sel) => (d.querySelector(sel) || {}).textContent;
        const clusters = [...document.querySelectorAll('.decision + .card tbody tr')].map((tr) =>
          [tr.children[2].textContent, tr.classList.contains('dim'), !!tr.querySelector('.dbar'), tr.children[3].textContent]);
        return { title: text('h3'), ring: text('.ring-text'), why: text('.verdict-why'), todo: text('.verdict-todo'), clusters,
          twenty: formatPercent(20), dict: I18N[c] || {}, cmp: tx('not comparable') };
      }, code);
      const tr = (k) => (code === 'en' ? k : got.dict[k]);
      const where = p.name + ' (' + code + ')';
      if (want[p.id].includes(' ')) {
        assert.equal(got.title, tr(want[p.id]), where);
        assert.match(got.ring, /^\d+\/100$/, where);
        assert.equal(got.todo, undefined, where);
      } else {
        assert.equal(got.title, tr('Not enough compared to decide'), where);
        assert.equal(got.ring, '–', where);
        const advice = want[p.id] === 'keys' ? 'Export both reports on one installation, or compare raw reports.'
          : 'Compare reports that hold the per-unit identifiers of both machines: raw reports, or privacy-safe reports exported on one installation, each scanned with administrator rights.';
        assert.equal(got.todo, tr(advice), where);
        if (want[p.id] === 'weight') assert.ok(got.why.includes(got.twenty) && !/\{x\d\}/.test(got.why), where + ': ' + got.why);
        else assert.equal(got.why, tr({
          keys: 'The reports were written under different HMAC keys, so their per-unit and per-install identifiers, stored as tags, cannot be compared.',
          core: 'No TPM, mainboard or storage identifier was compared. The identifiers of a Windows installation, its network adapters and its GPU are copied with a cloned disk image, so on their own they never confirm a device.',
          none: 'No per-unit or per-install identifier holds a value in both reports. Values of a model, such as the CPU brand or the GPU model, are the same on every machine of that model.',
        }[want[p.id]]), where);
      }
      // A cluster in which nothing was compared shows neither a match nor a difference.
      for (const [identical, dim, bar, result] of got.clusters) {
        const none = /^0\s*\/\s*0$/.test(identical);
        assert.deepEqual([dim, bar], [none, !none], where + ': ' + identical);
        if (none) assert.equal(result, got.cmp, where);
      }
    }
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The raw and the privacy-safe report of one installation, whose SMBIOS
// serials are empty: empty reads as empty everywhere, masked or shown, and
// Report diff agrees with Compare that nothing differs in the identifiers.
test('empty identifiers read as empty in every view and language; differences only hides what does not differ', { skip: NO_EXE }, async () => {
  const { raw, safe } = wine;
  const blank = (s) => ('v' in s ? s.v.trim() === '' : !s.h);
  const serial = raw.signals.find((s) => s.key === 'smbios.system.serial');
  assert.ok(serial && serial.sens && serial.v === '' && !('v' in safe.signals.find((s) => s.key === serial.key)), 'an empty serial in both reports');
  const page = await h.open({ acceptDialogs: true });
  await loadReport(page, raw);
  await page.click('#reveal-btn');
  assert.equal(page.dialogs.length, 1, 'the screen-sharing warning');
  await hostSend(page, fileMessage('A', 'raw.json', raw));
  await hostSend(page, fileMessage('B', 'safe.json', safe));
  await hostSend(page, fileMessage('DA', 'raw.json', raw));
  await hostSend(page, fileMessage('DB', 'safe.json', safe));
  // Raw JSON masks a sensitive value only when there is one.
  const json = await page.evaluate(() => { setReveal(false); showTab('json'); return JSON.parse(document.querySelector('pre.json').textContent); });
  assert.deepEqual(json.signals.filter((s) => s.sens).map((s) => s.v), raw.signals.filter((s) => s.sens).map((s) => (s.v.trim() === '' ? s.v : '<hidden>')));
  const codes = await page.evaluate(() => LANG_CODES.slice());
  for (const code of codes) {
    for (const reveal of [false, true]) {
      const got = await page.evaluate(([c, on, key]) => {
        setLang(c);
        setReveal(on);
        const cells = (sel) => [...document.querySelectorAll(sel)].map((td) => td.textContent);
        const rowOf = (note) => [...document.querySelectorAll('#view tbody tr')].find((tr) => (tr.querySelector('.sig-note') || {}).textContent === note);
        const out = { empty: tx('(empty)') };
        showTab('signals');
        out.catalog = cells('#view table.signals td.val');
        out.masks = document.querySelectorAll('#view table.signals td.val .mask').length;
        state.cmp.onlyDiff = true;
        showTab('compare');
        out.cmpOnly = cells('.card:has(.opts) tbody tr').length + '|' + (document.querySelector('.card:has(.opts) .empty') || {}).textContent;
        state.cmp.onlyDiff = false;
        showTab('compare');
        out.cmpSerial = [...rowOf(key + '@mainboard').querySelectorAll('td.val')].map((td) => td.textContent);
        state.diff.onlyDiff = true;
        showTab('diff');
        const result = currentDiff();
        out.sections = result.sections.map((s) => [s.title, s.counts.diff + s.counts.onlyA + s.counts.onlyB, !!(s.onlyA || s.onlyB || s.error)]);
        // A table of columns marks the cells that differ (a measured value of
        // one logical processor, say), a table of fields the row.
        out.cards = [...document.querySelectorAll('#view .card:not(.slot)')].map((card) =>
          [card.id, card.querySelectorAll('tr.d-diff, tr.d-only, td.d-diff').length > 0 || card.classList.contains('d-one-side')]);
        out.chips = document.querySelectorAll('.chips [data-act="goto"]').length;
        out.same = (document.querySelector('.diff-same') || {}).textContent;
        state.diff.onlyDiff = false;
        showTab('diff');
        out.diffSerial = [...rowOf(key).querySelectorAll('td.val')].map((td) => td.textContent);
        out.allCards = document.querySelectorAll('#view .card:not(.slot)').length;
        out.line = !!document.querySelector('.diff-same');
        return out;
      }, [code, reveal, serial.key]);
      const where = code + (reveal ? ', identifiers shown' : '');
      if (code !== 'en') assert.notEqual(got.empty, '(empty)', where);
      // Identifiers: every empty value reads as empty; a mask only over a value.
      assert.equal(got.catalog.length, raw.signals.length, where);
      assert.equal(got.catalog.filter((t) => t === got.empty).length, raw.signals.filter(blank).length, where);
      assert.equal(got.masks, reveal ? 0 : raw.signals.filter((s) => s.sens && !blank(s)).length, where);
      // Compare: no differences, the empty serial empty on both sides.
      assert.match(got.cmpOnly, /^0\|/, where);
      assert.deepEqual(got.cmpSerial, [got.empty, got.empty], where);
      // Report diff: the identifiers do not differ; the empty serial is in both reports.
      const identifiers = got.sections[3];
      assert.deepEqual([identifiers[1], identifiers[2]], [0, false], where);
      assert.deepEqual(got.diffSerial, [got.empty, got.empty], where);
      // Differences only: a card for each section that differs, one line for the rest.
      const differs = got.sections.filter((s) => s[1] > 0 || s[2]);
      assert.ok(differs.length > 0 && differs.length < got.sections.length, where);
      assert.equal(got.cards.length, differs.length, where);
      assert.ok(got.cards.every((c) => c[1]), where + ': ' + JSON.stringify(got.cards));
      assert.equal(got.chips, differs.length, where);
      const hidden = got.sections.length - differs.length;
      assert.ok(got.same && got.same.includes(String(hidden)), where + ': ' + got.same);
      if (code === 'en') assert.equal(got.same, hidden + ' sections without differences are hidden.');
      assert.deepEqual([got.allCards, got.line], [got.sections.length, false], where);
    }
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});
