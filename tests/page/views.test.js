'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { Harness, fixture, sent, loadReport } = require('./harness');

const h = new Harness();
before(() => h.start());
after(() => h.stop());

async function opened(report, opts) {
  const page = await h.open(opts);
  await loadReport(page, report || fixture('report-ui.json'));
  return page;
}

test('looksHex', async () => {
  const page = await h.open();
  const cases = [
    ['0123ABCD', true], ['0123abcd', true], ['00-1A-2B-3C-4D', true], ['00:1a:2b:3c:4d:5e', true], ['00-1A-2B-3C', false],
    ['ABCDEFAB', false], ['12345', false], ['0f6e1f2a-1b2c-rest', true], ['0000:00000000DEADBEEF', true],
    ['0000:00000000deadbeef', false], ['1A2B 3C4D 5E6F', true], ['1A2B', false], ['ABCD EFAB', false], ['Build 22631', false],
  ];
  const got = await page.evaluate((c) => c.map(([v]) => looksHex(v)), cases);
  assert.deepEqual(got, cases.map((c) => c[1]));
  await page.close();
});

test('breakIds: words stay whole, long identifiers, paths and versions may break anywhere', async () => {
  const page = await h.open();
  const cases = [
    // [token, may break anywhere]
    ['permanent', false], ['administered).', false], ['Anmeldeinformationsaktivierung', false], ['Microsoft-Windows-Kernel', false],
    ['сканирование', false], ['(NDIS-permanent', false], ['e.g.', false], ['0x1F', false], ['PCI\\VEN_8086', true],
    ['HKLM\\SOFTWARE\\Microsoft\\Cryptography', true], ["GetSystemFirmwareTable('RSMB')", true], ['GetLogicalProcessorInformationEx', true],
    ['nic.permanent_mac', true], ['10.0.22631.4317', true], ['https://vornixquelm.example/', true], ['{4d36e972-e325-11ce}', true],
  ];
  const got = await page.evaluate((c) => c.map(([t]) => {
    const d = document.createElement('div');
    d.innerHTML = breakIds('a ' + t + '  <b>');
    return [d.textContent, [...d.querySelectorAll('.brk')].map((e) => e.textContent)];
  }), cases);
  assert.deepEqual(got, cases.map(([t, brk]) => ['a ' + t + '  <b>', brk ? [t] : []]));
  await page.close();
});

test('cell: tags, masks, HMAC tags, identifiers and translation', async () => {
  const page = await h.open({ init: { lang: 'de' } });
  const r = await page.evaluate(() => {
    const out = (v, s) => { const d = document.createElement('div'); d.innerHTML = cell(v, s); return [d.textContent, d.firstElementChild ? d.firstElementChild.className : '']; };
    state.reveal = false;
    const hiddenCases = [out('[warn] yes', false), out('[bad]', false), out('[ok]no', false), out('S123', true), out('hmac:ABCD', false),
      out('0123ABCD', false), out('yes', false), out('', true)];
    state.reveal = true;
    const shown = [out('S123', true), out('yes', true), out('0123ABCD', true)];
    return { hiddenCases, shown, mask: maskHtml().includes('title="' + esc(tx('Hidden identifier - use Show identifiers')) + '"') };
  });
  assert.deepEqual(r.hiddenCases, [
    ['! ja', 'pill pill-warn'], ['✕ ', 'pill pill-bad'], ['✓ nein', 'pill pill-ok'], ['●●●●●●●●●●', 'mask'],
    ['hmac:ABCD', 'mono hmac'], ['0123ABCD', 'mono'], ['ja', ''], ['', ''],
  ]);
  assert.deepEqual(r.shown, [['S123', 'copy'], ['yes', 'copy'], ['0123ABCD', 'copy mono']]);
  assert.equal(r.mask, true);
  await page.close();
});

