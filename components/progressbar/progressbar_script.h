// The script and markup pieces of the progress bar.
#pragma once

#include <string_view>

#include "core/text.h"

namespace halvane::progressbar_text {

// SetValue: one line around the new value.
inline constexpr std::string_view kUpdateOpen = R"(<SCRIPT LANGUAGE="JavaScript">progress_update()";
inline constexpr std::string_view kUpdateClose = ");</script>\r\n";

// Show, lines 1 to 3.
inline constexpr std::string_view kHeadRaw = R"JS(<SCRIPT LANGUAGE="JavaScript">
function hideIt() {
document.getElementById('progress').style.display = 'none'; }
)JS";
inline constexpr auto kHead = text::ToCrlf<text::CrlfSize(kHeadRaw)>(kHeadRaw);

// Line 4: the end value, or 100 when Max is 0.
inline constexpr std::string_view kEndOpen = "var progressEnd = ";
inline constexpr std::string_view kEndClose = ";\r\n";
inline constexpr std::string_view kEndDefault = "var progressEnd = 100;\r\n";

// Line 5: the fill colour.
inline constexpr std::string_view kColorOpen = "var progressColor = '";
inline constexpr std::string_view kColorClose = "';\r\n";

// Lines 6 to 25.
inline constexpr std::string_view kFunctionsRaw = R"JS(var progressAt;
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
)JS";
inline constexpr auto kFunctions = text::ToCrlf<text::CrlfSize(kFunctionsRaw)>(kFunctionsRaw);

// Line 26, only when the bar hides itself once the page has loaded.
inline constexpr std::string_view kHideOnLoad = "window.onload=hideIt;\r\n";

// Lines 27 to 29.
inline constexpr std::string_view kMarkupRaw = R"JS(</script>
<div id="progress">
<table border=0><tr><td><div style="padding:2px;border:solid black 1px;">
)JS";
inline constexpr auto kMarkup = text::ToCrlf<text::CrlfSize(kMarkupRaw)>(kMarkupRaw);

// Line 30: 100 cells, then the percentage cell.
inline constexpr std::string_view kCellOpen = R"(<span id="progress)";
inline constexpr std::string_view kCellClose = R"("><img src='' width=2 height=5></span>)";
inline constexpr std::string_view kCellsEnd =
    R"(</div></td><td id=Display align=left><font style="FONT-SIZE: 10pt">0&nbsp;%</font></td></tr></table>)"
    "\r\n";

// Lines 31 and 32: the bar's division closes, the page content opens.
inline constexpr std::string_view kTailRaw = R"JS(</div>
<div id="page">
)JS";
inline constexpr auto kTail = text::ToCrlf<text::CrlfSize(kTailRaw)>(kTailRaw);

// HideOutput.
inline constexpr std::string_view kHidePage =
    R"(<Script Language="JavaScript">document.getElementById('page').style.display = 'none';</Script>)"
    "\r\n";
inline constexpr std::string_view kShowPage =
    R"(<Script Language="JavaScript">document.getElementById('page').style.display = 'block';</Script>)"
    "\r\n";

}  // namespace halvane::progressbar_text
