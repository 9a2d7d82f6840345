#include "host/web/template.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "core/text.h"
#include "core/utf.h"

namespace halvane::web {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

using text::IsBlank;
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Line and column of offsets in one file's text, moving forward only.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  // Advances to `offset` (never backwards).
  void MoveTo(std::size_t offset) {
    for (; pos_ < offset; ++pos_) {
      const char c = text_[pos_];
      if (c == '\n' || (c == '\r' && (pos_ + 1 >= text_.size() || text_[pos_ + 1] != '\n'))) {
        ++line_;
        column_ = 1;
      } else if (c != '\r' && !utf::IsContinuation(c)) {
        ++column_;
      }
    }
  }
  int Line() const { return line_; }
  int Column() const { return column_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
};

// An include line at text[at] ("<!--" already seen): the name, whether it
// is a `virtual` one, and the offset just past "-->"; or what is wrong with
// a comment that starts as an include line but is not one.  nullopt for any
// other comment.
struct IncludeLine {
  std::string name;
  bool is_virtual = false;
  std::size_t end = 0;
  std::string error;  // not empty: a malformed include line
};

std::optional<IncludeLine> ReadIncludeLine(std::string_view text, std::size_t at) {
  std::size_t i = at + 4;
  auto blanks = [&] {
    std::size_t n = 0;
    while (i < text.size() && IsBlank(text[i])) ++i, ++n;
    return n;
  };
  blanks();
  if (!text::StartsWithNoCase(text.substr(i), "#include")) return std::nullopt;
  i += 8;
  IncludeLine out;
  auto bad = [&](std::string why) {
    out.error = "a malformed include line: " + why;
    return out;
  };
  const bool blank = blanks() > 0;
  std::size_t w = i;
  while (w < text.size() && IsWordChar(text[w])) ++w;
  const std::string_view word = text.substr(i, w - i);
  if (text::EqualNoCase(word, "virtual")) {
    out.is_virtual = true;
  } else if (!text::EqualNoCase(word, "file")) {
    if (word.empty()) return bad("file=\"NAME\" or virtual=\"/PATH\" must follow #include");
    // (Appended piece by piece: GCC 12 misreads "text" + std::string as overlapping.)
    std::string why(blank ? "\"" : "\"#include");
    why.append(word).append(blank ? "\" is neither file nor virtual" : "\" is not #include");
    return bad(std::move(why));
  }
  i = w;
  const char* const kind = out.is_virtual ? "virtual" : "file";
  if (!blank) return bad(std::string("a blank must stand between #include and ") + kind);
  blanks();
  if (i >= text.size() || text[i] != '=') return bad(std::string("\"=\" must follow ") + kind);
  ++i;
  blanks();
  if (i < text.size() && text[i] == '\'') return bad("the name must be in double quotes, not single quotes");
  if (i >= text.size() || text[i] != '"') return bad("the name must be in double quotes");
  const std::size_t name_start = ++i;
  while (i < text.size() && text[i] != '"' && !IsLineEnd(text[i])) ++i;
  if (i >= text.size() || text[i] != '"') return bad("the name's closing double quote is missing");
  out.name = std::string(text.substr(name_start, i - name_start));
  ++i;
  blanks();
  if (text.compare(i, 3, "-->") != 0) return bad("\"-->\" must follow the name");
  out.end = i + 3;
  return out;
}

std::optional<std::string> ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Inside(const fs::path& root, const fs::path& path) {
  const fs::path rel = path.lexically_relative(root);
  if (rel.empty()) return false;
  const auto first = rel.begin();
  return first != rel.end() && *first != "..";
}

class Expander {
 public:
  Expander(const TemplateOptions& options, ExpandedTemplate& out) : options_(options), out_(out) {
    std::error_code ec;
    root_ = fs::weakly_canonical(options.root, ec);
    if (ec) root_ = options.root.lexically_normal();
  }

  // The main file: also settles how the served folder's root is shown in
  // messages (the main file's shown name less its path below the root).
  void Main(std::string_view source, const std::string& name, const fs::path& file) {
    const fs::path below = file.lexically_relative(root_);
    fs::path shown = fs::path(name).parent_path();
    if (!below.empty() && *below.begin() != "..") {
      shown = fs::path(name);
      for (auto part = below.begin(); part != below.end(); ++part) shown = shown.parent_path();
    }
    shown_root_ = shown;
    total_size_ = source.size();
    File(source, name, file, 0);
  }

