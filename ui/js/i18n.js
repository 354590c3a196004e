'use strict';
// Translation engine. Every label is keyed by its English text; the English
// texts collectors write into the report are translated the same way.

const LANGS = [
  { code: 'ru', name: 'Русский', flag: 'ru', short: 'RU' },
  { code: 'en', name: 'English', flag: 'gb', short: 'EN' },
  { code: 'vi', name: 'Tiếng Việt', flag: 'vn', short: 'VI' },
  { code: 'zh-Hans', name: '简体中文', flag: 'cn', short: '简' },
  { code: 'zh-Hant', name: '繁體中文', flag: 'hk', short: '繁' },
  { code: 'es', name: 'Español', flag: 'es', short: 'ES' },
  { code: 'pt', name: 'Português (Brasil)', flag: 'br', short: 'PT' },
  { code: 'fr', name: 'Français', flag: 'fr', short: 'FR' },
  { code: 'de', name: 'Deutsch', flag: 'de', short: 'DE' },
];
const LANG_CODES = LANGS.map((l) => l.code);

// The build packs the dictionaries as one key array plus [index, text] pairs
// per language; they are expanded once here.
const I18N = Object.create(null);
const TEMPLATES = [];
let I18N_MAX_KEY = 0;
(function expandDictionaries() {
  const pack = typeof I18N_PACK === 'object' && I18N_PACK ? I18N_PACK : {};
  const keys = Array.isArray(pack.keys) ? pack.keys : [];
  for (const k of keys) I18N_MAX_KEY = Math.max(I18N_MAX_KEY, String(k).length);
  const langs = pack.langs && typeof pack.langs === 'object' ? pack.langs : {};
  for (const code of Object.keys(langs)) {
    if (!LANG_CODES.includes(code)) continue;
    const dict = Object.create(null);
    for (const pair of langs[code]) {
      if (Array.isArray(pair) && typeof keys[pair[0]] === 'string' && typeof pair[1] === 'string') dict[keys[pair[0]]] = pair[1];
    }
    I18N[code] = dict;
  }
  if (Array.isArray(pack.templates)) for (const t of pack.templates) if (typeof t === 'string') TEMPLATES.push(t);
})();

let LANG = 'en';
let TX_MEMO = new Map();
let COMPILED_TEMPLATES = [];
// Templates, lists and sentences are matched only in texts up to this length:
// the labels are short, and the regular expressions of templates and list
// separators take time that grows with the square of the text. Longer texts
// (values from reports and files) are looked up whole, which stays linear.
let TX_MATCH_LIMIT = 0;

// What a number placeholder {n} takes: digits with points and commas, a sign
// and an exponent ("-11.70", "3.0023e-04"); a percentage {p} is a number
// followed by its sign ("92%"), which the page writes in its own format.
const NUMBER_RE = '(-?[\\d.,]+(?:e[-+]?\\d+)?)';
const PERCENT_RE = '(-?\\d+(?:\\.\\d+)?)%';

function escapeRegExp(s) {
  return s.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
}

function compileTemplate(t) {
  const names = [];
  let re = '^';
  let last = 0;
  const ph = /\{([ntxp])(\d+)\}/g;
  let m;
  while ((m = ph.exec(t)) !== null) {
    re += escapeRegExp(t.slice(last, m.index));
    re += m[1] === 'n' ? NUMBER_RE : m[1] === 'p' ? PERCENT_RE : '(.+?)';
    names.push(m[1] + m[2]);
    last = ph.lastIndex;
  }
  re += escapeRegExp(t.slice(last)) + '$';
  // The literal text before the first and after the last placeholder: a cheap
  // test that rules out nearly every template before the expression runs.
  const first = t.search(/\{[ntxp]\d+\}/);
  const head = first < 0 ? t : t.slice(0, first);
  const tail = first < 0 ? '' : t.slice(last);
  return { t, re: new RegExp(re, 's'), names, head, tail };
}

