'use strict';
// Time to the first screen of each tab for a large report (tens of thousands
// of rows: drivers, devices, log events, a CPUID dump), as a multiple of
// JSON.parse of the same report text. Run: node tests/bench/page_tabs_bench.js
const { Harness, fixture, loadReport } = require('../page/harness');

function bigReport() {
  const r = fixture('report-ui.json');
  const table = (tab, id, title, columns, n, row) => ({
    tab, id, title, columns, sens: 0, groupCol: -1, rows: Array.from({ length: n }, (_, i) => ({ c: row(i) })),
  });
  const hex = (i, w) => (i >>> 0).toString(16).toUpperCase().padStart(w, '0');
  r.tables.push(
    table('cpu', 'cpu.cpuid', 'CPUID dump', ['Leaf', 'Sub-leaf', 'EAX', 'EBX', 'ECX', 'EDX'], 12000,
      (i) => [hex(i >> 4, 8), String(i & 15), hex(i * 2654435761, 8), hex(i * 40503, 8), hex(i * 7919, 8), hex(~i, 8)]),
    table('devices', 'pnp.devices', 'Devices', ['Device', 'Class', 'Instance ID', 'Driver', 'Status'], 10000,
      (i) => ['HID-compliant device ' + i, 'HIDClass', 'HID\\VID_046D&PID_C52B&MI_00\\7&2A1B3C4D&0&' + hex(i, 4),
        'Microsoft 10.0.22621.' + (i % 3000), '[ok] started']),
    table('drivers', 'drivers', 'Kernel drivers', ['Name', 'Path', 'Version', 'Signer', 'Status'], 6000,
      (i) => ['drv' + i, '\\SystemRoot\\System32\\drivers\\drv' + i + '.sys', '10.0.22621.' + (i % 4000),
        'Microsoft Windows', i % 17 ? '[ok] signed' : '[warn] unsigned']),
    table('windows', 'win.events', 'Events', ['Time', 'Source', 'Id', 'Message'], 20000,
      (i) => ['2026-12-10T14:' + String(i % 60).padStart(2, '0') + ':00Z', 'Service Control Manager', String(7036 + (i % 5)),
        'The Windows Update service entered the running state. Event number ' + i + '.']));
  return r;
}

(async () => {
  const report = bigReport();
  const h = new Harness();
  await h.start();
  try {
    const page = await h.open({ viewport: { width: 1500, height: 1000 } });
    await loadReport(page, report);
    const result = await page.evaluate(async (text) => {
      const times = [];
      for (let i = 0; i < 7; i++) {
        const t0 = performance.now();
        JSON.parse(text);
        times.push(performance.now() - t0);
      }
      times.sort((a, b) => a - b);
      const parse = times[3];
      const frame = () => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0)));
      const tabs = {};
      for (const id of TAB_IDS) {
        if (id === 'compare' || id === 'diff') continue;  // they show other reports
        const runs = [];
        for (let k = 0; k < 3; k++) {  // the median of three: the machine may be shared
          showTab('overview');
          await frame();
          const t0 = performance.now();
          showTab(id);
          document.body.getBoundingClientRect();  // style and layout of what is drawn
          await frame();  // and the first paint
          runs.push(performance.now() - t0);
        }
        tabs[id] = runs.sort((a, b) => a - b)[1];
      }
      return { parse, tabs, rows: JSON.parse(text).tables.reduce((n, t) => n + t.rows.length, 0), mb: text.length / 1e6 };
    }, JSON.stringify(report));
    console.log(`report: ${result.mb.toFixed(1)} MB, ${result.rows} rows; JSON.parse ${result.parse.toFixed(1)} ms`);
    let heaviest = null;
    for (const [id, ms] of Object.entries(result.tabs)) {
      console.log(`  ${id.padEnd(10)} ${ms.toFixed(1).padStart(8)} ms  ${(ms / result.parse).toFixed(1).padStart(6)} x JSON.parse`);
      if (!heaviest || ms > result.tabs[heaviest]) heaviest = id;
    }
    console.log(`heaviest tab: ${heaviest}, ${(result.tabs[heaviest] / result.parse).toFixed(1)} x JSON.parse (target: at most 10)`);
  } finally {
    await h.stop();
  }
})();
