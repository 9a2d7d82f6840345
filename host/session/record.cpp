#include "host/session/record.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/dates.h"


namespace halvane::session {
namespace {

constexpr std::string_view kMagic{"HVS\x01", 4};
constexpr std::uint8_t kArray = 0x20;

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool Take(std::string_view& in, std::size_t n, std::uint64_t& v) {
  if (in.size() < n) return false;
  v = 0;
  for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
  in.remove_prefix(n);
  return true;
}

bool EncodeArray(const script::Array& a, std::string& out) {
  out.push_back(static_cast<char>(kArray));
  out.push_back(static_cast<char>(a.upper.size()));
  for (std::int32_t u : a.upper) PutU32(out, static_cast<std::uint32_t>(u));
  for (const script::Value& item : a.items) {
    if (!EncodeValue(item, out)) return false;
  }
  return true;
}

}  // namespace

bool EncodeValue(const script::Value& v, std::string& out) {
  const std::size_t mark = out.size();
  if (v.kind == script::Value::Kind::Object) return false;
  if (v.kind == script::Value::Kind::Array) {
    if (!EncodeArray(*v.arr, out)) {
      out.resize(mark);
      return false;
    }
    return true;
  }
  const Variant& x = v.v.IsByRef() ? v.v.Value() : v.v;
  switch (x.Type()) {
    case VarType::Empty:
    case VarType::Null: out.push_back(static_cast<char>(x.Type())); return true;
    case VarType::Integer:
      out.push_back(static_cast<char>(VarType::Integer));
      out.push_back(static_cast<char>(x.RawInt() & 0xFF));
      out.push_back(static_cast<char>((x.RawInt() >> 8) & 0xFF));
      return true;
    case VarType::Long:
      out.push_back(static_cast<char>(VarType::Long));
      PutU32(out, static_cast<std::uint32_t>(x.RawInt()));
      return true;
    case VarType::Single:
      out.push_back(static_cast<char>(VarType::Single));
      PutU32(out, std::bit_cast<std::uint32_t>(static_cast<float>(x.RawDouble())));
      return true;
    case VarType::Double:
    case VarType::Date:
      out.push_back(static_cast<char>(x.Type()));
      PutU64(out, std::bit_cast<std::uint64_t>(x.RawDouble()));
      return true;
    case VarType::String:
      out.push_back(static_cast<char>(VarType::String));
      PutU32(out, static_cast<std::uint32_t>(x.RawString().size()));
      out.append(x.RawString());
      return true;
    case VarType::Boolean:
      out.push_back(static_cast<char>(VarType::Boolean));
      out.push_back(x.RawInt() != 0 ? 1 : 0);
      return true;
    case VarType::Error: break;
  }
  return false;
}

bool DecodeValue(std::string_view& in, script::Value* out, int depth) {
  std::uint64_t kind = 0, n = 0;
  if (!Take(in, 1, kind)) return false;
  switch (kind) {
    case static_cast<std::uint8_t>(VarType::Empty):
      if (out) *out = script::Value();
      return true;
    case static_cast<std::uint8_t>(VarType::Null):
      if (out) *out = script::Value(Variant::Null());
      return true;
    case static_cast<std::uint8_t>(VarType::Integer):
      if (!Take(in, 2, n)) return false;
      if (out) *out = script::Value(Variant(static_cast<std::int16_t>(static_cast<std::uint16_t>(n))));
      return true;
    case static_cast<std::uint8_t>(VarType::Long):
      if (!Take(in, 4, n)) return false;
      if (out) *out = script::Value(Variant(static_cast<std::int32_t>(static_cast<std::uint32_t>(n))));
      return true;
    case static_cast<std::uint8_t>(VarType::Single): {
      // A page never holds an infinity or a NaN, nor a date out of range.
      if (!Take(in, 4, n)) return false;
      const float f = std::bit_cast<float>(static_cast<std::uint32_t>(n));
      if (!std::isfinite(f)) return false;
      if (out) *out = script::Value(Variant(f));
      return true;
    }
    case static_cast<std::uint8_t>(VarType::Double):
    case static_cast<std::uint8_t>(VarType::Date): {
      if (!Take(in, 8, n)) return false;
      const double d = std::bit_cast<double>(n);
      const bool date = kind == static_cast<std::uint8_t>(VarType::Date);
      if (!std::isfinite(d) || (date && !InDateRange(d))) return false;
      if (out) *out = script::Value(date ? Variant::Date(d) : Variant(d));
      return true;
    }
    case static_cast<std::uint8_t>(VarType::String):
      if (!Take(in, 4, n) || n > in.size()) return false;
      if (out) *out = script::Value(Variant(std::string(in.substr(0, n))));
      in.remove_prefix(n);
      return true;
    case static_cast<std::uint8_t>(VarType::Boolean):
      if (!Take(in, 1, n) || n > 1) return false;
      if (out) *out = script::Value(Variant(n == 1));
      return true;
    case kArray: break;
    default: return false;
  }
  // An array: bounds, then elements.  Each element takes a byte at least,
  // so a count beyond the bytes left is refused before anything is made.
  // The count is judged only once every bound is read: a later bound of -1
  // empties the array whatever the earlier ones say, and the answer must not
  // depend on the bytes that follow the value.
  if (depth >= script::kMaxArrayDepth) return false;
  std::uint64_t dims = 0;
  if (!Take(in, 1, dims) || dims < 1 || dims > 60) return false;
  std::vector<std::int32_t> upper;
  for (std::uint64_t d = 0; d < dims; ++d) {
    if (!Take(in, 4, n)) return false;
    const auto u = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
    if (u < -1) return false;
    upper.push_back(u);
  }
  std::uint64_t count = 1;
  for (std::int32_t u : upper) {
    if (u == -1) count = 0;
  }
  for (std::int32_t u : upper) {
    if (count == 0) break;
    count *= static_cast<std::uint64_t>(u) + 1;  // at most in.size() * 2^31: no overflow
    if (count > in.size()) return false;
  }
  std::shared_ptr<script::Array> a;
  if (out) {
    a = std::make_shared<script::Array>();
    a->upper = std::move(upper);
    a->items.resize(count);
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!DecodeValue(in, a ? &a->items[i] : nullptr, depth + 1)) return false;
    if (a && a->items[i].kind == script::Value::Kind::Array && a->items[i].arr->depth + 1 > a->depth) {
      a->depth = a->items[i].arr->depth + 1;
    }
  }
  if (out) *out = script::Value::Of(std::move(a));
  return true;
}

