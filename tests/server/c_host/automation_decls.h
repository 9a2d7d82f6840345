/*
 * The automation declarations this C host is written against: the usual
 * layouts of a 64-bit platform, declared here from scratch (VARIANT with its
 * nested unions, as the usual declarations nest them) so that the host shows
 * the library working with declarations that are not the library's own.
 * Only what the host uses is declared: table slots it never calls are plain
 * pointers that keep the layout, and structures it only reads through a
 * pointer end after the last field it reads.
 */
#ifndef C_HOST_AUTOMATION_DECLS_H
#define C_HOST_AUTOMATION_DECLS_H

#include <stddef.h>
#include <stdint.h>

typedef int32_t HRESULT;
typedef uint32_t ULONG, DWORD, LCID, HREFTYPE;
typedef int32_t LONG, SCODE, DISPID, MEMBERID;
typedef uint16_t WORD, VARTYPE, USHORT;
typedef int16_t SHORT, VARIANT_BOOL;
typedef unsigned int UINT;
typedef int INT, BOOL;
typedef uint16_t OLECHAR;
typedef OLECHAR *BSTR, *LPOLESTR;

typedef struct _GUID {
  unsigned int Data1;
  unsigned short Data2, Data3;
  unsigned char Data4[8];
} GUID, IID, CLSID;

#define S_OK 0
#define S_FALSE 1
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)

enum VARENUM { VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_BSTR = 8, VT_BOOL = 11 };
enum { VT_VARIANT = 12, VT_VOID = 24, VT_PTR = 26, VT_BYREF = 0x4000 };

typedef struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1, wReserved2, wReserved3;
      union {
        LONG lVal;
        SHORT iVal;
        BSTR bstrVal;
        void* byref;
        struct {
          void *pvRecord, *pRecInfo;
        } brec;
      } n3;
    } n2;
  } n1;
} VARIANT, VARIANTARG;

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs, cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode, wReserved;
  BSTR bstrSource, bstrDescription, bstrHelpFile;
  DWORD dwHelpContext;
  void *pvReserved, *pfnDeferredFillIn;
  SCODE scode;
} EXCEPINFO;

#define DISPATCH_METHOD 1
#define DISPATCH_PROPERTYGET 2
#define DISPATCH_PROPERTYPUT 4
#define DISPID_PROPERTYPUT (-3)
#define MEMBERID_NIL (-1)

typedef enum tagTYPEKIND { TKIND_DISPATCH = 4, TKIND_COCLASS = 5 } TYPEKIND;
typedef enum tagINVOKEKIND { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4 } INVOKEKIND;

typedef struct tagTYPEDESC {
  union {
    struct tagTYPEDESC* lptdesc;
    HREFTYPE hreftype;
  } u;
  VARTYPE vt;
} TYPEDESC;
typedef struct tagELEMDESC {
  TYPEDESC tdesc;
  struct {
    void* pparamdescex;
    USHORT wParamFlags;
  } paramdesc; /* shares its place with an IDLDESC of the same size */
} ELEMDESC;
typedef struct tagTYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor, memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs, cVars, cImplTypes, cbSizeVft, cbAlignment, wTypeFlags;
} TYPEATTR;
typedef struct tagFUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  int funckind;
  INVOKEKIND invkind;
  int callconv;
  SHORT cParams, cParamsOpt, oVft, cScodes;
  ELEMDESC elemdescFunc;
} FUNCDESC;
typedef struct tagTLIBATTR {
  GUID guid;
  LCID lcid;
  int syskind;
  WORD wMajorVerNum, wMinorVerNum;
} TLIBATTR;

#define TYPEFLAG_FHIDDEN 0x10
#define TYPEFLAG_FDUAL 0x40
#define TYPEFLAG_FNONEXTENSIBLE 0x80
#define TYPEFLAG_FOLEAUTOMATION 0x100
#define PARAMFLAG_FIN 1
#define PARAMFLAG_FOUT 2
#define PARAMFLAG_FOPT 0x10

/* Interfaces, in C: the object points at a table of functions that take the object first. */
#define C_HOST_OBJECT(T)          \
  typedef struct T {              \
    const struct T##Vtbl* lpVtbl; \
  } T
#define C_HOST_UNKNOWN(T)                                           \
  HRESULT (*QueryInterface)(T * This, const IID* riid, void** ppv); \
  ULONG (*AddRef)(T * This);                                        \
  ULONG (*Release)(T * This);

