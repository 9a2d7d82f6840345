/*
 * halvane_com.h: the binary interface of libhalvane.so as an in-process
 * automation server, for hosts written in C (C11 or later) or C++ that load
 * the library with dlopen.
 *
 * The library exports the four server entry points (DllGetClassObject,
 * DllCanUnloadNow, DllRegisterServer, DllUnregisterServer) and string and
 * VARIANT helpers (the Halvane* functions below).  Objects are reached
 * through C function tables: IUnknown, IClassFactory and IDispatch, laid out
 * as the Component Object Model lays them out (each object starts with a
 * pointer to its table; every method takes the object as its first
 * argument).  There is no calling-convention decoration: the platform's C
 * convention is used throughout.
 *
 * Creating an object:
 *   1. DllGetClassObject(&CLSID_HalvaneTabs, &IID_IClassFactory, &factory)
 *   2. factory->lpVtbl->CreateInstance(factory, NULL, &IID_IDispatch, &disp)
 *   3. disp->lpVtbl->GetIDsOfNames(disp, &IID_NULL, names, 1, 0, &dispid)
 *   4. disp->lpVtbl->Invoke(disp, dispid, &IID_NULL, 0, DISPATCH_METHOD,
 *                           &params, &result, &excep, &arg_err)
 *   5. Release every object, HalvaneVariantClear every result, free the
 *      BSTRs of an EXCEPINFO; DllCanUnloadNow then returns S_OK.
 *
 * Objects answer QueryInterface for IID_IUnknown and IID_IDispatch.  The
 * typed function table of a class's dual interface is not provided; use
 * IDispatch (GetTypeInfoCount reports no type information).
 *
 * Invoke: arguments in DISPPARAMS are in reverse order (rgvarg[0] is the
 * last).  Accepted kinds: VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8,
 * VT_DATE, VT_BSTR, VT_ERROR, VT_BOOL, the VT_BYREF forms of the kinds with
 * a payload, and VT_BYREF | VT_VARIANT; anything else is DISP_E_BADVARTYPE.
 * An omitted argument is VT_ERROR holding DISP_E_PARAMNOTFOUND.  A property
 * put uses DISPATCH_PROPERTYPUT (the named argument DISPID_PROPERTYPUT may
 * be given or left out); no other named arguments are accepted.  A value a
 * member writes back (ProgressBar Show, HideOutput) reaches a VT_BYREF
 * argument, converted to the kind the argument points to.  A member's error
 * returns DISP_E_EXCEPTION with EXCEPINFO: scode 0x800A0000 + number,
 * bstrSource, bstrDescription (the caller frees both); a conversion failure
 * returns DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW with *puArgErr the index
 * into rgvarg of the failing argument.
 *
 * Strings: BSTR is UTF-16, preceded by its length in bytes (32 bits) and
 * followed by a zero code unit.  Allocate and free them only with the
 * Halvane Sys* functions.  UTF-8 <-> UTF-16 transcoding in the library is
 * lossless: an unpaired surrogate survives a round trip.
 *
 * The class store.  DllRegisterServer writes the six classes to a text file:
 *   $HALVANE_CLASS_STORE                       when set and not empty, else
 *   $XDG_CONFIG_HOME/halvane/classes.ini       when XDG_CONFIG_HOME is set, else
 *   $HOME/.config/halvane/classes.ini
 * It is an INI file of sections "[NAME]" holding "key=value" lines; lines
 * starting with ";" or "#" are comments.  The library writes these sections
 * (names and keys are matched without regard to case by a reader):
 *   [CLSID\{DA0D95C8-24C5-40B5-BBB0-8BEA6A7E3A3E}]   one per class
 *     Class=AutoComplete
 *     ProgID=Halvane.AutoComplete
 *     InprocServer32=<absolute path of the library file that registered>
 *     ThreadingModel=Apartment
 *     Interface={B5074728-1BC9-4D6D-A407-75E69A464B08}
 *     TypeLib={0B0251ED-0859-4996-AE59-5F70D7159274}
 *     Version=27.0
 *   [ProgID\Halvane.AutoComplete]                     one per class
 *     CLSID={DA0D95C8-24C5-40B5-BBB0-8BEA6A7E3A3E}
 *   [Interface\{B5074728-1BC9-4D6D-A407-75E69A464B08}] one per class
 *     Name=_AutoComplete
 *     TypeLib={0B0251ED-0859-4996-AE59-5F70D7159274}
 *     Version=27.0
 *   [TypeLib\{0B0251ED-0859-4996-AE59-5F70D7159274}\27.0]
 *     Name=Halvane
 *     LCID=0
 *     Path=<absolute path of the library file>
 * A host creating "Halvane.Tabs" reads CLSID from [ProgID\Halvane.Tabs],
 * then InprocServer32 from [CLSID\{...}], dlopens that file, finds
 * DllGetClassObject with dlsym and asks it for the class object.
 * DllRegisterServer replaces these sections (other sections and comments in
 * the file are kept as they are) and DllUnregisterServer removes exactly
 * them, deleting the file when nothing else is left in it.  Both are
 * idempotent and return S_OK, or SELFREG_E_CLASS when the file cannot be
 * read or written.
 */