std::size_t RecordSize(const Record& r) {
  std::size_t n = kRecordHeader;
  for (const Entry& e : r.entries) n += EntrySize(e.name, e.value);
  return n;
}

std::string WriteRecord(const Record& r) {
  std::string out;
  out.reserve(RecordSize(r));
  out.append(kMagic);
  PutU32(out, static_cast<std::uint32_t>(r.timeout));
  PutU32(out, static_cast<std::uint32_t>(r.entries.size()));
  for (const Entry& e : r.entries) {
    PutU32(out, static_cast<std::uint32_t>(e.name.size()));
    out.append(e.name);
    out.append(e.value);
  }
  return out;
}

std::optional<Record> ReadRecord(std::string_view in) {
  if (in.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  in.remove_prefix(kMagic.size());
  std::uint64_t timeout = 0, count = 0, n = 0;
  if (!Take(in, 4, timeout) || timeout < 1 || timeout > 1440) return std::nullopt;
  if (!Take(in, 4, count) || count > in.size() / 5) return std::nullopt;
  Record r;
  r.timeout = static_cast<std::int32_t>(timeout);
  r.entries.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!Take(in, 4, n) || n > in.size()) return std::nullopt;
    Entry e;
    e.name.assign(in.substr(0, n));
    in.remove_prefix(n);
    const std::string_view start = in;
    if (!DecodeValue(in, nullptr)) return std::nullopt;
    e.value.assign(start.substr(0, start.size() - in.size()));
    r.entries.push_back(std::move(e));
  }
  if (!in.empty()) return std::nullopt;
  return r;
}

}  // namespace halvane::session
