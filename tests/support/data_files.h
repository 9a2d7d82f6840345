// Test data kept in files beside the tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace halvane::test_support {

// A whole file's bytes (none when it cannot be read).
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A table: a row a line, its fields parted by tabs; empty lines and lines
// starting with '#' are skipped.  "-" is an empty field; \r \n \t \\ and
// \xHH stand for their bytes.

inline std::vector<std::vector<std::string>> ReadRows(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  EXPECT_TRUE(in.good()) << file;
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string>& row = rows.emplace_back(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i], n = i + 1 < line.size() ? line[i + 1] : '\0';
      if (c == '\t') {
        row.emplace_back();
      } else if (c != '\\') {
        row.back() += c;
      } else if (n == 'x') {
        row.back() += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else {
        row.back() += n == 'r' ? '\r' : n == 'n' ? '\n' : n == 't' ? '\t' : n;
        ++i;
      }
    }
    for (std::string& f : row) f = f == "-" ? "" : f;
  }
  return rows;
}

}  // namespace halvane::test_support
