// Tree in the browser: each menu opens and closes alone, nested menus keep
// their state, collapse-all and expand-all act on every menu, and the
// declared column widths hold.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, treeColumns } = require('./harness');

const env = suite();

// The step tables of steps.json read, for menus 1, 2 and 3, [open, folder
// image file name]; whether the node of each name is shown; Lemon's link.
const STEPS = require('./steps.json').tree;
const reads = {
  menus: (page) => page.eval(() => [1, 2, 3].map((n) => [
    document.getElementById('table_' + n).rows[1].style.display !== 'none',
    document.getElementById('image_' + n).src.split('/').pop()])),
  lemonLink: (page) => page.attr({ css: '#node3 a', text: 'Lemon' }, 'href'),
};
for (const name of ['Apple', 'Lemon', 'Lime', 'Pear', 'Carrot']) reads[name] = (page) => page.visible({ text: name });

test('tree menus open and close one by one, nested menus keep their state', async () => {
  await env.page('tree.hvs', (page) => page.steps(STEPS['one by one'], reads), { shot: 'tree-test.png' });
});

test('collapse-all and expand-all act on every menu; open menus keep their columns and the hand cursor', async () => {
  await env.page('tree.hvs', async (page) => {
    await page.steps(STEPS['expand all'], reads);
    // Opened menus keep their table layout and the declared 20 pixel columns.
    // The folder images change on opening: measure once they have loaded.
    await page.until(() => [...document.images].every((i) => i.complete));
    const layout = await page.eval(() => [1, 2, 3].map((n) => {
      const row = document.getElementById('table_' + n).rows[1];
      return [getComputedStyle(row).display,
        Math.round(row.cells[1].getBoundingClientRect().left -
          document.getElementById('tblHeading' + n).getBoundingClientRect().left)];
    }));
    assert.deepEqual(layout, [['table-row', 0], ['table-row', 0], ['table-row', 0]]);
    // Every icon and indent column 20 pixels wide, icons apart from labels.
    const { cells, gaps } = await page.eval(treeColumns);
    assert.equal(cells.length, 8);
    assert.deepEqual(cells, cells.map(() => 20));
    assert.deepEqual(gaps, [3, 3, 3]);
    // Each level indents by the column and the cell spacing.
    const indent = await page.eval(() => ['image_1', 'image_2'].map((id) =>
      Math.round(document.getElementById(id).getBoundingClientRect().left)));
    assert.equal(indent[1] - indent[0], 22);

    await page.steps(STEPS['collapse all'], reads);
    for (const id of ['image_plus', 'image_minus', 'image_1']) {
      assert.equal(await page.style('#' + id, 'cursor'), 'pointer', id);
    }
  });
});
