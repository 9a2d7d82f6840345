// Built-in functions: the call of a function table row the parser chose,
// and the functions on arrays and objects, which the interpreter runs itself.
#include <array>
#include <utility>

#include "core/strings.h"
#include "host/script/functions.h"
#include "host/script/machine.h"

namespace halvane::script {
namespace {

using functions::Special;

Variant Integer(int v) { return Variant(static_cast<std::int16_t>(v)); }

std::shared_ptr<Array> NewArray(std::size_t n) {
  auto a = std::make_shared<Array>();
  a->upper.push_back(static_cast<std::int32_t>(n) - 1);
  a->items.resize(n);
  return a;
}

// Rounds of a loop over the elements of an array between two looks at the
// page's limits.
constexpr std::size_t kPollEvery = 4096;

}  // namespace

void Machine::PollFrom(void* machine) { static_cast<Machine*>(machine)->Poll(); }

Value Machine::CallBuiltin(const BuiltinExpr& e) {
  const functions::Function& f = e.function;
  if (f.special == Special::Array) return MakeArray(e.args);
  // Every argument is evaluated before any is looked at.
  std::array<Value, functions::kMostArgs> args;
  const std::size_t n = e.args.size();
  for (std::size_t i = 0; i < n; ++i) args[i] = Eval(*e.args[i]);
  auto is = [&](Value::Kind k) { return args[0].kind == k; };
  switch (f.special) {
    case Special::None:
    case Special::Array:
    case Special::Split: break;
    case Special::Test:
      if (!is(Value::Kind::Plain)) return Value(Variant(false));
      break;
    case Special::TypeName:
      if (is(Value::Kind::Array)) return Value(Variant("Variant()"));
      if (is(Value::Kind::Object)) {
        if (args[0].obj) return Value(Variant(std::string(args[0].obj->Class().name)));
        return Value(Variant(args[0].page == PageObject::None ? "Nothing" : "Object"));
      }
      return Value(Variant(std::string(TypeName(args[0].v))));
    case Special::VarType:
      if (is(Value::Kind::Array)) return Value(Integer(8204));
      if (is(Value::Kind::Object)) return Value(Integer(9));
      return Value(Integer(static_cast<int>(args[0].v.Type())));
    case Special::IsArray: return Value(Variant(is(Value::Kind::Array)));
    case Special::IsObject: return Value(Variant(is(Value::Kind::Object)));
    case Special::CreateObject: {
      std::string id = ToString(Plain(std::move(args[0])));
      automation::ObjectPtr obj;
      if (automation::CreateObject(id, obj) < 0 || !obj) throw HostError(kErrCannotCreate, QuotedForMessage(id));
      return Value::Object(std::move(obj));
    }
    case Special::UBound:
    case Special::LBound: {
      if (!is(Value::Kind::Array)) throw HostError(kErrTypeMismatch);
      std::int32_t dim = 1;
      if (n > 1) dim = ToLong(Plain(std::move(args[1])));
      const Array& a = *args[0].arr;
      if (dim < 1 || static_cast<std::size_t>(dim) > a.upper.size()) throw HostError(kErrSubscript);
      return Value(Variant(f.special == Special::UBound ? a.upper[static_cast<std::size_t>(dim - 1)] : 0));
    }
    case Special::Join: return Join(args[0], n > 1 ? &args[1] : nullptr);
  }
  std::array<Variant, functions::kMostArgs> plain;
  for (std::size_t i = 0; i < n; ++i) plain[i] = Plain(std::move(args[i]));
  const std::span<const Variant> given(plain.data(), n);
  if (f.special == Special::Split) return Split(given);
  functions::Context ctx;
  ctx.max_string = limits_.max_string;
  ctx.poll = {&Machine::PollFrom, this};
  Variant r = f.call(given, ctx);
  if (r.Type() == VarType::String && r.RawString().size() > limits_.max_string) {
    throw HostError(kErrOutOfStringSpace);
  }
  return Value(std::move(r));
}

// Array(a, b, ...): an array of the values as they are (arrays and objects
// too), no deeper than arrays may nest.
Value Machine::MakeArray(std::span<const ExprPtr> exprs) {
  auto a = NewArray(exprs.size());
  for (std::size_t i = 0; i < exprs.size(); ++i) {
    Value v = Eval(*exprs[i]);
    if (v.kind == Value::Kind::Array) a->depth = std::max(a->depth, v.arr->depth + 1);
    a->items[i] = std::move(v);
  }
  if (a->depth > kMaxArrayDepth) throw HostError(kErrOutOfStack);
  return Value::Of(std::move(a));
}

Value Machine::Join(const Value& over, Value* delimiter) {
  if (over.kind == Value::Kind::Plain && over.v.IsNullValue()) return Value(Variant::Null());
  if (over.kind != Value::Kind::Array) throw HostError(kErrTypeMismatch);
  std::string delim = " ";
  if (delimiter) {
    Variant d = Plain(std::move(*delimiter));
    if (d.IsNullValue()) throw HostError(kErrInvalidUseOfNull);
    delim = ToString(d);
  }
  const std::vector<Value>& items = over.arr->items;
  // Strings are joined where they stand; other values are made text first.
  std::vector<std::string> texts;
  std::vector<std::string_view> parts;
  parts.reserve(items.size());
  std::size_t made = 0;
  for (const Value& v : items) {
    if (v.kind != Value::Kind::Plain) throw HostError(v.kind == Value::Kind::Object ? kErrNoMember : kErrTypeMismatch);
    if (v.v.IsNullValue()) throw HostError(kErrInvalidUseOfNull);
    if (v.v.Type() != VarType::String) ++made;
  }
  texts.reserve(made);
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if ((i + 1) % kPollEvery == 0) Poll();
    const Variant& v = items[i].v;
    if (v.Type() == VarType::String) {
      parts.push_back(v.RawString());
    } else {
      texts.push_back(ToString(v));
      parts.push_back(texts.back());
    }
    bytes += parts.back().size() + (i > 0 ? delim.size() : 0);
    if (bytes > limits_.max_string) throw HostError(kErrOutOfStringSpace);
  }
  return Value(Variant(strings::Join(parts, delim, limits_.max_string)));
}

Value Machine::Split(std::span<const Variant> plain) {
  if (plain[0].IsNullValue()) return Value(Variant::Null());
  std::string delim = " ";
  std::int32_t count = -1;
  if (plain.size() > 1) {
    if (plain[1].IsNullValue()) throw HostError(kErrInvalidUseOfNull);
    delim = ToString(plain[1]);
  }
  if (plain.size() > 2) count = ToLong(plain[2]);
  std::vector<std::string> parts =
      strings::Split(ToString(plain[0]), delim, count, strings::Compare::Binary, kMaxArrayElements,
                     strings::Poll{&Machine::PollFrom, this});
  auto a = NewArray(parts.size());
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if ((i + 1) % kPollEvery == 0) Poll();
    a->items[i] = Value(Variant(std::move(parts[i])));
  }
  return Value::Of(std::move(a));
}

}  // namespace halvane::script
