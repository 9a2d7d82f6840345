// AutoComplete in the browser: typing completes from the select list with the
// tail selected, the matching option is selected, forced completion removes a
// character that matches nothing, cursor keys do not complete.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite } = require('./harness');

const env = suite();

// Value, selected part and the linked list's selected index of a field.
function field(page, name, list) {
  return page.eval((n, l) => {
    const f = document.forms[0][n];
    return {
      value: f.value,
      selected: f.value.substring(f.selectionStart, f.selectionEnd),
      index: document.forms[0][l].selectedIndex,
    };
  }, name, list);
}

test('typing completes from the option texts with the tail selected', async () => {
  await env.page('autocomplete.hvs', async (page) => {
    const city = () => field(page, 'city', 'cityList');
    await page.click('input[name=city]');
    await page.type('b');
    assert.deepEqual(await city(), { value: 'Berlin', selected: 'erlin', index: 1 });
    // The next letter replaces the selected tail.
    await page.type('r');
    assert.deepEqual(await city(), { value: 'Brussels', selected: 'ussels', index: 2 });
    await page.type('uss');
    assert.deepEqual(await city(), { value: 'Brussels', selected: 'els', index: 2 });

    // No option matches: the list's selection is cleared, the text stays.
    // An empty field takes the first option, all of it selected, on a key
    // that is not a cursor key.
    await page.eval(() => { document.forms[0].city.value = ''; });
    await page.press('Shift');
    assert.deepEqual(await city(), { value: 'Amsterdam', selected: 'Amsterdam', index: 0 });
    await page.type('x');
    assert.deepEqual(await city(), { value: 'x', selected: '', index: -1 });
  }, { shot: 'autocomplete-test.png' });
});

test('cursor keys and deleting do not complete; forced completion removes what matches nothing', async () => {
  await env.page('autocomplete.hvs', async (page) => {
    const city = () => field(page, 'city', 'cityList');
    await page.click('input[name=city]');
    await page.type('c');
    assert.deepEqual(await city(), { value: 'Copenhagen', selected: 'openhagen', index: 3 });
    await page.press('Backspace');
    assert.deepEqual(await city(), { value: 'C', selected: '', index: 3 });
    // (Up and Down move through the matches with the accessibility layer:
    // a11y.test.js.)
    for (const key of ['Home', 'ArrowRight', 'ArrowLeft', 'End', 'Delete']) {
      await page.press(key);
      assert.equal((await city()).value, 'C', key);
    }
    await page.press('End');
    await page.type('o');
    assert.deepEqual(await city(), { value: 'Copenhagen', selected: 'penhagen', index: 3 });
    // Forced completion against the option values removes a character that matches nothing.
    const code = () => field(page, 'code', 'codeList');
    await page.click('input[name=code]');
    await page.type('b');
    assert.deepEqual(await code(), { value: 'BER', selected: 'ER', index: 1 });
    await page.type('r');
    assert.deepEqual(await code(), { value: 'BRU', selected: 'U', index: 2 });
    await page.type('x');
    assert.deepEqual(await code(), { value: 'BR', selected: '', index: -1 });
    await page.type('q');
    assert.equal((await code()).value, 'BR');
    // The text-linked field beside it is not forced.
    await page.eval(() => { document.forms[0].city.value = ''; });
    await page.click('input[name=city]');
    await page.type('q');
    assert.deepEqual(await field(page, 'city', 'cityList'), { value: 'q', selected: '', index: -1 });
  });
});
