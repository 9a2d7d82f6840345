/*
 * halvane_com.h: the binary interface of libhalvane.so as an in-process
 * automation server, for hosts written in C (C11 or later) or C++ that load
 * the library with dlopen.
 *
 * The library exports the four server entry points (DllGetClassObject,
 * DllCanUnloadNow, DllRegisterServer, DllUnregisterServer), the string and
 * VARIANT helpers under their usual automation names (SysAllocString, ...,
 * VariantChangeType) and as Halvane* functions, and the thread error
 * information routines (SetErrorInfo, GetErrorInfo, CreateErrorInfo).
 * Structures and function tables have the usual automation layout (VARIANT
 * is 24 bytes on a 64-bit platform), so a host written against the usual
 * declarations works unchanged.  Each object starts with a pointer to its
 * table; every method takes the object as its first argument.  There is no
 * calling-convention decoration: the platform's C convention is used.
 *
 * Creating an object:
 *   1. DllGetClassObject(&CLSID_HalvaneTabs, &IID_IClassFactory, &factory)
 *   2. factory->lpVtbl->CreateInstance(factory, NULL, &IID_IDispatch, &disp)
 *   3. disp->lpVtbl->GetIDsOfNames(disp, &IID_NULL, names, 1, 0, &dispid)
 *   4. disp->lpVtbl->Invoke(disp, dispid, &IID_NULL, 0, DISPATCH_METHOD,
 *                           &params, &result, &excep, &arg_err)
 *   5. Release every object, VariantClear every result, free the BSTRs of
 *      an EXCEPINFO, take the thread's error information (GetErrorInfo);
 *      DllCanUnloadNow then returns S_OK.
 *
 * Objects answer QueryInterface for IID_IUnknown, IID_IDispatch, the IID of
 * their dual interface (the same pointer: its table starts with IDispatch's
 * seven methods, then one entry per member, see _TabsVtbl and the others
 * below) and IID_ISupportErrorInfo.  A function-table entry returns S_OK,
 * or 0x800A0000 + the error number with the source and description in the
 * thread's error information (GetErrorInfo); a failed call hands back no
 * value.  Invoke sets the thread's error information as well.
 * GetTypeInfo gives the ITypeInfo of the dual interface (TKIND_DISPATCH, one
 * FUNCDESC per member), whose GetContainingTypeLib gives the library's
 * ITypeLib (six interfaces and six classes).
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
 * library's Sys* (or HalvaneSys*) functions.  UTF-8 <-> UTF-16 transcoding
 * in the library is lossless: an unpaired surrogate survives a round trip.
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
 * the file are kept as they are, comment lines inside our sections too) and
 * DllUnregisterServer removes exactly them, deleting the file when nothing
 * else is left in it.  InprocServer32 and Path name the library file by the
 * absolute path it was loaded from.  A store that is a symbolic link is
 * written through the link; the file keeps its permission bits.  Each
 * read-modify-write holds an exclusive lock (flock) on the store's directory
 * and replaces the file by renaming a uniquely named temporary file, so
 * registrations from several threads or processes do not interfere.  Both
 * are idempotent and return S_OK, or SELFREG_E_CLASS when the file cannot
 * be read or written.
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
#define TYPE_E_WRONGTYPEKIND ((HRESULT)0x8002802Au)
#define TYPE_E_ELEMENTNOTFOUND ((HRESULT)0x8002802Bu)
#define TYPE_E_BADMODULEKIND ((HRESULT)0x800288BDu)
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
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_USERDEFINED = 29,
  VT_BYREF = 0x4000
};

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

struct IUnknown;
struct IDispatch;

/* The kind, three reserved words and a payload of two pointers: 24 bytes on
 * a 64-bit platform, the payload at offset 8. */
typedef struct tagBRECORD {
  void* pvRecord;
  void* pRecInfo;
} BRECORD;

typedef struct tagVARIANT VARIANT;
struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    int64_t llVal;
    LONG lVal;
    uint8_t bVal;
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
    struct IUnknown** ppunkVal;
    struct IDispatch** ppdispVal;
    VARIANT* pvarVal;
    void* byref;
    BRECORD brecVal;
  };
};
typedef VARIANT VARIANTARG;

