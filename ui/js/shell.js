'use strict';
// The page's frame: layout state, tabs and navigation, menus, the host
// protocol, file picking and dropping, keys and start-up.

// The maker's two sites. The host allows "openurl:" only for these exact
// addresses, so its list must hold the same two texts.
const SITES = [
  { name: 'VornixQuelm', url: 'https://vornixquelm.example/' },
  { name: 'Morvel K7', url: 'https://morvel-k7.example/' },
];

const LOGO_SVG = '<svg class="logo" viewBox="0 0 32 32" width="30" height="30" aria-hidden="true"><defs><linearGradient id="lg" x1="0" y1="0" x2="1" y2="1">' +
  '<stop offset="0" stop-color="#5b8cff"/><stop offset="1" stop-color="#2fd0b0"/></linearGradient></defs>' +
  '<path d="M16 2 L28 9 V23 L16 30 L4 23 V9 Z" fill="none" stroke="url(#lg)" stroke-width="2.4" stroke-linejoin="round"/>' +
  '<path d="M10 11 L16 22 L22 11" fill="none" stroke="#e5eaf2" stroke-width="2.4" stroke-linecap="round" stroke-linejoin="round"/></svg>';

const TABS = [
  { section: 'Assessment', id: 'overview', label: 'Overview', icon: 'M4 13h6V4H4zM14 20h6v-9h-6zM4 20h6v-4H4zM14 4v4h6V4z' },
  { section: 'Assessment', id: 'vm', label: 'VM Detection', icon: 'M3 5h18v11H3zM8 20h8M12 16v4M8 9l3 3-3 3' },
  { section: 'Assessment', id: 'signals', label: 'Identifiers', icon: 'M4 7h10M4 12h16M4 17h8M18 5v4M16 7h4' },
  { section: 'Assessment', id: 'compare', label: 'Compare snapshots', icon: 'M7 4v16M17 4v16M3 8h8M13 16h8' },
  { section: 'Assessment', id: 'diff', label: 'Report diff', icon: 'M6 3h9l4 4v14H6zM9 11h6M12 8v6M9 17h6' },
  { section: 'Hardware', id: 'cpu', label: 'CPU & FPU', icon: 'M7 7h10v10H7zM10 3v4M14 3v4M10 17v4M14 17v4M3 10h4M3 14h4M17 10h4M17 14h4' },
  { section: 'Hardware', id: 'firmware', label: 'Firmware', icon: 'M4 6h16v12H4zM8 10h2M8 14h8M13 10h3' },
  { section: 'Hardware', id: 'storage', label: 'Storage', icon: 'M4 5h16v6H4zM4 13h16v6H4zM8 8h.01M8 16h.01' },
  { section: 'Hardware', id: 'network', label: 'Network', icon: 'M12 20h.01M8.5 16.5a5 5 0 0 1 7 0M5 13a10 10 0 0 1 14 0M2 9.5a15 15 0 0 1 20 0' },
  { section: 'Hardware', id: 'display', label: 'Display & power', icon: 'M3 4h18v12H3zM9 20h6M12 16v4' },
  { section: 'Hardware', id: 'devices', label: 'PnP devices', icon: 'M9 3v4M15 3v4M6 7h12v5a6 6 0 0 1-12 0zM12 18v3' },
  { section: 'Trust', id: 'tpm', label: 'TPM', icon: 'M6 10h12v11H6zM9 10V7a3 3 0 0 1 6 0v3M12 14v3' },
  { section: 'Trust', id: 'platform', label: 'Platform security', icon: 'M12 3l8 3v6c0 5-3.5 8-8 9-4.5-1-8-4-8-9V6zM9 12l2 2 4-4' },
  { section: 'Trust', id: 'microsoft', label: 'Microsoft & cloud', icon: 'M7 18h10a4 4 0 0 0 0-8 6 6 0 0 0-11.5 1.5A3.5 3.5 0 0 0 7 18z' },
  { section: 'Trust', id: 'drivers', label: 'Kernel drivers', icon: 'M12 3l8 4.5v9L12 21l-8-4.5v-9zM12 12l8-4.5M12 12v9M12 12L4 7.5' },
  { section: 'Trust', id: 'windows', label: 'Windows', icon: 'M3 5.5l7.5-1v7H3zM12.5 4.2L21 3v8.5h-8.5zM3 13.5h7.5v7L3 19.5zM12.5 13.5H21V21l-8.5-1.2z' },
  { section: 'Data', id: 'json', label: 'Raw JSON', icon: 'M8 4c-2 0-2 2-2 4s-2 4-2 4 2 0 2 4 0 4 2 4M16 4c2 0 2 2 2 4s2 4 2 4-2 0-2 4 0 4-2 4' },
  { section: 'Data', id: 'about', label: 'About', icon: 'M12 21a9 9 0 1 0 0-18 9 9 0 0 0 0 18zM12 11v6M12 7h.01' },
];
const TAB_IDS = TABS.map((t) => t.id);

