// Invoke of every member of every class with random arguments of every kind
// (and random counts), by DISPID and by name: each call returns one of the
// documented statuses, a raised error carries 0x800A0000 + its number, a
// String member gives a String, and every object is released.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/variant.h"
#include "fuzz/fuzz_input.h"
#include "server/automation.h"
#include "server/class_table.h"

using namespace halvane;
using namespace halvane::automation;

namespace {

InvokeKind KindOf(MemberKind k) {
  switch (k) {
    case MemberKind::Method: return InvokeKind::Method;
    case MemberKind::PropertyGet: return InvokeKind::PropertyGet;
    case MemberKind::PropertyLet: return InvokeKind::PropertyLet;
  }
  return InvokeKind::Method;
}

void Check(HResult hr, const ExceptionInfo& excep, const MemberInfo& m, const Variant& result) {
  switch (hr) {
    case kOk:
      if (m.result == ValueType::String && result.Type() != VarType::String)
        fuzz::Fail("String member gave no String", m.name);
      return;
    case kDispEException: {
      const std::uint32_t n = excep.status - 0x800A0000u;
      if (excep.status < 0x800A0000u || (n != 1 && n != 5 && n != 6 && n != 13 && n != 94)) {
        fuzz::Fail("unexpected error status from", m.name);
      }
      if (excep.source.empty() || excep.description.empty()) fuzz::Fail("error without source or description", m.name);
      if (!result.IsEmpty()) fuzz::Fail("a result after an error", m.name);
      return;
    }
    case kDispEBadParamCount:
    case kDispETypeMismatch:
    case kDispEOverflow:
    case kDispEMemberNotFound:
      if (!result.IsEmpty()) fuzz::Fail("a result after a failed call", m.name);
      return;
    default: fuzz::Fail("unexpected status from", m.name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const auto classes = Classes();
  {
    const ClassInfo& cls = classes[in.Byte() % classes.size()];
    ObjectPtr obj;
    if (CreateObject(in.Byte() % 2 ? cls.prog_id : cls.clsid, obj) != kOk) fuzz::Fail("cannot create", cls.prog_id);

    for (int call = 0; call < 48 && !in.Empty(); ++call) {
      const MemberInfo& m = cls.members[in.Byte() % cls.members.size()];
      std::int32_t dispid = m.dispid;
      if (in.Byte() % 4 == 0) {
        // By name, in a random letter case.
        std::string name(m.name);
        for (char& c : name) {
          if (in.Byte() % 2) c = static_cast<char>(c ^ 0x20);
        }
        if (obj->GetIDOfName(name, dispid) != kOk) fuzz::Fail("name lookup failed for", m.name);
        if (dispid != m.dispid) fuzz::Fail("name lookup gave another DISPID for", m.name);
      }
      // Mostly the declared count, sometimes one more or one fewer.
      std::size_t count = m.params.size();
      const std::uint8_t c = in.Byte();
      if (c % 8 == 0 && count > 0) --count;
      if (c % 8 == 1) ++count;
      std::array<Variant, kMaxParams + 1> targets;  // what by-reference arguments refer to
      std::vector<Variant> args;
      for (std::size_t i = 0; i < count; ++i) {
        Variant v = in.AnyVariant();
        if (in.Byte() % 3 == 0) {
          targets[i] = std::move(v);
          args.push_back(Variant::Ref(targets[i]));
        } else {
          args.push_back(std::move(v));
        }
      }
      Variant result;
      ExceptionInfo excep;
      const HResult hr = obj->Invoke(dispid, KindOf(m.kind), args, &result, &excep);
      Check(hr, excep, m, result);
    }
    // A name that is no member.
    std::int32_t id = 0;
    const std::string junk = in.Text(32);
    if (obj->GetIDOfName(junk, id) == kOk && FindDispId(cls, junk) != id) fuzz::Fail("lookup of", junk);
  }
  if (LiveObjectCount() != 0) fuzz::Fail("an object was not released", "");
  return 0;
}
