/* Halvane browser compatibility.
 *
 * The client code that the components emit is written for an older browser
 * object model. Today's browsers still offer most of it (the global event,
 * document.all, element ids as global names), but not all. This script
 * supplies the missing pieces, each one only where the browser lacks it:
 *
 *   window.createPopup()      popup windows for the popup calendar and the
 *                             context menu
 *   input.createTextRange()   the text ranges that AutoComplete completes with
 *   cursor:hand               shown as cursor: pointer
 *   display "block" on rows   keeps a shown table row a row
 *   empty-source images       the progress bar's cells paint no broken-image
 *                             icon over their colour
 *   colours without "#"       set from script, as the progress bar does
 *   fixed-width tree columns  the tree's 20 px columns keep their width
 *
 * and makes every popup frame at least as large as what it shows.
 *
 * It must run before any component output, so a host puts it at the very
 * start of the page.
 */
(function (win, doc) {
  'use strict';

  var SHEET_ID = 'halvane-compat-style';

  /* ---- The hand cursor ------------------------------------------------------
   * Browsers that do not know "cursor:hand" drop the declaration (some still
   * take it in a page without a document type). Where a document drops it, a
   * style sheet of our own gives the same elements the pointer: attribute
   * selectors catch inline style attributes, and every rule of the page's own
   * style blocks that asks for the hand is copied with cursor: pointer.
   */
  function dropsHand(d) {
    var probe = d.createElement('span');
    probe.style.cssText = 'cursor: hand';
    return probe.style.cursor === '';
  }
  var needHand = dropsHand(doc);
  var HAND_ATTRIBUTE_RULE =
    '[style*="cursor:hand" i], [style*="cursor: hand" i] { cursor: pointer; }';

  function addSheet(d, text) {
    var style = d.createElement('style');
    style.id = SHEET_ID;
    style.textContent = text;
    (d.head || d.documentElement).appendChild(style);
    return style;
  }

  // The selectors of the rules in `css` that set the hand cursor.
  function handSelectors(css) {
    var found = [];
    // Comments, and the markup comment brackets that old pages wrap their
    // style text in (spelt in pieces, as the bracket itself would change
    // how the page parses this script).
    var body = css.replace(/\/\*[\s\S]*?\*\//g, '').replace(new RegExp('<' + '!--|--' + '>', 'g'), '');
    var rule = /([^{}]+)\{([^{}]*)\}/g;
    var m;
    while ((m = rule.exec(body)) !== null) {
      if (/(^|[;\s])cursor\s*:\s*hand\s*(;|!|$)/i.test(m[2])) {
        var selector = m[1].slice(m[1].lastIndexOf(';') + 1).trim();
        if (selector && selector.charAt(0) !== '@') found.push(selector);
      }
    }
    return found;
  }

  if (needHand) {
    var sheet = addSheet(doc, HAND_ATTRIBUTE_RULE);
    var copied = {};
    var scanStyle = function (el) {
      if (el.id.indexOf('halvane-compat') === 0) return;
      handSelectors(el.textContent || '').forEach(function (selector) {
        if (copied[selector]) return;
        copied[selector] = true;
        try {
          sheet.sheet.insertRule(selector + ' { cursor: pointer; }', sheet.sheet.cssRules.length);
        } catch (e) {
          // A selector this browser does not understand: leave it alone.
        }
      });
    };
    var scanNode = function (node) {
      if (node.nodeType === 1) {
        if (node.tagName === 'STYLE') {
          scanStyle(node);
        } else if (node.getElementsByTagName) {
          var inner = node.getElementsByTagName('style');
          for (var i = 0; i < inner.length; i++) scanStyle(inner[i]);
        }
      } else if (node.nodeType === 3 && node.parentNode && node.parentNode.tagName === 'STYLE') {
        scanStyle(node.parentNode);
      }
    };
    if (win.MutationObserver) {
      new win.MutationObserver(function (records) {
        for (var r = 0; r < records.length; r++) {
          var rec = records[r];
          if (rec.type === 'characterData') {
            scanNode(rec.target);
          } else {
            for (var k = 0; k < rec.addedNodes.length; k++) scanNode(rec.addedNodes[k]);
          }
        }
      }).observe(doc, { childList: true, subtree: true, characterData: true });
    }
    doc.addEventListener('DOMContentLoaded', function () { scanNode(doc.documentElement); });
  }

  /* ---- Table rows shown with display "block" --------------------------------
   * The old model shows a hidden table row again with display "block" and
   * keeps it a row. Today's browsers lay such a row out as a block, outside
   * the table's columns. Where they do, rows and cells whose style says
   * display: block keep their table display.
   */
  var rowProbe = function () {
    var table = doc.createElement('table');
    var row = table.insertRow(0);
    row.style.display = 'block';
    doc.documentElement.appendChild(table);
    var shown = win.getComputedStyle(row).display;
    doc.documentElement.removeChild(table);
    return shown;
  };
  if (win.getComputedStyle && rowProbe() === 'block') {
    var rowStyle = addSheet(doc,
      'tr[style*="display: block" i], tr[style*="display:block" i] { display: table-row !important; }\n' +
      'td[style*="display: block" i], td[style*="display:block" i],' +
      ' th[style*="display: block" i], th[style*="display:block" i] { display: table-cell !important; }');
    rowStyle.id = 'halvane-compat-rows';
  }

  /* ---- Images without a source --------------------------------------------
   * The progress bar draws each of its cells as a sized image with an empty
   * source inside a span whose background is the bar's colour. An engine that
   * draws an icon for an image it cannot show paints that icon over the whole
   * cell, and the colour never shows. Such engines offer a style property to
   * force that icon; where it exists, those images are hidden (they keep
   * their size, so the bar keeps its shape).
   */
  var drawsBrokenIcon = !!(win.CSS && win.CSS.supports &&
    win.CSS.supports('-moz-force-broken-image-icon', '0'));
  if (drawsBrokenIcon) {
    addSheet(doc, 'span[id^="progress"] > img[src=""] { visibility: hidden; }').id = 'halvane-compat-images';
  }

  /* ---- Colours without "#" ---------------------------------------------------
   * The progress bar sets its cells' background to its colour as six hex
   * digits without "#", which a page without a document type takes as a
   * colour. One engine drops such a colour when it reads as a number (a
   * digit, "e", digits: "1e4f91"), and the bar stays empty. Where a page in
   * that mode drops it, setting a colour property from script puts the "#"
   * in front of six hex digits.
   */
  var dropsHashless = function () {
    var probe = doc.createElement('span');
    probe.style.backgroundColor = '1e4f91';
    return doc.compatMode === 'BackCompat' && probe.style.backgroundColor === '';
  };
  if (dropsHashless()) {
    var styleProto = Object.getPrototypeOf(doc.createElement('span').style);
    ['backgroundColor', 'color'].forEach(function (name) {
      var proto = styleProto;
      var desc;
      while (proto && !(desc = Object.getOwnPropertyDescriptor(proto, name))) proto = Object.getPrototypeOf(proto);
      if (!desc || !desc.set || !desc.configurable) return;
      Object.defineProperty(proto, name, {
        get: desc.get,
        set: function hashedColour(value) {
          desc.set.call(this, typeof value === 'string' && /^[0-9a-f]{6}$/i.test(value) ? '#' + value : value);
        },
        enumerable: desc.enumerable,
        configurable: true
      });
    });
  }

  /* ---- The tree's fixed columns ---------------------------------------------
   * The tree lays each menu and node out in a table (one pixel wide, or the
   * tree's width with a 100% cell beside) whose first column is declared 20
   * pixels wide (the folder icon, and the indent of what lies under it). Some
   * engines give such a column only the width of its content (16 pixels for
   * an icon, none when empty), so icons touch their labels and each level
   * indents less. Where a probe table shows this, an empty block of
   * 20 pixels at the end of those cells makes their content that wide.
   */
  var columnProbe = function () {
    var table = doc.createElement('table');
    table.setAttribute('border', '0');
    table.setAttribute('width', '1');
    table.setAttribute('cellpadding', '0');
    table.setAttribute('cellspacing', '1');
    var row = table.insertRow(0);
    var icon = row.insertCell(0);
    icon.setAttribute('width', '20');
    icon.noWrap = true;
    row.insertCell(1).appendChild(doc.createTextNode('x'));
    doc.documentElement.appendChild(table);
    var width = icon.getBoundingClientRect().width;
    doc.documentElement.removeChild(table);
    return width;
  };
  if (win.getComputedStyle && columnProbe() < 20) {
    addSheet(doc, 'table[border="0"][cellpadding="0"][cellspacing="1"] > tbody > tr > ' +
      'td[colspan="1"][width="20"]::after { content: ""; display: block; width: 20px; height: 0; }')
      .id = 'halvane-compat-columns';
  }

  /* ---- Popup windows --------------------------------------------------------
   * window.createPopup() returns an object with its own document and
   * show(x, y, width, height, element) / hide(). Here the popup is an inline
   * frame laid over the page: its document is separate from the page's, as a
   * popup's is, and window.parent inside it is the page, so handlers in the
   * popup's markup reach the page's functions and forms through parent.
   * A mouse press anywhere outside the popup closes it, as does Escape, or the
   * focus moving to another frame or window. One popup is open at a time.
   */
  if (typeof win.createPopup !== 'function') {
    var openPopup = null;

    // A popup is a small window of its own: no margins, no scroll bars, and
    // a small sans-serif type (tables included, which would otherwise go
    // back to the medium size) so that markup made for its size fits in it.
    var POPUP_DOCUMENT_RULES =
      'html, body { margin: 0; padding: 0; overflow: hidden; background: #fff; }\n' +
      'body, table { font-family: sans-serif; font-size: 8pt; }';

    var Popup = function () {
      this._frame = null;
    };

    var onEscape = function (e) {
      if ((e.key === 'Escape' || e.keyCode === 27) && openPopup) openPopup.hide();
    };

    // The frame and its document, made on first use and again if the page
    // has removed the frame.
    Popup.prototype._document = function () {
      var f = this._frame;
      if (!f || !f.isConnected) {
        f = doc.createElement('iframe');
        f.setAttribute('data-halvane-popup', '');
        f.setAttribute('frameborder', '0');
        f.setAttribute('scrolling', 'no');
        f.setAttribute('title', 'popup');
        f.tabIndex = -1;
        f.style.cssText =
          'position: fixed; display: none; left: 0; top: 0; width: 0; height: 0;' +
          ' margin: 0; padding: 0; border: 0; background: #fff; z-index: 2147483647;';
        (doc.body || doc.documentElement).appendChild(f);
        this._frame = f;
      }
      var d = f.contentDocument;
      if (!d.documentElement) d.appendChild(d.createElement('html'));
      if (!d.head) d.documentElement.insertBefore(d.createElement('head'), d.documentElement.firstChild);
      if (!d.body) d.documentElement.appendChild(d.createElement('body'));
      if (!d.getElementById(SHEET_ID)) {
        addSheet(d, POPUP_DOCUMENT_RULES + (dropsHand(d) ? '\n' + HAND_ATTRIBUTE_RULE : ''));
        d.addEventListener('keydown', onEscape);
        // New content, and images that finish loading, may need more room.
        var self = this;
        var refit = function () { self._fit(); };
        if (win.MutationObserver) {
          new win.MutationObserver(refit).observe(d, { childList: true, subtree: true, characterData: true });
        }
        d.addEventListener('load', refit, true);
      }
      return d;
    };

    Object.defineProperty(Popup.prototype, 'document', {
      get: function () { return this._document(); }
    });

    Object.defineProperty(Popup.prototype, 'isOpen', {
      get: function () { return !!this._frame && this._frame.style.display !== 'none'; }
    });

    // x and y are taken relative to the top left corner of `element`; the
    // page's body (or no element) stands for the window's client area.
    Popup.prototype.show = function (x, y, width, height, element) {
      this._document();
      if (openPopup && openPopup !== this) openPopup.hide();
      var left = Number(x) || 0;
      var top = Number(y) || 0;
      var w = Math.max(0, Number(width) || 0);
      var h = Math.max(0, Number(height) || 0);
      if (element && element !== doc.body && element !== doc.documentElement &&
          element.getBoundingClientRect) {
        var r = element.getBoundingClientRect();
        left += r.left;
        top += r.top;
      }
      this._asked = { left: left, top: top, width: w, height: h };
      this._frame.style.display = 'block';
      openPopup = this;
      this._fit();
    };

    // Places the frame where it was asked for, at the size asked for or at
    // the size of what it shows where that is larger: an engine may round
    // the cells of a table up past the size its markup was made for, and a
    // popup's handlers may write larger content into it while it is open.
    // The frame never cuts its content off.
    Popup.prototype._fit = function () {
      var f = this._frame;
      var asked = this._asked;
      if (!f || !asked || f.style.display === 'none') return;
      var w = asked.width;
      var h = asked.height;
      var d = f.contentDocument;
      if (d && d.body && d.createRange) {
        var range = d.createRange();
        range.selectNodeContents(d.body);
        var r = range.getBoundingClientRect();
        w = Math.max(w, Math.ceil(r.right));
        h = Math.max(h, Math.ceil(r.bottom));
      }
      // Keep the popup inside the window where it fits, so that it is never
      // cut off at the right or bottom edge.
      var s = f.style;
      s.left = Math.max(0, Math.min(asked.left, win.innerWidth - w)) + 'px';
      s.top = Math.max(0, Math.min(asked.top, win.innerHeight - h)) + 'px';
      s.width = w + 'px';
      s.height = h + 'px';
    };

    Popup.prototype.hide = function () {
      var f = this._frame;
      if (!f) return;
      f.style.display = 'none';
      if (openPopup === this) openPopup = null;
      if (doc.activeElement === f) {
        f.blur();
        win.focus();
      }
    };

    doc.addEventListener('mousedown', function () {
      if (openPopup) openPopup.hide();
    }, true);
    doc.addEventListener('keydown', onEscape, true);
    win.addEventListener('blur', function () {
      // Once the focus has settled: the window lost it altogether, or another
      // frame of the page took it. Focus moving into the popup keeps it open.
      win.setTimeout(function () {
        if (!openPopup) return;
        var active = doc.activeElement;
        if (active === openPopup._frame) return;
        if (!doc.hasFocus() || (active && /^I?FRAME$/.test(active.tagName))) openPopup.hide();
      }, 0);
    });

    Object.defineProperty(win, 'createPopup', {
      value: function () { return new Popup(); },
      writable: true,
      configurable: true
    });
  }

  /* ---- Text ranges on text fields -------------------------------------------
   * field.createTextRange() returns a range over the field's whole text with
   * the text property, moveStart/moveEnd by characters, collapse and select;
   * select() sets the field's selection with setSelectionRange.
   */
  var TextRange = function (field) {
    this._field = field;
    this._start = 0;
    this._end = String(field.value).length;
  };
  TextRange.prototype._clamp = function () {
    var len = String(this._field.value).length;
    this._start = Math.max(0, Math.min(this._start, len));
    this._end = Math.max(this._start, Math.min(this._end, len));
  };
  // Moves one end by `count` units (default 1) and returns how far it moved;
  // "character" steps by characters, "textedit" goes to the start or end of
  // the field. Other units are not supported and move nothing.
  TextRange.prototype._move = function (which, unit, count) {
    var len = String(this._field.value).length;
    var n = count === undefined ? 1 : Math.trunc(Number(count)) || 0;
    var key = which === 'start' ? '_start' : '_end';
    var from = Math.max(0, Math.min(this[key], len));
    var u = String(unit).toLowerCase();
    var to;
    if (u === 'character') to = from + n;
    else if (u === 'textedit') to = n < 0 ? 0 : len;
    else return 0;
    to = Math.max(0, Math.min(to, len));
    this[key] = to;
    if (this._start > this._end) {
      if (which === 'start') this._end = this._start;
      else this._start = this._end;
    }
    if (u === 'character') return to - from;
    return to === from ? 0 : (n < 0 ? -1 : 1);
  };
  TextRange.prototype.moveStart = function (unit, count) { return this._move('start', unit, count); };
  TextRange.prototype.moveEnd = function (unit, count) { return this._move('end', unit, count); };
  TextRange.prototype.collapse = function (toStart) {
    if (toStart === undefined || toStart) this._end = this._start;
    else this._start = this._end;
  };
  TextRange.prototype.select = function () {
    this._clamp();
    try {
      this._field.setSelectionRange(this._start, this._end);
    } catch (e) {
      // A field kind without a text selection (a checkbox, say).
    }
  };
  Object.defineProperty(TextRange.prototype, 'text', {
    get: function () {
      this._clamp();
      return String(this._field.value).substring(this._start, this._end);
    },
    set: function (value) {
      this._clamp();
      var v = String(this._field.value);
      var s = String(value);
      this._field.value = v.substring(0, this._start) + s + v.substring(this._end);
      this._end = this._start + s.length;
    }
  });

  [win.HTMLInputElement, win.HTMLTextAreaElement].forEach(function (type) {
    var proto = type && type.prototype;
    if (!proto || 'createTextRange' in proto) return;
    Object.defineProperty(proto, 'createTextRange', {
      value: function () { return new TextRange(this); },
      writable: true,
      configurable: true
    });
  });
})(window, document);
