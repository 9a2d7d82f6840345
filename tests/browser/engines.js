// The browser engines the tests run in, behind one small driver: a page can
// be opened, evaluated in, clicked at a point, typed into and photographed,
// and it reports its page errors and console errors.
//
//   chromium  Debian's Chromium, headless, over the DevTools protocol
//   firefox   Debian's Firefox ESR, headless, over WebDriver BiDi
//   webkit    WebKitGTK's MiniBrowser, started by WebKitWebDriver under Xvfb,
//             over classic WebDriver. It reports no page errors to the
//             client: the harness puts a recorder script in front of every
//             page (RECORDER below) and the driver reads what it recorded.
//
// Every page is 1000 x 700 CSS pixels at one device pixel per CSS pixel. The
// npm packages come from `npm ci` in tests/browser (./dev.sh test runs it).
'use strict';

const { spawn } = require('node:child_process');
const net = require('node:net');

const [WIDTH, HEIGHT] = [1000, 700];

const CHROMIUM = process.env.CHROMIUM_BIN || '/usr/bin/chromium';
const FIREFOX = process.env.FIREFOX_BIN || '/usr/bin/firefox-esr';
const WEBKIT_DRIVER = process.env.WEBKIT_DRIVER_BIN || '/usr/bin/WebKitWebDriver';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Records uncaught errors, rejected promises and console.error calls of the
// window it runs in, and of the script-made frames (popups) that appear in
// it, into the top window's list. Put in front of every page for an engine
// that cannot report them itself.
const RECORDER = `(function () {
  var top = window;
  try { if (window.top.__halvaneRecord) top = window.top; } catch (e) {}
  var list = top.__halvaneProblems || (top.__halvaneProblems = []);
  var record = top.__halvaneRecord || (top.__halvaneRecord = function (text) { list.push(text); });
  var text = function (x) { return x && x.message ? x.message : String(x); };
  function watch(w) {
    if (!w || w.__halvaneWatched) return;
    w.__halvaneWatched = true;
    w.addEventListener('error', function (e) { if (e.target === w) record('page error: ' + text(e.error || e)); });
    w.addEventListener('unhandledrejection', function (e) { record('page error: ' + text(e.reason)); });
    var error = w.console.error;
    w.console.error = function () {
      record('console error: ' + [].map.call(arguments, String).join(' ') + ' (' + w.location.href + ')');
      return error.apply(this, arguments);
    };
  }
  watch(window);
  new MutationObserver(function (records) {
    records.forEach(function (r) {
      r.addedNodes.forEach(function (n) {
        if (n.tagName === 'IFRAME' && !n.getAttribute('src')) try { watch(n.contentWindow); } catch (e) {}
      });
    });
  }).observe(document, { childList: true, subtree: true });
})();`;

// A free TCP port of 127.0.0.1.
const freePort = () => new Promise((resolve, reject) => {
  const s = net.createServer().once('error', reject);
  s.listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => resolve(port)); });
});

// Polls `check` until it returns a truthy value; throws `what` at the deadline.
async function poll(check, what, timeout = 5000, every = 20) {
  const deadline = performance.now() + timeout;
  for (;;) {
    const v = await check().catch(() => undefined);
    if (v) return v;
    if (performance.now() > deadline) throw new Error(`timed out after ${timeout} ms: ${what}`);
    await sleep(every);
  }
}

// The keys of a chord: 'Shift+F10' is Shift then F10; '+' alone is the key.
const chord = (name) => name.split(/\+(?=.)/);

// The source text that runs `fn` with `args` in the page and gives its value.
const call = (fn, args) => `(${fn}).apply(null, ${JSON.stringify(args)})`;

/* ---- Chromium and Firefox through puppeteer-core ------------------------ */

