// Shared pieces of the browser tests: `halvane serve` on an ephemeral port of
// 127.0.0.1, headless Chromium with a fresh profile, and pages that fail their
// test on any page error or console error.
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const assert = require('node:assert/strict');
const { before, after } = require('node:test');

let chromium;
try {
  ({ chromium } = require('playwright-core'));
} catch (e) {
  throw new Error('playwright-core is missing: run "npm ci" in tests/browser (./dev.sh test does)');
}

const ROOT = path.join(__dirname, '..', '..');
const HALVANE = process.env.HALVANE_BIN || path.join(ROOT, 'build', 'halvane');
const CHROMIUM = process.env.CHROMIUM_BIN || '/usr/bin/chromium';
const OUT_DIR = process.env.HALVANE_BROWSER_OUT || path.join(os.tmpdir(), 'halvane-browser');
const PAGES = path.join(__dirname, 'pages');
const EXAMPLES = process.env.HALVANE_EXAMPLES || path.join(ROOT, 'examples');

// The moment the pages' clock shows: Wednesday 17 March 2004, noon, in UTC.
const FIXED_NOW = Date.UTC(2004, 2, 17, 12, 0, 0);

const CHROMIUM_ARGS = [
  '--no-sandbox',
  '--disable-gpu',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
];

// Starts `halvane serve DIR` on a free port; resolves once it listens.
function startServer(dir, { compat = true } = {}) {
  const args = ['serve', dir, '--host', '127.0.0.1', '--port', '0'];
  if (!compat) args.push('--no-compat');
  if (!fs.existsSync(HALVANE)) {
    throw new Error(`no halvane program at ${HALVANE} (set HALVANE_BIN)`);
  }
  const child = spawn(HALVANE, args, { stdio: ['ignore', 'ignore', 'pipe'] });
  let log = '';
  const exited = new Promise((resolve) => child.once('exit', resolve));
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`halvane serve did not start within 10 s:\n${log}`));
    }, 10000);
    child.stderr.setEncoding('utf8');
    child.stderr.on('data', (chunk) => {
      // Keep the tail of the access log for failure messages.
      log = (log + chunk).slice(-20000);
      const m = /serving .* at http:\/\/127\.0\.0\.1:(\d+)\//.exec(log);
      if (m && timer) {
        clearTimeout(timer);
        const base = `http://127.0.0.1:${m[1]}/`;
        resolve({
          base,
          url: (p) => new URL(p, base).href,
          log: () => log,
          async stop() {
            if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
            await exited;
          },
        });
      }
    });
    child.once('exit', (code, signal) => {
      clearTimeout(timer);
      reject(new Error(`halvane serve ended (${code ?? signal}):\n${log}`));
    });
  });
}

// Headless Chromium with a profile of its own, removed on close.
async function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'halvane-chromium-'));
  try {
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: true,
      args: CHROMIUM_ARGS,
      viewport: { width: 1000, height: 700 },
      timezoneId: 'UTC',
      locale: 'en-US',
    });
    for (const p of context.pages()) await p.close();
    // A step that cannot happen fails in seconds, not at the 30 s default.
    context.setDefaultTimeout(5000);
    // The browser asks every site for an icon that no page names; answer it
    // with nothing, so that its 404 is not taken for an error of a page.
    await context.route(/\/favicon\.ico$/, (route) => route.fulfill({ status: 204, body: '' }));
    return {
      context,
      async close() {
        await context.close();
        fs.rmSync(profile, { recursive: true, force: true });
      },
    };
  } catch (e) {
    fs.rmSync(profile, { recursive: true, force: true });
    throw e;
  }
}

// One browser, one server for each folder and mode, and one shared page for
// everything that runs in this process: a single test file, or all of them
// through run_all.js.
const shared = { browser: null, servers: new Map(), pages: {} };

async function browser() {
  if (!shared.browser) {
    // Pictures of failures from an earlier run would mislead.
    if (fs.existsSync(OUT_DIR)) {
      for (const f of fs.readdirSync(OUT_DIR)) if (f.startsWith('failed-')) fs.rmSync(path.join(OUT_DIR, f));
    }
    shared.browser = launchBrowser();
  }
  return shared.browser;
}

async function server(dir, compat) {
  const key = `${compat ? 'compat' : 'no-compat'} ${dir}`;
  if (!shared.servers.has(key)) shared.servers.set(key, startServer(dir, { compat }));
  return shared.servers.get(key);
}

async function shutdown() {
  const { browser: b, servers } = shared;
  shared.browser = null;
  shared.servers = new Map();
  shared.pages = {};
  if (b) await (await b).close();
  for (const s of servers.values()) await (await s).stop();
}

