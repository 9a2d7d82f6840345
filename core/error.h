// The error type every member of the library raises.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace halvane {

// Error numbers raised by the value operations.
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrTypeMismatch = 13;
inline constexpr std::int32_t kErrInvalidUseOfNull = 94;

// An automation error: a number, the source that raised it and a sentence
// describing it.  The caller-visible status is 0x800A0000 + number.
//
// The value operations of core/ raise their errors with an empty source; the
// member that called them fills in its own source ("Halvane.<Class>") on the
// way out (see WithSource), so one conversion routine serves every component.
class Error : public std::exception {
 public:
  Error(std::int32_t number, std::string source, std::string description)
      : number_(number), source_(std::move(source)), description_(std::move(description)) {}

  std::int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }
  std::uint32_t Status() const noexcept {
    return 0x800A0000u + static_cast<std::uint32_t>(number_ & 0xFFFF);
  }
  const char* what() const noexcept override { return description_.c_str(); }

  void SetSourceIfEmpty(std::string_view source) {
    if (source_.empty()) source_.assign(source);
  }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// The standard description of 6, 13 and 94 ("Overflow", "Type mismatch",
// "Invalid use of Null"); an empty view for any other number.
std::string_view StandardDescription(std::int32_t number) noexcept;

// Throws Error(number, "", StandardDescription(number)).
[[noreturn]] void RaiseStandard(std::int32_t number);

// Runs f(); an Error escaping it without a source gets `source`.  Members use
// it so that conversion and overflow errors carry "Halvane.<Class>".
template <class F>
decltype(auto) WithSource(std::string_view source, F&& f) {
  try {
    return std::forward<F>(f)();
  } catch (Error& e) {
    e.SetSourceIfEmpty(source);
    throw;
  }
}

}  // namespace halvane
