// The browser compatibility script itself: served in front of every HTML
// response, its popups and text ranges, that it leaves alone what the
// browser already has, and which engine gets which of its layout fixes.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { suite, PAGE_SCRIPT, SCRIPT_BLOCK } = require('./harness');

const env = suite();
const EXPECTED = require('./expected.json');

const get = async (urlPath) => Buffer.from(await (await fetch(env.server.url(urlPath))).arrayBuffer());
const file = (name) => fs.readFileSync(path.join(__dirname, 'pages', name));

test('every HTML response starts with the script and the accessibility layer, other files do not', async () => {
  assert.ok((await get('tree.hvs')).toString('latin1').startsWith(PAGE_SCRIPT + '<html><head><title>Tree test'));
  assert.equal((await get('tab0.html')).toString('latin1'), PAGE_SCRIPT + file('tab0.html').toString('latin1'));
  assert.deepEqual(await get('Calendar.gif'), file('Calendar.gif'));
});

test('text ranges: text, moveStart, moveEnd, collapse and select', async () => {
  await env.page('compat.html', async (page) => {
    const r = await page.eval(() => {
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
    assert.deepEqual(r, ['Halvane', 3, 'vane', -2, 'va', 4, '', [2, 6], 'HaLVe', '', -1, 'HaLVe', 'words']);
  });
});

test('a popup is shown relative to an element, one at a time, inside the window', async () => {
  await env.page('compat.html', async (page) => {
    const boxes = () => page.eval(() => [...document.querySelectorAll('iframe[data-halvane-popup]')].map((f) => {
      const r = f.getBoundingClientRect();
      return f.style.display === 'none' ? null : [r.left, r.top, r.width, r.height];
    }));
    await page.eval(() => {
      window.a = window.createPopup();
      window.b = window.createPopup();
      a.document.body.innerHTML = '<b id="x" onclick="parent.hit = (parent.hit || 0) + 1">A</b>';
      a.show(5, 10, 60, 30, document.getElementById('anchor'));
    });
    assert.deepEqual(await boxes(), [[305, 210, 60, 30]]);
    assert.equal(await page.eval(() => a.isOpen), true);
    await page.click({ popup: true, css: '#x' });
    assert.equal(await page.eval(() => hit), 1);
    assert.equal(await page.popupCount(), 1, 'a click inside keeps the popup open');

    // Showing another popup hides the first.
    await page.eval(() => { b.document.body.innerHTML = 'B'; b.show(20, 30, 80, 40, document.body); });
    assert.deepEqual(await boxes(), [null, [20, 30, 80, 40]]);
    assert.deepEqual(await page.eval(() => [a.isOpen, b.isOpen]), [false, true]);

    // Near the window's edge the popup moves inside it.
    await page.eval(() => b.show(990, 690, 80, 40, document.body));
    assert.deepEqual(await boxes(), [null, [920, 660, 80, 40]]);
    await page.eval(() => b.hide());
    assert.equal(await page.popupCount(), 0);
  });
});

test('a popup frame grows to what it shows, also when that changes while it is open', async () => {
  await env.page('compat.html', async (page) => {
    const box = async () => { const b = await page.popup(); return [b.x, b.y, b.width, b.height]; };
    const block = (w, h) => `<div style="width:${w}px;height:${h}px;background:#036"></div>`;
    await page.eval(() => { window.p = window.createPopup(); });
    // Fractions round up: nothing is cut off. Content replaced inside the
    // popup (as its own handlers do) grows it; smaller content gives back
    // the size asked for, never less. At the window's edge the grown popup
    // moves inside the window.
    for (const [w, h, show, want] of EXPECTED['popup growth']) {
      await page.eval((html, at) => {
        p.document.body.innerHTML = html;
        if (at) p.show(at[0], at[1], at[2], at[3], document.body);
      }, block(w, h), show);
      assert.deepEqual(await box(), want, `${w} x ${h}`);
    }
    // An image that loads later makes room for itself.
    await page.eval(() => {
      p.show(10, 10, 20, 20, document.body);
      p.document.body.innerHTML = '<img src="' + location.origin + '/images/menu/dot.gif" width="140" height="3">';
    });
    await page.until(() => document.querySelector('iframe[data-halvane-popup]').getBoundingClientRect().width === 140);
  });
});

// Which layout fixes each engine needs (found with the probes the script
// runs): the progress bar's empty-source images in the engine that draws a
// broken-image icon, the tree's fixed columns in the one that shrinks them,
// and table rows shown as blocks where a row with display "block" would
// leave its table; the hand cursor's style sheet where even a page without
// a document type drops "cursor: hand"; "#" put in front of colours set from
// script where such a page drops "1e4f91". No fix is switched on where it is
// not needed.
const FIXES = EXPECTED['layout fixes'];

test('each layout fix is switched on only in the engine that needs it', async () => {
  await env.page('tree.hvs', async (page) => {
    const on = await page.eval(() => ({
      images: !!document.getElementById('halvane-compat-images'),
      columns: !!document.getElementById('halvane-compat-columns'),
      rows: !!document.getElementById('halvane-compat-rows'),
      hand: !!document.getElementById('halvane-compat-style'),
      colours: (() => {
        for (let p = Object.getPrototypeOf(document.body.style); p; p = Object.getPrototypeOf(p)) {
          const d = Object.getOwnPropertyDescriptor(p, 'backgroundColor');
          if (d) return d.set.name === 'hashedColour';
        }
        return false;
      })(),
    }));
    assert.deepEqual(on, FIXES[env.engine]);
  });
});

test('nothing is defined where the browser has the feature', async () => {
  await env.page('compat.html', async (page) => {
    assert.deepEqual(await page.eval(() => [window.createPopup.name, HTMLInputElement.prototype.createTextRange.name,
      document.compatMode]), ['own', 'own', 'BackCompat']);
  }, {
    script: 'window.createPopup = function own() {};' +
      ' HTMLInputElement.prototype.createTextRange = function own() {};',
  });
});

test('where a page drops the hand cursor, the script shows the pointer instead', async () => {
  // A page in standards mode, with the script after its document type.
  const body = fs.readFileSync(path.join(__dirname, 'standards_page.html'), 'latin1')
    .replace('@SCRIPT_BLOCK@', SCRIPT_BLOCK);
  await env.page('standards.html', async (page) => {
    assert.equal(await page.eval(() => document.compatMode), 'CSS1Compat');
    for (const [id, cursor] of [['inline', 'pointer'], ['second', 'pointer'], ['class', 'pointer'], ['plain', 'auto']]) {
      assert.equal(await page.style('#' + id, 'cursor'), cursor, id);
    }
    // A style block added later is read too.
    await page.eval(() => {
      const s = document.createElement('style');
      s.textContent = '.later { color: red; cursor : hand }';
      document.body.appendChild(s);
    });
    await page.until(() => getComputedStyle(document.getElementById('late')).cursor === 'pointer');
    // Inside a popup as well.
    const inPopup = await page.eval(() => {
      const p = window.createPopup();
      p.document.body.innerHTML = '<b id="b" style="cursor:hand">b</b>';
      p.show(10, 10, 50, 20, document.body);
      return p.document.defaultView.getComputedStyle(p.document.getElementById('b')).cursor;
    });
    assert.equal(inPopup, 'pointer');
  }, { serve: body });
});
