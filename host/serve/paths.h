// Mapping request paths onto the served folder, safely, and content types.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace halvane::serve {

struct Resolved {
  enum class Kind { NotFound, File, AddSlash } kind = Kind::NotFound;
  std::filesystem::path file;  // Kind::File: the canonical path of the file
};

// Resolves a decoded URL path ("/", "/tree.hvs", "/images/x.gif") against
// `root`, which must be canonical.  Nothing outside root is ever returned:
// ".." and "." parts, hidden names (".git"), backslashes, NUL bytes and
// symbolic links that lead out of root all give NotFound.  A folder asked
// for without its closing "/" gives AddSlash; with it, its index.hvs.
Resolved Resolve(const std::filesystem::path& root, std::string_view url_path);

// The Content-Type header for a file, by extension.
std::string_view ContentType(const std::filesystem::path& file);
bool IsPageScript(const std::filesystem::path& file);

// Text made safe for HTML element content and attribute values.
std::string HtmlEscape(std::string_view text);

}  // namespace halvane::serve
