#include "host/session/session_id.h"

#include <sys/random.h>

#include <cerrno>

#include "host/session/store.h"

namespace halvane::session {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsAlnum(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

std::string NewId() {
  std::string id;
  id.reserve(kIdLength);
  while (id.size() < kIdLength) {
    unsigned char bytes[48];
    std::size_t got = 0;
    while (got < sizeof bytes) {
      const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw StoreError("the system's random source failed");
      got += static_cast<std::size_t>(n);
    }
    // Bytes from 248 up would favour the first letters: they are skipped.
    for (unsigned char b : bytes) {
      if (b < 248 && id.size() < kIdLength) id.push_back(kAlphabet[b % kAlphabet.size()]);
    }
  }
  return id;
}

bool IsIdForm(std::string_view text) {
  if (text.size() != kIdLength) return false;
  for (char c : text) {
    if (!IsAlnum(c)) return false;
  }
  return true;
}

}  // namespace halvane::session
