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

// Everything a host puts in front of a page's HTML, as one text: today the
// compatibility script.  Hosts (the web server, language bindings) call this
// rather than naming the scripts one by one.
std::string PageScript();

}  // namespace halvane
