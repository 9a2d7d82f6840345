// A program built against an installed Halvane: the second tab of a tab set
// through the C++ class (its text is compared with expected.txt), and a Tabs
// object made through the automation layer, whose header is installed too.
#include <cstdio>
#include <string>

#include "halvane.h"
#include "server/automation.h"

int main() {
  using halvane::Variant;
  halvane::Tabs tabs;
  tabs.TabCount(3);
  tabs.TabWidth(80);
  tabs.PanelWidth(400);
  tabs.PanelHeight(300);
  tabs.TabName("First");
  tabs.WriteTab(Variant("main"), Variant("page1.htm"));
  tabs.MoveNextLayerColor();
  tabs.TabName("Second");
  const std::string text = tabs.WriteTab(Variant("main"), Variant("page2.htm"));
  halvane::automation::ObjectPtr o;
  if (halvane::automation::CreateObject("Halvane.Tabs", o) != halvane::automation::kOk) return 1;
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