const state = {
  snap: null,
  tab: 'overview',
  reveal: false,
  q: '',
  sigCat: 'All',
  sigScope: 'All',
  cmp: { A: null, B: null, onlyDiff: true },
  diff: { A: null, B: null, onlyDiff: true, ignoreVolatile: true },
  key: null,
  scanning: true,
  keepScroll: false,
  userBannerOff: false,
};

// ---- host bridge ----

const HOST = window.chrome && window.chrome.webview ? window.chrome.webview : null;

function send(text) {
  if (HOST) HOST.postMessage(String(text));
}

const $ = (id) => document.getElementById(id);

// ---- banner and toast ----

// buttons: [{ act, label, title }]; tip: the banner stays one line, cut
// with "…", and tip (the whole explanation) is its text's tooltip.
function showBanner(text, buttons, tip) {
  const b = $('banner');
  b.textContent = '';
  b.classList.toggle('one-line', !!tip);
  const span = document.createElement('span');
  span.textContent = text;
  if (tip) span.title = tip;
  b.appendChild(span);
  for (const button of buttons || []) {
    const btn = document.createElement('button');
    btn.className = 'btn small';
    btn.dataset.act = button.act;
    btn.textContent = button.label;
    if (button.title) {
      btn.title = button.title;
      btn.setAttribute('aria-label', button.title);
    }
    b.appendChild(btn);
  }
  b.hidden = false;
}

function hideBanner() {
  $('banner').hidden = true;
  $('banner').textContent = '';
}

let toastTimer = 0;
function toast(text, level) {
  const t = $('toast');
  t.textContent = String(text);
  t.className = 'toast' + (level === 'ok' || level === 'bad' ? ' toast-' + level : '');
  t.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { t.hidden = true; }, 3800);
}

// ---- navigation ----

function tabCount(tab) {
  const s = state.snap;
  if (!s) return null;
  switch (tab.id) {
    case 'overview': {
      const fail = s.checks.filter((c) => c.status === 'fail').length;
      if (fail) return [fail, 'bad'];
      const warn = s.checks.filter((c) => c.status === 'warn').length;
      return warn ? [warn, 'warn'] : null;
    }
    case 'vm': {
      const n = vmWeightedCount(s);
      return [n, n > 0 ? 'warn' : ''];
    }
    case 'signals': return [s.signals.length, ''];
    case 'compare': case 'json': case 'about': return null;
    case 'diff': {
      const result = typeof currentDiff === 'function' ? currentDiff() : null;
      if (!result) return null;
      const n = result.totals.diff;
      return [n, n > 0 ? 'bad' : ''];
    }
    case 'drivers': {
      const t = s.tables.find((x) => x.id === 'drivers');
      const n = t ? t.rows.length : 0;
      if (!n) return null;
      const sc = s.scores.find((x) => x.id === 'drivers');
      return [n, sc && sc.value < 65 ? 'bad' : sc && sc.value < 85 ? 'warn' : ''];
    }
    default: {
      const n = s.tables.filter((t) => t.tab === tab.id).reduce((a, t) => a + t.rows.length, 0);
      return n > 0 ? [n, ''] : null;
    }
  }
}

function icon(path) {
  return '<svg class="icon" viewBox="0 0 24 24" width="18" height="18" aria-hidden="true"><path d="' + path + '"/></svg>';
}