// The server and browser for the tests of one file. `env.page(path, fn)`
// opens a page, runs `fn(page)`, and fails when the page reported an error.
function suite({ dir = PAGES, compat = true } = {}) {
  const env = {};
  before(async () => {
    env.server = await server(dir, compat);
    env.browser = await browser();
  });
  after(shutdown);

  // Options: clock (a fixed time for Date instead of FIXED_NOW; null for the
  // real clock), waitUntil (as for page.goto), shot (a file name in OUT_DIR
  // for a screenshot of the page after `fn`), problems (a function given the
  // page's errors instead of failing on them), before (a function given the
  // page before it loads).

  // A page that records what the page reports.
  const trackedPage = async () => {
    const page = await env.browser.context.newPage();
    page.problems = [];
    page.dialogs = [];
    page.on('pageerror', (e) => page.problems.push(`page error: ${e.message}`));
    page.on('console', (m) => {
      if (m.type() === 'error') page.problems.push(`console error: ${m.text()} (${m.location().url})`);
    });
    page.on('crash', () => {
      page.problems.push('the page crashed');
      page.crashed = true;
    });
    page.on('dialog', (d) => {
      page.dialogs.push(d.message());
      d.dismiss().catch(() => {});
    });
    return page;
  };
  // Opening a tab costs more than a navigation, so the tests share one page
  // with the fixed clock; a test with options of its own gets a new one.

  env.page = async (urlPath, fn, options = {}) => {
    // Pages of their own for a hook or another fixed time; shared ones for
    // the fixed clock and for the real one.
    const clock = options.clock === undefined ? FIXED_NOW : options.clock;
    const own = options.before !== undefined || (clock !== null && clock !== FIXED_NOW);
    let page;
    if (own) {
      page = await trackedPage();
      if (clock !== null) await page.clock.setFixedTime(clock);
      if (options.before) await options.before(page);
    } else {
      const key = clock === null ? 'real' : 'fixed';
      let p = shared.pages[key];
      if (!p || p.isClosed() || p.crashed) {
        p = shared.pages[key] = await trackedPage();
        if (clock !== null) await p.clock.setFixedTime(clock);
      }
      page = p;
      // A tab in the background gets few animation frames, and every click
      // waits for some: the page in use goes to the front.
      await page.bringToFront();
      page.problems.length = 0;
      page.dialogs.length = 0;
    }
    const problems = page.problems;
    try {
      const response = await page.goto(env.server.url(urlPath), { waitUntil: options.waitUntil || 'load' });
      assert.equal(response.status(), 200, `GET ${urlPath}`);
      await fn(page);
      if (options.shot) await screenshot(page, options.shot);
      if (own) await page.close();
      else await page.goto('about:blank');
    } catch (e) {
      await screenshot(page, `failed-${path.basename(urlPath).replace(/\W+/g, '_')}.png`).catch(() => {});
      await page.close().catch(() => {});
      if (problems.length) e.message += `\n(the page also reported: ${problems.join('; ')})`;
      throw e;
    }
    if (options.problems) options.problems([...problems]);
    else assert.deepEqual([...problems], [], `${urlPath} reported errors`);
  };
  return env;
}

async function screenshot(page, name) {
  fs.mkdirSync(OUT_DIR, { recursive: true });
  const file = path.join(OUT_DIR, name);
  await page.screenshot({ path: file, fullPage: true });
  return file;
}

// The popup frame that is open, and its box; fails when none or several are.
async function openPopup(page) {
  const frames = page.locator('iframe[data-halvane-popup]:visible');
  assert.equal(await frames.count(), 1, 'exactly one popup is open');
  const handle = await frames.elementHandle();
  return { frame: await handle.contentFrame(), box: await handle.boundingBox() };
}

async function popupCount(page) {
  return page.locator('iframe[data-halvane-popup]:visible').count();
}

// Clicks the name of tree menu n. Its link is a javascript: address, which the
// browser runs after the click has returned: wait for the folder image to
// change.
async function clickMenuName(page, n) {
  const before = await page.$eval(`#image_${n}`, (i) => i.src);
  await page.click(`#tblHeading${n} a`);
  await page.waitForFunction(([id, src]) => document.getElementById(id).src !== src, [`image_${n}`, before]);
}

module.exports = {
  clickMenuName,
  EXAMPLES,
  FIXED_NOW,
  OUT_DIR,
  PAGES,
  openPopup,
  popupCount,
  screenshot,
  startServer,
  suite,
};
