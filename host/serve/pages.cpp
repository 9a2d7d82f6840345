#include "host/serve/pages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

#include "core/text.h"
#include "host/web/multipart.h"
#include "host/script/template_parse.h"

namespace halvane::serve {
namespace {

// What a parsed page is reckoned to hold per byte of source, for the cache
// bound: the syntax tree is several times larger than its text.
constexpr std::size_t kParsedPerSourceByte = 8;
constexpr std::size_t kEntryOverhead = 1024;
constexpr std::int64_t kRacyNs = 2'000'000'000;

std::int64_t Nanos(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + static_cast<std::int64_t>(t.tv_nsec);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

PageCache::PageCache(std::size_t max_bytes, std::size_t max_source, std::filesystem::path root)
    : max_bytes_(max_bytes), max_source_(max_source), root_(std::move(root)) {}

namespace {

// The identity of a file now, or nullopt when it cannot be read.
template <class Key>
std::optional<Key> KeyOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return Key{st.st_dev, st.st_ino, st.st_size, Nanos(st.st_mtim), Nanos(st.st_ctim)};
}

}  // namespace

PageCache::Page PageCache::Get(const std::filesystem::path& file, const std::string& name) {
  // A stat for a page in the cache; the file is opened only to read it.
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return Page{nullptr, name + ": cannot read the page: " + std::strerror(errno), nullptr};
  }
  Key key{st.st_dev, st.st_ino, st.st_size, Nanos(st.st_mtim), Nanos(st.st_ctim)};
  const std::string& path = file.native();
  // A file changed within the last moments may change again within the
  // same tick of the file system's clock, keeping its size and time: it is
  // parsed afresh until its time is safely past.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  bool racy = Nanos(now) - key.mtime_ns < kRacyNs;
  if (!racy) {
    if (Page cached = Find(path, key); cached.program || !cached.error.empty()) return cached;
  }
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return Page{nullptr, name + ": cannot read the page: " + std::strerror(errno), nullptr};
  }
  key = Key{st.st_dev, st.st_ino, st.st_size, Nanos(st.st_mtim), Nanos(st.st_ctim)};
  racy = racy || Nanos(now) - key.mtime_ns < kRacyNs;
  Page page;
  page.waits = std::make_shared<std::atomic<bool>>(false);
  std::vector<std::pair<std::string, Key>> includes;
  const auto size = static_cast<std::size_t>(st.st_size);
  if (size > max_source_) {
    page.error = name + ": the page is larger than the " + text::Decimal(max_source_ >> 10) + " KiB a page may have";
  } else {
    std::string source(size, '\0');
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::pread(fd.get(), source.data() + got, size - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    source.resize(got);  // a file cut short meanwhile is read as it now is
    try {
      if (web::IsTemplateName(file.native())) {
        web::TemplateOptions t;
        t.root = root_.empty() ? file.parent_path() : root_;
        t.max_file_size = max_source_;
        const web::ExpandedTemplate expanded = web::ExpandTemplate(source, name, file, t);
        for (const auto& [inc, text] : expanded.includes) {
          (void)text;
          if (std::optional<Key> inc_key = KeyOf<Key>(inc.native())) includes.emplace_back(inc.native(), *inc_key);
        }
        page.program = script::ParseTemplate(expanded, name);
      } else {
        page.program = script::Parse(source, name);
      }
    } catch (const web::TemplateError& e) {
      page.error = e.File() + ":" + text::Decimal(e.Line()) + ":" + text::Decimal(e.Column()) +
                   ": syntax error: " + e.Message();
    } catch (const script::SyntaxError& e) {
      page.error = script::Describe(name, e);
    } catch (const std::bad_alloc&) {
      page.error = name + ": the page is too large to parse";
    }
  }
  const std::size_t cost = kEntryOverhead + size * kParsedPerSourceByte;
  if (racy) return page;
  std::lock_guard lk(mutex_);
  if (auto it = entries_.find(path); it != entries_.end()) {
    bytes_ -= it->second.cost;
    lru_.erase(it->second.lru);
    entries_.erase(it);
  }
  if (cost <= max_bytes_) {
    while (bytes_ + cost > max_bytes_ && !lru_.empty()) {
      auto old = entries_.find(lru_.back());
      bytes_ -= old->second.cost;
      entries_.erase(old);
      lru_.pop_back();
    }
    lru_.push_front(path);
    entries_.emplace(path, Entry{key, std::move(includes), page, cost, lru_.begin()});
    bytes_ += cost;
  }
  return page;
}

PageCache::Page PageCache::Find(const std::string& path, const Key& key) {
  std::lock_guard lk(mutex_);
  auto it = entries_.find(path);
  if (it == entries_.end() || !(it->second.key == key)) return {};
  // A template is good while each of its includes is unchanged too.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  for (const auto& [inc, inc_key] : it->second.includes) {
    const std::optional<Key> now_key = KeyOf<Key>(inc);
    if (!now_key || !(*now_key == inc_key) || Nanos(now) - inc_key.mtime_ns < kRacyNs) return {};
  }
  lru_.splice(lru_.begin(), lru_, it->second.lru);
  return it->second.page;
}

PageCache::Page PageCache::Peek(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const Key key{st.st_dev, st.st_ino, st.st_size, Nanos(st.st_mtim), Nanos(st.st_ctim)};
  return Find(file.native(), key);
}

std::size_t PageCache::Entries() const {
  std::lock_guard lk(mutex_);
  return entries_.size();
}

std::size_t PageCache::Bytes() const {
  std::lock_guard lk(mutex_);
  return bytes_;
}

web::RequestData PageRequestData(const Request& request) {
  web::RequestData d;
  d.method = request.method;
  d.path = request.path;
  d.query = request.query;
  d.protocol = request.protocol;
  d.headers = request.headers;
  d.remote_addr = request.remote_addr;
  d.server_name = request.server_name;
  d.server_port = text::Decimal(request.server_port);
  d.https = request.https;
  d.content_type = std::string(request.ContentType());
  if (const std::string* length = request.Header("Content-Length")) d.content_length = *length;
  if (request.HasFormBody()) d.body = request.body;
  return d;
}

const std::string* Request::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (text::EqualNoCase(n, name)) return &v;
  }
  return nullptr;
}

std::string_view Request::ContentType() const {
  const std::string* v = Header("Content-Type");
  return v ? std::string_view(*v) : std::string_view();
}

bool Request::HasFormBody() const { return web::FormBodyOf(ContentType()) != web::FormBody::None; }

std::string Request::MalformedBody() const {
  if (web::FormBodyOf(ContentType()) != web::FormBody::Multipart) return {};
  return web::ParseMultipart(ContentType(), body).error;
}

void ParseCookies(std::string_view header, std::vector<std::pair<std::string, std::string>>& out) {
  while (!header.empty()) {
    std::size_t semi = header.find(';');
    const std::string_view item = text::Trim(header.substr(0, semi));
    header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    if (item.empty()) continue;
    std::size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      out.emplace_back(std::string(item), std::string());
    } else {
      out.emplace_back(std::string(item.substr(0, eq)), std::string(item.substr(eq + 1)));
    }
  }
}

}  // namespace halvane::serve
