/*
 * A host written in C against its own automation declarations
 * (automation_decls.h, not the library's header).  It loads libhalvane.so
 * with dlopen by a relative name, creates every class through
 * DllGetClassObject, walks the type information of every interface against
 * the member tables of members.txt, calls every member of every class both
 * through the function table of its dual interface and through
 * IDispatch::Invoke, checks that both give the same results, written-back
 * arguments and errors (EXCEPINFO, the returned status and GetErrorInfo),
 * then registers and unregisters the classes in a temporary class store.
 *
 * Usage: halvane_c_host /absolute/path/of/libhalvane.so members.txt
 */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "automation_decls.h"

static int failures = 0;

static int Check(int ok, int line, const char* what) {
  if (!ok) fprintf(stderr, "c_host.c:%d: check failed: %s\n", line, what);
  failures += !ok;
  return ok;
}
#define CHECK(cond) Check((cond) != 0, __LINE__, #cond)

static void CheckHr(HRESULT got, HRESULT want, int line, const char* what) {
  if (got != want)
    fprintf(stderr, "c_host.c:%d: %s gave 0x%08X, expected 0x%08X\n", line, what, (unsigned)got, (unsigned)want);
  failures += got != want;
}
#define CHECK_HR(expr, want) CheckHr((expr), (want), __LINE__, #expr)

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

/* dlsym gives an object pointer; it is copied into the function pointer. */
#define RESOLVE(name) (memcpy(&p##name, (void* [1]){dlsym(lib, #name)}, sizeof(void*)), p##name != NULL)

/* ---- text -------------------------------------------------------------------- */

static void* Alloc(size_t n) {
  void* p = malloc(n);
  if (p == NULL) abort();
  return p;
}

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
  char* out = Alloc((size_t)n + 1);
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

/* "source: description", the form in which error records are compared. */
static char* Pair(BSTR source, BSTR description) {
  char *s = Text(source), *d = Text(description), *out = Alloc(strlen(s) + strlen(d) + 3);
  sprintf(out, "%s: %s", s, d);
  free(s);
  free(d);
  return out;
}

/* A VARIANT as "kind:text", the form in which results are compared (the
 * kinds the members give: String, Integer, Long, Boolean, Empty). */
static char* VariantText(const VARIANT* v) {
  const VARTYPE vt = v->n1.n2.vt;
  char* body = vt == VT_BSTR ? Text(v->n1.n2.n3.bstrVal) : NULL;
  char* out = Alloc((body != NULL ? strlen(body) : 0) + 24);
  if (body != NULL) {
    sprintf(out, "%d:%s", vt, body);
  } else if (vt == VT_I2 || vt == VT_BOOL || vt == VT_I4) {
    sprintf(out, "%d:%ld", vt, vt == VT_I4 ? (long)v->n1.n2.n3.lVal : (long)v->n1.n2.n3.iVal);
  } else {
    sprintf(out, "%d:", vt);
  }
  free(body);
  return out;
}

static int SameGuid(const GUID* a, const GUID* b) { return memcmp(a, b, sizeof *a) == 0; }
static int StrEq(const char* a, const char* b) { return a != NULL && b != NULL && strcmp(a, b) == 0; }

/* ---- the member tables: what the interfaces must offer (members.txt) ---------- */

/* kind: m method, g property get, l property let.  result and parameter
 * types: S String, I Integer, B Boolean, V Variant, - none.  Parameters
 * are "name:type", "?" after the type for an optional one. */
typedef struct {
  char kind, result;
  char name[40];
  DISPID id;
  char params[192];
} Row;

/* A class, its members in function-table order and the calls made on it:
 * "kind|member|arguments...|error number raised|start of the result", or
 * for an error its whole "source: description". */
typedef struct {
  char name[16];
  CLSID clsid;
  IID iid;
  Row rows[20];
  int count, nsteps;
  char steps[40][192];
} Class;

static Class kClasses[6];

static int ParseGuid(const char* s, GUID* g) {
  unsigned b[8];
  int k, n = sscanf(s, "%8x-%4hx-%4hx-%2x%2x-%2x%2x%2x%2x%2x%2x", &g->Data1, &g->Data2, &g->Data3, &b[0], &b[1], &b[2],
                    &b[3], &b[4], &b[5], &b[6], &b[7]);
  for (k = 0; k < 8; ++k) g->Data4[k] = (unsigned char)b[k];
  return n == 11;
}

