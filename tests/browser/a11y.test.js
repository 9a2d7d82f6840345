// The accessibility layer in the browser, on the example gallery: every
// component page passes axe-core's WCAG A/AA rules inside the components (the
// popup calendar and the popup menu too, while open); each component is
// reached with Tab and operated with keys alone, with the result a click
// gives; in Chromium the accessibility tree shows the roles, names and
// states; and the layer changes no byte of what the pages send.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { suite, tabsInFront, EXAMPLES, ENGINE_LIST, PAGES, PAGE_SCRIPT, SCRIPT_BLOCK } = require('./harness');

const env = suite({ dir: EXAMPLES });
const plain = suite({ dir: EXAMPLES, a11y: false });
const pagesOn = suite();
const pagesOff = suite({ a11y: false });
// The gallery's calendars open on the server's today: the pages keep the real clock.
const REAL = { clock: null };
// The key tables of steps.json; the accessibility trees of expected.json.
const STEPS = require('./steps.json').a11y;
const EXPECTED = require('./expected.json');

const AXE = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
const AXE_OPTIONS = {
  runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa'] },
  iframes: false,
  resultTypes: ['violations'],
};
// What the components put in the page, and what the layer adds around it.
const COMPONENTS = ['input[onkeyup*="autoComplete("]', 'img[onclick*="calContextMenu("]', 'div[id] > table[height="142"]',
  '#progress', '#page', '[role="tablist"]', 'div.panel', '[role="tree"]', '#image_minus', '#image_plus',
  '#oContextHTML'].join(', ');

// The axe violations inside the components of the page, or of the open
// popup's whole document; each as "rule: target (summary)".
const axe = (page, where = 'page') => inDocument(page, where, async (d, source, options, scope, where) => {
  const w = d.defaultView;
  if (!w.axe) w.eval(source);
  const result = await w.axe.run(d, options);
  const out = [];
  for (const v of result.violations) {
    for (const n of v.nodes) {
      const el = d.querySelector(n.target[0]);
      if (where === 'page' && !(el && el.closest(scope))) continue;
      out.push(`${v.id}: ${n.target.join(' ')} (${n.failureSummary.replace(/\s+/g, ' ').slice(0, 200)})`);
    }
  }
  return out;
}, AXE, AXE_OPTIONS, COMPONENTS, where);

// The focused element: its tag, role, label and text, in the page or, when
// the focus is inside a popup frame, in the popup ({ popup: true }).
const focused = (page) => page.eval(() => {
  let d = document;
  let popup = false;
  while (d.activeElement && d.activeElement.tagName === 'IFRAME' && d.activeElement.contentDocument) {
    popup = popup || d.activeElement.hasAttribute('data-halvane-popup');
    d = d.activeElement.contentDocument;
  }
  const e = d.activeElement;
  if (!e) return null;
  return { popup, tag: e.tagName, id: e.id, role: e.getAttribute('role'), label: e.getAttribute('aria-label'),
    text: e.textContent.replace(/\s+/g, ' ').trim(), name: e.getAttribute('name'),
    outline: [getComputedStyle(e).outlineStyle, parseFloat(getComputedStyle(e).outlineWidth)] };
});

// For the step tables: reads of the focused element's fields, and an action
// that presses Tab until the focused element has the fields given (at most
// `most` times).
const FOCUSED = Object.fromEntries(['id', 'text', 'popup', 'role', 'tag', 'name', 'label', 'outline']
  .map((k) => [k, async (page) => (await focused(page))[k]]));
const ACTIONS = {
  tabTo: (page, [fields, most]) => tabTo(page, (e) => Object.entries(fields).every(([k, v]) => e[k] === v), most),
};

// Presses Tab until `want(focused)` holds, at most `most` times.
async function tabTo(page, want, most = 40, key = 'Tab') {
  for (let i = 0; i < most; i++) {
    await page.press(key);
    const f = await focused(page);
    if (f && !f.popup && want(f)) return f;
  }
  throw new Error(`${key} did not reach the element (${JSON.stringify(await focused(page))})`);
}

