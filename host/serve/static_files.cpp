#include "host/serve/static_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "host/serve/answers.h"
#include "host/serve/paths.h"

namespace halvane::serve {
namespace {

// An HTML file behind the prefix.
struct PrefixedFile {
  int fd;
  const std::string* prefix;
};

ssize_t ReadPrefixed(void* cls, std::uint64_t pos, char* buf, std::size_t max) {
  auto* s = static_cast<PrefixedFile*>(cls);
  if (pos < s->prefix->size()) {
    const std::size_t n = std::min(max, s->prefix->size() - static_cast<std::size_t>(pos));
    std::memcpy(buf, s->prefix->data() + pos, n);
    return static_cast<ssize_t>(n);
  }
  const ssize_t n = ::pread(s->fd, buf, max, static_cast<off_t>(pos - s->prefix->size()));
  return n > 0 ? n : MHD_CONTENT_READER_END_WITH_ERROR;
}

void FreePrefixed(void* cls) {
  auto* s = static_cast<PrefixedFile*>(cls);
  ::close(s->fd);
  delete s;
}

}  // namespace

MHD_Result SendFile(const Context& cx, RequestCtx& ctx, MHD_Connection* c, const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    return Error(ctx, c, 404, ctx.request.path);
  }
  const std::string type(ContentType(file));
  const auto size = static_cast<std::uint64_t>(st.st_size);
  MHD_Response* r = nullptr;
  std::uint64_t total = size;
  if (type.rfind("text/html", 0) == 0 && !cx.prefix.empty()) {
    auto* src = new PrefixedFile{fd, &cx.prefix};
    total = cx.prefix.size() + size;
    r = MHD_create_response_from_callback(total, 64 * 1024, &ReadPrefixed, src, &FreePrefixed);
    if (r == nullptr) FreePrefixed(src);
  } else {
    r = MHD_create_response_from_fd64(size, fd);  // sent with sendfile; closes fd
    if (r == nullptr) ::close(fd);
  }
  if (r == nullptr) return MHD_NO;
  MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
  return Queue(ctx, c, 200, r, ctx.method == "HEAD" ? 0 : total);
}

}  // namespace halvane::serve
