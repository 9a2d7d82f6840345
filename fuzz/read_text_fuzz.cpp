// Reading numbers and dates from arbitrary text: no crash, the readings are
// in range, a reading's own text reads back to it, and the conversions raise
// only their documented errors.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/date_text.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/number_text.h"
#include "core/variant.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/roundtrip.h"

using namespace halvane;

namespace {

template <class F>
void Converts(F&& f, std::string_view text) {
  try {
    f();
  } catch (const Error& e) {
    if (e.Number() != kErrTypeMismatch && e.Number() != kErrOverflow) fuzz::Fail("unexpected error number", text);
    if (!e.Source().empty()) fuzz::Fail("core error with a source", text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const NumberReading n = ReadNumber(text);
  if (n.status == NumberReading::Status::Ok) {
    if (!std::isfinite(n.value)) fuzz::Fail("ReadNumber gave a value that is not finite", text);
    fuzz::CheckDoubleText(n.value);
  }

  const std::optional<double> date = ReadDate(text);
  if (date) {
    if (!std::isfinite(*date) || *date < kMinDate || *date >= kMaxDate + 1) fuzz::Fail("ReadDate out of range", text);
    fuzz::CheckDateText(*date);
  }
  const Variant v{std::string(text)};
  if (IsDate(v) != date.has_value()) fuzz::Fail("IsDate disagrees with ReadDate", text);

  Converts([&] { (void)ToDouble(v); }, text);
  Converts([&] { (void)ToSingle(v); }, text);
  Converts([&] { (void)ToLong(v); }, text);
  Converts([&] { (void)ToInteger(v); }, text);
  Converts([&] { (void)ToBoolean(v); }, text);
  Converts([&] { (void)ToDate(v); }, text);
  Converts([&] { (void)FormatDate(v, "mm/dd/yyyy"); }, text);
  return 0;
}
