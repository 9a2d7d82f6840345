// The popup calendar in the browser: the button opens the popup beside the
// pointer on the active month, stepping redraws inside it, a day click writes
// the date text into the field and closes it.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, openPopup, popupCount } = require('./harness');
const { readCalendar, expectedDays } = require('./calendar_model');

const env = suite();
const TODAY = '3/17/2004';

// Clicks the calendar button at a whole-pixel point inside it; returns the point.
async function clickButton(page) {
  const box = await page.locator('img[onclick^="calContextMenu"]').boundingBox();
  const x = Math.ceil(box.x) + 4;
  const y = Math.ceil(box.y) + 4;
  await page.mouse.click(x, y);
  return { x, y };
}

const read = (frame) => frame.$eval('body', readCalendar);
const stepCell = (frame, index) => frame.locator('table table td').nth(index);
const MONTH_BACK = 0;
const MONTH_FORWARD = 2;
const YEAR_BACK = 4;
const YEAR_FORWARD = 6;

test('the button opens the popup beside the pointer on the active month', async () => {
  await env.page('popup_calendar.hvs', async (page) => {
    assert.equal(await page.inputValue('input[name=due]'), '03/05/2004');
    assert.equal(await page.locator('input[name=due]').getAttribute('readonly'), '');
    assert.equal(await popupCount(page), 0);

    const at = await clickButton(page);
    const { frame, box } = await openPopup(page);
    assert.deepEqual(box, { x: at.x + 10, y: at.y + 10, width: 140, height: 155 });
    const cal = await read(frame);
    assert.deepEqual(cal.header, ['Mar', '2004']);
    assert.deepEqual(cal.days, expectedDays(3, 2004, TODAY));
    // The month fits the popup: nothing is cut off at its edges.
    const table = await frame.$eval('table', (t) => { const r = t.getBoundingClientRect(); return [r.right, r.bottom]; });
    assert.ok(table[0] <= 140 && table[1] <= 155, `calendar table ends at ${table}`);
    // Inside the popup the page is its parent.
    assert.equal(await frame.evaluate(() => typeof window.parent.buildPopupCal), 'function');
    assert.equal(await frame.locator('table table td').first()
      .evaluate((e) => getComputedStyle(e).cursor), 'pointer');
  }, { shot: 'popup-calendar-test.png' });
});

test('stepping redraws inside the popup, a day click fills the field and closes it', async () => {
  await env.page('popup_calendar.hvs', async (page) => {
    await clickButton(page);
    let { frame } = await openPopup(page);
    await stepCell(frame, MONTH_FORWARD).click();
    assert.deepEqual((await read(frame)).header, ['Apr', '2004']);
    await stepCell(frame, YEAR_BACK).click();
    assert.deepEqual((await read(frame)).header, ['Apr', '2003']);
    await stepCell(frame, YEAR_FORWARD).click();
    for (let i = 0; i < 4; i++) await stepCell(frame, MONTH_BACK).click();
    const cal = await read(frame);
    assert.deepEqual(cal.header, ['Dec', '2003']);
    assert.deepEqual(cal.days, expectedDays(12, 2003, TODAY));
    assert.equal(await popupCount(page), 1, 'stepping keeps the popup open');

    await frame.locator(`td[onclick*="'12/24/2003'"]`).click();
    assert.equal(await page.inputValue('input[name=due]'), '12/24/2003');
    assert.equal(await popupCount(page), 0);

    // It opens on the active month again, whatever the field holds.
    await clickButton(page);
    ({ frame } = await openPopup(page));
    assert.deepEqual((await read(frame)).header, ['Mar', '2004']);
    await frame.locator(`td[onclick*="'3/5/2004'"]`).click();
    assert.equal(await page.inputValue('input[name=due]'), '3/5/2004');
    assert.equal(await popupCount(page), 0);

    // Today writes the current date and closes the popup.
    await clickButton(page);
    ({ frame } = await openPopup(page));
    await frame.locator('td', { hasText: 'Today' }).last().click();
    assert.equal(await page.inputValue('input[name=due]'), TODAY);
    assert.equal(await popupCount(page), 0);
  });
});

test('a click outside the popup closes it and leaves the field alone', async () => {
  await env.page('popup_calendar.hvs', async (page) => {
    await clickButton(page);
    await openPopup(page);
    await page.click('#outside');
    assert.equal(await popupCount(page), 0);
    assert.equal(await page.inputValue('input[name=due]'), '03/05/2004');
    // Escape closes it as well.
    await clickButton(page);
    await openPopup(page);
    await page.keyboard.press('Escape');
    assert.equal(await popupCount(page), 0);
  });
});
