/*
 * A host written in C: loads libhalvane.so with dlopen, creates Halvane.Tabs
 * through DllGetClassObject, drives it through IDispatch, reads the
 * exception record of a member error, releases everything, checks that the
 * library may be unloaded, and registers and unregisters the classes in a
 * temporary class store.
 *
 * Usage: halvane_c_host /absolute/path/of/libhalvane.so
 */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uchar.h>
#include <unistd.h>

#include "server/halvane_com.h"

static int failures = 0;

#define CHECK(cond)                                                          \
  do {                                                                       \
    if (!(cond)) {                                                           \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                            \
    }                                                                        \
  } while (0)

#define CHECK_HR(expr, want)                                                             \
  do {                                                                                   \
    HRESULT hr_ = (expr);                                                                \
    if (hr_ != (want)) {                                                                 \
      fprintf(stderr, "%s:%d: %s gave 0x%08X, expected 0x%08X\n", __FILE__, __LINE__, #expr, \
              (unsigned)hr_, (unsigned)(want));                                         \
      ++failures;                                                                        \
    }                                                                                    \
  } while (0)

/* The library's exports, found with dlsym. */
static HRESULT (*pDllGetClassObject)(REFCLSID, REFIID, void**);
static HRESULT (*pDllCanUnloadNow)(void);
static HRESULT (*pDllRegisterServer)(void);
static HRESULT (*pDllUnregisterServer)(void);
static BSTR (*pSysAllocString)(const OLECHAR*);
static void (*pSysFreeString)(BSTR);
static UINT (*pSysStringLen)(BSTR);
static char* (*pSysStringToUtf8)(BSTR, size_t*);
static void (*pFreeUtf8)(char*);
static void (*pVariantInit)(VARIANT*);
static HRESULT (*pVariantClear)(VARIANT*);

static int Resolve(void* lib, const char* name, void* fn, size_t size) {
  void* sym = dlsym(lib, name);
  if (sym == NULL) {
    fprintf(stderr, "missing export %s\n", name);
    return 0;
  }
  memcpy(fn, &sym, size);
  return 1;
}
#define RESOLVE(lib, name, fn) Resolve((lib), (name), &(fn), sizeof(fn))

/* Does the BSTR hold exactly these bytes (ASCII text, one code unit each)? */
static int BstrEquals(BSTR s, const char* expected) {
  size_t len = 0;
  char* text = pSysStringToUtf8(s, &len);
  int same = text != NULL && len == strlen(expected) && memcmp(text, expected, len) == 0 &&
             pSysStringLen(s) == len;
  if (!same) fprintf(stderr, "got:\n%s\nexpected:\n%s\n", text ? text : "(null)", expected);
  pFreeUtf8(text);
  return same;
}

static VARIANT Text(const char16_t* text) {
  VARIANT v;
  pVariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = pSysAllocString(text);
  return v;
}

static DISPID Id(IDispatch* d, const char16_t* name) {
  LPOLESTR names[1];
  DISPID id = DISPID_UNKNOWN;
  names[0] = pSysAllocString(name);
  CHECK_HR(d->lpVtbl->GetIDsOfNames(d, &IID_NULL, names, 1, 0, &id), S_OK);
  pSysFreeString(names[0]);
  return id;
}

/* Property put of one value; the value is cleared afterwards. */
static HRESULT Put(IDispatch* d, const char16_t* name, VARIANT value) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params;
  HRESULT hr;
  params.rgvarg = &value;
  params.rgdispidNamedArgs = &put;
  params.cArgs = 1;
  params.cNamedArgs = 1;
  hr = d->lpVtbl->Invoke(d, Id(d, name), &IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, NULL, NULL, NULL);
  pVariantClear(&value);
  return hr;
}

/* WriteTab(ContentName, URL): the arguments go into DISPPARAMS last first. */
static HRESULT WriteTab(IDispatch* d, VARIANT* content_name, VARIANT* url, VARIANT* result, EXCEPINFO* excep) {
  VARIANT args[2];
  DISPPARAMS params;
  UINT arg_err = 0;
  args[0] = *url;
  args[1] = *content_name;
  params.rgvarg = args;
  params.rgdispidNamedArgs = NULL;
  params.cArgs = 2;
  params.cNamedArgs = 0;
  return d->lpVtbl->Invoke(d, Id(d, u"writetab"), &IID_NULL, 0, DISPATCH_METHOD, &params, result, excep, &arg_err);
}