function renderNav() {
  let h = '';
  let section = '';
  for (const t of TABS) {
    if (t.section !== section) {
      section = t.section;
      h += '<div class="nav-section">' + esc(tx(section)) + '</div>';
    }
    const c = tabCount(t);
    h += '<button class="nav-btn' + (t.id === state.tab ? ' active" aria-current="page' : '') + '" data-act="tab" data-id="' + t.id + '">' + icon(t.icon) +
      '<span class="nav-label">' + esc(tx(t.label)) + '</span>' +
      (c ? '<span class="nav-count' + (c[1] ? ' count-' + c[1] : '') + '">' + esc(formatNumber(c[0])) + '</span>' : '') + '</button>';
  }
  $('nav').innerHTML = h;
  titleCutNavLabels();
  if (state.tab !== navRevealedTab) revealActiveTab();
}

// The open tab stays in view in the sidebar, which at the smallest window
// cannot show every tab: a view opened from elsewhere (a link, the host) or
// a lower window brings its button in, without scrolling anything else.
let navRevealedTab = null;
function revealActiveTab() {
  const nav = $('nav');
  const btn = nav.querySelector('.nav-btn.active');
  if (!btn) return;
  navRevealedTab = state.tab;
  const n = nav.getBoundingClientRect();
  const b = btn.getBoundingClientRect();
  const pad = 4; // a little of what lies beyond, so the button is seen whole
  if (b.top < n.top + pad) nav.scrollTop -= Math.ceil(n.top + pad - b.top);
  else if (b.bottom > n.bottom - pad) nav.scrollTop += Math.ceil(Math.min(b.bottom - n.bottom + pad, b.top - n.top));
}

// A text cut with "…" shows its whole text as a tooltip. Measured after each
// drawing and resize, so the tooltip follows the language and the width.
function titleIfCut(el, holder) {
  if (el.scrollWidth > el.clientWidth) holder.setAttribute('title', el.textContent);
  else holder.removeAttribute('title');
}

function titleCutNavLabels() {
  for (const label of $('nav').querySelectorAll('.nav-label')) titleIfCut(label, label.closest('.nav-btn'));
}

function titleCutHeader() {
  titleIfCut($('dev-title'), $('dev-title'));
  titleIfCut($('dev-sub'), $('dev-sub'));
}

function renderPlaceholderTab(id) {
  const t = TABS.find((x) => x.id === id);
  return heading(t ? t.label : id, 'No data collected for this section.');
}

function viewHtml() {
  switch (state.tab) {
    case 'overview': return renderOverview();
    case 'vm': return renderVmDetection();
    case 'signals': return renderSignals();
    case 'compare': return typeof renderCompare === 'function' ? renderCompare() : renderPlaceholderTab('compare');
    case 'diff': return typeof renderDiff === 'function' ? renderDiff() : renderPlaceholderTab('diff');
    case 'json': return renderJson();
    case 'about': return renderAbout();
    default: return renderGenericTab(state.tab);
  }
}

// Views without rows to filter: the filter box is hidden there (it keeps
// its room, so the header does not move between tabs).
const UNFILTERED_TABS = ['overview', 'json', 'about'];

function filterApplies() {
  return !UNFILTERED_TABS.includes(state.tab);
}

function render() {
  const keep = state.keepScroll;
  state.keepScroll = false;
  const view = $('view');
  const focus = focusedControl();
  const anchor = keep ? topAnchor() : null;
  renderNav();
  $('search').classList.toggle('na', !filterApplies());
  if (!state.snap) {
    view.innerHTML = spinnerHtml();
    return;
  }
  try {
    view.innerHTML = '<div class="view-inner">' + viewHtml() + '</div>';
  } catch (e) {
    showBanner(labelColon('Render error') + ' ' + (e && e.stack ? e.stack : String(e)));
  }
  if (anchor) keepAnchor(anchor);
  else {
    endJump();
    scroller().scrollTop = 0;
  }
  if (focus) restoreFocus(focus);
}

// The element that scrolls the view: the view itself, or, in a low window
// where the header scrolls away with the content, the main column.
function scroller() {
  const view = $('view');
  return getComputedStyle(view).overflowY === 'visible' ? $('main') : view;
}

