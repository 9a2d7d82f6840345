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
// symbolic links that lead out of root all give NotFound, and so does a
// path whose symbolic links lead to a hidden name inside root, and so does
// an include file (a name ending in ".inc", any letter case).  A folder
// asked for without its closing "/" gives AddSlash; with it, its index.hvp (else index.hvs).
Resolved Resolve(const std::filesystem::path& root, std::string_view url_path);

// The path of a request target ("/a%20b?x" gives "/a b"), percent-decoded;
// nullopt when a "%" is not followed by two hex digits.  A "%00" decodes to
// a NUL byte, which Resolve refuses.
std::optional<std::string> DecodePath(std::string_view target_path);

// The redirect target for a folder asked for without its closing "/": the
// path's parts joined by single "/" (so "//host" cannot name another
// server), percent-encoded, with "/" and then "?query" when there is one.
std::string FolderLocation(std::string_view url_path, std::string_view query);

// Text for one field of a log line: C0 and C1 controls, DEL, '"', '\\' and
// bytes that are not UTF-8 as \xHH escapes, so a request cannot forge or
// break log lines or send a terminal reading the log a control sequence.
std::string LogEscape(std::string_view text);

// The Content-Type header for a file, by extension.
std::string_view ContentType(const std::filesystem::path& file);
// A page: a script (*.hvs) or a template (*.hvp), in any letter case.
bool IsPageScript(const std::filesystem::path& file);

// Text made safe for HTML element content and attribute values.
std::string HtmlEscape(std::string_view text);

}  // namespace halvane::serve
