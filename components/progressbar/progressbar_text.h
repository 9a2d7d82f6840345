// The texts ProgressBar emits: the update line, the whole bar and the lines
// that hide or show the page content.
//
// Each text is kept as it appears in the page, with LF line ends that become
// CR LF at compile time.  A field "@Name@" marks where a value is spliced in;
// '@' occurs nowhere else in these texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/text_template.h"

namespace halvane::progressbar_text {

// SetValue.
inline constexpr std::string_view kUpdateRaw = R"JS(<SCRIPT LANGUAGE="JavaScript">progress_update(@NewValue@);</script>
)JS";
inline constexpr auto kUpdate = text::Compile<kUpdateRaw>({"NewValue"});

// Show: the end value (100 when Max is 0) and the fill colour, an optional
// line that hides the bar once the page has loaded, the 100 cells, and the
// HideOutput line when the output is hidden while the bar runs.
inline constexpr std::string_view kShowRaw = R"JS(<SCRIPT LANGUAGE="JavaScript">
function hideIt() {
document.getElementById('progress').style.display = 'none'; }
var progressEnd = @progressEnd@;
var progressColor = '@Color@';
var progressAt;
function progress_clear() {
for (var i = 1; i <= 100; i++) {
document.getElementById('progress'+i).style.backgroundColor = 'transparent';
}
}
function progress_update(progressIndex) {
progressAt = parseInt(100 / (parseFloat(progressEnd) / parseFloat(progressIndex)));
if (progressAt < 0) progressAt = 0;
if (progressAt > 100) progressAt = 100;
progress_clear();
if (progressAt != 0) {
for (var i = 1; i <= progressAt; i++) {
document.getElementById('progress'+i).style.backgroundColor = progressColor;
}
Display.innerHTML = "<font style='FONT-SIZE: 10pt'>" + parseInt((progressAt/100)*100) + "&nbsp;%</font>";
}else{
Display.innerHTML = "<font style='FONT-SIZE: 10pt'>" + 0 + "&nbsp;%</font>";
}
}
@HideOnLoad@</script>
<div id="progress">
<table border=0><tr><td><div style="padding:2px;border:solid black 1px;">
@Cells@</div></td><td id=Display align=left><font style="FONT-SIZE: 10pt">0&nbsp;%</font></td></tr></table>
</div>
<div id="page">
@HideOutput@)JS";
inline constexpr auto kShow = text::Compile<kShowRaw>({"progressEnd", "Color", "HideOnLoad", "Cells", "HideOutput"});

// The HideOnLoad line.
inline constexpr std::string_view kHideOnLoad = "window.onload=hideIt;\r\n";

// The Cells: cell n for n = 1 to 100, all on one line, put together once at
// build time.
inline constexpr std::string_view kCellOpen = R"(<span id="progress)";
inline constexpr std::string_view kCellClose = R"("><img src='' width=2 height=5></span>)";
inline constexpr std::int32_t kCellCount = 100;

consteval std::size_t CellsSize() {
  std::size_t n = 0;
  for (std::int32_t cell = 1; cell <= kCellCount; ++cell) {
    n += kCellOpen.size() + text::DecimalText(cell).View().size() + kCellClose.size();
  }
  return n;
}

consteval std::array<char, CellsSize()> MakeCells() {
  std::array<char, CellsSize()> out{};
  std::size_t j = 0;
  for (std::int32_t cell = 1; cell <= kCellCount; ++cell) {
    for (char c : kCellOpen) out[j++] = c;
    const text::DecimalText digits(cell);  // a temporary would end before the loop reads it
    for (char c : digits.View()) out[j++] = c;
    for (char c : kCellClose) out[j++] = c;
  }
  return out;
}

inline constexpr std::array<char, CellsSize()> kCellsChars = MakeCells();
inline constexpr std::string_view kCells(kCellsChars.data(), kCellsChars.size());

// HideOutput, and the HideOutput line of Show.
inline constexpr std::string_view kHidePage =
    R"(<Script Language="JavaScript">document.getElementById('page').style.display = 'none';</Script>)"
    "\r\n";
inline constexpr std::string_view kShowPage =
    R"(<Script Language="JavaScript">document.getElementById('page').style.display = 'block';</Script>)"
    "\r\n";

}  // namespace halvane::progressbar_text
