// Session and Application across requests and processes: `halvane serve`
// processes sharing one store (memory: one process; SQLite: two processes;
// Redis: two processes and a redis-server started here on a loopback port),
// driven by tables of HTTP exchanges.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <future>
#include <set>
#include <sstream>

#include "serve/http_client.h"

namespace halvane::serve {
namespace {

using namespace testing;

// redis-server on a free loopback port, without persistence.
class Redis {
 public:
  explicit Redis(const fs::path& base) {
    for (const char* p : {"/usr/bin/redis-server", "/usr/local/bin/redis-server"}) {
      if (fs::exists(p)) bin_ = p;
    }
    if (bin_.empty()) return;
    port = FreePort();
    process_ = std::make_unique<Process>(
        std::vector<std::string>{bin_, "--port", std::to_string(port), "--bind", "127.0.0.1", "--save", "",
                                 "--appendonly", "no", "--dir", base.string()},
        base / "redis.log");
    for (int i = 0; i < 200; ++i) {
      if (Socket(port).connected()) return;
      std::this_thread::sleep_for(milliseconds(20));
    }
    port = 0;
  }
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }
  int port = 0;

 private:
  std::string bin_;
  std::unique_ptr<Process> process_;
};

// The pages of these tests, copied into each site.
void WritePages(const fs::path& site) {
  fs::create_directories(site);
  fs::copy(HALVANE_SESSION_PAGES, site);
}

const char kAllKinds[] =
    "int=Integer -2|long=Long 2147483647|single=Single 0.1|double=Double 0.1|date=Date 3/9/2004 2:30:00 PM|"
    "text=String caf\xC3\xA9 \xE2\x82\xAC \0<&>|yes=Boolean False|null=Null|empty array=()|"
    "array=(Integer -32768,(Integer 7,(String deep,Null,),),Empty,Empty,Empty,Boolean True,)|2";

std::string CookieOf(const Response& r) {
  const std::string c = r.Header("set-cookie");
  const std::string head = "HALVANE_SESSION=";
  if (c.rfind(head, 0) != 0) return {};
  return c.substr(head.size(), c.find(';') - head.size());
}

class Sessions : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    for (const char* site : {"a", "b"}) WritePages(base_ / site);
    const std::string kind = GetParam();
    if (kind == "memory") {
      store_ = "memory";
    } else if (kind == "sqlite") {
      store_ = "sqlite:" + (base_ / "sessions.db").string();
    } else {
      redis_ = std::make_unique<Redis>(base_);
      if (redis_->port == 0) GTEST_SKIP() << "redis-server is not installed";
      store_ = "redis://127.0.0.1:" + std::to_string(redis_->port) + "/3";
    }
  }
  void TearDown() override {
    backends_.clear();
    redis_.reset();
  }
  // A backend over its own folder; the memory store has one process only.
  Backend& Start(const char* site, std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--sessions", store_});
    backends_.push_back(std::make_unique<Backend>(base_ / site, std::move(more),
                                                  base_ / (std::string(site) + std::to_string(backends_.size()) + ".log")));
    EXPECT_NE(backends_.back()->port, 0) << backends_.back()->process.Log();
    return *backends_.back();
  }
  std::pair<Backend*, Backend*> Two() {
    Backend* a = &Start("a");
    Backend* b = GetParam() == "memory" ? a : &Start("b");
    return {a, b};
  }

  TestServer dir_;  // a fresh folder for the test, removed at its end
  const fs::path& base_ = dir_.base;
  std::string store_;
  std::unique_ptr<Redis> redis_;
  std::vector<std::unique_ptr<Backend>> backends_;
};

std::string Cookie(const std::string& id) { return "Cookie: theme=dark; HALVANE_SESSION=" + id + "\r\n"; }

