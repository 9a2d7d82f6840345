// The progress bar in the browser: a streamed page advances the cells and the
// percentage as its chunks arrive, HideOutput hides and reveals the page
// content, the bar goes on load when asked, and its filled cells show its
// colour on screen.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { barState, suite } = require('./harness');

const env = suite();

const [GREEN, WHITE] = ['0,128,0', '255,255,255'];

// The colour on screen in the middle of each of the 100 cells, as "r,g,b".
async function onScreen(page) {
  const points = await page.eval(() => {
    const out = [];
    for (let i = 1; i <= 100; i++) {
      const r = document.querySelector('#progress' + i + ' img').getBoundingClientRect();
      out.push([Math.floor(r.left + r.width / 2), Math.floor(r.top + r.height / 2)]);
    }
    return out;
  });
  const image = await page.image();
  return points.map(([x, y]) => image.pixel(x, y).join(','));
}

test('the streamed page advances the bar as chunks arrive with the content hidden, then reveals it', async () => {
  await env.page('progress.hvs', async (page) => {
    // Sample the bar while the response is still streaming in.
    const seen = [];
    const deadline = performance.now() + 8000;
    for (;;) {
      const s = await page.eval(barState).catch(() => null);
      if (s && s.text !== null) {
        const last = seen[seen.length - 1];
        if (!last || last.text !== s.text || last.loading !== s.loading) seen.push(s);
        if (!s.loading) break;
      }
      assert.ok(performance.now() < deadline, 'the page finished loading in time');
      await new Promise((r) => setTimeout(r, 20));
    }
    const whileLoading = seen.filter((s) => s.loading);
    // The steps 11, 29, 57, 58 and 100 of 100 in the browser's arithmetic:
    // 100 / (100 / 11) is just below 11, and (29 / 100) * 100 just below 29.
    const steps = [['0 %', 0], ['10 %', 10], ['28 %', 29], ['56 %', 57], ['57 %', 58], ['100 %', 100]];
    const texts = whileLoading.map((s) => s.text.replace(/\u00a0/g, ' '));
    assert.ok(texts.length >= 4, `saw several steps while loading: ${texts}`);
    assert.deepEqual(texts, steps.map(([t]) => t).filter((t) => texts.includes(t)), 'steps in order');
    for (const s of whileLoading) {
      const text = s.text.replace(/\u00a0/g, ' ');
      // The cells of the step, filled from the first; the content hidden while working.
      assert.deepEqual([s.filled, s.contiguous, s.pageShown, s.contentSeen, s.barShown],
        [new Map(steps).get(text), true, false, false, true], `at ${text}`);
      if (s.filled) assert.deepEqual(s.colours, ['rgb(0, 0, 255)']);
    }
    // On load the bar goes and the content is revealed.
    await page.until(() => getComputedStyle(document.getElementById('progress')).display === 'none');
    const end = await page.eval(barState);
    assert.deepEqual([end.pageShown, end.contentSeen, end.filled], [true, true, 100]);
    assert.equal(await page.visible('#content'), true);
    assert.equal(await page.visible('#Display'), false);
  }, { wait: 'commit' });
});

test('a bar that is not hidden after load, over content that is never hidden', async () => {
  await env.page('progress_plain.hvs', async (page) => {
    const s = await page.eval(barState);
    assert.deepEqual([s.barShown, s.pageShown, s.contentSeen, s.filled, s.colours, s.text.replace(/\u00a0/g, ' ')],
      [true, true, true, 100, ['rgb(0, 128, 0)'], '100 %']);
    // 11 of 250 was drawn first: 100 / (250 / 11) gives 4 cells.
    assert.deepEqual(await onScreen(page), Array(100).fill(GREEN), 'every cell green on screen');
    await page.eval(() => progress_update(11));
    const t = await page.eval(barState);
    assert.deepEqual([t.filled, t.text.replace(/\u00a0/g, ' ')], [4, '4 %']);
    // What a person sees: the four filled cells in the bar's colour, the
    // rest in the page's white.
    const seen = await onScreen(page);
    assert.deepEqual(seen.slice(0, 4), Array(4).fill(GREEN));
    assert.deepEqual([...new Set(seen.slice(4))], [WHITE]);
    // A colour of six digits without "#" that reads like a number, as the
    // page's script holds it, set after load, still fills the bar.
    await page.eval(() => { progressColor = '1e4f91'; progress_update(125); });
    const again = await onScreen(page);
    assert.deepEqual(again.slice(0, 50), Array(50).fill('30,79,145'));
    assert.deepEqual([...new Set(again.slice(50))], [WHITE]);
  }, { shot: 'progress-test.png' });
});
