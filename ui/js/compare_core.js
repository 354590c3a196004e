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

  // Groups of identifiers that are no identity cluster still have a name.
  const OTHER_GROUPS = [{ id: 'peripheral', label: 'Peripherals' }];

  // The name of a signal's group, the same wherever a view shows one; a
  // group this version does not know keeps its id.
  function groupLabel(id) {
    const g = GROUPS.find((x) => x.id === id) || OTHER_GROUPS.find((x) => x.id === id);
    return g ? g.label : text(id);
  }

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
  // of at least this share of the weight, one of them a core anchor (TPM,
  // mainboard or storage): the identifiers of a Windows installation, its
  // network adapters and GPU are copied with a cloned image, and per-model
  // values (CPU brand, GPU model) match on every machine of the model.
  const MIN_UNIT_WEIGHT = 0.2;
  const CORE_GROUPS = ['anchor', 'mainboard', 'storage'];
  // An identifier's weight, as the Identifiers view states its range.
  const MAX_WEIGHT = 100;
  const weight = (v) => Math.min(MAX_WEIGHT, Math.max(0, number(v)));

  function newEntry(key, name, group, sens) {
    return { key, name, group, w: 0, sens, unit: false, hs: new Set(), vs: new Set(), disp: [], usable: false };
  }

  function addSignal(e, s) {
    e.w = Math.max(e.w, weight(s.w));
    if (UNIT_SCOPES.includes(s.scope)) e.unit = true;
    // An empty value is left out, and so is the tag written beside it.
    if (number(s.q) > 0 && !(has(s, 'v') && blank(s.v))) {
      e.usable = true;
      if (has(s, 'h') && text(s.h) !== '') e.hs.add(text(s.h));
      if (has(s, 'v')) e.vs.add(text(s.v));
    }
    e.disp.push(s);
  }

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
        e = newEntry(id, text(s.name), group, s.sens === true);
        index.set(id, e);
      }
      addSignal(e, s);
    }
    return index;
  }

  // An identifier whose values carry names of their own (a volume serial per
  // volume, a MAC per adapter, a serial per disk) is compared name by name:
  // one changed volume is one changed row, not a partial match of all.
  function namesOf(e) {
    return e ? new Set(e.disp.map((s) => text(s.name))) : new Set();
  }

  function byName(e, name) {
    if (!e) return undefined;
    const part = newEntry(e.key, name, e.group, false);
    for (const s of e.disp) if (text(s.name) === name) addSignal(part, s);
    if (!part.disp.length) return undefined;
    part.sens = part.disp[0].sens === true;
    return part;
  }

  // The pairs of entries to compare: [id, entry of A, entry of B].
  function pairs(ia, ib) {
    const keys = [...ia.keys()];
    for (const k of ib.keys()) if (!ia.has(k)) keys.push(k);
    const out = [];
    for (const k of keys) {
      const a = ia.get(k);
      const b = ib.get(k);
      const na = namesOf(a);
      const nb = namesOf(b);
      if (na.size <= 1 && nb.size <= 1) {
        out.push([k, a, b]);
        continue;
      }
      const names = [...na];
      for (const n of nb) if (!na.has(n)) names.push(n);
      for (const n of names) out.push([k + '\u0001' + n, byName(a, n), byName(b, n)]);
    }
    return out;
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
    const groups = GROUPS.map((g) => ({ id: g.id, label: g.label, weight: g.weight, wsum: 0, ssum: 0, n: 0, same: 0, score: 0 }));
    const byId = new Map(groups.map((g) => [g.id, g]));
    const rows = [];
    const unitGroups = new Set();
    let keyBlocked = 0;
    for (const [id, a, b] of pairs(indexSnap(A), indexSnap(B))) {
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
      rows.push({ id, key: ref.key, name: ref.name, group: ref.group, w: Math.max(a ? a.w : 0, b ? b.w : 0), a: a || null, b: b || null, sim, mode, status });
    }
    let num = 0;
    let den = 0;
    for (const g of groups) {
      g.score = g.wsum > 0 ? g.ssum / g.wsum : 0;
      if (g.n > 0) { num += g.weight * g.score; den += g.weight; }
    }
    const unitWeight = groups.filter((g) => unitGroups.has(g.id)).reduce((sum, g) => sum + g.weight, 0);
    const coreCompared = CORE_GROUPS.some((id) => unitGroups.has(id));
    // Group weights are decimal fractions: their sum is compared with a margin.
    const decided = coreCompared && unitWeight >= MIN_UNIT_WEIGHT - 1e-9;
    const reason = decided ? '' : keyBlocked ? 'keys' : !unitGroups.size ? 'none' : !coreCompared ? 'core' : 'weight';
    // The core anchors compared whose identifiers did not all match.
    const coreDiffer = CORE_GROUPS.filter((id) => unitGroups.has(id) && byId.get(id).score < 1);
    return { score: den > 0 ? (100 * num) / den : 0, groups, rows, sameKey, unitWeight, decided, reason, coreCompared, coreDiffer };
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
    core: {
      desc: 'No TPM, mainboard or storage identifier was compared. The identifiers of a Windows installation, its network adapters and its GPU are copied with a cloned disk image, so on their own they never confirm a device.',
      text: 'Compare reports that hold the per-unit identifiers of both machines: raw reports, or privacy-safe reports exported on one installation, each scanned with administrator rights.',
    },
    weight: {
      desc: 'The per-unit and per-install identifiers compared cover clusters with {x1} of the weight; a verdict needs at least {x2}.',
      text: 'Compare reports that hold the per-unit identifiers of both machines: raw reports, or privacy-safe reports exported on one installation, each scanned with administrator rights.',
    },
  };

  // The verdict of a comparison: the decision of its score when enough was
  // compared, else why not and what to do. A "Different device" names the
  // core anchors that were compared and differ (cluster ids in names), or,
  // when those all match, says that the other identifiers made the score.
  function verdict(result) {
    if (!result.decided) {
      const why = NO_VERDICT[result.reason] || NO_VERDICT.none;
      return { decided: false, title: 'Not enough compared to decide', desc: why.desc, todo: why.text, names: [], colour: 'var(--muted)' };
    }
    const [title, desc, colour] = decision(result.score);
    if (title !== 'Different device') return { decided: true, title, desc, todo: '', names: [], colour };
    const differ = result.coreDiffer || [];
    return differ.length
      ? { decided: true, title, desc: 'Core anchors that do not match: {x1}.', todo: '', names: differ, colour }
      : { decided: true, title, desc: 'The core anchors compared match; most other identifiers differ.', todo: '', names: [], colour };
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

  const api = { GROUPS, groupLabel, SIMULATIONS, MIN_UNIT_WEIGHT, MAX_WEIGHT, indexSnap, jaccard, compareSnaps, decision, verdict, systemDiskLabel, simulateSnapshot };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else Object.assign(root, api);
})(typeof window === 'object' ? window : globalThis);
