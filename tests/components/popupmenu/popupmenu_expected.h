// Expected PopupMenu output, assembled piece by piece as the page must
// receive it.
#pragma once

#include <initializer_list>
#include <string>

namespace halvane::popupmenu_expected {

inline const std::string kOver =
    "this.style.color='white';this.style.background='navy';this.style.border='1pt solid #000000'";
inline const std::string kOut =
    "this.style.color='black';this.style.background='#e4e4e4';this.style.border='1pt solid #e4e4e4'";

// Each line followed by CR LF.
inline std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

inline std::string Title(const std::string& display, const std::string& bg = "e4e4e4") {
  return Lines({"<tr>", "<td nowrap", "Align = center", "bgcolor = \"" + bg + "\"",
                "Style = \"border:1pt solid #" + bg + ";font-size:8pt\"", ">" + display + "</td>", "</tr>"});
}

inline std::string Item(const std::string& display, const std::string& on_click, const std::string& image,
                        const std::string& bg = "e4e4e4", const std::string& over = kOver,
                        const std::string& out = kOut) {
  return Lines(
      {"<tr>", "<td nowrap", "Align = Left", "bgcolor = \"" + bg + "\"", "OnClick = \"" + on_click + "\"",
       "Style = \"cursor:hand;border:1pt solid #" + bg + ";font-size:8pt\"", "onmouseover = \"" + over + "\"",
       "onmouseout = \"" + out + "\"",
       ">&nbsp;<img src=\"" + image + "\" border=0 width=12 height=12 align=\"absmiddle\">&nbsp;" + display + "</td>",
       "</tr>"});
}

inline std::string Rule(const std::string& image, const std::string& width = "140", const std::string& bg = "e4e4e4") {
  return Lines({"<tr>", "<td nowrap", "Align = center", "bgcolor = \"" + bg + "\"",
                "Style = \"border:1pt solid #" + bg + ";font-size:8pt\"",
                "><img border=0 height=1 width=\"" + width + "\" src=\"" + image + "\"></td>", "</tr>"});
}

inline std::string Menu(const std::string& rows, int height, int width = 150, const std::string& border = "000000",
                        const std::string& bg = "e4e4e4") {
  const std::string h = std::to_string(height);
  const std::string w = std::to_string(width);
  return Lines({"<DIV ID=\"oContextHTML\" STYLE=\"display:none;\">",
                "<table STYLE=\"border:1pt solid #" + border + "\" BGCOLOR=\"#" + bg + "\" width=" + w + " height=\"" +
                    h + "\" cellpadding=0 cellspacing=1>",
                rows, "</table>", "</DIV>", "<SCRIPT LANGUAGE=\"JavaScript\">", "var oPopup = window.createPopup();",
                "function contextMenu()", "{", "var lefter = event.clientX + 10;", "var topper = event.clientY + 10;",
                "oPopup.document.body.innerHTML = oContextHTML.innerHTML;",
                "oPopup.show(lefter, topper, " + w + ", " + h + ", document.body);", "}",
                "document.oncontextmenu = function() { contextMenu(); return false; }", "</SCRIPT>"});
}

}  // namespace halvane::popupmenu_expected
