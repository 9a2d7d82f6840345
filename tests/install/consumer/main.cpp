// A program built against an installed Halvane: the second tab of a tab
// set, written once through the C++ class and once through the automation
// layer, must be the same text.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
  const std::string direct = tabs.WriteTab(Variant("main"), Variant("page2.htm"));

  namespace automation = halvane::automation;
  automation::ObjectPtr o;
  if (automation::CreateObject("Halvane.Tabs", o) != automation::kOk) return 1;
  auto call = [&](const char* name, automation::InvokeKind kind, std::vector<Variant> args) {
    std::int32_t id = 0;
    Variant result;
    if (o->GetIDOfName(name, id) != automation::kOk || o->Invoke(id, kind, args, &result, nullptr) != automation::kOk)
      std::exit(1);
    return result;
  };
  const auto let = automation::InvokeKind::PropertyLet;
  call("TabCount", let, {Variant(3)});
  call("TabWidth", let, {Variant(80)});
  call("PanelWidth", let, {Variant(400)});
  call("PanelHeight", let, {Variant(300)});
  call("TabName", let, {Variant("First")});
  call("WriteTab", automation::InvokeKind::Method, {Variant("main"), Variant("page1.htm")});
  call("MoveNextLayerColor", automation::InvokeKind::Method, {});
  call("TabName", let, {Variant("Second")});
  const Variant late = call("WriteTab", automation::InvokeKind::Method, {Variant("main"), Variant("page2.htm")});
  if (halvane::ToString(late) != direct) return 1;
  std::fwrite(direct.data(), 1, direct.size(), stdout);
  return 0;
}