function compileTemplates() {
  COMPILED_TEMPLATES = TEMPLATES.map(compileTemplate);
  // Room for the values a template is filled with (names, serials, paths).
  TX_MATCH_LIMIT = Math.max(I18N_MAX_KEY, ...TEMPLATES.map((t) => t.length), 0) + 256;
}

// One pass over the template: a value that itself reads like a placeholder
// (a file name "{x2}.json") stays as it is.
function fillPlaceholders(template, valueOf) {
  return template.replace(/\{([ntxp]\d+)\}/g, (whole, name) => {
    const v = valueOf(name);
    return v === undefined ? whole : String(v);
  });
}

// A template's values as the page shows them: a number with the language's
// decimal mark, a percentage by its formatter, a word of the program
// translated, a date in the language's format; other text as written.
function fillTemplate(translated, names, values) {
  return fillPlaceholders(translated, (name) => {
    const i = names.indexOf(name);
    if (i < 0) return undefined;
    const v = values[i];
    switch (name[0]) {
      case 't': return tx(v);
      case 'n': return localDecimal(v);
      case 'p': return formatPercent(parseFloat(v));
      default: return asShown(v);
    }
  });
}

// The translation of a template, in the plural form its first number takes
// ("<template>#<category>", as tn picks for counts).
function templateForm(dict, c, values) {
  const tr = dict[c.t];
  const i = c.names.findIndex((n) => n[0] === 'n');
  if (i < 0) return tr;
  const form = dict[c.t + '#' + pluralOfWritten(values[i])];
  return form === undefined ? tr : form;
}

function currentDict() {
  return LANG !== 'en' ? I18N[LANG] || null : null;
}

// Step 3 of tx: the first template that matches and has a translation.
function txTemplate(s, dict) {
  if (s.length > TX_MATCH_LIMIT) return null;
  for (const c of COMPILED_TEMPLATES) {
    const tr = dict[c.t];
    if (tr === undefined) continue;
    if (!s.startsWith(c.head) || !s.endsWith(c.tail) || s.length < c.head.length + c.tail.length) continue;
    const m = c.re.exec(s);
    if (!m) continue;
    const values = m.slice(1);
    // A template made only of one text placeholder would translate itself forever.
    if (c.names.some((n, i) => n[0] === 't' && values[i] === s)) continue;
    return fillTemplate(templateForm(dict, c, values), c.names, values);
  }
  return null;
}

function txExactOrTemplate(s, dict) {
  if (s in dict) return dict[s];
  return txTemplate(s, dict);
}

const LIST_SEP = /(\s+·\s+|\s+\/\s+|;\s+|,\s+)/;

function txList(s, dict) {
  const parts = s.split(LIST_SEP);
  if (parts.length < 3) return null;
  let changed = false;
  const out = parts.map((p, i) => {
    if (i % 2 === 1 || p === '') return p;
    const r = txExactOrTemplate(p, dict);
    if (r === null || r === p) return p;
    changed = true;
    return r;
  });
  return changed ? out.join('') : null;
}

function txHead(s, dict) {
  const i = s.indexOf(' - ');
  if (i <= 0) return null;
  const r = txExactOrTemplate(s.slice(0, i), dict);
  return r === null ? null : r + s.slice(i);
}

// Sentences follow each other after a blank, except after a full-width
// stop ("。", "！"), which holds its own space (Chinese).
function joinSentences(head, tail) {
  return /[\u3000-\u303f\uff01-\uff60]$/.test(head) ? head + tail : head + ' ' + tail;
}

function txSentences(s, dict) {
  const splits = [];
  const re = /\. (?=[\p{Lu}\d])/gu;
  let m;
  while ((m = re.exec(s)) !== null) splits.push(m.index + 2);
  for (let k = splits.length - 1; k >= 0; k--) {
    const p = splits[k];
    // No entry is longer than the longest key; skip heads that cannot match.
    if (p - 1 > I18N_MAX_KEY) continue;
    const head = s.slice(0, p - 1);
    const hr = txExactOrTemplate(head, dict);
    if (hr === null) continue;
    const tail = s.slice(p);
    const tr = tx(tail);
    if (tr !== tail) return joinSentences(hr, tr);
  }
  return null;
}