test('sensitive columns are masked, unsearchable while hidden, copyable when shown', async () => {
  const page = await opened(null, { acceptDialogs: true });
  await page.click('.nav-btn[data-id="storage"]');
  const disks = '#view .card >> nth=0';
  const row = () => page.$$eval('#view .card:first-of-type tbody tr:first-child td', (tds) => tds.map((t) => t.textContent));
  assert.deepEqual(await row(), ['0', '●●●●●●●●●●', 'Samsung SSD 980', '●●●●●●●●●●']);
  assert.doesNotMatch(await page.textContent('#view'), /S4EWNX0R123456|FEDCBA98/);
  await page.fill('#search', 'S4EWNX');
  await page.waitForFunction(() => state.q === 'S4EWNX');
  assert.match(await page.textContent(disks), /No rows match the filter\./);
  await page.fill('#search', '');
  await page.waitForFunction(() => state.q === '');
  await page.click('#reveal-btn');
  assert.equal(await page.textContent('#reveal-label'), 'Hide identifiers');
  assert.deepEqual(await row(), ['0', 'S4EWNX0R123456', 'Samsung SSD 980', 'FEDCBA9876543210']);
  await page.click('#view [data-copy="S4EWNX0R123456"]');
  assert.equal((await sent(page)).at(-1), 'copy:S4EWNX0R123456');
  await page.fill('#search', 's4ewnx');
  await page.waitForFunction(() => state.q === 's4ewnx');
  assert.match(await page.textContent(disks), /Shown: 1 of 2/);
  await page.close();
});

test('row masks, group rows and empty tables', async () => {
  const page = await opened();
  await page.click('.nav-btn[data-id="network"]');
  const rows = await page.$$eval('#view tbody tr', (trs) => trs.map((t) => t.textContent));
  assert.deepEqual(rows, ['Wired', 'Intel I219-V00-1A-2B-3C-4D-5E●●●●●●●●●●', 'Realtek 2.5GbE10-7B-44-00-11-22●●●●●●●●●●',
    'Wireless', 'Intel AX211i disconnected●●●●●●●●●●']);
  assert.deepEqual(await page.$$eval('#view thead th', (t) => t.map((x) => x.textContent)), ['Adapter', 'Current MAC', 'Permanent MAC']);
  await page.click('.nav-btn[data-id="storage"]');
  assert.match(await page.textContent('#view'), /VolumesRows: 0Nothing reported on this machine\./);
  await page.click('.nav-btn[data-id="microsoft"]');
  assert.match(await page.textContent('#view'), /No data collected for this section\./);
  await page.close();
});

test('tables of a tab follow the fixed order, unlisted ones after', async () => {
  const page = await h.open();
  const ids = await page.evaluate(() => {
    state.snap = normReport({ tables: [
      { tab: 'cpu', id: 'cpu.extra', columns: [] }, { tab: 'cpu', id: 'cpu.leaves', columns: [] }, { tab: 'net', id: 'x' },
      { tab: 'cpu', id: 'cpu.other', columns: [] }, { tab: 'cpu', id: 'cpu.summary', columns: [] }] });
    return tablesFor('cpu').map((t) => t.id);
  });
  assert.deepEqual(ids, ['cpu.summary', 'cpu.leaves', 'cpu.extra', 'cpu.other']);
  await page.close();
});

test('score items, rings and colours', async () => {
  const page = await h.open();
  const r = await page.evaluate(() => [
    [{ points: -5, max: 0 }, { points: 0, max: 10 }, { points: 4, max: 10 }, { points: 0, max: 0 }, { points: -3, max: 10 }].map(pointsText),
    [90, 85, 84, 65, 64, 45, 44].map(scoreColor),
    ring(150, 'red', 104, true).includes('>100<tspan class="ring-unit">%'),
    ring(-3, 'red', 104, false).includes('>0<tspan class="ring-unit">/100'),
  ]);
  assert.deepEqual(r, [['-5', '0/10', '+4/10', '•', '0/10'],
    ['var(--good)', 'var(--good)', 'var(--warn)', 'var(--warn)', '#f07f3b', '#f07f3b', 'var(--bad)'], true, true]);
  await page.close();
});

