// The Flask gallery of examples/python in the browser, for what a person
// would check: a day picked in the popup calendar fills the booking form's
// field, the posted form shows that day's weekday, and the streamed progress
// bar fills.  Needs the Python package built (HALVANE_PYTHONPATH, set by the
// build's tests for a tree made with -DHALVANE_PYTHON=ON).
'use strict';
const path = require('node:path');
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { barState, suite } = require('./harness');

const APP = path.join(__dirname, '..', '..', 'examples', 'python', 'app.py');
const skip = !process.env.HALVANE_PYTHONPATH && 'the Python package is not built (HALVANE_PYTHONPATH)';
if (!skip) process.env.PYTHONPATH = process.env.HALVANE_PYTHONPATH;
const env = skip ? null : suite({ dir: APP });

const WEEKDAYS = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];

test('a day picked in the popup fills the field; the posted form shows its weekday', { skip }, async () => {
  await env.page('/booking', async (page) => {
    // The popup opens on the server's today: pick the 15th of that month.
    const [month, , year] = (await page.value('input[name=day]')).split('/').map(Number);
    const day = `${month}/15/${year}`;
    await page.click('img[onclick^="calContextMenu"]');
    await page.popup();
    await page.click({ popup: true, css: `td[onclick*="'${day}'"]` });
    assert.equal(await page.value('input[name=day]'), day);
    assert.equal(await page.popupCount(), 0);

    await page.click('#name');
    await page.type('Ann <b>');
    await page.on('input[name=city]', (e) => { e.value = 'Lisbon'; });
    await page.click('#send');
    await page.until(() => !!document.getElementById('booked-weekday'));
    assert.equal(await page.text('#booked-weekday'), WEEKDAYS[new Date(Date.UTC(year, month - 1, 15)).getUTCDay()]);
    assert.equal(await page.text('#booked-name'), 'Ann <b>');
    assert.equal(await page.text('#booked-city'), 'Lisbon');
  });
});

test('the streamed progress bar fills and the content shows at the end', { skip }, async () => {
  await env.page('/progress?steps=40&pause=0.02', async (page) => {
    await page.untilWithin(15000, () => document.readyState === 'complete');
    const s = await page.eval(barState);
    assert.deepEqual([s.filled, s.text, s.pageShown], [100, '100\u00a0%', true]);
    assert.equal(await page.text('#steps'), 'Steps written: 40 of 40.');
  }, { wait: 'commit' });
});
