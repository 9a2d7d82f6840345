// The gallery's calendar form round trip: the browser fills and submits the
// real form, the server answers with the dates it read (and their weekdays),
// and what the client sent comes back encoded, never as markup.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, EXAMPLES } = require('./harness');

const env = suite({ dir: EXAMPLES });

test('the calendar form posts back and the server shows the dates with their weekdays', async () => {
  await env.page('calendar.hvp', async (page) => {
    const clicked = await page.eval(() => {
      // A day of the embedded calendar, clicked as a user would.
      const day = document.querySelector('#cal1 td[onclick*="/15/"]');
      day.click();
      const form = document.forms[0];
      form.elements.due.value = '2/29/2004';
      form.elements.start.value = '<script>window.injected = 1</script>';
      const value = form.elements.clicked.value;
      form.submit();
      return value;
    });
    assert.match(clicked, /^\d+\/15\/\d{4}$/);
    // The page is between two documents for a while.
    const sent = await page.untilWithin(10000, () => {
      const due = document.getElementById('sent-due');
      return due && {
        due: due.textContent,
        start: document.getElementById('sent-start').textContent,
        clicked: document.getElementById('sent-clicked').textContent,
        scripts: document.querySelectorAll('#sent script').length,
        injected: window.injected === 1,
        method: document.forms[0].method,
      };
    });
    const weekday = new Date(clicked).toLocaleDateString('en-US', { weekday: 'long' });
    assert.deepEqual(sent, {
      due: 'Due: 2/29/2004, a Sunday',
      start: 'Start: <script>window.injected = 1</script> (not a date)',
      clicked: `Clicked: ${clicked}, a ${weekday}`,
      scripts: 0,
      injected: false,
      method: 'post',
    });
  }, { clock: null });
});
