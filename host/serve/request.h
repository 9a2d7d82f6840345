// What a client sent for one page request, read by the server before the
// page runs and handed to the page runner as it is.  The page's Request
// object reads from here; nothing in it is decoded beyond the URL path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvane::serve {

struct Request {
  std::string method;    // "GET", "HEAD" or "POST"
  std::string target;    // the request target as sent ("/a%20b.hvs?x=1")
  std::string path;      // the target's path, percent-decoded ("/a b.hvs")
  std::string query;     // the raw text after "?" (empty when none)
  std::string protocol;  // "HTTP/1.1" or "HTTP/1.0"
  // Every header line in the order sent, names as the client spelled them.
  std::vector<std::pair<std::string, std::string>> headers;
  // The name=value pairs of the Cookie header(s), raw, in order.
  std::vector<std::pair<std::string, std::string>> cookies;
  std::string remote_addr;  // the client's address ("127.0.0.1", "::1")
  std::uint16_t remote_port = 0;
  std::string server_name;  // the Host header without its port, else the listening address
  std::uint16_t server_port = 0;
  bool https = false;
  // The request body (at most the body limit); the page reads it as a form
  // when HasFormBody().
  std::string body;
  std::filesystem::path file;  // the page file, resolved inside the served folder

  // The value of the first header named `name` (case-insensitive), or
  // nullptr.
  const std::string* Header(std::string_view name) const;
  std::string_view ContentType() const;
  // True for a body of type application/x-www-form-urlencoded or
  // multipart/form-data.
  bool HasFormBody() const;
  // What is wrong with a multipart/form-data body ("" when it reads, or is
  // of another type): such a request is refused before the page runs.
  std::string MalformedBody() const;
};

// Splits Cookie header text ("a=1; b=2") into raw pairs, appending to `out`.
void ParseCookies(std::string_view header, std::vector<std::pair<std::string, std::string>>& out);

}  // namespace halvane::serve