// The top edge of what the user sees of the view.
function viewTop() {
  return Math.max($('view').getBoundingClientRect().top, scroller().getBoundingClientRect().top);
}

// ---- what a redraw keeps ----

// A control of the navigation or the view that has the focus, as a selector
// of its data attributes, which name it again after the redraw.
function focusedControl() {
  const el = document.activeElement;
  if (!(el instanceof HTMLElement) || el === $('view')) return null;
  if (!$('view').contains(el) && !$('nav').contains(el)) return null;
  const attrs = Object.keys(el.dataset).map((k) => '[data-' + k.replace(/[A-Z]/g, (c) => '-' + c.toLowerCase()) + '="' + CSS.escape(el.dataset[k]) + '"]');
  return { selector: attrs.length ? el.tagName.toLowerCase() + attrs.join('') : '' };
}

function restoreFocus(focus) {
  const el = focus.selector ? document.querySelector('#nav ' + focus.selector + ', #view ' + focus.selector) : null;
  if (el && !el.disabled) el.focus({ preventScroll: true });
  else focusHeading($('view'));
}

// Focus moves to a heading (made focusable for it) without scrolling.
function focusHeading(within) {
  const h = within.matches('h2, h3, .vm-title') ? within : within.querySelector('h2, h3, .vm-title');
  const target = h || within;
  if (!target.hasAttribute('tabindex')) target.setAttribute('tabindex', '-1');
  target.focus({ preventScroll: true });
}

// Blocks a reader may be at the top of: a row, an entry, a heading, a card.
const ANCHOR_BLOCKS = 'tr, li, .vm-entry, h2, h3, p, .stat, .chips, .opts, .slot, .card';

// The element at the top of the view, as its path of child positions from
// the view, and how far its top lies from the view's.
function topAnchor() {
  const view = $('view');
  const r = view.getBoundingClientRect();
  const y = viewTop() + 1;
  for (const dx of [0.25, 0.5, 0.75, 0.1]) {
    const hit = document.elementFromPoint(r.left + r.width * dx, y);
    if (!hit || !view.contains(hit) || hit === view) continue;
    const el = hit.closest(ANCHOR_BLOCKS) || hit;
    if (!view.contains(el)) continue;
    const path = [];
    for (let n = el; n !== view; n = n.parentElement) path.unshift([...n.parentElement.children].indexOf(n));
    return { path, offset: el.getBoundingClientRect().top - viewTop() };
  }
  return { path: [], offset: 0, scrollTop: scroller().scrollTop };
}

// The same place after the redraw: the element at that path (or the nearest
// ancestor that still exists) goes back to where it was.
function keepAnchor(anchor) {
  let el = null;
  for (let k = anchor.path.length; k > 0 && !el; k--) {
    let n = $('view');
    for (const i of anchor.path.slice(0, k)) n = n ? n.children[i] : null;
    el = n && n !== $('view') ? n : null;
  }
  if (!el) {
    scroller().scrollTop = anchor.scrollTop || 0;
    return;
  }
  jumpTo(el, anchor.path.length ? anchor.offset : 0);
}

function spinnerHtml() {
  return '<div class="spinner-wrap"><div class="spinner"></div><div>' + esc(tx('Collecting identifiers…')) + '</div></div>';
}

function showTab(id, fromHost) {
  state.tab = TAB_IDS.includes(id) ? id : 'overview';
  if (fromHost && state.snap && typeof simulateSnapshot === 'function') {
    if (state.tab === 'compare' && !state.cmp.B) state.cmp.B = simulateSnapshot(state.snap, 'ssd');
    if (state.tab === 'diff' && !state.diff.B) {
      state.diff.A = state.snap;
      const b = simulateSnapshot(state.snap, 'upgrade');
      const os = b.tables.find((t) => t.id === 'windows.os');
      if (os && os.rows[0] && os.rows[0].c.length > 1) os.rows[0].c[1] += ' (B)';
      const gpu = b.tables.find((t) => t.id === 'display.gpus');
      if (gpu && gpu.rows[0]) {
        const r0 = gpu.rows[0];
        if (r0.c.length > 2) r0.c[2] += ' (B)';
        const copy = { c: r0.c.slice() };
        copy.c[0] = 'added in B';
        if ('s' in r0) copy.s = r0.s;
        gpu.rows.push(copy);
      }
      state.diff.B = b;
    }
  }
  render();
  if (fromHost) requestAnimationFrame(() => requestAnimationFrame(() => send('shown:' + id)));
}
window.showTab = showTab;

