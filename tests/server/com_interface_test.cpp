// The C interface against what a C host relies on: the published
// identifiers, out-pointers after a failure, reference counts of every
// object kind, and the function table and IDispatch::Invoke giving what the
// C++ member gives, errors included.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "halvane.h"
#include "server/halvane_com.h"
#include "support/bstr_text.h"

namespace {

std::string Text(const GUID& g) {
  char out[40];
  std::snprintf(out, sizeof out, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return out;
}

using namespace halvane::test_support;  // Bstr, Utf8, Taken, Var, TextVar

template <class I>
I* Create(const CLSID& clsid, const IID& iid) {
  IClassFactory* f = nullptr;
  EXPECT_EQ(DllGetClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
  void* object = nullptr;
  EXPECT_EQ(f->lpVtbl->CreateInstance(f, nullptr, &iid, &object), S_OK);
  f->lpVtbl->Release(f);
  return static_cast<I*>(object);
}

// IDispatch::Invoke with `n` arguments, last first as DISPPARAMS holds them;
// a property put names its argument.
HRESULT Invoke(IDispatch* d, DISPID id, WORD flags, VARIANT* args, UINT n, VARIANT* result, EXCEPINFO* e = nullptr) {
  DISPID put = DISPID_PROPERTYPUT;
  const UINT named = flags == DISPATCH_PROPERTYPUT ? 1 : 0;
  DISPPARAMS p{args, named ? &put : nullptr, n, named};
  return d->lpVtbl->Invoke(d, id, &IID_NULL, 0, flags, &p, result, e, nullptr);
}

// The identifiers as documented for the library, written out here rather
// than taken from the header (the standard ones the library itself uses,
// IUnknown, IClassFactory, ISupportErrorInfo and IID_NULL, are passed to it
// by the C host from its own declarations).
TEST(ComInterface, IdentifiersAreThePublishedOnes) {
  const std::pair<const GUID*, const char*> ids[] = {
      {&LIBID_Halvane, "0B0251ED-0859-4996-AE59-5F70D7159274"},
      {&CLSID_HalvaneAutoComplete, "DA0D95C8-24C5-40B5-BBB0-8BEA6A7E3A3E"},
      {&IID__AutoComplete, "B5074728-1BC9-4D6D-A407-75E69A464B08"},
      {&CLSID_HalvaneCalendar, "69F2EBBF-D021-46B1-A87C-55D8A8A17FC8"},
      {&IID__Calendar, "1087AF29-8CB5-4A75-BDAC-8E68C92A8303"},
      {&CLSID_HalvanePopupMenu, "1AE2A7A8-53BC-4D83-A89B-539EA018FCA5"},
      {&IID__PopupMenu, "27DDE07C-F7B6-4DA9-B4E1-68C8CF7609B3"},
      {&CLSID_HalvaneProgressBar, "BB45D2B4-226D-4BD1-AA50-079C9C7570AB"},
      {&IID__ProgressBar, "70A1941F-F849-4057-9831-A92D373598F5"},
      {&CLSID_HalvaneTabs, "F1326A1F-51F9-44AB-B420-BC3555E0757F"},
      {&IID__Tabs, "84021F45-8AC5-4E3C-B7BA-2E1EB95D8AF9"},
      {&CLSID_HalvaneTree, "BFC10B8E-F8D0-4839-83AE-2E0B60C8BF58"},
      {&IID__Tree, "ABD5F1EE-D162-48F2-8F4A-138F265D499E"},
      {&IID_IDispatch, "00020400-0000-0000-C000-000000000046"},
      {&IID_ITypeInfo, "00020401-0000-0000-C000-000000000046"},
      {&IID_ITypeLib, "00020402-0000-0000-C000-000000000046"},
      {&IID_IErrorInfo, "1CF2B120-547D-101B-8E65-08002B2BD119"},
      {&IID_ICreateErrorInfo, "22F03340-547D-101B-8E65-08002B2BD119"},
  };
  for (const auto& [guid, text] : ids) EXPECT_EQ(Text(*guid), text);
}

// Every object kind counts its references alike, and a refused interface
// leaves the caller's pointer null.
TEST(ComInterface, ReferenceCountsAndRefusedInterfaces) {
  // AddRef counts up from `held`; `refused` is refused, the pointer nulled; Release counts down again.
  auto counts = [](auto* o, ULONG held, const IID& refused) {
    EXPECT_EQ(o->lpVtbl->AddRef(o), held + 1);
    void* p = &p;
    EXPECT_EQ(o->lpVtbl->QueryInterface(o, &refused, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(o->lpVtbl->Release(o), held);
  };
  IClassFactory* f = nullptr;
  ASSERT_EQ(DllGetClassObject(&CLSID_HalvaneTabs, &IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
  counts(f, 1, IID_IDispatch);

  IDispatch* d = nullptr;
  ASSERT_EQ(f->lpVtbl->CreateInstance(f, nullptr, &IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  EXPECT_EQ(f->lpVtbl->Release(f), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(d->lpVtbl->AddRef(d), 2u);
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(d->lpVtbl->QueryInterface(d, &IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
  EXPECT_EQ(support->lpVtbl->AddRef(support), 4u);  // one count for the whole object
  EXPECT_EQ(support->lpVtbl->Release(support), 3u);
  EXPECT_EQ(support->lpVtbl->InterfaceSupportsErrorInfo(support, &IID__Tabs), S_OK);
  EXPECT_EQ(support->lpVtbl->InterfaceSupportsErrorInfo(support, &IID__Tree), S_FALSE);
  EXPECT_EQ(support->lpVtbl->Release(support), 2u);

  ITypeInfo* info = nullptr;
  ASSERT_EQ(d->lpVtbl->GetTypeInfo(d, 0, 0, &info), S_OK);
  EXPECT_EQ(info->lpVtbl->AddRef(info), 2u);
  void* p = &p;
  EXPECT_EQ(info->lpVtbl->QueryInterface(info, &IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(info->lpVtbl->QueryInterface(info, &IID_IUnknown, &p), S_OK);
  EXPECT_EQ(p, static_cast<void*>(info));
  EXPECT_EQ(info->lpVtbl->Release(info), 2u);
  ITypeLib* lib = nullptr;
  UINT index = 99;
  ASSERT_EQ(info->lpVtbl->GetContainingTypeLib(info, &lib, &index), S_OK);
  EXPECT_EQ(index, 8u);  // Tabs is the fifth class: its interface comes ninth
  counts(lib, 1, IID_ITypeInfo);
  EXPECT_EQ(lib->lpVtbl->Release(lib), 0u);
  EXPECT_EQ(info->lpVtbl->Release(info), 1u);
  EXPECT_EQ(info->lpVtbl->Release(info), 0u);

  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  IErrorInfo* error = nullptr;
  ASSERT_EQ(create->lpVtbl->QueryInterface(create, &IID_IErrorInfo, reinterpret_cast<void**>(&error)), S_OK);
  counts(error, 2, IID_IDispatch);
  EXPECT_EQ(create->lpVtbl->Release(create), 1u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(error->lpVtbl->Release(error), 0u);

  EXPECT_EQ(d->lpVtbl->Release(d), 1u);
  EXPECT_EQ(d->lpVtbl->Release(d), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// The type information's members that describe nothing here, or are asked
// past their end, each with its status (written out, not taken from the
// header) and its out-pointer left null; and what they describe of the Tabs
// interface (index 8) and its class (index 9).
TEST(ComInterface, TypeInformationAtItsEdges) {
  constexpr HRESULT kNotImpl = 0x80004001, kBadArg = 0x80070057, kUnknownName = 0x80020006;
  constexpr HRESULT kNotFound = 0x8002802B, kWrongKind = 0x8002802A, kBadModule = 0x800288BD;
  auto* d = reinterpret_cast<IDispatch*>(Create<_Tabs>(CLSID_HalvaneTabs, IID__Tabs));
  ITypeInfo *ti = nullptr, *co = nullptr;
  ITypeLib* lib = nullptr;
  ASSERT_EQ(d->lpVtbl->GetTypeInfo(d, 0, 0, &ti), S_OK);
  ASSERT_EQ(ti->lpVtbl->GetContainingTypeLib(ti, &lib, nullptr), S_OK);
  EXPECT_EQ(ti->lpVtbl->GetContainingTypeLib(ti, nullptr, nullptr), kBadArg);
  void* p = &p;
  ASSERT_EQ(lib->lpVtbl->GetTypeInfo(lib, 12, &co), kNotFound);
  EXPECT_EQ(co, nullptr);
  ASSERT_EQ(lib->lpVtbl->GetTypeInfo(lib, 9, &co), S_OK);
  TYPEATTR* a = nullptr;
  ASSERT_EQ(ti->lpVtbl->GetTypeAttr(ti, &a), S_OK);
  EXPECT_EQ(std::vector<long>({static_cast<long>(a->lcid), a->memidConstructor, static_cast<long>(a->cbSizeInstance),
                               a->cbSizeVft, a->wMajorVerNum, a->wTypeFlags, a->cImplTypes}),
            std::vector<long>({0x409, -1, sizeof(void*), 25 * sizeof(void*), 27, 0x11D0, 1}));
  ti->lpVtbl->ReleaseTypeAttr(ti, a);
  ASSERT_EQ(co->lpVtbl->GetTypeAttr(co, &a), S_OK);
  EXPECT_EQ(std::vector<long>({a->typekind, a->wTypeFlags, a->cFuncs}), std::vector<long>({5, 2, 0}));
  co->lpVtbl->ReleaseTypeAttr(co, a);
  // Each call finds p set and must leave it null.
  auto nulled = [&p](HRESULT got, HRESULT want, int line) {
    EXPECT_EQ(got, want) << "line " << line;
    EXPECT_EQ(p, nullptr) << "line " << line;
    p = &p;
  };
  nulled(ti->lpVtbl->GetTypeComp(ti, reinterpret_cast<ITypeComp**>(&p)), kNotImpl, __LINE__);
  nulled(ti->lpVtbl->GetVarDesc(ti, 0, &p), kNotFound, __LINE__);
  nulled(ti->lpVtbl->GetFuncDesc(ti, 18, reinterpret_cast<FUNCDESC**>(&p)), kNotFound, __LINE__);
  nulled(co->lpVtbl->GetFuncDesc(co, 0, reinterpret_cast<FUNCDESC**>(&p)), kNotFound, __LINE__);
  nulled(ti->lpVtbl->AddressOfMember(ti, 0x68030005, INVOKE_PROPERTYGET, &p), kBadModule, __LINE__);
  nulled(ti->lpVtbl->GetRefTypeInfo(ti, 9, reinterpret_cast<ITypeInfo**>(&p)), kNotFound, __LINE__);
  nulled(ti->lpVtbl->GetRefTypeInfo(ti, 12, reinterpret_cast<ITypeInfo**>(&p)), kNotFound, __LINE__);
  nulled(ti->lpVtbl->CreateInstance(ti, nullptr, &IID_IDispatch, &p), kWrongKind, __LINE__);
  nulled(ti->lpVtbl->GetMops(ti, 0x68030005, reinterpret_cast<BSTR*>(&p)), S_OK, __LINE__);
  nulled(lib->lpVtbl->GetTypeComp(lib, reinterpret_cast<ITypeComp**>(&p)), kNotImpl, __LINE__);
  nulled(lib->lpVtbl->GetTypeInfoOfGuid(lib, &IID_IDispatch, reinterpret_cast<ITypeInfo**>(&p)), kNotFound, __LINE__);
  EXPECT_EQ(ti->lpVtbl->GetDllEntry(ti, 0x68030005, INVOKE_FUNC, nullptr, nullptr, nullptr), kBadModule);
  // A null where a pointer is needed is refused, never followed: E_POINTER
  // (low half 0x4003) from QueryInterface, E_INVALIDARG (0x57) from the rest.
  BSTR* no_names = nullptr;
  std::string refused;
  for (const HRESULT hr :
       {ti->lpVtbl->QueryInterface(ti, &IID_IUnknown, nullptr), ti->lpVtbl->QueryInterface(ti, nullptr, &p),
        ti->lpVtbl->GetTypeAttr(ti, nullptr), ti->lpVtbl->GetFuncDesc(ti, 0, nullptr),
        ti->lpVtbl->GetNames(ti, 0x6003000B, no_names, 1, nullptr), co->lpVtbl->GetRefTypeOfImplType(co, 0, nullptr),
        co->lpVtbl->GetImplTypeFlags(co, 0, nullptr), ti->lpVtbl->GetIDsOfNames(ti, nullptr, 1, nullptr),
        ti->lpVtbl->GetRefTypeInfo(ti, 8, nullptr), co->lpVtbl->CreateInstance(co, nullptr, &IID__Tabs, nullptr),
        lib->lpVtbl->QueryInterface(lib, &IID_IUnknown, nullptr), lib->lpVtbl->QueryInterface(lib, nullptr, &p),
        lib->lpVtbl->GetTypeInfo(lib, 0, nullptr), lib->lpVtbl->GetTypeInfoType(lib, 0, nullptr),
        lib->lpVtbl->GetTypeInfoOfGuid(lib, &IID__Tabs, nullptr), lib->lpVtbl->GetLibAttr(lib, nullptr),
        lib->lpVtbl->IsName(lib, nullptr, 0, nullptr),
        lib->lpVtbl->FindName(lib, nullptr, 0, nullptr, nullptr, nullptr)})
    refused += std::to_string(hr & 0xFFFF) + " ";
  EXPECT_EQ(refused, "16387 87 87 87 87 87 87 87 87 87 16387 87 87 87 87 87 87 87 ");
  EXPECT_EQ(p, nullptr);
  p = &p;
  HREFTYPE ref = 99;
  int flags = 99;
  TYPEKIND kind = TKIND_ENUM;
  EXPECT_EQ(ti->lpVtbl->GetRefTypeOfImplType(ti, 0, &ref), kNotFound);
  EXPECT_EQ(co->lpVtbl->GetRefTypeOfImplType(co, 1, &ref), kNotFound);
  EXPECT_EQ(ref, 99u);
  EXPECT_EQ(co->lpVtbl->GetImplTypeFlags(co, 1, &flags), kNotFound);
  EXPECT_EQ(co->lpVtbl->GetImplTypeFlags(co, 0, &flags), S_OK);
  EXPECT_EQ(flags, 1);
  EXPECT_EQ(ti->lpVtbl->GetImplTypeFlags(ti, 0, &flags), S_OK);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(lib->lpVtbl->GetTypeInfoType(lib, 9, &kind), S_OK);
  EXPECT_EQ(kind, 5);
  EXPECT_EQ(lib->lpVtbl->GetTypeInfoType(lib, 12, &kind), kNotFound);
  TLIBATTR* la = nullptr;
  ASSERT_EQ(lib->lpVtbl->GetLibAttr(lib, &la), S_OK);
  EXPECT_EQ(la->syskind, sizeof(void*) == 8 ? 3 : 1);
  lib->lpVtbl->ReleaseTLibAttr(lib, la);

  // Names: a member's (its documentation empty), the class's, none past the end.
  BSTR name = nullptr, doc = reinterpret_cast<BSTR>(&p), file = doc;
  DWORD context = 7;
  ASSERT_EQ(ti->lpVtbl->GetDocumentation(ti, 0x6003000B, &name, &doc, &context, &file), S_OK);
  EXPECT_EQ(Taken(name) + (doc == nullptr ? "|" : "|doc") + std::to_string(context) + (file ? "|file" : "|"),
            "WriteTab|0|");
  EXPECT_EQ(ti->lpVtbl->GetDocumentation(ti, 0x6003000E, &name, nullptr, nullptr, nullptr), kNotFound);
  EXPECT_EQ(co->lpVtbl->GetDocumentation(co, 0x6003000B, &name, nullptr, nullptr, nullptr), kNotFound);
  ASSERT_EQ(co->lpVtbl->GetDocumentation(co, MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  std::string names = Taken(name) + ":";
  for (int index : {-1, 8, 9, 12, -2}) {
    name = nullptr;
    const HRESULT hr = lib->lpVtbl->GetDocumentation(lib, index, &name, nullptr, nullptr, nullptr);
    names += std::to_string(hr == S_OK) + Taken(name) + " ";
  }
  EXPECT_EQ(names, "Tabs:1Halvane 1_Tabs 1Tabs 0 0 ");
  doc = file = reinterpret_cast<BSTR>(&p);
  context = 7;
  ASSERT_EQ(lib->lpVtbl->GetDocumentation(lib, 9, &name, &doc, &context, &file), S_OK);
  EXPECT_EQ(Taken(name) + (doc == nullptr ? "|" : "|doc") + std::to_string(context) + (file ? "|file" : "|"), "Tabs|0|");
  BSTR got[3] = {};
  UINT count = 9;
  EXPECT_EQ(ti->lpVtbl->GetNames(ti, 0x6003000B, got, 2, &count), S_OK);
  EXPECT_EQ(Taken(got[0]) + "," + Taken(got[1]) + "," + std::to_string(count), "WriteTab,ContentName,2");
  EXPECT_EQ(got[2], nullptr);
  EXPECT_EQ(co->lpVtbl->GetNames(co, 0x6003000B, got, 3, &count), kNotFound);
  EXPECT_EQ(count, 0u);

  // Lookups: a member with a parameter name it lacks, the class, the library.
  BSTR lookup[2] = {Bstr("writetab"), Bstr("Nothing")};
  MEMBERID ids[2] = {5, 5};
  EXPECT_EQ(ti->lpVtbl->GetIDsOfNames(ti, lookup, 2, ids), kUnknownName);
  EXPECT_EQ(ids[0], 0x6003000B);
  EXPECT_EQ(ids[1], -1);
  EXPECT_EQ(ti->lpVtbl->GetIDsOfNames(ti, lookup, 0, ids), kBadArg);
  EXPECT_EQ(ti->lpVtbl->GetIDsOfNames(ti, lookup, 1, nullptr), kBadArg);
  EXPECT_EQ(ti->lpVtbl->GetIDsOfNames(ti, nullptr, 1, ids), kBadArg);
  EXPECT_EQ(co->lpVtbl->GetIDsOfNames(co, lookup, 1, ids), kUnknownName);
  EXPECT_EQ(ids[0], -1);
  std::string found;
  for (const char* n : {"tabs", "_TREE", "movenextlayercolor", "Halvane", "Nothing"}) {
    BSTR b = Bstr(n);
    BOOL hit = 5;
    EXPECT_EQ(lib->lpVtbl->IsName(lib, b, 0, &hit), S_OK);
    found += std::to_string(hit);
    HalvaneSysFreeString(b);
  }
  EXPECT_EQ(found, "11100");
  // FindName stops at the room given: Width is a member of several classes.
  BSTR width = Bstr("Width");
  ITypeInfo* infos[1] = {nullptr};
  uint16_t room = 1;
  EXPECT_EQ(lib->lpVtbl->FindName(lib, width, 0, infos, ids, &room), S_OK);
  EXPECT_EQ(room, 1u);
  infos[0]->lpVtbl->Release(infos[0]);

  // Invoke through the type information, and a class made by its own.
  VARIANT result{};
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(ti->lpVtbl->Invoke(ti, d, 0x68030006, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  VariantClear(&result);
  EXPECT_EQ(ti->lpVtbl->Invoke(ti, nullptr, 0x68030006, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
            kBadArg);
  EXPECT_EQ(co->lpVtbl->Invoke(co, d, 0x68030006, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), kWrongKind);
  IDispatch* made = nullptr;
  ASSERT_EQ(co->lpVtbl->CreateInstance(co, nullptr, &IID__Tabs, reinterpret_cast<void**>(&made)), S_OK);
  EXPECT_EQ(made->lpVtbl->Release(made), 0u);
  for (BSTR b : {lookup[0], lookup[1], width}) HalvaneSysFreeString(b);
  EXPECT_EQ(co->lpVtbl->Release(co), 0u);
  EXPECT_EQ(lib->lpVtbl->Release(lib), 0u);
  EXPECT_EQ(ti->lpVtbl->Release(ti), 0u);
  EXPECT_EQ(d->lpVtbl->Release(d), 0u);
}

// The function table gives the C++ member's very text, also for text that
// is not ASCII and for an omitted optional argument, and refuses a missing
// required one or a missing result pointer without calling the member.
TEST(ComInterface, FunctionTableGivesWhatTheMemberGives) {
  halvane::Tree direct;
  direct.Initialize();
  _Tree* t = Create<_Tree>(CLSID_HalvaneTree, IID__Tree);
  BSTR s = nullptr;
  ASSERT_EQ(t->lpVtbl->Initialize(t, &s), S_OK);
  HalvaneSysFreeString(s);
  const std::string name =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xF0\x9F\x8C\xB3 and a name longer than a string's own room";
  BSTR n = Bstr(name), uri = Bstr("/a.htm"), target = Bstr("_top"), image = Bstr("images/leaf.gif");
  s = reinterpret_cast<BSTR>(&s);
  ASSERT_EQ(t->lpVtbl->WriteNode(t, &n, &uri, &target, nullptr, &s), S_OK);
  EXPECT_EQ(Taken(s), direct.WriteNode(name, "/a.htm", "_top"));
  ASSERT_EQ(t->lpVtbl->WriteNode(t, &uri, &n, &target, &image, &s), S_OK);
  EXPECT_EQ(Taken(s), direct.WriteNode("/a.htm", name, "_top", "images/leaf.gif"));
  s = reinterpret_cast<BSTR>(&s);
  EXPECT_EQ(t->lpVtbl->WriteNode(t, &n, nullptr, &target, nullptr, &s), E_POINTER);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(t->lpVtbl->WriteNode(t, &n, &uri, &target, nullptr, nullptr), E_POINTER);
  // Neither refused call reached the member: the next node is the same.
  ASSERT_EQ(t->lpVtbl->WriteNode(t, &n, &uri, &target, nullptr, &s), S_OK);
  EXPECT_EQ(Taken(s), direct.WriteNode(name, "/a.htm", "_top"));
  BSTR w = Bstr("240");
  ASSERT_EQ(t->lpVtbl->put_Width(t, &w), S_OK);
  ASSERT_EQ(t->lpVtbl->get_Width(t, &s), S_OK);
  EXPECT_EQ(Taken(s), "240");
  for (BSTR b : {n, uri, target, image, w}) HalvaneSysFreeString(b);
  EXPECT_EQ(t->lpVtbl->Release(t), 0u);

  _Tabs* tabs = Create<_Tabs>(CLSID_HalvaneTabs, IID__Tabs);
  SHORT in = -7, out = 0;
  VARIANT_BOOL visible = VARIANT_TRUE;
  ASSERT_EQ(tabs->lpVtbl->put_TabWidth(tabs, &in), S_OK);
  ASSERT_EQ(tabs->lpVtbl->get_TabWidth(tabs, &out), S_OK);
  EXPECT_EQ(out, -7);
  EXPECT_EQ(tabs->lpVtbl->put_IsVisible(tabs, &visible), S_OK);
  EXPECT_EQ(tabs->lpVtbl->put_IsVisible(tabs, nullptr), E_POINTER);
  // A member's error (no TabName yet) is its status, and hands back nothing.
  VARIANT content{}, url{};
  s = reinterpret_cast<BSTR>(&s);
  EXPECT_EQ(tabs->lpVtbl->WriteTab(tabs, &content, &url, &s), static_cast<HRESULT>(0x800A0001u));
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);  // the thread's error information let go
  EXPECT_EQ(tabs->lpVtbl->Release(tabs), 0u);
}

// What a member writes into its arguments: Show writes its two Variants; a
// plain VARIANT of the function table is replaced, IDispatch::Invoke leaves
// a plain argument as it was and writes through a reference.  (A member's
// errors through both, with the thread's error information, are the C
// host's, for every member that raises one.)
TEST(ComInterface, WriteBackOfVariantArguments) {
  BSTR s = nullptr;
  VARIANT result{};
  _ProgressBar* bar = Create<_ProgressBar>(CLSID_HalvaneProgressBar, IID__ProgressBar);
  VARIANT during = TextVar("True"), after = Var(VT_I4, &VARIANT::lVal, 0);
  ASSERT_EQ(bar->lpVtbl->Show(bar, &during, &after, &s), S_OK);
  const std::string shown = Taken(s);
  EXPECT_EQ(during.vt, VT_BOOL);
  EXPECT_EQ(during.boolVal, VARIANT_TRUE);
  EXPECT_EQ(after.vt, VT_BOOL);
  EXPECT_EQ(after.boolVal, VARIANT_FALSE);
  halvane::ProgressBar direct;
  halvane::Variant yes("True"), zero(0);
  EXPECT_EQ(shown, direct.Show(yes, zero));

  auto* d = reinterpret_cast<IDispatch*>(bar);
  VARIANT plain = TextVar("1");
  BSTR const kept = plain.bstrVal;
  VARIANT one = plain;
  ASSERT_EQ(Invoke(d, 0x60030006, DISPATCH_METHOD, &one, 1, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(one.vt, VT_BSTR);
  EXPECT_EQ(one.bstrVal, kept);
  VariantClear(&result);
  VARIANT ref = Var(VT_BYREF | VT_VARIANT, &VARIANT::pvarVal, &plain);
  ASSERT_EQ(Invoke(d, 0x60030006, DISPATCH_METHOD, &ref, 1, &result), S_OK);
  EXPECT_EQ(plain.vt, VT_BOOL);
  EXPECT_EQ(plain.boolVal, VARIANT_TRUE);
  VariantClear(&result);
  for (VARIANT* v : {&during, &after, &plain}) VariantClear(v);
  EXPECT_EQ(bar->lpVtbl->Release(bar), 0u);
}

// IDispatch::Invoke gives the same value whether the arguments have the
// declared types or need converting, and types the result as declared.
TEST(ComInterface, InvokeConvertsOnlyWhatItMust) {
  _Tabs* tabs = Create<_Tabs>(CLSID_HalvaneTabs, IID__Tabs);
  auto* d = reinterpret_cast<IDispatch*>(tabs);
  VARIANT result{};
  VARIANT widths[] = {Var(VT_I2, &VARIANT::iVal, 90), Var(VT_I4, &VARIANT::lVal, 91), TextVar("92")};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Invoke(d, 0x68030005, DISPATCH_PROPERTYPUT, &widths[i], 1, nullptr), S_OK);
    VariantClear(&widths[i]);
    ASSERT_EQ(Invoke(d, 0x68030005, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I2);
    EXPECT_EQ(result.iVal, 90 + i);
  }
  VARIANT no = Var(VT_BOOL, &VARIANT::boolVal, VARIANT_FALSE);
  ASSERT_EQ(Invoke(d, 0x68030007, DISPATCH_PROPERTYPUT, &no, 1, nullptr), S_OK);
  ASSERT_EQ(Invoke(d, 0x68030006, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  VariantClear(&result);
  EXPECT_EQ(tabs->lpVtbl->Release(tabs), 0u);

  // The Tree's node with its optional image left off, given, and given by
  // reference: as the C++ member writes it.
  halvane::Tree direct;
  direct.Initialize();
  _Tree* t = Create<_Tree>(CLSID_HalvaneTree, IID__Tree);
  BSTR s = nullptr;
  t->lpVtbl->Initialize(t, &s);
  HalvaneSysFreeString(s);
  d = reinterpret_cast<IDispatch*>(t);
  BSTR image = Bstr("i.gif");
  VARIANT a[4] = {Var(VT_BYREF | VT_BSTR, &VARIANT::pbstrVal, &image), TextVar("main"), TextVar("/n.htm"),
                  TextVar("Node")};
  ASSERT_EQ(Invoke(d, 0x6003000B, DISPATCH_METHOD, a + 1, 3, &result), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(Utf8(result.bstrVal), direct.WriteNode("Node", "/n.htm", "main"));
  VariantClear(&result);
  ASSERT_EQ(Invoke(d, 0x6003000B, DISPATCH_METHOD, a, 4, &result), S_OK);
  EXPECT_EQ(Utf8(result.bstrVal), direct.WriteNode("Node", "/n.htm", "main", "i.gif"));
  VariantClear(&result);
  VariantClear(&a[2]);
  a[2] = Var(VT_I4, &VARIANT::lVal, 12);  // a number where text is declared: converted
  ASSERT_EQ(Invoke(d, 0x6003000B, DISPATCH_METHOD, a, 4, &result), S_OK);
  EXPECT_EQ(Utf8(result.bstrVal), direct.WriteNode("Node", "12", "main", "i.gif"));
  VariantClear(&result);
  EXPECT_EQ(Invoke(d, 0x6003000B, DISPATCH_METHOD, a + 2, 2, &result), DISP_E_BADPARAMCOUNT);
  for (VARIANT& v : a) VariantClear(&v);
  HalvaneSysFreeString(image);
  EXPECT_EQ(t->lpVtbl->Release(t), 0u);

  // A member's error fills the whole exception record: what it does not
  // say is zero, whatever the record held before.
  _Calendar* c = Create<_Calendar>(CLSID_HalvaneCalendar, IID__Calendar);
  d = reinterpret_cast<IDispatch*>(c);
  LPOLESTR name = Bstr("ActiveDate");
  DISPID active = 0;
  ASSERT_EQ(d->lpVtbl->GetIDsOfNames(d, &IID_NULL, &name, 1, 0, &active), S_OK);
  VARIANT text = TextVar("not a date");
  EXCEPINFO e;
  std::memset(&e, 0xAB, sizeof e);
  ASSERT_EQ(Invoke(d, active, DISPATCH_PROPERTYPUT, &text, 1, nullptr, &e), DISP_E_EXCEPTION);
  EXPECT_EQ(Utf8(e.bstrSource) + ": " + Utf8(e.bstrDescription),
            "Halvane.Calendar: ActiveDate Property not a valid date.");
  EXPECT_EQ(e.scode, static_cast<SCODE>(0x800A0001));
  EXPECT_EQ(e.wCode + e.wReserved + e.dwHelpContext, 0u);
  EXPECT_EQ(e.bstrHelpFile, nullptr);
  EXPECT_EQ(e.pvReserved, nullptr);
  EXPECT_TRUE(e.pfnDeferredFillIn == nullptr);
  for (BSTR b : {e.bstrSource, e.bstrDescription, name}) HalvaneSysFreeString(b);
  VariantClear(&text);
  EXPECT_EQ(c->lpVtbl->Release(c), 0u);
}

// An error object filled through ICreateErrorInfo reads back whole through
// IErrorInfo, and SetErrorInfo / GetErrorInfo hand it over once.
TEST(ComInterface, ErrorObjectsCarryWhatTheirMakerSet) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  IErrorInfo* fresh = nullptr;
  DWORD fresh_context = 7;
  ASSERT_EQ(create->lpVtbl->QueryInterface(create, &IID_IErrorInfo, reinterpret_cast<void**>(&fresh)), S_OK);
  EXPECT_EQ(fresh->lpVtbl->GetHelpContext(fresh, &fresh_context), S_OK);
  EXPECT_EQ(fresh_context, 0u);  // nothing set yet
  fresh->lpVtbl->Release(fresh);
  const OLECHAR source[] = {'S', 'r', 'c', 0}, text[] = {'W', 'h', 'a', 't', 0xE9, 0}, help[] = {'h', '.', 'c', 0};
  EXPECT_EQ(create->lpVtbl->SetGUID(create, &IID__Tree), S_OK);
  EXPECT_EQ(create->lpVtbl->SetSource(create, const_cast<LPOLESTR>(source)), S_OK);
  EXPECT_EQ(create->lpVtbl->SetDescription(create, const_cast<LPOLESTR>(text)), S_OK);
  EXPECT_EQ(create->lpVtbl->SetHelpFile(create, const_cast<LPOLESTR>(help)), S_OK);
  EXPECT_EQ(create->lpVtbl->SetHelpContext(create, 42), S_OK);
  EXPECT_EQ(create->lpVtbl->SetGUID(create, nullptr), E_INVALIDARG);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->lpVtbl->QueryInterface(create, &IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  EXPECT_EQ(create->lpVtbl->Release(create), 1u);
  EXPECT_EQ(SetErrorInfo(0, info), S_OK);
  EXPECT_EQ(info->lpVtbl->Release(info), 1u);  // the thread keeps its own reference
  IErrorInfo* got = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  EXPECT_EQ(got, info);
  GUID guid{};
  BSTR s = nullptr;
  DWORD context = 0;
  ASSERT_EQ(got->lpVtbl->GetGUID(got, &guid), S_OK);
  EXPECT_EQ(Text(guid), "ABD5F1EE-D162-48F2-8F4A-138F265D499E");
  ASSERT_EQ(got->lpVtbl->GetSource(got, &s), S_OK);
  EXPECT_EQ(Taken(s), "Src");
  ASSERT_EQ(got->lpVtbl->GetDescription(got, &s), S_OK);
  EXPECT_EQ(Taken(s), "What\xC3\xA9");
  ASSERT_EQ(got->lpVtbl->GetHelpFile(got, &s), S_OK);
  EXPECT_EQ(Taken(s), "h.c");
  ASSERT_EQ(got->lpVtbl->GetHelpContext(got, &context), S_OK);
  EXPECT_EQ(context, 42u);
  EXPECT_EQ(got->lpVtbl->GetSource(got, nullptr), E_POINTER);
  EXPECT_EQ(got->lpVtbl->GetHelpContext(got, nullptr), E_POINTER);
  EXPECT_EQ(got->lpVtbl->Release(got), 0u);
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
  EXPECT_EQ(got, nullptr);
}

// A VARIANT as "type:value", a text as it is, a number as printf's %g.
std::string Shown(const VARIANT& v) {
  char out[48];
  switch (v.vt) {
    case VT_BSTR: return "8:" + Utf8(v.bstrVal);
    case VT_I2: std::snprintf(out, sizeof out, "2:%d", v.iVal); break;
    case VT_BOOL: std::snprintf(out, sizeof out, "11:%d", v.boolVal); break;
    case VT_I4: std::snprintf(out, sizeof out, "3:%d", static_cast<int>(v.lVal)); break;
    case VT_ERROR: std::snprintf(out, sizeof out, "10:%X", static_cast<unsigned>(v.scode)); break;
    case VT_R4: std::snprintf(out, sizeof out, "4:%g", static_cast<double>(v.fltVal)); break;
    case VT_R8: std::snprintf(out, sizeof out, "5:%g", v.dblVal); break;
    case VT_DATE: std::snprintf(out, sizeof out, "7:%g", v.date); break;
    default: std::snprintf(out, sizeof out, "%d:", v.vt);
  }
  return out;
}

// VariantChangeType reads every kind, by value and through a reference, and
// makes every kind; IDispatch::Invoke writes a member's change back into a
// reference of every kind, converted to it.
TEST(ComInterface, EveryKindOfVariantReadAndMade) {
  VARIANT in[22] = {{},
                    Var(VT_NULL, &VARIANT::lVal, 0),
                    Var(VT_I2, &VARIANT::iVal, -7),
                    Var(VT_I4, &VARIANT::lVal, 70000),
                    Var(VT_R4, &VARIANT::fltVal, 1.5),
                    Var(VT_R8, &VARIANT::dblVal, 2.5),
                    Var(VT_DATE, &VARIANT::date, 2.25),
                    TextVar("12"),
                    Var(VT_ERROR, &VARIANT::scode, 0x800A000Du),
                    Var(VT_BOOL, &VARIANT::boolVal, VARIANT_TRUE)};
  // The same through references (10 to 17); a reference to a VARIANT (18),
  // to one that refers on (19: followed no further); a null reference; an object.
  void* const targets[] = {&in[2].iVal,  &in[3].lVal,    &in[4].fltVal, &in[5].dblVal, &in[6].date, &in[7].bstrVal,
                           &in[8].scode, &in[9].boolVal, &in[7],        &in[18],       nullptr};
  for (int k = 0; k < 11; ++k) {
    in[10 + k].vt =
        static_cast<VARTYPE>(VT_BYREF | (k < 8 ? in[2 + k].vt : static_cast<VARTYPE>(k < 10 ? VT_VARIANT : VT_I2)));
    in[10 + k].byref = targets[k];
  }
  in[21].vt = VT_DISPATCH;
  // What VariantChangeType makes of `from` as `vt`, or its status.
  auto changed = [](const VARIANT& from, VARTYPE vt) {
    VARIANT out{};
    const HRESULT hr = VariantChangeType(&out, &from, 0, vt);
    const std::string text = hr == S_OK ? Shown(out) : "hr " + std::to_string(hr & 0xFFFF);
    VariantClear(&out);
    return text;
  };
  std::string shown;
  for (VARIANT& v : in) shown += changed(v, VT_BSTR) + "|";
  EXPECT_EQ(shown,
            "8:|hr 5|8:-7|8:70000|8:1.5|8:2.5|8:1/1/1900 6:00:00 AM|8:12|hr 5|8:True|"
            "8:-7|8:70000|8:1.5|8:2.5|8:1/1/1900 6:00:00 AM|8:12|hr 5|8:True|8:12|hr 8|hr 87|hr 8|");
  shown.clear();
  for (const VARTYPE vt :
       {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_DATE, VT_BSTR, VT_BOOL, VT_ERROR, VT_UNKNOWN}) {
    for (const int from : {3, 7, 8}) shown += changed(in[from], vt) + " ";
    shown += "|";
  }
  EXPECT_EQ(shown,
            "0: 0: 0: |hr 5 hr 5 hr 5 |hr 10 2:12 hr 5 |3:70000 3:12 hr 5 |4:70000 4:12 hr 5 |5:70000 5:12 hr 5 |"
            "7:70000 hr 5 hr 5 |8:70000 8:12 hr 5 |11:-1 11:-1 hr 5 |hr 5 hr 5 10:800A000D |hr 8 hr 8 hr 8 |");

  // HideOutput writes its argument back as a Boolean.
  _ProgressBar* bar = Create<_ProgressBar>(CLSID_HalvaneProgressBar, IID__ProgressBar);
  auto* d = reinterpret_cast<IDispatch*>(bar);
  shown.clear();
  for (int k = 10; k < 19; ++k) {
    VARIANT result{};
    const HRESULT hr = Invoke(d, 0x60030006, DISPATCH_METHOD, &in[k], 1, &result);
    shown += std::to_string(hr & 0xFFFF) + " " + Shown(in[k < 18 ? k - 8 : 7]) + "|";
    VariantClear(&result);
  }
  EXPECT_EQ(shown, "0 2:-1|0 3:-1|0 4:-1|0 5:-1|0 7:-1|0 8:True|9 10:800A000D|0 11:-1|0 11:-1|");
  EXPECT_EQ(bar->lpVtbl->Release(bar), 0u);
  VariantClear(&in[7]);
}

// VariantCopy copies text deeply and leaves the target as it was on a
// failure; VariantChangeType converts as the language does, in place too.
TEST(ComInterface, VariantCopyAndChangeType) {
  VARIANT src = TextVar("12"), dst{};
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  ASSERT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(Utf8(dst.bstrVal), "12");
  VARIANT odd = Var(0x7F, &VARIANT::lVal, 0);
  EXPECT_EQ(VariantCopy(&dst, &odd), DISP_E_BADVARTYPE);
  EXPECT_EQ(dst.vt, VT_BSTR);
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), S_OK);
  EXPECT_EQ(dst.vt, VT_I2);
  EXPECT_EQ(dst.iVal, 12);
  ASSERT_EQ(VariantChangeType(&dst, &dst, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Utf8(dst.bstrVal), "12");
  // Short text that is not all ASCII keeps its characters.
  BSTR word = Bstr("1\xC3\xA9");
  VARIANT accented = Var(VT_BYREF | VT_BSTR, &VARIANT::pbstrVal, &word), copy{};
  ASSERT_EQ(VariantChangeType(&copy, &accented, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Utf8(copy.bstrVal), "1\xC3\xA9");
  VariantClear(&copy);
  HalvaneSysFreeString(word);
  VariantClear(&src);
  src = Var(VT_I4, &VARIANT::lVal, 70000);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), DISP_E_OVERFLOW);
  EXPECT_EQ(Utf8(dst.bstrVal), "12");  // unchanged
  src = TextVar("twelve");
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_NULL), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), DISP_E_TYPEMISMATCH);
  VariantClear(&src);
  src = Var(VT_R8, &VARIANT::dblVal, -1.5);
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, -2);  // halves go to the even neighbour
  VariantClear(&dst);
  // An object held: copied with a reference of its own, released by clearing;
  // a type VariantClear does not know is refused.
  IDispatch* d = Create<IDispatch>(CLSID_HalvaneTabs, IID__Tabs);
  VARIANT held = Var(VT_DISPATCH, &VARIANT::pdispVal, d);
  ASSERT_EQ(VariantCopy(&dst, &held), S_OK);
  EXPECT_EQ(d->lpVtbl->AddRef(d), 3u);
  EXPECT_EQ(VariantClear(&held), S_OK);
  EXPECT_EQ(held.vt, VT_EMPTY);
  EXPECT_EQ(d->lpVtbl->Release(d), 1u);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
}

}  // namespace
