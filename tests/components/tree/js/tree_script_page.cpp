// Writes a small tree page for the script tests: the expand/collapse-all
// images, menu A holding a node and the nested menu B, then menu C.
//   tree_script_page default   the default image paths
//   tree_script_page relative  folder images at paths relative to the page
#include <cstdio>
#include <string>
#include <string_view>

#include "components/tree/tree.h"

int main(int argc, char** argv) {
  halvane::Tree tree;
  if (argc > 1 && std::string_view(argv[1]) == "relative") {
    tree.ExpandedImage("img/open.gif");
    tree.CollapsedImage("img/shut.gif");
  }
  std::string page = "<html><body>\r\n";
  page += tree.WriteExpandCollapse();
  page += tree.WriteMenuHeader("A");
  page += tree.WriteNode("a1", "a1.htm", "main", "/images/doc.gif");
  page += tree.WriteMenuHeader("B");
  page += tree.WriteNode("b1", "b1.htm", "main");
  page += tree.WriteMenuFooter();
  page += tree.WriteMenuFooter();
  page += tree.WriteMenuHeader("C");
  page += tree.WriteNode("c1", "c1.htm", "main");
  page += tree.WriteMenuFooter();
  page += "</body></html>\r\n";
  std::fwrite(page.data(), 1, page.size(), stdout);
  return 0;
}
