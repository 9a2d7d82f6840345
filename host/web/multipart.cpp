#include "host/web/multipart.h"

#include <optional>

#include "core/text.h"

namespace halvane::web {
namespace {

using text::EqualNoCase;
using text::Trim;

// The longest boundary a sender may use.
constexpr std::size_t kMaxBoundary = 70;

// The value of parameter `name` in a header value `type; a=b; c="d e"`: a
// token, or a quoted string with "\" escaping the next character.  nullopt
// when absent or when a quoted string is not closed.
std::optional<std::string> Parameter(std::string_view value, std::string_view name) {
  std::size_t at = value.find(';');
  while (at != std::string_view::npos && at < value.size()) {
    ++at;  // past ";"
    while (at < value.size() && text::IsBlank(value[at])) ++at;
    const std::size_t eq = value.find('=', at);
    const std::size_t semi = value.find(';', at);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      at = semi;  // a parameter without "=": skipped
      continue;
    }
    const std::string_view key = Trim(value.substr(at, eq - at));
    std::size_t v = eq + 1;
    while (v < value.size() && text::IsBlank(value[v])) ++v;
    std::string got;
    if (v < value.size() && value[v] == '"') {
      bool closed = false;
      for (++v; v < value.size(); ++v) {
        if (value[v] == '\\' && v + 1 < value.size()) {
          got.push_back(value[++v]);
        } else if (value[v] == '"') {
          closed = true;
          ++v;
          break;
        } else {
          got.push_back(value[v]);
        }
      }
      if (!closed) return std::nullopt;
      at = value.find(';', v);
    } else {
      at = value.find(';', v);
      got = std::string(Trim(value.substr(v, at == std::string_view::npos ? std::string_view::npos : at - v)));
    }
    if (EqualNoCase(key, name)) return got;
  }
  return std::nullopt;
}

// The media type of a Content-Type value, without parameters and blanks.
std::string_view MediaType(std::string_view content_type) {
  return Trim(content_type.substr(0, content_type.find(';')));
}

// One part's header block (the lines before its empty line) made a field;
// false with `error` set when it is not one.
bool ReadPart(std::string_view headers, std::string_view content, Pairs& out, std::string& error) {
  std::optional<std::string> name, filename;
  bool disposition = false;
  while (!headers.empty()) {
    const std::size_t eol = headers.find("\r\n");
    const std::string_view line = headers.substr(0, eol);
    headers.remove_prefix(eol == std::string_view::npos ? headers.size() : eol + 2);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
      error = "a part's header line is not \"Name: value\"";
      return false;
    }
    if (!EqualNoCase(line.substr(0, colon), "Content-Disposition")) continue;
    const std::string_view value = Trim(line.substr(colon + 1));
    if (!EqualNoCase(MediaType(value), "form-data")) {
      error = "a part's Content-Disposition is not form-data";
      return false;
    }
    disposition = true;
    name = Parameter(value, "name");
    filename = Parameter(value, "filename");
  }
  if (!disposition) {
    error = "a part has no Content-Disposition header";
    return false;
  }
  if (!name) {
    error = "a part has no name";
    return false;
  }
  out.emplace_back(RepairUtf8(*name), RepairUtf8(filename ? std::string_view(*filename) : content));
  return true;
}

}  // namespace

FormBody FormBodyOf(std::string_view content_type) {
  const std::string_view type = MediaType(content_type);
  if (EqualNoCase(type, "application/x-www-form-urlencoded")) return FormBody::UrlEncoded;
  if (EqualNoCase(type, "multipart/form-data")) return FormBody::Multipart;
  return FormBody::None;
}

MultipartFields ParseMultipart(std::string_view content_type, std::string_view body) {
  MultipartFields r;
  const std::optional<std::string> boundary = Parameter(content_type, "boundary");
  if (!boundary || boundary->empty() || boundary->size() > kMaxBoundary) {
    r.error = "the multipart body has no boundary";
    return r;
  }
  const std::string dash = "--" + *boundary;
  const std::string delimiter = "\r\n" + dash;
  // The first delimiter: at the very start, or after a preamble.
  std::size_t at;
  if (body.substr(0, dash.size()) == dash) {
    at = dash.size();
  } else {
    at = body.find(delimiter);
    if (at == std::string_view::npos) {
      r.error = "the multipart body has no closing boundary";
      return r;
    }
    at += delimiter.size();
  }
  for (;;) {
    // After a delimiter: "--" closes the body; else blanks and a line end.
    if (body.substr(at, 2) == "--") return r;  // the epilogue is ignored
    while (at < body.size() && text::IsBlank(body[at])) ++at;
    if (body.substr(at, 2) != "\r\n") {
      r.error = at >= body.size() ? "the multipart body has no closing boundary"
                                  : "a boundary line has text after the boundary";
      return r;
    }
    at += 2;
    const std::size_t end = body.find(delimiter, at);
    if (end == std::string_view::npos) {
      r.error = "the multipart body has no closing boundary";
      return r;
    }
    const std::string_view part = body.substr(at, end - at);
    const std::size_t blank = part.find("\r\n\r\n");
    if (part.substr(0, 2) == "\r\n") {
      r.error = "a part has no headers";
      return r;
    }
    if (blank == std::string_view::npos) {
      r.error = "a part's headers do not end with an empty line";
      return r;
    }
    if (!ReadPart(part.substr(0, blank), part.substr(blank + 4), r.fields, r.error)) return r;
    at = end + delimiter.size();
  }
}

}  // namespace halvane::web