// Runs `fn(document, ...args)` on the page's document, or on the one open
// popup's (fails unless exactly one is open).
const inDocument = (page, where, fn, ...args) => page.on({ popup: where === 'popup', css: 'html' },
  `function (e) { return (${fn}).apply(null, [e.ownerDocument].concat([].slice.call(arguments, 1))); }`, ...args);

// The text of the layer's polite announcer in the page or the open popup.
const announced = (page, where = 'page') => inDocument(page, where, (d) => {
  const live = d.querySelector('[data-halvane-a11y="live"]');
  return live && live.getAttribute('aria-live') === 'polite' ? live.textContent.trim() : null;
});

// The Chromium accessibility tree (with the frames' trees when `frames`) as
// [role, name, states, depth] of the nodes with a role in `roles`;
// the states are those of STATES the node has, as "name=value" in that order,
// leaving out false.
const STATES = ['expanded', 'selected', 'autocomplete', 'haspopup', 'focused', 'modal'];
async function axTree(page, roles, frames = false) {
  if (!page.driver.accessibility) return null;
  const snap = await page.driver.accessibility({ interestingOnly: false, includeIframes: frames });
  const out = [];
  (function walk(n, depth) {
    if (!n) return;
    if (roles.includes(n.role)) {
      const states = STATES.filter((k) => n[k] !== undefined && n[k] !== false).map((k) => `${k}=${n[k]}`);
      out.push([n.role, n.name || '', states.join(' '), depth]);
    }
    for (const c of n.children || []) walk(c, depth + 1);
  })(snap, 0);
  return out;
}

// The date m/d/y as the components write it, `days` later.
// `months` later keeps the day within the new month.
const addDays = (s, days, months = 0) => {
  const [m, d, y] = s.split('/').map(Number);
  const last = new Date(Date.UTC(y, m + months, 0)).getUTCDate();
  const t = new Date(Date.UTC(y, m - 1 + months, Math.min(d, last) + days));
  return `${t.getUTCMonth() + 1}/${t.getUTCDate()}/${t.getUTCFullYear()}`;
};
const MONTHS = ['January', 'February', 'March', 'April', 'May', 'June', 'July', 'August', 'September', 'October',
  'November', 'December'];
const monthOf = (s) => { const [m, , y] = s.split('/').map(Number); return `${MONTHS[m - 1]} ${y}`; };
// The date a focused day cell stands for, from its onclick.
const dayOf = (page, where) => inDocument(page, where, (d) => {
  const m = /'(\d+\/\d+\/\d+)'/.exec(d.activeElement.getAttribute('onclick') || '');
  return m && m[1];
});

// Bytes are the same for every engine: checked once, in the first.
if (env.engine === ENGINE_LIST[0]) {
  test('the layer changes no byte of the pages: gallery and test pages with the layer on and off', async () => {
    const files = (dir) => fs.readdirSync(dir).filter((f) => /\.(hv[sp]|html)$/.test(f) && !/^progress/.test(f)).sort();
    const cases = files(EXAMPLES).map((f) => [env, plain, f]).concat(files(PAGES).map((f) => [pagesOn, pagesOff, f]));
    cases.push([env, plain, 'progress.hvp']);
    assert.ok(cases.length >= 15);
    for (const [on, off, f] of cases) {
      const [a, b] = await Promise.all([on, off].map(async (e) =>
        Buffer.from(await (await fetch(e.server.url(f))).arrayBuffer()).toString('latin1')));
      assert.ok(a.startsWith(PAGE_SCRIPT), `${f}: the layer follows the compatibility script`);
      assert.ok(b.startsWith(SCRIPT_BLOCK) && !b.startsWith(PAGE_SCRIPT), `${f}: --no-a11y sends the script alone`);
      // The calendar pages show the server's today; the rest is equal byte for byte.
      assert.equal(a.slice(PAGE_SCRIPT.length), b.slice(SCRIPT_BLOCK.length), `${f} with and without the layer`);
    }
  });
}