static IDispatch* CreateTabs(void) {
  IClassFactory* factory = NULL;
  IUnknown* unknown = NULL;
  IDispatch* tabs = NULL;
  CHECK_HR(pDllGetClassObject(&CLSID_HalvaneTabs, &IID_IUnknown, (void**)&unknown), S_OK);
  if (unknown == NULL) return NULL;
  CHECK_HR(unknown->lpVtbl->QueryInterface(unknown, &IID_IClassFactory, (void**)&factory), S_OK);
  CHECK(unknown->lpVtbl->Release(unknown) == 1);
  if (factory == NULL) return NULL;
  CHECK_HR(factory->lpVtbl->CreateInstance(factory, NULL, &IID_IDispatch, (void**)&tabs), S_OK);
  CHECK(factory->lpVtbl->Release(factory) == 0);
  return tabs;
}

static const char kSecondTab[] =
    "<div id='p1panel1' class='panel' style='background-color: #EFEFEF;  z-index:2'>\r\n"
    "<br>\r\n"
    "<iframe name=\"main\" border=1 frameborder=1 src=\"page2.htm\" width=\"383\" height=\"280\"></iframe></div>\r\n"
    "<div onclick=\"selectTab(1);\" id=\"p1tab1\" class=\"tab\" style=\"background-color:#EFEFEF; height:20px; "
    "left:80px; top:0px; z-index:2\">\r\n"
    "Second</div>\r\n";

