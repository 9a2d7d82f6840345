/*
 * A host written in C against its own automation declarations
 * (automation_decls.h, not the library's header).  It loads libhalvane.so
 * with dlopen by a relative name, creates every class through
 * DllGetClassObject, walks the type information of every interface against
 * the member tables below, calls every member of every class both through
 * the function table of its dual interface and through IDispatch::Invoke,
 * checks that both give the same results, written-back arguments and
 * errors (EXCEPINFO, the returned status and GetErrorInfo), then registers
 * and unregisters the classes in a temporary class store.
 *
 * Usage: halvane_c_host /absolute/path/of/libhalvane.so
 */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "automation_decls.h"

static int failures = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                              \
    }                                                                          \
  } while (0)

#define CHECK_HR(expr, want)                                                                                \
  do {                                                                                                      \
    HRESULT hr_ = (expr);                                                                                   \
    if (hr_ != (HRESULT)(want)) {                                                                           \
      fprintf(stderr, "%s:%d: %s gave 0x%08X, expected 0x%08X\n", __FILE__, __LINE__, #expr, (unsigned)hr_, \
              (unsigned)(want));                                                                            \
      ++failures;                                                                                           \
    }                                                                                                       \
  } while (0)

static const IID kIID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
static const IID kIID_IUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID kIID_IClassFactory = {1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID kIID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
static const GUID kLIBID = {0x0B0251ED, 0x0859, 0x4996, {0xAE, 0x59, 0x5F, 0x70, 0xD7, 0x15, 0x92, 0x74}};

/* ---- the library's exports, under their usual names ---------------------- */

static HRESULT (*pDllGetClassObject)(const CLSID*, const IID*, void**);
static HRESULT (*pDllCanUnloadNow)(void);
static HRESULT (*pDllRegisterServer)(void);
static HRESULT (*pDllUnregisterServer)(void);
static BSTR (*pSysAllocStringLen)(const OLECHAR*, UINT);
static void (*pSysFreeString)(BSTR);
static UINT (*pSysStringLen)(BSTR);
static UINT (*pSysStringByteLen)(BSTR);
static void (*pVariantInit)(VARIANTARG*);
static HRESULT (*pVariantClear)(VARIANTARG*);
static HRESULT (*pVariantCopy)(VARIANTARG*, const VARIANTARG*);
static HRESULT (*pVariantChangeType)(VARIANTARG*, const VARIANTARG*, USHORT, VARTYPE);
static HRESULT (*pGetErrorInfo)(ULONG, IErrorInfo**);
static HRESULT (*pSetErrorInfo)(ULONG, IErrorInfo*);

static int Resolve(void* lib, const char* name, void* fn, size_t size) {
  void* sym = dlsym(lib, name);
  if (sym == NULL) {
    fprintf(stderr, "missing export %s\n", name);
    return 0;
  }
  memcpy(fn, &sym, size);
  return 1;
}
#define RESOLVE(name) Resolve(lib, #name, &p##name, sizeof(p##name))

/* ---- text -------------------------------------------------------------------- */

static BSTR Bstr(const char* ascii) {
  OLECHAR units[256];
  size_t n = strlen(ascii), i;
  if (n > 256) n = 256;
  for (i = 0; i < n; ++i) units[i] = (OLECHAR)(unsigned char)ascii[i];
  return pSysAllocStringLen(units, (UINT)n);
}

/* The BSTR as text (code units above 127 as '?'); free() the result. */
static char* Text(BSTR s) {
  UINT n = s == NULL ? 0 : pSysStringLen(s), i;
  char* out = malloc((size_t)n + 1);
  if (out == NULL) abort();
  for (i = 0; i < n; ++i) out[i] = s[i] < 128 ? (char)s[i] : '?';
  out[n] = '\0';
  return out;
}

static int BstrIs(BSTR s, const char* expected) {
  char* t = Text(s);
  int same = strcmp(t, expected) == 0;
  if (!same) fprintf(stderr, "got \"%s\", expected \"%s\"\n", t, expected);
  free(t);
  return same;
}

/* A VARIANT as "kind:text", the form in which results are compared. */
static char* VariantText(const VARIANT* v) {
  char head[64];
  char* body;
  char* out;
  switch (v->n1.n2.vt) {
    case VT_BSTR: body = Text(v->n1.n2.n3.bstrVal); break;
    case VT_I2:
      snprintf(head, sizeof head, "%d", v->n1.n2.n3.iVal);
      body = strdup(head);
      break;
    case VT_I4:
      snprintf(head, sizeof head, "%ld", (long)v->n1.n2.n3.lVal);
      body = strdup(head);
      break;
    case VT_BOOL: body = strdup(v->n1.n2.n3.boolVal ? "true" : "false"); break;
    case VT_R8:
    case VT_DATE:
      snprintf(head, sizeof head, "%.17g", v->n1.n2.n3.dblVal);
      body = strdup(head);
      break;
    default: body = strdup(""); break;
  }
  out = malloc(strlen(body) + 16);
  if (out == NULL) abort();
  sprintf(out, "%d:%s", v->n1.n2.vt, body);
  free(body);
  return out;
}

static int SameGuid(const GUID* a, const GUID* b) { return memcmp(a, b, sizeof *a) == 0; }

/* ---- the member tables: what the interfaces must offer ------------------------- */

/* kind: m method, g property get, l property let.  result and parameter
 * types: S String, I Integer, B Boolean, V Variant, - none.  Parameters
 * are "name:type", "?" after the type for an optional one. */
typedef struct {
  char kind;
  const char* name;
  DISPID id;
  const char* params;
  char result;
} Row;

typedef struct {
  const char* name;
  CLSID clsid;
  IID iid;
  const Row* rows;
  int count;
} Class;

static const Row kAutoComplete[] = {
    {'m', "EmbedAutoComplete", 0x60030002,
     "HTMLFieldNameToBuild:S HTMLSelectNameToLink:S ForceAutoComplete:B IsLinkedAsText:B", 'S'}};
static const Row kCalendar[] = {
    {'l', "ImageURL", 0x68030001, "NewURL:V", '-'},         {'g', "ImageURL", 0x68030001, "", 'V'},
    {'l', "ActiveDate", 0x68030000, "NewDate:V", '-'},      {'g', "ActiveDate", 0x68030000, "", 'V'},
    {'m', "DisplayEmbedded", 0x60030006, "calName:V", 'S'}, {'m', "DisplayPopup", 0x60030007, "calName:V", 'S'}};
static const Row kPopupMenu[] = {{'l', "BorderColor", 0x68030004, "newBorderColor:S", '-'},
                                 {'l', "Width", 0x68030003, "newWidth:I", '-'},
                                 {'l', "BGColor", 0x68030002, "newBGColor:S", '-'},
                                 {'l', "OnMouseOver", 0x68030001, "newOnMouseOver:S", '-'},
                                 {'l', "OnMouseOut", 0x68030000, "newOnMouseOut:S", '-'},
                                 {'m', "AddMenuTitle", 0x60030006, "Display:S", '-'},
                                 {'m', "AddMenuItem", 0x60030007, "Display:S OnClick:S ImagePath:S", '-'},
                                 {'m', "AddHorizontalRule", 0x60030008, "ImagePath_1x1Pixel:S", '-'},
                                 {'m', "EmbedPopupMenu", 0x60030009, "", 'S'}};
static const Row kProgressBar[] = {{'m', "GetValue", 0x60030003, "", 'V'},
                                   {'l', "Max", 0x68030001, "newMax:V", '-'},
                                   {'g', "Max", 0x68030001, "", 'V'},
                                   {'l', "Color", 0x68030000, "newColor:V", '-'},
                                   {'g', "Color", 0x68030000, "", 'V'},
                                   {'m', "SetValue", 0x60030004, "NewValue:V", 'S'},
                                   {'m', "Show", 0x60030005, "HideOutputDuring:V HideProgressBarAfter:V", 'S'},
                                   {'m', "HideOutput", 0x60030006, "Hidden:V", 'S'}};
static const Row kTabs[] = {{'l', "IsVisible", 0x68030007, "NewIsVisible:B", '-'},
                            {'g', "TabName", 0x68030006, "", 'S'},
                            {'l', "TabName", 0x68030006, "NewTabName:S", '-'},
                            {'g', "TabWidth", 0x68030005, "", 'I'},
                            {'l', "TabWidth", 0x68030005, "NewTabWidth:I", '-'},
                            {'g', "PanelWidth", 0x68030004, "", 'I'},
                            {'l', "PanelWidth", 0x68030004, "NewPanelWidth:I", '-'},
                            {'g', "PanelHeight", 0x68030003, "", 'I'},
                            {'l', "PanelHeight", 0x68030003, "NewPanelHeight:I", '-'},
                            {'g', "TabCount", 0x68030002, "", 'I'},
                            {'l', "TabCount", 0x68030002, "NewTabCount:I", '-'},
                            {'g', "LayerColor", 0x68030001, "", 'S'},
                            {'l', "LayerColor", 0x68030001, "NewLayerColor:S", '-'},
                            {'g', "JavaScriptOnClick", 0x68030000, "", 'S'},
                            {'l', "JavaScriptOnClick", 0x68030000, "NewJavaScriptOnClick:S", '-'},
                            {'m', "WriteTab", 0x6003000B, "ContentName:V URL:V", 'S'},
                            {'m', "MoveNextLayerColor", 0x6003000C, "", '-'},
                            {'m', "MovePreviousLayerColor", 0x6003000D, "", '-'}};
static const Row kTree[] = {{'g', "Width", 0x68030005, "", 'S'},
                            {'l', "Width", 0x68030005, "newWidth:S", '-'},
                            {'g', "TextClass", 0x68030004, "", 'S'},
                            {'l', "TextClass", 0x68030004, "NewTextClass:S", '-'},
                            {'g', "ExpandedImage", 0x68030003, "", 'S'},
                            {'l', "ExpandedImage", 0x68030003, "NewExpandedImage:S", '-'},
                            {'g', "ExpandAllImage", 0x68030002, "", 'S'},
                            {'l', "ExpandAllImage", 0x68030002, "NewExpandAllImage:S", '-'},
                            {'g', "CollapsedImage", 0x68030001, "", 'S'},
                            {'l', "CollapsedImage", 0x68030001, "NewCollapsedImage:S", '-'},
                            {'g', "CollapseAllImage", 0x68030000, "", 'S'},
                            {'l', "CollapseAllImage", 0x68030000, "NewCollapseAllImage:S", '-'},
                            {'m', "WriteExpandCollapse", 0x60030007, "", 'S'},
                            {'m', "Initialize", 0x60030008, "", 'S'},
                            {'m', "WriteMenuHeader", 0x60030009, "MenuName:S", 'S'},
                            {'m', "WriteMenuFooter", 0x6003000A, "", 'S'},
                            {'m', "WriteNode", 0x6003000B, "NodeName:S URI:S Target:S ImagePath:S?", 'S'}};

#define COUNT(a) ((int)(sizeof(a) / sizeof((a)[0])))
static const Class kClasses[] = {{"AutoComplete",
                                  {0xDA0D95C8, 0x24C5, 0x40B5, {0xBB, 0xB0, 0x8B, 0xEA, 0x6A, 0x7E, 0x3A, 0x3E}},
                                  {0xB5074728, 0x1BC9, 0x4D6D, {0xA4, 0x07, 0x75, 0xE6, 0x9A, 0x46, 0x4B, 0x08}},
                                  kAutoComplete,
                                  COUNT(kAutoComplete)},
                                 {"Calendar",
                                  {0x69F2EBBF, 0xD021, 0x46B1, {0xA8, 0x7C, 0x55, 0xD8, 0xA8, 0xA1, 0x7F, 0xC8}},
                                  {0x1087AF29, 0x8CB5, 0x4A75, {0xBD, 0xAC, 0x8E, 0x68, 0xC9, 0x2A, 0x83, 0x03}},
                                  kCalendar,
                                  COUNT(kCalendar)},
                                 {"PopupMenu",
                                  {0x1AE2A7A8, 0x53BC, 0x4D83, {0xA8, 0x9B, 0x53, 0x9E, 0xA0, 0x18, 0xFC, 0xA5}},
                                  {0x27DDE07C, 0xF7B6, 0x4DA9, {0xB4, 0xE1, 0x68, 0xC8, 0xCF, 0x76, 0x09, 0xB3}},
                                  kPopupMenu,
                                  COUNT(kPopupMenu)},
                                 {"ProgressBar",
                                  {0xBB45D2B4, 0x226D, 0x4BD1, {0xAA, 0x50, 0x07, 0x9C, 0x9C, 0x75, 0x70, 0xAB}},
                                  {0x70A1941F, 0xF849, 0x4057, {0x98, 0x31, 0xA9, 0x2D, 0x37, 0x35, 0x98, 0xF5}},
                                  kProgressBar,
                                  COUNT(kProgressBar)},
                                 {"Tabs",
                                  {0xF1326A1F, 0x51F9, 0x44AB, {0xB4, 0x20, 0xBC, 0x35, 0x55, 0xE0, 0x75, 0x7F}},
                                  {0x84021F45, 0x8AC5, 0x4E3C, {0xB7, 0xBA, 0x2E, 0x1E, 0xB9, 0x5D, 0x8A, 0xF9}},
                                  kTabs,
                                  COUNT(kTabs)},
                                 {"Tree",
                                  {0xBFC10B8E, 0xF8D0, 0x4839, {0x83, 0xAE, 0x2E, 0x0B, 0x60, 0xC8, 0xBF, 0x58}},
                                  {0xABD5F1EE, 0xD162, 0x48F2, {0x8F, 0x4A, 0x13, 0x8F, 0x26, 0x5D, 0x49, 0x9E}},
                                  kTree,
                                  COUNT(kTree)}};

typedef struct {
  char name[40];
  char type;
  int optional;
} Param;

static int Params(const Row* row, Param out[4]) {
  const char* p = row->params;
  int n = 0;
  while (*p != '\0' && n < 4) {
    size_t len = strcspn(p, ":");
    memcpy(out[n].name, p, len);
    out[n].name[len] = '\0';
    out[n].type = p[len + 1];
    out[n].optional = p[len + 2] == '?';
    p += len + 2 + (size_t)out[n].optional;
    while (*p == ' ') ++p;
    ++n;
  }
  return n;
}

static VARTYPE VtOf(char type) {
  switch (type) {
    case 'S': return VT_BSTR;
    case 'I': return VT_I2;
    case 'B': return VT_BOOL;
    case 'V': return VT_VARIANT;
    default: return VT_VOID;
  }
}

/* ---- objects ----------------------------------------------------------------------- */

static IDispatch* Create(const Class* cls) {
  IClassFactory* factory = NULL;
  IDispatch* object = NULL;
  CHECK_HR(pDllGetClassObject(&cls->clsid, &kIID_IClassFactory, (void**)&factory), S_OK);
  if (factory == NULL) return NULL;
  /* Asked for by the IID of its dual interface. */
  CHECK_HR(factory->lpVtbl->CreateInstance(factory, NULL, &cls->iid, (void**)&object), S_OK);
  CHECK(factory->lpVtbl->Release(factory) == 0);
  return object;
}

/* ---- type information ------------------------------------------------------------ */

static void WalkTypeInfo(const Class* cls, IDispatch* d) {
  ITypeInfo* ti = NULL;
  TYPEATTR* attr = NULL;
  ITypeLib* lib = NULL;
  UINT n = 0, index = 99;
  int i, k;
  CHECK_HR(d->lpVtbl->GetTypeInfoCount(d, &n), S_OK);
  CHECK(n == 1);
  CHECK_HR(d->lpVtbl->GetTypeInfo(d, 0, 0, &ti), S_OK);
  if (ti == NULL) return;
  CHECK_HR(ti->lpVtbl->GetTypeAttr(ti, &attr), S_OK);
  if (attr != NULL) {
    CHECK(SameGuid(&attr->guid, &cls->iid));
    CHECK(attr->typekind == TKIND_DISPATCH);
    CHECK(attr->cFuncs == cls->count);
    CHECK(
        (attr->wTypeFlags & (TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION)) ==
        (TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION));
    ti->lpVtbl->ReleaseTypeAttr(ti, attr);
  }
  {
    BSTR name = NULL;
    CHECK_HR(ti->lpVtbl->GetDocumentation(ti, MEMBERID_NIL, &name, NULL, NULL, NULL), S_OK);
    if (name != NULL) {
      char* t = Text(name);
      CHECK(t[0] == '_' && strcmp(t + 1, cls->name) == 0);
      free(t);
    }
    pSysFreeString(name);
  }
  for (i = 0; i < cls->count; ++i) {
    const Row* row = &cls->rows[i];
    Param params[4];
    const int np = Params(row, params);
    int optional = 0;
    FUNCDESC* fd = NULL;
    BSTR names[6] = {NULL};
    LPOLESTR lookup[5];
    MEMBERID ids[5];
    DISPID id = 0;
    UINT got = 0;
    CHECK_HR(ti->lpVtbl->GetFuncDesc(ti, (UINT)i, &fd), S_OK);
    if (fd == NULL) continue;
    CHECK(fd->memid == row->id);
    CHECK(fd->invkind == (row->kind == 'm' ? INVOKE_FUNC : row->kind == 'g' ? INVOKE_PROPERTYGET : INVOKE_PROPERTYPUT));
    CHECK(fd->cParams == np);
    CHECK(fd->elemdescFunc.tdesc.vt == VtOf(row->result));
    CHECK(fd->oVft == (SHORT)((7 + i) * sizeof(void*)));
    for (k = 0; k < np && k < fd->cParams; ++k) {
      const ELEMDESC* e = &fd->lprgelemdescParam[k];
      CHECK(e->tdesc.vt == VT_PTR && e->tdesc.u.lptdesc != NULL && e->tdesc.u.lptdesc->vt == VtOf(params[k].type));
      CHECK((e->paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT)) == (PARAMFLAG_FIN | PARAMFLAG_FOUT));
      CHECK(((e->paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0) == params[k].optional);
      optional += params[k].optional;
    }
    CHECK(fd->cParamsOpt == optional);
    ti->lpVtbl->ReleaseFuncDesc(ti, fd);

    /* Names: the member, then (for the row with parameters) theirs. */
    CHECK_HR(ti->lpVtbl->GetNames(ti, row->id, names, 6, &got), S_OK);
    CHECK(got >= 1 && BstrIs(names[0], row->name));
    if (np > 0) {
      CHECK(got == (UINT)np + 1);
      for (k = 0; k < np && (UINT)k + 1 < got; ++k) CHECK(BstrIs(names[k + 1], params[k].name));
    }
    for (k = 0; k < 6; ++k) pSysFreeString(names[k]);

    /* Name lookup, by the type information and by IDispatch. */
    lookup[0] = Bstr(row->name);
    for (k = 0; k < np; ++k) lookup[k + 1] = Bstr(params[k].name);
    CHECK_HR(ti->lpVtbl->GetIDsOfNames(ti, lookup, (UINT)np + 1, ids), S_OK);
    CHECK(ids[0] == row->id);
    for (k = 0; k < np; ++k) CHECK(ids[k + 1] == k);
    CHECK_HR(d->lpVtbl->GetIDsOfNames(d, &kIID_NULL, lookup, 1, 0, &id), S_OK);
    CHECK(id == row->id);
    for (k = 0; k <= np; ++k) pSysFreeString(lookup[k]);
  }

  CHECK_HR(ti->lpVtbl->GetContainingTypeLib(ti, &lib, &index), S_OK);
  if (lib != NULL) {
    TLIBATTR* la = NULL;
    ITypeInfo* co = NULL;
    CHECK(lib->lpVtbl->GetTypeInfoCount(lib) == 12);
    CHECK_HR(lib->lpVtbl->GetLibAttr(lib, &la), S_OK);
    if (la != NULL) {
      CHECK(SameGuid(&la->guid, &kLIBID) && la->lcid == 0x0409 && la->wMajorVerNum == 27 && la->wMinorVerNum == 0);
      lib->lpVtbl->ReleaseTLibAttr(lib, la);
    }
    /* The class beside its interface, and the interface it refers to. */
    CHECK_HR(lib->lpVtbl->GetTypeInfoOfGuid(lib, &cls->clsid, &co), S_OK);
    if (co != NULL) {
      HREFTYPE ref = 0;
      ITypeInfo* iface = NULL;
      CHECK_HR(co->lpVtbl->GetTypeAttr(co, &attr), S_OK);
      if (attr != NULL) {
        CHECK(attr->typekind == TKIND_COCLASS && SameGuid(&attr->guid, &cls->clsid) && attr->cImplTypes == 1);
        co->lpVtbl->ReleaseTypeAttr(co, attr);
      }
      CHECK_HR(co->lpVtbl->GetRefTypeOfImplType(co, 0, &ref), S_OK);
      CHECK_HR(co->lpVtbl->GetRefTypeInfo(co, ref, &iface), S_OK);
      if (iface != NULL) {
        CHECK_HR(iface->lpVtbl->GetTypeAttr(iface, &attr), S_OK);
        if (attr != NULL) {
          CHECK(SameGuid(&attr->guid, &cls->iid));
          iface->lpVtbl->ReleaseTypeAttr(iface, attr);
        }
        iface->lpVtbl->Release(iface);
      }
      co->lpVtbl->Release(co);
    }
    {
      BSTR name = NULL;
      TYPEKIND kind = TKIND_COCLASS;
      CHECK_HR(lib->lpVtbl->GetTypeInfoType(lib, index, &kind), S_OK);
      CHECK(kind == TKIND_DISPATCH);
      CHECK_HR(lib->lpVtbl->GetDocumentation(lib, -1, &name, NULL, NULL, NULL), S_OK);
      CHECK(BstrIs(name, "Halvane"));
      pSysFreeString(name);
    }
    CHECK(lib->lpVtbl->Release(lib) == 0);
  }
  CHECK(ti->lpVtbl->Release(ti) == 0);
}

/* ---- calls through both paths ---------------------------------------------------- */

/* A call: the member (name and kind), the arguments as text, the error
 * number it raises (0 for none) and, when given, the start of its result
 * in VariantText form.  An argument of a Variant parameter is a String,
 * or "#n" for a Long, "~null" for Null; "~omit" leaves an optional one out. */
typedef struct {
  int cls;
  char kind;
  const char* member;
  const char* args[4];
  int raises;
  const char* result;
} Step;

static const Step kSteps[] = {{0, 'm', "EmbedAutoComplete", {"City", "Cities", "T", "F"}, 0, "8:<"},
                              {0, 'm', "EmbedAutoComplete", {"Town", "Towns", "F", "T"}, 0, NULL},
                              {1, 'l', "ImageURL", {"img/cal.gif"}, 0, NULL},
                              {1, 'g', "ImageURL", {0}, 0, "8:img/cal.gif"},
                              {1, 'l', "ActiveDate", {"12/4/2026"}, 0, NULL},
                              {1, 'l', "ActiveDate", {"not a date"}, 1, NULL},
                              {1, 'g', "ActiveDate", {0}, 0, "8:12/04/2026"},
                              {1, 'm', "DisplayEmbedded", {"cal1"}, 0, "8:<"},
                              {1, 'm', "DisplayPopup", {"start"}, 0, NULL},
                              {1, 'm', "DisplayPopup", {"~null"}, 0, NULL},
                              {2, 'l', "BorderColor", {"000000"}, 0, NULL},
                              {2, 'l', "Width", {"150"}, 0, NULL},
                              {2, 'l', "BGColor", {"FFFFFF"}, 0, NULL},
                              {2, 'l', "OnMouseOver", {"over(this)"}, 0, NULL},
                              {2, 'l', "OnMouseOut", {"out(this)"}, 0, NULL},
                              {2, 'm', "AddMenuTitle", {"Actions"}, 0, NULL},
                              {2, 'm', "AddMenuItem", {"Open", "open()", "open.gif"}, 0, NULL},
                              {2, 'm', "AddHorizontalRule", {"pixel.gif"}, 0, NULL},
                              {2, 'm', "EmbedPopupMenu", {0}, 0, "8:"},
                              {3, 'm', "GetValue", {0}, 0, "3:0"},
                              {3, 'l', "Max", {"#200"}, 0, NULL},
                              {3, 'l', "Max", {"lots"}, 13, NULL},
                              {3, 'g', "Max", {0}, 0, "3:200"},
                              {3, 'l', "Color", {"FF0000"}, 0, NULL},
                              {3, 'g', "Color", {0}, 0, "8:FF0000"},
                              {3, 'm', "SetValue", {"#50"}, 0, NULL},
                              {3, 'm', "Show", {"True", "0"}, 0, NULL},
                              {3, 'm', "HideOutput", {"maybe"}, 13, NULL},
                              {3, 'm', "HideOutput", {"~null"}, 94, NULL},
                              {4, 'm', "WriteTab", {"main", "page1.htm"}, 1, NULL},
                              {4, 'l', "IsVisible", {"T"}, 0, NULL},
                              {4, 'g', "TabName", {0}, 0, "8:"},
                              {4, 'l', "TabName", {"First"}, 0, NULL},
                              {4, 'g', "TabName", {0}, 0, "8:First"},
                              {4, 'l', "TabWidth", {"80"}, 0, NULL},
                              {4, 'g', "TabWidth", {0}, 0, "2:80"},
                              {4, 'l', "PanelWidth", {"400"}, 0, NULL},
                              {4, 'g', "PanelWidth", {0}, 0, "2:400"},
                              {4, 'l', "PanelHeight", {"300"}, 0, NULL},
                              {4, 'g', "PanelHeight", {0}, 0, "2:300"},
                              {4, 'l', "TabCount", {"3"}, 0, NULL},
                              {4, 'g', "TabCount", {0}, 0, "2:3"},
                              {4, 'l', "LayerColor", {"EFEFEF"}, 0, NULL},
                              {4, 'g', "LayerColor", {0}, 0, "8:EFEFEF"},
                              {4, 'l', "JavaScriptOnClick", {"go();"}, 0, NULL},
                              {4, 'g', "JavaScriptOnClick", {0}, 0, "8:go();"},
                              {4, 'm', "WriteTab", {"main", "page1.htm"}, 0, "8:<script language=\"JavaScript\">\r\n"},
                              {4, 'm', "MoveNextLayerColor", {0}, 0, NULL},
                              {4, 'm', "MovePreviousLayerColor", {0}, 0, NULL},
                              {4, 'l', "TabWidth", {"32767"}, 0, NULL},
                              {4, 'm', "WriteTab", {"main", "page2.htm"}, 0, NULL},
                              {4, 'm', "WriteTab", {"main", "page3.htm"}, 6, NULL},
                              {5, 'g', "Width", {0}, 0, NULL},
                              {5, 'l', "Width", {"200"}, 0, NULL},
                              {5, 'g', "Width", {0}, 0, "8:200"},
                              {5, 'l', "TextClass", {"t"}, 0, NULL},
                              {5, 'g', "TextClass", {0}, 0, "8:t"},
                              {5, 'l', "ExpandedImage", {"e.gif"}, 0, NULL},
                              {5, 'g', "ExpandedImage", {0}, 0, "8:e.gif"},
                              {5, 'l', "ExpandAllImage", {"ea.gif"}, 0, NULL},
                              {5, 'g', "ExpandAllImage", {0}, 0, "8:ea.gif"},
                              {5, 'l', "CollapsedImage", {"c.gif"}, 0, NULL},
                              {5, 'g', "CollapsedImage", {0}, 0, "8:c.gif"},
                              {5, 'l', "CollapseAllImage", {"ca.gif"}, 0, NULL},
                              {5, 'g', "CollapseAllImage", {0}, 0, "8:ca.gif"},
                              {5, 'm', "WriteExpandCollapse", {0}, 0, NULL},
                              {5, 'm', "Initialize", {0}, 0, "8:<"},
                              {5, 'm', "WriteMenuHeader", {"Docs"}, 0, NULL},
                              {5, 'm', "WriteNode", {"Install", "/install.htm", "_top", "~omit"}, 0, NULL},
                              {5, 'm', "WriteNode", {"Guide", "/guide.htm", "_top", "guide.gif"}, 0, NULL},
                              {5, 'm', "WriteMenuFooter", {0}, 0, NULL}};

/* The arguments of one call, made afresh for each path. */
typedef struct {
  BSTR s[4];
  SHORT i[4];
  VARIANT_BOOL b[4];
  VARIANT v[4];
  void* ptr[5];
  int count; /* arguments given (an omitted optional one ends the list) */
} Args;

static void MakeArgs(const Row* row, const Param* params, int np, const Step* step, Args* a) {
  int k;
  memset(a, 0, sizeof *a);
  a->count = np;
  for (k = 0; k < np; ++k) {
    const char* text = step->args[k];
    pVariantInit(&a->v[k]);
    if (text == NULL || strcmp(text, "~omit") == 0) {
      a->ptr[k] = NULL;
      if (a->count == np) a->count = k;
      continue;
    }
    switch (params[k].type) {
      case 'S':
        a->s[k] = Bstr(text);
        a->ptr[k] = &a->s[k];
        break;
      case 'I':
        a->i[k] = (SHORT)atoi(text);
        a->ptr[k] = &a->i[k];
        break;
      case 'B':
        a->b[k] = text[0] == 'T' ? -1 : 0;
        a->ptr[k] = &a->b[k];
        break;
      default:
        if (strcmp(text, "~null") == 0) {
          a->v[k].n1.n2.vt = VT_NULL;
        } else if (text[0] == '#') {
          a->v[k].n1.n2.vt = VT_I4;
          a->v[k].n1.n2.n3.lVal = atoi(text + 1);
        } else {
          a->v[k].n1.n2.vt = VT_BSTR;
          a->v[k].n1.n2.n3.bstrVal = Bstr(text);
        }
        a->ptr[k] = &a->v[k];
        break;
    }
  }
  (void)row;
}

static void FreeArgs(Args* a) {
  int k;
  for (k = 0; k < 4; ++k) {
    pSysFreeString(a->s[k]);
    pVariantClear(&a->v[k]);
  }
}

typedef HRESULT (*Entry0)(void*);
typedef HRESULT (*Entry1)(void*, void*);
typedef HRESULT (*Entry2)(void*, void*, void*);
typedef HRESULT (*Entry3)(void*, void*, void*, void*);
typedef HRESULT (*Entry4)(void*, void*, void*, void*, void*);
typedef HRESULT (*Entry5)(void*, void*, void*, void*, void*, void*);

/* Calls entry `slot` of the object's function table with `n` pointers. */
static HRESULT CallSlot(void* object, int slot, void** p, int n) {
  void (*const* table)(void) = *(void (*const* const*)(void))object;
  void (*fn)(void) = table[slot];
  switch (n) {
    case 0: return ((Entry0)fn)(object);
    case 1: return ((Entry1)fn)(object, p[0]);
    case 2: return ((Entry2)fn)(object, p[0], p[1]);
    case 3: return ((Entry3)fn)(object, p[0], p[1], p[2]);
    case 4: return ((Entry4)fn)(object, p[0], p[1], p[2], p[3]);
    default: return ((Entry5)fn)(object, p[0], p[1], p[2], p[3], p[4]);
  }
}

/* The thread's error information as "source|description"; NULL when none. */
static char* TakeError(const IID* iid) {
  IErrorInfo* info = NULL;
  BSTR source = NULL, description = NULL;
  GUID guid;
  char *s, *d, *out;
  if (pGetErrorInfo(0, &info) != S_OK || info == NULL) return NULL;
  CHECK_HR(info->lpVtbl->GetGUID(info, &guid), S_OK);
  CHECK(SameGuid(&guid, iid));
  CHECK_HR(info->lpVtbl->GetSource(info, &source), S_OK);
  CHECK_HR(info->lpVtbl->GetDescription(info, &description), S_OK);
  s = Text(source);
  d = Text(description);
  out = malloc(strlen(s) + strlen(d) + 2);
  if (out == NULL) abort();
  sprintf(out, "%s|%s", s, d);
  free(s);
  free(d);
  pSysFreeString(source);
  pSysFreeString(description);
  info->lpVtbl->Release(info);
  CHECK_HR(pGetErrorInfo(0, &info), S_FALSE); /* handed over: gone */
  return out;
}

static int StrEq(const char* a, const char* b) { return a != NULL && b != NULL && strcmp(a, b) == 0; }

/* One step on two objects of the class: `table` through the function
 * table, `late` through Invoke. */
static void RunStep(const Step* step, IDispatch* table, IDispatch* late, int* covered) {
  const Class* cls = &kClasses[step->cls];
  const Row* row = NULL;
  Param params[4];
  Args ta, la;
  int idx, np, k, n;
  HRESULT thr, lhr;
  BSTR sres = NULL;
  SHORT ires = 0;
  VARIANT vres, lres, largs[4];
  EXCEPINFO excep;
  DISPPARAMS dp;
  DISPID put = DISPID_PROPERTYPUT;
  UINT arg_err = 0;
  char *tr = NULL, *lr = NULL, *te, *le;
  const HRESULT raised = step->raises ? (HRESULT)(0x800A0000u + (unsigned)step->raises) : S_OK;

  for (idx = 0; idx < cls->count; ++idx)
    if (cls->rows[idx].kind == step->kind && strcmp(cls->rows[idx].name, step->member) == 0) break;
  if (idx == cls->count) {
    fprintf(stderr, "step %s.%s: no such row\n", cls->name, step->member);
    ++failures;
    return;
  }
  row = &cls->rows[idx];
  covered[idx] = 1;
  np = Params(row, params);

  /* Through the function table. */
  MakeArgs(row, params, np, step, &ta);
  pVariantInit(&vres);
  n = np;
  if (row->result != '-')
    ta.ptr[n++] = row->result == 'S' ? (void*)&sres : row->result == 'I' ? (void*)&ires : (void*)&vres;
  pSetErrorInfo(0, NULL);
  thr = CallSlot(table, 7 + idx, ta.ptr, n);
  te = TakeError(&cls->iid);
  if (row->result == 'S') {
    CHECK(thr == S_OK || sres == NULL); /* a failed call hands back nothing */
    vres.n1.n2.vt = VT_BSTR;
    vres.n1.n2.n3.bstrVal = sres;
  } else if (row->result == 'I') {
    vres.n1.n2.vt = VT_I2;
    vres.n1.n2.n3.iVal = ires;
  }
  if (row->result != '-') tr = VariantText(&vres);
  pVariantClear(&vres);

  /* Through Invoke: Variant arguments go by reference, so that what the
   * member writes back reaches them as it reaches the table's caller. */
  MakeArgs(row, params, np, step, &la);
  for (k = 0; k < la.count; ++k) {
    VARIANT* slot = &largs[la.count - 1 - k];
    pVariantInit(slot);
    switch (params[k].type) {
      case 'S':
        slot->n1.n2.vt = VT_BSTR;
        slot->n1.n2.n3.bstrVal = la.s[k];
        break;
      case 'I':
        slot->n1.n2.vt = VT_I2;
        slot->n1.n2.n3.iVal = la.i[k];
        break;
      case 'B':
        slot->n1.n2.vt = VT_BOOL;
        slot->n1.n2.n3.boolVal = la.b[k];
        break;
      default:
        slot->n1.n2.vt = VT_BYREF | VT_VARIANT;
        slot->n1.n2.n3.pvarVal = &la.v[k];
        break;
    }
  }
  dp.rgvarg = largs;
  dp.cArgs = (UINT)la.count;
  dp.rgdispidNamedArgs = row->kind == 'l' ? &put : NULL;
  dp.cNamedArgs = row->kind == 'l' ? 1 : 0;
  memset(&excep, 0, sizeof excep);
  pVariantInit(&lres);
  pSetErrorInfo(0, NULL);
  lhr = late->lpVtbl->Invoke(late, row->id, &kIID_NULL, 0,
                             row->kind == 'm'   ? DISPATCH_METHOD
                             : row->kind == 'g' ? DISPATCH_PROPERTYGET
                                                : DISPATCH_PROPERTYPUT,
                             &dp, row->result != '-' ? &lres : NULL, &excep, &arg_err);
  le = TakeError(&cls->iid);
  if (row->result != '-') lr = VariantText(&lres);
  pVariantClear(&lres);

  if (thr != raised || lhr != (step->raises ? DISP_E_EXCEPTION : S_OK)) {
    fprintf(stderr, "%s.%s: table 0x%08X, Invoke 0x%08X, expected error %d\n", cls->name, step->member, (unsigned)thr,
            (unsigned)lhr, step->raises);
    ++failures;
  }
  if (step->raises) {
    char* rec;
    char *s = Text(excep.bstrSource), *d = Text(excep.bstrDescription);
    rec = malloc(strlen(s) + strlen(d) + 2);
    if (rec == NULL) abort();
    sprintf(rec, "%s|%s", s, d);
    CHECK(excep.scode == raised);
    CHECK(StrEq(te, rec) && StrEq(le, rec));
    if (!StrEq(te, rec)) fprintf(stderr, "  error info %s, exception record %s\n", te ? te : "(none)", rec);
    free(s);
    free(d);
    free(rec);
    pSysFreeString(excep.bstrSource);
    pSysFreeString(excep.bstrDescription);
    CHECK(row->result == '-' || (StrEq(lr, "0:") && (row->result != 'S' || StrEq(tr, "8:"))));
  } else {
    CHECK(te == NULL && le == NULL);
  }
  if (row->result != '-' && !step->raises) {
    CHECK(StrEq(tr, lr));
    if (!StrEq(tr, lr)) fprintf(stderr, "  %s.%s: \"%.80s\" vs \"%.80s\"\n", cls->name, step->member, tr, lr);
    if (step->result != NULL && (tr == NULL || strncmp(tr, step->result, strlen(step->result)) != 0)) {
      fprintf(stderr, "%s.%s gave \"%.60s\", expected it to start \"%s\"\n", cls->name, step->member,
              tr ? tr : "(null)", step->result);
      ++failures;
    }
  }
  /* Arguments as the member left them (ProgressBar writes some back). */
  for (k = 0; k < np; ++k) {
    if (params[k].type != 'V' || ta.ptr[k] == NULL) continue;
    {
      char *a = VariantText(&ta.v[k]), *b = VariantText(&la.v[k]);
      CHECK(StrEq(a, b));
      if (!StrEq(a, b)) fprintf(stderr, "  %s.%s argument %d: %s vs %s\n", cls->name, step->member, k, a, b);
      free(a);
      free(b);
    }
  }
  FreeArgs(&ta);
  FreeArgs(&la);
  free(tr);
  free(lr);
  free(te);
  free(le);
}

static void DriveAllClasses(void) {
  IDispatch* table[6];
  IDispatch* late[6];
  int covered[6][20];
  int c, i;
  memset(covered, 0, sizeof covered);
  for (c = 0; c < 6; ++c) {
    ISupportErrorInfo* support = NULL;
    table[c] = Create(&kClasses[c]);
    late[c] = Create(&kClasses[c]);
    if (table[c] == NULL || late[c] == NULL) {
      ++failures;
      return;
    }
    CHECK_HR(table[c]->lpVtbl->QueryInterface(table[c], &kIID_ISupportErrorInfo, (void**)&support), S_OK);
    if (support != NULL) {
      CHECK_HR(support->lpVtbl->InterfaceSupportsErrorInfo(support, &kClasses[c].iid), S_OK);
      support->lpVtbl->Release(support);
    }
    WalkTypeInfo(&kClasses[c], table[c]);
  }
  for (i = 0; i < COUNT(kSteps); ++i)
    RunStep(&kSteps[i], table[kSteps[i].cls], late[kSteps[i].cls], covered[kSteps[i].cls]);
  for (c = 0; c < 6; ++c) {
    for (i = 0; i < kClasses[c].count; ++i) {
      if (!covered[c][i]) {
        fprintf(stderr, "%s: row %d (%s) never called\n", kClasses[c].name, i + 1, kClasses[c].rows[i].name);
        ++failures;
      }
    }
    CHECK_HR(pDllCanUnloadNow(), S_FALSE);
    CHECK(table[c]->lpVtbl->Release(table[c]) == 0);
    CHECK(late[c]->lpVtbl->Release(late[c]) == 0);
  }
  CHECK_HR(pDllCanUnloadNow(), S_OK);
}

/* The helpers under their usual names. */
static void Helpers(void) {
  VARIANT a, b;
  BSTR s = Bstr("12");
  CHECK(pSysStringLen(s) == 2 && pSysStringByteLen(s) == 4);
  CHECK(((const uint32_t*)(const void*)s)[-1] == 4 && s[2] == 0);
  pVariantInit(&a);
  pVariantInit(&b);
  a.n1.n2.vt = VT_BSTR;
  a.n1.n2.n3.bstrVal = s;
  CHECK_HR(pVariantCopy(&b, &a), S_OK);
  CHECK(b.n1.n2.vt == VT_BSTR && b.n1.n2.n3.bstrVal != s && BstrIs(b.n1.n2.n3.bstrVal, "12"));
  CHECK_HR(pVariantChangeType(&b, &b, 0, VT_I2), S_OK);
  CHECK(b.n1.n2.vt == VT_I2 && b.n1.n2.n3.iVal == 12);
  b.n1.n2.n3.iVal = 32767;
  CHECK_HR(pVariantChangeType(&a, &b, 0, VT_BSTR), S_OK); /* the old BSTR of `a` is freed */
  CHECK(a.n1.n2.vt == VT_BSTR && BstrIs(a.n1.n2.n3.bstrVal, "32767"));
  CHECK_HR(pVariantChangeType(&b, &a, 0, VT_BOOL), S_OK);
  CHECK(b.n1.n2.vt == VT_BOOL && b.n1.n2.n3.boolVal == -1);
  pVariantClear(&a);
  CHECK(a.n1.n2.vt == VT_EMPTY);
}

static char* ReadFile(const char* path) {
  FILE* f = fopen(path, "rb");
  char* text;
  long size;
  if (f == NULL) return NULL;
  fseek(f, 0, SEEK_END);
  size = ftell(f);
  fseek(f, 0, SEEK_SET);
  text = malloc((size_t)size + 1);
  if (text != NULL) {
    size_t got = fread(text, 1, (size_t)size, f);
    text[got] = '\0';
  }
  fclose(f);
  return text;
}

/* Registration names the library by the absolute path it was loaded from,
 * although it was loaded by a relative name from a directory since left. */
static void Registration(const char* library) {
  char dir[] = "/tmp/halvane-c-host-XXXXXX";
  char store[256];
  char expected[512];
  char *first, *second;
  if (mkdtemp(dir) == NULL) {
    ++failures;
    return;
  }
  snprintf(store, sizeof store, "%s/config/classes.ini", dir);
  setenv("HALVANE_CLASS_STORE", store, 1);

  CHECK_HR(pDllUnregisterServer(), S_OK); /* nothing registered yet */
  CHECK(access(store, F_OK) != 0);
  CHECK_HR(pDllRegisterServer(), S_OK);
  first = ReadFile(store);
  CHECK(first != NULL);
  if (first != NULL) {
    snprintf(expected, sizeof expected,
             "[CLSID\\{F1326A1F-51F9-44AB-B420-BC3555E0757F}]\nClass=Tabs\nProgID=Halvane.Tabs\n"
             "InprocServer32=%s\nThreadingModel=Apartment\n",
             library);
    CHECK(strstr(first, expected) != NULL);
    if (strstr(first, expected) == NULL) fprintf(stderr, "%s\n", first);
    snprintf(expected, sizeof expected,
             "[TypeLib\\{0B0251ED-0859-4996-AE59-5F70D7159274}\\27.0]\nName=Halvane\nLCID=0\nPath=%s\n", library);
    CHECK(strstr(first, expected) != NULL);
  }
  CHECK_HR(pDllRegisterServer(), S_OK);
  second = ReadFile(store);
  CHECK(first != NULL && second != NULL && strcmp(first, second) == 0);
  free(first);
  free(second);
  CHECK_HR(pDllUnregisterServer(), S_OK);
  CHECK(access(store, F_OK) != 0);

  snprintf(expected, sizeof expected, "%s/config", dir);
  rmdir(expected);
  rmdir(dir);
  unsetenv("HALVANE_CLASS_STORE");
}

int main(int argc, char** argv) {
  void* lib;
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* object = &object;
  char dir[4096];
  const char* slash;
  if (argc != 2 || argv[1][0] != '/' || (slash = strrchr(argv[1], '/')) == NULL ||
      (size_t)(slash - argv[1]) >= sizeof dir - 1) {
    fprintf(stderr, "usage: %s /absolute/path/to/libhalvane.so\n", argv[0]);
    return 2;
  }
  memcpy(dir, argv[1], (size_t)(slash - argv[1]));
  dir[slash - argv[1] == 0 ? 1 : slash - argv[1]] = '\0';
  if (slash == argv[1]) dir[0] = '/';
  {
    char relative[4096];
    snprintf(relative, sizeof relative, "./%s", slash + 1);
    if (chdir(dir) != 0) return 1;
    lib = dlopen(relative, RTLD_NOW | RTLD_LOCAL);
    if (chdir("/") != 0) return 1;
  }
  if (lib == NULL) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  if (!RESOLVE(DllGetClassObject) || !RESOLVE(DllCanUnloadNow) || !RESOLVE(DllRegisterServer) ||
      !RESOLVE(DllUnregisterServer) || !RESOLVE(SysAllocStringLen) || !RESOLVE(SysFreeString) ||
      !RESOLVE(SysStringLen) || !RESOLVE(SysStringByteLen) || !RESOLVE(VariantInit) || !RESOLVE(VariantClear) ||
      !RESOLVE(VariantCopy) || !RESOLVE(VariantChangeType) || !RESOLVE(GetErrorInfo) || !RESOLVE(SetErrorInfo))
    return 1;

  CHECK_HR(pDllCanUnloadNow(), S_OK);
  CHECK_HR(pDllGetClassObject(&unknown, &kIID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  CHECK(object == NULL);
  {
    /* A class object alone leaves the library free to unload. */
    IUnknown* factory = NULL;
    CHECK_HR(pDllGetClassObject(&kClasses[4].clsid, &kIID_IUnknown, (void**)&factory), S_OK);
    CHECK_HR(pDllCanUnloadNow(), S_OK);
    if (factory != NULL) factory->lpVtbl->Release(factory);
  }

  Helpers();
  DriveAllClasses();
  Registration(argv[1]);

  CHECK_HR(pDllCanUnloadNow(), S_OK);
  CHECK(dlclose(lib) == 0);
  if (failures != 0) {
    fprintf(stderr, "%d check(s) failed\n", failures);
    return 1;
  }
  puts("c_host: all checks passed");
  return 0;
}