static int LoadTables(const char* path) {
  FILE* f = fopen(path, "r");
  char line[192], clsid[40], iid[40];
  Class* c = NULL;
  int classes = 0, ok = f != NULL;
  while (ok && fgets(line, sizeof line, f) != NULL) {
    line[strcspn(line, "\r\n")] = '\0';
    if (line[0] == '#' || line[0] == '\0') continue;
    if (strncmp(line, "class ", 6) == 0) {
      c = classes < 6 ? &kClasses[classes++] : NULL;
      ok = c != NULL && sscanf(line + 6, "%15s %39s %39s", c->name, clsid, iid) == 3 && ParseGuid(clsid, &c->clsid) &&
           ParseGuid(iid, &c->iid);
    } else if (c != NULL && line[0] == '>' && c->nsteps < 40) {
      snprintf(c->steps[c->nsteps++], sizeof c->steps[0], "%s", line + 2);
    } else if (c != NULL && c->count < 20) {
      Row* r = &c->rows[c->count++];
      unsigned id = 0;
      int used = 0;
      ok = sscanf(line, "%c %39s %x %c %n", &r->kind, r->name, &id, &r->result, &used) >= 4 && used > 0;
      r->id = (DISPID)id;
      snprintf(r->params, sizeof r->params, "%s", line + used);
    } else {
      ok = 0;
    }
  }
  if (f != NULL) fclose(f);
  if (!ok || classes != 6) fprintf(stderr, "cannot read the member tables %s\n", path);
  return ok && classes == 6;
}

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
  return type == 'S' ? VT_BSTR : type == 'I' ? VT_I2 : type == 'B' ? VT_BOOL : type == 'V' ? VT_VARIANT : VT_VOID;
}

/* ---- type information ------------------------------------------------------------ */

static void WalkTypeInfo(const Class* cls, IDispatch* d) {
  const WORD flags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
  ITypeInfo* ti = NULL;
  TYPEATTR* attr = NULL;
  ITypeLib* lib = NULL;
  BSTR name = NULL;
  char want[20];
  UINT n = 0, index = 99;
  int i, k;
  CHECK_HR(d->lpVtbl->GetTypeInfoCount(d, &n), S_OK);
  CHECK(n == 1);
  CHECK_HR(d->lpVtbl->GetTypeInfo(d, 0, 0, &ti), S_OK);
  if (ti == NULL) return;
  CHECK_HR(ti->lpVtbl->GetTypeAttr(ti, &attr), S_OK);
  if (attr != NULL) {
    CHECK(SameGuid(&attr->guid, &cls->iid) && attr->typekind == TKIND_DISPATCH && attr->cFuncs == cls->count);
    CHECK((attr->wTypeFlags & flags) == flags);
    ti->lpVtbl->ReleaseTypeAttr(ti, attr);
  }
  CHECK_HR(ti->lpVtbl->GetDocumentation(ti, MEMBERID_NIL, &name, NULL, NULL, NULL), S_OK);
  snprintf(want, sizeof want, "_%s", cls->name);
  CHECK(BstrIs(name, want));
  pSysFreeString(name);
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
    CHECK(fd->cParams == np && fd->elemdescFunc.tdesc.vt == VtOf(row->result));
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
    if (np > 0) CHECK(got == (UINT)np + 1);
    for (k = 0; k < np && (UINT)k + 1 < got; ++k) CHECK(BstrIs(names[k + 1], params[k].name));
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
    ITypeInfo *co = NULL, *iface = NULL;
    HREFTYPE ref = 0;
    TYPEKIND kind = TKIND_COCLASS;
    CHECK(lib->lpVtbl->GetTypeInfoCount(lib) == 12);
    CHECK_HR(lib->lpVtbl->GetLibAttr(lib, &la), S_OK);
    if (la != NULL) {
      CHECK(SameGuid(&la->guid, &kLIBID) && la->lcid == 0x0409 && la->wMajorVerNum == 27 && la->wMinorVerNum == 0);
      lib->lpVtbl->ReleaseTLibAttr(lib, la);
    }
    /* The class beside its interface, and the interface it refers to. */
    CHECK_HR(lib->lpVtbl->GetTypeInfoOfGuid(lib, &cls->clsid, &co), S_OK);
    if (co != NULL) {
      CHECK_HR(co->lpVtbl->GetTypeAttr(co, &attr), S_OK);
      if (attr != NULL) {
        CHECK(attr->typekind == TKIND_COCLASS && SameGuid(&attr->guid, &cls->clsid) && attr->cImplTypes == 1);
        co->lpVtbl->ReleaseTypeAttr(co, attr);
      }
      CHECK_HR(co->lpVtbl->GetRefTypeOfImplType(co, 0, &ref), S_OK);
      CHECK_HR(co->lpVtbl->GetRefTypeInfo(co, ref, &iface), S_OK);
      if (CHECK(iface != NULL) && CHECK(iface->lpVtbl->GetTypeAttr(iface, &attr) == S_OK)) {
        CHECK(SameGuid(&attr->guid, &cls->iid));
        iface->lpVtbl->ReleaseTypeAttr(iface, attr);
        iface->lpVtbl->Release(iface);
      }
      co->lpVtbl->Release(co);
    }
    CHECK_HR(lib->lpVtbl->GetTypeInfoType(lib, index, &kind), S_OK);
    CHECK(kind == TKIND_DISPATCH);
    CHECK_HR(lib->lpVtbl->GetDocumentation(lib, -1, &name, NULL, NULL, NULL), S_OK);
    CHECK(BstrIs(name, "Halvane"));
    pSysFreeString(name);
    /* FindName gives, for each interface with a member of that name, the
     * interface and the member's DISPID there: this class's last row. */
    {
      const Row* last = &cls->rows[cls->count - 1];
      LPOLESTR member = Bstr(last->name);
      ITypeInfo* infos[6] = {NULL};
      MEMBERID found_ids[6];
      USHORT found = 6;
      int mine = 0;
      CHECK_HR(lib->lpVtbl->FindName(lib, member, 0, infos, found_ids, &found), S_OK);
      CHECK(found >= 1 && found <= 6);
      for (k = 0; k < found && k < 6; ++k) {
        TYPEATTR* a = NULL;
        if (infos[k] == NULL) continue;
        if (infos[k]->lpVtbl->GetTypeAttr(infos[k], &a) == S_OK && a != NULL) {
          if (SameGuid(&a->guid, &cls->iid)) {
            mine = 1;
            CHECK(found_ids[k] == last->id);
          }
          infos[k]->lpVtbl->ReleaseTypeAttr(infos[k], a);
        }
        infos[k]->lpVtbl->Release(infos[k]);
      }
      CHECK(mine);
      pSysFreeString(member);
    }
    CHECK(lib->lpVtbl->Release(lib) == 0);
  }
  CHECK(ti->lpVtbl->Release(ti) == 0);
}