test('a11y tree: buttons, tree keys, axe and the accessibility tree', async () => {
  await env.page('tree.hvp', async (page) => {
    assert.deepEqual(await axe(page), []);
    const open = () => page.eval(() => [...document.querySelectorAll('table[id^="table_"]')]
      .map((t) => [t.rows[1].style.display !== 'none', t.getAttribute('aria-expanded') === 'true']));
    const reads = { ...FOCUSED, menus: open, menu1: async () => (await open())[0], menu2: async () => (await open())[1],
      shown: async () => (await open()).map((o) => o[0]) };
    await page.steps(STEPS['tree keys'], reads, ACTIONS);
    const ax = await axTree(page, ['tree', 'treeitem', 'group', 'button']);
    if (ax) {
      const pick = (name) => ax.find(([, n]) => n === name);
      assert.ok(ax.some(([r]) => r === 'tree') && ax.some(([r]) => r === 'group'), JSON.stringify(ax));
      for (const want of EXPECTED['a11y tree']) assert.deepEqual(pick(want[1]).slice(0, want.length), want);
      assert.ok(pick('Navigation')[3] > pick('Components')[3], 'Navigation lies under Components');
    }
    await page.steps(STEPS['tree keys back'], reads);
    await page.untilWithin(10000, () => /\/tabs\.hvp$/.test(location.pathname) && document.readyState === 'complete');
  }, REAL);
});

test('a11y tabs: tablist keys, selection and panels', async () => {
  await env.page('tabs.hvp', async (page) => {
    assert.deepEqual(await axe(page), []);
    const state = () => page.eval(() => [...document.querySelectorAll('[role="tab"]')]
      .map((t) => `${t.textContent.trim()}:${t.getAttribute('aria-selected')}`).join(' '));
    await page.steps(STEPS.tabs, { ...FOCUSED, state, shown: () => page.text('#shown'),
      front: async () => (await page.eval(tabsInFront)).panel }, ACTIONS);
    assert.deepEqual(await page.eval(() => [...document.querySelectorAll('[role="tabpanel"]')].map((p) =>
      [p.getAttribute('aria-labelledby'), document.getElementById(p.getAttribute('aria-labelledby')).getAttribute('aria-controls') === p.id])),
    [['p1tab0', true], ['p1tab1', true], ['p1tab2', true]]);
    const ax = await axTree(page, ['tablist', 'tab', 'tabpanel']);
    if (ax) {
      assert.deepEqual(ax.filter(([r]) => r === 'tab').map((n) => n.slice(0, 3)), EXPECTED['a11y tabs']);
      assert.ok(ax.some(([r]) => r === 'tablist') && ax.some(([r, n]) => r === 'tabpanel' && n === 'Popup menu'), JSON.stringify(ax));
    }
  }, REAL);
});

