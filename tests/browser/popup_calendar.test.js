// The popup calendar in the browser: the button opens the popup beside the
// pointer on the active month, stepping redraws inside it, a day click writes
// the date text into the field and closes it, and no month is cut off by the
// popup's frame.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite } = require('./harness');
const { MONTHS, assertMonth, readCalendar } = require('./calendar_model');

const env = suite();
const TODAY = '3/17/2004';
const STEPS = require('./steps.json')['popup calendar'];

// Clicks the calendar button at a whole-pixel point inside it; returns the point.
async function clickButton(page) {
  const box = await page.box('img[onclick^="calContextMenu"]');
  const at = { x: Math.ceil(box.x) + 4, y: Math.ceil(box.y) + 4 };
  await page.click(at);
  return at;
}

// The calendar the open popup shows; for the step tables, its header, the
// field's value and the number of open popups, and the button's click.
const BODY = { popup: true, css: 'body' };
const read = (page) => page.on(BODY, readCalendar);
const reads = { header: async (page) => (await read(page)).header, due: (page) => page.value('input[name=due]'),
  popups: (page) => page.popupCount() };
const actions = { button: async (page) => { await clickButton(page); await page.popup(); } };

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
    assertMonth(await read(page), ['Mar', '2004'], TODAY);
    // The month fits the popup: nothing is cut off at its edges.
    assert.deepEqual(await clipped(page), NOTHING_CUT);
    // Inside the popup the page is its parent.
    assert.equal(await page.eval(() => typeof document.querySelector('iframe[data-halvane-popup]')
      .contentWindow.parent.buildPopupCal), 'function');
    assert.equal(await page.style({ popup: true, css: 'table table td', nth: 0 }, 'cursor'), 'pointer');
    await page.steps(STEPS.close, reads, actions);
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
      await page.click({ popup: true, css: 'table table td', nth: 2 }); // the header's month forward
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
    await page.steps(STEPS.stepping, reads, actions);
    assertMonth(await read(page), ['Dec', '2003'], TODAY);
    await page.steps(STEPS.days, reads, actions);
  });
});