C_HOST_OBJECT(IUnknown);
C_HOST_OBJECT(IClassFactory);
C_HOST_OBJECT(IDispatch);
C_HOST_OBJECT(IErrorInfo);
C_HOST_OBJECT(ISupportErrorInfo);
C_HOST_OBJECT(ITypeInfo);
C_HOST_OBJECT(ITypeLib);

struct IUnknownVtbl {
  C_HOST_UNKNOWN(IUnknown)
};
struct IClassFactoryVtbl {
  C_HOST_UNKNOWN(IClassFactory)
  HRESULT (*CreateInstance)(IClassFactory* This, IUnknown* outer, const IID* riid, void** ppv);
};
struct IDispatchVtbl {
  C_HOST_UNKNOWN(IDispatch)
  HRESULT (*GetTypeInfoCount)(IDispatch* This, UINT* count);
  HRESULT (*GetTypeInfo)(IDispatch* This, UINT index, LCID lcid, ITypeInfo** info);
  HRESULT (*GetIDsOfNames)(IDispatch* This, const IID* riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
  HRESULT(*Invoke)
  (IDispatch* This, DISPID id, const IID* riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
   EXCEPINFO* excep, UINT* arg_err);
};
struct IErrorInfoVtbl {
  C_HOST_UNKNOWN(IErrorInfo)
  HRESULT (*GetGUID)(IErrorInfo* This, GUID* guid);
  HRESULT (*GetSource)(IErrorInfo* This, BSTR* source);
  HRESULT (*GetDescription)(IErrorInfo* This, BSTR* description);
};
struct ISupportErrorInfoVtbl {
  C_HOST_UNKNOWN(ISupportErrorInfo)
  HRESULT (*InterfaceSupportsErrorInfo)(ISupportErrorInfo* This, const IID* riid);
};
struct ITypeInfoVtbl {
  C_HOST_UNKNOWN(ITypeInfo)
  HRESULT (*GetTypeAttr)(ITypeInfo* This, TYPEATTR** attr);
  void* GetTypeComp; /* slots this host does not call */
  HRESULT (*GetFuncDesc)(ITypeInfo* This, UINT index, FUNCDESC** desc);
  void* GetVarDesc;
  HRESULT (*GetNames)(ITypeInfo* This, MEMBERID id, BSTR* names, UINT max, UINT* count);
  HRESULT (*GetRefTypeOfImplType)(ITypeInfo* This, UINT index, HREFTYPE* ref);
  void* GetImplTypeFlags;
  HRESULT (*GetIDsOfNames)(ITypeInfo* This, LPOLESTR* names, UINT count, MEMBERID* ids);
  void* Invoke;
  HRESULT (*GetDocumentation)(ITypeInfo* This, MEMBERID id, BSTR* name, BSTR* doc, DWORD* context, BSTR* file);
  void* GetDllEntry;
  HRESULT (*GetRefTypeInfo)(ITypeInfo* This, HREFTYPE ref, ITypeInfo** info);
  void *AddressOfMember, *CreateInstance, *GetMops;
  HRESULT (*GetContainingTypeLib)(ITypeInfo* This, ITypeLib** lib, UINT* index);
  void (*ReleaseTypeAttr)(ITypeInfo* This, TYPEATTR* attr);
  void (*ReleaseFuncDesc)(ITypeInfo* This, FUNCDESC* desc);
};
struct ITypeLibVtbl {
  C_HOST_UNKNOWN(ITypeLib)
  UINT (*GetTypeInfoCount)(ITypeLib* This);
  void* GetTypeInfo; /* slots this host does not call */
  HRESULT (*GetTypeInfoType)(ITypeLib* This, UINT index, TYPEKIND* kind);
  HRESULT (*GetTypeInfoOfGuid)(ITypeLib* This, const GUID* guid, ITypeInfo** info);
  HRESULT (*GetLibAttr)(ITypeLib* This, TLIBATTR** attr);
  void* GetTypeComp;
  HRESULT (*GetDocumentation)(ITypeLib* This, INT index, BSTR* name, BSTR* doc, DWORD* context, BSTR* file);
  void* IsName;
  HRESULT (*FindName)(ITypeLib* This, LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* count);
  void (*ReleaseTLibAttr)(ITypeLib* This, TLIBATTR* attr);
};

#endif
