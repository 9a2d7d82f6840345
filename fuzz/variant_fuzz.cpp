// Variant values of every kind: the round trips of Double, Single and Date
// texts, and every operation on random operands, which either gives a value
// or raises one of the documented errors (5, 6, 13, 94) with no source.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/date_text.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/variant.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/roundtrip.h"

using namespace halvane;

namespace {

template <class F>
void Operation(const char* name, F&& f) {
  try {
    f();
  } catch (const Error& e) {
    const std::int32_t n = e.Number();
    if (n != 5 && n != kErrOverflow && n != kErrTypeMismatch && n != kErrInvalidUseOfNull) {
      fuzz::Fail("unexpected error number from", name);
    }
    if (!e.Source().empty()) fuzz::Fail("core error with a source from", name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);

  fuzz::CheckDoubleText(in.Raw<double>());
  fuzz::CheckSingleText(in.Raw<float>());
  // A day number with a time of day, over the whole date range.
  const double day = static_cast<double>(in.Raw<std::int32_t>() % 3615900) - 657434.0;
  fuzz::CheckDateText(day + (day < 0 ? -1 : 1) * (in.Raw<std::uint16_t>() / 65536.0));
  fuzz::CheckDateText(in.Raw<double>());

  while (in.Left() > 0) {
    Variant a = in.AnyVariant();
    Variant b = in.AnyVariant();
    // Sometimes through a reference, as by-reference arguments arrive.
    Variant ra = Variant::Ref(a);
    const Variant& x = (in.Byte() % 2) ? ra : a;
    switch (in.Byte() % 16) {
      case 0: Operation("ToString", [&] { (void)ToString(x); }); break;
      case 1: Operation("ToLong", [&] { (void)ToLong(x); }); break;
      case 2: Operation("ToInteger", [&] { (void)ToInteger(x); }); break;
      case 3: Operation("ToBoolean", [&] { (void)ToBoolean(x); }); break;
      case 4: Operation("ToDouble", [&] { (void)ToDouble(x); }); break;
      case 5: Operation("ToSingle", [&] { (void)ToSingle(x); }); break;
      case 6: Operation("ToDate", [&] { (void)ToDate(x); }); break;
      case 7: Operation("Concat", [&] { (void)Concat(x, b); }); break;
      case 8: Operation("Add", [&] { (void)Add(x, b); }); break;
      case 9: Operation("Subtract", [&] { (void)Subtract(x, b); }); break;
      case 10: Operation("Negate", [&] { (void)Negate(x); }); break;
      case 11: Operation("Compare", [&] { (void)Compare(x, b); }); break;
      case 12: Operation("Len", [&] { (void)Len(x); }); break;
      case 13: {
        const std::int32_t start = in.Raw<std::int16_t>();
        const std::int32_t length = in.Raw<std::int16_t>();
        Operation("Mid", [&] { (void)Mid(x, start, length); });
        break;
      }
      case 14: Operation("Hex", [&] { (void)Hex(x); }); break;
      default:
        Operation("FormatDate", [&] { (void)FormatDate(x, "m/d/yy dd mm yyyy"); });
        Operation("TruthTest", [&] { (void)TruthTest(x); });
        Operation("Month", [&] { (void)Month(x); });
        Operation("Chr", [&] { (void)Chr(ToLong(b)); });
        break;
    }
  }
  return 0;
}
