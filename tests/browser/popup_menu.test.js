// The popup menu in the browser: a right-click shows the menu at the pointer
// with all rows, hover switches the item style, a click runs its OnClick, and
// the browser's own menu stays closed.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, openPopup, popupCount } = require('./harness');

const env = suite();

// Records, for every context-menu event, whether the browser's menu was
// refused (the page's handler runs first, on the document).
async function watchContextMenu(page) {
  await page.evaluate(() => {
    window.contextMenuRefused = [];
    window.addEventListener('contextmenu', (e) => window.contextMenuRefused.push(e.defaultPrevented));
  });
}

test('a right-click shows the menu at the pointer with every row', async () => {
  await env.page('popup_menu.hvs', async (page) => {
    await watchContextMenu(page);
    assert.equal(await popupCount(page), 0);
    await page.mouse.click(200, 150, { button: 'right' });
    const { frame, box } = await openPopup(page);
    // 5 rows of 18 pixels, Width 150.
    assert.deepEqual(box, { x: 210, y: 160, width: 150, height: 90 });
    const rows = await frame.$$eval('table tr', (trs) => trs.map((tr) => tr.textContent.trim()));
    assert.deepEqual(rows, ['Edit', 'Open', 'Save', '', 'Close']);
    const table = await frame.$eval('table', (t) => { const r = t.getBoundingClientRect(); return [r.right, r.bottom]; });
    assert.ok(table[0] <= 150 && table[1] <= 90, `menu table ends at ${table}`);
    // The images load in the popup's document.
    const images = await frame.$$eval('img', (imgs) => imgs.map((i) => [i.complete && i.naturalWidth > 0, i.width]));
    assert.deepEqual(images, [[true, 12], [true, 12], [true, 140], [true, 12]]);
    assert.deepEqual(await page.evaluate(() => window.contextMenuRefused), [true]);
    assert.equal(await frame.locator('td', { hasText: 'Open' }).evaluate((e) => getComputedStyle(e).cursor),
      'pointer');
  }, { shot: 'popup-menu-test.png' });
});

test('hover switches the item style and a click runs its OnClick', async () => {
  await env.page('popup_menu.hvs', async (page) => {
    await page.mouse.click(100, 100, { button: 'right' });
    const { frame } = await openPopup(page);
    const save = frame.locator('td', { hasText: 'Save' });
    const style = () => save.evaluate((e) => {
      const s = getComputedStyle(e);
      return [s.color, s.backgroundColor, s.borderTopColor];
    });
    assert.deepEqual(await style(), ['rgb(0, 0, 0)', 'rgb(228, 228, 228)', 'rgb(228, 228, 228)']);
    await save.hover();
    assert.deepEqual(await style(), ['rgb(255, 255, 255)', 'rgb(0, 0, 128)', 'rgb(0, 0, 0)']);
    await frame.locator('td', { hasText: 'Edit' }).hover();
    assert.deepEqual(await style(), ['rgb(0, 0, 0)', 'rgb(228, 228, 228)', 'rgb(228, 228, 228)']);

    await save.click();
    await frame.locator('td', { hasText: 'Close' }).click();
    assert.deepEqual(await page.evaluate(() => picked), ['Save', 'Close']);
  });
});

test('a click outside closes the menu; the next right-click opens it at the new point', async () => {
  await env.page('popup_menu.hvs', async (page) => {
    await page.mouse.click(100, 100, { button: 'right' });
    await openPopup(page);
    await page.mouse.click(600, 500);
    assert.equal(await popupCount(page), 0);
    await page.mouse.click(300, 40, { button: 'right' });
    assert.deepEqual((await openPopup(page)).box, { x: 310, y: 50, width: 150, height: 90 });
    assert.deepEqual(await page.evaluate(() => picked), []);
  });
});
