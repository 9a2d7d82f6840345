// The texts Tree emits: the page script, the expand/collapse-all images, the
// menu header and footer and the two node forms.
//
// Each text is kept as it appears in the page, with LF line ends that become
// CR LF at compile time.  A field "@Name@" marks where a value is spliced in;
// '@' occurs nowhere else in these texts.
#pragma once

#include <string_view>

#include "core/text_template.h"

namespace halvane::tree_text {

// The page script.  Both functions tell an open menu from a closed one by
// the folder image its heading shows, so the image texts are spliced in.
inline constexpr std::string_view kPageScriptRaw =
    R"txt(<script language="JavaScript">
function changeTableRow(image, tableName) {
if (document.all[image].src.indexOf("@ExpandedImage@") != -1) {
document.all[tableName].rows[1].style.display = "none";
document.all[image].src = "@CollapsedImage@";
} else {
document.all[tableName].rows[1].style.display = "block";
document.all[image].src = "@ExpandedImage@";
}
}
function expandOrCollapse(which) {
var sTable;
var sImage;
for (var i=0; i<=document.images.length-1; i++) {
if (document.images[i].src.indexOf("@ExpandedImage@") != -1 || document.images[i].src.indexOf("@CollapsedImage@") != -1 ) {
sTable = "table_" + document.images[i].id.substring(6, document.images[i].id.length);
sImage = document.images[i].id
if (which == 1) {
document.all[sTable].rows[1].style.display = "block";
document.all[sImage].src = "@ExpandedImage@";
}else{
document.all[sTable].rows[1].style.display = "none";
document.all[sImage].src = "@CollapsedImage@";
}}}}
</Script>
)txt";
inline constexpr auto kPageScript = text::Compile<kPageScriptRaw>({"ExpandedImage", "CollapsedImage"});

inline constexpr std::string_view kExpandCollapseRaw =
    R"txt(<IMG alt="Collapse All Menus" id="image_minus" style="cursor:hand" SRC="@CollapseAllImage@" onclick="expandOrCollapse(0);">&nbsp;<IMG alt="Expand All Menus" id="image_plus" style="cursor:hand" SRC="@ExpandAllImage@" onclick="expandOrCollapse(1);">
)txt";
inline constexpr auto kExpandCollapse = text::Compile<kExpandCollapseRaw>({"CollapseAllImage", "ExpandAllImage"});

// Opens menu @n@: the heading row, then the hidden content row whose content
// cell stays open for the menu's nodes and nested menus.
inline constexpr std::string_view kMenuHeaderRaw =
    R"txt(<table id="table_@n@" border="0" width="@Width@" cellpadding="0" cellspacing="1">
<tr>
<td nowrap colspan="1" width=20 align="center"><img id="image_@n@" style="cursor:hand" src="@CollapsedImage@" onClick="changeTableRow('image_@n@', 'table_@n@')" ></td><td nowrap colspan="1" ID="tblHeading@n@"><a href="javascript:changeTableRow('image_@n@', 'table_@n@')"><font class=@TextClass@>@MenuName@</font></a></td>
</tr>
<tr style="display:none">
<td nowrap></td>
<td nowrap width="100%">
)txt";
inline constexpr auto kMenuHeader =
    text::Compile<kMenuHeaderRaw>({"n", "Width", "CollapsedImage", "TextClass", "MenuName"});

inline constexpr std::string_view kMenuFooterRaw = R"txt(</td></tr></table>
)txt";
inline constexpr auto kMenuFooter = text::Compile<kMenuFooterRaw>();

inline constexpr std::string_view kNodeWithImageRaw =
    R"txt(<table border="0" width="1" cellpadding="0" cellspacing="1"><tr><td align="center" nowrap colspan="1" width=20><a target="@Target@" href="@URI@"><img border=0 style="cursor:hand" src="@ImagePath@"></a></td><td nowrap colspan="1" ID="node@node@"><a target="@Target@" href="@URI@"><font class=@TextClass@>@NodeName@</font></a></td></tr></table>
)txt";
inline constexpr auto kNodeWithImage =
    text::Compile<kNodeWithImageRaw>({"Target", "URI", "ImagePath", "node", "TextClass", "NodeName"});

// A node without an image: the image cell stays empty.
inline constexpr std::string_view kNodeRaw =
    R"txt(<table border="0" width="1" cellpadding="0" cellspacing="1"><tr><td align="center" nowrap colspan="1" width=20></td><td nowrap colspan="1" ID="node@node@"><a target="@Target@" href="@URI@"><font class=@TextClass@>@NodeName@</font></a></td></tr></table>
)txt";
inline constexpr auto kNode = text::Compile<kNodeRaw>({"Target", "URI", "node", "TextClass", "NodeName"});

}  // namespace halvane::tree_text
