// Reading typed values from a fuzzer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/number_text.h"
#include "core/variant.h"

namespace halvane::fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

  bool Empty() const { return p_ == end_; }
  std::size_t Left() const { return static_cast<std::size_t>(end_ - p_); }

  std::uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }

  template <class T>
  T Raw() {
    T v{};
    const std::size_t n = Left() < sizeof(T) ? Left() : sizeof(T);
    std::memcpy(&v, p_, n);
    p_ += n;
    return v;
  }

  // Up to `max` bytes as text; its length comes first.
  std::string Text(std::size_t max = 64) {
    std::size_t n = Byte();
    if (n > max) n = max;
    if (n > Left()) n = Left();
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }

  // A Variant of any kind, with a payload taken from the input.  Strings are
  // often number or date texts, which the conversions read.
  Variant AnyVariant() {
    switch (Byte() % 14) {
      case 0: return Variant();
      case 1: return Variant::Null();
      case 2: return Variant(Raw<std::int16_t>());
      case 3: return Variant(Raw<std::int32_t>());
      case 4: return Variant(Raw<float>());
      case 5: return Variant(Raw<double>());
      case 6: return Variant::Date(Raw<double>());
      case 7: return Variant::Date(static_cast<double>(Raw<std::int32_t>() % 3000000) + Byte() / 256.0);
      case 8: return Variant(Text());
      case 9: return Variant(std::string(Byte() % 2 ? "True" : "False"));
      case 10: return Variant::ErrorCode(Raw<std::int32_t>());
      case 11: return Variant::Missing();
      case 12: return Variant(Byte() % 2 == 0);
      default: {
        // A number as text, the form page scripts often pass.
        const double d = static_cast<double>(Raw<std::int32_t>()) / (1 + Byte());
        return Variant(DoubleToText(d));
      }
    }
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

// Stops the fuzzer with a message (a failed property).
[[noreturn]] void Fail(const char* what, std::string_view detail);

}  // namespace halvane::fuzz
