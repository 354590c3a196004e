'use strict';
// Report diff of two reports of about 5 MB each, in headless Chromium: the
// diff and its rendering against JSON.parse of the same texts.
// Run: node tests/bench/page_diff_bench.js   (after npm ci in tests/page)
const path = require('node:path');
const fs = require('node:fs');
const { Harness } = require(path.join(__dirname, '..', 'page', 'harness'));

const TARGET = 5 * 1024 * 1024;

// A report grown to the target size with tables shaped like the large real
// ones (device nodes, drivers, CPUID leaves); B differs in every 50th row.
function bigReports() {
  const base = JSON.parse(fs.readFileSync(path.join(__dirname, '..', 'page', 'fixtures', 'report-ui.json'), 'utf8'));
  const a = JSON.parse(JSON.stringify(base));
  const b = JSON.parse(JSON.stringify(base));
  const columns = ['Device', 'Class', 'Hardware IDs', 'Driver', 'Provider', 'Version', 'Container', 'Link', 'Status', 'Problem'];
  const tables = ['devices', 'drivers.big', 'cpu.leaves.big'].map((id) => ({ tab: 'devices', id, title: id, columns, sens: 64, groupCol: 1, rowsA: [], rowsB: [] }));
  let size = JSON.stringify(a).length;
  for (let i = 0; size < TARGET; i++) {
    const t = tables[i % tables.length];
    const c = [`Node ${i}`, `Class ${i % 40}`, `PCI\\VEN_${(i % 9999).toString(16).padStart(4, '0')}&DEV_${i.toString(16).padStart(4, '0')}`, `drv${i}.sys`, 'Provider Inc.',
      `10.0.${i}.1`, `{${i.toString(16).padStart(8, '0')}-0000-0000-0000-000000000000}`, 'x4 Gen3', '[ok] started', ''];
    t.rowsA.push({ c });
    const cb = c.slice();
    if (i % 50 === 0) cb[5] = `10.0.${i}.2`;
    if (i % 977 !== 0) t.rowsB.push({ c: cb });
    size += JSON.stringify(c).length + 8;
  }
  for (const t of tables) {
    const { rowsA, rowsB, ...shape } = t;
    a.tables.push({ ...shape, rows: rowsA });
    b.tables.push({ ...shape, rows: rowsB });
  }
  return [JSON.stringify(a), JSON.stringify(b)];
}

(async () => {
  const [ta, tb] = bigReports();
  const h = new Harness();
  await h.start();
  const page = await h.open({ viewport: { width: 1500, height: 1000 } });
  await page.evaluate(([a]) => window.__hostSend({ type: 'snapshot', data: JSON.parse(a) }), [ta]);
  const r = await page.evaluate(([a, b]) => {
    const ms = (f) => { const t0 = performance.now(); f(); return performance.now() - t0; };
    const out = {};
    out.parse = ms(() => { JSON.parse(a); JSON.parse(b); });
    loadDiffFile('A', 'a.json', a);
    loadDiffFile('B', 'b.json', b);
    out.diff = ms(() => diffReports(state.diff.A, state.diff.B, { ignoreVolatile: true }));
    state.tab = 'diff';
    out.renderDiffsOnly = ms(() => { render(); void document.body.offsetHeight; });
    state.diff.onlyDiff = false;
    out.markupAll = ms(() => renderDiff());
    out.renderAll = ms(() => { render(); void document.body.offsetHeight; });
    out.rows = diffReports(state.diff.A, state.diff.B, { ignoreVolatile: true }).totals;
    return out;
  }, [ta, tb]);
  const mb = (s) => (s.length / 1048576).toFixed(1);
  console.log(`reports: ${mb(ta)} MB and ${mb(tb)} MB; fields: ${JSON.stringify(r.rows)}`);
  console.log(`JSON.parse of both texts:        ${r.parse.toFixed(0)} ms`);
  console.log(`diffReports:                     ${r.diff.toFixed(0)} ms (${(r.diff / r.parse).toFixed(1)} x JSON.parse)`);
  console.log(`render, differences only:        ${r.renderDiffsOnly.toFixed(0)} ms (diff, markup and layout)`);
  console.log(`markup, every field:             ${r.markupAll.toFixed(0)} ms`);
  console.log(`render, every field:             ${r.renderAll.toFixed(0)} ms (markup and layout)`);
  // A hostile shape: thousands of columns whose rows repeat, so that the row
  // key takes every column.
  const wide = await page.evaluate(() => {
    const columns = Array.from({ length: 4000 }, (_, i) => 'c' + i);
    const rows = Array.from({ length: 20 }, () => ({ c: columns.map(() => 'x') }));
    const t = { tab: 'devices', id: 'wide', title: 'wide', columns, sens: 0, groupCol: -1, rows };
    const r = { schema: 'vorq.snapshot/1', tables: [t] };
    const t0 = performance.now();
    diffReports(r, JSON.parse(JSON.stringify(r)), { ignoreVolatile: true });
    return performance.now() - t0;
  });
  console.log(`diffReports, 4000 columns x 20 repeated rows: ${wide.toFixed(0)} ms`);
  await h.stop();
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
