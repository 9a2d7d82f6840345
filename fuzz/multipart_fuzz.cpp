// The multipart/form-data reader on arbitrary bodies: the input's first line
// is the Content-Type, the rest the body.  A body either reads as fields or
// gives a reason; fields are valid UTF-8 and no more than the body's
// boundary lines; the page's Request object reads the same body the same way.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "host/web/multipart.h"
#include "host/web/page_io.h"

using namespace halvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t eol = input.find('\n');
  const std::string_view type = input.substr(0, eol);
  const std::string_view body = eol == std::string_view::npos ? std::string_view() : input.substr(eol + 1);
  const web::MultipartFields got = web::ParseMultipart(type, body);
  if (got.error.empty()) {
    std::size_t lines = 0;
    for (std::size_t at = body.find("--"); at != std::string_view::npos; at = body.find("--", at + 1)) ++lines;
    if (got.fields.size() > lines) fuzz::Fail("more fields than boundary lines", input);
    for (const auto& [name, value] : got.fields) {
      if (web::RepairUtf8(name) != name || web::RepairUtf8(value) != value) fuzz::Fail("a field is not UTF-8", input);
    }
  }
  web::RequestData d;
  d.content_type = "multipart/form-data" + std::string(type.substr(type.find(';') == std::string_view::npos
                                                                       ? type.size()
                                                                       : type.find(';')));
  d.body = std::string(body);
  const web::PageRequest request(d);
  const web::MultipartFields again = web::ParseMultipart(d.content_type, body);
  if (request.BodyError() != again.error) fuzz::Fail("the page reads the body otherwise", input);
  if (again.error.empty() && !again.fields.empty() && !request.Form(again.fields[0].first))
    fuzz::Fail("the page cannot read a field", input);
  if (!request.RawForm().empty()) fuzz::Fail("a multipart body shown as the raw form", input);
  return 0;
}