// Values written through one process read back through the other, every
// kind with its bytes; a made-up identifier, an abandoned one: new sessions.
TEST_P(Sessions, ExchangesAcrossProcesses) {
  auto [a, b] = Two();
  enum Sends { kNone, kSession, kForged };
  enum Sent { kNoCookie, kNewCookie, kExpired };
  struct Row {
    Backend* backend;
    const char* page;
    Sends cookie;
    std::string body;
    Sent sent;
  };
  const std::string forged = "ForgedForgedForgedForged";
  const Row rows[] = {
      {a, "/plain.hvs", kNone, "no state", kNoCookie},
      {a, "/put.hvs", kNone, "stored 10", kNewCookie},
      {b, "/get.hvs", kSession, std::string(kAllKinds, sizeof kAllKinds - 1), kNoCookie},
      {a, "/get.hvs", kForged, "", kNewCookie},
      {b, "/plain.hvs", kSession, "no state", kNoCookie},
      {b, "/abandon.hvs", kSession, "last", kExpired},
      {a, "/get.hvs", kSession, "", kNewCookie},
  };
  std::string id;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.page);
    const std::string extra = row.cookie == kSession ? Cookie(id) : row.cookie == kForged ? Cookie(forged) : "";
    const Response r = Fetch(row.backend->port, "GET", row.page, extra);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, row.body);
    const std::string set = r.Header("set-cookie");
    switch (row.sent) {
      case kNoCookie: EXPECT_FALSE(r.Has("set-cookie")) << set; break;
      case kExpired: EXPECT_EQ(set, "HALVANE_SESSION=; Path=/; HttpOnly; SameSite=Lax; Max-Age=0"); break;
      case kNewCookie: {
        const std::string fresh = CookieOf(r);
        EXPECT_EQ(set, "HALVANE_SESSION=" + fresh + "; Path=/; HttpOnly; SameSite=Lax");
        EXPECT_EQ(fresh.size(), 24u);
        EXPECT_TRUE(std::all_of(fresh.begin(), fresh.end(), [](unsigned char c) { return std::isalnum(c); })) << fresh;
        EXPECT_NE(fresh, forged);
        EXPECT_NE(fresh, id);
        if (row.cookie == kNone) id = fresh;
        break;
      }
    }
  }
}

// Forty requests of one session at once, spread over two processes: each
// sees the count of those before it, none is lost.
TEST_P(Sessions, OneRequestOfASessionAtATime) {
  auto [a, b] = Two();
  const Response first = Get(a->port, "/start.hvs");
  ASSERT_EQ(first.body, "24");
  const std::string id = CookieOf(first);
  std::vector<std::future<Response>> runs;
  for (int i = 0; i < 40; ++i) {
    const int port = i % 2 ? b->port : a->port;
    runs.push_back(std::async(std::launch::async, [port, id] { return Fetch(port, "GET", "/count.hvs", Cookie(id)); }));
  }
  std::set<std::string> seen;
  for (auto& run : runs) {
    const Response r = run.get();
    EXPECT_EQ(r.status, 200);
    EXPECT_FALSE(r.Has("set-cookie"));
    seen.insert(r.body);
  }
  EXPECT_EQ(seen.size(), 40u);
  EXPECT_EQ(Fetch(b->port, "GET", "/count.hvs", Cookie(id)).body, "41");
  // The site-wide counter under Application.Lock, from both processes.
  std::vector<std::future<Response>> visits;
  for (int i = 0; i < 20; ++i) {
    const int port = i % 2 ? b->port : a->port;
    visits.push_back(std::async(std::launch::async, [port] { return Get(port, "/visits.hvs"); }));
  }
  for (auto& v : visits) EXPECT_FALSE(v.get().Has("set-cookie"));
  EXPECT_EQ(Get(a->port, "/visits.hvs").body, "21");
}

INSTANTIATE_TEST_SUITE_P(Stores, Sessions, ::testing::Values("memory", "sqlite", "redis"));

class SharedStore : public Sessions {};

// A process killed while its page holds the session: the value it was
// changing stays as the last finished page wrote it, and the session is
// free again once the lock's time (the killed process's page limit) is up.
TEST_P(SharedStore, AProcessKilledHoldingTheLock) {
  Backend& a = Start("a", {"--timeout", "1"});
  Backend& b = Start("b", {"--timeout", "8"});
  const Response first = Get(a.port, "/count.hvs");
  ASSERT_EQ(first.body, "1");
  const std::string id = CookieOf(first);
  Socket held(a.port);
  ASSERT_TRUE(held.Send("GET /hold.hvs HTTP/1.1\r\nHost: x\r\n" + Cookie(id) + "\r\n"));
  ASSERT_NE(held.Read(seconds(5), nullptr, "holding").find("holding"), std::string::npos);
  a.process.Stop(SIGKILL);
  const auto start = Clock::now();
  const Response r = Fetch(b.port, "GET", "/count.hvs", Cookie(id));
  const auto waited = Clock::now() - start;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "2");
  EXPECT_LT(waited, seconds(5));
}