#ifdef __cplusplus
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT layout");
static_assert(offsetof(VARIANT, bstrVal) == 8, "VARIANT payload offset");
#else
_Static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT layout");
_Static_assert(offsetof(VARIANT, bstrVal) == 8, "VARIANT payload offset");
#endif

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;        /* arguments, last one first */
  DISPID* rgdispidNamedArgs; /* DISPID_PROPERTYPUT for a property put */
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
#define MEMBERID_NIL DISPID_UNKNOWN

/* VariantChangeType flags (accepted and ignored). */
#define VARIANT_NOVALUEPROP 0x1
#define VARIANT_ALPHABOOL 0x2

/* ---- type information ------------------------------------------------------ */

typedef DISPID MEMBERID;
typedef DWORD HREFTYPE;

typedef enum tagTYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD = 1,
  TKIND_MODULE = 2,
  TKIND_INTERFACE = 3,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5,
  TKIND_ALIAS = 6,
  TKIND_UNION = 7
} TYPEKIND;

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 } SYSKIND;
typedef enum tagFUNCKIND {
  FUNC_VIRTUAL = 0,
  FUNC_PUREVIRTUAL = 1,
  FUNC_NONVIRTUAL = 2,
  FUNC_STATIC = 3,
  FUNC_DISPATCH = 4
} FUNCKIND;
typedef enum tagINVOKEKIND {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;
typedef enum tagCALLCONV { CC_CDECL = 1, CC_STDCALL = 4 } CALLCONV;

#define TYPEFLAG_FCANCREATE 0x2
#define TYPEFLAG_FHIDDEN 0x10
#define TYPEFLAG_FDUAL 0x40
#define TYPEFLAG_FNONEXTENSIBLE 0x80
#define TYPEFLAG_FOLEAUTOMATION 0x100
#define TYPEFLAG_FDISPATCHABLE 0x1000
#define PARAMFLAG_FIN 0x1
#define PARAMFLAG_FOUT 0x2
#define PARAMFLAG_FRETVAL 0x8
#define PARAMFLAG_FOPT 0x10
#define IMPLTYPEFLAG_FDEFAULT 0x1

typedef struct tagTYPEDESC {
  union {
    struct tagTYPEDESC* lptdesc; /* VT_PTR: what it points to */
    void* lpadesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
} TYPEDESC;

typedef struct tagIDLDESC {
  uintptr_t dwReserved;
  uint16_t wIDLFlags;
} IDLDESC;

typedef struct tagPARAMDESC {
  void* pparamdescex;
  uint16_t wParamFlags;
} PARAMDESC;

typedef struct tagELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
} ELEMDESC;

typedef struct tagTYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
} TYPEATTR;

typedef struct tagFUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
} FUNCDESC;

typedef struct tagTLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
} TLIBATTR;

/* ---- interfaces --------------------------------------------------------- */

