// Writes the page a Calendar object produces for the script tests:
//   calendar_emit ACTIVE-DATE [embedded:NAME | popup:NAME]...
// sets ActiveDate on one object (whose clock is fixed, so nothing depends on
// today), makes the calls in order and writes their results one after the
// other to standard output, exactly as a page would receive them.
#include <cstdio>
#include <string>
#include <string_view>

#include "components/calendar/calendar.h"
#include "core/error.h"
#include "core/variant.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ACTIVE-DATE embedded:NAME|popup:NAME...\n", argv[0]);
    return 2;
  }
  try {
    halvane::Calendar cal([] { return 46360.0; });  // 4 December 2026
    cal.ActiveDate(halvane::Variant(argv[1]));
    std::string page;
    for (int i = 2; i < argc; ++i) {
      const std::string_view arg = argv[i];
      const std::size_t colon = arg.find(':');
      const std::string_view kind = arg.substr(0, colon);
      const halvane::Variant name(colon == std::string_view::npos ? std::string_view() : arg.substr(colon + 1));
      if (kind == "embedded") {
        page += cal.DisplayEmbedded(name);
      } else if (kind == "popup") {
        page += cal.DisplayPopup(name);
      } else {
        std::fprintf(stderr, "unknown call %s\n", argv[i]);
        return 2;
      }
    }
    std::fwrite(page.data(), 1, page.size(), stdout);
    return 0;
  } catch (const halvane::Error& e) {
    std::fprintf(stderr, "error %d (%s): %s\n", static_cast<int>(e.Number()), e.Source().c_str(),
                 e.Description().c_str());
    return 1;
  }
}
