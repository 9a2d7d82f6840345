#include "components/progressbar/progressbar.h"

#include "components/progressbar/progressbar_script.h"
#include "core/text.h"

namespace halvane {
namespace {
constexpr std::string_view kSource = "Halvane.ProgressBar";
constexpr std::int32_t kCells = 100;
}  // namespace

Variant ProgressBar::GetValue() const { return Variant(value_); }

void ProgressBar::Max(const Variant& newMax) {
  WithSource(kSource, [&] { max_ = ToLong(newMax); });
}

Variant ProgressBar::Max() const { return Variant(max_); }

void ProgressBar::Color(const Variant& newColor) {
  WithSource(kSource, [&] { color_ = ToString(newColor); });
}

Variant ProgressBar::Color() const { return Variant(color_); }

std::string ProgressBar::SetValue(const Variant& NewValue) {
  return WithSource(kSource, [&] {
    value_ = ToLong(NewValue);
    using namespace progressbar_text;
    std::string out;
    out.reserve(kUpdateOpen.size() + 11 + kUpdateClose.size());
    out.append(kUpdateOpen);
    text::AppendDecimal(out, value_);
    out.append(kUpdateClose);
    return out;
  });
}

std::string ProgressBar::Show(Variant& HideOutputDuring, Variant& HideProgressBarAfter) {
  return WithSource(kSource, [&] {
    // Each argument is converted and written back before the next one is
    // read, so a failure of the second leaves the first already converted.
    const bool hide_output = ToBoolean(HideOutputDuring);
    HideOutputDuring.Assign(Variant(hide_output));
    const bool hide_bar = ToBoolean(HideProgressBarAfter);
    HideProgressBarAfter.Assign(Variant(hide_bar));

    using namespace progressbar_text;
    // 100 cells of at most 3 digits each, plus the fixed lines.
    constexpr std::size_t kCellsSize =
        static_cast<std::size_t>(kCells) * (kCellOpen.size() + kCellClose.size() + 3);
    std::string out;
    out.reserve(kHead.view().size() + kEndDefault.size() + 12 + kColorOpen.size() + color_.size() +
                kColorClose.size() + kFunctions.view().size() + kHideOnLoad.size() + kMarkup.view().size() +
                kCellsSize + kCellsEnd.size() + kTail.view().size() + kHidePage.size());
    out.append(kHead.view());
    if (max_ != 0) {
      out.append(kEndOpen);
      text::AppendDecimal(out, max_);
      out.append(kEndClose);
    } else {
      out.append(kEndDefault);
    }
    out.append(kColorOpen);
    out.append(color_);
    out.append(kColorClose);
    out.append(kFunctions.view());
    if (hide_bar) out.append(kHideOnLoad);
    out.append(kMarkup.view());
    for (std::int32_t cell = 1; cell <= kCells; ++cell) {
      out.append(kCellOpen);
      text::AppendDecimal(out, cell);
      out.append(kCellClose);
    }
    out.append(kCellsEnd);
    out.append(kTail.view());
    if (hide_output) {
      // The object's own HideOutput, called with a true Boolean.
      Variant hidden(true);
      out.append(HideOutput(hidden));
    }
    return out;
  });
}

std::string ProgressBar::HideOutput(Variant& Hidden) {
  return WithSource(kSource, [&] {
    const bool hidden = ToBoolean(Hidden);
    Hidden.Assign(Variant(hidden));
    const std::string_view line = hidden ? progressbar_text::kHidePage : progressbar_text::kShowPage;
    return std::string(line);
  });
}

}  // namespace halvane
