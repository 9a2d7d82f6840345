// The front end of page templates (*.hvp): include lines expanded, then the
// text cut into text runs, `<% statements %>` blocks and `<%= expression %>`
// blocks, each piece remembering the file and line it comes from.  The
// pieces are then compiled by the script parser like a script whose text
// runs are writes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvane::web {

struct TemplatePiece {
  enum class Kind { Text, Code, Expr };
  Kind kind = Kind::Text;
  // Text: the bytes to write as they stand.  Code and Expr: the code between
  // "<%" (or "<%=") and "%>".
  std::string text;
  // Where the text, or the code, starts: the file's name as shown in
  // messages, a 1-based line and a 1-based column counted in characters.
  std::string file;
  int line = 1;
  int column = 1;
};

// A template that cannot be read as one: an unclosed block, a comment that
// starts as an include line but is not one, or an include line naming a
// missing file, a file outside the served folder, a cycle, or nesting too
// deep.  The position is that of the fault (for include lines,
// in the including file).
class TemplateError : public std::runtime_error {
 public:
  TemplateError(std::string file, int line, int column, std::string message)
      : std::runtime_error(message),
        file_(std::move(file)),
        line_(line),
        column_(column),
        message_(std::move(message)) {}
  const std::string& File() const { return file_; }
  int Line() const { return line_; }
  int Column() const { return column_; }
  const std::string& Message() const { return message_; }

 private:
  std::string file_;
  int line_;
  int column_;
  std::string message_;
};

struct TemplateOptions {
  // The served folder: no include may read a file outside it.
  std::filesystem::path root;
  // The largest file (main or included) accepted; 0: no limit.
  std::size_t max_file_size = 0;
  // Includes nest at most this deep.
  int max_depth = 16;
  // However shallow, a page reads at most this many includes, and its text
  // with every included text at most this many bytes in all: a few small
  // files that include each other many times over cannot expand to millions
  // of pieces.
  std::size_t max_includes = 1000;
  std::size_t max_total_size = std::size_t{16} << 20;
};

struct ExpandedTemplate {
  std::vector<TemplatePiece> pieces;
  // Every included file read, with its text: a cached compilation stays
  // good while each of them still reads the same.
  std::vector<std::pair<std::filesystem::path, std::string>> includes;
};

// A name ending in ".hvp", in any letter case, is a page template; any
// other page is a script.
bool IsTemplateName(std::string_view file);

// Splits `source`, the text of the main template, which lives at `file`
// (used to find its includes) and is shown in messages as `name`.
// `<!--#include file="NAME" -->` reads NAME from the including file's
// folder, `<!--#include virtual="/PATH" -->` reads PATH from options.root.
// Included files are shown by `name`'s folder joined with the include's
// relative name (virtual ones by the root, as `name` shows it, joined with
// PATH).  A leading byte-order mark is skipped in every file.
// Throws TemplateError.
ExpandedTemplate ExpandTemplate(std::string_view source, const std::string& name, const std::filesystem::path& file,
                                const TemplateOptions& options);

// The offset in `code` (the text after "<%") of the "%>" that closes the
// block: the first one not inside a string literal ("..." with "" for a
// quote).  A comment (' or Rem) runs to the line end or to "%>", so a quote
// in a comment opens no string.  npos when the block never closes.
std::size_t BlockEnd(std::string_view code);

}  // namespace halvane::web
