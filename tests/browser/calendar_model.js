// The month grid a calendar shows, worked out independently of the page: six
// weeks from Sunday to Saturday, starting with the week of the 1st.
'use strict';
const assert = require('node:assert/strict');

const MONTHS = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];

// What the page's calendar table shows: header texts and the 42 day cells
// with their date text (from the click handler), number and colour.
// `root` is the element holding the calendar table.
function readCalendar(root) {
  const table = root.querySelector('table');
  const header = [...table.rows[0].querySelectorAll('font')].map((f) => f.textContent);
  const letters = [...table.rows[1].cells].map((c) => c.textContent);
  const days = [];
  for (let r = 2; r < 8; r++) {
    for (const cell of table.rows[r].cells) {
      const m = /'(\d+\/\d+\/\d+)'/.exec(cell.getAttribute('onclick'));
      const font = cell.querySelector('font');
      days.push({ date: m ? m[1] : null, text: font.textContent, color: font.getAttribute('color') });
    }
  }
  const today = table.rows[8].cells[0].textContent;
  return { header, letters, days, today, rows: table.rows.length };
}

// The cells expected for a month (1..12): black days of the month, grey
// neighbours, red for `todayText`.
function expectedDays(month, year, todayText) {
  const first = new Date(Date.UTC(year, month - 1, 1));
  return [...Array(42).keys()].map((k) => {
    const d = new Date(first.getTime() + (k - first.getUTCDay()) * 86400000);
    const date = `${d.getUTCMonth() + 1}/${d.getUTCDate()}/${d.getUTCFullYear()}`;
    const color = date === todayText ? 'FF0000' : d.getUTCMonth() === month - 1 ? '000000' : 'A1A1A1';
    return { date, text: String(d.getUTCDate()), color };
  });
}

// Checks that a calendar as readCalendar gives it shows the month of `header`
// ([short name, year]) and that month's days.
function assertMonth(cal, header, todayText) {
  assert.deepEqual(cal.header, header);
  assert.deepEqual(cal.days, expectedDays(MONTHS.indexOf(header[0]) + 1, Number(header[1]), todayText));
}

module.exports = { MONTHS, assertMonth, readCalendar };
