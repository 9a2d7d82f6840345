#include "server/class_store.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

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

std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<Block> Parse(std::string_view content) {
  std::vector<Block> blocks(1);
  while (!content.empty()) {
    const std::size_t end = content.find('\n');
    const std::size_t len = end == std::string_view::npos ? content.size() : end + 1;
    const std::string_view line = content.substr(0, len);
    content.remove_prefix(len);
    const std::string_view t = Trim(line);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      blocks.push_back(Block{std::string(Trim(t.substr(1, t.size() - 2))), std::string()});
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
  const std::string version = Join({std::to_string(lib.version_major), ".", std::to_string(lib.version_minor)});
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
      {{"Name", lib.name}, {"LCID", std::to_string(lib.registered_lcid)}, {"Path", server_path}});
  return out;
}

bool IsOwn(const std::vector<Block>& own, std::string_view name) {
  for (const Block& b : own) {
    if (EqualNoCase(b.name, name)) return true;
  }
  return false;
}

// Reads the file's content; false when it exists but cannot be read.
bool ReadStore(const std::string& path, std::string& content, bool& exists) {
  content.clear();
  std::error_code ec;
  exists = fs::exists(path, ec);
  if (ec) return false;
  if (!exists) return true;
  if (!fs::is_regular_file(path, ec) || ec) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  content = std::move(ss).str();
  return true;
}

// Replaces the file by `content` through a temporary file in the same
// directory, so a reader never sees half a store.
bool WriteStore(const std::string& path, const std::string& content) {
  const std::string tmp = Join({path, ".tmp.", std::to_string(::getpid())});
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      out.close();
      std::remove(tmp.c_str());
      return false;
    }
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

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

bool RegisterClasses(const std::string& store_path, std::string_view server_path) {
  if (store_path.empty()) return false;
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
  std::error_code ec;
  const fs::path parent = fs::path(store_path).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  if (ec) return false;
  return WriteStore(store_path, out);
}

bool UnregisterClasses(const std::string& store_path) {
  if (store_path.empty()) return false;
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
      continue;
    }
    out.append(b.text);
  }
  if (!removed) return true;
  if (Trim(out).empty()) {
    std::error_code ec;
    fs::remove(store_path, ec);
    return !ec;
  }
  return WriteStore(store_path, out);
}

}  // namespace halvane::automation
