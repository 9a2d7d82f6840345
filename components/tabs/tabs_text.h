// The text WriteTab emits, kept as it appears in the page.  Every raw block
// below is written with LF line ends and turned into CR LF at compile time.
// Values are spliced between the pieces: a block that ends in the middle of a
// line is continued by a number or a caller's text.
#pragma once

#include <string_view>

#include "core/text.h"

namespace halvane::tabs_text {

// ---- first call only: page script, style block, container ------------------

// Page script up to "var numDiv = ", which is followed by TabCount.
inline constexpr std::string_view kScriptHeadRaw = R"tab(<script language="JavaScript">
<!--
function selectTab(n) {
var panelID = "p1"
var numDiv = )tab";

// Rest of the page script and the style block up to the tab width.
inline constexpr std::string_view kScriptTailRaw = R"tab(
for(var i=0; i < numDiv; i++) {
var panelDiv = window.document.getElementById(panelID+"panel"+i)
var tabDiv = document.getElementById(panelID+"tab"+i)
if (i==n) {
panelDiv.style.zIndex = 1;
tabDiv.style.zIndex = 1;
}else{
panelDiv.style.zIndex = 0;
tabDiv.style.zIndex = 0;
}
}
}
//-->
</script>
<style type="text/css">
<!--
.tab {
cursor: hand; font-family: sans-serif; line-height:150%; font-size: 10px; font-weight: bold; position:absolute; text-align: center; border: 2px; border-color:#999999; border-style: outset; border-bottom-style: none; width:)tab";

// After TabWidth: the end of the tab rule and the panel rule up to its width.
inline constexpr std::string_view kPanelRuleRaw = R"tab(px; margin:0px;
}
.panel {
font-family: sans-serif; position:absolute; border: 2px; border-color:#999999; border-style:outset; width:)tab";

// Between PanelWidth and PanelHeight.
inline constexpr std::string_view kPanelHeight = "px; height:";

// After PanelHeight: the end of the style block and the container opening.
inline constexpr std::string_view kStyleEndRaw = R"tab(px; left:0px; top:18px; margin:0px; padding:5px;
}
-->
</style>
<div style="background-color: transparent; position: relative;">
)tab";

inline constexpr auto kScriptHead = text::ToCrlf<text::CrlfSize(kScriptHeadRaw)>(kScriptHeadRaw);
inline constexpr auto kScriptTail = text::ToCrlf<text::CrlfSize(kScriptTailRaw)>(kScriptTailRaw);
inline constexpr auto kPanelRule = text::ToCrlf<text::CrlfSize(kPanelRuleRaw)>(kPanelRuleRaw);
inline constexpr auto kStyleEnd = text::ToCrlf<text::CrlfSize(kStyleEndRaw)>(kStyleEndRaw);

// ---- every call: panel, frame and tab ----------------------------------------

// The panel: <div id='p1panel{index}' class='panel' style='background-color: #{colour};  z-index:{z}'>
inline constexpr std::string_view kPanelOpen = "<div id='p1panel";
inline constexpr std::string_view kPanelStyle = "' class='panel' style='background-color: #";
inline constexpr std::string_view kPanelZIndex = ";  z-index:";
inline constexpr std::string_view kPanelShown = "'>\r\n";
inline constexpr std::string_view kPanelHidden = "; display: none'>\r\n";
inline constexpr std::string_view kBreak = "<br>\r\n";

// The frame, continued on the same line by the end of the panel:
// <iframe name="{ContentName}" border=1 frameborder=1 src="{URL}" width="{w}" height="{h}"></iframe></div>
inline constexpr std::string_view kFrameName = R"tab(<iframe name=")tab";
inline constexpr std::string_view kFrameSource = R"tab(" border=1 frameborder=1 src=")tab";
inline constexpr std::string_view kFrameWidth = R"tab(" width=")tab";
inline constexpr std::string_view kFrameHeight = R"tab(" height=")tab";
inline constexpr std::string_view kFrameEnd = R"tab("></iframe>)tab";
inline constexpr std::string_view kPanelClose = "</div>\r\n";

// The tab: <div onclick="selectTab({index});{JavaScriptOnClick}" id="p1tab{index}" class="tab"
//   style="background-color:#{colour}; height:20px; left:{left}px; top:0px; z-index:{z}">
inline constexpr std::string_view kTabOpen = R"tab(<div onclick="selectTab()tab";
inline constexpr std::string_view kTabOnClick = ");";
inline constexpr std::string_view kTabId = R"tab(" id="p1tab)tab";
inline constexpr std::string_view kTabStyle = R"tab(" class="tab" style="background-color:#)tab";
inline constexpr std::string_view kTabLeft = "; height:20px; left:";
inline constexpr std::string_view kTabZIndex = "px; top:0px; z-index:";
inline constexpr std::string_view kTabShown = "\">\r\n";
inline constexpr std::string_view kTabHidden = "; display: none\">\r\n";
// After TabName.
inline constexpr std::string_view kTabClose = "</div>\r\n";

}  // namespace halvane::tabs_text