  void File(std::string_view source, const std::string& name, const fs::path& file, int depth) {
    if (source.substr(0, kBom.size()) == kBom) source.remove_prefix(kBom.size());
    stack_.push_back(file);
    shown_stack_.push_back(name);
    Cursor cursor(source);
    std::size_t text_start = 0;
    std::size_t i = 0;
    auto flush_text = [&](std::size_t end) {
      if (end > text_start) {
        cursor.MoveTo(text_start);
        out_.pieces.push_back(TemplatePiece{TemplatePiece::Kind::Text,
                                            std::string(source.substr(text_start, end - text_start)), name,
                                            cursor.Line(), cursor.Column()});
      }
    };
    while (i < source.size()) {
      const std::size_t lt = source.find('<', i);
      if (lt == std::string_view::npos) break;
      if (source.compare(lt, 2, "<%") == 0) {
        flush_text(lt);
        const bool expr = lt + 2 < source.size() && source[lt + 2] == '=';
        const std::size_t code_start = lt + (expr ? 3 : 2);
        const std::size_t end = BlockEnd(source.substr(code_start));
        cursor.MoveTo(lt);
        if (end == std::string_view::npos) {
          throw TemplateError(name, cursor.Line(), cursor.Column(),
                              expr ? "\"<%=\" without its closing \"%>\"" : "\"<%\" without its closing \"%>\"");
        }
        cursor.MoveTo(code_start);
        out_.pieces.push_back(TemplatePiece{expr ? TemplatePiece::Kind::Expr : TemplatePiece::Kind::Code,
                                            std::string(source.substr(code_start, end)), name, cursor.Line(),
                                            cursor.Column()});
        i = text_start = code_start + end + 2;
        continue;
      }
      if (source.compare(lt, 4, "<!--") == 0) {
        if (std::optional<IncludeLine> inc = ReadIncludeLine(source, lt)) {
          flush_text(lt);
          cursor.MoveTo(lt);
          if (!inc->error.empty()) throw TemplateError(name, cursor.Line(), cursor.Column(), inc->error);
          Include(*inc, name, file, depth, cursor.Line(), cursor.Column());
          i = text_start = inc->end;
          continue;
        }
        i = lt + 4;
        continue;
      }
      i = lt + 1;
    }
    flush_text(source.size());
    stack_.pop_back();
    shown_stack_.pop_back();
  }

 private:
  void Include(const IncludeLine& inc, const std::string& name, const fs::path& file, int depth, int line, int column) {
    auto fail = [&](const std::string& why) { throw TemplateError(name, line, column, why); };
    const std::string& n = inc.name;
    if (n.empty()) fail("an include line without a file name");
    if (n.find('\0') != std::string::npos) fail("the include \"" + n + "\" leads outside the served folder");
    if (inc.is_virtual && n.front() != '/') {
      fail("the virtual include \"" + n + "\" must start with / (a path from the served folder's root)");
    }
    if (!inc.is_virtual && (n.front() == '/' || n.front() == '\\')) {
      fail("the include \"" + n + "\" leads outside the served folder");
    }
    if (depth + 1 > options_.max_depth) {
      fail("includes nest deeper than " + text::Decimal(options_.max_depth) + " (\"" + n + "\")");
    }
    // A virtual name is read from the served folder's root, a file name
    // from the including file's folder.
    const fs::path relative = inc.is_virtual ? fs::path(n.substr(1)) : fs::path(n);
    const fs::path target = ((inc.is_virtual ? root_ : file.parent_path()) / relative).lexically_normal();
    const std::string shown =
        ((inc.is_virtual ? shown_root_ : fs::path(name).parent_path()) / relative).lexically_normal().generic_string();
    // Symbolic links are followed before the check, so a link inside the
    // folder that points out of it counts as outside.
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(target, ec);
    if (ec || !Inside(root_, real)) fail("the include \"" + n + "\" leads outside the served folder");
    for (std::size_t k = 0; k < stack_.size(); ++k) {
      if (stack_[k] != real) continue;
      // The message names this file, which closes the cycle, and the chain.
      std::string chain;
      for (std::size_t j = k; j < shown_stack_.size(); ++j) chain += shown_stack_[j] + " -> ";
      fail(name + " closes an include cycle by including \"" + n + "\" (" + chain + shown + ")");
    }
    if (!fs::is_regular_file(target, ec)) fail("the include file \"" + n + "\" does not exist");
    if (options_.max_file_size) {
      const auto size = fs::file_size(target, ec);
      if (!ec && size > options_.max_file_size) fail("the include file \"" + n + "\" is too large");
    }
    std::optional<std::string> text = ReadWhole(target);
    if (!text) fail("the include file \"" + n + "\" cannot be read");
    if (options_.max_file_size && text->size() > options_.max_file_size) {
      fail("the include file \"" + n + "\" is too large");
    }
    if (++includes_ > options_.max_includes) {
      fail("the page reads more than " + text::Decimal(options_.max_includes) + " includes (\"" + n + "\")");
    }
    total_size_ += text->size();
    if (total_size_ > options_.max_total_size) {
      const std::size_t most = options_.max_total_size;
      fail("the page and its includes are larger than " +
           (most % (1 << 20) == 0 ? text::Decimal(most >> 20) + " MiB" : text::Decimal(most) + " bytes") +
           " in all (\"" + n + "\")");
    }
    out_.includes.emplace_back(target, *text);
    File(*text, shown, real, depth + 1);
  }