static void DriveTabs(void) {
  IDispatch* tabs = CreateTabs();
  IDispatch* fresh = CreateTabs();
  VARIANT v, name, url, result;
  EXCEPINFO excep;
  BSTR frame;
  size_t lines = 0;
  const OLECHAR* p;
  if (tabs == NULL || fresh == NULL) {
    ++failures;
    return;
  }
  CHECK_HR(pDllCanUnloadNow(), S_FALSE);

  /* Name lookup in any case, with the published DISPIDs. */
  CHECK(Id(tabs, u"TABCOUNT") == 0x68030002);
  CHECK(Id(tabs, u"tabwidth") == 0x68030005);
  CHECK(Id(tabs, u"PanelWidth") == 0x68030004);
  CHECK(Id(tabs, u"panelHEIGHT") == 0x68030003);
  CHECK(Id(tabs, u"TabName") == 0x68030006);
  CHECK(Id(tabs, u"WriteTab") == 0x6003000B);
  CHECK(Id(tabs, u"movenextlayercolor") == 0x6003000C);
  {
    LPOLESTR names[1];
    DISPID id = 0;
    names[0] = pSysAllocString(u"WriteTabs");
    CHECK_HR(tabs->lpVtbl->GetIDsOfNames(tabs, &IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    pSysFreeString(names[0]);
  }

  /* Geometry, each value of a different kind converted to Integer. */
  pVariantInit(&v);
  v.vt = VT_I2;
  v.iVal = 3;
  CHECK_HR(Put(tabs, u"TabCount", v), S_OK);
  v.vt = VT_I4;
  v.lVal = 80;
  CHECK_HR(Put(tabs, u"TabWidth", v), S_OK);
  CHECK_HR(Put(tabs, u"PanelWidth", Text(u"400")), S_OK);
  v.vt = VT_R8;
  v.dblVal = 300.0;
  CHECK_HR(Put(tabs, u"PanelHeight", v), S_OK);
  v.vt = VT_I4;
  v.lVal = 70000;
  CHECK_HR(Put(tabs, u"PanelHeight", v), DISP_E_OVERFLOW);

  /* First tab: page script, style block, container and the tab. */
  CHECK_HR(Put(tabs, u"TabName", Text(u"First")), S_OK);
  name = Text(u"main");
  url = Text(u"page1.htm");
  pVariantInit(&result);
  CHECK_HR(WriteTab(tabs, &name, &url, &result, NULL), S_OK);
  CHECK(result.vt == VT_BSTR);
  if (result.vt == VT_BSTR) {
    for (p = result.bstrVal; p + 1 < result.bstrVal + pSysStringLen(result.bstrVal); ++p)
      if (p[0] == '\r' && p[1] == '\n') ++lines;
    CHECK(lines == 35);
    CHECK(memcmp(result.bstrVal, u"<script language=\"JavaScript\">\r\n", 32 * sizeof(OLECHAR)) == 0);
  }
  pVariantClear(&result);
  pVariantClear(&url);

  /* A lighter colour, then the second tab: the worked example.  The frame
   * name goes by reference. */
  {
    DISPPARAMS none = {NULL, NULL, 0, 0};
    CHECK_HR(tabs->lpVtbl->Invoke(tabs, Id(tabs, u"MoveNextLayerColor"), &IID_NULL, 0, DISPATCH_METHOD, &none,
                                  NULL, NULL, NULL),
             S_OK);
  }
  CHECK_HR(Put(tabs, u"TabName", Text(u"Second")), S_OK);
  frame = name.bstrVal;
  pVariantInit(&name);
  name.vt = VT_BYREF | VT_BSTR;
  name.pbstrVal = &frame;
  url = Text(u"page2.htm");
  CHECK_HR(WriteTab(tabs, &name, &url, &result, NULL), S_OK);
  CHECK(result.vt == VT_BSTR && BstrEquals(result.bstrVal, kSecondTab));
  pVariantClear(&result);
  pVariantClear(&url);
  pSysFreeString(frame);

  /* The empty TabName error of a new object, with its exception record. */
  name = Text(u"main");
  url = Text(u"page1.htm");
  memset(&excep, 0, sizeof excep);
  CHECK_HR(WriteTab(fresh, &name, &url, &result, &excep), DISP_E_EXCEPTION);
  CHECK(result.vt == VT_EMPTY);
  CHECK((unsigned)excep.scode == 0x800A0001u);
  CHECK(excep.bstrSource != NULL && BstrEquals(excep.bstrSource, "QuorvixTabs.TABS"));
  CHECK(excep.bstrDescription != NULL && BstrEquals(excep.bstrDescription, "TabName property is empty."));
  CHECK(excep.bstrHelpFile == NULL);
  pSysFreeString(excep.bstrSource);
  pSysFreeString(excep.bstrDescription);
  pVariantClear(&name);
  pVariantClear(&url);

  CHECK(fresh->lpVtbl->Release(fresh) == 0);
  CHECK_HR(pDllCanUnloadNow(), S_FALSE);
  CHECK(tabs->lpVtbl->Release(tabs) == 0);
  CHECK_HR(pDllCanUnloadNow(), S_OK);
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

static void Registration(const char* library) {
  char dir[] = "/tmp/halvane-c-host-XXXXXX";
  char store[256];
  char expected[512];
  char *first, *second;
  FILE* f;
  static const char kForeign[] = "[Other]\nKey=Value\n";
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
    CHECK(strstr(first, "[ProgID\\Halvane.Tabs]\nCLSID={F1326A1F-51F9-44AB-B420-BC3555E0757F}\n") != NULL);
    snprintf(expected, sizeof expected, "[TypeLib\\{0B0251ED-0859-4996-AE59-5F70D7159274}\\27.0]\nName=Halvane\nLCID=0\nPath=%s\n",
             library);
    CHECK(strstr(first, expected) != NULL);
  }
  CHECK_HR(pDllRegisterServer(), S_OK);
  second = ReadFile(store);
  CHECK(first != NULL && second != NULL && strcmp(first, second) == 0);
  free(first);
  free(second);
  CHECK_HR(pDllUnregisterServer(), S_OK);
  CHECK(access(store, F_OK) != 0);
  CHECK_HR(pDllUnregisterServer(), S_OK);

  /* Another server's section survives a round trip unchanged. */
  f = fopen(store, "wb");
  CHECK(f != NULL);
  if (f != NULL) {
    fputs(kForeign, f);
    fclose(f);
  }
  CHECK_HR(pDllRegisterServer(), S_OK);
  CHECK_HR(pDllUnregisterServer(), S_OK);
  first = ReadFile(store);
  CHECK(first != NULL && strcmp(first, kForeign) == 0);
  free(first);

  unlink(store);
  snprintf(expected, sizeof expected, "%s/config", dir);
  rmdir(expected);
  rmdir(dir);
  unsetenv("HALVANE_CLASS_STORE");
}

int main(int argc, char** argv) {
  void* lib;
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* object = &object;
  if (argc != 2) {
    fprintf(stderr, "usage: %s /path/to/libhalvane.so\n", argv[0]);
    return 2;
  }
  lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  if (!RESOLVE(lib, "DllGetClassObject", pDllGetClassObject) || !RESOLVE(lib, "DllCanUnloadNow", pDllCanUnloadNow) ||
      !RESOLVE(lib, "DllRegisterServer", pDllRegisterServer) ||
      !RESOLVE(lib, "DllUnregisterServer", pDllUnregisterServer) ||
      !RESOLVE(lib, "HalvaneSysAllocString", pSysAllocString) ||
      !RESOLVE(lib, "HalvaneSysFreeString", pSysFreeString) || !RESOLVE(lib, "HalvaneSysStringLen", pSysStringLen) ||
      !RESOLVE(lib, "HalvaneSysStringToUtf8", pSysStringToUtf8) || !RESOLVE(lib, "HalvaneFreeUtf8", pFreeUtf8) ||
      !RESOLVE(lib, "HalvaneVariantInit", pVariantInit) || !RESOLVE(lib, "HalvaneVariantClear", pVariantClear))
    return 1;

  CHECK_HR(pDllCanUnloadNow(), S_OK);
  CHECK_HR(pDllGetClassObject(&unknown, &IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  CHECK(object == NULL);

  DriveTabs();
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
