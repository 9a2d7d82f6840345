// The example gallery in the browser: every page loads without a page error
// or console error and is photographed; on each component's page the
// component is used as a visitor would use it.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { suite, EXAMPLES, openPopup, popupCount, screenshot, clickMenuName } = require('./harness');

const env = suite({ dir: EXAMPLES });
// The gallery's calendars open on the server's today: let the pages keep the
// real clock.
const REAL = { clock: null };
const shot = (name) => ({ ...REAL, shot: `gallery-${name}.png` });

const pages = fs.readdirSync(EXAMPLES).filter((f) => f.endsWith('.hvp')).sort();

test('the gallery has its pages', () => {
  for (const name of ['index', 'tree', 'tabs', 'calendar', 'menu', 'autocomplete', 'progress']) {
    assert.ok(pages.includes(`${name}.hvp`), `${name}.hvp`);
  }
});

// The pages without a test of their own below; those tests photograph
// their page as it loads, then use it.
const USED = ['tree.hvp', 'tabs.hvp', 'calendar.hvp', 'menu.hvp', 'autocomplete.hvp', 'progress.hvp'];
for (const file of pages.filter((f) => !USED.includes(f))) {
  test(`gallery page ${file} loads without errors`, async () => {
    await env.page(file, async (page) => {
      assert.ok((await page.title()).length > 0);
      // The compatibility script came first and left the page in quirks mode.
      assert.equal(await page.evaluate(() => typeof window.createPopup), 'function');
    }, shot(file.replace(/\.hvp$/, '')));
  });
}

test('gallery tree: expand-all, collapse-all and single menus', async () => {
  await env.page('tree.hvp', async (page) => {
    await screenshot(page, 'gallery-tree.png');
    const open = () => page.evaluate(() => {
      const out = [];
      for (let n = 1; document.getElementById('table_' + n); n++) {
        out.push(document.getElementById('table_' + n).rows[1].style.display !== 'none');
      }
      return out;
    });
    const closed = await open();
    assert.ok(closed.length >= 3 && closed.every((o) => !o), `all closed at first: ${closed}`);
    await page.click('#image_plus');
    assert.ok((await open()).every((o) => o));
    await page.click('#image_minus');
    assert.ok((await open()).every((o) => !o));
    await page.click('#image_2');
    await clickMenuName(page, 3);
    const some = await open();
    assert.deepEqual(some.slice(0, 4), [false, true, true, false]);
    await screenshot(page, 'gallery-tree-open.png');
  }, REAL);
});

test('gallery tabs: each tab brings its framed page to the front', async () => {
  await env.page('tabs.hvp', async (page) => {
    await screenshot(page, 'gallery-tabs.png');
    const front = () => page.evaluate(() => {
      const r = document.getElementById('p1panel0').getBoundingClientRect();
      return document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2).closest('.panel').id;
    });
    assert.equal(await front(), 'p1panel0');
    for (const [i, name] of [[1, 'Calendar'], [2, 'Popup menu'], [0, 'Tree']]) {
      await page.click(`#p1tab${i}`);
      assert.equal(await front(), `p1panel${i}`);
      assert.equal(await page.textContent('#shown'), name);
    }
    await page.click('#p1tab1');
    await screenshot(page, 'gallery-tabs-calendar.png');
  }, REAL);
});

test('gallery calendar: an embedded day reaches the page, a popup fills its field', async () => {
  await env.page('calendar.hvp', async (page) => {
    await screenshot(page, 'gallery-calendar.png');
    // The embedded calendar shows today's month; take its 15th.
    const now = new Date();
    const day = `${now.getMonth() + 1}/15/${now.getFullYear()}`;
    await page.click(`#cal1 td[onclick*="'${day}'"]`);
    assert.equal(await page.textContent('#picked'), `You clicked ${day}`);

    const button = page.locator('img[onclick*="\'start\'"]');
    const box = await button.boundingBox();
    await page.mouse.click(Math.ceil(box.x) + 4, Math.ceil(box.y) + 4);
    const { frame } = await openPopup(page);
    assert.deepEqual(await frame.$$eval('table table font', (f) => f.map((e) => e.textContent)), ['Mar', '2004']);
    await screenshot(page, 'gallery-calendar-popup.png');
    await frame.click(`td[onclick*="'3/9/2004'"]`);
    assert.equal(await page.inputValue('input[name=start]'), '3/9/2004');
    assert.equal(await popupCount(page), 0);
  }, REAL);
});

test('gallery popup menu: right-click, hover and choose', async () => {
  await env.page('menu.hvp', async (page) => {
    await screenshot(page, 'gallery-menu.png');
    await page.mouse.click(260, 200, { button: 'right' });
    const { frame, box } = await openPopup(page);
    assert.equal(box.x, 270);
    assert.equal(box.y, 210);
    assert.equal(box.width, 170);
    await frame.hover('td:has-text("Save as")');
    await screenshot(page, 'gallery-menu-open.png');
    // The item leads to the page again, which names the choice.
    await frame.click('td:has-text("Save as")');
    await page.waitForURL(/menu\.hvp\?item=Save\+as$/);
    assert.equal(await page.textContent('#choice'), 'You chose Save as.');
  }, REAL);
});

test('gallery AutoComplete: completes, and the forced field refuses what matches nothing', async () => {
  await env.page('autocomplete.hvp', async (page) => {
    await screenshot(page, 'gallery-autocomplete.png');
    await page.click('input[name=city]');
    await page.keyboard.type('bu');
    const state = () => page.evaluate(() => {
      const f = document.forms[0].city;
      return [f.value, f.value.substring(f.selectionStart, f.selectionEnd), document.forms[0].cityList.selectedIndex];
    });
    assert.deepEqual(await state(), ['Bucharest', 'charest', 5]);
    await screenshot(page, 'gallery-autocomplete-typing.png');
    await page.keyboard.type('x');
    assert.deepEqual(await state(), ['Bu', '', -1]);
    await page.click('input[name=code]');
    await page.keyboard.type('p');
    assert.equal(await page.inputValue('input[name=code]'), 'par');
  }, REAL);
});

test('gallery progress bar: advances while streaming, then reveals the report', async () => {
  await env.page('progress.hvp', async (page) => {
    await page.waitForFunction(() => {
      const d = document.getElementById('Display');
      return d && parseInt(d.textContent, 10) >= 30;
    }, null, { timeout: 15000 });
    assert.equal(await page.evaluate(() => document.readyState), 'loading');
    assert.equal(await page.evaluate(() => getComputedStyle(document.getElementById('page')).display), 'none');
    await screenshot(page, 'gallery-progress-running.png');
    await page.waitForLoadState('load', { timeout: 20000 });
    await screenshot(page, 'gallery-progress.png');
    assert.equal(await page.locator('#progress').isVisible(), false);
    assert.equal(await page.getByText('Report ready').isVisible(), true);
  }, { ...REAL, waitUntil: 'commit' });
});