// English needs no translation, only its templates filled where a value in
// them is one the page writes itself (a date, a percentage).
let EN_FORMS = null;
const EN_FORMATTED = /\d{4}-\d\d-\d\d|\d%/;

function englishForms() {
  if (!EN_FORMS) {
    EN_FORMS = Object.assign(Object.create(null), I18N.en || {});
    for (const t of TEMPLATES) EN_FORMS[t] = t;
  }
  return EN_FORMS;
}

function tx(text) {
  if (text === null || text === undefined) return '';
  const s = String(text);
  if (s === '') return s;
  const dict = currentDict();
  if (dict && s in dict) return dict[s];
  if (TX_MEMO.has(s)) return TX_MEMO.get(s);
  const short = s.length <= TX_MATCH_LIMIT;
  let r = formatValue(s);
  if (r === null && !dict) r = short && EN_FORMATTED.test(s) ? txTemplate(s, englishForms()) : null;
  else if (r === null) {
    r = short ? txTemplate(s, dict) : null;
    if (r === null && short) r = txList(s, dict);
    if (r === null) r = txHead(s, dict);
    if (r === null && short) r = txSentences(s, dict);
  }
  if (r === null) r = s;
  TX_MEMO.set(s, r);
  return r;
}

// A label the page sets before a value ("Evidence:"): French puts a no-break
// space before the colon, as its dictionary does inside its own texts, so a
// line never starts with the colon.
function labelColon(label) {
  return tx(label) + (LANG === 'fr' ? '\u00a0:' : ':');
}

// ---- values the page writes in its language ----

// A whole text that is a date or a percentage in the forms reports write:
// "2026-12-11T05:54:33Z", "2010-05-08 06:15:54 UTC", "2027-01-01", "92%".
// Null for any other text.
const DATE_TIME_RE = /^(\d{4})-(\d\d)-(\d\d)(?:T(\d\d):(\d\d):(\d\d)Z| (\d\d):(\d\d):(\d\d) UTC)?$/;
const WHOLE_PERCENT_RE = /^(-?\d+(?:\.\d+)?)%$/;

function formatValue(s) {
  if (s.length > 24 || !/^-?\d/.test(s)) return null;
  const p = WHOLE_PERCENT_RE.exec(s);
  if (p) return formatPercent(parseFloat(p[1]), fractionDigits(p[1]));
  const m = DATE_TIME_RE.exec(s);
  if (!m) return null;
  const f = m.slice(1).map((x) => (x === undefined ? undefined : Number(x)));
  const withTime = f[3] !== undefined || f[6] !== undefined;
  const [hh, mm, ss] = f[3] !== undefined ? f.slice(3, 6) : withTime ? f.slice(6, 9) : [0, 0, 0];
  const t = Date.UTC(f[0], f[1] - 1, f[2], hh, mm, ss);
  const d = new Date(t);
  // A text that only looks like a date (month 13, hour 25) stays as written.
  if (d.getUTCFullYear() !== f[0] || d.getUTCMonth() !== f[1] - 1 || d.getUTCDate() !== f[2] || d.getUTCHours() !== hh ||
    d.getUTCMinutes() !== mm || d.getUTCSeconds() !== ss) return null;
  return formatDate(t, withTime);
}

// A value kept as written (a name, a serial), apart from a date or a
// percentage, which the page writes in its language.
function asShown(value) {
  const s = String(value === null || value === undefined ? '' : value);
  const f = formatValue(s);
  return f === null ? s : f;
}

// Dates and times in the language's format, in UTC and saying so: a report
// may come from another machine, whose zone the page does not know.
const DATE_FORMATS = new Map();

function formatDate(ms, withTime) {
  const key = LANG + '|' + (withTime ? 't' : 'd');
  let f = DATE_FORMATS.get(key);
  if (!f) {
    const opts = withTime ? { dateStyle: 'medium', timeStyle: 'long', timeZone: 'UTC' } : { dateStyle: 'medium', timeZone: 'UTC' };
    try {
      f = new Intl.DateTimeFormat(LANG, opts);
    } catch (e) {
      f = new Intl.DateTimeFormat('en', opts);
    }
    DATE_FORMATS.set(key, f);
  }
  return f.format(new Date(ms));
}