// ---- reports ----

function deviceTitles() {
  const s = state.snap;
  $('dev-title').textContent = s.device.title ? tx(s.device.title) : tx('Windows PC');
  $('dev-sub').textContent = tx(s.device.subtitle);
  titleCutHeader();
}

function versionLine() {
  const r = state.snap;
  $('version-line').textContent = tf('v{x1} · scan {x2} s', { x1: str(r.version), x2: formatNumber(num(r.durationMs) / 1000, 1) });
}

// One line at the top of every view without administrator rights, so it can
// be put away until the program closes (the page lives as long as it does);
// the whole explanation is its tooltip.
function standardUserBanner() {
  if (state.userBannerOff) return;
  showBanner(tx('Standard user: some reads need administrator rights.'), [
    { act: 'elevate', label: tx('Restart as administrator') },
    { act: 'banner-off', label: '×', title: tx('Hide until the program closes') },
  ], tx('Running as a standard user. Everything here is read in user mode; on some systems NVMe Identify or TPM NV reads additionally need administrator rights.'));
}

function setSnapshot(report) {
  const r = normReport(report);
  r._current = true;
  state.snap = r;
  state.scanning = false;
  // Compare and Report diff both start with the current scan in slot A.
  if (!state.cmp.A || state.cmp.A._current) state.cmp.A = r;
  if (!state.diff.A || state.diff.A._current) state.diff.A = r;
  $('dev-title').removeAttribute('data-i18n');
  $('dev-sub').removeAttribute('data-i18n');
  deviceTitles();
  versionLine();
  $('progress').hidden = true;
  $('scan-btn').disabled = false;
  if (r.elevated !== true) standardUserBanner();
  else hideBanner();
  state.keepScroll = true;
  render();
}

function endScanWithoutReport() {
  state.scanning = false;
  $('progress').hidden = true;
  $('scan-btn').disabled = false;
}

function onHostMessage(msg) {
  if (!msg || typeof msg !== 'object' || typeof msg.type !== 'string') return;
  switch (msg.type) {
    case 'progress': {
      state.scanning = true;
      const pct = Math.max(0, Math.min(100, num(msg.pct)));
      $('progress').hidden = false;
      $('progress-fill').style.width = pct + '%';
      $('progress-text').textContent = pct < 100 ? tf('Collecting: {t1}…', { t1: tx(str(msg.stage)) }) : tx('Finishing…');
      $('scan-btn').disabled = true;
      break;
    }
    case 'snapshot':
      setSnapshot(msg.data);
      send('rendered');
      break;
    case 'status':
      toast(tx(str(msg.text)), str(msg.level));
      // A scan that ended without a report: scanning must not stay disabled
      // for good. The field says so; the text is only shown.
      if (msg.scan === 'failed') endScanWithoutReport();
      break;
    case 'tpmkey': {
      state.key = msg;
      const level = msg.exists === true && msg.challengeOk === true ? 'ok' : msg.providerOk === true ? '' : 'bad';
      toast(tx(str(msg.message)), level);
      if (state.tab === 'tpm' && state.snap) { state.keepScroll = true; render(); }
      break;
    }
    case 'file': {
      const slot = str(msg.slot);
      const name = str(msg.name);
      const text = str(msg.text);
      if (slot === 'DA' || slot === 'DB') {
        if (typeof loadDiffFile === 'function') loadDiffFile(slot.slice(1), name, text);
      } else if (slot === 'A' || slot === 'B') loadCompareFile(slot, name, text);
      break;
    }
    default:
      break;
  }
}

// ---- files ----

let pendingSlot = '';
function pickFile(slot) {
  if (HOST) {
    send('open:' + slot + '|' + tx('Open report file'));
    return;
  }
  pendingSlot = slot;
  $('file-input').value = '';
  $('file-input').click();
}

