// Built-in functions: the table of names and argument counts the parser
// checks, the functions on arrays and objects run here, and the value-level
// functions handed to the function table (functions.h).
#include "host/script/builtins.h"

#include <array>
#include <utility>

#include "core/strings.h"
#include "core/text.h"
#include "host/script/functions.h"
#include "host/script/machine.h"

namespace halvane::script {
namespace {

constexpr std::array kBuiltins{
    BuiltinInfo{"Abs", 1, 1},         BuiltinInfo{"Array", 0, -1},     BuiltinInfo{"Asc", 1, 1},
    BuiltinInfo{"AscW", 1, 1},        BuiltinInfo{"CBool", 1, 1},      BuiltinInfo{"CDate", 1, 1},
    BuiltinInfo{"CDbl", 1, 1},        BuiltinInfo{"Chr", 1, 1},        BuiltinInfo{"ChrW", 1, 1},
    BuiltinInfo{"CInt", 1, 1},        BuiltinInfo{"CLng", 1, 1},       BuiltinInfo{"CreateObject", 1, 1},
    BuiltinInfo{"CSng", 1, 1},        BuiltinInfo{"CStr", 1, 1},       BuiltinInfo{"Date", 0, 0},
    BuiltinInfo{"DateAdd", 3, 3},     BuiltinInfo{"DateDiff", 3, 3},   BuiltinInfo{"DateSerial", 3, 3},
    BuiltinInfo{"Day", 1, 1},         BuiltinInfo{"Fix", 1, 1},        BuiltinInfo{"FormatNumber", 1, 2},
    BuiltinInfo{"Hex", 1, 1},         BuiltinInfo{"Hour", 1, 1},       BuiltinInfo{"InStr", 2, 4},
    BuiltinInfo{"InStrRev", 2, 2},    BuiltinInfo{"Int", 1, 1},        BuiltinInfo{"IsArray", 1, 1},
    BuiltinInfo{"IsDate", 1, 1},      BuiltinInfo{"IsEmpty", 1, 1},    BuiltinInfo{"IsNull", 1, 1},
    BuiltinInfo{"IsNumeric", 1, 1},   BuiltinInfo{"IsObject", 1, 1},   BuiltinInfo{"Join", 1, 2},
    BuiltinInfo{"LBound", 1, 2},      BuiltinInfo{"LCase", 1, 1},      BuiltinInfo{"Left", 2, 2},
    BuiltinInfo{"Len", 1, 1},         BuiltinInfo{"LTrim", 1, 1},      BuiltinInfo{"Mid", 2, 3},
    BuiltinInfo{"Minute", 1, 1},      BuiltinInfo{"Month", 1, 1},      BuiltinInfo{"MonthName", 1, 2},
    BuiltinInfo{"Now", 0, 0},         BuiltinInfo{"Oct", 1, 1},        BuiltinInfo{"Replace", 3, 6},
    BuiltinInfo{"Right", 2, 2},       BuiltinInfo{"Round", 1, 2},      BuiltinInfo{"RTrim", 1, 1},
    BuiltinInfo{"Second", 1, 1},      BuiltinInfo{"Sgn", 1, 1},        BuiltinInfo{"Space", 1, 1},
    BuiltinInfo{"Split", 1, 3},       BuiltinInfo{"Sqr", 1, 1},        BuiltinInfo{"StrComp", 2, 3},
    BuiltinInfo{"String", 2, 2},      BuiltinInfo{"StrReverse", 1, 1}, BuiltinInfo{"Time", 0, 0},
    BuiltinInfo{"Trim", 1, 1},        BuiltinInfo{"TypeName", 1, 1},   BuiltinInfo{"UBound", 1, 2},
    BuiltinInfo{"UCase", 1, 1},       BuiltinInfo{"VarType", 1, 1},    BuiltinInfo{"Weekday", 1, 1},
    BuiltinInfo{"WeekdayName", 1, 2}, BuiltinInfo{"Year", 1, 1},
};

Variant Integer(int v) { return Variant(static_cast<std::int16_t>(v)); }

std::shared_ptr<Array> NewArray(std::size_t n) {
  auto a = std::make_shared<Array>();
  a->upper.push_back(static_cast<std::int32_t>(n) - 1);
  a->items.resize(n);
  return a;
}

}  // namespace

int FindBuiltin(std::string_view lower) {
  for (std::size_t i = 0; i < kBuiltins.size(); ++i) {
    if (text::EqualNoCase(kBuiltins[i].name, lower)) return static_cast<int>(i);
  }
  return -1;
}

const BuiltinInfo& Builtin(int index) { return kBuiltins[static_cast<std::size_t>(index)]; }

Value Machine::CallBuiltin(const BuiltinExpr& e) {
  std::string_view name = Builtin(e.function).name;
  std::vector<Value> args;
  args.reserve(e.args.size());
  for (const ExprPtr& a : e.args) args.push_back(Eval(*a));
  auto is = [&](Value::Kind k) { return args[0].kind == k; };
  if (name == "TypeName" || name == "VarType") {
    bool type_name = name == "TypeName";
    if (is(Value::Kind::Array)) return Value(type_name ? Variant("Variant()") : Variant(std::int16_t{8204}));
    if (is(Value::Kind::Object)) {
      if (!type_name) return Value(Integer(9));
      if (args[0].obj) return Value(Variant(std::string(args[0].obj->Class().name)));
      return Value(Variant(args[0].page == PageObject::None ? "Nothing" : "Object"));
    }
    if (type_name) return Value(Variant(std::string(TypeName(args[0].v))));
    return Value(Integer(static_cast<int>(args[0].v.Type())));
  }
  if (name == "IsArray") return Value(Variant(is(Value::Kind::Array)));
  if (name == "IsObject") return Value(Variant(is(Value::Kind::Object)));
  if (name == "CreateObject") {
    std::string id = ToString(Plain(std::move(args[0])));
    automation::ObjectPtr obj;
    if (automation::CreateObject(id, obj) < 0 || !obj) throw HostError(kErrCannotCreate);
    return Value::Object(std::move(obj));
  }
  if (name == "Array") {
    auto a = NewArray(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (args[i].kind == Value::Kind::Array) a->depth = std::max(a->depth, args[i].arr->depth + 1);
      a->items[i] = std::move(args[i]);
    }
    if (a->depth > kMaxArrayDepth) throw HostError(kErrOutOfStack);
    return Value::Of(std::move(a));
  }
  if (name == "UBound" || name == "LBound") {
    if (!is(Value::Kind::Array)) throw HostError(kErrTypeMismatch);
    std::int32_t dim = 1;
    if (args.size() > 1) dim = ToLong(Plain(std::move(args[1])));
    const Array& a = *args[0].arr;
    if (dim < 1 || static_cast<std::size_t>(dim) > a.upper.size()) throw HostError(kErrSubscript);
    return Value(Variant(name == "UBound" ? a.upper[static_cast<std::size_t>(dim - 1)] : std::int32_t{0}));
  }
  if (name == "Join") {
    if (is(Value::Kind::Plain) && args[0].v.IsNullValue()) return Value(Variant::Null());
    if (!is(Value::Kind::Array)) throw HostError(kErrTypeMismatch);
    std::string delim = " ";
    if (args.size() > 1) {
      Variant d = Plain(std::move(args[1]));
      if (d.IsNullValue()) throw HostError(kErrInvalidUseOfNull);
      delim = ToString(d);
    }
    std::vector<std::string> texts;
    std::vector<std::string_view> parts;
    texts.reserve(args[0].arr->items.size());
    for (const Value& v : args[0].arr->items) {
      if (v.kind != Value::Kind::Plain)
        throw HostError(v.kind == Value::Kind::Object ? kErrNoMember : kErrTypeMismatch);
      if (v.v.IsNullValue()) throw HostError(kErrInvalidUseOfNull);
      texts.push_back(ToString(v.v));
    }
    for (const std::string& t : texts) parts.push_back(t);
    return Value(Variant(strings::Join(parts, delim, limits_.max_string)));
  }
  if (name == "IsNull" || name == "IsEmpty" || name == "IsNumeric" || name == "IsDate") {
    if (!is(Value::Kind::Plain)) return Value(Variant(false));
  }
  std::vector<Variant> plain;
  plain.reserve(args.size());
  for (Value& v : args) plain.push_back(Plain(std::move(v)));
  if (name == "Split") {
    if (plain[0].IsNullValue()) return Value(Variant::Null());
    std::string delim = " ";
    std::int32_t count = -1;
    if (plain.size() > 1) {
      if (plain[1].IsNullValue()) throw HostError(kErrInvalidUseOfNull);
      delim = ToString(plain[1]);
    }
    if (plain.size() > 2) count = ToLong(plain[2]);
    std::vector<std::string> parts =
        strings::Split(ToString(plain[0]), delim, count, strings::Compare::Binary, kMaxArrayElements);
    auto a = NewArray(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) a->items[i] = Value(Variant(std::move(parts[i])));
    return Value::Of(std::move(a));
  }
  if (const functions::Function* f = functions::Find(name)) {
    functions::Context ctx;
    ctx.max_string = limits_.max_string;
    Variant r = f->call(plain, ctx);
    if (r.Type() == VarType::String && r.RawString().size() > limits_.max_string) {
      throw HostError(kErrOutOfStringSpace);
    }
    return Value(std::move(r));
  }
  throw HostError(kErrInvalidCall);
}

}  // namespace halvane::script