#ifndef HALVANE_COM_H
#define HALVANE_COM_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define HALVANE_API __attribute__((visibility("default")))
#else
#define HALVANE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar types ------------------------------------------------------ */

typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef int16_t SHORT;
typedef int BOOL;
typedef uint32_t LCID;
typedef int32_t DISPID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;
typedef uint16_t OLECHAR; /* a UTF-16 code unit */
typedef OLECHAR* BSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

typedef struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID* REFGUID;
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;

/* ---- status codes ------------------------------------------------------ */

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001u)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003u)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004u)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005u)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006u)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007u)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008u)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009u)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000Au)
#define DISP_E_BADINDEX ((HRESULT)0x8002000Bu)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000Eu)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111u)
#define SELFREG_E_CLASS ((HRESULT)0x80040201u)

/* ---- VARIANT ------------------------------------------------------------ */

enum {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_BYREF = 0x4000
};

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

struct IUnknown;
struct IDispatch;

/* 16 bytes: the kind, three reserved words and an 8-byte payload. */
typedef struct tagVARIANT VARIANT;
struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    int64_t llVal;
    LONG lVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    struct IUnknown* punkVal;
    struct IDispatch* pdispVal;
    SHORT* piVal;
    LONG* plVal;
    float* pfltVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    DATE* pdate;
    BSTR* pbstrVal;
    VARIANT* pvarVal;
    void* byref;
  };
};
typedef VARIANT VARIANTARG;

#ifdef __cplusplus
static_assert(sizeof(VARIANT) == 16, "VARIANT is 16 bytes");
#else
_Static_assert(sizeof(VARIANT) == 16, "VARIANT is 16 bytes");
#endif

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;         /* arguments, last one first */
  DISPID* rgdispidNamedArgs;  /* DISPID_PROPERTYPUT for a property put */
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN ((DISPID)-1)
#define DISPID_PROPERTYPUT ((DISPID)-3)

/* ---- interfaces --------------------------------------------------------- */

typedef struct ITypeInfo ITypeInfo; /* never handed out */

