// The automation layer against the direct C++ call: the same member called
//   invoke/<case>/direct     on the C++ class
//   invoke/<case>/dispid     through Object::Invoke with a DISPID found once
//   invoke/<case>/name       through GetIDOfName + Invoke on every call
//   invoke/<case>/idispatch  through IDispatch::Invoke of the C interface
//   invoke/<case>/table      through the dual interface's function table
//   invoke/<case>/direct+utf16  the direct call and its text made a BSTR
// bench/run.sh prints each path's time over the direct call's.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/bench_util.h"
#include "halvane.h"
#include "server/automation.h"
#include "server/halvane_com.h"

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

BSTR Bstr(const std::string& text) { return HalvaneSysAllocStringUtf8(text.data(), text.size()); }

// A member that returns its text also gets `direct+utf16`: the direct call
// and its result turned into a BSTR, the least that any call through the C
// interface does.
template <class Direct, class Prepare>
void RegisterInvoke(const std::string& name, Direct direct, Prepare prepare) {
  using Obj = decltype(direct.make());
  constexpr bool kText = std::is_same_v<std::invoke_result_t<const decltype(direct.call)&, Obj&>, std::string>;
  bm::RegisterBenchmark(("invoke/" + name + "/direct").c_str(), [direct](bm::State& state) {
    auto obj = direct.make();
    for (auto _ : state) {
      if constexpr (kText) {
        std::string s = direct.call(obj);
        Consume(s);
      } else {
        direct.call(obj);
      }
    }
  });
  if constexpr (kText) {
    bm::RegisterBenchmark(("invoke/" + name + "/direct+utf16").c_str(), [direct](bm::State& state) {
      auto obj = direct.make();
      for (auto _ : state) {
        BSTR s = Bstr(direct.call(obj));
        bm::DoNotOptimize(s);
        SysFreeString(s);
      }
    });
  }
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

// An object of the C interface, asked for by its dual interface's IID.
template <class I>
I* CreateCom(const CLSID& clsid, const IID& iid) {
  IClassFactory* factory = nullptr;
  void* object = nullptr;
  if (DllGetClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) std::abort();
  if (factory->lpVtbl->CreateInstance(factory, nullptr, &iid, &object) != S_OK) std::abort();
  factory->lpVtbl->Release(factory);
  return static_cast<I*>(object);
}

// A member through IDispatch::Invoke (arguments last first) and through the
// function table: `setup` prepares the object once, `call` makes one call
// through the table.
template <class I, class Setup, class Call>
void RegisterCom(const std::string& name, const CLSID& clsid, const IID& iid, DISPID dispid, WORD flags,
                 std::vector<Variant> args, Setup setup, Call call) {
  bm::RegisterBenchmark(("invoke/" + name + "/idispatch").c_str(), [=](bm::State& state) {
    I* obj = CreateCom<I>(clsid, iid);
    setup(obj);
    auto* d = reinterpret_cast<IDispatch*>(obj);
    std::vector<VARIANT> argv(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
      VARIANT& v = argv[args.size() - 1 - i];
      VariantInit(&v);
      if (args[i].Type() == VarType::String) {
        v.vt = VT_BSTR;
        v.bstrVal = Bstr(args[i].RawString());
      } else {
        v.vt = VT_I4;
        v.lVal = args[i].RawInt();
      }
    }
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{argv.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(argv.size()),
                      flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    for (auto _ : state) {
      VARIANT result;
      const HRESULT hr = d->lpVtbl->Invoke(d, dispid, &IID_NULL, 0, flags, &params,
                                           flags == DISPATCH_PROPERTYPUT ? nullptr : &result, nullptr, nullptr);
      bm::DoNotOptimize(hr);
      if (flags != DISPATCH_PROPERTYPUT) VariantClear(&result);
    }
    for (VARIANT& v : argv) VariantClear(&v);
    obj->lpVtbl->Release(obj);
  });
  bm::RegisterBenchmark(("invoke/" + name + "/table").c_str(), [=](bm::State& state) {
    I* obj = CreateCom<I>(clsid, iid);
    setup(obj);
    for (auto _ : state) call(obj);
    obj->lpVtbl->Release(obj);
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

void FillMenu(PopupMenu& m) {
  m.AddMenuTitle("Actions");
  for (int i = 0; i < 8; ++i) m.AddMenuItem("Open the document", "openDocument(this)", "images/open.gif");
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
  RegisterInvoke("Tabs.TabWidth-get", MakeDirect(MakeTabs, [](Tabs& t) { bm::DoNotOptimize(t.TabWidth()); }),
                 [] { return TabsTarget("TabWidth", InvokeKind::PropertyGet, {}); });
  RegisterInvoke("Tabs.TabWidth-let",
                 MakeDirect(MakeTabs,
                            [](Tabs& t) {
                              t.TabWidth(90);
                              bm::ClobberMemory();
                            }),
                 [] { return TabsTarget("TabWidth", InvokeKind::PropertyLet, {Variant(std::int16_t{90})}); });
  RegisterInvoke("Tabs.TabName-get", MakeDirect(MakeTabs, [](Tabs& t) { return t.TabName(); }),
                 [] { return TabsTarget("TabName", InvokeKind::PropertyGet, {}); });
  RegisterInvoke("ProgressBar.SetValue",
                 MakeDirect([] { return ProgressBar(); }, [](ProgressBar& b) { return b.SetValue(Variant(42)); }), [] {
                   return Target{Create("Halvane.ProgressBar"), "SetValue", InvokeKind::Method, {Variant(42)}};
                 });
  RegisterInvoke("Tree.WriteMenuFooter",
                 MakeDirect(
                     [] {
                       Tree t;
                       t.Initialize();
                       return t;
                     },
                     [](Tree& t) { return t.WriteMenuFooter(); }),
                 [] { return TreeTarget("WriteMenuFooter", {}); });
  static const std::string kName = "Installation guide", kUri = "/docs/install.htm", kTarget = "_top";
  RegisterInvoke("Tree.WriteNode",
                 MakeDirect(
                     [] {
                       Tree t;
                       t.Initialize();
                       return t;
                     },
                     [](Tree& t) { return t.WriteNode(kName, kUri, kTarget); }),
                 [] {
                   return TreeTarget("WriteNode", {Variant(kName), Variant(kUri), Variant(kTarget)});
                 });
  // An output member with a page-sized result: a menu of a title and
  // eight items, complete in every result.
  RegisterInvoke("PopupMenu.EmbedPopupMenu",
                 MakeDirect(
                     [] {
                       PopupMenu m;
                       FillMenu(m);
                       return m;
                     },
                     [](PopupMenu& m) { return m.EmbedPopupMenu(); }),
                 [] {
                   ObjectPtr obj = Create("Halvane.PopupMenu");
                   std::array<Variant, 1> title = {Variant("Actions")};
                   obj->Invoke(DispId(obj, "AddMenuTitle"), InvokeKind::Method, title, nullptr, nullptr);
                   for (int i = 0; i < 8; ++i) {
                     std::array<Variant, 3> item = {Variant("Open the document"), Variant("openDocument(this)"),
                                                    Variant("images/open.gif")};
                     obj->Invoke(DispId(obj, "AddMenuItem"), InvokeKind::Method, item, nullptr, nullptr);
                   }
                   return Target{obj, "EmbedPopupMenu", InvokeKind::Method, {}};
                 });

  // The same members through the C interface.
  auto tabs_setup = [](_Tabs* t) {
    SHORT width = 90;
    t->lpVtbl->put_TabWidth(t, &width);
    BSTR name = Bstr("Quarterly report");
    t->lpVtbl->put_TabName(t, &name);
    SysFreeString(name);
  };
  RegisterCom<_Tabs>("Tabs.TabWidth-get", CLSID_HalvaneTabs, IID__Tabs, 0x68030005, DISPATCH_PROPERTYGET, {},
                     tabs_setup, [](_Tabs* t) {
                       SHORT w = 0;
                       bm::DoNotOptimize(t->lpVtbl->get_TabWidth(t, &w));
                       bm::DoNotOptimize(w);
                     });
  RegisterCom<_Tabs>("Tabs.TabWidth-let", CLSID_HalvaneTabs, IID__Tabs, 0x68030005, DISPATCH_PROPERTYPUT,
                     {Variant(std::int16_t{90})}, tabs_setup, [](_Tabs* t) {
                       SHORT w = 90;
                       bm::DoNotOptimize(t->lpVtbl->put_TabWidth(t, &w));
                     });
  RegisterCom<_Tabs>("Tabs.TabName-get", CLSID_HalvaneTabs, IID__Tabs, 0x68030006, DISPATCH_PROPERTYGET, {}, tabs_setup,
                     [](_Tabs* t) {
                       BSTR s = nullptr;
                       bm::DoNotOptimize(t->lpVtbl->get_TabName(t, &s));
                       SysFreeString(s);
                     });
  RegisterCom<_ProgressBar>(
      "ProgressBar.SetValue", CLSID_HalvaneProgressBar, IID__ProgressBar, 0x60030004, DISPATCH_METHOD, {Variant(42)},
      [](_ProgressBar*) {},
      [](_ProgressBar* b) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = 42;
        BSTR s = nullptr;
        bm::DoNotOptimize(b->lpVtbl->SetValue(b, &v, &s));
        SysFreeString(s);
      });
  auto tree_setup = [](_Tree* t) {
    BSTR s = nullptr;
    t->lpVtbl->Initialize(t, &s);
    SysFreeString(s);
  };
  RegisterCom<_Tree>("Tree.WriteMenuFooter", CLSID_HalvaneTree, IID__Tree, 0x6003000A, DISPATCH_METHOD, {}, tree_setup,
                     [](_Tree* t) {
                       BSTR s = nullptr;
                       bm::DoNotOptimize(t->lpVtbl->WriteMenuFooter(t, &s));
                       SysFreeString(s);
                     });
  static BSTR name = Bstr(kName), uri = Bstr(kUri), target = Bstr(kTarget);
  RegisterCom<_Tree>("Tree.WriteNode", CLSID_HalvaneTree, IID__Tree, 0x6003000B, DISPATCH_METHOD,
                     {Variant(kName), Variant(kUri), Variant(kTarget)}, tree_setup, [](_Tree* t) {
                       BSTR s = nullptr;
                       bm::DoNotOptimize(t->lpVtbl->WriteNode(t, &name, &uri, &target, nullptr, &s));
                       SysFreeString(s);
                     });
  RegisterCom<_PopupMenu>(
      "PopupMenu.EmbedPopupMenu", CLSID_HalvanePopupMenu, IID__PopupMenu, 0x60030009, DISPATCH_METHOD, {},
      [](_PopupMenu* m) {
        BSTR title = Bstr("Actions"), display = Bstr("Open the document"), click = Bstr("openDocument(this)"),
             image = Bstr("images/open.gif");
        m->lpVtbl->AddMenuTitle(m, &title);
        for (int i = 0; i < 8; ++i) m->lpVtbl->AddMenuItem(m, &display, &click, &image);
        for (BSTR b : {title, display, click, image}) SysFreeString(b);
      },
      [](_PopupMenu* m) {
        BSTR s = nullptr;
        bm::DoNotOptimize(m->lpVtbl->EmbedPopupMenu(m, &s));
        SysFreeString(s);
      });
  return 0;
}();

}  // namespace
}  // namespace halvane::bench
