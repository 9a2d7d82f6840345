// The example gallery in the browser: every page loads without a page error
// or console error and is photographed (into the engine's folder of the build
// folder's browser/); on the calendar, popup menu and progress bar pages the
// component is used with the mouse as a visitor would use it (the tree, tabs
// and AutoComplete pages are used by keys in a11y.test.js, and those
// components with the mouse on the test pages). Pages are addressed by their
// URL and elements by id or selector, whatever writes the pages.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { suite, EXAMPLES } = require('./harness');

const env = suite({ dir: EXAMPLES });
// The gallery's calendars open on the server's today: let the pages keep the
// real clock.
const REAL = { clock: null };
const shot = (name) => ({ ...REAL, shot: `gallery-${name}.png` });

// The gallery's pages: the page scripts, and the templates that may take
// their place. Those without a test of their own below are photographed as
// they load; those tests photograph their page, then use it.
const pages = fs.readdirSync(EXAMPLES).filter((f) => /\.hv[sp]$/.test(f)).sort();
const USED = ['calendar', 'menu', 'progress'];
const url = (name) => pages.find((f) => f.replace(/\.hv[sp]$/, '') === name) || `${name}.hvs`;
for (const file of pages.filter((f) => !USED.includes(f.replace(/\.hv[sp]$/, '')))) {
  test(`gallery page ${file} loads without errors`, async () => {
    await env.page(file, async (page) => {
      assert.ok((await page.eval(() => document.title)).length > 0);
      // The compatibility script came first and left the page in quirks mode.
      assert.deepEqual(await page.eval(() => [typeof window.createPopup, document.compatMode]),
        ['function', 'BackCompat']);
    }, shot(file.replace(/\.hv[sp]$/, '')));
  });
}

test('gallery calendar: an embedded day reaches the page, a popup fills its field', async () => {
  await env.page(url('calendar'), async (page) => {
    await page.screenshot('gallery-calendar.png');
    // The embedded calendar shows today's month; take its 15th.
    const now = new Date();
    const day = `${now.getMonth() + 1}/15/${now.getFullYear()}`;
    await page.click(`#cal1 td[onclick*="'${day}'"]`);
    assert.equal(await page.text('#picked'), `You clicked ${day}`);

    const box = await page.box('img[onclick*="\'start\'"]');
    await page.click({ x: Math.ceil(box.x) + 4, y: Math.ceil(box.y) + 4 });
    await page.popup();
    assert.equal(await page.text({ popup: true, css: 'table table font', nth: 0 }), 'Mar');
    // Nothing of the calendar is cut off by the popup's frame.
    assert.deepEqual(await page.eval(() => {
      const f = document.querySelector('iframe[data-halvane-popup]:not([style*="none"])');
      const r = f.contentDocument.querySelector('table').getBoundingClientRect();
      return [r.right <= f.clientWidth, r.bottom <= f.clientHeight];
    }), [true, true]);
    await page.screenshot('gallery-calendar-popup.png');
    await page.click({ popup: true, css: `td[onclick*="'3/9/2004'"]` });
    assert.equal(await page.value('input[name=start]'), '3/9/2004');
    assert.equal(await page.popupCount(), 0);
  }, REAL);
});

test('gallery popup menu: right-click, hover and choose', async () => {
  await env.page(url('menu'), async (page) => {
    await page.screenshot('gallery-menu.png');
    await page.rightClick({ x: 260, y: 200 });
    const box = await page.popup();
    assert.deepEqual([box.x, box.y], [270, 210]);
    assert.ok(box.width >= 170 && box.width <= 180, `popup ${box.width} wide`);
    const saveAs = { popup: true, css: 'td', text: 'Save as' };
    await page.hover(saveAs);
    await page.until(() => [...document.querySelector('iframe[data-halvane-popup]').contentDocument.images]
      .every((i) => i.complete));
    await page.screenshot('gallery-menu-open.png');
    // The item leads to the page again, which names the choice.
    await page.click(saveAs);
    const text = await page.untilWithin(10000, () => {
      const c = document.getElementById('choice');
      return /[?&]item=Save\+as$/.test(location.search) && c && c.textContent;
    });
    assert.equal(text, 'You chose Save as.');
  }, REAL);
});

test('gallery progress bar: advances while streaming, then reveals the report', async () => {
  await env.page(url('progress'), async (page) => {
    await page.untilWithin(15000, () => parseInt(document.getElementById('Display').textContent, 10) >= 30);
    const state = await page.eval((d = document) => [d.readyState, getComputedStyle(d.getElementById('page')).display]);
    assert.deepEqual(state, ['loading', 'none']);
    // The filled cells show the bar's colour on screen.
    const c = await page.box('#progress1 img');
    const colour = (await page.image()).pixel(Math.floor(c.x + c.width / 2), Math.floor(c.y + c.height / 2));
    assert.deepEqual(colour, [0x1e, 0x4f, 0x91], 'the first cell in the bar colour');
    await page.screenshot('gallery-progress-running.png');
    await page.untilWithin(20000, () => document.readyState === 'complete');
    await page.screenshot('gallery-progress.png');
    assert.equal(await page.visible('#progress'), false);
    assert.equal(await page.visible({ text: 'Report ready' }), true);
  }, { ...REAL, wait: 'commit' });
});
