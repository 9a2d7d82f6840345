// Running a page for a request.  A page already parsed runs first right on
// the event-loop thread that read its request (briefly, see page_runner.cpp);
// otherwise, or when that run gives up, on a page worker, with its
// connection put aside until the page hands something over.
#pragma once

#include <microhttpd.h>

#include <filesystem>

#include "host/serve/context.h"

namespace halvane::serve {

// Answers `ctx`'s request with the page in `file` (a resolved path), or
// starts its run on a worker (503 when too many pages are in flight).
MHD_Result StartPage(Context& cx, RequestCtx& ctx, MHD_Connection* c, const std::filesystem::path& file);
// The event loop resumed the connection of `ctx`'s page on a worker: queues
// its answer or its stream, or puts the connection aside again.
MHD_Result ContinuePage(Context& cx, RequestCtx& ctx, MHD_Connection* c);

}  // namespace halvane::serve
