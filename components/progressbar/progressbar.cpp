#include "components/progressbar/progressbar.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "components/progressbar/progressbar_script.h"
#include "core/text.h"

namespace halvane {
namespace {
constexpr std::string_view kSource = "Halvane.ProgressBar";
constexpr std::int32_t kCells = 100;

// The 100 cells of line 30 never change: they are put together once, at
// build time, as kCellOpen, the cell's number 1..100, kCellClose.
consteval std::size_t Digits(std::int32_t v) { return v >= 100 ? 3 : v >= 10 ? 2 : 1; }

consteval std::size_t CellsSize() {
  std::size_t n = 0;
  for (std::int32_t cell = 1; cell <= kCells; ++cell) {
    n += progressbar_text::kCellOpen.size() + Digits(cell) + progressbar_text::kCellClose.size();
  }
  return n;
}

consteval std::array<char, CellsSize()> MakeCells() {
  std::array<char, CellsSize()> out{};
  std::size_t j = 0;
  for (std::int32_t cell = 1; cell <= kCells; ++cell) {
    for (char c : progressbar_text::kCellOpen) out[j++] = c;
    const std::size_t digits = Digits(cell);
    std::int32_t v = cell;
    for (std::size_t d = digits; d > 0; --d) {
      out[j + d - 1] = static_cast<char>('0' + v % 10);
      v /= 10;
    }
    j += digits;
    for (char c : progressbar_text::kCellClose) out[j++] = c;
  }
  return out;
}

constexpr std::array<char, CellsSize()> kCellsText = MakeCells();

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
    constexpr std::size_t kCellsSize = kCellsText.size();
    std::string out;
    out.reserve(kHead.view().size() + kEndDefault.size() + 12 + kColorOpen.size() + color_.size() + kColorClose.size() +
                kFunctions.view().size() + kHideOnLoad.size() + kMarkup.view().size() + kCellsSize + kCellsEnd.size() +
                kTail.view().size() + kHidePage.size());
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
    out.append(kCellsText.data(), kCellsText.size());
    out.append(kCellsEnd);
    out.append(kTail.view());
    if (hide_output) {
      // The object's own HideOutput, called with a true Boolean; its line
      // goes straight into this result.
      Variant hidden(true);
      out.append(HideOutputLine(hidden));
    }
    return out;
  });
}

std::string ProgressBar::HideOutput(Variant& Hidden) {
  return WithSource(kSource, [&] { return std::string(HideOutputLine(Hidden)); });
}

}  // namespace halvane
