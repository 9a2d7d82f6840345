// The texts PopupMenu emits: the default mouse handlers, the three kinds of
// menu row and the menu with its context-menu script.
//
// Each text is kept as it appears in the page, with LF line ends that become
// CR LF at compile time.  A field "@Name@" marks where a value is spliced in;
// '@' occurs nowhere else in these texts.
#pragma once

#include <string_view>

#include "core/text_template.h"

namespace halvane::popupmenu_text {

// The item highlight: white on navy with a visible border, and back.
inline constexpr std::string_view kDefaultOnMouseOverRaw =
    "this.style.color='white';this.style.background='navy';this.style.border='@BorderWidth@pt solid #@BorderColor@'";
inline constexpr std::string_view kDefaultOnMouseOutRaw =
    "this.style.color='black';this.style.background='#@BGColor@';this.style.border='@BorderWidth@pt solid #@BGColor@'";
inline constexpr auto kDefaultOnMouseOver = text::Compile<kDefaultOnMouseOverRaw>({"BorderWidth", "BorderColor"});
inline constexpr auto kDefaultOnMouseOut = text::Compile<kDefaultOnMouseOutRaw>({"BorderWidth", "BGColor"});

// The cell's start tag stays open from "<td nowrap" to the line starting ">".
inline constexpr std::string_view kTitleRowRaw = R"txt(<tr>
<td nowrap
Align = center
bgcolor = "@BGColor@"
Style = "border:@BorderWidth@pt solid #@BGColor@;font-size:@FontSize@pt"
>@Display@</td>
</tr>
)txt";
inline constexpr auto kTitleRow = text::Compile<kTitleRowRaw>({"BGColor", "BorderWidth", "FontSize", "Display"});

inline constexpr std::string_view kItemRowRaw = R"txt(<tr>
<td nowrap
Align = Left
bgcolor = "@BGColor@"
OnClick = "@OnClick@"
Style = "cursor:hand;border:@BorderWidth@pt solid #@BGColor@;font-size:@FontSize@pt"
onmouseover = "@OnMouseOver@"
onmouseout = "@OnMouseOut@"
>&nbsp;<img src="@ImagePath@" border=0 width=12 height=12 align="absmiddle">&nbsp;@Display@</td>
</tr>
)txt";
inline constexpr auto kItemRow = text::Compile<kItemRowRaw>(
    {"BGColor", "OnClick", "BorderWidth", "FontSize", "OnMouseOver", "OnMouseOut", "ImagePath", "Display"});

// A one-pixel image stretched to a line 10 pixels narrower than the menu.
inline constexpr std::string_view kRuleRowRaw = R"txt(<tr>
<td nowrap
Align = center
bgcolor = "@BGColor@"
Style = "border:@BorderWidth@pt solid #@BGColor@;font-size:@FontSize@pt"
><img border=0 height=1 width="@RuleWidth@" src="@ImagePath_1x1Pixel@"></td>
</tr>
)txt";
inline constexpr auto kRuleRow =
    text::Compile<kRuleRowRaw>({"BGColor", "BorderWidth", "FontSize", "RuleWidth", "ImagePath_1x1Pixel"});

// The hidden menu table, then the script that shows a copy of it in a popup
// beside the pointer instead of the browser's context menu.  The stored rows
// end with CR LF themselves, so an empty line follows them.
inline constexpr std::string_view kMenuRaw = R"txt(<DIV ID="oContextHTML" STYLE="display:none;">
<table STYLE="border:@BorderWidth@pt solid #@BorderColor@" BGCOLOR="#@BGColor@" width=@Width@ height="@Height@" cellpadding=0 cellspacing=1>
@Rows@
</table>
</DIV>
<SCRIPT LANGUAGE="JavaScript">
var oPopup = window.createPopup();
function contextMenu()
{
var lefter = event.clientX + 10;
var topper = event.clientY + 10;
oPopup.document.body.innerHTML = oContextHTML.innerHTML;
oPopup.show(lefter, topper, @Width@, @Height@, document.body);
}
document.oncontextmenu = function() { contextMenu(); return false; }
</SCRIPT>
)txt";
inline constexpr auto kMenu =
    text::Compile<kMenuRaw>({"BorderWidth", "BorderColor", "BGColor", "Width", "Height", "Rows"});

}  // namespace halvane::popupmenu_text
