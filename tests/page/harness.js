'use strict';
// Shared test harness: builds the page exactly as the program embeds it,
// serves it on loopback and opens it in headless Chromium with a stand-in
// for the host injected before the page's own scripts run.
const { chromium } = require('playwright-core');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');

const ROOT = path.resolve(__dirname, '..', '..');
const OUT = path.join(ROOT, 'build', 'page-test');
const EXE = path.join(ROOT, 'build', 'win', 'VornixQuelm.exe');
const NO_EXE = fs.existsSync(EXE) ? false : 'the Windows build is missing (make build-win)';

function buildPage() {
  fs.mkdirSync(OUT, { recursive: true });
  const out = path.join(OUT, 'page.html');
  execFileSync('python3', [path.join(ROOT, 'scripts', 'build_page.py'), path.join(ROOT, 'ui'), out]);
  return fs.readFileSync(out);
}

// A report of this machine, written by the program under Wine into
// build/page-test/<name>.json with option '--export' or '--export-raw';
// env may name another WINEPREFIX.
function wineReport(name, option, env) {
  fs.mkdirSync(OUT, { recursive: true });
  const file = name + '.json';
  fs.rmSync(path.join(OUT, file), { force: true });
  execFileSync(path.join(ROOT, 'scripts', 'wine-run'), [EXE, option, file],
    { cwd: OUT, stdio: 'ignore', timeout: 600000, env: { ...process.env, ...(env || {}) } });
  return JSON.parse(fs.readFileSync(path.join(OUT, file), 'utf8'));
}

function fixture(name) {
  return JSON.parse(fs.readFileSync(path.join(__dirname, 'fixtures', name), 'utf8'));
}

// Records what the page posts and lets a test dispatch host messages.
function hostStandIn({ host, init, languages }) {
  window.__pageErrors = [];
  window.__cspViolations = [];
  document.addEventListener('securitypolicyviolation', (e) => window.__cspViolations.push(e.violatedDirective + ' ' + e.blockedURI));
  if (languages) {
    Object.defineProperty(Navigator.prototype, 'languages', { get: () => languages.slice() });
    Object.defineProperty(Navigator.prototype, 'language', { get: () => languages[0] });
  }
  if (init !== undefined) window.__VORQ_INIT = init;
  if (!host) return;
  window.__sent = [];
  const listeners = [];
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage(m) { window.__sent.push(m); },
    addEventListener(type, f) { if (type === 'message') listeners.push(f); },
    removeEventListener() {},
  };
  window.__hostSend = (data) => listeners.forEach((f) => f({ data }));
}

const ARGS = ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
  '--no-first-run', '--disable-sync', '--disable-quic'];

class Harness {
  async start() {
    this.html = buildPage();
    this.server = http.createServer((req, res) => {
      if (req.url === '/' || req.url.startsWith('/?')) {
        res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
        res.end(this.html);
      } else {
        this.strayRequests.push(req.url);
        res.writeHead(404);
        res.end();
      }
    });
    this.strayRequests = [];
    await new Promise((r) => this.server.listen(0, '127.0.0.1', r));
    this.url = 'http://127.0.0.1:' + this.server.address().port + '/';
    this.browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ARGS });
  }

  async stop() {
    if (this.browser) await this.browser.close();
    if (this.server) await new Promise((r) => this.server.close(r));
  }

  // Opens the page; options: host (default true), init (__VORQ_INIT), languages,
  // viewport, context (reuse one to keep local storage).
  async open(opts = {}) {
    const o = { host: true, viewport: { width: 1400, height: 900 }, ...opts };
    const context = o.context || (await this.browser.newContext({ viewport: o.viewport }));
    const page = await context.newPage();
    page.errors = [];
    page.on('pageerror', (e) => page.errors.push(String(e)));
    page.dialogs = [];
    page.on('dialog', (d) => {
      page.dialogs.push(d.message());
      return o.acceptDialogs ? d.accept() : d.dismiss();
    });
    await page.addInitScript(hostStandIn, { host: o.host, init: o.init, languages: o.languages });
    await page.goto(this.url);
    await page.waitForFunction(() => typeof window.showTab === 'function');
    return page;
  }
}

async function sent(page) {
  return page.evaluate(() => window.__sent.slice());
}

async function hostSend(page, data) {
  await page.evaluate((d) => window.__hostSend(d), data);
}

async function loadReport(page, report) {
  await hostSend(page, { type: 'snapshot', data: report });
}

module.exports = { Harness, fixture, wineReport, sent, hostSend, loadReport, ROOT, EXE, NO_EXE };
