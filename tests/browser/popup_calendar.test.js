// The popup calendar in the browser: the button opens the popup beside the
// pointer on the active month, stepping redraws inside it, a day click writes
// the date text into the field and closes it, and no month is cut off by the
// popup's frame.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite } = require('./harness');
const { MONTHS, readCalendar, expectedDays } = require('./calendar_model');

const env = suite();
const TODAY = '3/17/2004';

// Clicks the calendar button at a whole-pixel point inside it; returns the point.
async function clickButton(page) {
  const box = await page.box('img[onclick^="calContextMenu"]');
  const at = { x: Math.ceil(box.x) + 4, y: Math.ceil(box.y) + 4 };
  await page.click(at);
  return at;
}

// The calendar the open popup shows.
const BODY = { popup: true, css: 'body' };
const read = (page) => page.on(BODY, readCalendar);
// Header cells: 0 month back, 2 month forward, 4 year back, 6 year forward.
const step = (page, index) => page.click({ popup: true, css: 'table table td', nth: index });
const [MONTH_BACK, MONTH_FORWARD, YEAR_BACK, YEAR_FORWARD] = [0, 2, 4, 6];

// Whether the popup's content ends within its frame, to the right and at the
// bottom (fractions of a pixel past the frame count as cut off).
const clipped = (page) => page.on(BODY, (body) => {
  const f = body.ownerDocument.defaultView.frameElement;
  const range = body.ownerDocument.createRange();
  range.selectNodeContents(body);
  const r = range.getBoundingClientRect();
  return [r.right <= f.clientWidth, r.bottom <= f.clientHeight];
});
const NOTHING_CUT = [true, true];

test('the button opens the popup beside the pointer on the active month', async () => {
  await env.page('popup_calendar.hvs', async (page) => {
    assert.equal(await page.value('input[name=due]'), '03/05/2004');
    assert.equal(await page.attr('input[name=due]', 'readonly'), '');
    assert.equal(await page.popupCount(), 0);

    const at = await clickButton(page);
    const box = await page.popup();
    // At the pointer, at least the size asked for (140 x 155).
    assert.deepEqual([box.x, box.y], [at.x + 10, at.y + 10]);
    assert.ok(box.width >= 140 && box.width <= 150 && box.height >= 155 && box.height <= 165,
      `popup of ${box.width} x ${box.height}`);
    const cal = await read(page);
    assert.deepEqual(cal.header, ['Mar', '2004']);
    assert.deepEqual(cal.days, expectedDays(3, 2004, TODAY));
    // The month fits the popup: nothing is cut off at its edges.
    assert.deepEqual(await clipped(page), NOTHING_CUT);
    // Inside the popup the page is its parent.
    assert.equal(await page.eval(() => typeof document.querySelector('iframe[data-halvane-popup]')
      .contentWindow.parent.buildPopupCal), 'function');
    assert.equal(await page.style({ popup: true, css: 'table table td', nth: 0 }, 'cursor'), 'pointer');
    // A click outside the popup closes it and leaves the field alone; Escape as well.
    await page.click('#outside');
    assert.equal(await page.popupCount(), 0);
    assert.equal(await page.value('input[name=due]'), '03/05/2004');
    await clickButton(page);
    await page.popup();
    await page.press('Escape');
    assert.equal(await page.popupCount(), 0);
  }, { shot: 'popup-calendar-test.png' });
});

test('every month of a year fits the popup, the widest name and six week rows included', async () => {
  await env.page('popup_calendar.hvs', async (page) => {
    await clickButton(page);
    // From March round to the next February: each month name once.
    const seen = [];
    for (let i = 0; i < 12; i++) {
      const cal = await read(page);
      seen.push(cal.header[0]);
      assert.equal(cal.rows, 9, 'six week rows below the header and the letters');
      assert.deepEqual(await clipped(page), NOTHING_CUT, `${cal.header.join(' ')} is cut off`);
      await step(page, MONTH_FORWARD);
    }
    assert.deepEqual([...seen].sort(), [...MONTHS].sort());
    // Far years: a five-digit one is wider still.
    await page.on(BODY, (body) => { body.innerHTML = buildPopupCal(5, 10000, 'due'); });
    assert.deepEqual((await read(page)).header, ['May', '10000']);
    assert.deepEqual(await clipped(page), NOTHING_CUT, 'May 10000 is cut off');
  });
});

test('stepping redraws inside the popup, a day click fills the field and closes it', async () => {
  await env.page('popup_calendar.hvs', async (page) => {
    await clickButton(page);
    await step(page, MONTH_FORWARD);
    assert.deepEqual((await read(page)).header, ['Apr', '2004']);
    await step(page, YEAR_BACK);
    assert.deepEqual((await read(page)).header, ['Apr', '2003']);
    await step(page, YEAR_FORWARD);
    for (let i = 0; i < 4; i++) await step(page, MONTH_BACK);
    const cal = await read(page);
    assert.deepEqual(cal.header, ['Dec', '2003']);
    assert.deepEqual(cal.days, expectedDays(12, 2003, TODAY));
    assert.equal(await page.popupCount(), 1, 'stepping keeps the popup open');

    await page.click({ popup: true, css: `td[onclick*="'12/24/2003'"]` });
    assert.equal(await page.value('input[name=due]'), '12/24/2003');
    assert.equal(await page.popupCount(), 0);

    // It opens on the active month again, whatever the field holds.
    await clickButton(page);
    assert.deepEqual((await read(page)).header, ['Mar', '2004']);
    await page.click({ popup: true, css: `td[onclick*="'3/5/2004'"]` });
    assert.equal(await page.value('input[name=due]'), '3/5/2004');
    assert.equal(await page.popupCount(), 0);

    // Today writes the current date and closes the popup.
    await clickButton(page);
    await page.click({ popup: true, css: 'td', text: 'Today' });
    assert.equal(await page.value('input[name=due]'), TODAY);
    assert.equal(await page.popupCount(), 0);
  });
});