test('overview: anchors, check order and collection rows', async () => {
  const page = await opened();
  const anchors = await page.$$eval('.anchors .anchor-name', (e) => e.map((x) => x.firstChild.textContent));
  // per-unit, usable, weight >= 8, grouped and not a peripheral; by weight
  assert.deepEqual(anchors, ['System UUID', 'Disk 0 serial (NVMe)', 'Permanent MAC - Wired (Intel I219-V)']);
  assert.deepEqual(await page.$$eval('.checks .check-title', (e) => e.map((x) => x.textContent)),
    ['Board serial vs WMI', 'Secure Boot state', 'SMBIOS UUID vs WMI', 'TPM present']);
  const view = await page.textContent('#view');
  assert.match(view, /Passed: 1 of 4/);
  assert.match(view, /TPM210\.0 ms✕ TBS: context creation failed/);
  assert.match(view, /i ACPI: table FACP has a bad checksum/);
  assert.match(view, /12\.3 s · 2024-05-02T10:20:30Z/);
  assert.match(view, /30raw data rowsTables: 14/);
  await page.close();
});

test('a privacy-safe report shows pseudonym tags, also with identifiers shown', async () => {
  const page = await opened(fixture('report-safe.json'), { acceptDialogs: true });
  await page.click('.nav-btn[data-id="signals"]');
  await page.click('#reveal-btn');
  const values = await page.$$eval('#view tbody td.val', (tds) => tds.map((t) => t.textContent));
  assert.deepEqual(values, ['h:0A1B2C3D4E5F60718293A4B5', '', 'Intel(R) Core(TM) i7-12700', 'h:1F2E3D4C5B6A79880796A5B4']);
  // A signal name made of machine data that restated a masked value is its pseudonym.
  assert.match(await page.textContent('#view tbody'), /hmac:7A6B5C4D3E2F10A9B8C7D6E5/);
  await page.click('.nav-btn[data-id="storage"]');
  assert.equal(await page.getAttribute('#view td .hmac', 'title'), 'HMAC tag from a privacy-safe report');
  await page.close();
});

test('raw JSON view and copy mask identifiers until shown', async () => {
  const page = await opened(null, { acceptDialogs: true });
  await page.click('.nav-btn[data-id="json"]');
  const text = await page.textContent('pre.json');
  const shown = JSON.parse(text);
  assert.equal(shown.signals[0].v, '<hidden>');
  assert.equal(shown.signals[0].h, '0A1B2C3D4E5F60718293A4B5');
  assert.equal(shown.signals[3].v, 'Intel(R) Core(TM) i7-12700');
  assert.deepEqual(shown.tables.find((t) => t.id === 'storage.disks').rows[0].c, ['0', '<hidden>', 'Samsung SSD 980', '<hidden>']);
  assert.deepEqual(shown.tables.find((t) => t.id === 'net.ifaces').rows[2].c, ['Wireless', 'Intel AX211', '[info] disconnected', '<hidden>']);
  assert.equal('_current' in shown, false);
  assert.match(await page.textContent('#view .lead'), /\(identifiers hidden\)\. Exports use the menu/);
  await page.click('[data-act="copy-json"]');
  assert.equal(page.dialogs.length, 0);
  assert.deepEqual(JSON.parse((await sent(page)).at(-1).slice(5)), shown);
  await page.click('#reveal-btn');
  await page.click('[data-act="copy-json"]');
  assert.equal(page.dialogs.length, 2);
  assert.equal(JSON.parse((await sent(page)).at(-1).slice(5)).signals[0].v, '4C4C4544-0042-3510-8051-B7C04F4E3732');
  await page.close();
});

