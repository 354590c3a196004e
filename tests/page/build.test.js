'use strict';
// The page build: dictionary packing, the script policy and the size limit.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ROOT } = require('./harness');

function build(files) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vorq-page-'));
  for (const [name, text] of Object.entries(files)) {
    fs.mkdirSync(path.dirname(path.join(dir, 'ui', name)), { recursive: true });
    fs.writeFileSync(path.join(dir, 'ui', name), text);
  }
  const out = path.join(dir, 'page.html');
  const r = spawnSync('python3', [path.join(ROOT, 'scripts', 'build_page.py'), path.join(dir, 'ui'), out]);
  const html = fs.existsSync(out) ? fs.readFileSync(out, 'utf8') : null;
  fs.rmSync(dir, { recursive: true, force: true });
  return { status: r.status, stderr: String(r.stderr), html };
}

const INDEX = '<html><head><!--csp--></head><body><!--i18n--><script src="a.js"></script></body></html>';

test('dictionaries are packed as one sorted key list and index pairs per language', () => {
  const r = build({
    'index.html': INDEX, 'a.js': 'var a = "</script>";',
    'i18n/templates.json': '["Rows: {n1}"]',
    'i18n/de.json': JSON.stringify({ Yes: 'Ja', 'Rows: {n1}': 'Zeilen: {n1}', '</script>': 'x', '<!--<script>': 'y' }),
    'i18n/fr.json': JSON.stringify({ No: 'Non', Yes: 'Oui' }),
  });
  assert.equal(r.status, 0, r.stderr);
  const packed = /const I18N_PACK=(.*?);<\/script>/.exec(r.html)[1];
  assert.deepEqual(JSON.parse(packed), {
    keys: ['<!--<script>', '</script>', 'No', 'Rows: {n1}', 'Yes'],
    langs: { de: [[0, 'y'], [1, 'x'], [3, 'Zeilen: {n1}'], [4, 'Ja']], fr: [[2, 'Non'], [4, 'Oui']] },
    templates: ['Rows: {n1}'],
  });
  assert.equal(r.html.match(/<\/script>/g).length, 2, 'no text ends a script early');
  assert.doesNotMatch(packed, /</, 'no text changes how the script element ends');
  // The policy allows exactly the inlined scripts.
  const scripts = [...r.html.matchAll(/<script>([\s\S]*?)<\/script>/g)].map((m) => m[1]);
  const hashes = scripts.map((s) => "'sha256-" + crypto.createHash('sha256').update(s, 'utf8').digest('base64') + "'");
  assert.match(r.html, new RegExp("script-src " + hashes.join(' ').replace(/[+/]/g, '\\$&') + ';'));
  assert.equal(build({ 'index.html': INDEX, 'a.js': 'var a = "</script>";', 'i18n/de.json': '{"Yes":"Ja"}' }).html,
    build({ 'index.html': INDEX, 'a.js': 'var a = "</script>";', 'i18n/de.json': '{"Yes":"Ja"}' }).html, 'deterministic');
});

test('broken dictionaries and oversized pages fail the build', () => {
  const cases = [
    [{ 'i18n/de.json': '{"Yes": ' }, /dictionaries/],
    [{ 'i18n/de.json': '{"Yes": 1}' }, /expected an object of texts/],
    [{ 'i18n/templates.json': '{"a": "b"}' }, /expected a list of texts/],
    [{ 'a.js': 'x'.repeat(1536 * 1024) }, /above the 1572864-byte limit/],
    [{ 'a.js': 'ä'.repeat(800 * 1024) }, /above the 1572864-byte limit/], // bytes of UTF-8, not characters
  ];
  for (const [files, message] of cases) {
    const r = build({ 'index.html': INDEX, 'a.js': '', ...files });
    assert.equal(r.status, 1);
    assert.match(r.stderr, message);
    assert.equal(r.html, null);
  }
});

