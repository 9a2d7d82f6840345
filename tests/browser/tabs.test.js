// Tabs in the browser: the first tab is in front at load, a click brings each
// tab and its panel to the front and runs its JavaScriptOnClick, and a tab
// written with IsVisible False is not displayed and leaves its gap.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, tabsInFront } = require('./harness');

const env = suite();

const front = (page) => page.eval(tabsInFront);

test('an invisible tab leaves its gap; the first is in front, a click brings a tab and its panel forward', async () => {
  await env.page('tabs.hvs', async (page) => {
    // An invisible tab is not displayed and leaves its gap.
    assert.equal(await page.visible('#p1tab2'), false);
    assert.equal(await page.visible('#p1panel2'), false);
    const left = await page.eval(() => [0, 1, 3].map((i) =>
      document.getElementById('p1tab' + i).getBoundingClientRect().left -
      document.getElementById('p1tab0').getBoundingClientRect().left));
    assert.deepEqual(left, [0, 90, 270]);
    // Nothing answers a click in the gap.
    const box = await page.box('#p1tab0');
    await page.click({ x: box.x + 180 + 45, y: box.y + 8 });
    assert.deepEqual(await page.eval(() => tabClicks), []);
    assert.equal(await page.style('#p1tab1', 'cursor'), 'pointer', 'the hand cursor from the style block');
    assert.deepEqual(await front(page), { panel: 'p1panel0', tabs: ['p1tab0', 'p1tab1', null, 'p1tab3'] });
    // Every panel's frame has loaded its page.
    for (const i of [0, 1, 3]) assert.equal(await page.text({ frame: `content${i}`, css: '#title' }), `Panel ${i}`);

    // After each click the panel in front, and each tab's and panel's z-index.
    await page.steps(require('./steps.json').tabs.clicks, { panel: async () => (await front(page)).panel,
      z: () => page.eval(() => [0, 1, 2, 3].map((k) => [document.getElementById('p1tab' + k).style.zIndex,
        document.getElementById('p1panel' + k).style.zIndex])) });
    assert.deepEqual(await page.eval(() => tabClicks), ['Second', 'Fourth', 'First', 'Fourth']);
  }, { shot: 'tabs-test.png' });
});
