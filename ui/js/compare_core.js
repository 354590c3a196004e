'use strict';
// Device matching of two reports: identifiers grouped into weighted identity
// clusters, set similarity per identifier, a score and its decision, and the
// what-if simulations. Functions of their inputs only, so Node's test runner
// loads this file as it is; in the page its names become globals.
(function (root) {
  const GROUPS = [
    { id: 'anchor', weight: 0.33, label: 'Cryptographic anchors (TPM)' },
    { id: 'mainboard', weight: 0.2, label: 'Mainboard & chassis' },
    { id: 'storage', weight: 0.15, label: 'Storage' },
    { id: 'network', weight: 0.1, label: 'Network adapters' },
    { id: 'gpu', weight: 0.05, label: 'GPU' },
    { id: 'firmware', weight: 0.05, label: 'Firmware build' },
    { id: 'cpu', weight: 0.05, label: 'CPU class' },
    { id: 'os', weight: 0.05, label: 'Windows installation' },
    { id: 'memory', weight: 0.02, label: 'Memory modules' },
  ];

  const SIMULATIONS = [
    { id: 'reinstall', label: 'Clean Windows reinstall', desc: 'new installation IDs; keys of the old install are gone; hardware unchanged' },
    { id: 'ssd', label: 'System SSD replaced', desc: 'new boot drive with a fresh Windows on it' },
    { id: 'upgrade', label: 'RAM + GPU upgrade', desc: 'memory modules and graphics card replaced' },
    { id: 'board', label: 'Mainboard replaced', desc: 'new board: SMBIOS, firmware, onboard NIC and the TPM change' },
    { id: 'clone', label: 'Another PC, same model', desc: 'every per-unit and per-install identifier differs' },
  ];

  // Reports may come from any file: every field is checked before use.
  const list = (v) => (Array.isArray(v) ? v : []);
  const isObj = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
  const text = (v) => (v === null || v === undefined ? '' : typeof v === 'string' ? v : typeof v === 'number' || typeof v === 'boolean' ? String(v) : '');
  const number = (v) => (typeof v === 'number' && Number.isFinite(v) ? v : Number.isFinite(parseFloat(v)) ? parseFloat(v) : 0);
  const has = (o, k) => Object.prototype.hasOwnProperty.call(o, k);
  // A blank text says nothing about a machine: two of them are not a match.
  const blank = (v) => text(v).trim() === '';
  const UNIT_SCOPES = ['per-unit', 'per-install'];

  // A verdict needs per-unit or per-install identifiers compared in clusters
  // of at least this share of the weight: the mainboard alone, or storage
  // and Windows installation together. Per-model values (CPU brand, GPU
  // model) match on every machine of the model and never suffice.
  const MIN_UNIT_WEIGHT = 0.2;
  const CORE_GROUPS = ['anchor', 'mainboard', 'storage'];

  function indexSnap(report) {
    const index = new Map();
    const signals = isObj(report) ? list(report.signals) : [];
    for (const s of signals) {
      if (!isObj(s)) continue;
      const key = text(s.key);
      if (!key) continue;
      const group = text(s.group);
      const id = group ? key + '@' + group : key;
      let e = index.get(id);
      if (!e) {
        e = { key: id, name: text(s.name), group, w: 0, sens: s.sens === true, unit: false, hs: new Set(), vs: new Set(), disp: [], usable: false };
        index.set(id, e);
      }
      e.w = Math.max(e.w, number(s.w));
      if (UNIT_SCOPES.includes(s.scope)) e.unit = true;
      // An empty value is left out, and so is the tag written beside it.
      if (number(s.q) > 0 && !(has(s, 'v') && blank(s.v))) {
        e.usable = true;
        if (has(s, 'h') && text(s.h) !== '') e.hs.add(text(s.h));
        if (has(s, 'v')) e.vs.add(text(s.v));
      }
      e.disp.push(s);
    }
    return index;
  }

  function jaccard(a, b) {
    if (!a.size && !b.size) return 0;
    let both = 0;
    for (const x of a) if (b.has(x)) both++;
    return both / (a.size + b.size - both);
  }

  function sameHmacKey(a, b) {
    const ka = isObj(a) ? text(a.hmacKeyId) : '';
    const kb = isObj(b) ? text(b.hmacKeyId) : '';
    return ka !== '' && ka === kb;
  }

  function compareSnaps(A, B) {
    const sameKey = sameHmacKey(A, B);
    const ia = indexSnap(A);
    const ib = indexSnap(B);
    const groups = GROUPS.map((g) => ({ id: g.id, label: g.label, weight: g.weight, wsum: 0, ssum: 0, n: 0, same: 0, score: 0 }));
    const byId = new Map(groups.map((g) => [g.id, g]));
    const keys = [...ia.keys()];
    for (const k of ib.keys()) if (!ia.has(k)) keys.push(k);
    const rows = [];
    const unitGroups = new Set();
    let keyBlocked = 0;
    for (const k of keys) {
      const a = ia.get(k);
      const b = ib.get(k);
      let sim = null;
      let mode = '';
      if (a && b && a.usable && b.usable) {
        if (sameKey && a.hs.size && b.hs.size) { sim = jaccard(a.hs, b.hs); mode = 'hmac'; }
        else if (a.vs.size && b.vs.size) { sim = jaccard(a.vs, b.vs); mode = 'value'; }
      }
      const status = !a ? 'only B' : !b ? 'only A' : sim === null ? 'n/a' : sim === 1 ? 'same' : sim === 0 ? 'changed' : 'partial';
      const ref = a || b;
      const g = byId.get(ref.group);
      const unit = !!(a && b && (a.unit || b.unit));
      if (sim !== null && g && ref.w > 0) {
        g.wsum += ref.w;
        g.ssum += ref.w * sim;
        g.n++;
        if (sim === 1) g.same++;
        if (unit) unitGroups.add(g.id);
      }
      // Tags on both sides that only a shared key would have let us compare.
      if (sim === null && unit && g && ref.w > 0 && a.usable && b.usable && a.hs.size && b.hs.size && !sameKey) keyBlocked++;
      rows.push({ key: k, name: ref.name, group: ref.group, w: Math.max(a ? a.w : 0, b ? b.w : 0), a: a || null, b: b || null, sim, mode, status });
    }
    let num = 0;
    let den = 0;
    for (const g of groups) {
      g.score = g.wsum > 0 ? g.ssum / g.wsum : 0;
      if (g.n > 0) { num += g.weight * g.score; den += g.weight; }
    }
    const unitWeight = groups.filter((g) => unitGroups.has(g.id)).reduce((sum, g) => sum + g.weight, 0);
    // Group weights are decimal fractions: their sum is compared with a margin.
    const decided = unitWeight >= MIN_UNIT_WEIGHT - 1e-9;
    const reason = decided ? '' : keyBlocked ? 'keys' : unitGroups.size ? 'weight' : 'none';
    return {
      score: den > 0 ? (100 * num) / den : 0, groups, rows, sameKey, unitWeight, decided, reason,
      coreCompared: CORE_GROUPS.some((id) => unitGroups.has(id)),
    };
  }

  function decision(score) {
    if (score >= 85) return ['Same device', 'Identity anchors match. A licensing backend would accept this machine without friction.', 'var(--good)'];
    if (score >= 65) return ['Probable same device', 'Some components changed (upgrade, reinstall, peripheral swap). A transparent re-bind is reasonable.', 'var(--warn)'];
    if (score >= 45) return ['Needs verification', 'Too many anchors changed. Ask for account-level confirmation before re-binding the license.', '#f07f3b'];
    return ['Different device', 'Core anchors (TPM, mainboard, storage) do not match.', 'var(--bad)'];
  }

  // Why a comparison gives no verdict, and what to do.
  const NO_VERDICT = {
    keys: {
      desc: 'The reports were written under different HMAC keys, so their per-unit and per-install identifiers, stored as tags, cannot be compared.',
      text: 'Export both reports on one installation, or compare raw reports.',
    },
    none: {
      desc: 'No per-unit or per-install identifier holds a value in both reports. Values of a model, such as the CPU brand or the GPU model, are the same on every machine of that model.',
      text: 'Compare reports that hold the per-unit identifiers of both machines: raw reports, or privacy-safe reports exported on one installation, each scanned with administrator rights.',
    },
    weight: {
      desc: 'The per-unit and per-install identifiers compared cover clusters with {x1} of the weight; a verdict needs at least {x2}.',
      text: 'Compare reports that hold the per-unit identifiers of both machines: raw reports, or privacy-safe reports exported on one installation, each scanned with administrator rights.',
    },
  };
  const NO_CORE = { title: 'Different device', desc: 'The identifiers compared do not match; TPM, mainboard and storage could not be compared.' };

  // The verdict of a comparison: the decision of its score when enough was
  // compared, else why not and what to do.
  function verdict(result) {
    if (!result.decided) {
      const why = NO_VERDICT[result.reason] || NO_VERDICT.none;
      return { decided: false, title: 'Not enough compared to decide', desc: why.desc, todo: why.text, colour: 'var(--muted)' };
    }
    const [title, desc, colour] = decision(result.score);
    // The usual text names TPM, mainboard and storage: only when one was compared.
    return { decided: true, title, desc: title === NO_CORE.title && !result.coreCompared ? NO_CORE.desc : desc, todo: '', colour };
  }

  function systemDiskLabel(report) {
    const tables = isObj(report) ? list(report.tables) : [];
    const t = tables.find((x) => isObj(x) && x.id === 'storage.disks');
    if (!t) return null;
    for (const row of list(t.rows)) {
      const c = isObj(row) ? list(row.c) : [];
      if (text(c[9]).includes('system disk')) return text(c[0]);
    }
    return null;
  }

  function changeSignal(s) {
    if (has(s, 'v')) s.v = 'sim~' + Array.from(text(s.v)).reverse().join('');
    if (has(s, 'h')) {
      const r = Array.from(text(s.h)).reverse().join('');
      if (r) s.h = (r[0] === '0' ? '1' : '0') + r.slice(1);
    }
  }

  function simulateSnapshot(report, kind) {
    const copy = JSON.parse(JSON.stringify(isObj(report) ? report : {}));
    const sim = SIMULATIONS.find((x) => x.id === kind);
    const unit = (s) => s.scope === 'per-unit' || s.scope === 'per-install';
    const disk = kind === 'ssd' ? systemDiskLabel(copy) : null;
    const changes = {
      reinstall: (s) => s.group === 'os',
      ssd: (s) => s.group === 'os' || (disk !== null && s.group === 'storage' && text(s.name).startsWith(disk + ' ')),
      upgrade: (s) => (s.group === 'memory' || s.group === 'gpu') && unit(s),
      board: (s) => ['mainboard', 'network', 'anchor', 'firmware'].includes(s.group) && unit(s),
      clone: unit,
    };
    const changes1 = sim ? changes[sim.id] : () => false;
    let signals = list(copy.signals).filter(isObj);
    for (const s of signals) if (changes1(s)) changeSignal(s);
    // The TPM-bound key lives in the user profile and is bound to one TPM.
    if (kind !== 'upgrade') signals = signals.filter((s) => s.key !== 'tpm.app_key');
    copy.signals = signals;
    copy.mode = 'simulated';
    copy._file = 'simulated: ' + (sim || SIMULATIONS[0]).label;
    copy._current = false;
    return copy;
  }

  const api = { GROUPS, SIMULATIONS, MIN_UNIT_WEIGHT, indexSnap, jaccard, compareSnaps, decision, verdict, systemDiskLabel, simulateSnapshot };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else Object.assign(root, api);
})(typeof window === 'object' ? window : globalThis);
