// The popup menu in the browser: a right-click shows the menu at the pointer
// with all rows and nothing cut off, hover switches the item style, a click
// runs its OnClick, and the browser's own menu stays closed.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite } = require('./harness');

const env = suite();

// Records, for every context-menu event, whether the browser's menu was
// refused (the page's handler, on the document, runs before this one).
const WATCH = 'window.contextMenuRefused = [];' +
  ' window.addEventListener("contextmenu", function (e) { window.contextMenuRefused.push(e.defaultPrevented); });';

// Runs `fn(body)` on the open popup's body.
const inPopup = (page, fn) => page.on({ popup: true, css: 'body' }, fn);
// For the step tables (steps.json): the open menus, where the one open menu
// lies, what the page's items picked, and the Save item's colours.
const STEPS = require('./steps.json')['popup menu'];
const reads = {
  popups: (page) => page.popupCount(),
  at: (page) => page.popup().then((b) => [b.x, b.y]),
  picked: (page) => page.eval(() => picked),
  style: (page) => page.on({ popup: true, css: 'td', text: 'Save' }, (e) => {
    const s = e.ownerDocument.defaultView.getComputedStyle(e);
    return [s.color, s.backgroundColor, s.borderTopColor];
  }),
};

test('a right-click shows the menu at the pointer with every row', async () => {
  await env.page('popup_menu.hvs', async (page) => {
    assert.equal(await page.popupCount(), 0);
    await page.rightClick({ x: 200, y: 150 });
    // 5 rows of 18 pixels, Width 150: at least that large.
    const box = await page.popup();
    assert.deepEqual([box.x, box.y], [210, 160]);
    assert.ok(box.width >= 150 && box.width <= 160 && box.height >= 90 && box.height <= 100,
      `popup of ${box.width} x ${box.height}`);
    const rows = await inPopup(page, (d) => [...d.querySelectorAll('table tr')].map((tr) => tr.textContent.trim()));
    assert.deepEqual(rows, ['Edit', 'Open', 'Save', '', 'Close']);
    // The images load in the popup's document.
    await page.until(() => [...document.querySelector('iframe[data-halvane-popup]').contentDocument.images]
      .every((i) => i.complete));
    const images = await inPopup(page, (b) => [...b.querySelectorAll('img')].map((i) => [i.naturalWidth > 0, i.width]));
    assert.deepEqual(images, [[true, 12], [true, 12], [true, 140], [true, 12]]);
    // Nothing of the menu lies outside its frame.
    const reach = await inPopup(page, (b) => {
      const [r, f] = [b.querySelector('table').getBoundingClientRect(), b.ownerDocument.defaultView.frameElement];
      return [r.right <= f.clientWidth, r.bottom <= f.clientHeight];
    });
    assert.deepEqual(reach, [true, true], 'the menu table fits its frame');
    assert.deepEqual(await page.eval(() => window.contextMenuRefused), [true]);
    assert.equal(await page.style({ popup: true, css: 'td', text: 'Open' }, 'cursor'), 'pointer');
    await page.steps(STEPS.reopen, reads);
  }, { shot: 'popup-menu-test.png', script: WATCH });
});

test('hover switches the item style and a click runs its OnClick', async () => {
  await env.page('popup_menu.hvs', (page) => page.steps(STEPS.hover, reads));
});