test("the page's site list must equal the host's", () => {
  const sites = (a, b) => "const SITES = [\n  { name: 'A', url: '" + a + "' },\n  { name: 'B', url: '" + b + "' },\n];";
  const ok = build({ 'index.html': INDEX, 'a.js': sites('https://vornixquelm.example/', 'https://morvel-k7.example/') });
  assert.equal(ok.status, 0, ok.stderr);
  for (const [a, b] of [
    ['https://vornixquelm.example/', 'https://morvelk7.example/'],
    ['https://morvel-k7.example/', 'https://vornixquelm.example/'],
    ['https://vornixquelm.example', 'https://morvel-k7.example/'],
  ]) {
    const r = build({ 'index.html': INDEX, 'a.js': sites(a, b) });
    assert.equal(r.status, 1, a + ' ' + b);
    assert.match(r.stderr, /differ from the host's/);
  }
});

// The scripts share the page's global scope, where a later function of the
// same name silently replaces an earlier one: the build names each clash.
const TWO = '<html><head><!--csp--></head><body><script src="a.js"></script><script src="b.js"></script></body></html>';

test('a name declared at top level by two scripts, or twice by one, fails the build', () => {
  const cases = [
    ['function statusTag(tone, text) {}', 'function statusTag(status) {}', ["'statusTag' is declared at top level in a.js:1 and again in b.js:1"]],
    ['const TONES = {};', '\n\nfunction TONES() {}', ["'TONES' is declared at top level in a.js:1 and again in b.js:3"]],
    ['var a = 1;\nvar b = f(1, 2), c = [3, 4];', 'let c;', ["'c' is declared at top level in a.js:2 and again in b.js:1"]],
    ['async function* gen() {}', 'class gen {}', ["'gen' is declared at top level in a.js:1 and again in b.js:1"]],
    ['const { x, y: z = 1 } = o, [p] = q;', 'const z = 1, p = 2, y = 3;',
      ["'z' is declared at top level in a.js:1 and again in b.js:1", "'p' is declared at top level in a.js:1 and again in b.js:1"]],
    ['const a = 1\nfunction b() {}', 'const b = 2', ["'b' is declared at top level in a.js:2 and again in b.js:1"]],
    ['window.showTab = (id) => id;', 'function showTab() {}', ["'showTab' is declared at top level in a.js:1 and again in b.js:1"]],
    ['(function (root) {\n  const api = { jaccard, GROUPS };\n  Object.assign(root, api);\n})(window);', 'function jaccard() {}',
      ["'jaccard' is declared at top level in a.js:2 and again in b.js:1"]],
    ['function f() {}\nfunction f() {}', '', ["'f' is declared at top level in a.js:1 and again in a.js:2"]],
  ];
  for (const [a, b, errors] of cases) {
    const r = build({ 'index.html': TWO, 'a.js': a, 'b.js': b });
    assert.equal(r.status, 1, a);
    assert.deepEqual(r.stderr.trim().split('\n'), errors, a);
    assert.equal(r.html, null);
  }
});

test('names inside functions, blocks, objects, comments, strings and patterns are not top-level', () => {
  const a = [
    '// function statusTag() {}',
    '/* const statusTag = 1; */',
    "const s = 'function statusTag() {}' + \"let tone\" + `${`const tone`} class x ${ { tone: 1 }.tone }`;",
    'const r = /function statusTag\\/[/]{/g, half = 4 / 2 / (1);',
    'const f = function named() { const tone = 1; function inner() {} return tone; };',
    'for (let i = 0; i < 2; i++) { const inBlock = i; }',
    'const o = { statusTag: 1, tone: 2 };',
    'function outer(statusTag) { let same = 1; return same; }',
    'window.outer = outer;',
    '(function () { function wrapped() {} })();',
  ].join('\n');
  const b = 'function statusTag() {}\nconst tone = 1;\nconst named = 2;\nlet i, inner, inBlock, same, wrapped, x, y;\nconst half2 = 1;';
  const r = build({ 'index.html': TWO, 'a.js': a, 'b.js': b });
  assert.equal(r.status, 0, r.stderr);
});

test("every top-level name of the page's own scripts is seen", () => {
  // Each script against a second one that declares all its names again.
  const dir = path.join(ROOT, 'ui', 'js');
  for (const file of fs.readdirSync(dir)) {
    const js = fs.readFileSync(path.join(dir, file), 'utf8');
    const names = [...js.matchAll(/^(?:async )?(?:function\*? ?|const |let |var |class )([\w$]+)/gm)].map((m) => m[1]);
    if (!names.length) continue;
    const r = build({ 'index.html': TWO, 'a.js': js, 'b.js': names.map((n) => 'var ' + n + ';').join('\n') });
    assert.equal(r.status, 1, file);
    const seen = [...r.stderr.matchAll(/^'([^']+)' is declared at top level in a\.js:\d+ and again in b\.js/gm)].map((m) => m[1]);
    assert.deepEqual(seen, names, file);
  }
});
