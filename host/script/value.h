// What a page variable holds while a page runs: a Variant, an object (or
// Nothing), or an array of such values.  Arrays are shared until written
// (copy on write), so assigning an array is cheap and still behaves as a
// copy.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/variant.h"
#include "server/automation.h"

namespace halvane::script {

struct Array;

// The page's own objects, held as values (Set r = Request) without an
// automation object behind them.
enum class PageObject : std::uint8_t { None, Request, Response, Server, Session, Application };

struct Value {
  enum class Kind : std::uint8_t { Plain, Object, Array };
  Kind kind = Kind::Plain;
  PageObject page = PageObject::None;  // Object: one of the page's objects (obj is null then)
  Variant v;                           // Plain
  automation::ObjectPtr obj;           // Object (null and no page object: Nothing)
  std::shared_ptr<Array> arr;          // Array

  Value() = default;
  explicit Value(Variant x) : v(std::move(x)) {}
  static Value Object(automation::ObjectPtr o) {
    Value r;
    r.kind = Kind::Object;
    r.obj = std::move(o);
    return r;
  }
  static Value Page(PageObject p) {
    Value r;
    r.kind = Kind::Object;
    r.page = p;
    return r;
  }
  static Value Of(std::shared_ptr<Array> a) {
    Value r;
    r.kind = Kind::Array;
    r.arr = std::move(a);
    return r;
  }
  bool IsPlain() const { return kind == Kind::Plain; }
  bool IsNothing() const { return kind == Kind::Object && !obj && page == PageObject::None; }
};

// Arrays nest at most this deep (an array in an array in ...), which keeps
// copying, freeing and searching them free of deep recursion.
inline constexpr int kMaxArrayDepth = 60;

// The most elements one array may hold (Dim, ReDim, Split): error 7 beyond.
inline constexpr std::size_t kMaxArrayElements = std::size_t{1} << 24;

struct Array {
  std::vector<std::int32_t> upper;  // upper bound per dimension (lower bounds are 0)
  std::vector<Value> items;         // the last index varies fastest
  int depth = 1;                    // 1 + the depth of the deepest array inside
  int pins = 0;                     // places (by-reference arguments) inside it

  Array() = default;
  Array(const Array& o) : upper(o.upper), items(o.items), depth(o.depth) {}
  Array& operator=(const Array&) = delete;
  // Another variable holds this array too: writing must copy it first.  A
  // by-reference place into it is not another holder.
  static bool Shared(const std::shared_ptr<Array>& a) { return a.use_count() - a->pins > 1; }
};

// Keeps an array alive and marks it as holding a by-reference place.
class Pin {
 public:
  Pin() = default;
  explicit Pin(std::shared_ptr<Array> a) : a_(std::move(a)) {
    if (a_) ++a_->pins;
  }
  Pin(const Pin& o) : Pin(o.a_) {}
  Pin& operator=(const Pin& o) {
    Pin copy(o);
    std::swap(a_, copy.a_);
    return *this;
  }
  ~Pin() {
    if (a_) --a_->pins;
  }
  Array* get() const { return a_.get(); }
  explicit operator bool() const { return a_ != nullptr; }

 private:
  std::shared_ptr<Array> a_;
};

}  // namespace halvane::script
