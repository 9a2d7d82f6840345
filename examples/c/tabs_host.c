/*
 * A C host that loads libhalvane.so at run time and builds two tabs through
 * the function table of the _Tabs dual interface: properties by
 * put_/get_ entries, WriteTab with its two Variant arguments, and an error
 * read back with GetErrorInfo.  It prints the page fragment it built.
 *
 *   cc -I<halvane source> tabs_host.c -ldl -o tabs_host
 *   ./tabs_host /usr/local/lib/libhalvane.so
 */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "server/halvane_com.h"

static HRESULT (*pDllGetClassObject)(REFCLSID, REFIID, void**);
static BSTR (*pSysAllocStringUtf8)(const char*, size_t);
static char* (*pSysStringToUtf8)(BSTR, size_t*);
static void (*pFreeUtf8)(char*);
static void (*pSysFreeString)(BSTR);
static HRESULT (*pVariantClear)(VARIANT*);
static HRESULT (*pGetErrorInfo)(ULONG, IErrorInfo**);

static void* Find(void* lib, const char* name) {
  void* sym = dlsym(lib, name);
  if (sym == NULL) {
    fprintf(stderr, "tabs_host: %s is not exported\n", name);
    exit(1);
  }
  return sym;
}
#define FIND(var, name) memcpy(&(var), &(void*){Find(lib, name)}, sizeof(var))

static BSTR Bstr(const char* text) { return pSysAllocStringUtf8(text, strlen(text)); }

static VARIANT Text(const char* text) {
  VARIANT v;
  memset(&v, 0, sizeof v);
  v.vt = VT_BSTR;
  v.bstrVal = Bstr(text);
  return v;
}

/* Prints a BSTR result and frees it. */
static void Print(BSTR s) {
  char* utf8 = pSysStringToUtf8(s, NULL);
  fputs(utf8 != NULL ? utf8 : "", stdout);
  pFreeUtf8(utf8);
  pSysFreeString(s);
}

static int Check(HRESULT hr, const char* what) {
  if (hr == S_OK) return 1;
  fprintf(stderr, "tabs_host: %s failed with 0x%08X\n", what, (unsigned)hr);
  return 0;
}

/* One tab: its name, then WriteTab(frame name, page). */
static int AddTab(_Tabs* tabs, const char* name, const char* page) {
  BSTR tab_name = Bstr(name);
  VARIANT frame = Text("main"), url = Text(page);
  BSTR html = NULL;
  int ok = Check(tabs->lpVtbl->put_TabName(tabs, &tab_name), "TabName") &&
           Check(tabs->lpVtbl->WriteTab(tabs, &frame, &url, &html), "WriteTab");
  if (ok) Print(html);
  pSysFreeString(tab_name);
  pVariantClear(&frame);
  pVariantClear(&url);
  return ok;
}

int main(int argc, char** argv) {
  void* lib;
  IClassFactory* factory = NULL;
  _Tabs* tabs = NULL;
  _Tabs* empty = NULL;
  SHORT count = 2, width = 80, panel_width = 400, panel_height = 300;
  int ok;
  if (argc != 2) {
    fprintf(stderr, "usage: %s /path/to/libhalvane.so\n", argv[0]);
    return 2;
  }
  lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) {
    fprintf(stderr, "tabs_host: %s\n", dlerror());
    return 1;
  }
  FIND(pDllGetClassObject, "DllGetClassObject");
  FIND(pSysAllocStringUtf8, "HalvaneSysAllocStringUtf8");
  FIND(pSysStringToUtf8, "HalvaneSysStringToUtf8");
  FIND(pFreeUtf8, "HalvaneFreeUtf8");
  FIND(pSysFreeString, "SysFreeString");
  FIND(pVariantClear, "VariantClear");
  FIND(pGetErrorInfo, "GetErrorInfo");

  /* Two objects, asked for by the IID of the dual interface. */
  if (!Check(pDllGetClassObject(&CLSID_HalvaneTabs, &IID_IClassFactory, (void**)&factory), "DllGetClassObject"))
    return 1;
  ok = Check(factory->lpVtbl->CreateInstance(factory, NULL, &IID__Tabs, (void**)&tabs), "CreateInstance") &&
       Check(factory->lpVtbl->CreateInstance(factory, NULL, &IID__Tabs, (void**)&empty), "CreateInstance");
  factory->lpVtbl->Release(factory);

  ok = ok && Check(tabs->lpVtbl->put_TabCount(tabs, &count), "TabCount") &&
       Check(tabs->lpVtbl->put_TabWidth(tabs, &width), "TabWidth") &&
       Check(tabs->lpVtbl->put_PanelWidth(tabs, &panel_width), "PanelWidth") &&
       Check(tabs->lpVtbl->put_PanelHeight(tabs, &panel_height), "PanelHeight") && AddTab(tabs, "News", "news.htm") &&
       Check(tabs->lpVtbl->MoveNextLayerColor(tabs), "MoveNextLayerColor") && AddTab(tabs, "Weather", "weather.htm");

  if (ok) {
    /* A tab without a name: the call returns the error's status and leaves
     * its source and description in the thread's error information. */
    VARIANT frame = Text("main"), url = Text("x.htm");
    BSTR html = NULL;
    IErrorInfo* error = NULL;
    const HRESULT hr = empty->lpVtbl->WriteTab(empty, &frame, &url, &html);
    if (hr != S_OK && pGetErrorInfo(0, &error) == S_OK) {
      BSTR source = NULL, description = NULL;
      char *s, *d;
      error->lpVtbl->GetSource(error, &source);
      error->lpVtbl->GetDescription(error, &description);
      s = pSysStringToUtf8(source, NULL);
      d = pSysStringToUtf8(description, NULL);
      printf("<!-- error 0x%08X from %s: %s -->\r\n", (unsigned)hr, s, d);
      pFreeUtf8(s);
      pFreeUtf8(d);
      pSysFreeString(source);
      pSysFreeString(description);
      error->lpVtbl->Release(error);
    } else {
      ok = 0;
    }
    pVariantClear(&frame);
    pVariantClear(&url);
  }
  if (tabs != NULL) tabs->lpVtbl->Release(tabs);
  if (empty != NULL) empty->lpVtbl->Release(empty);
  return ok ? 0 : 1;
}
