// Source positions and the syntax error of a page script.
#pragma once

#include <stdexcept>
#include <string>

namespace halvane::script {

// A 1-based line and column in one of the program's files (`file` indexes
// Program::files; 0 is the main file).  Columns count characters, not bytes.
struct Pos {
  int line = 1;
  int column = 1;
  int file = 0;
};

// A script that does not parse.  `message` says what was expected (and what
// was found instead); nothing of the script has run.
class SyntaxError : public std::runtime_error {
 public:
  SyntaxError(Pos pos, std::string message) : std::runtime_error(message), pos_(pos), message_(std::move(message)) {}
  Pos Position() const { return pos_; }
  const std::string& Message() const { return message_; }

 private:
  Pos pos_;
  std::string message_;
};

}  // namespace halvane::script