function readDroppedOrPicked(file, slot) {
  if (!file || !slot.startsWith('D')) return;
  file.text().then((text) => {
    if (typeof loadDiffFile === 'function') loadDiffFile(slot.slice(1), file.name, text);
  });
}

// ---- menus ----

const MENUS = [['export-menu', 'export-btn'], ['lang-menu', 'lang-btn']];

function closeMenus() {
  for (const [menu, btn] of MENUS) {
    $(menu).hidden = true;
    $(btn).setAttribute('aria-expanded', 'false');
  }
}

function menuItems(menu) {
  return [...menu.querySelectorAll('.menu-item')];
}

function placeMenu(menu, btn) {
  const margin = 8;
  const gap = 6;
  menu.style.maxHeight = '';
  const b = btn.getBoundingClientRect();
  const w = window.innerWidth;
  const hgt = window.innerHeight;
  const below = hgt - b.bottom - gap - margin;
  const above = b.top - gap - margin;
  const need = menu.scrollHeight;
  const down = need <= below || below >= above;
  menu.style.maxHeight = Math.max(0, down ? below : above) + 'px';
  const mh = Math.min(need, down ? below : above);
  menu.style.top = (down ? b.bottom + gap : b.top - gap - mh) + 'px';
  const mw = menu.offsetWidth;
  let left = b.right - mw;
  left = Math.max(margin, Math.min(left, w - margin - mw));
  menu.style.left = left + 'px';
}

// Opening a menu puts the focus on its first item (or its last), as the
// menu-button pattern has it; closing it by key gives the focus back.
function openMenu(menu, btn, last) {
  closeMenus();
  menu.hidden = false;
  btn.setAttribute('aria-expanded', 'true');
  placeMenu(menu, btn);
  const items = menuItems(menu);
  if (items.length) items[last ? items.length - 1 : 0].focus({ preventScroll: true });
}

function toggleMenu(menu, btn) {
  if (menu.hidden) openMenu(menu, btn, false);
  else closeMenus();
}

// Keys on a menu button and inside an open menu.
function onMenuKey(ev) {
  const target = ev.target instanceof Element ? ev.target : null;
  if (!target) return false;
  const pair = MENUS.find(([menu, btn]) => target.id === btn || $(menu).contains(target));
  if (!pair) return false;
  const menu = $(pair[0]);
  const btn = $(pair[1]);
  const k = ev.key;
  if (target === btn) {
    if (k !== 'ArrowDown' && k !== 'ArrowUp') return false;
    openMenu(menu, btn, k === 'ArrowUp');
  } else if (k === 'Escape') {
    closeMenus();
    btn.focus();
  } else if (k === 'Tab') {
    closeMenus();
    return false;
  } else {
    const items = menuItems(menu);
    const i = items.indexOf(target.closest('.menu-item'));
    const next = { ArrowDown: i + 1, ArrowUp: i - 1, Home: 0, End: items.length - 1 }[k];
    if (next === undefined) return false;
    items[(next + items.length) % items.length].focus();
  }
  ev.preventDefault();
  return true;
}

function siteButtons() {
  return SITES.map((s) => '<button class="site-btn" data-act="site" data-url="' + esc(s.url) + '" title="' + esc(s.url) + '">' + esc(s.name) + '</button>').join('');
}

// ---- actions ----

// Cards and blocks of rows are laid out only near the screen, with a
// placeholder height until then (content-visibility: auto), so a target's
// place is known only once what lies above it is laid out. A jump lays that
// out first, puts the target at the top at once (a smooth scroll would chase
// a moving target), and keeps it there while the blocks around it are drawn.
const LAZY_BLOCKS = '.card, .row-block, .json-block';
const SETTLE_FRAMES = 30;

function layOutAbove(el) {
  for (const block of $('view').querySelectorAll(LAZY_BLOCKS)) {
    const pos = block.compareDocumentPosition(el);
    if (!(pos & (Node.DOCUMENT_POSITION_FOLLOWING | Node.DOCUMENT_POSITION_CONTAINED_BY))) break;  // in document order: the rest follow it
    block.classList.add('laid-out');
  }
}