test('a11y calendar: the embedded grid and the popup dialog by keys, axe in both', async () => {
  await env.page('calendar.hvp', async (page) => {
    assert.deepEqual(await axe(page), []);
    const today = await page.eval(() => { const t = new Date(); return `${t.getMonth() + 1}/${t.getDate()}/${t.getFullYear()}`; });
    // The embedded month: the focusable day is today.
    let f = await tabTo(page, (e) => e.role === 'gridcell');
    assert.deepEqual([await dayOf(page), f.outline], [today, ['solid', 2]]);
    let at = today;
    for (const [key, days, months] of [['ArrowRight', 1], ['ArrowDown', 7], ['ArrowLeft', -1], ['ArrowUp', -7],
      ['PageDown', 0, 1], ['Shift+PageUp', 0, -12], ['PageUp', 0, -1], ['Shift+PageDown', 0, 12]]) {
      await page.press(key);
      at = addDays(at, days, months);
      assert.equal(await dayOf(page), at, `${key} in the embedded calendar`);
    }
    assert.equal(await page.attr('#cal1 [role="grid"]', 'aria-label'), monthOf(at));
    assert.equal(await announced(page), monthOf(at), 'the new month is announced');
    const weekday = async () => { const [m, d, y] = (await dayOf(page)).split('/').map(Number); return new Date(y, m - 1, d).getDay(); };
    await page.steps(STEPS['calendar week'], { weekday });
    at = await dayOf(page);
    await page.press('Enter');
    assert.equal(await page.text('#picked'), `You clicked ${at}`, 'Enter calls the page function as a click does');

    // The popup: its button is reached with Tab and opens a modal dialog.
    f = await tabTo(page, (e) => e.role === 'button' && e.label === 'Choose date', 10);
    assert.equal(f.outline[1], 2);
    // The field shows the server's date, maybe with leading zeros.
    const due = (await page.value('input[name=due]')).split('/').map(Number).join('/');
    await page.press('Enter');
    await page.popup();
    f = await focused(page);
    assert.deepEqual([f.popup, f.role, await dayOf(page, 'popup')], [true, 'gridcell', due]);
    assert.deepEqual(await page.on({ popup: true, css: '[role="dialog"]' }, (e) =>
      [e.getAttribute('aria-modal'), e.getAttribute('aria-label'), e.querySelectorAll('[role="gridcell"]').length]),
    ['true', 'Choose date', 42]);
    assert.deepEqual(await axe(page, 'popup'), []);
    await page.press('ArrowRight');
    await page.press('PageDown');
    const chosen = addDays(addDays(due, 1), 0, 1);
    assert.equal(await dayOf(page, 'popup'), chosen);
    assert.equal(await announced(page, 'popup'), monthOf(chosen));
    const reads = { ...FOCUSED, popups: () => page.popupCount() };
    await page.steps(STEPS['calendar dialog'], reads);
    assert.equal(await page.value('input[name=due]'), chosen, 'Enter puts the date into the field as a click does');
    await page.steps(STEPS['calendar dialog escape'], reads);
    assert.equal(await page.value('input[name=due]'), chosen);
    const ax = await axTree(page, ['button', 'grid', 'gridcell']);
    if (ax) {
      assert.deepEqual(ax.filter(([r, n]) => r === 'button' && n === 'Choose date').map((n) => n.slice(0, 3)),
        EXPECTED['a11y date buttons']);
      assert.ok(ax.some(([r, n]) => r === 'grid' && n === monthOf(at)), JSON.stringify(ax.filter(([r]) => r === 'grid')));
      assert.equal(ax.filter(([r]) => r === 'gridcell').length, 42);
    }
  }, REAL);
});

test('a11y popup menu: Shift+F10 opens it, keys move and choose, Escape gives the focus back', async () => {
  await env.page('menu.hvp', async (page) => {
    assert.deepEqual(await axe(page), []);
    const opener = await tabTo(page, (e) => e.tag === 'A', 3);
    await page.steps(STEPS['menu open'], FOCUSED);
    assert.deepEqual(await axe(page, 'popup'), []);
    assert.deepEqual(await page.on({ popup: true, css: 'table' }, (t) => [t.getAttribute('role'), t.getAttribute('aria-label'),
      [...t.querySelectorAll('[role]')].map((e) => e.getAttribute('role')).filter((r) => r !== 'none').join(' ')]),
    ['menu', 'Document', 'menuitem menuitem menuitem separator menuitem']);
    const ax = await axTree(page, ['menu', 'menuitem', 'separator'], true);
    if (ax) assert.deepEqual(ax.map((n) => [n[0], n[1].trim(), n[2]]), EXPECTED['a11y menu']);
    await page.steps(STEPS['menu keys'], FOCUSED);
    await page.press('Escape');
    assert.equal(await page.popupCount(), 0);
    const f = await focused(page);
    assert.deepEqual([f.popup, f.tag, f.text], [false, 'A', opener.text], 'Escape returns the focus');
    await page.steps(STEPS['menu choose'], {});
    const text = await page.untilWithin(10000, () => {
      const c = document.getElementById('choice');
      return /[?&]item=Save\+as$/.test(location.search) && c && c.textContent;
    });
    assert.equal(text, 'You chose Save as.');
  }, REAL);
});