/* ---- calls through both paths ---------------------------------------------------- */

/* The arguments of one call, made afresh for each path. */
typedef struct {
  BSTR s[4];
  SHORT i[4];
  VARIANT_BOOL b[4];
  VARIANT v[4];
  void* ptr[5];
  int count; /* arguments given (an omitted optional one ends the list) */
} Args;

/* A Variant argument is a String, "#n" a Long, "~null" Null; "~omit"
 * leaves an optional one out. */
static void MakeArgs(const Param* params, int np, char* const* text, Args* a) {
  int k;
  memset(a, 0, sizeof *a);
  a->count = np;
  for (k = 0; k < np; ++k) {
    VARIANT* v = &a->v[k];
    pVariantInit(v);
    if (strcmp(text[k], "~omit") == 0) {
      if (a->count == np) a->count = k;
    } else if (params[k].type == 'S') {
      a->s[k] = Bstr(text[k]);
      a->ptr[k] = &a->s[k];
    } else if (params[k].type == 'I') {
      a->i[k] = (SHORT)atoi(text[k]);
      a->ptr[k] = &a->i[k];
    } else if (params[k].type == 'B') {
      a->b[k] = text[k][0] == 'T' ? -1 : 0;
      a->ptr[k] = &a->b[k];
    } else {
      v->n1.n2.vt = strcmp(text[k], "~null") == 0 ? VT_NULL : text[k][0] == '#' ? VT_I4 : VT_BSTR;
      if (v->n1.n2.vt == VT_I4) v->n1.n2.n3.lVal = atoi(text[k] + 1);
      if (v->n1.n2.vt == VT_BSTR) v->n1.n2.n3.bstrVal = Bstr(text[k]);
      a->ptr[k] = v;
    }
  }
}

static void FreeArgs(Args* a) {
  int k;
  for (k = 0; k < 4; ++k) {
    pSysFreeString(a->s[k]);
    pVariantClear(&a->v[k]);
  }
}