// The digits after the decimal point of a number as written ("0.10" has 2).
function fractionDigits(written) {
  const m = /\.(\d+)/.exec(String(written).split(/e/i)[0]);
  return m ? m[1].length : 0;
}

// A number as a report writes it (English notation: "0.2", "1,523",
// "3.0023e-04") in the language's notation, with as many decimals as
// written. A number without a point or a comma (a year, a build, a count)
// stays as it is.
function localDecimal(written) {
  const s = String(written);
  const m = /^-?(\d{1,3}(?:,\d{3})+|\d+)(?:\.(\d+))?(e[-+]?\d+)?$/.exec(s);
  if (!m || !/[.,]/.test(s)) return s;
  const digits = (m[1] + (m[2] || '')).replace(/,/g, '').length;
  if (!m[3] && digits <= 15) return formatNumber(parseFloat(s.replace(/,/g, '')), (m[2] || '').length);
  // An exponent or more digits than a double holds: only the marks change.
  const parts = numberFormat('', {}).formatToParts(12345.5);
  const mark = (type, dflt) => (parts.find((x) => x.type === type) || { value: dflt }).value;
  return s.replace(/[.,]/g, (c) => (c === '.' ? mark('decimal', '.') : mark('group', ',')));
}

// The plural category of a number as written: "1.0" has a fraction digit
// shown, which changes the category in many languages ("1.0 hours").
function pluralOfWritten(written) {
  return pluralCategory(parseFloat(String(written).replace(/,/g, '')), fractionDigits(written));
}

// Numbers the page makes itself (counts, durations, percentages) in the
// page's language: German "1.523" and "0,5", French and Russian with a space
// between digit groups and before "%". A report's numbers take this format
// only where the page translates them (localDecimal, formatValue).
const NUMBER_FORMATS = new Map();

function numberFormat(kind, opts) {
  const key = LANG + '|' + kind;
  let f = NUMBER_FORMATS.get(key);
  if (!f) {
    try {
      f = new Intl.NumberFormat(LANG, opts);
    } catch (e) {
      f = new Intl.NumberFormat('en', opts);
    }
    NUMBER_FORMATS.set(key, f);
  }
  return f;
}

function formatNumber(n, digits) {
  return digits === undefined ? numberFormat('', {}).format(n)
    : numberFormat(String(digits), { minimumFractionDigits: digits, maximumFractionDigits: digits }).format(n);
}

// A percentage (0 to 100), rounded to whole percent unless digits are given.
// Every percentage the page shows goes through here, a report's "92%" too.
function formatPercent(v, digits) {
  return percentParts(v, digits).join('');
}

// The same as [text before the number, the number, text after it], so the
// score rings can set the sign apart wherever the language puts it.
function percentParts(v, digits) {
  const d = digits || 0;
  const parts = numberFormat('%' + d, { style: 'percent', minimumFractionDigits: d, maximumFractionDigits: d })
    .formatToParts(d ? v / 100 : Math.round(v) / 100);
  const out = ['', '', ''];
  for (const p of parts) {
    const sign = p.type === 'percentSign' || p.type === 'literal';
    out[!sign ? 1 : out[1] ? 2 : 0] += p.value;
  }
  return out;
}

// Durations and sizes: the number in the language's format, the unit as the
// dictionary writes it ("{n1} мс", "{n1} Ko").
function formatUnit(n, unit, digits) {
  return tf('{n1} ' + unit, { n1: formatNumber(n, digits) });
}

// Fills the placeholders of values: a count given as a number shows in the
// page's language; a text (a value copied from a report) stays as it is.
function fillValues(text, values) {
  return fillPlaceholders(text, (name) => {
    if (!Object.prototype.hasOwnProperty.call(values, name)) return undefined;
    const v = values[name];
    if (typeof v !== 'number' || !Number.isFinite(v)) return v;
    return name[0] === 'n' ? formatNumber(v) : name[0] === 'p' ? formatPercent(v) : v;
  });
}

