'use strict';
// Pairs of reports for Compare, written by the program under Wine. The
// second installation is a second Wine prefix on the same host: Wine passes
// the host's SMBIOS UUID and network adapters through, so the two share that
// hardware and differ in their Windows installation (machine GUID, install
// date, volume and adapter ids) and in their HMAC key.
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { wineReport, fixture, ROOT } = require('./harness');

const SECOND = path.join(ROOT, 'build', 'wineprefix-second');

// The program keeps its HMAC key under %LOCALAPPDATA%\VornixQuelm; removing
// the folder makes the next export create a new key.
function forgetKey(prefix) {
  const users = path.join(prefix, 'drive_c', 'users');
  for (const user of fs.existsSync(users) ? fs.readdirSync(users) : []) {
    fs.rmSync(path.join(users, user, 'AppData', 'Local', 'VornixQuelm'), { recursive: true, force: true });
  }
}

// A copy of a report whose per-unit and per-install identifiers are all
// empty, as a machine that exposes none of them would write it.
function emptied(report) {
  const copy = JSON.parse(JSON.stringify(report));
  for (const s of copy.signals) {
    if (s.scope === 'per-unit' || s.scope === 'per-install') {
      s.v = '';
      delete s.h;
    }
  }
  return copy;
}

function winePairs() {
  const env = { WINEPREFIX: SECOND };
  execFileSync(path.join(ROOT, 'scripts', 'wine-prefix'), [], { stdio: 'ignore', timeout: 600000, env: { ...process.env, ...env } });
  const raw = wineReport('cmp-raw', '--export-raw');
  const safe = wineReport('cmp-safe', '--export');
  forgetKey(SECOND);
  const raw2 = wineReport('cmp-raw2', '--export-raw', env);
  const safe2 = wineReport('cmp-safe2', '--export', env);
  forgetKey(SECOND);
  const safe2k = wineReport('cmp-safe2-newkey', '--export', env);
  // scripts/wine-prefix leaves the prefix's server running for later runs; this
  // prefix has none.
  try {
    execFileSync('wineserver', ['-k'], { stdio: 'ignore', timeout: 60000, env: { ...process.env, ...env } });
  } catch (e) { /* already gone */ }
  const none = emptied(raw);
  return {
    raw, safe, raw2, safe2, safe2k,
    pairs: [
      { id: 'twice', name: 'the same raw report twice', a: raw, b: raw },
      { id: 'raw-safe', name: 'raw and privacy-safe reports of one installation (empty SMBIOS serials and names)', a: raw, b: safe },
      { id: 'two-keys', name: 'privacy-safe reports of one installation under two keys', a: safe2, b: safe2k },
      { id: 'installs-raw', name: 'raw reports of two installations on one host', a: raw, b: raw2 },
      { id: 'installs-safe', name: 'privacy-safe reports of two installations, each with its own key', a: safe, b: safe2 },
      { id: 'fixture', name: 'a raw report against the hand-made fixture of another machine', a: raw, b: fixture('report-ui.json') },
      { id: 'emptied', name: 'a copy of the raw report with every per-unit and per-install value empty, against itself', a: none, b: none },
    ],
  };
}

module.exports = { winePairs };
