#include "host/serve/paths.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <system_error>
#include <vector>

#include "core/text.h"
#include "core/utf.h"
#include "host/web/template.h"

namespace halvane::serve {
namespace fs = std::filesystem;
namespace {

bool Within(const fs::path& root, const fs::path& p) {
  const std::string& r = root.native();
  const std::string& s = p.native();
  if (s == r) return true;
  if (s.size() <= r.size() || s.compare(0, r.size(), r) != 0) return false;
  return r.back() == '/' || s[r.size()] == '/';
}

}  // namespace

Resolved Resolve(const fs::path& root, std::string_view url_path) {
  Resolved out;
  if (url_path.empty() || url_path[0] != '/') return out;
  if (url_path.find('\0') != std::string_view::npos || url_path.find('\\') != std::string_view::npos) return out;
  fs::path rel;
  std::size_t i = 1;
  while (i <= url_path.size()) {
    std::size_t j = url_path.find('/', i);
    if (j == std::string_view::npos) j = url_path.size();
    std::string_view part = url_path.substr(i, j - i);
    if (!part.empty()) {
      if (part[0] == '.') return out;  // ".", "..", hidden files
      rel /= fs::path(std::string(part));
    }
    i = j + 1;
  }
  bool wants_folder = url_path.back() == '/';
  std::error_code ec;
  fs::path real = fs::canonical(root / rel, ec);
  if (ec || !Within(root, real)) return out;
  fs::file_status st = fs::status(real, ec);
  if (ec) return out;
  if (fs::is_directory(st)) {
    if (!wants_folder) {
      out.kind = Resolved::Kind::AddSlash;
      return out;
    }
    // A folder runs its index.hvp, else its index.hvs.
    fs::path index = fs::canonical(real / "index.hvp", ec);
    if (ec) index = fs::canonical(real / "index.hvs", ec);
    real = std::move(index);
    if (ec || !Within(root, real)) return out;
    st = fs::status(real, ec);
    if (ec) return out;
  } else if (wants_folder) {
    return out;
  }
  if (!fs::is_regular_file(st)) return out;
  // The file's own name and every folder between root and it, as the links
  // resolved them: a link may not lead to a hidden name.
  for (const fs::path& part : real.lexically_relative(root)) {
    const std::string& name = part.native();
    if (name.empty() || name[0] == '.') return out;
  }
  // Include files are template source, pulled into pages on the server:
  // never sent as they stand.
  if (text::ToLowerAscii(real.extension().string()) == ".inc") return out;
  out.kind = Resolved::Kind::File;
  out.file = std::move(real);
  return out;
}

std::optional<std::string> DecodePath(std::string_view target_path) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(target_path.size());
  for (std::size_t i = 0; i < target_path.size(); ++i) {
    char c = target_path[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (target_path.size() - i < 3) return std::nullopt;
    int hi = hex(target_path[i + 1]), lo = hex(target_path[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::string FolderLocation(std::string_view url_path, std::string_view query) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  std::size_t i = 0;
  while (i < url_path.size()) {
    std::size_t j = url_path.find('/', i);
    if (j == std::string_view::npos) j = url_path.size();
    std::string_view part = url_path.substr(i, j - i);
    if (!part.empty()) {
      out += '/';
      for (char ch : part) {
        auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || std::strchr("-._~!$&'()*+,;=:@", ch) != nullptr) {
          out += ch;
        } else {
          out += '%';
          out += kHex[c >> 4];
          out += kHex[c & 15];
        }
      }
    }
    i = j + 1;
  }
  out += '/';
  if (!query.empty()) {
    out += '?';
    for (char ch : query) {
      auto c = static_cast<unsigned char>(ch);
      if (c <= 0x20 || c >= 0x7f) {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
      } else {
        out += ch;
      }
    }
  }
  return out;
}

std::string LogEscape(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  auto escape = [&](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f || c == '"' || c == '\\') {
      escape(c);
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    // A terminal acts on C1 controls (U+0080..U+009F) as on C0 ones, and in
    // its 8-bit mode on the bare bytes 80..9F: both are escaped, as is every
    // byte that does not begin a well-formed sequence.  Other UTF-8 text
    // stays readable.
    const utf::Sequence q = utf::DecodeAt(text, i);
    if (!q.well_formed) {
      escape(c);
      continue;
    }
    if (q.code_point <= 0x9F) {
      escape(c);
      escape(static_cast<unsigned char>(text[++i]));
      continue;
    }
    out.append(text.substr(i, q.length));
    i += q.length - 1;
  }
  return out;
}

bool IsPageScript(const fs::path& file) {
  return text::EqualNoCase(file.extension().native(), ".hvs") || web::IsTemplateName(file.native());
}

std::string_view ContentType(const fs::path& file) {
  static const std::pair<std::string_view, std::string_view> kTypes[] = {
      {".hvs", "text/html; charset=utf-8"},
      {".hvp", "text/html; charset=utf-8"},
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".txt", "text/plain; charset=utf-8"},
      {".json", "application/json"},
      {".gif", "image/gif"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".svg", "image/svg+xml"},
      {".ico", "image/x-icon"},
      {".webp", "image/webp"},
  };
  std::string ext = text::ToLowerAscii(file.extension().string());
  for (const auto& [e, type] : kTypes) {
    if (e == ext) return type;
  }
  return "application/octet-stream";
}

}  // namespace halvane::serve
