// Runs the calendar's page scripts as a browser would, against a small
// stand-in for the page: elements with an id are globals, document.write
// writes into the element being parsed, forms[0] holds the page's fields and
// window.createPopup gives a popup whose document body and show/hide calls
// are recorded.  The browser's current date is fixed for every test.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const vm = require('node:vm');
const { execFileSync } = require('node:child_process');

const EMIT = process.env.CALENDAR_EMIT;

// The text a Calendar object returns for the given calls, in order.
function emit(activeDate, ...calls) {
  assert.ok(EMIT, 'CALENDAR_EMIT names the program that writes the page');
  return execFileSync(EMIT, [activeDate, ...calls], { encoding: 'latin1' });
}

// Loads `html` into a fresh page whose current date is `today` ([y, m, d],
// m from 1) and runs its scripts in document order.
function loadPage(html, today = [2010, 6, 15]) {
  const page = {
    written: [],
    handled: [],
    popup: { shown: [], hidden: 0, document: { body: { innerHTML: '' } } },
  };
  const ctx = vm.createContext({});
  ctx.window = ctx;
  ctx.parent = ctx;
  ctx.event = { clientX: 100, clientY: 50 };
  ctx.document = { body: { id: 'body' }, forms: [{}], write: null };
  ctx.window.createPopup = () => {
    const p = page.popup;
    return {
      document: p.document,
      show: (...args) => p.shown.push(args),
      hide: () => { p.hidden += 1; },
    };
  };
  ctx.__today = today;
  vm.runInContext(
    'Date = (function (Real) {' +
      ' return class extends Real {' +
      '  constructor(...a) {' +
      '   if (a.length === 0) super(__today[0], __today[1] - 1, __today[2]); else super(...a);' +
      '  }' +
      ' };' +
      '})(Date);',
    ctx);
  page.ctx = ctx;

  // Fields of the page's one form, and the divisions that are globals.
  for (const m of html.matchAll(/<input value="([^"]*)"[^>]*name="([^"]*)">/g)) {
    ctx.document.forms[0][m[2]] = { value: m[1] };
  }
  for (const m of html.matchAll(/<DIV ID="([^"]*)">/g)) {
    ctx[m[1]] = { id: m[1], innerHTML: '' };
    ctx[m[1] + '_OnClick'] = (date) => page.handled.push([m[1], date]);
  }

  const scriptRe = /<script[^>]*>([\s\S]*?)<\/script>/gi;
  for (const m of html.matchAll(scriptRe)) {
    const before = html.slice(0, m.index);
    const open = before.lastIndexOf('<DIV ID="');
    const inside = open >= 0 && before.indexOf('</DIV>', open) < 0;
    const target = inside ? ctx[/<DIV ID="([^"]*)">/.exec(before.slice(open))[1]] : null;
    ctx.document.write = (s) => {
      page.written.push(s);
      if (target) target.innerHTML += s;
    };
    vm.runInContext(m[1], ctx);
  }
  return page;
}

// Runs an onclick attribute's code as the browser runs a handler.
function click(page, code) {
  return vm.runInContext('(function () {' + code + '\n})', page.ctx)();
}

// The parts of one month table: header texts, stepping handlers, weekday
// letters, the 42 day cells and the Today cell's handler.
function parseMonth(html) {
  const header = [...html.matchAll(/<font color=white>([^<]*)<\/font>/g)].map((m) => m[1]);
  const steps = [...html.matchAll(/valign="top" style="font-size:10pt" onclick="([^"]*)">/g)]
    .map((m) => m[1]);
  const letters = [...html.matchAll(/width="20" height=1 valign="top" style="font-size:8pt">([A-Z])<\/td>/g)]
    .map((m) => m[1]);
  const cells = [...html.matchAll(
    /<td STYLE="border:1pt solid #000000; cursor:hand"[^>]*style="font-size:8pt"  ?onclick="([^"]*)" ><font color='([0-9A-F]{6})'>(\d+)<\/font><\/td>/g)]
    .map((m) => ({ onclick: m[1], color: m[2], day: Number(m[3]) }));
  const rows = html.split('<tr>').length - 1;
  const todayCell = /font-size:8pt"\s?onclick="([^"]*)" ?>\[ <font color=white>Today<\/font> \]/.exec(html);
  return { header: header.slice(0, 2), steps, letters, cells, rows, today: todayCell && todayCell[1] };
}

const GREY = 'A1A1A1';
const BLACK = '000000';
const RED = 'FF0000';

// The two calendar forms, each reached as a page would reach it: what a day
// click reports, and how a month table is built and drawn.
const forms = {
  embedded: {
    load: (date, today) => loadPage(emit(date, 'embedded:cal1'), today),
    shown: (page) => page.ctx.cal1.innerHTML,
    build: (page, m, y) => vm.runInContext(`buildCal(${m}, ${y}, 'cal1')`, page.ctx),
    // A day click calls the page's handler with the cell's date text.
    pick: (page, cell) => {
      page.handled.length = 0;
      click(page, cell.onclick);
      assert.equal(page.handled.length, 1);
      return page.handled[0][1];
    },
  },
  popup: {
    // Loads the field and opens the popup with its button.
    load: (date, today) => {
      const html = emit(date, 'popup:d1');
      const page = loadPage(html, today);
      page.button = /<img style="cursor:hand" onclick="([^"]*)"/.exec(html)[1];
      assert.equal(click(page, page.button), false);
      return page;
    },
    shown: (page) => page.popup.document.body.innerHTML,
    build: (page, m, y) => vm.runInContext(`buildPopupCal(${m}, ${y}, 'd1')`, page.ctx),
    // A day click writes the cell's date text into the field and hides the popup.
    pick: (page, cell) => {
      const hidden = page.popup.hidden;
      click(page, cell.onclick);
      assert.equal(page.popup.hidden, hidden + 1);
      return page.ctx.document.forms[0].d1.value;
    },
  },
};

