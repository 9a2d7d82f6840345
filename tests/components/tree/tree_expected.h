// Expected Tree output, assembled piece by piece as the page must receive it.
#pragma once

#include <initializer_list>
#include <string>

namespace halvane::tree_expected {

inline const std::string kOpen = "/images/icons/FolderOpen.gif";
inline const std::string kClosed = "/images/icons/FolderClosed.gif";

// Each line followed by CR LF.
inline std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

inline std::string Script(const std::string& e = kOpen, const std::string& c = kClosed) {
  return Lines({
      "<script language=\"JavaScript\">",
      "function changeTableRow(image, tableName) {",
      "if (document.all[image].src.indexOf(\"" + e + "\") != -1) {",
      "document.all[tableName].rows[1].style.display = \"none\";",
      "document.all[image].src = \"" + c + "\";",
      "} else {",
      "document.all[tableName].rows[1].style.display = \"block\";",
      "document.all[image].src = \"" + e + "\";",
      "}",
      "}",
      "function expandOrCollapse(which) {",
      "var sTable;",
      "var sImage;",
      "for (var i=0; i<=document.images.length-1; i++) {",
      "if (document.images[i].src.indexOf(\"" + e + "\") != -1 || document.images[i].src.indexOf(\"" + c +
          "\") != -1 ) {",
      "sTable = \"table_\" + document.images[i].id.substring(6, document.images[i].id.length);",
      "sImage = document.images[i].id",
      "if (which == 1) {",
      "document.all[sTable].rows[1].style.display = \"block\";",
      "document.all[sImage].src = \"" + e + "\";",
      "}else{",
      "document.all[sTable].rows[1].style.display = \"none\";",
      "document.all[sImage].src = \"" + c + "\";",
      "}}}}",
      "</Script>",
  });
}

inline std::string Images(const std::string& minus = "/images/icons/treeminus.gif",
                          const std::string& plus = "/images/icons/treeplus.gif") {
  return Lines({"<IMG alt=\"Collapse All Menus\" id=\"image_minus\" style=\"cursor:hand\" SRC=\"" + minus +
                "\" onclick=\"expandOrCollapse(0);\">&nbsp;<IMG alt=\"Expand All Menus\" id=\"image_plus\" "
                "style=\"cursor:hand\" SRC=\"" +
                plus + "\" onclick=\"expandOrCollapse(1);\">"});
}

inline std::string Header(int n, const std::string& name, const std::string& width = "1",
                          const std::string& text_class = "", const std::string& closed = kClosed) {
  const std::string s = std::to_string(n);
  return Lines({
      "<table id=\"table_" + s + "\" border=\"0\" width=\"" + width + "\" cellpadding=\"0\" cellspacing=\"1\">",
      "<tr>",
      "<td nowrap colspan=\"1\" width=20 align=\"center\"><img id=\"image_" + s + "\" style=\"cursor:hand\" src=\"" +
          closed + "\" onClick=\"changeTableRow('image_" + s + "', 'table_" + s +
          "')\" ></td><td nowrap colspan=\"1\" ID=\"tblHeading" + s + "\"><a href=\"javascript:changeTableRow('image_" +
          s + "', 'table_" + s + "')\"><font class=" + text_class + ">" + name + "</font></a></td>",
      "</tr>",
      "<tr style=\"display:none\">",
      "<td nowrap></td>",
      "<td nowrap width=\"100%\">",
  });
}

inline const std::string kFooter = "</td></tr></table>\r\n";

inline std::string Node(int id, const std::string& name, const std::string& uri, const std::string& target,
                        const std::string& image = "", const std::string& text_class = "") {
  const std::string start =
      "<table border=\"0\" width=\"1\" cellpadding=\"0\" cellspacing=\"1\"><tr><td align=\"center\" nowrap "
      "colspan=\"1\" width=20>";
  const std::string cell = image.empty() ? std::string()
                                         : "<a target=\"" + target + "\" href=\"" + uri +
                                               "\"><img border=0 style=\"cursor:hand\" src=\"" + image + "\"></a>";
  return Lines({start + cell + "</td><td nowrap colspan=\"1\" ID=\"node" + std::to_string(id) + "\"><a target=\"" +
                target + "\" href=\"" + uri + "\"><font class=" + text_class + ">" + name +
                "</font></a></td></tr></table>"});
}

}  // namespace halvane::tree_expected
