// Without the compatibility script (`halvane serve --no-compat`) the tree, the
// tabs, the embedded calendar and the progress bar still work in today's
// browsers; the popup calendar and the context menu need the script.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, clickMenuName } = require('./harness');
const { readCalendar, expectedDays } = require('./calendar_model');

const env = suite({ compat: false });

test('pages are sent exactly as the scripts write them', async () => {
  const res = await fetch(env.server.url('tree.hvs'));
  const body = await res.text();
  assert.ok(body.startsWith('<html><head><title>Tree test</title></head><body>\r\n<script language="JavaScript">\r\n'),
    body.slice(0, 120));
});

test('the tree works without the script', async () => {
  await env.page('tree.hvs', async (page) => {
    assert.equal(await page.evaluate(() => typeof window.createPopup), 'undefined');
    const open = (n) => page.$eval(`#table_${n}`, (t) => t.rows[1].style.display !== 'none');
    await page.click('#image_1');
    assert.deepEqual([await open(1), await open(2), await open(3)], [true, false, false]);
    assert.equal(await page.getByText('Pear').isVisible(), true);
    await clickMenuName(page, 2);
    assert.equal(await page.getByText('Lemon').isVisible(), true);
    await page.click('#image_minus');
    assert.deepEqual([await open(1), await open(2), await open(3)], [false, false, false]);
    await page.click('#image_plus');
    assert.deepEqual([await open(1), await open(2), await open(3)], [true, true, true]);
    assert.match(await page.$eval('#image_3', (i) => i.src), /FolderOpen\.gif$/);
    // The rows it shows with display "block" are laid out as blocks here:
    // the script keeps them table rows.
    assert.equal(await page.$eval('#table_1', (t) => getComputedStyle(t.rows[1]).display), 'block');
    // A page without a document type is in quirks mode, where Chromium
    // itself takes the hand cursor for the pointer.
    assert.equal(await page.evaluate(() => document.compatMode), 'BackCompat');
    assert.equal(await page.$eval('#image_1', (e) => getComputedStyle(e).cursor), 'pointer');
  });
});

test('the tabs work without the script', async () => {
  await env.page('tabs.hvs', async (page) => {
    const front = () => page.evaluate(() => {
      const r = document.getElementById('p1panel0').getBoundingClientRect();
      return document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2).closest('.panel').id;
    });
    assert.equal(await front(), 'p1panel0');
    await page.click('#p1tab3');
    assert.equal(await front(), 'p1panel3');
    await page.click('#p1tab1');
    assert.equal(await front(), 'p1panel1');
    assert.deepEqual(await page.evaluate(() => tabClicks), ['Fourth', 'Second']);
    assert.equal(await page.locator('#p1tab2').isVisible(), false);
  });
});

test('the embedded calendar works without the script', async () => {
  await env.page('calendar.hvs', async (page) => {
    let cal = await page.$eval('#cal1', readCalendar);
    assert.deepEqual(cal.header, ['Mar', '2004']);
    assert.deepEqual(cal.days, expectedDays(3, 2004, '3/17/2004'));
    await page.locator('#dec table table td').nth(2).click();
    cal = await page.$eval('#dec', readCalendar);
    assert.deepEqual(cal.header, ['Jan', '2004']);
    await page.locator(`#dec td[onclick*="'1/2/2004'"]`).click();
    assert.deepEqual(await page.evaluate(() => picked), ['dec 1/2/2004']);
  });
});

test('the progress bar works without the script', async () => {
  await env.page('progress_plain.hvs', async (page) => {
    const filled = await page.evaluate(() => {
      let n = 0;
      for (let i = 1; i <= 100; i++) {
        if (getComputedStyle(document.getElementById('progress' + i)).backgroundColor === 'rgb(0, 128, 0)') n++;
      }
      return n;
    });
    assert.equal(filled, 100);
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
    await page.keyboard.type('b');
    assert.deepEqual(await page.evaluate(() => [document.forms[0].city.value, document.forms[0].cityList.selectedIndex]),
      ['b', 1]);
  });
});