function expectCells(form, page, cells, expected) {
  assert.equal(cells.length, 42);
  cells.forEach((cell, i) => {
    const [date, color] = expected[i];
    assert.equal(cell.day, Number(date.split('/')[1]), `cell ${i}`);
    assert.equal(cell.color, color, `colour of cell ${i} (${date})`);
    assert.equal(form.pick(page, cell), date, `date of cell ${i}`);
  });
}

// Date texts m/d/y for `count` days from day `from` of month m of year y.
function run(m, y, from, count, color) {
  return Array.from({ length: count }, (_, k) => [`${m}/${from + k}/${y}`, color]);
}

for (const [name, form] of Object.entries(forms)) {
  test(`${name}: February 2015 has no leading cells`, () => {
    const page = form.load('2/1/2015');
    const month = parseMonth(form.shown(page));
    assert.deepEqual(month.header, ['Feb', '2015']);
    assert.deepEqual(month.letters, ['S', 'M', 'T', 'W', 'T', 'F', 'S']);
    assert.equal(month.rows, 10);  // header row, inner header row, letters, six weeks, Today
    expectCells(form, page, month.cells, [...run(2, 2015, 1, 28, BLACK), ...run(3, 2015, 1, 14, GREY)]);
  });

  test(`${name}: May 2004 starts in the last column and ends with 5 June`, () => {
    const page = form.load('3/5/2004');
    const month = parseMonth(form.build(page, 5, 2004));
    assert.deepEqual(month.header, ['May', '2004']);
    expectCells(form, page, month.cells,
      [...run(4, 2004, 25, 6, GREY), ...run(5, 2004, 1, 31, BLACK), ...run(6, 2004, 1, 5, GREY)]);
  });

  test(`${name}: January 2004 leads with December 2003 and steps back to it`, () => {
    const page = form.load('1/20/2004');
    const month = parseMonth(form.shown(page));
    assert.deepEqual(month.header, ['Jan', '2004']);
    expectCells(form, page, month.cells,
      [...run(12, 2003, 28, 4, GREY), ...run(1, 2004, 1, 31, BLACK), ...run(2, 2004, 1, 7, GREY)]);
    assert.equal(month.steps.length, 4);
    assert.match(month.steps[0], /Cal\(0, 2004,'(cal1|d1)'\);$/);
    click(page, month.steps[0]);
    const back = parseMonth(form.shown(page));
    assert.deepEqual(back.header, ['Dec', '2003']);
    expectCells(form, page, back.cells,
      [...run(11, 2003, 30, 1, GREY), ...run(12, 2003, 1, 31, BLACK), ...run(1, 2004, 1, 10, GREY)]);
  });

  test(`${name}: March 2004 steps a year forward as month 15`, () => {
    const page = form.load('3/5/2004');
    const month = parseMonth(form.shown(page));
    assert.deepEqual(month.header, ['Mar', '2004']);
    assert.match(month.steps[1], /Cal\(4, 2004,'(cal1|d1)'\);$/);
    assert.match(month.steps[2], /Cal\(-9, 2004,'(cal1|d1)'\);$/);
    assert.match(month.steps[3], /Cal\(15, 2004,'(cal1|d1)'\);$/);
    click(page, month.steps[3]);
    const ahead = parseMonth(form.shown(page));
    assert.deepEqual(ahead.header, ['Mar', '2005']);
    expectCells(form, page, ahead.cells,
      [...run(2, 2005, 27, 2, GREY), ...run(3, 2005, 1, 31, BLACK), ...run(4, 2005, 1, 9, GREY)]);
    // From month 15 the stepping cells keep counting past 12.
    assert.match(parseMonth(form.shown(page)).steps[1], /Cal\(16, 2004,'(cal1|d1)'\);$/);
    click(page, parseMonth(form.shown(page)).steps[2]);
    assert.deepEqual(parseMonth(form.shown(page)).header, ['Mar', '2004']);
  });

  test(`${name}: the current date is red, in a grey cell too`, () => {
    const page = form.load('5/1/2004', [2004, 4, 27]);
    const month = parseMonth(form.build(page, 5, 2004));
    const colours = month.cells.map((c) => c.color);
    assert.deepEqual(colours.slice(0, 7), [GREY, GREY, RED, GREY, GREY, GREY, BLACK]);
    assert.equal(colours.filter((c) => c === RED).length, 1);
  });
}

