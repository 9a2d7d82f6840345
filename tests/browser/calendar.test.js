// The calendar in the browser. Embedded: the grid of a known month, stepping
// by month and year across year ends, and the page's _OnClick handler. As a
// popup: the button opens it beside the pointer on the active month, stepping
// redraws inside it, a day click writes the date text into the field and
// closes it, and no month is cut off by the popup's frame.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite } = require('./harness');
const { MONTHS, assertMonth, readCalendar } = require('./calendar_model');

const env = suite();
const TODAY = '3/17/2004'; // the pages' fixed clock
const STEPS = require('./steps.json')['popup calendar'];

const read = (page, id) => page.on('#' + id, readCalendar);
const step = (page, id, index) => page.click({ css: `#${id} table table td`, nth: index });
// Header cells: 0 month back, 1 month name, 2 month forward, 3 spacer,
// 4 year back, 5 year, 6 year forward.
const [MONTH_BACK, MONTH_FORWARD, YEAR_BACK, YEAR_FORWARD] = [0, 2, 4, 6];

test('the grid of March 2004: days, grey and black, today in red', async () => {
  await env.page('calendar.hvs', async (page) => {
    const cal = await read(page, 'cal1');
    assertMonth(cal, ['Mar', '2004'], TODAY);
    assert.deepEqual(cal.letters, ['S', 'M', 'T', 'W', 'T', 'F', 'S']);
    assert.equal(cal.today, '[ Today ]');
    assert.equal(cal.rows, 9);
    // The hand cursor on the day cells.
    assert.equal(await page.style({ css: '#cal1 table tr:nth-child(3) td', nth: 0 }, 'cursor'), 'pointer');
    // A click on a day or on Today calls the page handler with the date text.
    const day = (id, date) => page.click(`#${id} td[onclick*="'${date}'"]`);
    await day('cal1', '3/5/2004');
    // A grey cell reports the neighbouring month and does not step.
    await day('cal1', '4/1/2004');
    assert.deepEqual((await read(page, 'cal1')).header, ['Mar', '2004']);
    await day('dec', '12/31/2003');

    // Today redraws the calendar at the current month, then reports the day.
    await step(page, 'dec', MONTH_BACK);
    await page.click({ css: '#dec td', text: 'Today' });
    assertMonth(await read(page, 'dec'), ['Mar', '2004'], TODAY);
    assert.deepEqual(await page.eval(() => picked),
      ['cal1 3/5/2004', 'cal1 4/1/2004', 'dec 12/31/2003', `dec ${TODAY}`]);
  }, { shot: 'calendar-test.png' });
});

test('month and year stepping, December to January across the year', async () => {
  await env.page('calendar.hvs', async (page) => {
    // Ten months forward from March 2003 runs into the next year.
    for (const [id, index, times, header] of [['dec', MONTH_FORWARD, 1, ['Jan', '2004']],
      ['dec', MONTH_BACK, 2, ['Nov', '2003']], ['cal1', YEAR_FORWARD, 1, ['Mar', '2005']],
      ['cal1', YEAR_BACK, 2, ['Mar', '2003']], ['cal1', MONTH_FORWARD, 10, ['Jan', '2004']]]) {
      for (let i = 0; i < times; i++) await step(page, id, index);
      const cal = await read(page, id);
      assertMonth(cal, header, TODAY);
      if (index === MONTH_FORWARD) assert.equal(cal.days[0].date, '12/28/2003');
    }
    // The other calendar kept its own month.
    assertMonth(await read(page, 'dec'), ['Nov', '2003'], TODAY);
  });
});

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
const readPopup = (page) => page.on(BODY, readCalendar);
const reads = { header: async (page) => (await readPopup(page)).header, due: (page) => page.value('input[name=due]'),
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
    assertMonth(await readPopup(page), ['Mar', '2004'], TODAY);
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
      const cal = await readPopup(page);
      seen.push(cal.header[0]);
      assert.equal(cal.rows, 9, 'six week rows below the header and the letters');
      assert.deepEqual(await clipped(page), NOTHING_CUT, `${cal.header.join(' ')} is cut off`);
      await page.click({ popup: true, css: 'table table td', nth: 2 }); // the header's month forward
    }
    assert.deepEqual([...seen].sort(), [...MONTHS].sort());
    // Far years: a five-digit one is wider still.
    await page.on(BODY, (body) => { body.innerHTML = buildPopupCal(5, 10000, 'due'); });
    assert.deepEqual((await readPopup(page)).header, ['May', '10000']);
    assert.deepEqual(await clipped(page), NOTHING_CUT, 'May 10000 is cut off');
  });
});

test('stepping redraws inside the popup, a day click fills the field and closes it', async () => {
  await env.page('popup_calendar.hvs', async (page) => {
    await page.steps(STEPS.stepping, reads, actions);
    assertMonth(await readPopup(page), ['Dec', '2003'], TODAY);
    await page.steps(STEPS.days, reads, actions);
  });
});
