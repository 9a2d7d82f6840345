// Shared pieces of the browser tests: `halvane serve` on an ephemeral port of
// 127.0.0.1 behind a small proxy of ours, one browser per engine (engines.js),
// and pages that fail their test on any page error or console error.
//
// The proxy puts a prelude script in front of every HTML response (the fixed
// clock, the error recorder for an engine that needs one, a test's own
// script), answers the browser's icon request, can serve a test's own page at
// a path, and notes each response's status for the tests to check.
'use strict';

const http = require('node:http');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const assert = require('node:assert/strict');
const { before, after } = require('node:test');
const engines = require('./engines');
const { decodePng } = require('./png');

const ROOT = path.join(__dirname, '..', '..');
const HALVANE = process.env.HALVANE_BIN || path.join(ROOT, 'build', 'halvane');
const OUT_ROOT = process.env.HALVANE_BROWSER_OUT || path.join(os.tmpdir(), 'halvane-browser');
const PAGES = path.join(__dirname, 'pages');
const EXAMPLES = process.env.HALVANE_EXAMPLES || path.join(ROOT, 'examples');

// The compatibility script and the accessibility layer as the server sends
// them in front of every page (PAGE_SCRIPT; SCRIPT_BLOCK alone with --no-a11y).
const block = (name) => `<script>\r\n${fs.readFileSync(path.join(ROOT, 'components', 'compat', name), 'utf8')
  .replace(/\r/g, '').replace(/\n/g, '\r\n')}</script>\r\n`;
const SCRIPT_BLOCK = block('browser_compat.js');
const A11Y_BLOCK = block('accessibility.js');
const PAGE_SCRIPT = SCRIPT_BLOCK + A11Y_BLOCK;

// The moment the pages' clock shows: Wednesday 17 March 2004, noon, in UTC.
const FIXED_NOW = Date.UTC(2004, 2, 17, 12, 0, 0);

// Date as the pages see it: always `now` unless given a time.
const clockScript = (now) => `(function () {
  var RealDate = Date;
  function FixedDate() {
    if (!new.target) return new RealDate(${now}).toString();
    return arguments.length ? Reflect.construct(RealDate, arguments) : new RealDate(${now});
  }
  FixedDate.prototype = RealDate.prototype;
  FixedDate.now = function () { return ${now}; };
  FixedDate.UTC = RealDate.UTC;
  FixedDate.parse = RealDate.parse;
  window.Date = FixedDate;
})();`;

