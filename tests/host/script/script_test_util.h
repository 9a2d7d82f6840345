// Running page-script text in tests: the response and the outcome.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/script/interpreter.h"
#include "host/script/program.h"

namespace halvane::script::testing {

// Collects the response; remembers how much had been written at each Flush.
class Capture : public Output {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  void Flush() override { flushes_.push_back(text_.size()); }
  const std::string& Text() const { return text_; }
  const std::vector<std::size_t>& Flushes() const { return flushes_; }

 private:
  std::string text_;
  std::vector<std::size_t> flushes_;
};

struct Ran {
  Result result;
  std::string out;
  std::vector<std::size_t> flushes;
};

inline Ran RunText(std::string_view source, const Limits& limits = {}) {
  auto program = Parse(source, "t.hvs");
  Capture c;
  Ran r;
  r.result = Run(*program, c, limits);
  r.out = c.Text();
  r.flushes = c.Flushes();
  return r;
}

// The response of a script that must complete.
inline std::string Out(std::string_view source) {
  Ran r = RunText(source);
  if (r.result.outcome != Outcome::Completed) {
    auto program = Parse(source, "t.hvs");
    return "<<" + Describe(*program, r.result) + ">>";
  }
  return r.out;
}

}  // namespace halvane::script::testing
