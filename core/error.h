// The error type every member of the library raises.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace halvane {

// Standard error numbers: those the value operations raise (5, 6, 11, 13,
// 14, 94) and those the script host raises (the rest).  Each has a standard
// description (StandardDescription); the library and the host take both from
// here.
inline constexpr std::int32_t kErrInvalidCall = 5;          // "Invalid procedure call or argument"
inline constexpr std::int32_t kErrOverflow = 6;             // "Overflow"
inline constexpr std::int32_t kErrOutOfMemory = 7;          // "Out of memory"
inline constexpr std::int32_t kErrSubscript = 9;            // "Subscript out of range"
inline constexpr std::int32_t kErrDivisionByZero = 11;      // "Division by zero"
inline constexpr std::int32_t kErrTypeMismatch = 13;        // "Type mismatch"
inline constexpr std::int32_t kErrOutOfStringSpace = 14;    // "Out of string space"
inline constexpr std::int32_t kErrOutOfStack = 28;          // "Out of stack space"
inline constexpr std::int32_t kErrNotDefined = 35;          // "Sub or Function not defined"
inline constexpr std::int32_t kErrDeviceIO = 57;            // "Device I/O error"
inline constexpr std::int32_t kErrInvalidUseOfNull = 94;    // "Invalid use of Null"
inline constexpr std::int32_t kErrObjectRequired = 424;     // "Object required"
inline constexpr std::int32_t kErrCannotCreate = 429;       // "Cannot create object"
inline constexpr std::int32_t kErrNoMember = 438;           // "Object has no such property or method"
inline constexpr std::int32_t kErrArgCount = 450;           // "Wrong number of arguments"
inline constexpr std::int32_t kErrUndefinedVariable = 500;  // "Variable is undefined"

// The description of a number that has no standard one.
inline constexpr std::string_view kDefaultDescription = "Application-defined or object-defined error";

// The status a caller sees for error `number`: kErrorStatusBase + number.
inline constexpr std::uint32_t kErrorStatusBase = 0x800A0000u;

// The source of the errors the script host raises itself; a component's
// errors carry "Halvane.<Class>".
inline constexpr std::string_view kHostSource = "Halvane";

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
  std::uint32_t Status() const noexcept { return kErrorStatusBase + static_cast<std::uint32_t>(number_ & 0xFFFF); }
  const char* what() const noexcept override { return description_.c_str(); }

  void SetSourceIfEmpty(std::string_view source) {
    if (source_.empty()) source_.assign(source);
  }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// The standard description of one of the numbers above; an empty view for
// any other number.
std::string_view StandardDescription(std::int32_t number) noexcept;
// The standard description, or kDefaultDescription for any other number
// (what a raise without a description of its own reports).
std::string_view DescriptionOrDefault(std::int32_t number) noexcept;

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
