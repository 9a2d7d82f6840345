// The embedded calendar in the browser: the grid of a known month, stepping by
// month and year across year ends, and the page's _OnClick handler.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite } = require('./harness');
const { assertMonth, readCalendar } = require('./calendar_model');

const env = suite();
const TODAY = '3/17/2004'; // the pages' fixed clock

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
    // 2004 is a leap year: the one leading cell is 29 February.
    assert.deepEqual(cal.days[0], { date: '2/29/2004', text: '29', color: 'A1A1A1' });
    assert.deepEqual(cal.days[17], { date: '3/17/2004', text: '17', color: 'FF0000' });
    assert.deepEqual(cal.days[41], { date: '4/10/2004', text: '10', color: 'A1A1A1' });
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
