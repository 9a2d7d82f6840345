// The texts WriteTab emits: the page script, style block and container
// opening of a first call, and the panel, frame and tab of every call.
//
// Each text is kept as it appears in the page, with LF line ends that become
// CR LF at compile time.  A field "@Name@" marks where a value is spliced in;
// '@' occurs nowhere else in these texts.
#pragma once

#include <string_view>

#include "core/text_template.h"

namespace halvane::tabs_text {

inline constexpr std::string_view kFirstCallRaw = R"tab(<script language="JavaScript">
<!--
function selectTab(n) {
var panelID = "p1"
var numDiv = @TabCount@
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
cursor: hand; font-family: sans-serif; line-height:150%; font-size: 10px; font-weight: bold; position:absolute; text-align: center; border: 2px; border-color:#999999; border-style: outset; border-bottom-style: none; width:@TabWidth@px; margin:0px;
}
.panel {
font-family: sans-serif; position:absolute; border: 2px; border-color:#999999; border-style:outset; width:@PanelWidth@px; height:@PanelHeight@px; left:0px; top:18px; margin:0px; padding:5px;
}
-->
</style>
<div style="background-color: transparent; position: relative;">
)tab";
inline constexpr auto kFirstCall = text::Compile<kFirstCallRaw>({"TabCount", "TabWidth", "PanelWidth", "PanelHeight"});

// The panel with its frame, then the tab.  @PanelEnd@ and @TabEnd@ are the
// shown or hidden endings of the two start tags (below).
inline constexpr std::string_view kEveryCallRaw =
    R"tab(<div id='p1panel@index@' class='panel' style='background-color: #@LayerColor@;  z-index:@z@@PanelEnd@
<br>
<iframe name="@ContentName@" border=1 frameborder=1 src="@URL@" width="@FrameWidth@" height="@FrameHeight@"></iframe></div>
<div onclick="selectTab(@index@);@JavaScriptOnClick@" id="p1tab@index@" class="tab" style="background-color:#@LayerColor@; height:20px; left:@left@px; top:0px; z-index:@z@@TabEnd@
@TabName@</div>
)tab";
inline constexpr auto kEveryCall =
    text::Compile<kEveryCallRaw>({"index", "LayerColor", "z", "PanelEnd", "ContentName", "URL", "FrameWidth",
                                  "FrameHeight", "JavaScriptOnClick", "left", "TabEnd", "TabName"});

inline constexpr std::string_view kPanelShown = "'>";
inline constexpr std::string_view kPanelHidden = "; display: none'>";
inline constexpr std::string_view kTabShown = "\">";
inline constexpr std::string_view kTabHidden = "; display: none\">";

}  // namespace halvane::tabs_text
