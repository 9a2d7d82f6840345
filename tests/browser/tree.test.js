// Tree in the browser: each menu opens and closes alone, nested menus keep
// their state, collapse-all and expand-all act on every menu, and the
// declared column widths hold.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { suite, clickMenuName, treeColumns } = require('./harness');

const env = suite();

// For each menu number: [open, folder image file name].
const menus = (page) => page.eval(() => Object.fromEntries([1, 2, 3].map((n) => {
  const src = document.getElementById('image_' + n).src;
  return [n, [document.getElementById('table_' + n).rows[1].style.display !== 'none', src.split('/').pop()]];
})));

const OPEN = [true, 'FolderOpen.gif'];
const CLOSED = [false, 'FolderClosed.gif'];
const shown = (page, name) => page.visible({ text: name });

test('tree menus open and close one by one, nested menus keep their state', async () => {
  await env.page('tree.hvs', async (page) => {
    assert.deepEqual(await menus(page), { 1: CLOSED, 2: CLOSED, 3: CLOSED });
    assert.equal(await shown(page, 'Apple'), false);

    await page.click('#image_1');
    assert.deepEqual(await menus(page), { 1: OPEN, 2: CLOSED, 3: CLOSED });
    assert.equal(await shown(page, 'Apple'), true);
    assert.equal(await shown(page, 'Pear'), true);
    assert.equal(await shown(page, 'Lemon'), false);

    // The nested menu opens through its name.
    await clickMenuName(page, 2);
    assert.deepEqual(await menus(page), { 1: OPEN, 2: OPEN, 3: CLOSED });
    assert.equal(await shown(page, 'Lemon'), true);
    assert.equal(await page.attr({ css: '#node3 a', text: 'Lemon' }, 'href'), '#lemon');

    // Closing the outer menu leaves the nested one open inside it.
    await clickMenuName(page, 1);
    assert.deepEqual(await menus(page), { 1: CLOSED, 2: OPEN, 3: CLOSED });
    assert.equal(await shown(page, 'Lemon'), false);
    await page.click('#image_1');
    assert.deepEqual(await menus(page), { 1: OPEN, 2: OPEN, 3: CLOSED });
    assert.equal(await shown(page, 'Lemon'), true);

    await page.click('#image_3');
    assert.deepEqual(await menus(page), { 1: OPEN, 2: OPEN, 3: OPEN });
    await page.click('#image_2');
    assert.deepEqual(await menus(page), { 1: OPEN, 2: CLOSED, 3: OPEN });
  }, { shot: 'tree-test.png' });
});

test('collapse-all and expand-all act on every menu; open menus keep their columns and the hand cursor', async () => {
  await env.page('tree.hvs', async (page) => {
    await page.click('#image_3');
    assert.deepEqual(await menus(page), { 1: CLOSED, 2: CLOSED, 3: OPEN });

    await page.click('#image_plus');
    assert.deepEqual(await menus(page), { 1: OPEN, 2: OPEN, 3: OPEN });
    for (const name of ['Apple', 'Lemon', 'Lime', 'Pear', 'Carrot']) {
      assert.equal(await shown(page, name), true, name);
    }
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

    await page.click('#image_minus');
    assert.deepEqual(await menus(page), { 1: CLOSED, 2: CLOSED, 3: CLOSED });
    assert.equal(await shown(page, 'Carrot'), false);

    // A single menu still toggles after the global controls.
    await page.click('#image_1');
    assert.deepEqual(await menus(page), { 1: OPEN, 2: CLOSED, 3: CLOSED });
    for (const id of ['image_plus', 'image_minus', 'image_1']) {
      assert.equal(await page.style('#' + id, 'cursor'), 'pointer', id);
    }
  });
});
