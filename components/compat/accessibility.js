/* Halvane accessibility layer.
 *
 * The components emit markup and script made for the mouse alone. This
 * script runs in the browser after the compatibility script and, without
 * changing what the server sent, gives what the components put in the page
 * (and what their scripts put there later: popup contents, rebuilt months,
 * progress updates) the roles, names, states, focus handling and keys of the
 * WAI-ARIA Authoring Practices patterns:
 *
 *   AutoComplete  combobox with inline completion over its select list
 *   Calendar      focusable button opening a modal date dialog with a grid
 *                 of days; the embedded calendar is the same grid in the page
 *   PopupMenu     Shift+F10 or the context-menu key opens a menu of items
 *   ProgressBar   progressbar whose values follow every update, announced
 *                 politely; the hidden page content is marked busy
 *   Tabs          tablist of tabs over tab panels
 *   Tree          tree of tree items and groups; expand/collapse-all buttons
 *
 * and a visible focus indicator (a black ring with a white one inside or
 * around it, 2 px each) on every part it makes focusable. Keys act by
 * calling what a click calls, so the components' own scripts do the work.
 *
 * It finds the components by the shape of their markup, looks again whenever
 * the document changes, and leaves anything it does not recognise alone.
 */
(function (win, doc) {
  'use strict';

  var MARK = 'data-halvane-a11y';
  var FOCUS = 'data-halvane-focus';
  var FOCUS_RULES =
    '[' + FOCUS + ']:focus { outline: 2px solid #000 !important; outline-offset: 2px !important;' +
    ' box-shadow: 0 0 0 2px #fff !important; }\n' +
    '[' + FOCUS + '="inset"]:focus { outline-offset: -2px !important;' +
    ' box-shadow: inset 0 0 0 4px #fff !important; }\n' +
    '[' + FOCUS + '="none"]:focus { outline: none !important; box-shadow: none !important; }\n' +
    'table[' + FOCUS + '="none"]:focus > tbody > tr:first-child > td:last-child {' +
    ' outline: 2px solid #000; outline-offset: 0; box-shadow: inset 0 0 0 2px #fff; }\n' +
    '[' + MARK + '="live"] { position: absolute !important; width: 1px !important; height: 1px !important;' +
    ' overflow: hidden !important; clip: rect(0 0 0 0) !important; clip-path: inset(50%) !important;' +
    ' white-space: nowrap !important; margin: -1px !important; padding: 0 !important; border: 0 !important; }';

  var KEY = { ENTER: 'Enter', SPACE: ' ', ESC: 'Escape', UP: 'ArrowUp', DOWN: 'ArrowDown', LEFT: 'ArrowLeft',
    RIGHT: 'ArrowRight', HOME: 'Home', END: 'End', PGUP: 'PageUp', PGDN: 'PageDown', TAB: 'Tab' };
  var isKey = function (e, name) { return e.key === name || (name === ' ' && e.key === 'Spacebar'); };
  var activates = function (e) { return isKey(e, KEY.ENTER) || isKey(e, KEY.SPACE); };

  var ids = 0;
  function idOf(el, stem) {
    if (!el.id) el.id = 'halvane-' + stem + '-' + (++ids);
    return el.id;
  }
  function set(el, name, value) {
    if (el.getAttribute(name) !== String(value)) el.setAttribute(name, value);
  }
  function focusable(el, how) {
    if (!el.hasAttribute(FOCUS)) el.setAttribute(FOCUS, how || '');
  }
  function shown(el) {
    return !!el && el.getClientRects().length > 0 &&
      (el.ownerDocument.defaultView || win).getComputedStyle(el).visibility !== 'hidden';
  }
  function text(el) { return (el.textContent || '').replace(/\s+/g, ' ').trim(); }

  // The document's style rules of this layer and its polite announcer.
  function prepare(d) {
    if (d.getElementById('halvane-a11y-style')) return;
    var style = d.createElement('style');
    style.id = 'halvane-a11y-style';
    style.textContent = FOCUS_RULES;
    (d.head || d.documentElement).appendChild(style);
  }
  // One visually hidden polite live region per document, outside the body so
  // that scripts rewriting the body keep it.
  function announce(d, message) {
    var live = d.querySelector('[' + MARK + '="live"]');
    if (!live) {
      live = d.createElement('div');
      live.setAttribute(MARK, 'live');
      live.setAttribute('aria-live', 'polite');
      live.setAttribute('aria-atomic', 'true');
      d.documentElement.appendChild(live);
    }
    // A new text is what gets read; the same message twice needs a change.
    live.textContent = live.textContent === message ? message + '\u00a0' : message;
  }

  // Runs `fn` for the keys pressed on elements matching `test` in `d`.
  function onKeys(d, test, fn) {
    d.addEventListener('keydown', function (e) {
      if (e.defaultPrevented || e.altKey || e.ctrlKey || e.metaKey) return;
      var t = test(e.target);
      if (t && fn(e, t) === true) {
        e.preventDefault();
        e.stopPropagation();
      }
    }, true);
  }

  /* ---- Popups ---------------------------------------------------------------
   * window.createPopup() (from the compatibility script) is wrapped so that
   * every popup remembers where the focus was when it opened, makes what it
   * shows accessible (a date dialog or a menu), moves the focus into it and,
   * when it closes while the focus is in it, gives the focus back.
   */
  var popupKinds = [];
  var openPopup = null;
  if (typeof win.createPopup === 'function') {
    var createPopup = win.createPopup;
    var wrapped = function () {
      var popup = createPopup.apply(this, arguments);
      var show = popup.show;
      var hide = popup.hide;
      var state = { opener: null, observed: null };
      popup.show = function () {
        var was = openPopup;
        if (!was || was.popup !== popup) {
          var active = doc.activeElement;
          state.opener = active && active !== doc.body && !/^I?FRAME$/.test(active.tagName) ? active : null;
        }
        var r = show.apply(this, arguments);
        openPopup = { popup: popup, state: state };
        var d = popup.document;
        var frame = d.defaultView && d.defaultView.frameElement;
        if (!frame || frame.style.display === 'none') return r;
        if (state.observed !== d && win.MutationObserver) {
          state.observed = d;
          new win.MutationObserver(function () { enhancePopup(d, frame, false); })
            .observe(d.body || d.documentElement, { childList: true, subtree: true });
        }
        enhancePopup(d, frame, true);
        return r;
      };
      popup.hide = function () {
        var frame = this._frame;
        var inside = frame && (doc.activeElement === frame || doc.activeElement === doc.body || !doc.activeElement);
        var r = hide.apply(this, arguments);
        if (openPopup && openPopup.popup === popup) openPopup = null;
        var opener = state.opener;
        if (inside && opener && opener.isConnected) {
          try { opener.focus(); } catch (e) { /* the opener went away */ }
        }
        return r;
      };
      return popup;
    };
    // Seen from the page, still the function it had.
    Object.defineProperty(wrapped, 'name', { value: createPopup.name, configurable: true });
    win.createPopup = wrapped;
  }

  // Gives the popup's document its roles and, when it has just opened, the
  // focus.
  function enhancePopup(d, frame, opened) {
    var body = d.body;
    if (!body || frame.style.display === 'none') return;
    prepare(d);
    if (!d.documentElement.lang && doc.documentElement.lang) d.documentElement.lang = doc.documentElement.lang;
    // The page's own rules for its popups (colours it chooses, say): every
    // <style data-halvane-popup-style> of the page applies inside them too.
    var own = [].map.call(doc.querySelectorAll('style[data-halvane-popup-style]'), function (st) {
      return st.textContent;
    }).join('\n');
    var copy = d.getElementById('halvane-a11y-page-style');
    if (own && !copy) {
      copy = d.createElement('style');
      copy.id = 'halvane-a11y-page-style';
      (d.head || d.documentElement).appendChild(copy);
    }
    if (copy && copy.textContent !== own) copy.textContent = own;
    for (var i = 0; i < popupKinds.length; i++) {
      if (popupKinds[i](d, frame, opened)) return;
    }
  }

  // Keeps Tab and Shift+Tab inside the popup's document.
  function trapTab(d, e) {
    var all = [].filter.call(d.querySelectorAll('[tabindex="0"]'), shown);
    if (!all.length) return false;
    var at = all.indexOf(d.activeElement);
    var next = e.shiftKey ? (at <= 0 ? all.length - 1 : at - 1) : (at === -1 || at === all.length - 1 ? 0 : at + 1);
    all[next].focus();
    return true;
  }

  // Moves the focus into a popup frame's element.
  function focusIn(el) {
    var w = el.ownerDocument.defaultView;
    try { if (w && w !== win) w.focus(); } catch (e) { /* not ours */ }
    el.focus();
  }

  // Opens the page's context menu at the focused element, as a right-click
  // there would (the menu's script reads the pointer from the event).
  doc.addEventListener('keydown', function (e) {
    var menuKey = e.key === 'ContextMenu' || (e.shiftKey && e.key === 'F10');
    if (!menuKey || e.defaultPrevented || typeof doc.oncontextmenu !== 'function') return;
    var target = doc.activeElement && doc.activeElement !== doc.documentElement ? doc.activeElement : doc.body;
    var r = target.getBoundingClientRect();
    var x = Math.max(0, Math.round(r.left + Math.min(r.width, 20)));
    var y = Math.max(0, Math.round(r.top + Math.min(r.height, 10)));
    e.preventDefault();
    target.dispatchEvent(new MouseEvent('contextmenu', {
      bubbles: true, cancelable: true, view: win, clientX: x, clientY: y, button: 2 }));
  }, true);

  /* ---- PopupMenu ------------------------------------------------------------
   * The popup shows a copy of the hidden menu table: rows of a title, an item
   * (a cell with an OnClick) or a rule (a cell holding a one-pixel image).
   */
  function menuItems(d) {
    return [].slice.call(d.querySelectorAll('[role="menuitem"]'));
  }
  // Looks at every row each time: the page's hidden menu may have been seen
  // while it was still arriving.
  function enhanceMenuTable(table) {
    table.setAttribute('role', 'menu');
    [].forEach.call(table.tBodies, function (b) { b.setAttribute('role', 'none'); });
    var title = null;
    [].forEach.call(table.rows, function (tr) {
      tr.setAttribute('role', 'none');
      var td = tr.cells[0];
      if (!td) return;
      if (td.hasAttribute('onclick')) {
        td.setAttribute('role', 'menuitem');
        if (!td.hasAttribute('tabindex')) td.setAttribute('tabindex', '-1');
        focusable(td, 'inset');
        [].forEach.call(td.getElementsByTagName('img'), function (img) { img.setAttribute('aria-hidden', 'true'); });
      } else if (td.getElementsByTagName('img').length && !text(td)) {
        td.setAttribute('role', 'separator');
        [].forEach.call(td.getElementsByTagName('img'), function (img) { img.setAttribute('aria-hidden', 'true'); });
      } else {
        td.setAttribute('role', 'none');
        if (!title && text(td)) title = td;
      }
    });
    table.setAttribute('aria-label', title ? text(title) : 'Menu');
  }
  function isMenuDocument(d) {
    var t = d.body && d.body.querySelector('table');
    return !!t && !t.querySelector('table') && !!t.querySelector('td[onclick]') &&
      ![].some.call(t.querySelectorAll('td[onclick]'), function (td) {
        return /oCalPopUp/.test(td.getAttribute('onclick'));
      });
  }
  popupKinds.push(function (d, frame, opened) {
    if (!isMenuDocument(d)) return false;
    enhanceMenuTable(d.body.querySelector('table'));
    d.title = 'Menu';
    frame.setAttribute('title', 'Menu');
    if (!d.__halvaneMenuKeys) {
      d.__halvaneMenuKeys = true;
      var typed = '';
      var typedAt = 0;
      onKeys(d, function (t) { return t.closest ? t.closest('[role="menu"]') || (t === d.body && t) : null; }, function (e) {
        var items = menuItems(d);
        if (!items.length) return false;
        if (!e.key || e.key.length !== 1) typed = '';
        var at = items.indexOf(d.activeElement);
        var go = function (i) { focusIn(items[(i + items.length) % items.length]); return true; };
        if (isKey(e, KEY.DOWN)) return go(at + 1);
        if (isKey(e, KEY.UP)) return go(at < 0 ? -1 : at - 1);
        if (isKey(e, KEY.HOME)) return go(0);
        if (isKey(e, KEY.END)) return go(-1);
        var close = function () {
          var p = openPopup;
          var frame = d.defaultView && d.defaultView.frameElement;
          if (p && p.popup && frame && frame.style.display !== 'none') p.popup.hide();
          return true;
        };
        if (isKey(e, KEY.TAB)) return close();
        if (activates(e) && at >= 0) {
          // The item's own script first, as a click runs it; then the menu
          // closes, as a chosen menu does.
          items[at].click();
          return close();
        }
        if (e.key && e.key.length === 1 && /\S/.test(e.key)) {
          // Typing moves to the next item starting with what was typed; the
          // same letter again moves on to the next such item.
          var now = Date.now();
          typed = (now - typedAt < 700 ? typed : '') + e.key.toLowerCase();
          typedAt = now;
          var same = typed.split('').every(function (c) { return c === typed.charAt(0); });
          var search = same ? typed.charAt(0) : typed;
          var start = same ? at + 1 : Math.max(at, 0);
          for (var k = 0; k < items.length; k++) {
            var i = (start + k) % items.length;
            if (text(items[i]).toLowerCase().indexOf(search) === 0) return go(i);
          }
          return true;
        }
        return false;
      });
    }
    if (opened) {
      var first = menuItems(d)[0];
      if (first) focusIn(first);
    }
    return true;
  });

  /* ---- Calendar -------------------------------------------------------------
   * A month is one table: a row holding the navigation table (previous and
   * next month, the month, previous and next year, the year), a row of day
   * initials, six weeks of day cells and the Today row. Day cells name their
   * date (month/day/year) in their onclick: the popup's write it into the
   * field, the embedded one's call the page's NAME_OnClick.
   */
  var MONTHS = ['January', 'February', 'March', 'April', 'May', 'June', 'July', 'August', 'September',
    'October', 'November', 'December'];
  var SHORT = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];
  var DAYS = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];
  var DATE_IN_CLICK = /'(\d{1,2})\/(\d{1,2})\/(\d{1,4})'/;

  function dateOf(td) {
    var m = DATE_IN_CLICK.exec(td.getAttribute('onclick') || '');
    return m ? { m: +m[1], d: +m[2], y: +m[3] } : null;
  }
  var key = function (x) { return x.m + '/' + x.d + '/' + x.y; };
  function fromTime(t) { return { m: t.getMonth() + 1, d: t.getDate(), y: t.getFullYear() }; }
  function shift(x, days, months) {
    if (months) {
      var last = new Date(x.y, x.m - 1 + months + 1, 0).getDate();
      var t = new Date(x.y, x.m - 1 + months, Math.min(x.d, last));
      t.setFullYear(x.y + Math.floor((x.m - 1 + months) / 12));
      t.setMonth(((x.m - 1 + months) % 12 + 12) % 12);
      return fromTime(t);
    }
    var u = new Date(x.y, x.m - 1, x.d);
    u.setFullYear(x.y);
    u.setDate(u.getDate() + days);
    return fromTime(u);
  }
  function calendarParts(table) {
    var rows = table.rows;
    if (!rows || rows.length < 9) return null;
    var nav = rows[0].cells[0] && rows[0].cells[0].getElementsByTagName('table')[0];
    if (!nav || !nav.rows[0] || nav.rows[0].cells.length !== 7) return null;
    var days = [];
    for (var r = 2; r < 8; r++) {
      for (var c = 0; c < rows[r].cells.length; c++) days.push(rows[r].cells[c]);
    }
    if (days.length !== 42 || !days.every(dateOf)) return null;
    var n = nav.rows[0].cells;
    var month = SHORT.indexOf(text(n[1])) + 1;
    var year = parseInt(text(n[5]), 10);
    return { table: table, nav: nav, prevMonth: n[0], nextMonth: n[2], prevYear: n[4], nextYear: n[6],
      monthCell: n[1], yearCell: n[5], heads: rows[1], weeks: [].slice.call(rows, 2, 8), days: days,
      today: rows[8].cells[0], month: month, year: year };
  }
  function findCalendars(root) {
    var out = [];
    [].forEach.call(root.querySelectorAll('table[cellspacing="1"][height="142"]'), function (t) {
      var p = calendarParts(t);
      if (p) out.push(p);
    });
    return out;
  }
  function monthName(p) { return (MONTHS[p.month - 1] || text(p.monthCell)) + ' ' + p.year; }

  // Roles and names of one month; the focusable day is `focusKey` if shown,
  // else the selected day, else today, else the first of the month.
  function enhanceCalendar(p, selectedKey, focusKey) {
    var t = p.table;
    var d = t.ownerDocument;
    // The grid is the rows of day initials and weeks, in a row group of their
    // own (table layout does not change with the grouping); the navigation
    // and Today rows, which hold buttons, stay outside it.
    var grid = p.heads.parentNode;
    if (grid.getAttribute('role') !== 'grid') {
      var top = grid;
      grid = d.createElement('tbody');
      var bottom = d.createElement('tbody');
      top.parentNode.insertBefore(grid, top.nextSibling);
      top.parentNode.insertBefore(bottom, grid.nextSibling);
      grid.appendChild(p.heads);
      p.weeks.forEach(function (tr) { grid.appendChild(tr); });
      while (top.rows.length > 1) bottom.appendChild(top.rows[1]);
      top.setAttribute('role', 'none');
      bottom.setAttribute('role', 'none');
      grid.setAttribute('role', 'grid');
    }
    t.setAttribute('role', 'none');
    grid.setAttribute('aria-label', monthName(p));
    if (!focusKey) {
      var act = d.activeElement;
      var was = act && t.contains(act) && dateOf(act) ? act : t.querySelector('td[role="gridcell"][tabindex="0"]');
      if (was && dateOf(was)) focusKey = key(dateOf(was));
    }
    t.rows[0].setAttribute('role', 'none');
    t.rows[0].cells[0].setAttribute('role', 'none');
    p.nav.setAttribute('role', 'none');
    p.nav.rows[0].setAttribute('role', 'none');
    [].forEach.call(p.nav.rows[0].cells, function (td) { td.setAttribute('role', 'none'); });
    [[p.prevMonth, 'Previous month'], [p.nextMonth, 'Next month'], [p.prevYear, 'Previous year'],
      [p.nextYear, 'Next year']].forEach(function (b) {
      b[0].setAttribute('role', 'button');
      b[0].setAttribute('aria-label', b[1]);
      b[0].setAttribute('tabindex', '0');
      focusable(b[0], 'inset');
    });
    p.monthCell.setAttribute('aria-hidden', 'true');
    p.yearCell.setAttribute('aria-hidden', 'true');
    p.heads.setAttribute('role', 'row');
    [].forEach.call(p.heads.cells, function (td, i) {
      td.setAttribute('role', 'columnheader');
      td.setAttribute('aria-label', DAYS[i]);
    });
    var today = fromTime(new Date());
    var target = null;
    var keys = p.days.map(function (td) { return key(dateOf(td)); });
    [focusKey, selectedKey, key(today)].some(function (k) {
      var i = k ? keys.indexOf(k) : -1;
      if (i >= 0 && (k !== key(today) || dateOf(p.days[i]).m === p.month)) target = p.days[i];
      return !!target;
    });
    if (!target) target = p.days[keys.indexOf(key({ m: p.month, d: 1, y: p.year }))] || p.days[7];
    p.weeks.forEach(function (tr) { tr.setAttribute('role', 'row'); });
    p.days.forEach(function (td, i) {
      var x = dateOf(td);
      td.setAttribute('role', 'gridcell');
      td.setAttribute('tabindex', td === target ? '0' : '-1');
      td.setAttribute('aria-label', DAYS[i % 7] + ' ' + MONTHS[x.m - 1] + ' ' + x.d + ', ' + x.y);
      if (keys[i] === selectedKey) td.setAttribute('aria-selected', 'true');
      else td.removeAttribute('aria-selected');
      if (keys[i] === key(today)) td.setAttribute('aria-current', 'date');
      focusable(td, 'inset');
    });
    var last = t.rows[8];
    last.setAttribute('role', 'none');
    p.today.setAttribute('role', 'button');
    p.today.setAttribute('aria-label', 'Today, ' + MONTHS[today.m - 1] + ' ' + today.d + ', ' + today.y);
    p.today.setAttribute('tabindex', '0');
    focusable(p.today, 'inset');
    [].forEach.call(t.rows, function (tr, i) {
      if (i > 0 && i < 8) return;
      [].forEach.call(tr.cells, function (td) { if (!td.getAttribute('role')) td.setAttribute('role', 'none'); });
    });
    return target;
  }

  // The keys of a month's grid. `rebuilt()` gives the month shown after a
  // navigation button ran.
  function calendarKeys(e, td, p, rebuilt) {
    var at = dateOf(td);
    var to = null;
    var i = p.days.indexOf(td);
    if (isKey(e, KEY.RIGHT)) to = shift(at, 1);
    else if (isKey(e, KEY.LEFT)) to = shift(at, -1);
    else if (isKey(e, KEY.DOWN)) to = shift(at, 7);
    else if (isKey(e, KEY.UP)) to = shift(at, -7);
    else if (isKey(e, KEY.HOME)) to = shift(at, -(i % 7));
    else if (isKey(e, KEY.END)) to = shift(at, 6 - (i % 7));
    else if (isKey(e, KEY.PGUP)) to = shift(at, 0, e.shiftKey ? -12 : -1);
    else if (isKey(e, KEY.PGDN)) to = shift(at, 0, e.shiftKey ? 12 : 1);
    else if (activates(e)) { td.click(); return true; }
    else return false;
    // Bring the month of the new day into view with the month buttons.
    var months = (to.y - p.year) * 12 + (to.m - p.month);
    var guard = 0;
    while (months !== 0 && guard++ < 240) {
      var button = Math.abs(months) >= 12 ? (months > 0 ? p.nextYear : p.prevYear)
        : (months > 0 ? p.nextMonth : p.prevMonth);
      button.click();
      var q = rebuilt();
      if (!q) return true;
      p = q;
      months = (to.y - p.year) * 12 + (to.m - p.month);
    }
    var cell = null;
    p.days.some(function (c) { if (key(dateOf(c)) === key(to)) cell = c; return !!cell; });
    if (cell) {
      p.days.forEach(function (c) { c.setAttribute('tabindex', c === cell ? '0' : '-1'); });
      focusIn(cell);
    }
    return true;
  }

  // The popup calendar: a modal dialog around the month.
  var lastHeading = new WeakMap();
  popupKinds.push(function (d, frame, opened) {
    var table = d.body.querySelector('table');
    var p = table && calendarParts(table);
    if (!p || !/oCalPopUp/.test(p.days[0].getAttribute('onclick'))) return false;
    var field = null;
    var m = /forms\[0\]\.([^.]+)\.value=/.exec(p.days[0].getAttribute('onclick'));
    if (m && doc.forms[0]) field = doc.forms[0].elements[m[1]] || null;
    var wrap = d.body.firstElementChild;
    if (!wrap || wrap.getAttribute(MARK) !== 'dialog' || wrap.nextSibling) {
      wrap = d.createElement('div');
      wrap.setAttribute(MARK, 'dialog');
      // As wide as the month it holds, so that the popup frame, which grows
      // to what its body shows, still sees the whole month.
      wrap.style.width = 'max-content';
      while (d.body.firstChild) wrap.appendChild(d.body.firstChild);
      d.body.appendChild(wrap);
    }
    wrap.setAttribute('role', 'dialog');
    wrap.setAttribute('aria-modal', 'true');
    wrap.setAttribute('aria-label', 'Choose date');
    d.title = 'Choose date';
    frame.setAttribute('title', 'Choose date');
    var selected = null;
    if (field && /^\d{1,2}\/\d{1,2}\/\d{1,4}$/.test(field.value)) {
      var parts = field.value.split('/');
      selected = key({ m: +parts[0], d: +parts[1], y: +parts[2] });
    }
    d.__halvaneSelected = selected;
    var target = enhanceCalendar(p, selected, null);
    var heading = monthName(p);
    if (lastHeading.get(d) !== heading || opened) {
      lastHeading.set(d, heading);
      announce(d, heading);
    }
    if (!d.__halvaneCalendarKeys) {
      d.__halvaneCalendarKeys = true;
      onKeys(d, function (t) { return t; }, function (e, t) {
        if (isKey(e, KEY.TAB)) return trapTab(d, e);
        var now = d.body.querySelector('table');
        var q = now && calendarParts(now);
        if (!q || !t.closest) return false;
        var cell = t.closest('td');
        // A month button rewrote the popup's body: its roles come back at
        // once, before the focus moves into it.
        var rebuilt = function () {
          var f = d.defaultView && d.defaultView.frameElement;
          if (f) enhancePopup(d, f, false);
          var n = d.body.querySelector('table');
          return n && calendarParts(n);
        };
        if (q.days.indexOf(cell) >= 0) return calendarKeys(e, cell, q, rebuilt);
        if (activates(e) && t.getAttribute && t.getAttribute('role') === 'button') {
          var kind = t === q.today ? null : t;
          t.click();
          if (kind) {
            // Keep the focus on the same button of the rebuilt month.
            var r = rebuilt();
            var which = ['prevMonth', 'nextMonth', 'prevYear', 'nextYear'].filter(function (w) { return q[w] === kind; })[0];
            if (r && which) focusIn(r[which]);
          }
          return true;
        }
        return false;
      });
    }
    if (opened) focusIn(target);
    return true;
  });

  // The calendar button beside a popup date field.
  function enhanceCalendarButton(img) {
    if (img.getAttribute(MARK) === 'button') return;
    img.setAttribute(MARK, 'button');
    img.setAttribute('role', 'button');
    img.setAttribute('tabindex', '0');
    if (!img.getAttribute('aria-label') && !img.getAttribute('aria-labelledby') && !img.getAttribute('alt') &&
        !img.getAttribute('title')) img.setAttribute('aria-label', 'Choose date');
    img.setAttribute('aria-haspopup', 'dialog');
    focusable(img);
  }
  onKeys(doc, function (t) { return t.getAttribute && t.getAttribute(MARK) === 'button' && t; }, function (e, img) {
    if (!activates(e)) return false;
    var r = img.getBoundingClientRect();
    // The button's script places the popup beside the pointer of the click.
    img.dispatchEvent(new MouseEvent('click', { bubbles: true, cancelable: true, view: win,
      clientX: Math.round(r.left), clientY: Math.round(r.bottom) }));
    return true;
  });

  // The embedded calendar: the month grid in the page, inside its DIV.
  function enhanceEmbedded(p) {
    var holder = p.table.parentNode;
    if (!holder || !holder.id) return;
    enhanceCalendar(p, null, null);
    // The month heading is read out when a key changed the month.
    var heading = monthName(p);
    if (holder.__halvaneHeading && holder.__halvaneHeading !== heading && holder.__halvaneActive) announce(doc, heading);
    holder.__halvaneHeading = heading;
    if (!holder.__halvaneKeys) {
      holder.__halvaneKeys = true;
      holder.addEventListener('focusout', function (e) {
        if (e.relatedTarget && !holder.contains(e.relatedTarget)) holder.__halvaneActive = false;
      });
      holder.addEventListener('keydown', function (e) {
        if (e.defaultPrevented || e.altKey || e.ctrlKey || e.metaKey) return;
        var t = holder.querySelector('table');
        var q = t && calendarParts(t);
        var cell = e.target.closest && e.target.closest('td');
        if (!q) return;
        var handled = false;
        var current = function () {
          var n = holder.querySelector('table');
          var r = n && calendarParts(n);
          if (r) enhanceEmbedded(r);
          return r;
        };
        if (q.days.indexOf(cell) >= 0) {
          holder.__halvaneActive = true;
          handled = calendarKeys(e, cell, q, current);
        } else if (activates(e) && cell && cell.getAttribute('role') === 'button') {
          var which = ['prevMonth', 'nextMonth', 'prevYear', 'nextYear'].filter(function (w) { return q[w] === cell; })[0];
          holder.__halvaneActive = true;
          cell.click();
          var r = current();
          if (r && which) focusIn(r[which]);
          handled = true;
        }
        if (handled) {
          e.preventDefault();
          e.stopPropagation();
        }
      });
    }
  }

  /* ---- AutoComplete ---------------------------------------------------------
   * A text field whose onkeyup calls autoComplete(field, list, force,
   * asText): a combobox completing inline from the list, which it names.
   */
  var AUTO = /autoComplete\(\s*this\s*,\s*this\.form\.([^,\s]+)\s*,\s*(\w+)\s*,\s*(\w+)\s*\)/;
  function autoParts(field) {
    var m = AUTO.exec(field.getAttribute('onkeyup') || '');
    if (!m || !field.form) return null;
    var list = field.form.elements[m[1]];
    if (!list || !list.options) return null;
    return { list: list, asText: /^true$/i.test(m[3]) };
  }
  function enhanceAutoComplete(field) {
    var parts = autoParts(field);
    if (!parts) return;
    field.setAttribute('role', 'combobox');
    field.setAttribute('aria-autocomplete', 'both');
    field.setAttribute('aria-controls', idOf(parts.list, 'list'));
    set(field, 'aria-expanded', parts.list.size > 1 || parts.list.multiple ? 'true' : 'false');
    field.setAttribute('autocomplete', 'off');
    focusable(field);
    if (field.__halvaneTyped === undefined) field.__halvaneTyped = field.value;
  }
  // What the person typed: the text before a completion's selection.
  function typedPart(field) {
    var end = field.selectionEnd === field.value.length && field.selectionStart < field.selectionEnd;
    return end ? field.value.substring(0, field.selectionStart) : field.value;
  }
  var swallowUp = null;
  doc.addEventListener('keyup', function (e) {
    if (swallowUp && e.target === swallowUp.target && e.key === swallowUp.key) {
      swallowUp = null;
      e.stopPropagation();
    }
  }, true);
  doc.addEventListener('input', function (e) {
    var f = e.target;
    if (f && f.getAttribute && f.getAttribute('role') === 'combobox' && autoParts(f)) f.__halvaneTyped = typedPart(f);
  }, true);
  // After the page's own keyup has completed the field: announce the match.
  doc.addEventListener('keyup', function (e) {
    var f = e.target;
    if (!f || !f.getAttribute || f.getAttribute('role') !== 'combobox') return;
    if (f.__halvaneSaid !== f.value && f.value !== f.__halvaneTyped && f.value.length > f.__halvaneTyped.length) {
      f.__halvaneSaid = f.value;
      announce(doc, f.value + ', completion');
    }
  });
  onKeys(doc, function (t) { return t.getAttribute && t.getAttribute('role') === 'combobox' && autoParts(t) && t; },
    function (e, field) {
      var parts = autoParts(field);
      var typed = field.__halvaneTyped || '';
      if (isKey(e, KEY.ESC)) {
        if (field.value === typed) return false;
        field.value = typed;
        field.setSelectionRange(typed.length, typed.length);
        var first = matches(parts, typed)[0];
        parts.list.selectedIndex = typed && first !== undefined ? first : -1;
        swallowUp = { target: field, key: e.key };
        announce(doc, typed || 'empty');
        return true;
      }
      if (!isKey(e, KEY.UP) && !isKey(e, KEY.DOWN)) return false;
      var found = matches(parts, typed);
      if (!found.length) return true;
      var now = found.indexOf(parts.list.selectedIndex);
      var next = isKey(e, KEY.DOWN) ? (now + 1) % found.length : (now <= 0 ? found.length - 1 : now - 1);
      var o = parts.list.options[found[next]];
      parts.list.selectedIndex = found[next];
      field.value = parts.asText ? o.text : o.value;
      field.setSelectionRange(Math.min(typed.length, field.value.length), field.value.length);
      swallowUp = { target: field, key: e.key };
      field.__halvaneSaid = field.value;
      announce(doc, field.value + ', ' + (next + 1) + ' of ' + found.length);
      return true;
    });
  function matches(parts, typed) {
    var out = [];
    var t = typed.toUpperCase();
    [].forEach.call(parts.list.options, function (o, i) {
      if ((parts.asText ? o.text : o.value).toUpperCase().indexOf(t) === 0) out.push(i);
    });
    return out;
  }

  /* ---- ProgressBar ----------------------------------------------------------
   * div#progress holds the 100 cells and the percentage (td#Display); the
   * page content follows in div#page, hidden while the bar runs.
   */
  function enhanceProgress(bar) {
    var display = doc.getElementById('Display');
    if (!display || !bar.contains(display)) return;
    if (!bar.hasAttribute('role')) {
      bar.setAttribute('role', 'progressbar');
      if (!bar.getAttribute('aria-label') && !bar.getAttribute('aria-labelledby')) bar.setAttribute('aria-label', 'Progress');
      bar.setAttribute('aria-valuemin', '0');
      bar.setAttribute('aria-valuemax', '100');
      if (win.MutationObserver) {
        new win.MutationObserver(function () { progressValue(bar, display); })
          .observe(display, { childList: true, subtree: true, characterData: true });
      }
    }
    // The cells may arrive after the bar's start.
    var cells = doc.getElementById('progress1');
    if (cells && cells.parentNode) set(cells.parentNode, 'aria-hidden', 'true');
    progressValue(bar, display);
  }
  var said = { step: -1, at: 0 };
  function progressValue(bar, display) {
    var n = parseInt(text(display), 10);
    if (isNaN(n)) return;
    set(bar, 'aria-valuenow', n);
    set(bar, 'aria-valuetext', n + '%');
    // Politely, and not on every step: each tenth, at most once a second,
    // and always at the end.
    var step = Math.floor(n / 10);
    var now = Date.now();
    if (step !== said.step && (n === 100 || now - said.at >= 1000)) {
      said.step = step;
      said.at = now;
      announce(doc, n === 100 ? 'Progress 100%, done' : 'Progress ' + n + '%');
    }
  }
  function enhancePage(page) {
    var hidden = page.style.display === 'none';
    set(page, 'aria-busy', hidden ? 'true' : 'false');
    if (!page.__halvaneWatched && win.MutationObserver) {
      page.__halvaneWatched = true;
      new win.MutationObserver(function () { enhancePage(page); })
        .observe(page, { attributes: true, attributeFilter: ['style'] });
    }
  }

  /* ---- Tabs -----------------------------------------------------------------
   * div.tab#p1tabN over div.panel#p1panelN, the front pair with the highest
   * z-index.
   * The tabs move into one tablist element placed after the panels, which
   * keeps how they are drawn (they are placed absolutely, and each stays
   * after the panels in the stacking order).
   */
  function tabParts() {
    var tabs = [].filter.call(doc.querySelectorAll('div.tab[id^="p1tab"]'), function (t) {
      return /^p1tab\d+$/.test(t.id) && /selectTab\(/.test(t.getAttribute('onclick') || '');
    });
    return tabs;
  }
  // The front tab is the one with the highest z-index (the first written at
  // first, the one selectTab raised after).
  function syncTabs(list) {
    var tabs = [].slice.call(list.children);
    var focused = tabs.indexOf(doc.activeElement);
    var top = null;
    tabs.forEach(function (tab) {
      if (!top || (parseInt(tab.style.zIndex, 10) || 0) > (parseInt(top.style.zIndex, 10) || 0)) top = tab;
    });
    tabs.forEach(function (tab) {
      var panel = doc.getElementById('p1panel' + tab.id.slice(5));
      var front = tab === top;
      set(tab, 'aria-selected', front ? 'true' : 'false');
      if (focused < 0) set(tab, 'tabindex', front ? '0' : '-1');
      if (panel) {
        if (front) panel.removeAttribute('inert');
        else if (!panel.hasAttribute('inert')) panel.setAttribute('inert', '');
        if (!front && !('inert' in panel)) set(panel, 'aria-hidden', 'true');
        else panel.removeAttribute('aria-hidden');
      }
    });
    if (!tabs.some(function (t) { return t.getAttribute('tabindex') === '0'; }) && tabs[0]) tabs[0].setAttribute('tabindex', '0');
  }
  function enhanceTabs() {
    var tabs = tabParts();
    if (!tabs.length) return;
    var wrap = tabs[0].parentNode;
    var list = wrap.getAttribute && wrap.getAttribute('role') === 'tablist' ? wrap : null;
    if (!list) {
      list = doc.createElement('div');
      list.setAttribute('role', 'tablist');
      list.setAttribute(MARK, 'tablist');
      list.setAttribute('aria-label', 'Tabs');
      wrap.appendChild(list);
      if (win.MutationObserver) {
        new win.MutationObserver(function () { syncTabs(list); })
          .observe(list, { attributes: true, subtree: true, attributeFilter: ['style'] });
      }
      list.addEventListener('keydown', function (e) {
        if (e.defaultPrevented || e.altKey || e.ctrlKey || e.metaKey) return;
        var all = [].filter.call(list.children, shown);
        var at = all.indexOf(e.target);
        if (at < 0) return;
        var to = -1;
        if (isKey(e, KEY.RIGHT)) to = (at + 1) % all.length;
        else if (isKey(e, KEY.LEFT)) to = (at - 1 + all.length) % all.length;
        else if (isKey(e, KEY.HOME)) to = 0;
        else if (isKey(e, KEY.END)) to = all.length - 1;
        else if (activates(e)) { e.target.click(); syncTabs(list); }
        else return;
        if (to >= 0) {
          all.forEach(function (t, i) { t.setAttribute('tabindex', i === to ? '0' : '-1'); });
          all[to].focus();
        }
        e.preventDefault();
      });
      list.addEventListener('focusout', function (e) {
        if (!e.relatedTarget || !list.contains(e.relatedTarget)) setTimeout(function () { syncTabs(list); }, 0);
      });
    }
    tabs.forEach(function (tab) {
      if (tab.parentNode !== list) {
        list.appendChild(tab);
      }
      var n = tab.id.slice(5);
      var panel = doc.getElementById('p1panel' + n);
      tab.setAttribute('role', 'tab');
      focusable(tab);
      if (panel) {
        tab.setAttribute('aria-controls', panel.id);
        panel.setAttribute('role', 'tabpanel');
        panel.setAttribute('aria-labelledby', tab.id);
        var frame = panel.getElementsByTagName('iframe')[0];
        if (frame && !frame.getAttribute('title')) frame.setAttribute('title', text(tab));
      }
    });
    // Nothing else goes after the tablist, so the tabs stay drawn last.
    if (list.nextSibling && list.parentNode === wrap) wrap.appendChild(list);
    syncTabs(list);
  }

  /* ---- Tree -----------------------------------------------------------------
   * A menu is table#table_N: the heading row (folder image, link) and the
   * content row, shown or hidden, whose second cell holds the menu's nodes
   * and menus. A node is a one-row table whose cell #nodeN holds its link.
   * Runs of tree tables side by side go into one tree element.
   */
  function isMenu(t) { return /^table_\d+$/.test(t.id) && t.rows.length === 2 && !!doc.getElementById('image_' + t.id.slice(6)); }
  function isNode(t) {
    return t.tagName === 'TABLE' && t.rows.length === 1 && t.rows[0].cells.length === 2 &&
      /^node\d+$/.test(t.rows[0].cells[1].id || '') && !!t.rows[0].cells[1].querySelector('a');
  }
  function isTreeTable(el) { return el && el.tagName === 'TABLE' && (isMenu(el) || isNode(el)); }
  function treeItem(t) {
    return isMenu(t) ? t : t.rows[0].cells[1].querySelector('a');
  }
  function menuOpen(t) { return t.rows[1].style.display !== 'none'; }
  function contentCell(t) { return t.rows[1].cells[1]; }
  function enhanceTreeTable(t) {
    if (isMenu(t)) {
      var n = t.id.slice(6);
      t.setAttribute('role', 'treeitem');
      focusable(t, 'none');
      if (!t.hasAttribute('tabindex')) t.setAttribute('tabindex', '-1');
      var head = t.rows[0];
      head.setAttribute('aria-hidden', 'true');
      var heading = doc.getElementById('tblHeading' + n);
      if (heading) t.setAttribute('aria-labelledby', idOf(heading, 'heading'));
      [].forEach.call(head.querySelectorAll('a'), function (a) { a.setAttribute('tabindex', '-1'); });
      [].forEach.call(t.tBodies, function (b) { b.setAttribute('role', 'none'); });
      t.rows[1].setAttribute('role', 'none');
      t.rows[1].cells[0].setAttribute('role', 'none');
      contentCell(t).setAttribute('role', 'group');
      set(t, 'aria-expanded', menuOpen(t) ? 'true' : 'false');
    } else {
      t.setAttribute('role', 'none');
      [].forEach.call(t.tBodies, function (b) { b.setAttribute('role', 'none'); });
      t.rows[0].setAttribute('role', 'none');
      var icon = t.rows[0].cells[0];
      icon.setAttribute('role', 'none');
      t.rows[0].cells[1].setAttribute('role', 'none');
      [].forEach.call(icon.querySelectorAll('a'), function (a) {
        a.setAttribute('tabindex', '-1');
        a.setAttribute('aria-hidden', 'true');
      });
      var link = treeItem(t);
      link.setAttribute('role', 'treeitem');
      focusable(link);
      if (!link.hasAttribute('tabindex')) link.setAttribute('tabindex', '-1');
    }
  }
  // The tree tables directly under `el` (a tree or a menu's content cell).
  function childTables(el) {
    return [].filter.call(el.children, isTreeTable);
  }
  function visibleItems(tree) {
    var out = [];
    (function walk(el) {
      childTables(el).forEach(function (t) {
        out.push(treeItem(t));
        if (isMenu(t) && menuOpen(t)) walk(contentCell(t));
      });
    })(tree);
    return out;
  }
  function tableOf(item) { return item.tagName === 'TABLE' ? item : item.closest('table'); }
  function syncTree(tree) {
    var items = [];
    (function walk(el) {
      childTables(el).forEach(function (t) {
        items.push(treeItem(t));
        if (isMenu(t)) {
          set(t, 'aria-expanded', menuOpen(t) ? 'true' : 'false');
          walk(contentCell(t));
        }
      });
    })(tree);
    var visible = visibleItems(tree);
    var current = items.filter(function (i) { return i.getAttribute('tabindex') === '0'; })[0];
    if (!current || visible.indexOf(current) < 0) {
      var keep = current && visible.filter(function (v) { return tableOf(v) && tableOf(v).contains(current); }).pop();
      current = keep || visible[0];
    }
    items.forEach(function (i) { set(i, 'tabindex', i === current ? '0' : '-1'); });
    return current;
  }
  function treeKeys(tree, e) {
    var items = visibleItems(tree);
    var item = e.target;
    var at = items.indexOf(item);
    if (at < 0) return false;
    var t = tableOf(item);
    var menu = isMenu(t) ? t : null;
    var parentMenu = tableOf(t.parentNode.closest('td') || tree) || null;
    if (parentMenu && !tree.contains(parentMenu)) parentMenu = null;
    var go = function (el) {
      if (!el) return true;
      items.forEach(function (i) { set(i, 'tabindex', i === el ? '0' : '-1'); });
      el.focus();
      return true;
    };
    var toggle = function (m) {
      var img = doc.getElementById('image_' + m.id.slice(6));
      if (img) img.click();
      syncTree(tree);
    };
    if (isKey(e, KEY.DOWN)) return go(items[at + 1]);
    if (isKey(e, KEY.UP)) return go(items[at - 1]);
    if (isKey(e, KEY.HOME)) return go(items[0]);
    if (isKey(e, KEY.END)) return go(items[items.length - 1]);
    if (isKey(e, KEY.RIGHT)) {
      if (!menu) return true;
      if (!menuOpen(menu)) { toggle(menu); return true; }
      return go(childTables(contentCell(menu)).map(treeItem)[0]);
    }
    if (isKey(e, KEY.LEFT)) {
      if (menu && menuOpen(menu)) { toggle(menu); return go(menu); }
      return go(parentMenu && isMenu(parentMenu) ? parentMenu : null);
    }
    if (isKey(e, KEY.ENTER)) {
      if (menu) toggle(menu);
      else item.click();
      return true;
    }
    if (e.key === '*') {
      var siblings = childTables(t.parentNode).filter(isMenu);
      siblings.forEach(function (m) { if (!menuOpen(m)) toggle(m); });
      return go(item);
    }
    return false;
  }
  function enhanceTrees() {
    var tables = [].filter.call(doc.querySelectorAll('table'), isTreeTable);
    tables.forEach(function (t) {
      var owner = t.parentNode;
      var inMenu = owner && owner.tagName === 'TD' && owner.parentNode && owner.parentNode.parentNode &&
        isTreeTable(owner.closest('table'));
      if (!inMenu && !(owner.getAttribute && owner.getAttribute('role') === 'tree')) {
        // A run of tree tables side by side (blank text between) becomes one
        // tree, placed where the first of them was.
        var prev = t.previousElementSibling;
        var tree = prev && prev.getAttribute('role') === 'tree' && onlyBlankBetween(prev, t) ? prev : null;
        if (!tree) {
          tree = doc.createElement('div');
          tree.setAttribute('role', 'tree');
          tree.setAttribute(MARK, 'tree');
          tree.setAttribute('aria-label', 'Tree');
          owner.insertBefore(tree, t);
          tree.addEventListener('keydown', function (e) {
            if (e.defaultPrevented || e.altKey || e.ctrlKey || e.metaKey) return;
            if (treeKeys(tree, e)) {
              e.preventDefault();
              e.stopPropagation();
            }
          });
          if (win.MutationObserver) {
            new win.MutationObserver(function () { syncTree(tree); })
              .observe(tree, { attributes: true, subtree: true, attributeFilter: ['style'] });
          }
        }
        while (tree.nextSibling && tree.nextSibling !== t) tree.appendChild(tree.nextSibling);
        tree.appendChild(t);
      }
      enhanceTreeTable(t);
    });
    [].forEach.call(doc.querySelectorAll('[role="tree"][' + MARK + '="tree"]'), syncTree);
    ['image_minus', 'image_plus'].forEach(function (id) {
      var img = doc.getElementById(id);
      if (!img || !/expandOrCollapse\(/.test(img.getAttribute('onclick') || '')) return;
      img.setAttribute('role', 'button');
      img.setAttribute('tabindex', '0');
      img.setAttribute(MARK, 'press');
      focusable(img);
    });
  }
  function onlyBlankBetween(a, b) {
    for (var n = a.nextSibling; n && n !== b; n = n.nextSibling) {
      if (n.nodeType === 1 || (n.nodeType === 3 && /\S/.test(n.nodeValue.replace(/\u00a0/g, 'x')))) return false;
    }
    return true;
  }
  onKeys(doc, function (t) { return t.getAttribute && t.getAttribute(MARK) === 'press' && t; }, function (e, img) {
    if (!activates(e)) return false;
    img.click();
    return true;
  });

  /* ---- Looking for components ----------------------------------------------- */
  function scan() {
    pending = false;
    prepare(doc);
    [].forEach.call(doc.querySelectorAll('input[onkeyup*="autoComplete("]'), enhanceAutoComplete);
    [].forEach.call(doc.querySelectorAll('img[onclick*="calContextMenu(buildPopupCal("]'), enhanceCalendarButton);
    findCalendars(doc).forEach(function (p) {
      if (/_OnClick\(/.test(p.days[0].getAttribute('onclick'))) enhanceEmbedded(p);
    });
    var menu = doc.getElementById('oContextHTML');
    var menuTable = menu && menu.querySelector('table');
    if (menuTable && menuTable.querySelector('td[onclick]')) enhanceMenuTable(menuTable);
    var bar = doc.getElementById('progress');
    if (bar && bar.tagName === 'DIV') enhanceProgress(bar);
    var page = doc.getElementById('page');
    if (page && page.tagName === 'DIV' && bar) enhancePage(page);
    enhanceTabs();
    enhanceTrees();
  }
  var pending = false;
  function later() {
    if (pending) return;
    pending = true;
    win.setTimeout(scan, 0);
  }
  if (win.MutationObserver) {
    new win.MutationObserver(function (records) {
      for (var i = 0; i < records.length; i++) {
        var t = records[i].target;
        // What this layer adds itself does not call for another look.
        if (t.nodeType === 1 && t.hasAttribute(MARK) && t.getAttribute(MARK) === 'live') continue;
        later();
        return;
      }
    }).observe(doc, { childList: true, subtree: true });
  }
  doc.addEventListener('DOMContentLoaded', scan);
  win.addEventListener('load', scan);
})(window, document);