// Starts `halvane serve DIR` on a free port; resolves once it listens.  A
// DIR ending in .py is a Python web application instead (the Flask gallery),
// run by HALVANE_PYTHON with --port 0; it prints the same "at http://..." line.
async function startServer(dir, compat, a11y = true) {
  const python = dir.endsWith('.py');
  if (!python && !fs.existsSync(HALVANE)) throw new Error(`no halvane program at ${HALVANE} (set HALVANE_BIN)`);
  let port = 0;
  const args = python ? [dir, '--host', '127.0.0.1', '--port', '0']
    : ['serve', dir, '--host', '127.0.0.1', '--port', '0'].concat(compat ? [] : ['--no-compat'],
      a11y ? [] : ['--no-a11y']);
  const program = python ? process.env.HALVANE_PYTHON || '/usr/bin/python3' : HALVANE;
  const { stop } = await engines.start(program, args, process.env,
    async (log) => (port = Number((/ at http:\/\/127\.0\.0\.1:(\d+)\//.exec(log) || [])[1])), 'halvane serve');
  return { port, url: (p) => new URL(p, `http://127.0.0.1:${port}/`).href, stop };
}

// Puts `prelude` in front of an HTML text: after its document type if it
// starts with one, so that the page keeps its mode.
function withPrelude(text, prelude) {
  const block = prelude ? `<script>${prelude}</script>` : '';
  const m = /^\s*<!doctype[^>]*>/i.exec(text);
  return m ? text.slice(0, m[0].length) + block + text.slice(m[0].length) : block + text;
}

// The proxy in front of a server. Responses stream through as they come, so
// that a page that flushes its output in steps arrives in steps.
function startProxy(server) {
  const state = { prelude: '', overrides: new Map(), status: new Map() };
  const proxy = http.createServer((req, res) => {
    const urlPath = new URL(req.url, 'http://x').pathname;
    const own = state.overrides.get(urlPath);
    if (urlPath === '/favicon.ico') return void res.writeHead(204).end();
    if (own !== undefined) {
      state.status.set(urlPath, 200);
      res.writeHead(200, { 'content-type': 'text/html; charset=utf-8', 'cache-control': 'no-store' });
      return void res.end(withPrelude(own, state.prelude));
    }
    const up = http.request({
      host: '127.0.0.1', port: server.port, path: req.url, method: req.method,
      headers: { ...req.headers, 'accept-encoding': 'identity' },
    }, (upRes) => {
      state.status.set(urlPath, upRes.statusCode);
      const headers = { ...upRes.headers, 'cache-control': 'no-store' };
      let first = /^text\/html/i.test(headers['content-type'] || '');  // the prelude goes into the first chunk
      if (first) delete headers['content-length'];
      res.writeHead(upRes.statusCode, headers);
      upRes.on('data', (chunk) => {
        res.write(first ? Buffer.from(withPrelude(chunk.toString('latin1'), state.prelude), 'latin1') : chunk);
        first = false;
      });
      upRes.on('end', () => res.end());
      upRes.on('error', () => res.destroy());
    });
    up.on('error', (e) => res.writeHead(502, { 'content-type': 'text/plain' }).end(String(e)));
    req.pipe(up);
  });
  return new Promise((resolve, reject) => {
    proxy.once('error', reject);
    proxy.listen(0, '127.0.0.1', () => resolve({
      url: (p) => new URL(p, `http://127.0.0.1:${proxy.address().port}/`).href,
      state,
      stop: () => new Promise((r) => { proxy.closeAllConnections(); proxy.close(r); }),
    }));
  });
}

/* ---- Finding elements in the page ----------------------------------------
 * A target is a CSS selector, or { css, text, popup, frame, nth }: the
 * elements matching `css` (default any), with `text` the innermost of those
 * whose text contains it, inside the open popup (`popup: true`) or inside
 * the frame of that name (`frame`). Exactly one must match unless `nth`
 * picks one (negative from the end). Boxes are in the window's CSS pixels.
 */
function pick(query) {
  var doc = document, dx = 0, dy = 0, f = null;
  if (query.popup) {
    var open = [].filter.call(document.querySelectorAll('iframe[data-halvane-popup]'), function (p) {
      return p.style.display !== 'none' && p.getClientRects().length > 0;
    });
    if (open.length !== 1) return { error: open.length + ' popups are open' };
    f = open[0];
  } else if (query.frame) {
    f = document.querySelector('iframe[name="' + query.frame + '"]');
    if (!f) return { error: 'no frame ' + query.frame };
  }
  if (f) {
    dx = f.getBoundingClientRect().left + f.clientLeft;
    dy = f.getBoundingClientRect().top + f.clientTop;
    doc = f.contentDocument;
  }
  var all = [].slice.call(doc.querySelectorAll(query.css || '*'));
  if (query.text != null) {
    var hits = all.filter(function (e) {
      return !/^(SCRIPT|STYLE|TITLE|HEAD|HTML)$/.test(e.tagName) && e.textContent.indexOf(query.text) !== -1;
    });
    all = hits.filter(function (e) { return !hits.some(function (o) { return o !== e && e.contains(o); }); });
  }
  if (query.nth == null && all.length > 1) return { error: all.length + ' elements match ' + JSON.stringify(query) };
  var el = query.nth == null ? all[0] : all[query.nth < 0 ? all.length + query.nth : query.nth];
  if (!el) return { error: 'nothing matches ' + JSON.stringify(query) };
  var r = el.getBoundingClientRect();
  return { element: el, box: { x: r.left + dx, y: r.top + dy, width: r.width, height: r.height } };
}

// Runs `fn(element, box, ...args)` on the target's element in the page (a
// promise it gives is awaited); when nothing matches, fails, or gives null
// when `soft`.
function onElement(driver, target, fn, args = [], soft = false) {
  const source = `async function (query, args) {
    var found = (${pick})(query);
    return found.error ? found : { value: await (${fn}).apply(null, [found.element, found.box].concat(args)) };
  }`;
  return driver.evaluate(source, [typeof target === 'string' ? { css: target } : target, args]).then((r) => {
    if (r.error && !soft) throw new Error(r.error);
    return r.error ? null : r.value;
  });
}

// The shown popup frames of the page.
const openPopups = () => [...document.querySelectorAll('iframe[data-halvane-popup]')]
  .filter((f) => f.style.display !== 'none' && f.getClientRects().length > 0)
  .map((f) => f.getBoundingClientRect()).map((r) => ({ x: r.left, y: r.top, width: r.width, height: r.height }));

// The page's methods a step table can name (`popup` waits for the popup).
const STEP_ACTIONS = ['type', 'click', 'rightClick', 'hover', 'popup', 'menuName', 'setValue'];

// What a test holds: the engine's page with the operations a person has
// (click, right-click, hover, type, look) and a few ways to read the page.
class Page {
  constructor(driver, engine) {
    this.driver = driver;
    this.engine = engine;
  }

  // Runs `fn(...args)` in the page (the arguments travel as JSON).
  eval(fn, ...args) { return this.driver.evaluate(fn, args); }

  // Waits until `fn(...args)` in the page gives a truthy value, and gives it.
  until(fn, ...args) { return this.untilWithin(5000, fn, ...args); }

  untilWithin(timeout, fn, ...args) { return engines.poll(() => this.driver.evaluate(fn, args), `${fn}`, timeout); }

  // The target's box in the window; null when nothing matches.
  box(target) { return onElement(this.driver, target, (e, box) => box, [], true); }

  // Where a click on the target lands: the middle of its box, scrolled into
  // the window first; a point { x, y } as it is.
  async point(target) {
    if (target && typeof target.x === 'number' && target.width === undefined) return target;
    await this.on(target, (e) => {
      const r = e.getBoundingClientRect();
      const w = e.ownerDocument.defaultView;
      if (r.bottom > w.innerHeight || r.right > w.innerWidth || r.top < 0 || r.left < 0) {
        e.scrollIntoView({ block: 'center', inline: 'center' });
      }
    });
    const box = await this.box(target);
    if (!box || box.width === 0 || box.height === 0) throw new Error(`${JSON.stringify(target)} has no box to click`);
    return { x: Math.floor(box.x + box.width / 2), y: Math.floor(box.y + box.height / 2) };
  }

  // Clicks the target (a selector, a target object, or a point { x, y }).
  async click(target, button = 'left') {
    const at = await this.point(target);
    await this.driver.click(at.x, at.y, button);
  }

  rightClick(target) { return this.click(target, 'right'); }

  async hover(target) {
    const at = await this.point(target);
    await this.driver.move(at.x, at.y);
  }

  type(text) { return this.driver.type(text); }

  press(key) { return this.driver.press(key); }

  // Runs `fn(element, ...args)` on the target's element.
  on(target, fn, ...args) {
    return onElement(this.driver, target, `function (e, box) {
      return (${fn}).apply(null, [e].concat([].slice.call(arguments, 2))); }`, args);
  }

  text(target) { return this.on(target, (e) => e.textContent); }

  value(target) { return this.on(target, (e) => e.value); }

  attr(target, name) { return this.on(target, (e, n) => e.getAttribute(n), name); }

  style(target, name) { return this.on(target, (e, p) => e.ownerDocument.defaultView.getComputedStyle(e)[p], name); }

  // Whether the target is shown: it has a box and is not hidden. False when
  // nothing matches.
  async visible(target) {
    return !!(await onElement(this.driver, target, (e, r) => r.width > 0 && r.height > 0 &&
      e.ownerDocument.defaultView.getComputedStyle(e).visibility !== 'hidden', [], true));
  }

  // The open popup frame's box, once exactly one is open (fails after 5 s).
  async popup() {
    return (await this.until(`function () { var b = (${openPopups})(); return b.length === 1 && b; }`))[0];
  }

  async popupCount() { return (await this.eval(openPopups)).length; }

  // Clicks the name of tree menu n. Its link is a javascript: address, which
  // the browser runs after the click has returned: wait for the folder image
  // to change.
  async menuName(n) {
    const before = await this.attr(`#image_${n}`, 'src');
    await this.click(`#tblHeading${n} a`);
    await this.until((id, src) => document.getElementById(id).getAttribute('src') !== src, `image_${n}`, before);
  }

  // Sets the value of a field as a script does.
  setValue([target, value]) { return this.on(target, (e, v) => { e.value = v; }, value); }

  // Runs a table of steps (steps.json), each [action, want, message]: the
  // action is a key or chord to press, { method: argument } for one of the
  // methods of STEP_ACTIONS, { name: argument } for the test's own
  // `actions[name](page, argument)`, or null; `want` maps names of `reads`
  // (each a function of the page) to what each must give after it.
  async steps(table, reads, actions = {}) {
    for (const [action, want = {}, message = JSON.stringify(action)] of table) {
      const [kind, arg] = action && typeof action === 'object' ? Object.entries(action)[0] : [];
      if (typeof action === 'string') await this.press(action);
      else if (STEP_ACTIONS.includes(kind)) await this[kind](arg);
      else if (kind) await actions[kind](this, arg);
      for (const [name, value] of Object.entries(want)) {
        assert.ok(reads[name], `no way to read ${name}`);
        assert.deepEqual(await reads[name](this), value, `${message}: ${name}`);
      }
    }
  }

  // The window as it looks now: decoded, with pixel(x, y) as [r, g, b].
  async image() { return decodePng(await this.driver.screenshot()); }

  // Saves a picture of the window to the engine's output folder.
  async screenshot(name) {
    const dir = path.join(OUT_ROOT, this.engine);
    fs.mkdirSync(dir, { recursive: true });
    fs.writeFileSync(path.join(dir, name), await this.driver.screenshot());
  }
}

// The progress bar as the page shows it right now.
function barState() {
  const shown = (id, e = document.getElementById(id)) => (e ? getComputedStyle(e).display !== 'none' : null);
  const cells = [...Array(100).keys()].map((i) => document.getElementById('progress' + (i + 1)))
    .map((e) => (e ? getComputedStyle(e).backgroundColor : null));
  const filled = cells.filter((c) => c !== null && c !== 'rgba(0, 0, 0, 0)');
  const display = document.getElementById('Display');
  const content = document.getElementById('content');
  return {
    loading: document.readyState === 'loading',
    filled: filled.length,
    colours: [...new Set(filled)],
    // The first cells are filled, none after them.
    contiguous: cells.slice(0, filled.length).every((c) => c !== 'rgba(0, 0, 0, 0)'),
    text: display ? display.textContent : null,
    pageShown: shown('page'),
    contentSeen: !!content && content.offsetParent !== null,
    barShown: shown('progress'),
  };
}

// The tabs p1 of a page: the panel whose frame lies on top in the middle of
// the panel area, and the tab on top at the left end of each of four tab
// slots (TabWidth 90).
function tabsInFront() {
  const area = document.getElementById('p1panel0').getBoundingClientRect();
  const hit = document.elementFromPoint(area.left + area.width / 2, area.top + area.height / 2);
  const panel = hit && hit.closest('.panel');
  const row = document.getElementById('p1tab0').getBoundingClientRect();
  const tabs = [0, 1, 2, 3].map((i) => {
    const e = document.elementFromPoint(row.left + 90 * i + 5, row.top + 5);
    const tab = e && e.closest('.tab');
    return tab ? tab.id : null;
  });
  return { panel: panel ? panel.id : null, tabs };
}

// The tree's declared 20 pixel columns as laid out: for every cell declared
// that wide, its width, and the gap between each folder icon and its label.
function treeColumns() {
  const cells = [...document.querySelectorAll('td[width="20"][colspan="1"]')]
    .filter((td) => td.getClientRects().length > 0)
    .map((td) => Math.round(td.getBoundingClientRect().width));
  const gaps = [...document.querySelectorAll('img[id^="image_"]')]
    .filter((img) => /^image_\d+$/.test(img.id) && img.getClientRects().length > 0)
    .map((img) => {
      const label = document.getElementById('tblHeading' + img.id.slice(6)).querySelector('font');
      return Math.round(label.getBoundingClientRect().left - img.getBoundingClientRect().right);
    });
  return { cells, gaps };
}

/* ---- One browser per engine, one server per folder and mode --------------- */

const ENGINE_LIST = (process.env.HALVANE_ENGINES || 'chromium').split(',').map((s) => s.trim()).filter(Boolean);
// The engine the test files being loaded now are for (run_all.js sets it).
let currentEngine = ENGINE_LIST[0];
function useEngine(name) { currentEngine = name; }

const shared = { engines: new Map(), servers: new Map() };

function engine(name) {
  if (!shared.engines.has(name)) {
    // Pictures of failures from an earlier run would mislead.
    const dir = path.join(OUT_ROOT, name);
    for (const f of fs.existsSync(dir) ? fs.readdirSync(dir) : []) {
      if (f.startsWith('failed-')) fs.rmSync(path.join(dir, f));
    }
    shared.engines.set(name, engines.launch(name).then((driver) => ({ driver, page: new Page(driver, name) })));
  }
  return shared.engines.get(name);
}

async function server(dir, compat, a11y) {
  const key = `${compat ? 'compat' : 'no-compat'}${a11y ? '' : ' no-a11y'} ${dir}`;
  if (!shared.servers.has(key)) {
    shared.servers.set(key, startServer(dir, compat, a11y).then(async (s) => ({ server: s, proxy: await startProxy(s) })));
  }
  return shared.servers.get(key);
}

// Closes the engine's browser (after its last test file) and, once no
// engine is left, the servers.
async function shutdown(name) {
  const e = shared.engines.get(name);
  shared.engines.delete(name);
  if (e) await (await e.catch(() => null))?.driver.close();
  if (shared.engines.size === 0) {
    const servers = [...shared.servers.values()];
    shared.servers = new Map();
    for (const s of servers) {
      const { server: srv, proxy } = await s;
      await proxy.stop();
      await srv.stop();
    }
  }
}

// The tests of one file, in the engine being loaded. `env.page(path, fn)`
// opens the page, runs `fn(page)`, and fails when the page reported an error.
function suite({ dir = PAGES, compat = true, a11y = true } = {}) {
  const name = currentEngine;
  const env = { engine: name };
  before(async () => {
    const s = await server(dir, compat, a11y);
    env.server = s.server;
    env.proxy = s.proxy;
    env.browser = await engine(name);
  });
  // The browser stays open for the engine's next file; run_all.js closes it.
  if (!process.env.HALVANE_RUN_ALL) after(() => shutdown(name));

  // Options: clock (a fixed time for Date instead of FIXED_NOW; null for the
  // real clock), wait ('load', the default, or 'commit': go on as soon as the
  // page is there, while it may still stream in), shot (a file name for a
  // picture of the page after `fn`), problems (a function given the page's
  // errors instead of failing on them), script (script text that runs before
  // anything of the page), serve (an HTML text served at the path instead of
  // the server's).
  env.page = async (urlPath, fn, options = {}) => {
    const { page, driver } = env.browser;
    const clock = options.clock === undefined ? FIXED_NOW : options.clock;
    const state = env.proxy.state;
    state.prelude = [driver.recorder ? engines.RECORDER : '', clock === null ? '' : clockScript(clock),
      options.script || ''].join('\n');
    const pathname = new URL(urlPath, 'http://x/').pathname;
    if (options.serve !== undefined) state.overrides.set(pathname, options.serve);
    state.status.delete(pathname);
    await driver.problems();
    let problems = [];
    try {
      await driver.goto(env.proxy.url(urlPath), options.wait || 'load');
      assert.equal(state.status.get(pathname), 200, `GET ${urlPath}`);
      await fn(page);
      if (options.shot) await page.screenshot(options.shot);
      await driver.finish();
      problems = await driver.problems();
      await driver.goto('about:blank', 'load');
    } catch (e) {
      await page.screenshot(`failed-${path.basename(urlPath).replace(/\W+/g, '_')}.png`).catch(() => {});
      problems = problems.concat(await driver.problems().catch(() => []));
      await driver.finish().catch(() => {});
      await driver.goto('about:blank', 'load').catch(() => {});
      if (problems.length) e.message += `\n(the page also reported: ${problems.join('; ')})`;
      e.message = `[${name}] ${e.message}`;
      throw e;
    } finally {
      state.overrides.clear();
    }
    if (options.problems) options.problems([...problems]);
    else assert.deepEqual([...problems], [], `${urlPath} reported errors in ${name}`);
  };
  return env;
}

module.exports = {
  barState, ENGINE_LIST, EXAMPLES, PAGES, PAGE_SCRIPT, SCRIPT_BLOCK, shutdown, suite, tabsInFront, treeColumns,
  useEngine,
};
