// Files of the served folder that are not pages, sent as they are: from
// their file descriptor (sendfile), or for HTML with the compatibility
// prefix in front, read piece by piece as the answer goes out.
#pragma once

#include <microhttpd.h>

#include <filesystem>

#include "host/serve/context.h"

namespace halvane::serve {

// Answers `ctx`'s GET or HEAD with `file` (a resolved path); 404 when it
// is not a regular file that can be opened.
MHD_Result SendFile(const Context& cx, RequestCtx& ctx, MHD_Connection* c, const std::filesystem::path& file);

}  // namespace halvane::serve
