// Without the compatibility script (`halvane serve --no-compat`) the tree, the
// tabs, the embedded calendar and the progress bar still work in today's
// browsers; the popup calendar and the context menu need the script.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, tabsInFront } = require('./harness');
const { assertMonth, readCalendar } = require('./calendar_model');

const env = suite({ compat: false });
const STEPS = require('./steps.json')['no compat'];

test('pages are sent exactly as the scripts write them', async () => {
  const res = await fetch(env.server.url('tree.hvs'));
  const body = await res.text();
  assert.ok(body.startsWith('<html><head><title>Tree test</title></head><body>\r\n<script language="JavaScript">\r\n'),
    body.slice(0, 120));
});

// What each engine does with the tree's hidden rows shown again with display
// "block" (laid out as blocks, outside the table's columns), and whether it
// takes the components' "cursor: hand" itself in a page without a document
// type.
const ENGINE = { chromium: { row: 'block', handCursor: 'pointer' }, firefox: { row: 'block', handCursor: 'auto' },
  webkit: { row: 'block', handCursor: 'pointer' } };

test('the tree works without the script', async () => {
  await env.page('tree.hvs', async (page) => {
    assert.equal(await page.eval(() => typeof window.createPopup), 'undefined');
    const reads = { open: () => page.eval(() => [1, 2, 3].map((n) =>
      document.getElementById('table_' + n).rows[1].style.display !== 'none')) };
    for (const name of ['Pear', 'Lemon']) reads[name] = () => page.visible({ text: name });
    await page.steps(STEPS.tree, reads);
    assert.match(await page.attr('#image_3', 'src'), /FolderOpen\.gif$/);
    // The rows it shows with display "block" are laid out as blocks here:
    // the script keeps them table rows.
    assert.deepEqual(await page.eval(() => [getComputedStyle(document.getElementById('table_1').rows[1]).display,
      document.compatMode]), [ENGINE[env.engine].row, 'BackCompat']);
    assert.equal(await page.style('#image_1', 'cursor'), ENGINE[env.engine].handCursor);
  });
});

test('the tabs work without the script', async () => {
  await env.page('tabs.hvs', async (page) => {
    await page.steps(STEPS.tabs, { front: async () => (await page.eval(tabsInFront)).panel });
    assert.deepEqual(await page.eval(() => tabClicks), ['Fourth', 'Second']);
    assert.equal(await page.visible('#p1tab2'), false);
  });
});

test('the embedded calendar works without the script', async () => {
  await env.page('calendar.hvs', async (page) => {
    assertMonth(await page.on('#cal1', readCalendar), ['Mar', '2004'], '3/17/2004');
    await page.click({ css: '#dec table table td', nth: 2 });
    assert.deepEqual((await page.on('#dec', readCalendar)).header, ['Jan', '2004']);
    await page.click(`#dec td[onclick*="'1/2/2004'"]`);
    assert.deepEqual(await page.eval(() => picked), ['dec 1/2/2004']);
  });
});

test('the progress bar works without the script', async () => {
  await env.page('progress_plain.hvs', async (page) => {
    assert.equal(await page.eval(() => [...document.querySelectorAll('[id^="progress"]')].filter((e) =>
      /^progress\d+$/.test(e.id) && getComputedStyle(e).backgroundColor === 'rgb(0, 128, 0)').length), 100);
  });
});

test('the popup calendar and the context menu fail at window.createPopup without the script', async () => {
  for (const url of ['popup_calendar.hvs', 'popup_menu.hvs']) {
    await env.page(url, async () => {}, {
      problems: (problems) => {
        assert.equal(problems.length, 1, problems.join('\n'));
        assert.match(problems[0], /window\.createPopup is not a function/);
      },
    });
  }
});

test('AutoComplete selects the matching option but cannot complete without the script', async () => {
  await env.page('autocomplete.hvs', async (page) => {
    await page.click('input[name=city]');
    await page.type('b');
    assert.deepEqual(await page.eval(() => [document.forms[0].city.value, document.forms[0].cityList.selectedIndex]),
      ['b', 1]);
  });
});
