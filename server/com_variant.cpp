// VARIANTs of the C interface: reading them as Variants, making them from
// Variants, writing a member's change back through a VT_BYREF argument,
// and the exported VARIANT functions.
#include <cstring>
#include <new>
#include <string>

#include "core/error.h"
#include "core/variant.h"
#include "server/com_internal.h"

namespace halvane::com {

using halvane::Variant;
using halvane::VarType;

void ReadBstr(BSTR b, Variant& out) {
  halvane::com::ShortText small;
  if (halvane::com::NarrowShortAscii(b, small))
    out = Variant(small.view());
  else
    out = Variant(Utf8FromBstr(b));
}

HRESULT ReadVariant(const VARIANT& v, Variant& out, int depth) {
  const VARTYPE base = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
  if ((v.vt & VT_BYREF) == 0) {
    switch (v.vt) {
      case VT_EMPTY: out = Variant(); return S_OK;
      case VT_NULL: out = Variant::Null(); return S_OK;
      case VT_I2: out = Variant::Integer(v.iVal); return S_OK;
      case VT_I4: out = Variant::Long(v.lVal); return S_OK;
      case VT_R4: out = Variant::Single(v.fltVal); return S_OK;
      case VT_R8: out = Variant::Double(v.dblVal); return S_OK;
      case VT_DATE: out = Variant::Date(v.date); return S_OK;
      case VT_BSTR: ReadBstr(v.bstrVal, out); return S_OK;
      case VT_ERROR: out = Variant::ErrorCode(v.scode); return S_OK;
      case VT_BOOL: out = Variant::Boolean(v.boolVal != 0); return S_OK;
      default: return DISP_E_BADVARTYPE;
    }
  }
  if (v.byref == nullptr) return E_INVALIDARG;
  switch (base) {
    case VT_I2: out = Variant::Integer(*v.piVal); return S_OK;
    case VT_I4: out = Variant::Long(*v.plVal); return S_OK;
    case VT_R4: out = Variant::Single(*v.pfltVal); return S_OK;
    case VT_R8: out = Variant::Double(*v.pdblVal); return S_OK;
    case VT_DATE: out = Variant::Date(*v.pdate); return S_OK;
    case VT_BSTR: ReadBstr(*v.pbstrVal, out); return S_OK;
    case VT_ERROR: out = Variant::ErrorCode(*v.pscode); return S_OK;
    case VT_BOOL: out = Variant::Boolean(*v.pboolVal != 0); return S_OK;
    case VT_VARIANT:
      // A VARIANT that itself refers further is followed once more.
      if (depth > 0) return DISP_E_BADVARTYPE;
      return ReadVariant(*v.pvarVal, out, depth + 1);
    default: return DISP_E_BADVARTYPE;
  }
}

HRESULT MakeVariant(const Variant& value, VARIANT& out) {
  HalvaneVariantInit(&out);
  const Variant& v = value.Deref();
  switch (v.Type()) {
    case VarType::Empty: break;
    case VarType::Null: out.vt = VT_NULL; break;
    case VarType::Integer:
      out.vt = VT_I2;
      out.iVal = static_cast<SHORT>(v.RawInt());
      break;
    case VarType::Long:
      out.vt = VT_I4;
      out.lVal = v.RawInt();
      break;
    case VarType::Single:
      out.vt = VT_R4;
      out.fltVal = static_cast<float>(v.RawDouble());
      break;
    case VarType::Double:
      out.vt = VT_R8;
      out.dblVal = v.RawDouble();
      break;
    case VarType::Date:
      out.vt = VT_DATE;
      out.date = v.RawDouble();
      break;
    case VarType::String: {
      BSTR s = BstrFromUtf8(v.RawString());
      if (s == nullptr) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      out.bstrVal = s;
      break;
    }
    case VarType::Error:
      out.vt = VT_ERROR;
      out.scode = v.RawInt();
      break;
    case VarType::Boolean:
      out.vt = VT_BOOL;
      out.boolVal = v.RawInt() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
  }
  return S_OK;
}

bool SameValue(const Variant& a, const Variant& b) {
  if (a.Type() != b.Type()) return false;
  switch (a.Type()) {
    case VarType::Empty:
    case VarType::Null: return true;
    case VarType::Single:
    case VarType::Double:
    case VarType::Date: return a.RawDouble() == b.RawDouble();
    case VarType::String: return a.RawString() == b.RawString();
    default: return a.RawInt() == b.RawInt();
  }
}

// Stores a value a member wrote back into the caller's VT_BYREF argument,
// converted to the kind the argument points to.  A value that does not
// convert to that kind leaves the caller's storage as it was.
HRESULT WriteBack(VARIANT& arg, const Variant& value) {
  const VARTYPE base = static_cast<VARTYPE>(arg.vt & ~VT_BYREF);
  try {
    switch (base) {
      case VT_I2: *arg.piVal = halvane::ToInteger(value); break;
      case VT_I4: *arg.plVal = halvane::ToLong(value); break;
      case VT_R4: *arg.pfltVal = halvane::ToSingle(value); break;
      case VT_R8: *arg.pdblVal = halvane::ToDouble(value); break;
      case VT_DATE: *arg.pdate = halvane::ToDate(value); break;
      case VT_BOOL: *arg.pboolVal = halvane::ToBoolean(value) ? VARIANT_TRUE : VARIANT_FALSE; break;
      case VT_ERROR:
        if (value.Type() == VarType::Error) *arg.pscode = value.RawInt();
        break;
      case VT_BSTR: {
        BSTR s = BstrFromUtf8(halvane::ToString(value));
        if (s == nullptr) return E_OUTOFMEMORY;
        HalvaneSysFreeString(*arg.pbstrVal);
        *arg.pbstrVal = s;
        break;
      }
      case VT_VARIANT: {
        VARIANT& target = *arg.pvarVal;
        if ((target.vt & VT_BYREF) != 0) return WriteBack(target, value);
        VARIANT fresh;
        const HRESULT hr = MakeVariant(value, fresh);
        if (hr != S_OK) return hr;
        HalvaneVariantClear(&target);
        target = fresh;
        break;
      }
      default: break;
    }
  } catch (const halvane::Error&) {}
  return S_OK;
}

}  // namespace halvane::com

