#include "host/script/template_parse.h"

#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "host/script/parser.h"

namespace halvane::script {
namespace {

using web::TemplatePiece;

// The tokens of a template for the parser, piece by piece: the code of a
// block as the lexer reads it (positions moved to where the block stands),
// a text run as one page-text token, an expression block as the tokens of
// `Response.Write expression`.  Every piece ends a statement.
class TemplateFeed {
 public:
  TemplateFeed(const std::vector<TemplatePiece>& pieces, std::vector<int> files)
      : pieces_(pieces), files_(std::move(files)) {}

  Token Next() {
    for (;;) {
      if (!queue_.empty()) {
        Token t = std::move(queue_.front());
        queue_.pop_front();
        return t;
      }
      if (lex_) {
        Token t = Lexed();
        if (t.kind != Tok::EndOfFile) return t;
        lex_.reset();
        return EndOfStatement(t.pos);
      }
      if (next_ == pieces_.size()) {
        Token end;
        end.kind = Tok::EndOfFile;
        end.pos = end_;
        return end;
      }
      Start(next_++);
    }
  }

 private:
  void Start(std::size_t index) {
    const TemplatePiece& p = pieces_[index];
    piece_ = &p;
    file_ = files_[index];
    const Pos at{p.line, p.column, file_};
    end_ = at;
    switch (p.kind) {
      case TemplatePiece::Kind::Text: {
        Token t;
        t.kind = Tok::Text;
        t.pos = at;
        t.text = p.text;
        queue_.push_back(std::move(t));
        queue_.push_back(EndOfStatement(at));
        return;
      }
      case TemplatePiece::Kind::Code: lex_.emplace(p.text, file_); return;
      case TemplatePiece::Kind::Expr: {
        // One expression: its tokens with no statement end inside.
        lex_.emplace(p.text, file_);
        std::vector<Token> tokens;
        for (Token t = Lexed(); t.kind != Tok::EndOfFile; t = Lexed()) tokens.push_back(std::move(t));
        lex_.reset();
        while (!tokens.empty() && tokens.back().kind == Tok::EndOfStatement) tokens.pop_back();
        if (tokens.empty()) throw SyntaxError(at, "expected an expression in \"<%=\" ... \"%>\"");
        for (const Token& t : tokens) {
          if (t.kind == Tok::EndOfStatement) {
            throw SyntaxError(t.pos, "\"<%=\" ... \"%>\" holds one expression");
          }
        }
        tokens.front().space_before = true;
        queue_.push_back(Word(Tok::Keyword, "Response", at));
        queue_.back().kw = Kw::Response;
        queue_.push_back(Word(Tok::Dot, ".", at));
        queue_.push_back(Word(Tok::Identifier, "Write", at));
        for (Token& t : tokens) queue_.push_back(std::move(t));
        queue_.push_back(EndOfStatement(at));
        return;
      }
    }
  }

  // The lexer's next token, placed where the block's code stands.
  Token Lexed() {
    Token t = lex_->Next();
    if (t.pos.line == 1) t.pos.column += piece_->column - 1;
    t.pos.line += piece_->line - 1;
    end_ = t.pos;
    return t;
  }

  static Token Word(Tok kind, const char* text, Pos at) {
    Token t;
    t.kind = kind;
    t.pos = at;
    t.text = text;
    for (const char* c = text; *c; ++c) t.lower.push_back((*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c + 32) : *c);
    return t;
  }

  static Token EndOfStatement(Pos at) {
    Token t;
    t.kind = Tok::EndOfStatement;
    t.pos = at;
    t.text.push_back('\n');  // (not = "\n": a false -Wrestrict of g++ 12)
    return t;
  }

  const std::vector<TemplatePiece>& pieces_;
  std::vector<int> files_;  // piece -> index into Program::files
  std::size_t next_ = 0;
  const TemplatePiece* piece_ = nullptr;
  int file_ = 0;
  std::optional<Lexer> lex_;
  std::deque<Token> queue_;
  Pos end_;
};

}  // namespace

std::shared_ptr<const Program> ParseTemplate(const web::ExpandedTemplate& tmpl, const std::string& name) {
  auto program = std::make_shared<Program>();
  program->file = name;
  program->files.push_back(name);
  std::vector<int> files;
  files.reserve(tmpl.pieces.size());
  for (const TemplatePiece& p : tmpl.pieces) {
    int index = 0;
    while (static_cast<std::size_t>(index) < program->files.size() &&
           program->files[static_cast<std::size_t>(index)] != p.file) {
      ++index;
    }
    if (static_cast<std::size_t>(index) == program->files.size()) program->files.push_back(p.file);
    files.push_back(index);
  }
  try {
    TemplateFeed feed(tmpl.pieces, std::move(files));
    Parser parser([&feed] { return feed.Next(); }, *program);
    parser.ParseProgram();
  } catch (const SyntaxError& e) {
    const Pos at = e.Position();
    const std::size_t f = static_cast<std::size_t>(at.file);
    throw web::TemplateError(f < program->files.size() ? program->files[f] : name, at.line, at.column, e.Message());
  }
  return program;
}

}  // namespace halvane::script