// Scrolls the view by what the target lies below its top, less offset (the
// view stops at its end when the target is near it).
function scrollTargetToTop(el, offset) {
  const delta = el.getBoundingClientRect().top - viewTop() - (offset || 0);
  if (Math.abs(delta) >= 1) scroller().scrollTop += delta;
}

let jumpSerial = 0;
function jumpTo(el, offset) {
  layOutAbove(el);
  scrollTargetToTop(el, offset);
  const serial = ++jumpSerial;
  let frames = 0;
  const settle = () => {
    // A newer jump, a new drawing of the view or the user's own scrolling ends it.
    if (serial !== jumpSerial || !el.isConnected || ++frames > SETTLE_FRAMES) return;
    scrollTargetToTop(el, offset);
    requestAnimationFrame(settle);
  };
  requestAnimationFrame(settle);
}

function endJump() {
  jumpSerial++;
}

function gotoTarget(id) {
  let el = document.getElementById(id);
  if (!el && state.q) {
    state.q = '';
    $('search').value = '';
    state.keepScroll = true;
    render();
    el = document.getElementById(id);
  }
  if (el) {
    // The next Tab goes on from the target, not from the button.
    focusHeading(el);
    jumpTo(el);
  }
}

function setReveal(on) {
  state.reveal = on;
  updateRevealLabel();
  state.keepScroll = true;
  render();
}

function updateRevealLabel() {
  $('reveal-label').textContent = tx(state.reveal ? 'Hide identifiers' : 'Show identifiers');
  $('reveal-btn').classList.toggle('on', state.reveal);
  titleCutHeader();
}

function onClick(ev) {
  const target = ev.target instanceof Element ? ev.target : null;
  const el = target ? target.closest('[data-act]') : null;
  const act = el ? el.dataset.act : '';
  if (act === 'tab') { closeMenus(); showTab(el.dataset.id); return; }
  if (act === 'goto') { gotoTarget(el.dataset.target); return; }
  if (act === 'export-menu') { toggleMenu($('export-menu'), el); return; }
  if (act === 'lang-menu') { toggleMenu($('lang-menu'), el); return; }
  // An item chosen: its menu closes and the focus goes back to the menu's button.
  const from = el ? MENUS.find(([menu]) => $(menu).contains(el)) : null;
  closeMenus();
  if (from) $(from[1]).focus({ preventScroll: true });
  if (el && typeof onCompareAction === 'function' && onCompareAction(act, el)) return;
  switch (act) {
    case 'lang': setLang(el.dataset.code, true); break;
    case 'site': {
      const url = el.dataset.url;
      if (!SITES.some((s) => s.url === url)) break;
      if (HOST) send('openurl:' + url);
      else window.open(url, '_blank', 'noopener');
      break;
    }
    case 'export-safe': send('export:safe|' + tx('Export privacy-safe report')); break;
    case 'export-raw':
      if (window.confirm(tx('The raw report contains serial numbers, UUIDs and key fingerprints in clear text. Export anyway?'))) {
        send('export:raw|' + tx('Export raw diagnostic report (contains identifiers)'));
      }
      break;
    case 'scan': if (!$('scan-btn').disabled) { send('scan'); $('scan-btn').disabled = true; state.scanning = true; } break;
    case 'elevate': send('elevate'); break;
    case 'banner-off': state.userBannerOff = true; hideBanner(); break;
    case 'reveal':
      if (state.reveal) setReveal(false);
      else if (window.confirm(tx('Show serial numbers, UUIDs and other per-unit identifiers on screen? Avoid doing this while screen sharing.'))) setReveal(true);
      break;
    case 'sigcat': state.sigCat = el.dataset.v; state.keepScroll = true; render(); break;
    case 'sigscope': state.sigScope = el.dataset.v; state.keepScroll = true; render(); break;
    case 'tpmkey': {
      const op = el.dataset.op;
      if (op === 'delete' && !window.confirm(tx('Delete the TPM-bound demo key from this Windows account?'))) break;
      send('tpmkey:' + op);
      toast(tf('TPM: {x1}…', { x1: Object.prototype.hasOwnProperty.call(KEY_ACTIONS, op) ? tx(KEY_ACTIONS[op]) : op }));
      break;
    }
    case 'copy-json': {
      if (!state.snap) break;
      if (state.reveal && !window.confirm(tx('Copy JSON including identifiers to the clipboard?'))) break;
      send('copy:' + reportJsonText(state.snap));
      toast(tx('JSON copied to clipboard'));
      break;
    }
    case 'pick': pickFile(el.dataset.slot); break;
    default: {
      const copy = target ? target.closest('[data-copy]') : null;
      if (copy && state.reveal) {
        send('copy:' + copy.dataset.copy);
        toast(tx('Copied'));
      }
    }
  }
}

