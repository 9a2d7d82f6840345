// Request bodies of type multipart/form-data: each part becomes a form field.
// A text part gives its content, a file part (one with a file name) gives
// its file name; the file's content is not kept.  Used by the page's
// Request.Form, and by the server to refuse a malformed body with 400
// before the page runs.
#pragma once

#include <string>
#include <string_view>

#include "host/web/page_io.h"

namespace halvane::web {

// How a request body is read as a form, by its Content-Type (the media type
// in any letter case, parameters after ";").
enum class FormBody { None, UrlEncoded, Multipart };
FormBody FormBodyOf(std::string_view content_type);

struct MultipartFields {
  Pairs fields;       // (name, value) in the order of the parts, as UTF-8 text
  std::string error;  // not empty: the body is malformed, and says how
};

// Reads a multipart/form-data body: `content_type` must carry its boundary.
// The body is a preamble (ignored), then parts, each opened by CR LF
// "--boundary" CR LF (the first may stand at the very start), its header
// lines, an empty line and its content, then CR LF "--boundary--" and an
// epilogue (ignored).  Each part needs a Content-Disposition header of type
// form-data with a name.
MultipartFields ParseMultipart(std::string_view content_type, std::string_view body);

}  // namespace halvane::web
