#include "components/calendar/calendar.h"

#include <string_view>
#include <tuple>
#include <utility>

#include "components/calendar/calendar_text.h"
#include "core/date_text.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/text.h"
#include "core/variant.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Calendar";
constexpr std::string_view kDatePattern = "mm/dd/yyyy";

// Room for the spliced values of one per-call part beyond the name.
constexpr std::size_t kValueRoom = 32;

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

std::string_view Calendar::WriteCommonScript() { return calendar_text::kCommonScript; }
std::string_view Calendar::WriteEmbeddedScript() { return calendar_text::kEmbeddedScript; }
std::string_view Calendar::WritePopupScript() { return calendar_text::kPopupScript; }

void Calendar::AppendFilled(std::string& out, std::string_view text, std::string_view name) const {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('@', pos);
    if (open == std::string_view::npos) {
      out.append(text.substr(pos));
      return;
    }
    const std::size_t close = text.find('@', open + 1);
    if (close == std::string_view::npos) {  // a lone '@' is plain text
      out.append(text.substr(pos));
      return;
    }
    out.append(text.substr(pos, open - pos));
    const std::string_view field = text.substr(open + 1, close - open - 1);
    if (field == "calName") {
      out.append(name);
    } else if (field == "month") {
      text::AppendDecimal(out, active_month_);
    } else if (field == "year") {
      text::AppendDecimal(out, active_year_);
    } else if (field == "ActiveDate") {
      out.append(active_date_);
    } else if (field == "ImageURL") {
      out.append(image_url_);
    }
    pos = close + 1;
  }
}

// The name is converted before anything else, and the flags are set only
// once the text is complete: a call that fails leaves the object as it was,
// so the next call still carries the blocks the page has not yet received.
std::string Calendar::DisplayEmbedded(const Variant& calName) {
  return WithSource(kSource, [&] {
    const SpliceText name(calName);
    std::string out;
    out.reserve((common_script_emitted_ ? 0 : WriteCommonScript().size()) +
                (embedded_script_emitted_ ? 0 : WriteEmbeddedScript().size()) +
                calendar_text::kEmbeddedCall.view().size() + 2 * name.size() + kValueRoom);
    if (!common_script_emitted_) out.append(WriteCommonScript());
    if (!embedded_script_emitted_) out.append(WriteEmbeddedScript());
    AppendFilled(out, calendar_text::kEmbeddedCall, name);
    common_script_emitted_ = true;
    embedded_script_emitted_ = true;
    return out;
  });
}

std::string Calendar::DisplayPopup(const Variant& calName) {
  return WithSource(kSource, [&] {
    const SpliceText name(calName);
    std::string out;
    out.reserve((common_script_emitted_ ? 0 : WriteCommonScript().size()) +
                (popup_script_emitted_ ? 0 : WritePopupScript().size()) + calendar_text::kFieldAndButton.size() +
                2 * name.size() + active_date_.size() + image_url_.size() + kValueRoom);
    if (!common_script_emitted_) out.append(WriteCommonScript());
    if (!popup_script_emitted_) out.append(WritePopupScript());
    AppendFilled(out, calendar_text::kFieldAndButton, name);
    common_script_emitted_ = true;
    popup_script_emitted_ = true;
    return out;
  });
}

}  // namespace halvane