/* Calls entry `slot` of the object's function table with `n` pointers. */
static HRESULT CallSlot(void* object, int slot, void** p, int n) {
  void (*const* table)(void) = *(void (*const* const*)(void))object;
  void (*fn)(void) = table[slot];
  switch (n) {
    case 0: return ((HRESULT(*)(void*))fn)(object);
    case 1: return ((HRESULT(*)(void*, void*))fn)(object, p[0]);
    case 2: return ((HRESULT(*)(void*, void*, void*))fn)(object, p[0], p[1]);
    case 3: return ((HRESULT(*)(void*, void*, void*, void*))fn)(object, p[0], p[1], p[2]);
    case 4: return ((HRESULT(*)(void*, void*, void*, void*, void*))fn)(object, p[0], p[1], p[2], p[3]);
    default: return ((HRESULT(*)(void*, void*, void*, void*, void*, void*))fn)(object, p[0], p[1], p[2], p[3], p[4]);
  }
}

/* The thread's error information as "source: description"; NULL when none. */
static char* TakeError(const IID* iid) {
  IErrorInfo* info = NULL;
  BSTR source = NULL, description = NULL;
  GUID guid;
  char* out;
  if (pGetErrorInfo(0, &info) != S_OK || info == NULL) return NULL;
  CHECK_HR(info->lpVtbl->GetGUID(info, &guid), S_OK);
  CHECK(SameGuid(&guid, iid));
  CHECK_HR(info->lpVtbl->GetSource(info, &source), S_OK);
  CHECK_HR(info->lpVtbl->GetDescription(info, &description), S_OK);
  out = Pair(source, description);
  pSysFreeString(source);
  pSysFreeString(description);
  info->lpVtbl->Release(info);
  CHECK_HR(pGetErrorInfo(0, &info), S_FALSE); /* handed over: gone */
  return out;
}

/* One call of the class's table ("kind|member|arguments...|error|result")
 * on two objects: `table` through the function table, `late` through Invoke. */
