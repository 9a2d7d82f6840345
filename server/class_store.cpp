#include "server/class_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "core/text.h"
#include "server/class_table.h"

namespace halvane::automation {
namespace {

namespace fs = std::filesystem;

// One section of the file: its header line and every line up to the next
// header, kept byte for byte.  The lines before the first header form a
// block without a name.
struct Block {
  std::string name;
  std::string text;
};

// What a line of the file is trimmed of: blanks and its line end.
constexpr std::string_view kBlanksAndLineEnd = " \t\r\n";

using text::EqualNoCase;

std::vector<Block> Parse(std::string_view content) {
  std::vector<Block> blocks(1);
  while (!content.empty()) {
    const std::size_t end = content.find('\n');
    const std::size_t len = end == std::string_view::npos ? content.size() : end + 1;
    const std::string_view line = content.substr(0, len);
    content.remove_prefix(len);
    const std::string_view t = text::Trim(line, kBlanksAndLineEnd);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      blocks.push_back(Block{std::string(text::Trim(t.substr(1, t.size() - 2), kBlanksAndLineEnd)), std::string()});
    }
    blocks.back().text.append(line);
  }
  return blocks;
}

// Our sections, in the order they are written.
// Concatenation by appending (GCC 12 warns falsely about "text" + string).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view p : parts) out.append(p);
  return out;
}

std::vector<Block> OwnBlocks(std::string_view server_path) {
  const LibraryInfo& lib = Library();
  const std::string version = Join({text::Decimal(lib.version_major), ".", text::Decimal(lib.version_minor)});
  const std::string libid = Join({"{", lib.libid, "}"});
  std::vector<Block> out;
  auto add = [&out](std::string name, std::initializer_list<std::pair<std::string_view, std::string_view>> keys) {
    std::string text = Join({"[", name, "]\n"});
    for (const auto& [key, value] : keys) text.append(key).append("=").append(value).append("\n");
    text.append("\n");
    out.push_back(Block{std::move(name), std::move(text)});
  };
  for (const ClassInfo& c : Classes()) {
    const std::string clsid = Join({"{", c.clsid, "}"});
    const std::string iid = Join({"{", c.iid, "}"});
    add(Join({"CLSID\\", clsid}), {{"Class", c.name},
                                   {"ProgID", c.prog_id},
                                   {"InprocServer32", server_path},
                                   {"ThreadingModel", "Apartment"},
                                   {"Interface", iid},
                                   {"TypeLib", libid},
                                   {"Version", version}});
    add(Join({"ProgID\\", c.prog_id}), {{"CLSID", clsid}});
    add(Join({"Interface\\", iid}), {{"Name", c.interface_name}, {"TypeLib", libid}, {"Version", version}});
  }
  add(Join({"TypeLib\\", libid, "\\", version}),
      {{"Name", lib.name}, {"LCID", text::Decimal(lib.registered_lcid)}, {"Path", server_path}});
  return out;
}

bool IsComment(std::string_view line) {
  const std::string_view t = text::Trim(line, kBlanksAndLineEnd);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// The comment lines of a block (someone's notes among our sections), which
// survive when the block itself is replaced or removed.
std::string CommentsOf(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t len = end == std::string_view::npos ? text.size() : end + 1;
    const std::string_view line = text.substr(0, len);
    if (IsComment(line)) {
      out.append(line);
      if (out.back() != '\n') out.push_back('\n');
    }
    text.remove_prefix(len);
  }
  return out;
}

bool IsOwn(const std::vector<Block>& own, std::string_view name) {
  for (const Block& b : own) {
    if (EqualNoCase(b.name, name)) return true;
  }
  return false;
}

// Reads the file's content; false when it exists but cannot be read to its
// end.  A read error must not pass for the end of the file: the store is
// rewritten from what was read, and the other servers' entries would go.
bool ReadStore(const std::string& path, std::string& content, bool& exists) {
  content.clear();
  std::error_code ec;
  exists = fs::exists(path, ec);
  if (ec) return false;
  if (!exists) return true;
  if (!fs::is_regular_file(path, ec) || ec) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[16384];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    content.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return n == 0;
}

