// The automation layer against the direct C++ call: the same member called
//   invoke/<case>/direct   on the C++ class
//   invoke/<case>/dispid   through Object::Invoke with a DISPID found once
//   invoke/<case>/name     through GetIDOfName + Invoke on every call
// bench/run.sh prints dispid/direct and name/direct time ratios.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "halvane.h"
#include "server/automation.h"

namespace halvane::bench {
namespace {

using automation::InvokeKind;
using automation::ObjectPtr;

ObjectPtr Create(const char* prog_id) {
  ObjectPtr obj;
  if (automation::CreateObject(prog_id, obj) != automation::kOk) std::abort();
  return obj;
}

std::int32_t DispId(const ObjectPtr& obj, const char* name) {
  std::int32_t id = 0;
  if (obj->GetIDOfName(name, id) != automation::kOk) std::abort();
  return id;
}

// One member reached through the layer: a prepared object, its name and the
// arguments of every call (made once; the layer only reads plain values).
struct Target {
  ObjectPtr obj;
  const char* name;
  InvokeKind kind;
  std::vector<Variant> args;
};

template <class Direct, class Prepare>
void RegisterInvoke(const std::string& name, Direct direct, Prepare prepare) {
  bm::RegisterBenchmark(("invoke/" + name + "/direct").c_str(), [direct](bm::State& state) {
    auto obj = direct.make();
    for (auto _ : state) direct.call(obj);
  });
  bm::RegisterBenchmark(("invoke/" + name + "/dispid").c_str(), [prepare](bm::State& state) {
    Target t = prepare();
    const std::int32_t id = DispId(t.obj, t.name);
    for (auto _ : state) {
      Variant result;
      const auto hr = t.obj->Invoke(id, t.kind, t.args, &result, nullptr);
      bm::DoNotOptimize(hr);
      bm::DoNotOptimize(result);
    }
  });
  bm::RegisterBenchmark(("invoke/" + name + "/name").c_str(), [prepare](bm::State& state) {
    Target t = prepare();
    for (auto _ : state) {
      std::int32_t id = 0;
      t.obj->GetIDOfName(t.name, id);
      Variant result;
      const auto hr = t.obj->Invoke(id, t.kind, t.args, &result, nullptr);
      bm::DoNotOptimize(hr);
      bm::DoNotOptimize(result);
    }
  });
}

template <class Make, class Call>
struct Direct {
  Make make;
  Call call;
};
template <class Make, class Call>
Direct<Make, Call> MakeDirect(Make make, Call call) {
  return {make, call};
}

Tabs MakeTabs() {
  Tabs t;
  t.TabCount(5);
  t.TabWidth(90);
  t.TabName("Quarterly report");
  return t;
}

Target TabsTarget(const char* name, InvokeKind kind, std::vector<Variant> args) {
  ObjectPtr obj = Create("Halvane.Tabs");
  std::array<Variant, 1> v = {Variant(std::int16_t{90})};
  obj->Invoke(DispId(obj, "TabWidth"), InvokeKind::PropertyLet, v, nullptr, nullptr);
  std::array<Variant, 1> n = {Variant("Quarterly report")};
  obj->Invoke(DispId(obj, "TabName"), InvokeKind::PropertyLet, n, nullptr, nullptr);
  return Target{obj, name, kind, std::move(args)};
}

Target TreeTarget(const char* name, std::vector<Variant> args) {
  ObjectPtr obj = Create("Halvane.Tree");
  obj->Invoke(DispId(obj, "Initialize"), InvokeKind::Method, {}, nullptr, nullptr);
  return Target{obj, name, InvokeKind::Method, std::move(args)};
}

[[maybe_unused]] const int kRegistered = [] {
  RegisterInvoke("Tabs.TabWidth-get",
                 MakeDirect(MakeTabs, [](Tabs& t) { bm::DoNotOptimize(t.TabWidth()); }),
                 [] { return TabsTarget("TabWidth", InvokeKind::PropertyGet, {}); });
  RegisterInvoke("Tabs.TabWidth-let",
                 MakeDirect(MakeTabs,
                            [](Tabs& t) {
                              t.TabWidth(90);
                              bm::ClobberMemory();
                            }),
                 [] { return TabsTarget("TabWidth", InvokeKind::PropertyLet, {Variant(std::int16_t{90})}); });
  RegisterInvoke("Tabs.TabName-get",
                 MakeDirect(MakeTabs,
                            [](Tabs& t) {
                              std::string s = t.TabName();
                              Consume(s);
                            }),
                 [] { return TabsTarget("TabName", InvokeKind::PropertyGet, {}); });
  RegisterInvoke("ProgressBar.SetValue",
                 MakeDirect([] { return ProgressBar(); },
                            [](ProgressBar& b) {
                              std::string s = b.SetValue(Variant(42));
                              Consume(s);
                            }),
                 [] { return Target{Create("Halvane.ProgressBar"), "SetValue", InvokeKind::Method, {Variant(42)}}; });
  RegisterInvoke("Tree.WriteMenuFooter",
                 MakeDirect(
                     [] {
                       Tree t;
                       t.Initialize();
                       return t;
                     },
                     [](Tree& t) {
                       std::string s = t.WriteMenuFooter();
                       Consume(s);
                     }),
                 [] { return TreeTarget("WriteMenuFooter", {}); });
  static const std::string kName = "Installation guide", kUri = "/docs/install.htm", kTarget = "_top";
  RegisterInvoke("Tree.WriteNode",
                 MakeDirect(
                     [] {
                       Tree t;
                       t.Initialize();
                       return t;
                     },
                     [](Tree& t) {
                       std::string s = t.WriteNode(kName, kUri, kTarget);
                       Consume(s);
                     }),
                 [] { return TreeTarget("WriteNode", {Variant(kName), Variant(kUri), Variant(kTarget)}); });
  return 0;
}();

}  // namespace
}  // namespace halvane::bench
