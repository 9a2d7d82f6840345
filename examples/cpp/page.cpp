// A complete page built with all six components from C++.
//   build/examples/example_page > page.html
#include <cstdio>
#include <string>

#include "halvane.h"

int main() {
  using halvane::Variant;
  std::string page = "<html><body><form>\r\n";

  // A field that completes from the select list beside it.
  halvane::AutoComplete ac;
  page += ac.EmbedAutoComplete("city", "cityList", true, true);
  page += "<select name=\"cityList\"><option>Amsterdam</option><option>Berlin</option></select>\r\n";

  // A read-only date field with a popup calendar, and an embedded one.
  halvane::Calendar cal;
  cal.ActiveDate(Variant("3/5/2004"));
  page += cal.DisplayPopup(Variant("due"));
  page += "<script>function agenda_OnClick(d) { alert(d); }</script>\r\n";
  page += cal.DisplayEmbedded(Variant("agenda"));
  page += "</form>\r\n";

  // A context menu with a title, an item and a rule.
  halvane::PopupMenu menu;
  menu.AddMenuTitle("Edit");
  menu.AddMenuItem("Open", "doOpen()", "open.gif");
  menu.AddHorizontalRule("dot.gif");
  page += menu.EmbedPopupMenu();

  // Two tabs, the second a shade lighter.
  halvane::Tabs tabs;
  tabs.TabCount(2);
  tabs.TabWidth(80);
  tabs.PanelWidth(400);
  tabs.PanelHeight(300);
  tabs.TabName("First");
  page += tabs.WriteTab(Variant("main"), Variant("page1.htm"));
  tabs.MoveNextLayerColor();
  tabs.TabName("Second");
  page += tabs.WriteTab(Variant("main"), Variant("page2.htm"));
  page += "</div>\r\n";

  // A tree with one menu of two nodes.
  halvane::Tree tree;
  page += tree.WriteExpandCollapse();
  page += tree.WriteMenuHeader("Docs");
  page += tree.WriteNode("Guide", "/guide.htm", "_top");
  page += tree.WriteNode("Reference", "/ref.htm", "_top", " ");
  page += tree.WriteMenuFooter();

  // A progress bar advanced to 42 of 250.
  halvane::ProgressBar bar;
  bar.Max(Variant(250));
  page += bar.Show(Variant(false), Variant(false));
  page += bar.SetValue(Variant(42));
  page += "</div></body></html>\r\n";

  try {
    cal.ActiveDate(Variant("2/30/2004"));
  } catch (const halvane::Error& e) {
    std::fprintf(stderr, "%d %s: %s (0x%08X)\n", e.Number(), e.Source().c_str(), e.Description().c_str(), e.Status());
  }
  std::fwrite(page.data(), 1, page.size(), stdout);
  return 0;
}
