#include "host/serve/answers.h"

#include "core/text.h"
#include "host/web/page_io.h"

namespace halvane::serve {

std::string StatusLine(int status) {
  std::string line = text::Decimal(status);
  line += ' ';
  line += MHD_get_reason_phrase_for(static_cast<unsigned>(status));
  return line;
}

std::string ErrorPage(int status, std::string_view message) {
  const std::string title = web::HtmlEncode(StatusLine(status));
  std::string page = "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>";
  page += title;
  page += "</title></head>\r\n<body style=\"font-family:sans-serif;margin:2em\"><h1>";
  page += title;
  page += "</h1>\r\n<p><code>";
  page += web::HtmlEncode(message);
  page += "</code></p></body></html>\r\n";
  return page;
}

std::string ErrorBlock(std::string_view message) {
  std::string block =
      "\r\n<div style=\"border:2px solid #b00020;background:#fdecee;color:#5c0010;padding:8px 12px;"
      "margin:8px 0;font:14px sans-serif\"><b>Script error</b>: <code>";
  block += web::HtmlEncode(message);
  block += "</code></div>\r\n";
  return block;
}

MHD_Response* FromString(std::string text) {
  auto* held = new std::string(std::move(text));
  MHD_Response* r = MHD_create_response_from_buffer_with_free_callback_cls(
      held->size(), held->data(), [](void* p) { delete static_cast<std::string*>(p); }, held);
  if (r == nullptr) delete held;
  return r;
}

void AddPageHead(MHD_Response* r, const PageHead& head) {
  MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, head.content_type.c_str());
  for (const auto& [name, value] : head.headers) MHD_add_response_header(r, name.c_str(), value.c_str());
}

MHD_Result Queue(RequestCtx& ctx, MHD_Connection* c, int status, MHD_Response* r, std::uint64_t bytes) {
  if (r == nullptr) return MHD_NO;
  ctx.status = status;
  ctx.bytes = bytes;
  MHD_Result ok = MHD_queue_response(c, static_cast<unsigned>(status), r);
  MHD_destroy_response(r);
  return ok;
}

MHD_Result Html(RequestCtx& ctx, MHD_Connection* c, int status, std::string body, bool close) {
  const std::size_t n = body.size();
  MHD_Response* r = FromString(std::move(body));
  if (r == nullptr) return MHD_NO;
  MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, kHtml);
  if (close) MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
  return Queue(ctx, c, status, r, n);
}

MHD_Result Error(RequestCtx& ctx, MHD_Connection* c, int status, std::string_view message, bool close) {
  if (status >= 500) ctx.note = std::string(message);
  return Html(ctx, c, status, ErrorPage(status, message), close);
}

}  // namespace halvane::serve
