// The browser compatibility script itself: served in front of every HTML
// response, its popups and text ranges, and that it leaves alone what the
// browser already has.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { suite, popupCount } = require('./harness');

const env = suite();
const SCRIPT_BLOCK = '<script>\r\n' +
  fs.readFileSync(path.join(__dirname, '..', '..', 'components', 'compat', 'browser_compat.js'), 'utf8')
    .replace(/\r/g, '').replace(/\n/g, '\r\n') + '</script>\r\n';

async function get(urlPath) {
  const res = await fetch(env.server.url(urlPath));
  return { type: res.headers.get('content-type'), body: Buffer.from(await res.arrayBuffer()) };
}

test('every HTML response starts with the script, other files do not', async () => {
  const page = await get('tree.hvs');
  assert.match(page.type, /^text\/html/);
  assert.equal(page.body.subarray(0, SCRIPT_BLOCK.length).toString('latin1'), SCRIPT_BLOCK);
  assert.ok(page.body.subarray(SCRIPT_BLOCK.length).toString('latin1').startsWith('<html><head><title>Tree test'));

  const html = await get('tab0.html');
  assert.equal(html.body.toString('latin1'),
    SCRIPT_BLOCK + fs.readFileSync(path.join(__dirname, 'pages', 'tab0.html'), 'latin1'));

  const image = await get('Calendar.gif');
  assert.deepEqual(image.body, fs.readFileSync(path.join(__dirname, 'pages', 'Calendar.gif')));
});

test('text ranges: text, moveStart, moveEnd, collapse and select', async () => {
  await env.page('compat.html', async (page) => {
    const r = await page.evaluate(() => {
      const f = document.forms[0].word;
      const out = [];
      const range = f.createTextRange();
      out.push(range.text);
      out.push(range.moveStart('character', 3), range.text);
      out.push(range.moveEnd('character', -2), range.text);
      out.push(range.moveStart('character', 99), range.text);
      const whole = f.createTextRange();
      whole.moveStart('character', 2);
      whole.moveEnd('character', -1);
      f.focus();
      whole.select();
      out.push([f.selectionStart, f.selectionEnd]);
      whole.text = 'LV';
      out.push(f.value);
      const end = f.createTextRange();
      end.collapse(false);
      out.push(end.text, end.moveStart('textedit', -1), end.text);
      const notes = document.forms[0].notes.createTextRange();
      notes.moveStart('character', 4);
      out.push(notes.text);
      return out;
    });
    assert.deepEqual(r, [
      'Halvane',
      3, 'vane',
      -2, 'va',
      4, '',
      [2, 6],
      'HaLVe',
      '', -1, 'HaLVe',
      'words',
    ]);
  });
});

test('a popup is shown relative to an element, one at a time, inside the window', async () => {
  await env.page('compat.html', async (page) => {
    const boxes = async () => page.$$eval('iframe[data-halvane-popup]', (fs) => fs.map((f) => {
      const r = f.getBoundingClientRect();
      return f.style.display === 'none' ? null : [r.left, r.top, r.width, r.height];
    }));
    await page.evaluate(() => {
      window.a = window.createPopup();
      window.b = window.createPopup();
      a.document.body.innerHTML = '<b id="x" onclick="parent.hit = (parent.hit || 0) + 1">A</b>';
      a.show(5, 10, 60, 30, document.getElementById('anchor'));
    });
    assert.deepEqual(await boxes(), [[305, 210, 60, 30]]);
    assert.equal(await page.evaluate(() => a.isOpen), true);
    await page.frameLocator('iframe[data-halvane-popup]').locator('#x').click();
    assert.equal(await page.evaluate(() => hit), 1);
    assert.equal(await popupCount(page), 1, 'a click inside keeps the popup open');

    // Showing another popup hides the first.
    await page.evaluate(() => { b.document.body.innerHTML = 'B'; b.show(20, 30, 80, 40, document.body); });
    assert.deepEqual(await boxes(), [null, [20, 30, 80, 40]]);
    assert.deepEqual(await page.evaluate(() => [a.isOpen, b.isOpen]), [false, true]);

    // Near the window's edge the popup moves inside it.
    await page.evaluate(() => b.show(990, 690, 80, 40, document.body));
    assert.deepEqual(await boxes(), [null, [920, 660, 80, 40]]);
    await page.evaluate(() => b.hide());
    assert.equal(await popupCount(page), 0);
  });
});

test('nothing is defined where the browser has the feature', async () => {
  await env.page('compat.html', async (page) => {
    assert.deepEqual(await page.evaluate(() => [
      window.createPopup.name, HTMLInputElement.prototype.createTextRange.name]), ['own', 'own']);
    // A page without a document type is in quirks mode, where Chromium takes
    // the hand cursor itself: no style sheet is added.
    assert.equal(await page.evaluate(() => document.compatMode), 'BackCompat');
    assert.equal(await page.evaluate(() => !!document.getElementById('halvane-compat-style')), false);
  }, {
    before: (page) => page.addInitScript(() => {
      window.createPopup = function own() {};
      HTMLInputElement.prototype.createTextRange = function own() {};
    }),
  });
});

test('where a page drops the hand cursor, the script shows the pointer instead', async () => {
  // A page in standards mode, with the script after its document type.
  const body = '<!DOCTYPE html><html><head>' + SCRIPT_BLOCK +
    '<style type="text/css">\r\n<!--\r\n.tab {\r\ncursor: hand; font-weight: bold;\r\n}\r\n-->\r\n</style>' +
    '</head><body>' +
    '<span id="inline" style="cursor:hand">inline</span> ' +
    '<span id="second" STYLE="border:1pt solid #000000; cursor:hand">second</span> ' +
    '<span id="class" class="tab">class</span> <span id="late" class="later">late</span> ' +
    '<span id="plain">plain</span></body></html>';
  await env.page('standards.html', async (page) => {
    const cursor = (id) => page.$eval('#' + id, (e) => getComputedStyle(e).cursor);
    assert.equal(await page.evaluate(() => document.compatMode), 'CSS1Compat');
    assert.equal(await cursor('inline'), 'pointer');
    assert.equal(await cursor('second'), 'pointer');
    assert.equal(await cursor('class'), 'pointer');
    assert.equal(await cursor('plain'), 'auto');
    // A style block added later is read too.
    await page.evaluate(() => {
      const s = document.createElement('style');
      s.textContent = '.later { color: red; cursor : hand }';
      document.body.appendChild(s);
    });
    await page.waitForFunction(() => getComputedStyle(document.getElementById('late')).cursor === 'pointer');
    // Inside a popup as well.
    const inPopup = await page.evaluate(() => {
      const p = window.createPopup();
      p.document.body.innerHTML = '<b id="b" style="cursor:hand">b</b>';
      p.show(10, 10, 50, 20, document.body);
      return p.document.defaultView.getComputedStyle(p.document.getElementById('b')).cursor;
    });
    assert.equal(inPopup, 'pointer');
  }, {
    before: (page) => page.route(/\/standards\.html$/, (route) =>
      route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body })),
  });
});