// Count texts. A dictionary may give the form of a plural category as
// "<key>#<category>" (Intl.PluralRules: "#one", "#few", "#many", "#other");
// a count takes the form of its category, else the "#other" form, else the
// key's own entry, which is also what the text reads without a number. The
// English key is the form for many; en.json holds the English "#one" forms.
const PLURAL_RULES = new Map();

function pluralCategory(n, digits) {
  const key = LANG + '|' + (digits || 0);
  if (!PLURAL_RULES.has(key)) {
    let rules = null;
    try {
      rules = new Intl.PluralRules(LANG, { minimumFractionDigits: digits || 0 });
    } catch (e) { /* no plural rules: every count takes the "#other" form */ }
    PLURAL_RULES.set(key, rules);
  }
  const rules = PLURAL_RULES.get(key);
  return rules && Number.isFinite(n) ? rules.select(n) : 'other';
}

function tn(n, key, values) {
  const dict = I18N[LANG] || {};
  const cat = pluralCategory(n);
  let out = dict[key + '#' + cat];
  if (out === undefined) out = dict[key + '#other'];
  if (out === undefined) out = key in dict ? dict[key] : key;
  return fillValues(out, Object.assign({ n1: n }, values || {}));
}

// A page template translated, then filled; text values stay as given.
function tf(template, values) {
  const dict = currentDict();
  const out = dict && template in dict ? dict[template] : template;
  return fillValues(out, values || {});
}

// Names joined as the language joins a list ("A, B and C", "A、B和C").
function listText(items) {
  try {
    return new Intl.ListFormat(LANG, { style: 'long', type: 'conjunction' }).format(items);
  } catch (e) {
    return items.join(', ');
  }
}

function storedLang() {
  try {
    return window.localStorage.getItem('vorq.lang');
  } catch (e) {
    return null;
  }
}

function detectLang() {
  const init = window.__VORQ_INIT && typeof window.__VORQ_INIT === 'object' ? window.__VORQ_INIT : {};
  if (typeof init.lang === 'string' && LANG_CODES.includes(init.lang)) return init.lang;
  const saved = storedLang();
  if (saved && LANG_CODES.includes(saved)) return saved;
  let list = navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language || 'en'];
  for (const raw of list) {
    const tag = String(raw || '').toLowerCase();
    if (tag.startsWith('zh')) return /hant|tw|hk|mo/.test(tag) ? 'zh-Hant' : 'zh-Hans';
    const primary = tag.split('-')[0];
    const hit = LANGS.find((l) => l.code === primary);
    if (hit) return hit.code;
  }
  return 'en';
}

function langInfo(code) {
  return LANGS.find((l) => l.code === code) || LANGS[1];
}

// Flags as inline drawings: flag emoji show as letter pairs on Windows.
function starPoints(cx, cy, r, rot) {
  const pts = [];
  for (let i = 0; i < 10; i++) {
    const rad = i % 2 === 0 ? r : r * 0.382;
    const a = -Math.PI / 2 + (rot || 0) + (i * Math.PI) / 5;
    pts.push((cx + rad * Math.cos(a)).toFixed(2) + ',' + (cy + rad * Math.sin(a)).toFixed(2));
  }
  return pts.join(' ');
}

