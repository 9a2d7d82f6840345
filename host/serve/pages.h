// Parsed pages, kept for reuse, and the running of one page for one request.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/script/interpreter.h"
#include "host/serve/request.h"
#include "host/web/page_io.h"

namespace halvane::serve {

// Parsed pages by the file they were read from.  An entry is used while the
// file keeps its identity, size and modification time; the cache holds at
// most `max_bytes` of estimated parsed size (least recently used pages go
// first).  A page that fails to parse is kept as its error, so a broken page
// is not parsed again on every request.  Safe from any thread.
class PageCache {
 public:
  // `root`: the served folder, which a template's includes may not leave.
  PageCache(std::size_t max_bytes, std::size_t max_source, std::filesystem::path root = {});

  struct Page {
    std::shared_ptr<const script::Program> program;  // null when `error` says why
    std::string error;                               // one line: syntax error, too large, unreadable
    // Set once a run of the page flushed, slept or ran long: shared by
    // every run of this parse of the page.
    std::shared_ptr<std::atomic<bool>> waits;
  };
  // The page in `file` (a resolved path), named `name` in messages.
  Page Get(const std::filesystem::path& file, const std::string& name);
  // The page in `file` when the cache holds it as the file now is; else a
  // Page with neither program nor error.  Never reads or parses the file.
  Page Peek(const std::filesystem::path& file);

  std::size_t Entries() const;
  std::size_t Bytes() const;

 private:
  struct Key {
    dev_t dev;
    ino_t ino;
    off_t size;
    std::int64_t mtime_ns;
    std::int64_t ctime_ns;
    bool operator==(const Key&) const = default;
  };
  struct Entry {
    Key key;
    std::vector<std::pair<std::string, Key>> includes;  // a template's included files as they were read
    Page page;
    std::size_t cost;
    std::list<std::string>::iterator lru;
  };
  Page Find(const std::string& path, const Key& key);  // the entry, when it matches `key`

  const std::size_t max_bytes_;
  const std::size_t max_source_;
  const std::filesystem::path root_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;  // by resolved path
  std::list<std::string> lru_;                      // most recent first
  std::size_t bytes_ = 0;
};

// The page's view of `request` (decoded lazily by the page objects).
web::RequestData PageRequestData(const Request& request);

}  // namespace halvane::serve