// Replaces the file by `content` through a temporary file of a unique name
// in the same directory, so a reader never sees half a store.  The file
// keeps its permission bits; a new one gets the usual ones for the umask.
bool WriteStore(const std::string& path, const std::string& content) {
  std::string tmp = Join({path, ".XXXXXX"});
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  struct stat st {};
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0;
  std::size_t done = 0;
  while (ok && done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

// The file a store path names: a symbolic link is followed to its target
// (which may not exist yet), so that the link stays and the target changes.
std::string ResolveLinks(const std::string& path) {
  fs::path p = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(p, ec)) return p.string();
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) return p.string();
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  return p.string();
}

// An exclusive lock on the directory of the store, held across the
// read-modify-write of one registration: registrations from other threads
// and processes wait instead of overwriting each other.
class DirectoryLock {
 public:
  explicit DirectoryLock(const std::string& store) {
    const fs::path dir = fs::path(store).parent_path();
    fd_ = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

std::string ClassStorePath() {
  const char* store = std::getenv("HALVANE_CLASS_STORE");
  if (store != nullptr && *store != '\0') return store;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config != '\0') return Join({config, "/halvane/classes.ini"});
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return Join({home, "/.config/halvane/classes.ini"});
  return std::string();
}

std::string RegistrationText(std::string_view server_path) {
  std::string text;
  for (const Block& b : OwnBlocks(server_path)) text.append(b.text);
  return text;
}

bool RegisterClasses(const std::string& link_path, std::string_view server_path) {
  if (link_path.empty()) return false;
  const std::string store_path = ResolveLinks(link_path);
  std::error_code ec;
  const fs::path parent = fs::path(store_path).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  if (ec) return false;
  const DirectoryLock lock(store_path);
  if (!lock.held()) return false;
  std::string content;
  bool exists = false;
  if (!ReadStore(store_path, content, exists)) return false;
  const std::vector<Block> own = OwnBlocks(server_path);
  std::vector<bool> placed(own.size(), false);
  std::string out;
  out.reserve(content.size() + 4096);
  for (const Block& b : Parse(content)) {
    bool mine = false;
    for (std::size_t i = 0; i < own.size(); ++i) {
      if (!b.name.empty() && EqualNoCase(b.name, own[i].name)) {
        // An earlier copy is replaced where it stands; a repeated one goes.
        if (!placed[i]) out.append(own[i].text);
        placed[i] = true;
        out.append(CommentsOf(b.text));
        mine = true;
        break;
      }
    }
    if (!mine) out.append(b.text);
  }
  for (std::size_t i = 0; i < own.size(); ++i) {
    if (placed[i]) continue;
    if (!out.empty() && out.back() != '\n') out.push_back('\n');
    out.append(own[i].text);
  }
  if (exists && out == content) return true;
  return WriteStore(store_path, out);
}

bool UnregisterClasses(const std::string& link_path) {
  if (link_path.empty()) return false;
  const std::string store_path = ResolveLinks(link_path);
  std::error_code ec;
  const fs::path dir = fs::path(store_path).parent_path();
  if (!dir.empty() && !fs::exists(dir, ec)) return !ec;  // nothing registered
  const DirectoryLock lock(store_path);
  if (!lock.held()) return false;
  std::string content;
  bool exists = false;
  if (!ReadStore(store_path, content, exists)) return false;
  if (!exists) return true;
  const std::vector<Block> own = OwnBlocks("");
  std::string out;
  out.reserve(content.size());
  bool removed = false;
  for (const Block& b : Parse(content)) {
    if (!b.name.empty() && IsOwn(own, b.name)) {
      removed = true;
      out.append(CommentsOf(b.text));
      continue;
    }
    out.append(b.text);
  }
  if (!removed) return true;
  if (text::Trim(out, kBlanksAndLineEnd).empty()) {
    fs::remove(store_path, ec);
    return !ec;
  }
  return WriteStore(store_path, out);
}

}  // namespace halvane::automation