function onLanguageChanged() {
  if (state.snap) {
    updateRevealLabel();
    deviceTitles();
    versionLine();
    // Only the standard-user banner is redrawn: an error banner keeps its text.
    if (!$('banner').hidden && $('banner').querySelector('[data-act="elevate"]')) standardUserBanner();
  }
}

let searchTimer = 0;
function onSearchInput() {
  clearTimeout(searchTimer);
  searchTimer = setTimeout(() => {
    state.q = $('search').value.trim();
    render();
  }, 140);
}

function onKey(ev) {
  if (onMenuKey(ev)) return;
  const k = ev.key;
  if ((ev.ctrlKey || ev.metaKey) && (k === 'f' || k === 'F')) {
    if (!filterApplies()) return;
    ev.preventDefault();
    $('search').focus();
    $('search').select();
  } else if (k === 'F5' || (ev.ctrlKey && (k === 'r' || k === 'R'))) {
    ev.preventDefault();
    if (!state.scanning) {
      send('scan');
      $('scan-btn').disabled = true;
      state.scanning = true;
    }
  } else if (k === 'Escape') {
    closeMenus();
    if (state.q || $('search').value) {
      $('search').value = '';
      state.q = '';
      state.keepScroll = true;
      render();
    }
  }
}

function dropTarget(ev) {
  return ev.target instanceof Element ? ev.target.closest('[data-drop]') : null;
}

function init() {
  window.addEventListener('error', (e) => {
    showBanner(labelColon('UI error') + ' ' + (e && e.message ? e.message : '') + ' (' + (e && e.lineno ? e.lineno : '?') + ')');
  });
  compileTemplates();
  $('sites').innerHTML = siteButtons();
  $('brand-logo').innerHTML = LOGO_SVG;
  LANG = detectLang();
  document.documentElement.setAttribute('lang', LANG);
  applyStaticI18n();
  renderNav();
  $('search').classList.toggle('na', !filterApplies());
  document.addEventListener('click', onClick);
  document.addEventListener('keydown', onKey);
  $('search').addEventListener('input', onSearchInput);
  for (const type of ['wheel', 'pointerdown', 'keydown', 'touchstart']) $('main').addEventListener(type, endJump, { passive: true });
  window.addEventListener('resize', () => {
    revealActiveTab();
    titleCutNavLabels();
    titleCutHeader();
    if (!$('export-menu').hidden) placeMenu($('export-menu'), $('export-btn'));
    if (!$('lang-menu').hidden) placeMenu($('lang-menu'), $('lang-btn'));
  });
  $('file-input').addEventListener('change', () => {
    const f = $('file-input').files[0];
    readDroppedOrPicked(f, pendingSlot);
  });
  document.addEventListener('dragover', (ev) => {
    const t = dropTarget(ev);
    if (!t) return;
    ev.preventDefault();
    t.classList.add('drop-on');
  });
  document.addEventListener('dragleave', (ev) => {
    const t = dropTarget(ev);
    if (t) t.classList.remove('drop-on');
  });
  document.addEventListener('drop', (ev) => {
    const t = dropTarget(ev);
    if (!t) return;
    ev.preventDefault();
    t.classList.remove('drop-on');
    const f = ev.dataTransfer && ev.dataTransfer.files ? ev.dataTransfer.files[0] : null;
    readDroppedOrPicked(f, 'D' + t.dataset.drop);
  });
  if (HOST) HOST.addEventListener('message', (ev) => onHostMessage(ev.data));
  send('ready');
}

init();
