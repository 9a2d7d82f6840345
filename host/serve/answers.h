// Answers made here rather than by a page: error pages, the error block
// that ends a stream, and the queuing of an answer with what the log keeps
// of it.  A status's reason phrase comes from the one table libmicrohttpd
// writes status lines from, so an error page's title matches its status line.
#pragma once

#include <microhttpd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "host/serve/context.h"
#include "host/serve/exchange.h"

namespace halvane::serve {

// "404 Not Found": the code and its reason phrase.
std::string StatusLine(int status);

// A small HTML page titled with the status, showing `message`.
std::string ErrorPage(int status, std::string_view message);
// Appended to a response that was already streaming when its page failed.
std::string ErrorBlock(std::string_view message);

// An answer of these bytes (kept until sent); null when out of memory.
MHD_Response* FromString(std::string text);
// The page's content type and headers onto an answer.
void AddPageHead(MHD_Response* r, const PageHead& head);

// Queues `r` (and releases it) for `ctx`'s request: `bytes` are what the
// log says was sent.  MHD_NO (the connection closes) when `r` is null.
MHD_Result Queue(RequestCtx& ctx, MHD_Connection* c, int status, MHD_Response* r, std::uint64_t bytes);
// An HTML answer of `body`; `close`: the connection closes after it.
MHD_Result Html(RequestCtx& ctx, MHD_Connection* c, int status, std::string body, bool close = false);
// The error page of `status` with `message` (which the log keeps for a 5xx).
MHD_Result Error(RequestCtx& ctx, MHD_Connection* c, int status, std::string_view message, bool close = false);

}  // namespace halvane::serve