// A record that does not read back: a fresh session with a new identifier,
// and a line in the log.
TEST_P(SharedStore, ACorruptedRecordStartsAFreshSession) {
  auto [a, b] = Two();
  const Response first = Get(a->port, "/count.hvs");
  const std::string id = CookieOf(first);
  ASSERT_FALSE(id.empty());
  if (GetParam() == "sqlite") {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((base_ / "sessions.db").c_str(), &db), SQLITE_OK);
    const std::string sql = "UPDATE halvane_rows SET record = X'4856530114000000FFFF' WHERE name = 's:" + id + "'";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
  } else {
    Socket s(redis_->port);
    const std::string key = "halvane:s:" + id;
    ASSERT_TRUE(s.Send("*2\r\n$6\r\nSELECT\r\n$1\r\n3\r\n*3\r\n$3\r\nSET\r\n$" + std::to_string(key.size()) + "\r\n" +
                       key + "\r\n$3\r\nHVS\r\n"));
    ASSERT_EQ(s.Read(seconds(5), nullptr, "+OK\r\n+OK\r\n"), "+OK\r\n+OK\r\n");
  }
  const Response r = Fetch(b->port, "GET", "/count.hvs", Cookie(id));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "1");
  const std::string fresh = CookieOf(r);
  EXPECT_FALSE(fresh.empty());
  EXPECT_NE(fresh, id);
  EXPECT_NE(b->process.Log().find("does not read back"), std::string::npos) << b->process.Log();
  EXPECT_EQ(Fetch(a->port, "GET", "/count.hvs", Cookie(fresh)).body, "2");
}

INSTANTIATE_TEST_SUITE_P(Stores, SharedStore, ::testing::Values("sqlite", "redis"));

// The memory store's cap: the session idle longest goes first.
TEST(MemoryStore, DropsTheSessionIdleLongest) {
  TestServer dir;  // its folder only, removed after the backend has stopped
  WritePages(dir.root);
  Backend s(dir.root, {"--sessions", "memory", "--max-sessions", "2"}, dir.base / "log");
  const std::string one = CookieOf(Get(s.port, "/count.hvs"));
  const std::string two = CookieOf(Get(s.port, "/count.hvs"));
  EXPECT_EQ(Fetch(s.port, "GET", "/count.hvs", Cookie(one)).body, "2");  // two is idle longest now
  const std::string three = CookieOf(Get(s.port, "/count.hvs"));
  EXPECT_EQ(Fetch(s.port, "GET", "/count.hvs", Cookie(one)).body, "3");
  EXPECT_EQ(Fetch(s.port, "GET", "/count.hvs", Cookie(three)).body, "2");
  const Response r = Fetch(s.port, "GET", "/count.hvs", Cookie(two));
  EXPECT_EQ(r.body, "1");
  EXPECT_NE(CookieOf(r), two);
}

// --secure-cookies adds Secure to the cookie; a page that ends holding
// Application.Lock leaves the lock free for the next.
TEST(Serve, SecureCookiesAndALockLeftByAPage) {
  TestServer dir;  // its folder only
  WritePages(dir.root);
  Backend s(dir.root, {"--sessions", "sqlite:" + (dir.base / "s.db").string(), "--secure-cookies", "--timeout", "8"},
            dir.base / "log");
  const Response r = Get(s.port, "/start.hvs");
  EXPECT_EQ(r.Header("set-cookie"), "HALVANE_SESSION=" + CookieOf(r) + "; Path=/; HttpOnly; SameSite=Lax; Secure");
  EXPECT_EQ(Get(s.port, "/lock.hvs").body, "locked");
  const auto start = Clock::now();
  EXPECT_EQ(Get(s.port, "/visits.hvs").body, "1");
  EXPECT_LT(Clock::now() - start, seconds(2));
}

}  // namespace
}  // namespace halvane::serve