test('a11y AutoComplete: a combobox completing inline, Up and Down through the matches, Escape', async () => {
  await env.page('autocomplete.hvp', async (page) => {
    assert.deepEqual(await axe(page), []);
    const aria = () => page.on('input[name=city]', (e) => ['aria-autocomplete', 'aria-expanded']
      .map((a) => e.getAttribute(a)).concat(document.getElementById(e.getAttribute('aria-controls')).name));
    const field = () => page.eval((f = document.activeElement) =>
      [f.value, f.value.substring(f.selectionStart, f.selectionEnd), f.form.elements[f.name + 'List'].selectedIndex]);
    await page.steps(STEPS.autocomplete, { ...FOCUSED, aria, field, announced }, ACTIONS);
    const ax = await axTree(page, ['combobox']);
    if (ax) {
      assert.deepEqual(ax.filter(([, name]) => /^C\w+ \(/.test(name)).map((n) => [n[0], n[1].slice(0, 13), n[2]]),
        EXPECTED['a11y combobox']);
    }
  }, REAL);
});

// The gallery's progress bar advances while the page streams in, its cells
// in the bar's colour on screen, then goes and reveals the report.
test('a11y progress bar: values follow the updates, polite announcements, busy content', async () => {
  await env.page('progress.hvp', async (page) => {
    await page.untilWithin(15000, () => parseInt(document.getElementById('Display').textContent, 10) >= 30);
    const state = await page.eval((d = document) => [d.readyState, getComputedStyle(d.getElementById('page')).display]);
    assert.deepEqual(state, ['loading', 'none']);
    const c = await page.box('#progress1 img');
    const colour = (await page.image()).pixel(Math.floor(c.x + c.width / 2), Math.floor(c.y + c.height / 2));
    assert.deepEqual(colour, [0x1e, 0x4f, 0x91], 'the first cell in the bar colour');
    await page.screenshot('gallery-progress-running.png');
    const now = () => page.eval(() => {
      const bar = document.getElementById('progress');
      return [parseInt(document.getElementById('Display').textContent, 10), bar.getAttribute('role'),
        Number(bar.getAttribute('aria-valuenow')), bar.getAttribute('aria-valuetext'), bar.getAttribute('aria-valuemin'),
        bar.getAttribute('aria-valuemax'), document.getElementById('page').getAttribute('aria-busy')];
    });
    const [shown, role, value, text, min, max, busy] = await now();
    assert.deepEqual([role, value, text, min, max, busy], ['progressbar', shown, `${shown}%`, '0', '100', 'true']);
    assert.deepEqual(await axe(page), []);
    const ax = await axTree(page, ['progressbar']);
    if (ax) assert.deepEqual(ax.map((n) => n.slice(0, 2)), [['progressbar', 'Progress']], JSON.stringify(ax));
    await page.untilWithin(20000, () => document.readyState === 'complete');
    await page.screenshot('gallery-progress.png');
    assert.equal(await page.visible('#progress'), false);
    assert.equal(await page.visible({ text: 'Report ready' }), true);
    assert.deepEqual((await now()).slice(1), ['progressbar', 100, '100%', '0', '100', 'false']);
    // Announced politely a few times, not on every one of the 100 steps.
    const said = await page.eval(() => window.__said);
    assert.ok(said.length >= 2 && said.length <= 12, `announcements: ${said}`);
    assert.equal(said[said.length - 1], 'Progress 100%, done');
  }, {
    ...REAL,
    wait: 'commit',
    // Records every text of the layer's announcer.
    script: `window.__said = [];
      new MutationObserver(function () {
        var live = document.querySelector('[data-halvane-a11y="live"]');
        var t = live && live.textContent.trim();
        if (t && t !== window.__said[window.__said.length - 1]) window.__said.push(t);
      }).observe(document, { childList: true, subtree: true, characterData: true });`,
  });
});

test('a11y gallery pages without components pass axe too', async () => {
  for (const file of ['index.hvp', 'errors.hvp']) {
    await env.page(file, async (page) => {
      assert.deepEqual(await axe(page), []);
      assert.ok(await page.eval(() => !!document.getElementById('halvane-a11y-style')), 'the layer ran');
    }, REAL);
  }
});

test('a11y without the layer: no roles are added (--no-a11y)', async () => {
  await plain.page('tree.hvp', async (page) => {
    assert.deepEqual(await page.eval(() => [document.querySelectorAll('[role]').length,
      !!document.getElementById('halvane-a11y-style'), typeof window.createPopup]), [0, false, 'function']);
  }, REAL);
});