typedef struct ITypeInfo ITypeInfo;
typedef struct ITypeLib ITypeLib;
typedef struct ITypeComp ITypeComp; /* never handed out */

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
  HRESULT (*GetIDsOfNames)(IDispatch* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT (*Invoke)
  (IDispatch* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
} IDispatchVtbl;
struct IDispatch {
  const IDispatchVtbl* lpVtbl;
};

typedef struct IErrorInfo IErrorInfo;
typedef struct IErrorInfoVtbl {
  HRESULT (*QueryInterface)(IErrorInfo* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IErrorInfo* This);
  ULONG (*Release)(IErrorInfo* This);
  HRESULT (*GetGUID)(IErrorInfo* This, GUID* pGUID);
  HRESULT (*GetSource)(IErrorInfo* This, BSTR* pBstrSource);
  HRESULT (*GetDescription)(IErrorInfo* This, BSTR* pBstrDescription);
  HRESULT (*GetHelpFile)(IErrorInfo* This, BSTR* pBstrHelpFile);
  HRESULT (*GetHelpContext)(IErrorInfo* This, DWORD* pdwHelpContext);
} IErrorInfoVtbl;
struct IErrorInfo {
  const IErrorInfoVtbl* lpVtbl;
};

typedef struct ICreateErrorInfo ICreateErrorInfo;
typedef struct ICreateErrorInfoVtbl {
  HRESULT (*QueryInterface)(ICreateErrorInfo* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(ICreateErrorInfo* This);
  ULONG (*Release)(ICreateErrorInfo* This);
  HRESULT (*SetGUID)(ICreateErrorInfo* This, REFGUID rguid);
  HRESULT (*SetSource)(ICreateErrorInfo* This, LPOLESTR szSource);
  HRESULT (*SetDescription)(ICreateErrorInfo* This, LPOLESTR szDescription);
  HRESULT (*SetHelpFile)(ICreateErrorInfo* This, LPOLESTR szHelpFile);
  HRESULT (*SetHelpContext)(ICreateErrorInfo* This, DWORD dwHelpContext);
} ICreateErrorInfoVtbl;
struct ICreateErrorInfo {
  const ICreateErrorInfoVtbl* lpVtbl;
};

typedef struct ISupportErrorInfo ISupportErrorInfo;
typedef struct ISupportErrorInfoVtbl {
  HRESULT (*QueryInterface)(ISupportErrorInfo* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(ISupportErrorInfo* This);
  ULONG (*Release)(ISupportErrorInfo* This);
  HRESULT (*InterfaceSupportsErrorInfo)(ISupportErrorInfo* This, REFIID riid);
} ISupportErrorInfoVtbl;
struct ISupportErrorInfo {
  const ISupportErrorInfoVtbl* lpVtbl;
};

typedef struct ITypeInfoVtbl {
  HRESULT (*QueryInterface)(ITypeInfo* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(ITypeInfo* This);
  ULONG (*Release)(ITypeInfo* This);
  HRESULT (*GetTypeAttr)(ITypeInfo* This, TYPEATTR** ppTypeAttr);
  HRESULT (*GetTypeComp)(ITypeInfo* This, ITypeComp** ppTComp);
  HRESULT (*GetFuncDesc)(ITypeInfo* This, UINT index, FUNCDESC** ppFuncDesc);
  HRESULT (*GetVarDesc)(ITypeInfo* This, UINT index, void** ppVarDesc);
  HRESULT (*GetNames)(ITypeInfo* This, MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames);
  HRESULT (*GetRefTypeOfImplType)(ITypeInfo* This, UINT index, HREFTYPE* pRefType);
  HRESULT (*GetImplTypeFlags)(ITypeInfo* This, UINT index, int* pImplTypeFlags);
  HRESULT (*GetIDsOfNames)(ITypeInfo* This, LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId);
  HRESULT (*Invoke)
  (ITypeInfo* This, void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
   EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT (*GetDocumentation)
  (ITypeInfo* This, MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext, BSTR* pBstrHelpFile);
  HRESULT (*GetDllEntry)
  (ITypeInfo* This, MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName, WORD* pwOrdinal);
  HRESULT (*GetRefTypeInfo)(ITypeInfo* This, HREFTYPE hRefType, ITypeInfo** ppTInfo);
  HRESULT (*AddressOfMember)(ITypeInfo* This, MEMBERID memid, INVOKEKIND invKind, void** ppv);
  HRESULT (*CreateInstance)(ITypeInfo* This, IUnknown* pUnkOuter, REFIID riid, void** ppvObj);
  HRESULT (*GetMops)(ITypeInfo* This, MEMBERID memid, BSTR* pBstrMops);
  HRESULT (*GetContainingTypeLib)(ITypeInfo* This, ITypeLib** ppTLib, UINT* pIndex);
  void (*ReleaseTypeAttr)(ITypeInfo* This, TYPEATTR* pTypeAttr);
  void (*ReleaseFuncDesc)(ITypeInfo* This, FUNCDESC* pFuncDesc);
  void (*ReleaseVarDesc)(ITypeInfo* This, void* pVarDesc);
} ITypeInfoVtbl;
struct ITypeInfo {
  const ITypeInfoVtbl* lpVtbl;
};

typedef struct ITypeLibVtbl {
  HRESULT (*QueryInterface)(ITypeLib* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(ITypeLib* This);
  ULONG (*Release)(ITypeLib* This);
  UINT (*GetTypeInfoCount)(ITypeLib* This);
  HRESULT (*GetTypeInfo)(ITypeLib* This, UINT index, ITypeInfo** ppTInfo);
  HRESULT (*GetTypeInfoType)(ITypeLib* This, UINT index, TYPEKIND* pTKind);
  HRESULT (*GetTypeInfoOfGuid)(ITypeLib* This, REFGUID guid, ITypeInfo** ppTinfo);
  HRESULT (*GetLibAttr)(ITypeLib* This, TLIBATTR** ppTLibAttr);
  HRESULT (*GetTypeComp)(ITypeLib* This, ITypeComp** ppTComp);
  HRESULT (*GetDocumentation)
  (ITypeLib* This, int index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext, BSTR* pBstrHelpFile);
  HRESULT (*IsName)(ITypeLib* This, LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName);
  HRESULT (*FindName)
  (ITypeLib* This, LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId, uint16_t* pcFound);
  void (*ReleaseTLibAttr)(ITypeLib* This, TLIBATTR* pTLibAttr);
} ITypeLibVtbl;
struct ITypeLib {
  const ITypeLibVtbl* lpVtbl;
};

/* ---- identifiers -------------------------------------------------------- */

static const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};
static const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
static const IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
static const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

static const GUID LIBID_Halvane = {0x0B0251ED, 0x0859, 0x4996, {0xAE, 0x59, 0x5F, 0x70, 0xD7, 0x15, 0x92, 0x74}};
static const CLSID CLSID_HalvaneAutoComplete = {
    0xDA0D95C8, 0x24C5, 0x40B5, {0xBB, 0xB0, 0x8B, 0xEA, 0x6A, 0x7E, 0x3A, 0x3E}};
static const CLSID CLSID_HalvaneCalendar = {
    0x69F2EBBF, 0xD021, 0x46B1, {0xA8, 0x7C, 0x55, 0xD8, 0xA8, 0xA1, 0x7F, 0xC8}};
static const CLSID CLSID_HalvanePopupMenu = {
    0x1AE2A7A8, 0x53BC, 0x4D83, {0xA8, 0x9B, 0x53, 0x9E, 0xA0, 0x18, 0xFC, 0xA5}};
static const CLSID CLSID_HalvaneProgressBar = {
    0xBB45D2B4, 0x226D, 0x4BD1, {0xAA, 0x50, 0x07, 0x9C, 0x9C, 0x75, 0x70, 0xAB}};
static const CLSID CLSID_HalvaneTabs = {0xF1326A1F, 0x51F9, 0x44AB, {0xB4, 0x20, 0xBC, 0x35, 0x55, 0xE0, 0x75, 0x7F}};
static const CLSID CLSID_HalvaneTree = {0xBFC10B8E, 0xF8D0, 0x4839, {0x83, 0xAE, 0x2E, 0x0B, 0x60, 0xC8, 0xBF, 0x58}};

static const IID IID__AutoComplete = {0xB5074728, 0x1BC9, 0x4D6D, {0xA4, 0x07, 0x75, 0xE6, 0x9A, 0x46, 0x4B, 0x08}};
static const IID IID__Calendar = {0x1087AF29, 0x8CB5, 0x4A75, {0xBD, 0xAC, 0x8E, 0x68, 0xC9, 0x2A, 0x83, 0x03}};
static const IID IID__PopupMenu = {0x27DDE07C, 0xF7B6, 0x4DA9, {0xB4, 0xE1, 0x68, 0xC8, 0xCF, 0x76, 0x09, 0xB3}};
static const IID IID__ProgressBar = {0x70A1941F, 0xF849, 0x4057, {0x98, 0x31, 0xA9, 0x2D, 0x37, 0x35, 0x98, 0xF5}};
static const IID IID__Tabs = {0x84021F45, 0x8AC5, 0x4E3C, {0xB7, 0xBA, 0x2E, 0x1E, 0xB9, 0x5D, 0x8A, 0xF9}};
static const IID IID__Tree = {0xABD5F1EE, 0xD162, 0x48F2, {0x8F, 0x4A, 0x13, 0x8F, 0x26, 0x5D, 0x49, 0x9E}};

/* ---- dual interfaces ---------------------------------------------------------
 * One entry per member after IDispatch's seven, in the order of the class
 * table.  Every parameter is passed by pointer; a property get or a method
 * with a result writes it through the last parameter (the caller frees a
 * BSTR result with SysFreeString, a VARIANT one with VariantClear).  An
 * optional parameter may be NULL. */

typedef struct _AutoComplete _AutoComplete;
typedef struct _AutoCompleteVtbl {
  HRESULT (*QueryInterface)(_AutoComplete* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(_AutoComplete* This);
  ULONG (*Release)(_AutoComplete* This);
  HRESULT (*GetTypeInfoCount)(_AutoComplete* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(_AutoComplete* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT (*GetIDsOfNames)
  (_AutoComplete* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT (*Invoke)
  (_AutoComplete* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT (*EmbedAutoComplete)
  (_AutoComplete* This, BSTR* HTMLFieldNameToBuild, BSTR* HTMLSelectNameToLink, VARIANT_BOOL* ForceAutoComplete,
   VARIANT_BOOL* IsLinkedAsText, BSTR* pRetVal);
} _AutoCompleteVtbl;
struct _AutoComplete {
  const _AutoCompleteVtbl* lpVtbl;
};

typedef struct _Calendar _Calendar;
typedef struct _CalendarVtbl {
  HRESULT (*QueryInterface)(_Calendar* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(_Calendar* This);
  ULONG (*Release)(_Calendar* This);
  HRESULT (*GetTypeInfoCount)(_Calendar* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(_Calendar* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT (*GetIDsOfNames)(_Calendar* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT (*Invoke)
  (_Calendar* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT (*put_ImageURL)(_Calendar* This, VARIANT* NewURL);
  HRESULT (*get_ImageURL)(_Calendar* This, VARIANT* pRetVal);
  HRESULT (*put_ActiveDate)(_Calendar* This, VARIANT* NewDate);
  HRESULT (*get_ActiveDate)(_Calendar* This, VARIANT* pRetVal);
  HRESULT (*DisplayEmbedded)(_Calendar* This, VARIANT* calName, BSTR* pRetVal);
  HRESULT (*DisplayPopup)(_Calendar* This, VARIANT* calName, BSTR* pRetVal);
} _CalendarVtbl;
struct _Calendar {
  const _CalendarVtbl* lpVtbl;
};

typedef struct _PopupMenu _PopupMenu;
typedef struct _PopupMenuVtbl {
  HRESULT (*QueryInterface)(_PopupMenu* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(_PopupMenu* This);
  ULONG (*Release)(_PopupMenu* This);
  HRESULT (*GetTypeInfoCount)(_PopupMenu* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(_PopupMenu* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT (*GetIDsOfNames)
  (_PopupMenu* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT (*Invoke)
  (_PopupMenu* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT (*put_BorderColor)(_PopupMenu* This, BSTR* newBorderColor);
  HRESULT (*put_Width)(_PopupMenu* This, SHORT* newWidth);
  HRESULT (*put_BGColor)(_PopupMenu* This, BSTR* newBGColor);
  HRESULT (*put_OnMouseOver)(_PopupMenu* This, BSTR* newOnMouseOver);
  HRESULT (*put_OnMouseOut)(_PopupMenu* This, BSTR* newOnMouseOut);
  HRESULT (*AddMenuTitle)(_PopupMenu* This, BSTR* Display);
  HRESULT (*AddMenuItem)(_PopupMenu* This, BSTR* Display, BSTR* OnClick, BSTR* ImagePath);
  HRESULT (*AddHorizontalRule)(_PopupMenu* This, BSTR* ImagePath_1x1Pixel);
  HRESULT (*EmbedPopupMenu)(_PopupMenu* This, BSTR* pRetVal);
} _PopupMenuVtbl;
struct _PopupMenu {
  const _PopupMenuVtbl* lpVtbl;
};

typedef struct _ProgressBar _ProgressBar;
typedef struct _ProgressBarVtbl {
  HRESULT (*QueryInterface)(_ProgressBar* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(_ProgressBar* This);
  ULONG (*Release)(_ProgressBar* This);
  HRESULT (*GetTypeInfoCount)(_ProgressBar* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(_ProgressBar* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT (*GetIDsOfNames)
  (_ProgressBar* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT (*Invoke)
  (_ProgressBar* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT (*GetValue)(_ProgressBar* This, VARIANT* pRetVal);
  HRESULT (*put_Max)(_ProgressBar* This, VARIANT* newMax);
  HRESULT (*get_Max)(_ProgressBar* This, VARIANT* pRetVal);
  HRESULT (*put_Color)(_ProgressBar* This, VARIANT* newColor);
  HRESULT (*get_Color)(_ProgressBar* This, VARIANT* pRetVal);
  HRESULT (*SetValue)(_ProgressBar* This, VARIANT* NewValue, BSTR* pRetVal);
  HRESULT (*Show)(_ProgressBar* This, VARIANT* HideOutputDuring, VARIANT* HideProgressBarAfter, BSTR* pRetVal);
  HRESULT (*HideOutput)(_ProgressBar* This, VARIANT* Hidden, BSTR* pRetVal);
} _ProgressBarVtbl;
struct _ProgressBar {
  const _ProgressBarVtbl* lpVtbl;
};

typedef struct _Tabs _Tabs;
typedef struct _TabsVtbl {
  HRESULT (*QueryInterface)(_Tabs* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(_Tabs* This);
  ULONG (*Release)(_Tabs* This);
  HRESULT (*GetTypeInfoCount)(_Tabs* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(_Tabs* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT (*GetIDsOfNames)(_Tabs* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT (*Invoke)
  (_Tabs* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
   EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT (*put_IsVisible)(_Tabs* This, VARIANT_BOOL* NewIsVisible);
  HRESULT (*get_TabName)(_Tabs* This, BSTR* pRetVal);
  HRESULT (*put_TabName)(_Tabs* This, BSTR* NewTabName);
  HRESULT (*get_TabWidth)(_Tabs* This, SHORT* pRetVal);
  HRESULT (*put_TabWidth)(_Tabs* This, SHORT* NewTabWidth);
  HRESULT (*get_PanelWidth)(_Tabs* This, SHORT* pRetVal);
  HRESULT (*put_PanelWidth)(_Tabs* This, SHORT* NewPanelWidth);
  HRESULT (*get_PanelHeight)(_Tabs* This, SHORT* pRetVal);
  HRESULT (*put_PanelHeight)(_Tabs* This, SHORT* NewPanelHeight);
  HRESULT (*get_TabCount)(_Tabs* This, SHORT* pRetVal);
  HRESULT (*put_TabCount)(_Tabs* This, SHORT* NewTabCount);
  HRESULT (*get_LayerColor)(_Tabs* This, BSTR* pRetVal);
  HRESULT (*put_LayerColor)(_Tabs* This, BSTR* NewLayerColor);
  HRESULT (*get_JavaScriptOnClick)(_Tabs* This, BSTR* pRetVal);
  HRESULT (*put_JavaScriptOnClick)(_Tabs* This, BSTR* NewJavaScriptOnClick);
  HRESULT (*WriteTab)(_Tabs* This, VARIANT* ContentName, VARIANT* URL, BSTR* pRetVal);
  HRESULT (*MoveNextLayerColor)(_Tabs* This);
  HRESULT (*MovePreviousLayerColor)(_Tabs* This);
} _TabsVtbl;
struct _Tabs {
  const _TabsVtbl* lpVtbl;
};

typedef struct _Tree _Tree;
typedef struct _TreeVtbl {
  HRESULT (*QueryInterface)(_Tree* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(_Tree* This);
  ULONG (*Release)(_Tree* This);
  HRESULT (*GetTypeInfoCount)(_Tree* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(_Tree* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT (*GetIDsOfNames)(_Tree* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT (*Invoke)
  (_Tree* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
   EXCEPINFO* pExcepInfo, UINT* puArgErr);
  HRESULT (*get_Width)(_Tree* This, BSTR* pRetVal);
  HRESULT (*put_Width)(_Tree* This, BSTR* newWidth);
  HRESULT (*get_TextClass)(_Tree* This, BSTR* pRetVal);
  HRESULT (*put_TextClass)(_Tree* This, BSTR* NewTextClass);
  HRESULT (*get_ExpandedImage)(_Tree* This, BSTR* pRetVal);
  HRESULT (*put_ExpandedImage)(_Tree* This, BSTR* NewExpandedImage);
  HRESULT (*get_ExpandAllImage)(_Tree* This, BSTR* pRetVal);
  HRESULT (*put_ExpandAllImage)(_Tree* This, BSTR* NewExpandAllImage);
  HRESULT (*get_CollapsedImage)(_Tree* This, BSTR* pRetVal);
  HRESULT (*put_CollapsedImage)(_Tree* This, BSTR* NewCollapsedImage);
  HRESULT (*get_CollapseAllImage)(_Tree* This, BSTR* pRetVal);
  HRESULT (*put_CollapseAllImage)(_Tree* This, BSTR* NewCollapseAllImage);
  HRESULT (*WriteExpandCollapse)(_Tree* This, BSTR* pRetVal);
  HRESULT (*Initialize)(_Tree* This, BSTR* pRetVal);
  HRESULT (*WriteMenuHeader)(_Tree* This, BSTR* MenuName, BSTR* pRetVal);
  HRESULT (*WriteMenuFooter)(_Tree* This, BSTR* pRetVal);
  HRESULT (*WriteNode)(_Tree* This, BSTR* NodeName, BSTR* URI, BSTR* Target, BSTR* ImagePath, BSTR* pRetVal);
} _TreeVtbl;
struct _Tree {
  const _TreeVtbl* lpVtbl;
};

/* ---- server entry points -------------------------------------------------- */

/* The class object (IClassFactory) of one of the six classes;
 * CLASS_E_CLASSNOTAVAILABLE for any other CLSID. */
HALVANE_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
/* S_OK when no object (component, type description or error object, which
 * includes a thread's unread error information) and no LockServer lock is
 * alive, else S_FALSE.  A class object alone does not keep the library: a
 * host that keeps one locks the server with LockServer. */
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

/* The same helpers under their usual automation names and signatures. */
HALVANE_API BSTR SysAllocString(const OLECHAR* psz);
HALVANE_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
HALVANE_API void SysFreeString(BSTR bstr);
HALVANE_API UINT SysStringLen(BSTR bstr);
HALVANE_API UINT SysStringByteLen(BSTR bstr);
HALVANE_API void VariantInit(VARIANTARG* pvarg);
HALVANE_API HRESULT VariantClear(VARIANTARG* pvarg);
/* Clears `dest` and copies `src` into it (a new BSTR, an AddRef of an
 * object); a VT_BYREF source is copied as the reference. */
HALVANE_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
/* Converts `src` (followed through VT_BYREF) to `vt` with the library's
 * conversions: VT_EMPTY, VT_NULL (from Null only), VT_I2, VT_I4, VT_R4,
 * VT_R8, VT_DATE, VT_BSTR, VT_BOOL, VT_ERROR (from an Error only).
 * DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW when it does not convert (`dest`
 * is then left as it was), DISP_E_BADVARTYPE for another kind.  `dest` may
 * be `src`. */
HALVANE_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, uint16_t wFlags, VARTYPE vt);

/* ---- thread error information -------------------------------------------------
 * Each thread holds at most one IErrorInfo.  SetErrorInfo replaces it (NULL
 * clears it); GetErrorInfo hands it over and clears it (S_FALSE and NULL
 * when there is none); CreateErrorInfo makes an empty error object whose
 * ICreateErrorInfo sets its parts (QueryInterface gives its IErrorInfo). */
HALVANE_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
HALVANE_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
HALVANE_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);

#ifdef __cplusplus
}
#endif

#endif /* HALVANE_COM_H */
