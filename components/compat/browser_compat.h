// The browser compatibility script: supplies window.createPopup, text ranges
// on text fields and the hand cursor where the browser lacks them, so that the
// components' client code runs in today's browsers.
#pragma once

#include <string>

namespace halvane {

// The script as one <script> block, every line ended by CR LF.  A host puts it
// at the very start of a page, before any component output.  The text is
// components/compat/browser_compat.js, embedded when the library is built.
std::string BrowserCompatScript();

// The accessibility layer as one <script> block, every line ended by CR LF:
// roles, states, names, focus handling and keys for what the components emit
// (components/compat/accessibility.js).  It needs the compatibility script in
// front of it and changes none of the components' output.
std::string AccessibilityScript();

// Everything a host puts in front of a page's HTML, as one text: the
// compatibility script, then the accessibility layer unless `accessible` is
// false.  Hosts (the web server, language bindings) call this rather than
// naming the scripts one by one.
std::string PageScript(bool accessible = true);

}  // namespace halvane