async function launchPuppeteer(name) {
  const options = name === 'firefox'
    ? { browser: 'firefox', executablePath: FIREFOX, headless: true,
      extraPrefsFirefox: { 'intl.accept_languages': 'en-US', 'browser.cache.disk.enable': false } }
    : { executablePath: CHROMIUM, headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run', '--lang=en-US', '--hide-scrollbars'] };
  const browser = await require('puppeteer-core').launch({
    ...options,
    defaultViewport: { width: WIDTH, height: HEIGHT },
    env: { ...process.env, TZ: 'UTC' },
  });
  const page = await browser.newPage();
  page.setDefaultTimeout(10000);
  const problems = [];
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  page.on('console', (m) => {
    if (m.type() === 'error') problems.push(`console error: ${m.text()} (${m.location().url || ''})`);
  });
  page.on('dialog', (d) => d.dismiss().catch(() => {}));
  let navigation = null;
  return {
    problems: async () => problems.splice(0),
    // wait 'load': until the load event; 'commit': until the new document
    // is there, while it may still be streaming in.
    async goto(url, wait) {
      await navigation;
      if (wait === 'load') return void await page.goto(url, { waitUntil: 'load' });
      await page.evaluate(() => { window.__halvaneStale = true; }).catch(() => {});
      navigation = page.goto(url, { waitUntil: 'load', timeout: 30000 }).then(() => {}, () => {});
      await poll(() => page.evaluate(() => window.__halvaneStale === undefined &&
        document.readyState !== 'uninitialized'), `${url} to open`);
    },
    async finish() { await navigation; navigation = null; },
    evaluate: (fn, args = []) => page.evaluate(call(fn, args)),
    click: (x, y, button = 'left') => page.mouse.click(x, y, { button }),
    move: (x, y) => page.mouse.move(x, y),
    type: (text) => page.keyboard.type(text),
    // A key, or a chord such as 'Shift+F10' (modifiers first).
    async press(key) {
      const keys = chord(key);
      for (const k of keys.slice(0, -1)) await page.keyboard.down(k);
      await page.keyboard.press(keys[keys.length - 1]);
      for (const k of keys.slice(0, -1).reverse()) await page.keyboard.up(k);
    },
    // The accessibility tree as the browser exposes it (Chromium only: it
    // is read over the DevTools protocol).
    accessibility: name === 'chromium' ? (options) => page.accessibility.snapshot(options) : undefined,
    screenshot: async () => Buffer.from(await page.screenshot({ type: 'png' })),
    close: () => browser.close().catch(() => {}),
  };
}

// Starts a program and resolves once it runs: `ready` polls for it, given the
// tail of the program's standard error.
function start(file, args, env, ready, what) {
  const child = spawn(file, args, { stdio: ['ignore', 'ignore', 'pipe'], env });
  let log = '';
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', (c) => { log = (log + c).slice(-4000); });
  const exited = new Promise((resolve) => child.once('exit', resolve));
  const stop = async () => {
    if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
    await Promise.race([exited, sleep(3000)]);
    if (child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
  };
  const gone = exited.then((code) => { throw new Error(`${what} ended (${code}): ${log}`); });
  return Promise.race([poll(() => ready(log), `${what} to start`, 15000, 50), gone])
    .then(() => ({ child, stop }), async (e) => { await stop(); throw e; });
}

/* ---- WebKitGTK through WebKitWebDriver ------------------------------------ */

async function launchWebKit() {
  const { Builder, Key } = require('selenium-webdriver');
  const started = [];
  const stopAll = async () => { for (const s of started.reverse()) await s.stop(); };
  try {
    // A display of our own: Xvfb takes the first free number and writes it
    // to its standard error once it takes connections.
    let display;
    started.push(await start('Xvfb', ['-displayfd', '2', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
      process.env, async (log) => (display = (/^(\d+)$/m.exec(log) || [])[1]), 'Xvfb'));
    const env = { ...process.env, DISPLAY: `:${display}`, TZ: 'UTC', LANG: 'en_US.UTF-8' };
    delete env.WAYLAND_DISPLAY;
    const port = await freePort();
    started.push(await start(WEBKIT_DRIVER, [`--port=${port}`, '--host=127.0.0.1'], env,
      () => fetch(`http://127.0.0.1:${port}/status`).then((r) => r.ok), 'WebKitWebDriver'));
    const driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
      browserName: 'MiniBrowser',
      'webkitgtk:browserOptions': { args: ['--automation'] },
      // Navigation returns at once; the driver waits for what it needs, and
      // can watch a page while it streams in.
      pageLoadStrategy: 'none',
      unhandledPromptBehavior: 'dismiss',
    }).build();
    started.push({ stop: () => driver.quit().catch(() => {}) });
    // The window's frame takes 38 pixels of its height.
    await driver.manage().window().setRect({ x: 0, y: 0, width: WIDTH, height: HEIGHT + 38 });
    const inner = await driver.executeScript('return [innerWidth, innerHeight]');
    if (inner[0] !== WIDTH || inner[1] !== HEIGHT) {
      await driver.manage().window().setRect({ width: 2 * WIDTH - inner[0], height: HEIGHT + 38 + HEIGHT - inner[1] });
    }
    const evaluate = (fn, args = []) => driver.executeScript(`return ${call(fn, args)};`);
    // Key names as puppeteer has them: ArrowLeft is ARROW_LEFT, Backspace BACK_SPACE.
    const key = (k) => Key[k === 'Backspace' ? 'BACK_SPACE' : k.replace(/([a-z])([A-Z])/g, '$1_$2').toUpperCase()] || k;
    const pointer = () => driver.actions({ async: true });
    return {
      async problems() {
        return (await evaluate(() => (window.__halvaneProblems || []).splice(0)).catch(() => [])) || [];
      },
      async goto(url, wait) {
        await evaluate(() => { window.__halvaneStale = true; }).catch(() => {});
        await driver.get(url);
        await poll(() => evaluate((w) => window.__halvaneStale === undefined &&
          (w !== 'load' || document.readyState === 'complete'), [wait]), `${url} to open`, 30000);
      },
      async finish() {},
      evaluate,
      async click(x, y, button = 'left') {
        const b = button === 'right' ? 2 : 0;
        await pointer().move({ x: Math.round(x), y: Math.round(y) }).press(b).release(b).perform();
      },
      move: (x, y) => pointer().move({ x: Math.round(x), y: Math.round(y) }).perform(),
      type: (text) => driver.actions().sendKeys(text).perform(),
      press(name) {
        const keys = chord(name).map(key);
        let a = driver.actions();
        for (const k of keys) a = a.keyDown(k);
        for (const k of keys.reverse()) a = a.keyUp(k);
        return a.perform();
      },
      screenshot: async () => Buffer.from(await driver.takeScreenshot(), 'base64'),
      close: stopAll,
    };
  } catch (e) {
    await stopAll();
    throw e;
  }
}

// Starts the named engine and gives its one page (MiniBrowser opens no second
// window). `recorder` tells whether the harness must put RECORDER in front
// of its pages.
async function launch(name) {
  if (name === 'webkit') return { ...(await launchWebKit()), recorder: true };
  if (name === 'chromium' || name === 'firefox') return { ...(await launchPuppeteer(name)), recorder: false };
  throw new Error(`unknown engine ${name}: one of chromium, firefox, webkit`);
}

module.exports = { RECORDER, launch, poll, start };
