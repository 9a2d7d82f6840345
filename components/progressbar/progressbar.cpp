#include "components/progressbar/progressbar.h"

#include <string_view>

#include "components/progressbar/progressbar_text.h"
#include "core/text_template.h"

namespace halvane {
namespace {
constexpr std::string_view kSource = "Halvane.ProgressBar";

// HideOutput's conversion, write-back and line, shared by HideOutput and
// Show, which appends the line to its own result.
std::string_view HideOutputLine(Variant& Hidden) {
  const bool hidden = ToBoolean(Hidden);
  Hidden.Assign(Variant(hidden));
  return hidden ? progressbar_text::kHidePage : progressbar_text::kShowPage;
}

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
    return text::Build(text::Fill<progressbar_text::kUpdate>(text::DecimalText(value_)));
  });
}

std::string ProgressBar::Show(Variant& HideOutputDuring, Variant& HideProgressBarAfter) {
  return WithSource(kSource, [&] {
    // Each argument is converted and written back before the next one is
    // read, so a failure of the second leaves the first already converted.
    const bool hide_output_during = ToBoolean(HideOutputDuring);
    HideOutputDuring.Assign(Variant(hide_output_during));
    const bool hide_bar = ToBoolean(HideProgressBarAfter);
    HideProgressBarAfter.Assign(Variant(hide_bar));

    using namespace progressbar_text;
    const text::DecimalText end(max_ != 0 ? max_ : 100);
    // When the output is hidden, the object's own HideOutput is called with
    // a true Boolean; its line goes straight into this result.
    std::string_view hide_output;
    if (hide_output_during) {
      Variant hidden(true);
      hide_output = HideOutputLine(hidden);
    }
    return text::Build(
        text::Fill<kShow>(end, color_, hide_bar ? kHideOnLoad : std::string_view(), kCells, hide_output));
  });
}

std::string ProgressBar::HideOutput(Variant& Hidden) {
  return WithSource(kSource, [&] { return text::Build(HideOutputLine(Hidden)); });
}

}  // namespace halvane
