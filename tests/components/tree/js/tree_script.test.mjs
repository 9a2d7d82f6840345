// Runs the page script a Tree emits against a small stand-in for the
// browser's document, built from the page the Tree wrote: menu tables with
// their rows, images with ids and sources resolved against the page address,
// document.all by id and document.images in page order.  Clicks are played
// by running the handler text found in the markup.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';

const PAGE_ADDRESS = 'http://example.test/site/page.asp';

function writePage(variant) {
  const tool = process.env.TREE_SCRIPT_PAGE;
  assert.ok(tool, 'TREE_SCRIPT_PAGE names the page writer');
  return execFileSync(tool, [variant], { encoding: 'latin1' });
}

function parseAttributes(text) {
  const attrs = {};
  const re = /([A-Za-z_:-]+)(?:\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>"']+)))?/g;
  for (const m of text.matchAll(re)) {
    attrs[m[1].toLowerCase()] = m[2] ?? m[3] ?? m[4] ?? '';
  }
  return attrs;
}

// The document stand-in: just what the tree script and its handlers touch.
function buildDocument(html) {
  const all = {};
  const images = [];
  const tables = [];
  const links = [];
  const open = [];
  const tagRe = /<(\/?)([A-Za-z]+)((?:[^>"']|"[^"]*"|'[^']*')*)>/g;
  for (const m of html.matchAll(tagRe)) {
    const closing = m[1] === '/';
    const tag = m[2].toLowerCase();
    const attrs = parseAttributes(m[3]);
    if (tag === 'table') {
      if (closing) {
        open.pop();
        continue;
      }
      const table = { id: attrs.id, rows: [] };
      open.push(table);
      tables.push(table);
      if (attrs.id) all[attrs.id] = table;
    } else if (tag === 'tr' && !closing) {
      const display = /display\s*:\s*none/.test(attrs.style ?? '') ? 'none' : '';
      open[open.length - 1].rows.push({ style: { display } });
    } else if (tag === 'img') {
      let src = '';
      const image = {
        id: attrs.id ?? '',
        attrs,
        get src() { return src; },
        // The browser reports the resolved address of whatever is assigned.
        set src(value) { src = new URL(value, PAGE_ADDRESS).href; },
      };
      image.src = attrs.src;
      images.push(image);
      if (attrs.id) all[attrs.id] = image;
    } else if (tag === 'a' && !closing) {
      links.push({ attrs });
    }
  }
  assert.equal(open.length, 0, 'every table is closed');
  return { all, images, tables, links };
}

// Loads the page: the one script block is run with the stand-in as its
// document; `run` executes handler text in the script's scope.
function loadPage(variant) {
  const html = writePage(variant);
  const scripts = [...html.matchAll(/<script language="JavaScript">([\s\S]*?)<\/Script>/g)];
  assert.equal(scripts.length, 1, 'the page holds the script once');
  assert.equal(html.match(/<script/gi).length, 1);
  const document = buildDocument(html);
  const run = new Function('document', `${scripts[0][1]}\nreturn (code) => eval(code);`)(document);
  return { html, document, run };
}

const menuIds = ['1', '2', '3'];

function isOpen(document, n, openText) {
  const row = document.all[`table_${n}`].rows[1].style.display;
  const image = document.all[`image_${n}`].src;
  if (row === 'block') {
    assert.ok(image.includes(openText), `image_${n} shows the open folder: ${image}`);
    return true;
  }
  assert.equal(row, 'none', `table_${n} content row`);
  assert.ok(!image.includes(openText), `image_${n} shows the closed folder: ${image}`);
  return false;
}

function states(document, openText) {
  return menuIds.map((n) => isOpen(document, n, openText));
}

const variants = [
  { name: 'default', open: '/images/icons/FolderOpen.gif', shut: '/images/icons/FolderClosed.gif' },
  { name: 'relative', open: 'img/open.gif', shut: 'img/shut.gif' },
];

for (const v of variants) {
  test(`${v.name} paths: every menu starts closed`, () => {
    const { document } = loadPage(v.name);
    assert.deepEqual(states(document, v.open), [false, false, false]);
    assert.ok(document.all.image_1.src.endsWith(v.shut));
  });

  test(`${v.name} paths: changeTableRow toggles one menu`, () => {
    const { document, run } = loadPage(v.name);
    // A click on the nested menu's folder image.
    const click = document.all.image_2.attrs.onclick;
    assert.equal(click, "changeTableRow('image_2', 'table_2')");
    run(click);
    assert.deepEqual(states(document, v.open), [false, true, false]);
    assert.equal(document.all.image_2.src, new URL(v.open, PAGE_ADDRESS).href);
    run(click);
    assert.deepEqual(states(document, v.open), [false, false, false]);
    assert.equal(document.all.image_2.src, new URL(v.shut, PAGE_ADDRESS).href);

    // The menu name's link does the same for its own menu.
    const link = document.links.find(
      (e) => e.attrs.href === "javascript:changeTableRow('image_3', 'table_3')");
    assert.ok(link, 'menu C has a heading link');
    run(link.attrs.href.slice('javascript:'.length));
    assert.deepEqual(states(document, v.open), [false, false, true]);
  });

  test(`${v.name} paths: expandOrCollapse(1) opens all, (0) closes all`, () => {
    const { document, run } = loadPage(v.name);
    const minus = document.all.image_minus;
    const plus = document.all.image_plus;
    const doc = document.images.find((i) => i.src.endsWith('/images/doc.gif'));
    assert.ok(doc, 'the node image is on the page');
    const before = [minus.src, plus.src, doc.src];

    run(document.all.image_1.attrs.onclick);
    assert.deepEqual(states(document, v.open), [true, false, false]);

    assert.equal(plus.attrs.onclick, 'expandOrCollapse(1);');
    run(plus.attrs.onclick);
    assert.deepEqual(states(document, v.open), [true, true, true]);

    assert.equal(minus.attrs.onclick, 'expandOrCollapse(0);');
    run(minus.attrs.onclick);
    assert.deepEqual(states(document, v.open), [false, false, false]);

    // Images that are not folder images are left alone.
    assert.deepEqual([minus.src, plus.src, doc.src], before);
    // Node tables are not menus: their rows are untouched.
    for (const t of document.tables.filter((t) => !t.id)) {
      assert.deepEqual(t.rows.map((r) => r.style.display), ['']);
    }
  });
}
