// The C interface of the server: layouts, strings, class objects, IDispatch
// with by-reference arguments and exception records, unloading.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/utf.h"
#include "halvane.h"
#include "server/automation.h"
#include "server/class_table.h"
#include "server/halvane_com.h"

namespace {

std::string GuidText(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

BSTR Bstr(const char* utf8) { return HalvaneSysAllocStringUtf8(utf8, std::strlen(utf8)); }

std::string Utf8(BSTR s) {
  std::size_t len = 0;
  char* text = HalvaneSysStringToUtf8(s, &len);
  std::string out(text, len);
  HalvaneFreeUtf8(text);
  return out;
}

VARIANT Str(const char* utf8) {
  VARIANT v;
  HalvaneVariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = Bstr(utf8);
  return v;
}

VARIANT I2(SHORT n) {
  VARIANT v;
  HalvaneVariantInit(&v);
  v.vt = VT_I2;
  v.iVal = n;
  return v;
}

// An IDispatch object of one class, and calls by name with arguments in
// declaration order (reversed into DISPPARAMS here).
class Dispatch {
 public:
  explicit Dispatch(const CLSID& clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(DllGetClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    if (factory == nullptr) return;
    EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IDispatch, reinterpret_cast<void**>(&d_)), S_OK);
    EXPECT_EQ(factory->lpVtbl->Release(factory), 0u);
  }
  ~Dispatch() {
    if (d_ != nullptr) {
      EXPECT_EQ(d_->lpVtbl->Release(d_), 0u);
    }
    HalvaneVariantClear(&result);
    ClearExcep();
  }
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

  IDispatch* get() const { return d_; }

  DISPID Id(const char* name) {
    BSTR n = Bstr(name);
    LPOLESTR names[] = {n};
    DISPID id = 0;
    EXPECT_EQ(d_->lpVtbl->GetIDsOfNames(d_, &IID_NULL, names, 1, 0, &id), S_OK) << name;
    HalvaneSysFreeString(n);
    return id;
  }

  // Args in declaration order; the VARIANTs stay owned by the caller.
  HRESULT Invoke(const char* name, WORD flags, std::vector<VARIANT*> args, std::vector<DISPID> named = {}) {
    std::vector<VARIANT> rev;
    for (auto it = args.rbegin(); it != args.rend(); ++it) rev.push_back(**it);
    DISPPARAMS p{rev.data(), named.data(), static_cast<UINT>(rev.size()), static_cast<UINT>(named.size())};
    HalvaneVariantClear(&result);
    ClearExcep();
    arg_err = 999;
    const HRESULT hr = d_->lpVtbl->Invoke(d_, Id(name), &IID_NULL, 0, flags, &p, &result, &excep, &arg_err);
    // By-value copies were passed; write back what a by-reference argument
    // pointed to is already in the caller's storage.
    return hr;
  }

  HRESULT Put(const char* name, VARIANT value) {
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS p{&value, &put, 1, 1};
    ClearExcep();
    const HRESULT hr =
        d_->lpVtbl->Invoke(d_, Id(name), &IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, &excep, nullptr);
    HalvaneVariantClear(&value);
    return hr;
  }

  std::string Text() const { return result.vt == VT_BSTR ? Utf8(result.bstrVal) : std::string("<not a string>"); }

  void ClearExcep() {
    HalvaneSysFreeString(excep.bstrSource);
    HalvaneSysFreeString(excep.bstrDescription);
    HalvaneSysFreeString(excep.bstrHelpFile);
    std::memset(&excep, 0, sizeof excep);
  }

  VARIANT result{};
  EXCEPINFO excep{};
  UINT arg_err = 0;

 private:
  IDispatch* d_ = nullptr;
};

TEST(AutomationCom, LayoutsAndIdentifiers) {
  // The usual automation layouts of a 64-bit platform.
  static_assert(sizeof(void*) == 8);
  EXPECT_EQ(sizeof(VARIANT), 24u);
  EXPECT_EQ(offsetof(VARIANT, vt), 0u);
  EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
  EXPECT_EQ(offsetof(VARIANT, brecVal.pRecInfo), 16u);
  EXPECT_EQ(sizeof(DISPPARAMS), 24u);
  EXPECT_EQ(offsetof(DISPPARAMS, cNamedArgs), 20u);
  EXPECT_EQ(offsetof(EXCEPINFO, bstrSource), 8u);
  EXPECT_EQ(offsetof(EXCEPINFO, dwHelpContext), 32u);
  EXPECT_EQ(offsetof(EXCEPINFO, scode), 56u);
  EXPECT_EQ(sizeof(EXCEPINFO), 64u);
  EXPECT_EQ(sizeof(TYPEATTR), 96u);
  EXPECT_EQ(offsetof(TYPEATTR, typekind), 44u);
  EXPECT_EQ(offsetof(TYPEATTR, wTypeFlags), 58u);
  EXPECT_EQ(sizeof(FUNCDESC), 88u);
  EXPECT_EQ(offsetof(FUNCDESC, cParams), 36u);
  EXPECT_EQ(offsetof(FUNCDESC, elemdescFunc), 48u);
  EXPECT_EQ(sizeof(ELEMDESC), 32u);
  EXPECT_EQ(sizeof(TLIBATTR), 32u);
  EXPECT_EQ(sizeof(ITypeInfoVtbl), 22 * sizeof(void*));
  EXPECT_EQ(sizeof(_TabsVtbl), (7 + 18) * sizeof(void*));
  EXPECT_EQ(sizeof(_TreeVtbl), (7 + 17) * sizeof(void*));
  EXPECT_EQ(sizeof(GUID), 16u);
  EXPECT_EQ(sizeof(OLECHAR), 2u);
  // The CLSIDs of the header are those of the class table.
  const std::vector<std::pair<const CLSID*, const char*>> ids = {{&CLSID_HalvaneAutoComplete, "Halvane.AutoComplete"},
                                                                 {&CLSID_HalvaneCalendar, "Halvane.Calendar"},
                                                                 {&CLSID_HalvanePopupMenu, "Halvane.PopupMenu"},
                                                                 {&CLSID_HalvaneProgressBar, "Halvane.ProgressBar"},
                                                                 {&CLSID_HalvaneTabs, "Halvane.Tabs"},
                                                                 {&CLSID_HalvaneTree, "Halvane.Tree"}};
  for (const auto& [clsid, prog_id] : ids) EXPECT_EQ(GuidText(*clsid), halvane::FindClass(prog_id)->clsid) << prog_id;
  const std::vector<std::pair<const IID*, const char*>> iids = {{&IID__AutoComplete, "Halvane.AutoComplete"},
                                                                {&IID__Calendar, "Halvane.Calendar"},
                                                                {&IID__PopupMenu, "Halvane.PopupMenu"},
                                                                {&IID__ProgressBar, "Halvane.ProgressBar"},
                                                                {&IID__Tabs, "Halvane.Tabs"},
                                                                {&IID__Tree, "Halvane.Tree"}};
  for (const auto& [iid, prog_id] : iids) EXPECT_EQ(GuidText(*iid), halvane::FindClass(prog_id)->iid) << prog_id;
  EXPECT_EQ(GuidText(LIBID_Halvane), halvane::Library().libid);
  EXPECT_EQ(GuidText(IID_IDispatch), "00020400-0000-0000-C000-000000000046");
}

TEST(AutomationCom, BstrsAreLengthPrefixedAndTranscodeLosslessly) {
  const OLECHAR text[] = {'a', 0, 'b'};
  BSTR s = HalvaneSysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  std::uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(HalvaneSysStringLen(s), 3u);
  EXPECT_EQ(HalvaneSysStringByteLen(s), 6u);
  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(Utf8(s), std::string("a\0b", 3));  // embedded zero kept
  HalvaneSysFreeString(s);

  const OLECHAR z[] = {'h', 'i', 0};
  s = HalvaneSysAllocString(z);
  EXPECT_EQ(HalvaneSysStringLen(s), 2u);
  HalvaneSysFreeString(s);
  EXPECT_EQ(HalvaneSysAllocString(nullptr), nullptr);
  EXPECT_EQ(HalvaneSysStringLen(nullptr), 0u);
  HalvaneSysFreeString(nullptr);
  EXPECT_EQ(Utf8(nullptr), "");

  // A lone surrogate, a pair and a BMP character survive UTF-16 -> UTF-8 ->
  // UTF-16.
  const OLECHAR odd[] = {0xD800, 'x', 0xDC00, 0xD83D, 0xDE00, 0x00E9};
  s = HalvaneSysAllocStringLen(odd, 6);
  const std::string mid = Utf8(s);
  BSTR back = HalvaneSysAllocStringUtf8(mid.data(), mid.size());
  ASSERT_EQ(HalvaneSysStringLen(back), 6u);
  EXPECT_EQ(std::memcmp(back, odd, sizeof odd), 0);
  EXPECT_EQ(mid.substr(7, 4), "\xF0\x9F\x98\x80");
  HalvaneSysFreeString(back);
  HalvaneSysFreeString(s);

  // ASCII is converted in blocks; what follows a long ASCII run (valid,
  // invalid and cut-off sequences, a pair, an encoded lone surrogate) comes
  // out as the character decoder gives it, in a BSTR of exactly that length.
  for (const std::size_t run : {0, 15, 16, 31, 32, 63, 64, 65, 100}) {
    for (const std::string tail :
         {"\xC3\xA9 and more text after it", "\xFF\xE2\x82x", "\xF0\x9F\x98\x80", "\xED\xA0\x80\xE2\x82"}) {
      const std::string text = std::string(run, 'a') + tail;
      const std::u16string want = halvane::utf::ToUtf16(text);
      BSTR b = Bstr(text.c_str());
      ASSERT_EQ(HalvaneSysStringLen(b), want.size()) << run << tail;
      EXPECT_EQ(std::u16string(b, b + want.size()), want) << run << tail;
      EXPECT_EQ(b[want.size()], 0);
      EXPECT_EQ(Utf8(b), halvane::utf::ToUtf8(want)) << run << tail;
      HalvaneSysFreeString(b);
    }
  }
  // Short texts go in blocks of 4, 8 and 16 that overlap at the end: one
  // non-ASCII character at every position (or none) of texts around those
  // sizes, both ways.
  for (const std::size_t n : {1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65}) {
    for (std::size_t at = 0; at <= n; ++at) {
      std::string text(n, 'a');
      if (at < n) text.replace(at, 1, "\xC3\xA9");
      const std::u16string want = halvane::utf::ToUtf16(text);
      BSTR b = HalvaneSysAllocStringUtf8(text.data(), text.size());
      ASSERT_EQ(HalvaneSysStringLen(b), n) << n << " " << at;
      EXPECT_EQ(std::u16string(b, b + n), want) << n << " " << at;
      EXPECT_EQ(Utf8(b), text) << n << " " << at;
      HalvaneSysFreeString(b);
    }
  }
}

TEST(AutomationCom, ClassObjectsAndInterfaces) {
  void* p = reinterpret_cast<void*>(1);
  const CLSID unknown = {0xF1326A1F, 0x51F9, 0x44AB, {0xB4, 0x20, 0xBC, 0x35, 0x55, 0xE0, 0x75, 0x70}};
  EXPECT_EQ(DllGetClassObject(&unknown, &IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(DllGetClassObject(&CLSID_HalvaneTabs, &IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(DllGetClassObject(&CLSID_HalvaneTree, &IID_IUnknown, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);  // a class object alone does not keep the library
  IUnknown outer{};
  EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, &outer, &IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->lpVtbl->LockServer(factory, 1), S_OK);
  EXPECT_EQ(factory->lpVtbl->Release(factory), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // locked
  IUnknown* unk = nullptr;
  {
    Dispatch tree(CLSID_HalvaneTree);
    ASSERT_NE(tree.get(), nullptr);
    IDispatch* d = tree.get();
    EXPECT_EQ(d->lpVtbl->QueryInterface(d, &IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(static_cast<void*>(unk), static_cast<void*>(d));
    // The dual interface is the same pointer; ISupportErrorInfo another.
    EXPECT_EQ(d->lpVtbl->QueryInterface(d, &IID__Tree, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(d));
    EXPECT_EQ(d->lpVtbl->Release(d), 2u);
    EXPECT_EQ(d->lpVtbl->QueryInterface(d, &IID__Tabs, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    ISupportErrorInfo* support = nullptr;
    ASSERT_EQ(d->lpVtbl->QueryInterface(d, &IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
    EXPECT_NE(static_cast<void*>(support), static_cast<void*>(d));
    EXPECT_EQ(support->lpVtbl->InterfaceSupportsErrorInfo(support, &IID__Tree), S_OK);
    EXPECT_EQ(support->lpVtbl->InterfaceSupportsErrorInfo(support, &IID_IClassFactory), S_FALSE);
    EXPECT_EQ(support->lpVtbl->QueryInterface(support, &IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(d));  // one identity
    EXPECT_EQ(support->lpVtbl->Release(support), 3u);
    EXPECT_EQ(support->lpVtbl->Release(support), 2u);
    UINT count = 9;
    EXPECT_EQ(d->lpVtbl->GetTypeInfoCount(d, &count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(unk->lpVtbl->Release(unk), 1u);
  }
  factory = nullptr;
  ASSERT_EQ(DllGetClassObject(&CLSID_HalvaneTree, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->lpVtbl->LockServer(factory, 0), S_OK);
  EXPECT_EQ(factory->lpVtbl->Release(factory), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(AutomationCom, NamesAndStatuses) {
  Dispatch tabs(CLSID_HalvaneTabs);
  IDispatch* d = tabs.get();
  BSTR lower = Bstr("writetab");
  BSTR bad = Bstr("WriteTabs");
  LPOLESTR names[] = {lower};
  DISPID id = 0;
  EXPECT_EQ(d->lpVtbl->GetIDsOfNames(d, &IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 0x6003000B);
  names[0] = bad;
  EXPECT_EQ(d->lpVtbl->GetIDsOfNames(d, &IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  EXPECT_EQ(d->lpVtbl->GetIDsOfNames(d, &IID_IDispatch, names, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
  HalvaneSysFreeString(lower);
  HalvaneSysFreeString(bad);

  VARIANT name = Str("T");
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(tabs.Invoke("IsVisible", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYPUT, {&name}, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYPUT, {&name}, {0}), DISP_E_NONAMEDARGS);
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYGET, {&name}, {0}), DISP_E_NONAMEDARGS);
  EXPECT_EQ(tabs.Invoke("TabName", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}), S_OK);
  EXPECT_EQ(tabs.Text(), "T");
  EXPECT_EQ(tabs.Invoke("WriteTab", DISPATCH_METHOD, {&name}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(tabs.Invoke("WriteTab", DISPATCH_METHOD, {&name, &name, &name, &name, &name}), DISP_E_BADPARAMCOUNT);
  HalvaneVariantClear(&name);

  // Conversion failures give the index into rgvarg (the last argument is 0).
  Dispatch ac(CLSID_HalvaneAutoComplete);
  VARIANT f = Str("f"), s = Str("s"), yes = Str("yes"), t = I2(-1);
  EXPECT_EQ(ac.Invoke("EmbedAutoComplete", DISPATCH_METHOD, {&f, &s, &t, &yes}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ac.arg_err, 0u);
  EXPECT_EQ(ac.Invoke("EmbedAutoComplete", DISPATCH_METHOD, {&f, &s, &yes, &t}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ac.arg_err, 1u);
  VARIANT disp;
  HalvaneVariantInit(&disp);
  disp.vt = VT_DISPATCH;
  EXPECT_EQ(ac.Invoke("EmbedAutoComplete", DISPATCH_METHOD, {&disp, &s, &t, &t}), DISP_E_BADVARTYPE);
  EXPECT_EQ(ac.arg_err, 3u);
  EXPECT_EQ(ac.Invoke("EmbedAutoComplete", DISPATCH_METHOD, {&f, &s, &t, &t}), S_OK);
  EXPECT_EQ(ac.Text(), halvane::AutoComplete().EmbedAutoComplete("f", "s", true, true));
  for (VARIANT* v : {&f, &s, &yes}) HalvaneVariantClear(v);

  Dispatch menu(CLSID_HalvanePopupMenu);
  VARIANT big;
  HalvaneVariantInit(&big);
  big.vt = VT_R8;
  big.dblVal = 40000;
  EXPECT_EQ(menu.Invoke("Width", DISPATCH_PROPERTYPUT, {&big}), DISP_E_OVERFLOW);
  EXPECT_EQ(menu.arg_err, 0u);
}

TEST(AutomationCom, ExceptionRecordOfAMemberError) {
  Dispatch cal(CLSID_HalvaneCalendar);
  EXPECT_EQ(cal.Put("ActiveDate", Str("2/30/2004")), DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<std::uint32_t>(cal.excep.scode), 0x800A0001u);
  EXPECT_EQ(Utf8(cal.excep.bstrSource), "Halvane.Calendar");
  EXPECT_EQ(Utf8(cal.excep.bstrDescription), "ActiveDate Property not a valid date.");
  EXPECT_EQ(cal.excep.bstrHelpFile, nullptr);
  EXPECT_EQ(cal.excep.wCode, 0);
}

TEST(AutomationCom, ByReferenceArgumentsReceiveTheWrittenBackValue) {
  Dispatch bar(CLSID_HalvaneProgressBar);
  // VT_BYREF | VT_VARIANT: the caller's VARIANT becomes the Boolean.
  VARIANT during = Str("True");
  VARIANT during_ref;
  HalvaneVariantInit(&during_ref);
  during_ref.vt = VT_BYREF | VT_VARIANT;
  during_ref.pvarVal = &during;
  // A typed reference keeps its type: an Integer 1 becomes -1.
  SHORT after = 0;
  VARIANT after_ref;
  HalvaneVariantInit(&after_ref);
  after_ref.vt = VT_BYREF | VT_I2;
  after_ref.piVal = &after;
  ASSERT_EQ(bar.Invoke("Show", DISPATCH_METHOD, {&during_ref, &after_ref}), S_OK);
  EXPECT_EQ(bar.Text(), halvane::ProgressBar().Show(halvane::Variant(true), halvane::Variant(false)));
  EXPECT_EQ(during.vt, VT_BOOL);
  EXPECT_EQ(during.boolVal, VARIANT_TRUE);
  EXPECT_EQ(after, 0);

  after = 1;
  ASSERT_EQ(bar.Invoke("HideOutput", DISPATCH_METHOD, {&after_ref}), S_OK);
  EXPECT_EQ(after, -1);

  // A by-reference String receives the Boolean as its text.
  BSTR text = Bstr("0");
  VARIANT text_ref;
  HalvaneVariantInit(&text_ref);
  text_ref.vt = VT_BYREF | VT_BSTR;
  text_ref.pbstrVal = &text;
  ASSERT_EQ(bar.Invoke("HideOutput", DISPATCH_METHOD, {&text_ref}), S_OK);
  EXPECT_EQ(Utf8(text), "False");
  HalvaneSysFreeString(text);

  // A by-reference argument the member does not write keeps its very BSTR.
  Dispatch tabs_ref(CLSID_HalvaneTabs);
  ASSERT_EQ(tabs_ref.Put("TabName", Str("t")), S_OK);
  BSTR frame = Bstr("main");
  BSTR const kept = frame;
  VARIANT frame_ref;
  HalvaneVariantInit(&frame_ref);
  frame_ref.vt = VT_BYREF | VT_BSTR;
  frame_ref.pbstrVal = &frame;
  VARIANT url = Str("u.htm");
  ASSERT_EQ(tabs_ref.Invoke("WriteTab", DISPATCH_METHOD, {&frame_ref, &url}), S_OK);
  EXPECT_NE(tabs_ref.Text().find("<iframe name=\"main\" border=1 frameborder=1 src=\"u.htm\""), std::string::npos);
  EXPECT_EQ(frame, kept);
  HalvaneSysFreeString(frame);
  HalvaneVariantClear(&url);
  HalvaneVariantClear(&during);

  // A typed parameter reads through a reference.
  Dispatch tabs(CLSID_HalvaneTabs);
  SHORT width = 80;
  VARIANT width_ref;
  HalvaneVariantInit(&width_ref);
  width_ref.vt = VT_BYREF | VT_I2;
  width_ref.piVal = &width;
  EXPECT_EQ(tabs.Invoke("TabWidth", DISPATCH_PROPERTYPUT, {&width_ref}), S_OK);
  EXPECT_EQ(tabs.Invoke("TabWidth", DISPATCH_PROPERTYGET, {}), S_OK);
  EXPECT_EQ(tabs.result.vt, VT_I2);
  EXPECT_EQ(tabs.result.iVal, 80);
  width_ref.piVal = nullptr;
  EXPECT_EQ(tabs.Invoke("TabWidth", DISPATCH_PROPERTYPUT, {&width_ref}), E_INVALIDARG);
}

TEST(AutomationCom, UnpairedSurrogatesRoundTripThroughAComponent) {
  Dispatch tabs(CLSID_HalvaneTabs);
  const OLECHAR odd[] = {'<', 0xDFFF, 0xD800, '>'};
  VARIANT v;
  HalvaneVariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = HalvaneSysAllocStringLen(odd, 4);
  ASSERT_EQ(tabs.Put("JavaScriptOnClick", v), S_OK);
  ASSERT_EQ(tabs.Invoke("JavaScriptOnClick", DISPATCH_PROPERTYGET, {}), S_OK);
  ASSERT_EQ(tabs.result.vt, VT_BSTR);
  ASSERT_EQ(HalvaneSysStringLen(tabs.result.bstrVal), 4u);
  EXPECT_EQ(std::memcmp(tabs.result.bstrVal, odd, sizeof odd), 0);
}

}  // namespace
