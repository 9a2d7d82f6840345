// GUIDs of the C interface: comparison, the text form of the class table,
// and the table's identifiers parsed once.
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "server/com_internal.h"

namespace halvane::com {

bool ParseGuid(std::string_view text, GUID& g) {
  if (text.size() != 36) return false;
  std::array<std::uint8_t, 16> b{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      continue;
    }
    const char c = text[i];
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else
      return false;
    if (n % 2 == 0)
      b[n / 2] = static_cast<std::uint8_t>(v << 4);
    else
      b[n / 2] = static_cast<std::uint8_t>(b[n / 2] | v);
    ++n;
  }
  g.Data1 = static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
            static_cast<std::uint32_t>(b[2]) << 8 | b[3];
  g.Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
  g.Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  return true;
}

namespace {
struct AllGuids {
  std::array<ClassGuids, 6> classes{};
  GUID libid{};
  AllGuids() {
    const auto table = halvane::Classes();
    for (std::size_t i = 0; i < table.size() && i < classes.size(); ++i) {
      ParseGuid(table[i].clsid, classes[i].clsid);
      ParseGuid(table[i].iid, classes[i].iid);
    }
    ParseGuid(halvane::Library().libid, libid);
  }
};
const AllGuids& Guids() {
  static const AllGuids g;
  return g;
}
}  // namespace

std::size_t IndexOf(const ClassInfo& cls) { return static_cast<std::size_t>(&cls - halvane::Classes().data()); }
const ClassGuids& GuidsOf(const ClassInfo& cls) { return Guids().classes[IndexOf(cls)]; }
const GUID& LibraryGuid() { return Guids().libid; }

}  // namespace halvane::com