test('embedded: the Today cell redraws the current month and reports the date', () => {
  const page = forms.embedded.load('1/20/2004', [2004, 3, 5]);
  const month = parseMonth(page.ctx.cal1.innerHTML);
  page.handled.length = 0;
  click(page, month.today);
  assert.deepEqual(parseMonth(page.ctx.cal1.innerHTML).header, ['Mar', '2004']);
  assert.deepEqual(page.handled, [['cal1', '3/5/2004']]);
});

test('embedded: the start script writes the month into its own division', () => {
  const page = loadPage(emit('3/5/2004', 'embedded:a', 'embedded:b'));
  assert.equal(page.written.length, 2);
  assert.equal(page.ctx.a.innerHTML, page.written[0]);
  assert.equal(page.ctx.b.innerHTML, page.written[1]);
  click(page, parseMonth(page.ctx.b.innerHTML).steps[1]);
  assert.deepEqual(parseMonth(page.ctx.b.innerHTML).header, ['Apr', '2004']);
  assert.deepEqual(parseMonth(page.ctx.a.innerHTML).header, ['Mar', '2004']);
});

test('popup: the button opens the active month beside the pointer', () => {
  const page = forms.popup.load('3/5/2004');
  assert.equal(page.ctx.document.forms[0].d1.value, '03/05/2004');
  assert.equal(page.popup.shown.length, 1);
  const [left, top, width, height, anchor] = page.popup.shown[0];
  assert.deepEqual([left, top, width, height], [110, 60, 140, 155]);
  assert.equal(anchor, page.ctx.document.body);
  assert.deepEqual(parseMonth(page.popup.document.body.innerHTML).header, ['Mar', '2004']);
});

test('popup: a chosen day fills the field; the button opens the active month again', () => {
  const page = forms.popup.load('3/5/2004', [2004, 3, 9]);
  const month = parseMonth(page.popup.document.body.innerHTML);
  click(page, month.steps[1]);  // April
  const april = parseMonth(page.popup.document.body.innerHTML);
  assert.deepEqual(april.header, ['Apr', '2004']);
  assert.equal(page.popup.shown.length, 1);  // redrawn in place, still open
  assert.equal(forms.popup.pick(page, april.cells[10]), '4/7/2004');
  click(page, page.button);
  assert.deepEqual(parseMonth(page.popup.document.body.innerHTML).header, ['Mar', '2004']);
  // Today writes the current date and closes the popup without redrawing.
  const hidden = page.popup.hidden;
  click(page, parseMonth(page.popup.document.body.innerHTML).today);
  assert.equal(page.ctx.document.forms[0].d1.value, '3/9/2004');
  assert.equal(page.popup.hidden, hidden + 1);
});

test('one object places an embedded calendar and a popup field in one page', () => {
  const html = emit('3/5/2004', 'embedded:cal1', 'popup:d1', 'popup:d2');
  const page = loadPage(html);
  assert.deepEqual(parseMonth(page.ctx.cal1.innerHTML).header, ['Mar', '2004']);
  const buttons = [...html.matchAll(/<img style="cursor:hand" onclick="([^"]*)"/g)].map((m) => m[1]);
  assert.equal(buttons.length, 2);
  click(page, buttons[1]);
  const month = parseMonth(page.popup.document.body.innerHTML);
  click(page, month.cells[0].onclick);
  assert.equal(page.ctx.document.forms[0].d2.value, '2/29/2004');
  assert.equal(page.ctx.document.forms[0].d1.value, '03/05/2004');
});