static void RunStep(const Class* cls, const char* line, IDispatch* table, IDispatch* late, int* covered) {
  const Row* row;
  Param params[4];
  Args ta, la;
  int idx, np, k, n, nf = 0, raises;
  HRESULT thr, lhr, want;
  BSTR sres = NULL;
  SHORT ires = 0;
  VARIANT tres, lres, largs[4];
  BSTR kept[4] = {NULL};
  EXCEPINFO excep;
  DISPPARAMS dp;
  DISPID put = DISPID_PROPERTYPUT;
  UINT arg_err = 0;
  char *tr = NULL, *lr = NULL, *te, *le, buf[192], *f[8], *p = buf;
  const char* expected;

  snprintf(buf, sizeof buf, "%s", line);
  for (f[nf++] = p; nf < 8 && (p = strchr(p, '|')) != NULL; f[nf++] = ++p) *p = '\0';
  for (idx = 0; idx < cls->count; ++idx)
    if (cls->rows[idx].kind == f[0][0] && strcmp(cls->rows[idx].name, f[1]) == 0) break;
  np = idx < cls->count ? Params(&cls->rows[idx], params) : 0;
  if (!CHECK(idx < cls->count && nf >= 3 + np)) {
    fprintf(stderr, "  %s: bad step %s\n", cls->name, line);
    return;
  }
  row = &cls->rows[idx];
  covered[idx] = 1;
  raises = atoi(f[2 + np]);
  expected = nf > 3 + np ? f[3 + np] : NULL;
  want = raises ? (HRESULT)(0x800A0000u + (unsigned)raises) : S_OK;

  /* Through the function table. */
  MakeArgs(params, np, f + 2, &ta);
  for (k = 0; k < np; ++k)
    if (params[k].type == 'V' && ta.ptr[k] != NULL && ta.v[k].n1.n2.vt == VT_BSTR) kept[k] = ta.v[k].n1.n2.n3.bstrVal;
  pVariantInit(&tres);
  n = np;
  if (row->result != '-')
    ta.ptr[n++] = row->result == 'S' ? (void*)&sres : row->result == 'I' ? (void*)&ires : (void*)&tres;
  pSetErrorInfo(0, NULL);
  thr = CallSlot(table, 7 + idx, ta.ptr, n);
  te = TakeError(&cls->iid);
  if (row->result == 'S') {
    CHECK(thr == S_OK || sres == NULL); /* a failed call hands back nothing */
    tres.n1.n2.vt = VT_BSTR;
    tres.n1.n2.n3.bstrVal = sres;
  } else if (row->result == 'I') {
    tres.n1.n2.vt = VT_I2;
    tres.n1.n2.n3.iVal = ires;
  }
  if (row->result != '-') tr = VariantText(&tres);
  pVariantClear(&tres);

  /* Through Invoke, last argument first: typed ones by value, Variant ones
   * by reference, so that what the member writes back reaches them as it
   * reaches the table's caller. */
  MakeArgs(params, np, f + 2, &la);
  for (k = 0; k < la.count; ++k) {
    VARIANT* slot = &largs[la.count - 1 - k];
    pVariantInit(slot);
    slot->n1.n2.vt = params[k].type == 'V' ? (VARTYPE)(VT_BYREF | VT_VARIANT) : VtOf(params[k].type);
    if (params[k].type == 'V') slot->n1.n2.n3.byref = la.ptr[k];
    if (params[k].type != 'V') memcpy(&slot->n1.n2.n3, la.ptr[k], params[k].type == 'S' ? sizeof(BSTR) : sizeof(SHORT));
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

  if (!CHECK(thr == want && lhr == (raises ? DISP_E_EXCEPTION : S_OK)))
    fprintf(stderr, "  %s.%s: table 0x%08X, Invoke 0x%08X, expected error %d\n", cls->name, f[1], (unsigned)thr,
            (unsigned)lhr, raises);
  if (raises) {
    char* record = Pair(excep.bstrSource, excep.bstrDescription);
    CHECK(excep.scode == want);
    if (!CHECK(StrEq(te, record) && StrEq(le, record)))
      fprintf(stderr, "  error info %s, exception record %s\n", te ? te : "(none)", record);
    if (expected != NULL && !CHECK(StrEq(record, expected)))
      fprintf(stderr, "  %s.%s: error %s, expected %s\n", cls->name, f[1], record, expected);
    free(record);
    pSysFreeString(excep.bstrSource);
    pSysFreeString(excep.bstrDescription);
    CHECK(row->result == '-' || (StrEq(lr, "0:") && (row->result != 'S' || StrEq(tr, "8:"))));
  } else {
    CHECK(te == NULL && le == NULL);
    if (row->result != '-' &&
        !CHECK(StrEq(tr, lr) && (expected == NULL || strncmp(tr, expected, strlen(expected)) == 0)))
      fprintf(stderr, "  %s.%s: \"%.80s\" vs \"%.80s\", expected \"%s\"\n", cls->name, f[1], tr, lr,
              expected ? expected : "");
  }
  /* Arguments as the member left them (ProgressBar writes some back). */
  for (k = 0; k < np; ++k) {
    if (params[k].type == 'V' && ta.ptr[k] != NULL) {
      char *a = VariantText(&ta.v[k]), *b = VariantText(&la.v[k]);
      if (!CHECK(StrEq(a, b))) fprintf(stderr, "  %s.%s argument %d: %s vs %s\n", cls->name, f[1], k, a, b);
      /* A text the member leaves as it is stays the caller's very BSTR. */
      if (kept[k] != NULL && ta.v[k].n1.n2.vt == VT_BSTR && !CHECK(ta.v[k].n1.n2.n3.bstrVal == kept[k]))
        fprintf(stderr, "  %s.%s argument %d: a new BSTR for an unchanged text\n", cls->name, f[1], k);
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

static void DriveAllClasses(void) {
  int c, i;
  for (c = 0; c < 6; ++c) {
    const Class* cls = &kClasses[c];
    ISupportErrorInfo* support = NULL;
    IDispatch *table = Create(cls), *late = Create(cls);
    int covered[20] = {0};
    if (!CHECK(table != NULL && late != NULL)) return;
    CHECK_HR(table->lpVtbl->QueryInterface(table, &kIID_ISupportErrorInfo, (void**)&support), S_OK);
    if (support != NULL) {
      CHECK_HR(support->lpVtbl->InterfaceSupportsErrorInfo(support, &cls->iid), S_OK);
      support->lpVtbl->Release(support);
    }
    WalkTypeInfo(cls, table);
    for (i = 0; i < cls->nsteps; ++i) RunStep(cls, cls->steps[i], table, late, covered);
    for (i = 0; i < cls->count; ++i)
      if (!CHECK(covered[i])) fprintf(stderr, "  %s: row %d (%s) never called\n", cls->name, i + 1, cls->rows[i].name);
    CHECK_HR(pDllCanUnloadNow(), S_FALSE);
    CHECK(table->lpVtbl->Release(table) == 0);
    CHECK(late->lpVtbl->Release(late) == 0);
  }
  CHECK_HR(pDllCanUnloadNow(), S_OK);
}

/* The helpers under their usual names: a BSTR counts its bytes (what the
 * helpers do is checked by the C++ tests, which call them by these names). */
static void Helpers(void) {
  BSTR s = Bstr("12");
  CHECK(pSysStringLen(s) == 2 && pSysStringByteLen(s) == 4 && s[2] == 0);
  pSysFreeString(s);
}

/* Registration names the library by the absolute path it was loaded from,
 * although it was loaded by a relative name from a directory since left. */
static void Registration(const char* library) {
  char dir[] = "/tmp/halvane-c-host-XXXXXX", store[256], text[16384], expected[512];
  FILE* f;
  size_t got = 0;
  if (!CHECK(mkdtemp(dir) != NULL)) return;
  snprintf(store, sizeof store, "%s/classes.ini", dir);
  setenv("HALVANE_CLASS_STORE", store, 1);
  CHECK_HR(pDllRegisterServer(), S_OK);
  if ((f = fopen(store, "rb")) != NULL) {
    got = fread(text, 1, sizeof text - 1, f);
    fclose(f);
  }
  text[got] = '\0';
  snprintf(expected, sizeof expected, "ProgID=Halvane.Tabs\nInprocServer32=%s\nThreadingModel=Apartment\n", library);
  CHECK(strstr(text, expected) != NULL);
  snprintf(expected, sizeof expected, "\\27.0]\nName=Halvane\nLCID=0\nPath=%s\n", library);
  CHECK(strstr(text, expected) != NULL);
  CHECK_HR(pDllUnregisterServer(), S_OK);
  CHECK(access(store, F_OK) != 0);
  rmdir(dir);
  unsetenv("HALVANE_CLASS_STORE");
}

int main(int argc, char** argv) {
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  const char* slash = argc == 3 && argv[1][0] == '/' ? strrchr(argv[1], '/') : NULL;
  char dir[4096], relative[4096];
  void *lib, *object = &object;
  IUnknown* factory = NULL;
  if (slash == NULL || !LoadTables(argv[2])) {
    fprintf(stderr, "usage: %s /absolute/path/to/libhalvane.so members.txt\n", argv[0]);
    return 2;
  }
  snprintf(dir, sizeof dir, "%.*s/", (int)(slash - argv[1]), argv[1]);
  snprintf(relative, sizeof relative, "./%s", slash + 1);
  if (chdir(dir) != 0 || (lib = dlopen(relative, RTLD_NOW | RTLD_LOCAL)) == NULL || chdir("/") != 0) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  if (!RESOLVE(DllGetClassObject) || !RESOLVE(DllCanUnloadNow) || !RESOLVE(DllRegisterServer) ||
      !RESOLVE(DllUnregisterServer) || !RESOLVE(SysAllocStringLen) || !RESOLVE(SysFreeString) ||
      !RESOLVE(SysStringLen) || !RESOLVE(SysStringByteLen) || !RESOLVE(VariantInit) || !RESOLVE(VariantClear) ||
      !RESOLVE(VariantCopy) || !RESOLVE(VariantChangeType) || !RESOLVE(GetErrorInfo) || !RESOLVE(SetErrorInfo)) {
    fprintf(stderr, "missing export: %s\n", dlerror());
    return 1;
  }

  CHECK_HR(pDllCanUnloadNow(), S_OK);
  CHECK_HR(pDllGetClassObject(&unknown, &kIID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  CHECK(object == NULL);
  /* A class object alone leaves the library free to unload. */
  CHECK_HR(pDllGetClassObject(&kClasses[4].clsid, &kIID_IUnknown, (void**)&factory), S_OK);
  CHECK_HR(pDllCanUnloadNow(), S_OK);
  if (factory != NULL) factory->lpVtbl->Release(factory);

  Helpers();
  DriveAllClasses();
  Registration(argv[1]);

  CHECK_HR(pDllCanUnloadNow(), S_OK);
  CHECK(dlclose(lib) == 0);
  if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
  if (failures == 0) puts("c_host: all checks passed");
  return failures != 0;
}