test('VM value helpers and status tones', async () => {
  const page = await h.open();
  const r = await page.evaluate(() => {
    const t = { columns: ['Test ID', 'Status', 'Reliability', 'Weight', 'Impact'], sens: 0, groupCol: -1 };
    const row = (c) => ({ c });
    const rows = [
      ['a', 'Detected', 'Strong', '10', '-5'], ['b', 'Detected', 'Strong', '10', '0'], ['c', 'Detected', 'Context', '10', '-5'],
      ['d', 'Detected', 'Strong', '0', '0'], ['e', 'Not Detected', 'Strong', '10', '0'], ['f', 'Inconclusive', '', '', ''],
      ['g', 'Not Supported', '', '', ''], ['h', 'Error', '', '', ''], ['i', 'Weird', '', '', ''],
    ];
    return {
      tones: rows.map((c) => vmStatus(t, row(c))),
      weighted: rows.map((c) => vmWeightedDetection(t, row(c))),
      value: [vmValue(t, row(rows[0]), 'Impact'), vmValue(t, row(rows[0]), 'Missing'), vmValue(t, row(['x']), 'Impact')],
    };
  });
  assert.deepEqual(r.tones, ['bad', 'warn', 'info', 'info', 'ok', 'warn', 'info', 'warn', 'info']);
  assert.deepEqual(r.weighted, [true, true, false, false, false, false, false, false, false]);
  assert.deepEqual(r.value, ['-5', '', '']);
  await page.close();
});

test('VM Detection tab: findings, counts, catalog and related checks', async () => {
  const page = await opened();
  await page.click('.nav-btn[data-id="vm"]');
  assert.deepEqual(await page.$$eval('.findings .vm-title', (e) => e.map((x) => x.textContent)), ['Hypervisor vendor', 'SMBIOS vendor']);
  assert.deepEqual(await page.$$eval('.vm-counts .stat', (e) => e.map((x) => x.textContent)),
    ['4Detected', '1Not Detected', '1Inconclusive', '1Not Supported', '1Error']);
  assert.equal(await page.getAttribute('#vm-test-cpu\\.hv_bit', 'class'), 'vm-entry tone-border-info');
  assert.match(await page.textContent('#vm-test-fw\\.esrt'), /Evidence: —/);
  assert.match(await page.textContent('.catalog-link'), /Method catalog · 1/);
  assert.ok(await page.$('.vm-summary .card'));
  assert.match(await page.textContent('.vm-top .score'), /^27%Physical PC Confidence/);
  // A search that hides every finding, then a related check whose card is hidden.
  await page.fill('#search', 'Nested virtualization');
  await page.waitForFunction(() => state.q === 'Nested virtualization');
  assert.match(await page.textContent('.findings, #view .card:has(h3:text("Most significant findings"))'), /No rows match the filter\./);
  assert.equal(await page.$('#vm-test-cpu\\.hv_vendor'), null);
  await page.click('[data-act="goto"][data-target="vm-test-cpu.hv_vendor"]');
  assert.equal(await page.inputValue('#search'), '');
  assert.ok(await page.$('#vm-test-cpu\\.hv_vendor'));
  await page.close();
});

test('VM Detection tab without data, and without weighted evidence', async () => {
  const page = await opened({ schema: 'vorq.snapshot/1', tables: [] });
  await page.click('.nav-btn[data-id="vm"]');
  assert.equal(await page.textContent('#view'), 'VM DetectionNo data collected for this section.');
  await loadReport(page, { schema: 'vorq.snapshot/1', tables: [{ tab: 'vm', id: 'vm.tests.cpu', title: 'CPU', columns: ['Test ID', 'Status', 'Reliability', 'Weight', 'Impact'],
    sens: 0, groupCol: -1, rows: [{ c: ['x', 'Detected', 'Context', '5', '-3'] }] }] });
  assert.match(await page.textContent('#view'), /No weighted virtualization evidence was detected\./);
  assert.equal(await page.textContent('.nav-btn[data-id="vm"] .nav-count'), '0');
  await page.close();
});