using halvane::Variant;
using halvane::VarType;
using halvane::com::MakeVariant;
using halvane::com::ReadVariant;

extern "C" {

HALVANE_API void HalvaneVariantInit(VARIANT* v) {
  if (v != nullptr) halvane::com::InitVariant(*v);
}

HALVANE_API HRESULT HalvaneVariantClear(VARIANT* v) { return halvane::com::ClearVariant(v); }

HALVANE_API void VariantInit(VARIANTARG* v) {
  if (v != nullptr) halvane::com::InitVariant(*v);
}
HALVANE_API HRESULT VariantClear(VARIANTARG* v) { return halvane::com::ClearVariant(v); }

HALVANE_API HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if ((src->vt & VT_BYREF) == 0 && !halvane::com::HoldsValueOnly(src->vt)) {
    switch (src->vt) {
      case VT_BSTR:
        if (src->bstrVal != nullptr) {
          copy.bstrVal = HalvaneSysAllocStringLen(src->bstrVal, HalvaneSysStringLen(src->bstrVal));
          if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
        }
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (src->punkVal != nullptr) src->punkVal->lpVtbl->AddRef(src->punkVal);
        break;
      default: return DISP_E_BADVARTYPE;
    }
  }
  const HRESULT hr = HalvaneVariantClear(dest);
  if (hr != S_OK) {
    HalvaneVariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

HALVANE_API HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, uint16_t, VARTYPE vt) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  try {
    Variant value;
    HRESULT hr = ReadVariant(*src, value);
    if (hr != S_OK) return hr;
    Variant converted;
    try {
      switch (vt) {
        case VT_EMPTY: break;
        case VT_NULL:
          if (value.Type() != VarType::Null) return DISP_E_TYPEMISMATCH;
          converted = Variant::Null();
          break;
        case VT_I2: converted = Variant::Integer(halvane::ToInteger(value)); break;
        case VT_I4: converted = Variant::Long(halvane::ToLong(value)); break;
        case VT_R4: converted = Variant::Single(halvane::ToSingle(value)); break;
        case VT_R8: converted = Variant::Double(halvane::ToDouble(value)); break;
        case VT_DATE: converted = Variant::Date(halvane::ToDate(value)); break;
        case VT_BSTR: converted = Variant::String(halvane::ToString(value)); break;
        case VT_BOOL: converted = Variant::Boolean(halvane::ToBoolean(value)); break;
        case VT_ERROR:
          if (value.Type() != VarType::Error) return DISP_E_TYPEMISMATCH;
          converted = value;
          break;
        default: return DISP_E_BADVARTYPE;
      }
    } catch (const halvane::Error& e) {
      return e.Number() == halvane::kErrOverflow ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
    VARIANT fresh;
    hr = MakeVariant(converted, fresh);
    if (hr != S_OK) return hr;
    // `src` has been read in full, so `dest` may be the same VARIANT.
    HalvaneVariantClear(dest);
    *dest = fresh;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"