  const TemplateOptions& options_;
  ExpandedTemplate& out_;
  fs::path root_;
  fs::path shown_root_;                 // the root as messages show it
  std::vector<fs::path> stack_;         // the files being read, outermost first
  std::vector<std::string> shown_stack_;  // ... as messages show them
  std::size_t includes_ = 0;              // includes read so far
  std::size_t total_size_ = 0;            // bytes of every text read so far
};

}  // namespace

bool IsTemplateName(std::string_view file) {
  return file.size() >= 4 && text::EqualNoCase(file.substr(file.size() - 4), ".hvp");
}

std::size_t BlockEnd(std::string_view code) {
  std::size_t i = 0;
  auto skip_comment = [&]() -> bool {  // true when "%>" ends the comment
    while (i < code.size() && !IsLineEnd(code[i])) {
      if (code.compare(i, 2, "%>") == 0) return true;
      ++i;
    }
    return false;
  };
  while (i < code.size()) {
    const char c = code[i];
    if (c == '%' && i + 1 < code.size() && code[i + 1] == '>') return i;
    if (c == '"') {
      // A string literal runs to its closing quote ("" is a quote inside)
      // or, unterminated, to the line end (the parser reports it).
      ++i;
      while (i < code.size() && !IsLineEnd(code[i])) {
        if (code[i] == '"') {
          if (i + 1 < code.size() && code[i + 1] == '"') {
            i += 2;
            continue;
          }
          break;
        }
        ++i;
      }
      if (i < code.size() && code[i] == '"') ++i;
      continue;
    }
    const bool rem =
        (c == 'r' || c == 'R') && text::StartsWithNoCase(code.substr(i), "rem") &&
        (i == 0 || (!IsWordChar(code[i - 1]) && code[i - 1] != '.')) &&
        (i + 3 >= code.size() || IsBlank(code[i + 3]) || IsLineEnd(code[i + 3]) || code.compare(i + 3, 2, "%>") == 0);
    if (c == '\'' || rem) {
      if (skip_comment()) return i;
      continue;
    }
    if (IsWordChar(c)) {
      // Skip the rest of a word, so "Remark" or "xRem" is no comment.
      while (i < code.size() && IsWordChar(code[i])) ++i;
      continue;
    }
    ++i;
  }
  return std::string_view::npos;
}

ExpandedTemplate ExpandTemplate(std::string_view source, const std::string& name, const fs::path& file,
                                const TemplateOptions& options) {
  ExpandedTemplate out;
  Expander expander(options, out);
  std::error_code ec;
  const fs::path real = fs::weakly_canonical(file, ec);
  expander.Main(source, name, ec ? file : real);
  return out;
}

}  // namespace halvane::web