test('Identifiers: placeholders last and dimmed, filters by category and scope', async () => {
  const page = await opened();
  await page.click('.nav-btn[data-id="signals"]');
  const names = () => page.$$eval('#view tbody tr', (trs) => trs.map((t) => t.children[1].firstChild.firstChild.textContent.trim()));
  assert.deepEqual(await names(), ['System UUID', 'Disk 0 serial (NVMe)', 'MachineGuid', 'Permanent MAC - Wired (Intel I219-V)', 'Keyboard serial',
    'Processor', 'Boot counter', 'Baseboard serial']);
  assert.equal(await page.getAttribute('#view tbody tr:last-child', 'class'), 'dim');
  assert.match(await page.textContent('#view tbody tr:last-child'), /placeholder/);
  await page.click('[data-act="sigcat"][data-v="SMBIOS"]');
  assert.deepEqual(await names(), ['System UUID', 'Baseboard serial']);
  await page.click('[data-act="sigscope"][data-v="per-model"]');
  assert.match(await page.textContent('#view'), /Shown: 0 of 8.*No rows match the filter\.$/);
  await page.click('[data-act="sigcat"][data-v="All"]');
  assert.deepEqual(await names(), ['Processor']);
  await page.click('[data-act="sigscope"][data-v="All"]');
  await page.fill('#search', '4C4C4544');
  await page.waitForFunction(() => state.q === '4C4C4544');
  assert.deepEqual(await names(), [], 'hidden values are not searchable');
  await page.close();
});

test('long tables and the raw JSON are drawn in blocks whose layout the browser may skip', async () => {
  const report = fixture('report-ui.json');
  const rows = Array.from({ length: 250 }, (_, i) => ({ c: ['G' + Math.floor(i / 100), 'row ' + i, i % 2 ? '[ok] fine' : 'x'.repeat(i % 40)] }));
  report.tables.push({ tab: 'devices', id: 'long', title: 'Long', columns: ['Group', 'Name', 'State'], sens: 0, groupCol: 0, rows });
  const page = await opened(report);
  await page.click('.nav-btn[data-id="devices"]');
  const r = await page.evaluate(() => {
    const card = [...document.querySelectorAll('#view .card')].find((c) => c.querySelector('h3').textContent === 'Long');
    const tables = [...card.querySelectorAll('table')];
    const cols = (t) => [...t.querySelectorAll('col')].map((c) => c.style.width).join(' ');
    return {
      names: [...card.querySelectorAll('tbody tr:not(.group-row) td:first-child')].map((td) => td.textContent),
      groups: [...card.querySelectorAll('tr.group-row')].map((tr) => tr.textContent),
      heads: card.querySelectorAll('thead').length,
      tables: tables.length,
      sameColumns: tables.every((t) => cols(t) === cols(tables[0])) && cols(tables[0]) !== '',
      blocks: [...card.querySelectorAll('.row-block')].map((b) => getComputedStyle(b).contentVisibility),
      cards: getComputedStyle(card).contentVisibility,
    };
  });
  assert.deepEqual(r.names, rows.map((row) => row.c[1]));
  assert.deepEqual(r.groups, ['G0', 'G1', 'G2']);
  assert.equal(r.heads, 1);
  assert.equal(r.tables, 3);
  assert.equal(r.sameColumns, true);
  assert.deepEqual(r.blocks, ['auto', 'auto']);
  assert.equal(r.cards, 'auto');

  await page.click('.nav-btn[data-id="json"]');
  const json = await page.evaluate(() => ({
    text: document.querySelector('pre.json').textContent,
    blocks: [...document.querySelectorAll('pre.json .json-block')].map((b) => getComputedStyle(b).contentVisibility),
  }));
  assert.equal(JSON.parse(json.text).tables.find((t) => t.id === 'long').rows.length, 250);
  assert.equal(json.text.split('\n').length, JSON.stringify(JSON.parse(json.text), null, 2).split('\n').length);
  assert.ok(json.blocks.length > 1 && json.blocks.every((v) => v === 'auto'), json.blocks.join());
  await page.close();
});
