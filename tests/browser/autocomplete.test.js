// AutoComplete in the browser: typing completes from the select list with the
// tail selected, the matching option is selected, forced completion removes a
// character that matches nothing, cursor keys do not complete.
'use strict';
const { test } = require('node:test');
const { suite } = require('./harness');

const env = suite();

// Value, selected part and the linked list's selected index of the fields
// city and code.
const field = (name) => (page) => page.eval((n) => {
  const f = document.forms[0][n];
  return {
    value: f.value,
    selected: f.value.substring(f.selectionStart, f.selectionEnd),
    index: document.forms[0][n + 'List'].selectedIndex,
  };
}, name);
const reads = { city: field('city'), code: field('code') };
reads.cityValue = async (page) => (await reads.city(page)).value;
reads.codeValue = async (page) => (await reads.code(page)).value;
const STEPS = require('./steps.json').autocomplete;

test('typing completes from the option texts with the tail selected', async () => {
  await env.page('autocomplete.hvs', (page) => page.steps(STEPS.typing, reads), { shot: 'autocomplete-test.png' });
});

// (Up and Down move through the matches with the accessibility layer: a11y.test.js.)
test('cursor keys and deleting do not complete; forced completion removes what matches nothing', async () => {
  await env.page('autocomplete.hvs', (page) => page.steps(STEPS['cursor keys'], reads));
});
