// The automation layer beyond what the component case files show: creation
// by identifier, reference counts, write-back into the caller's references,
// and the C interface (strings, class objects, Invoke's argument order,
// by-reference VARIANTs).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/utf.h"
#include "halvane.h"
#include "server/automation.h"
#include "server/halvane_com.h"
#include "support/bstr_text.h"

namespace halvane::automation {
namespace {

ObjectPtr Create(std::string_view id) {
  ObjectPtr p;
  EXPECT_EQ(CreateObject(id, p), kOk) << id;
  return p;
}

// Calls a member by name; `args` may hold references the member writes to.
HResult Call(Object& o, std::string_view name, InvokeKind kind, std::vector<Variant> args, Variant* result = nullptr,
             ExceptionInfo* excep = nullptr) {
  std::int32_t id = -1;
  const HResult hr = o.GetIDOfName(name, id);
  return hr != kOk ? hr : o.Invoke(id, kind, args, result, excep);
}

TEST(Automation, CreatesByProgIdOrClsidInAnyCaseAndNothingElse) {
  const std::pair<const char*, const char*> ids[] = {
      {"halvane.autocomplete", "AutoComplete"},
      {"HALVANE.CALENDAR", "Calendar"},
      {"{BB45D2B4-226D-4BD1-AA50-079C9C7570AB}", "ProgressBar"},
      {"f1326a1f-51f9-44ab-b420-bc3555e0757f", "Tabs"},
      {"{bfc10b8e-F8D0-4839-83ae-2E0B60C8BF58}", "Tree"},
  };
  for (const auto& [id, name] : ids) EXPECT_EQ(Create(id)->Class().name, name);
  for (const char* id : {"", "Halvane", "Halvane.Tab", "Halvane.Tabs.1", "{F1326A1F-51F9-44AB-B420-BC3555E0757F",
                         "{F1326A1F-51F9-44AB-B420-BC3555E07570}", "{84021F45-8AC5-4E3C-B7BA-2E1EB95D8AF9}"}) {
    ObjectPtr o = Create("Halvane.Tree");
    EXPECT_EQ(CreateObject(id, o), kClassENotAvailable) << id;
    EXPECT_FALSE(o) << id;
  }
  // Unknown names leave the DISPID alone; another class's member is unknown.
  ObjectPtr tree = Create("Halvane.Tree");
  for (const char* name : {"", "WriteNodes", "Write", "Width ", "TabCount"}) {
    std::int32_t id = 12345;
    EXPECT_EQ(tree->GetIDOfName(name, id), kDispEUnknownName) << name;
    EXPECT_EQ(id, 12345);
  }
  for (std::int32_t id : {0, -1, 0x60030000, 0x68030006, 0x6003000C})
    EXPECT_EQ(tree->Invoke(id, InvokeKind::Method, {}, nullptr, nullptr), kDispEMemberNotFound) << id;
}

TEST(Automation, ReferenceCountsAndServerLocks) {
  const std::uint32_t base = LiveObjectCount();
  {
    ObjectPtr a = Create("Halvane.Tree");
    EXPECT_EQ(a->AddRef(), 2u);
    ObjectPtr b = a;
    EXPECT_EQ(a->Release(), 2u);
    ObjectPtr c = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(LiveObjectCount(), base + 1);
  }
  EXPECT_EQ(LiveObjectCount(), base);
  ObjectPtr none;
  EXPECT_EQ(CreateObject("Halvane.Nothing", none), kClassENotAvailable);
  EXPECT_EQ(LiveObjectCount(), base);
  const std::uint32_t locks = LockCount();
  LockServer(true);
  EXPECT_EQ(LockCount(), locks + 1);
  LockServer(false);
  if (locks == 0) LockServer(false);  // an unlock without a lock does not wrap around
  EXPECT_EQ(LockCount(), locks);
}

TEST(Automation, WriteBackReachesReferencesOnly) {
  // (What a reference receives is shown through the C interface below.)
  // A value passed without a reference is the member's own copy.
  ObjectPtr bar = Create("Halvane.ProgressBar");
  Variant result;
  std::vector<Variant> args = {Variant("0")};
  std::int32_t id = 0;
  ASSERT_EQ(bar->GetIDOfName("HideOutput", id), kOk);
  ASSERT_EQ(bar->Invoke(id, InvokeKind::Method, args, nullptr, nullptr), kOk);
  EXPECT_EQ(args[0].Type(), VarType::String);
  // The first argument is converted and written back before the second fails.
  Variant first(1), second("nope");
  ExceptionInfo e;
  EXPECT_EQ(Call(*bar, "Show", InvokeKind::Method, {Variant::Ref(first), Variant::Ref(second)}, &result, &e),
            kDispEException);
  EXPECT_EQ(e.status, 0x800A000Du);
  EXPECT_EQ(first.Type(), VarType::Boolean);
  EXPECT_EQ(second.Type(), VarType::String);
  EXPECT_TRUE(result.IsEmpty());
  // A typed parameter reads through a reference, writes nothing back and
  // keeps its own copy.
  ObjectPtr tabs = Create("Halvane.Tabs");
  Variant width(80), name("Second");
  ASSERT_EQ(Call(*tabs, "TabWidth", InvokeKind::PropertyLet, {Variant::Ref(width)}), kOk);
  ASSERT_EQ(Call(*tabs, "TabName", InvokeKind::PropertyLet, {Variant::Ref(name)}), kOk);
  EXPECT_EQ(width.Type(), VarType::Long);
  name = Variant("changed");
  ASSERT_EQ(Call(*tabs, "TabName", InvokeKind::PropertyGet, {}, &result), kOk);
  EXPECT_EQ(ToString(result), "Second");
}

// ---- the C interface ---------------------------------------------------------

using namespace halvane::test_support;  // Bstr, Utf8, Taken, Var, TextVar

VARIANT Ref(VARTYPE vt, void* target) { return Var(VT_BYREF | vt, &VARIANT::byref, target); }

// An IDispatch object of one class; Invoke takes arguments in declaration
// order and reverses them into DISPPARAMS.
struct Dispatch {
  explicit Dispatch(const CLSID& clsid) {
    IClassFactory* f = nullptr;
    EXPECT_EQ(DllGetClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
    EXPECT_EQ(f->lpVtbl->CreateInstance(f, nullptr, &IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    f->lpVtbl->Release(f);
  }
  ~Dispatch() {
    EXPECT_EQ(d->lpVtbl->Release(d), 0u);
    HalvaneVariantClear(&result);
  }
  HRESULT Invoke(const char* name, WORD flags, std::vector<VARIANT> args, std::vector<DISPID> named = {}) {
    BSTR n = Bstr(name);
    DISPID id = 0;
    EXPECT_EQ(d->lpVtbl->GetIDsOfNames(d, &IID_NULL, &n, 1, 0, &id), S_OK) << name;
    HalvaneSysFreeString(n);
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS p{rev.data(), named.data(), static_cast<UINT>(rev.size()), static_cast<UINT>(named.size())};
    HalvaneVariantClear(&result);
    arg_err = 999;
    return d->lpVtbl->Invoke(d, id, &IID_NULL, 0, flags, &p, &result, nullptr, &arg_err);
  }
  IDispatch* d = nullptr;
  VARIANT result{};
  UINT arg_err = 0;
};

TEST(AutomationCom, BstrsAreLengthPrefixedAndTranscodeLosslessly) {
  const OLECHAR text[] = {'a', 0, 'b'};
  BSTR s = HalvaneSysAllocStringLen(text, 3);
  std::uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(Taken(s), std::string("a\0b", 3));
  EXPECT_EQ(HalvaneSysAllocString(nullptr), nullptr);
  EXPECT_EQ(Utf8(nullptr), "");
  // Lone surrogates, a pair and a BMP character survive both ways, also
  // through a component's property.
  const OLECHAR odd[] = {0xD800, 'x', 0xDC00, 0xD83D, 0xDE00, 0x00E9};
  const std::string mid = Taken(HalvaneSysAllocStringLen(odd, 6));
  EXPECT_EQ(mid.substr(7, 4), "\xF0\x9F\x98\x80");
  Dispatch tabs(CLSID_HalvaneTabs);
  VARIANT v = TextVar(mid);
  ASSERT_EQ(tabs.Invoke("JavaScriptOnClick", DISPATCH_PROPERTYPUT, {v}), S_OK);
  HalvaneVariantClear(&v);
  ASSERT_EQ(tabs.Invoke("JavaScriptOnClick", DISPATCH_PROPERTYGET, {}), S_OK);
  ASSERT_EQ(HalvaneSysStringLen(tabs.result.bstrVal), 6u);
  EXPECT_EQ(std::memcmp(tabs.result.bstrVal, odd, sizeof odd), 0);
}

// Texts are converted in blocks that overlap at the end: one character that
// is not plain ASCII (or U+007F, the last that is) at every position (or
// none) of texts around the block sizes, and odd sequences (invalid, cut
// off, an encoded lone surrogate, a lone byte 0x80) after ASCII runs short
// and long, come out as the character decoder gives them, both ways; and
// alike through a member's argument, narrowed into a buffer reused from call
// to call, and its property read back.
TEST(AutomationCom, BlockConversionMatchesTheCharacterDecoder) {
  Dispatch tabs(CLSID_HalvaneTabs);
  auto* t = reinterpret_cast<_Tabs*>(tabs.d);
  auto check = [t](const std::string& text) {
    const std::u16string want = utf::ToUtf16(text);
    BSTR b = HalvaneSysAllocStringUtf8(text.data(), text.size()), back = nullptr;
    ASSERT_EQ(HalvaneSysStringLen(b), want.size()) << text;
    EXPECT_EQ(std::u16string(b, b + want.size()), want) << text;
    EXPECT_EQ(b[want.size()], 0);
    EXPECT_EQ(Utf8(b), utf::ToUtf8(want)) << text;
    EXPECT_EQ(t->lpVtbl->put_TabName(t, &b), S_OK);
    EXPECT_EQ(t->lpVtbl->get_TabName(t, &back), S_OK);
    if (text.find("\xED\xA0\x80") == std::string::npos) {
      EXPECT_EQ(std::u16string(back, back + HalvaneSysStringLen(back)), want) << text;
    }
    HalvaneSysFreeString(back);
    HalvaneSysFreeString(b);
  };
  for (const std::size_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 15, 16, 17, 24, 25, 31, 32, 33, 63, 64, 65})
    for (std::size_t at = 0; at <= n; ++at)
      for (const char* odd : {"\xC3\xA9", "\x7F", "\xC2\x80", "\xED\xA0\x80"}) {
        std::string text(n, 'a');
        if (at < n) text.replace(at, 1, odd);
        check(text);
      }
  for (const std::size_t run : {0, 1, 2, 4, 8, 15, 16, 31, 32, 63, 64, 65, 100})
    for (const char* tail :
         {"\xC3\xA9 and more", "\xFF\xE2\x82x", "\xF0\x9F\x98\x80", "\xED\xA0\x80\xE2\x82", "\x7F\xC2\x80", "\x80"})
      check(std::string(run, 'a') + tail);
}

TEST(AutomationCom, ClassObjectsAndOneIdentity) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(&CLSID_HalvaneTabs, &IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(DllGetClassObject(&CLSID_HalvaneTree, &IID_IUnknown, reinterpret_cast<void**>(&factory)), S_OK);
  IUnknown outer{};
  EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, &outer, &IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->lpVtbl->LockServer(factory, 1), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->lpVtbl->LockServer(factory, 0), S_OK);
  EXPECT_EQ(factory->lpVtbl->Release(factory), 0u);
  Dispatch tree(CLSID_HalvaneTree);
  IDispatch* d = tree.d;
  EXPECT_EQ(d->lpVtbl->QueryInterface(d, &IID__Tree, &p), S_OK);
  EXPECT_EQ(p, static_cast<void*>(d));  // the dual interface is the same pointer
  d->lpVtbl->Release(d);
  EXPECT_EQ(d->lpVtbl->QueryInterface(d, &IID__Tabs, &p), E_NOINTERFACE);
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(d->lpVtbl->QueryInterface(d, &IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
  EXPECT_NE(static_cast<void*>(support), static_cast<void*>(d));
  EXPECT_EQ(support->lpVtbl->InterfaceSupportsErrorInfo(support, &IID_IClassFactory), S_FALSE);
  EXPECT_EQ(support->lpVtbl->QueryInterface(support, &IID_IUnknown, &p), S_OK);
  EXPECT_EQ(p, static_cast<void*>(d));  // one identity
  support->lpVtbl->Release(support);
  EXPECT_EQ(support->lpVtbl->Release(support), 1u);
}

TEST(AutomationCom, NamedArgumentsAndTheIndexOfAFailedArgument) {
  Dispatch tabs(CLSID_HalvaneTabs);
  BSTR bad = Bstr("WriteTabs");
  DISPID id = 0;
  EXPECT_EQ(tabs.d->lpVtbl->GetIDsOfNames(tabs.d, &IID_NULL, &bad, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  EXPECT_EQ(tabs.d->lpVtbl->GetIDsOfNames(tabs.d, &IID_IDispatch, &bad, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
  HalvaneSysFreeString(bad);
  VARIANT name = Var(VT_I2, &VARIANT::iVal, 7);
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYPUT, {name}, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYPUT, {name}, {0}), DISP_E_NONAMEDARGS);
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}), S_OK);
  EXPECT_EQ(Utf8(tabs.result.bstrVal), "7");
  // rgvarg holds the arguments last first: the index counts from the end.
  Dispatch ac(CLSID_HalvaneAutoComplete);
  VARIANT f = name, yes = TextVar("yes"), disp = Var(VT_DISPATCH, &VARIANT::pdispVal, nullptr);
  EXPECT_EQ(ac.Invoke("EmbedAutoComplete", DISPATCH_METHOD, {f, f, f, yes}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ac.arg_err, 0u);
  EXPECT_EQ(ac.Invoke("EmbedAutoComplete", DISPATCH_METHOD, {f, f, yes, f}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ac.arg_err, 1u);
  EXPECT_EQ(ac.Invoke("EmbedAutoComplete", DISPATCH_METHOD, {disp, f, f, f}), DISP_E_BADVARTYPE);
  EXPECT_EQ(ac.arg_err, 3u);
  HalvaneVariantClear(&yes);
}

TEST(AutomationCom, ByReferenceArgumentsKeepTheirKind) {
  Dispatch bar(CLSID_HalvaneProgressBar);
  VARIANT during = TextVar("True");
  SHORT after = 1;
  ASSERT_EQ(bar.Invoke("Show", DISPATCH_METHOD, {Ref(VT_VARIANT, &during), Ref(VT_I2, &after)}), S_OK);
  EXPECT_EQ(during.vt, VT_BOOL);  // a VARIANT reference takes the Boolean
  EXPECT_EQ(during.boolVal, VARIANT_TRUE);
  EXPECT_EQ(after, -1);  // a typed reference keeps its type
  BSTR text = Bstr("0");
  ASSERT_EQ(bar.Invoke("HideOutput", DISPATCH_METHOD, {Ref(VT_BSTR, &text)}), S_OK);
  EXPECT_EQ(Taken(text), "False");
  // A reference the member does not write keeps its very BSTR.
  Dispatch tabs(CLSID_HalvaneTabs);
  BSTR frame = Bstr("main");
  BSTR const kept = frame;
  ASSERT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYPUT, {Ref(VT_BSTR, &frame)}), S_OK);
  ASSERT_EQ(tabs.Invoke("WriteTab", DISPATCH_METHOD, {Ref(VT_BSTR, &frame), Ref(VT_BSTR, &frame)}), S_OK);
  EXPECT_EQ(frame, kept);
  HalvaneSysFreeString(frame);
  EXPECT_EQ(tabs.Invoke("TabWidth", DISPATCH_PROPERTYPUT, {Ref(VT_I2, nullptr)}), E_INVALIDARG);
}

}  // namespace
}  // namespace halvane::automation