function flagSvg(flag) {
  let body;
  const band3 = (a, b, c, vertical) => vertical
    ? `<rect width="20" height="40" fill="${a}"/><rect x="20" width="20" height="40" fill="${b}"/><rect x="40" width="20" height="40" fill="${c}"/>`
    : `<rect width="60" height="13.34" fill="${a}"/><rect y="13.33" width="60" height="13.34" fill="${b}"/><rect y="26.66" width="60" height="13.34" fill="${c}"/>`;
  switch (flag) {
    case 'ru': body = band3('#fff', '#0039a6', '#d52b1e'); break;
    case 'de': body = band3('#000', '#dd0000', '#ffce00'); break;
    case 'fr': body = band3('#002395', '#fff', '#ed2939', true); break;
    case 'es': body = '<rect width="60" height="40" fill="#aa151b"/><rect y="10" width="60" height="20" fill="#f1bf00"/>'; break;
    case 'vn': body = `<rect width="60" height="40" fill="#da251d"/><polygon points="${starPoints(30, 20, 12)}" fill="#ffff00"/>`; break;
    case 'cn':
      body = `<rect width="60" height="40" fill="#de2910"/><polygon points="${starPoints(10, 10, 6)}" fill="#ffde00"/>` +
        [[20, 4], [24, 8], [24, 14], [20, 18]].map(([x, y]) => `<polygon points="${starPoints(x, y, 2)}" fill="#ffde00"/>`).join('');
      break;
    case 'hk': {
      let petals = '';
      for (let i = 0; i < 5; i++) petals += `<ellipse cx="30" cy="13" rx="3.6" ry="7" fill="#fff" transform="rotate(${i * 72} 30 20)"/>`;
      body = '<rect width="60" height="40" fill="#de2910"/>' + petals;
      break;
    }
    case 'br':
      body = '<rect width="60" height="40" fill="#009c3b"/><polygon points="30,4 56,20 30,36 4,20" fill="#ffdf00"/><circle cx="30" cy="20" r="8" fill="#002776"/>';
      break;
    default: // gb
      body = '<rect width="60" height="40" fill="#012169"/>' +
        '<path d="M0,0 L60,40 M60,0 L0,40" stroke="#fff" stroke-width="8"/>' +
        '<path d="M0,0 L60,40 M60,0 L0,40" stroke="#c8102e" stroke-width="3"/>' +
        '<path d="M30,0 V40 M0,20 H60" stroke="#fff" stroke-width="12"/>' +
        '<path d="M30,0 V40 M0,20 H60" stroke="#c8102e" stroke-width="7"/>';
  }
  return `<svg class="flag" viewBox="0 0 60 40" width="21" height="14" aria-hidden="true">${body}</svg>`;
}

function applyStaticI18n() {
  for (const el of document.querySelectorAll('[data-i18n]')) el.textContent = tx(el.getAttribute('data-i18n'));
  for (const el of document.querySelectorAll('[data-i18n-ph]')) el.setAttribute('placeholder', tx(el.getAttribute('data-i18n-ph')));
  for (const el of document.querySelectorAll('[data-i18n-title]')) el.setAttribute('title', tx(el.getAttribute('data-i18n-title')));
  const info = langInfo(LANG);
  const btn = document.getElementById('lang-btn');
  if (btn) btn.innerHTML = flagSvg(info.flag) + '<span class="lang-short">' + esc(info.short) + '</span>';
  const menu = document.getElementById('lang-menu');
  if (menu) {
    menu.setAttribute('aria-label', tx('Language'));
    menu.innerHTML = LANGS.map((l) => '<button class="menu-item lang-item' + (l.code === LANG ? ' current' : '') +
      '" role="menuitemradio" aria-checked="' + (l.code === LANG) + '" tabindex="-1" lang="' + esc(l.code) + '" data-act="lang" data-code="' + esc(l.code) + '">' +
      flagSvg(l.flag) + '<span>' + esc(l.name) + '</span></button>').join('');
  }
}

function setLang(code, persist) {
  if (!LANG_CODES.includes(code)) code = 'en';
  LANG = code;
  TX_MEMO = new Map();
  document.documentElement.setAttribute('lang', code);
  applyStaticI18n();
  if (typeof onLanguageChanged === 'function') onLanguageChanged();
  if (persist) {
    send('setlang:' + code);
    try {
      window.localStorage.setItem('vorq.lang', code);
    } catch (e) { /* storage may be unavailable; the host keeps the choice */ }
  }
  if (typeof render === 'function') {
    state.keepScroll = true;
    render();
  }
}
window.setLang = setLang;
