// The example gallery in the browser: every page loads without a page error
// or console error and is photographed (into the engine's folder of the build
// folder's browser/; the streaming progress bar page in a11y.test.js).
// The calendar form round trip: the browser fills and submits the real form,
// the server answers with the dates it read (and their weekdays), and what the
// client sent comes back encoded, never as markup. The component pages are
// used by keys, with the result a click gives, in a11y.test.js, and each
// component with the mouse on the test pages.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { suite, EXAMPLES } = require('./harness');

const env = suite({ dir: EXAMPLES });
// The gallery's calendars open on the server's today: let the pages keep the
// real clock.
const REAL = { clock: null };
const shot = (name) => ({ ...REAL, shot: `gallery-${name}.png` });

// The gallery's pages: the page scripts, and the templates that may take
// their place, photographed as they load (the progress bar as it runs, in
// a11y.test.js).
const pages = fs.readdirSync(EXAMPLES).filter((f) => /\.hv[sp]$/.test(f) && !f.startsWith('progress.')).sort();
for (const file of pages) {
  test(`gallery page ${file} loads without errors`, async () => {
    await env.page(file, async (page) => {
      assert.ok((await page.eval(() => document.title)).length > 0);
      // The compatibility script came first and left the page in quirks mode.
      assert.deepEqual(await page.eval(() => [typeof window.createPopup, document.compatMode]),
        ['function', 'BackCompat']);
    }, shot(file.replace(/\.hv[sp]$/, '')));
  });
}

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
  }, REAL);
});