typedef struct IUnknown IUnknown;
typedef struct IUnknownVtbl {
  HRESULT (*QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IUnknown* This);
  ULONG (*Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
  const IUnknownVtbl* lpVtbl;
};

typedef struct IClassFactory IClassFactory;
typedef struct IClassFactoryVtbl {
  HRESULT (*QueryInterface)(IClassFactory* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IClassFactory* This);
  ULONG (*Release)(IClassFactory* This);
  HRESULT (*CreateInstance)(IClassFactory* This, IUnknown* pUnkOuter, REFIID riid, void** ppvObject);
  HRESULT (*LockServer)(IClassFactory* This, BOOL fLock);
} IClassFactoryVtbl;
struct IClassFactory {
  const IClassFactoryVtbl* lpVtbl;
};

typedef struct IDispatch IDispatch;
typedef struct IDispatchVtbl {
  HRESULT (*QueryInterface)(IDispatch* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IDispatch* This);
  ULONG (*Release)(IDispatch* This);
  HRESULT (*GetTypeInfoCount)(IDispatch* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(IDispatch* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT (*GetIDsOfNames)(IDispatch* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                           DISPID* rgDispId);
  HRESULT (*Invoke)(IDispatch* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                    DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
} IDispatchVtbl;
struct IDispatch {
  const IDispatchVtbl* lpVtbl;
};

/* ---- identifiers -------------------------------------------------------- */

static const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};
static const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

static const GUID LIBID_Halvane = {0x0B0251ED, 0x0859, 0x4996, {0xAE, 0x59, 0x5F, 0x70, 0xD7, 0x15, 0x92, 0x74}};
static const CLSID CLSID_HalvaneAutoComplete = {0xDA0D95C8, 0x24C5, 0x40B5, {0xBB, 0xB0, 0x8B, 0xEA, 0x6A, 0x7E, 0x3A, 0x3E}};
static const CLSID CLSID_HalvaneCalendar = {0x69F2EBBF, 0xD021, 0x46B1, {0xA8, 0x7C, 0x55, 0xD8, 0xA8, 0xA1, 0x7F, 0xC8}};
static const CLSID CLSID_HalvanePopupMenu = {0x1AE2A7A8, 0x53BC, 0x4D83, {0xA8, 0x9B, 0x53, 0x9E, 0xA0, 0x18, 0xFC, 0xA5}};
static const CLSID CLSID_HalvaneProgressBar = {0xBB45D2B4, 0x226D, 0x4BD1, {0xAA, 0x50, 0x07, 0x9C, 0x9C, 0x75, 0x70, 0xAB}};
static const CLSID CLSID_HalvaneTabs = {0xF1326A1F, 0x51F9, 0x44AB, {0xB4, 0x20, 0xBC, 0x35, 0x55, 0xE0, 0x75, 0x7F}};
static const CLSID CLSID_HalvaneTree = {0xBFC10B8E, 0xF8D0, 0x4839, {0x83, 0xAE, 0x2E, 0x0B, 0x60, 0xC8, 0xBF, 0x58}};

/* ---- server entry points -------------------------------------------------- */

/* The class object (IClassFactory) of one of the six classes;
 * CLASS_E_CLASSNOTAVAILABLE for any other CLSID. */
HALVANE_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
/* S_OK when no object, class object or LockServer lock is alive, else S_FALSE. */
HALVANE_API HRESULT DllCanUnloadNow(void);
/* Writes the classes to the class store (see above). */
HALVANE_API HRESULT DllRegisterServer(void);
/* Removes what DllRegisterServer wrote. */
HALVANE_API HRESULT DllUnregisterServer(void);

/* ---- strings and VARIANTs --------------------------------------------------- */

/* A new BSTR holding the zero-terminated text; NULL for NULL input or when
 * memory runs out. */
HALVANE_API BSTR HalvaneSysAllocString(const OLECHAR* psz);
/* A new BSTR of `cch` code units copied from `pch` (zeros when pch is NULL). */
HALVANE_API BSTR HalvaneSysAllocStringLen(const OLECHAR* pch, UINT cch);
/* Frees a BSTR; NULL is ignored. */
HALVANE_API void HalvaneSysFreeString(BSTR bstr);
/* Length in code units (0 for NULL). */
HALVANE_API UINT HalvaneSysStringLen(BSTR bstr);
/* Length in bytes (0 for NULL). */
HALVANE_API UINT HalvaneSysStringByteLen(BSTR bstr);
/* A new BSTR from `len` bytes of UTF-8. */
HALVANE_API BSTR HalvaneSysAllocStringUtf8(const char* utf8, size_t len);
/* The BSTR as zero-terminated UTF-8 (length in *len if len is not NULL);
 * free with HalvaneFreeUtf8.  NULL only when memory runs out. */
HALVANE_API char* HalvaneSysStringToUtf8(BSTR bstr, size_t* len);
HALVANE_API void HalvaneFreeUtf8(char* utf8);
/* Sets VT_EMPTY. */
HALVANE_API void HalvaneVariantInit(VARIANT* v);
/* Frees what the VARIANT owns (a BSTR) and sets VT_EMPTY; S_OK, or
 * DISP_E_BADVARTYPE for a kind this library does not know. */
HALVANE_API HRESULT HalvaneVariantClear(VARIANT* v);

#ifdef __cplusplus
}
#endif

#endif /* HALVANE_COM_H */
