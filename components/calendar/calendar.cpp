#include "components/calendar/calendar.h"

#include <string_view>
#include <tuple>
#include <utility>

#include "components/calendar/calendar_text.h"
#include "core/date_text.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/text_template.h"
#include "core/variant.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Calendar";
constexpr std::string_view kDatePattern = "mm/dd/yyyy";

// Reads the month and year back from a stored "mm/dd/yyyy" text.
std::pair<std::int16_t, std::int16_t> MonthAndYear(const std::string& date_text) {
  const Variant stored(date_text);
  return {ToInteger(Month(stored)), ToInteger(Year(stored))};
}

}  // namespace

namespace {
double LocalNow() { return Now().RawDouble(); }
}  // namespace

Calendar::Calendar() { Init(LocalNow()); }

// An empty clock means the local one.
Calendar::Calendar(Clock clock) { Init(clock ? clock() : LocalNow()); }

void Calendar::Init(double now) {
  WithSource(kSource, [&] {
    active_date_ = FormatDate(Variant::Date(now), kDatePattern);
    std::tie(active_month_, active_year_) = MonthAndYear(active_date_);
  });
  image_url_ = "Calendar.gif";
}

void Calendar::ImageURL(const Variant& NewURL) {
  image_url_ = WithSource(kSource, [&] { return ToString(NewURL); });
}

Variant Calendar::ImageURL() const { return Variant::String(image_url_); }

// The text, month and year are worked out first and stored together, so a
// rejected value leaves all three as they were.
void Calendar::ActiveDate(const Variant& NewDate) {
  WithSource(kSource, [&] {
    if (!IsDate(NewDate)) {
      throw Error(1, std::string(kSource), "ActiveDate Property not a valid date.");
    }
    std::string text = FormatDate(NewDate, kDatePattern);
    const auto [month, year] = MonthAndYear(text);
    active_date_ = std::move(text);
    active_month_ = month;
    active_year_ = year;
  });
}

Variant Calendar::ActiveDate() const { return Variant::String(active_date_); }

std::string_view Calendar::WriteCommonScript() { return calendar_text::kCommonScript.literal(); }
std::string_view Calendar::WriteEmbeddedScript() { return calendar_text::kEmbeddedScript.literal(); }
std::string_view Calendar::WritePopupScript() { return calendar_text::kPopupScript.literal(); }

// The name is converted before anything else, and the flags are set only
// once the text is complete: a call that fails leaves the object as it was,
// so the next call still carries the blocks the page has not yet received.
std::string Calendar::DisplayEmbedded(const Variant& calName) {
  return WithSource(kSource, [&] {
    const SpliceText name(calName);
    std::string out = text::Build(common_script_emitted_ ? std::string_view() : WriteCommonScript(),
                                  embedded_script_emitted_ ? std::string_view() : WriteEmbeddedScript(),
                                  text::Fill<calendar_text::kEmbeddedCall>(name, text::DecimalText(active_month_),
                                                                           text::DecimalText(active_year_)));
    common_script_emitted_ = true;
    embedded_script_emitted_ = true;
    return out;
  });
}

std::string Calendar::DisplayPopup(const Variant& calName) {
  return WithSource(kSource, [&] {
    const SpliceText name(calName);
    std::string out =
        text::Build(common_script_emitted_ ? std::string_view() : WriteCommonScript(),
                    popup_script_emitted_ ? std::string_view() : WritePopupScript(),
                    text::Fill<calendar_text::kFieldAndButton>(active_date_, name, text::DecimalText(active_month_),
                                                               text::DecimalText(active_year_), image_url_));
    common_script_emitted_ = true;
    popup_script_emitted_ = true;
    return out;
  });
}

}  // namespace halvane
