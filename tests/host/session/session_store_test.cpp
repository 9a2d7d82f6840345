// The record format and the stores' locks, directly: every kind and its
// bytes through a record, the reader's refusals, and a lock that only its
// owner releases or writes under, until it lapses.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "host/session/memory_store.h"
#include "host/session/record.h"
#include "host/session/session_id.h"
#include "host/session/sqlite_store.h"
#include "support/data_files.h"
#include "support/value_cases.h"

namespace halvane::session {
namespace {

using script::Value;

std::string Bytes(const Value& v) {
  std::string out;
  EXPECT_TRUE(EncodeValue(v, out));
  return out;
}

Value Decoded(std::string_view bytes) {
  Value v;
  EXPECT_TRUE(DecodeValue(bytes, &v));
  EXPECT_TRUE(bytes.empty());
  return v;
}

TEST(Record, EveryKindKeepsItsKindAndBytes) {
  const auto rows = test_support::ReadRows(HALVANE_TEST_DIR "/record_kinds.txt");
  EXPECT_EQ(rows.size(), 10u);
  for (const auto& row : rows) {
    const Variant v = test_support::ParseCaseValue(row[0]);
    SCOPED_TRACE(static_cast<int>(v.Type()));
    const Value back = Decoded(Bytes(Value(v)));
    ASSERT_TRUE(back.IsPlain());
    EXPECT_EQ(back.v.Type(), v.Type());
    switch (v.Type()) {
      case VarType::String: EXPECT_EQ(back.v.RawString(), v.RawString()); break;
      case VarType::Single:
      case VarType::Double:
      case VarType::Date:
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back.v.RawDouble()), std::bit_cast<std::uint64_t>(v.RawDouble()));
        break;
      default: EXPECT_EQ(back.v.RawInt(), v.RawInt());
    }
  }
}

TEST(Record, ArraysKeepTheirShapeAndNestedArrays) {
  auto inner = std::make_shared<script::Array>();
  inner->upper = {0};
  inner->items = {Value(Variant("in"))};
  auto a = std::make_shared<script::Array>();
  a->upper = {1, 1};
  a->items = {Value(Variant(std::int16_t{1})), Value::Of(inner), Value(), Value(Variant(2.5))};
  a->depth = 2;
  const std::string bytes = Bytes(Value::Of(a));
  const Value back = Decoded(bytes);
  ASSERT_EQ(back.kind, Value::Kind::Array);
  EXPECT_EQ(back.arr->upper, a->upper);
  EXPECT_EQ(back.arr->depth, 2);
  ASSERT_EQ(back.arr->items[1].kind, Value::Kind::Array);
  EXPECT_EQ(back.arr->items[1].arr->items[0].v.RawString(), "in");
  EXPECT_NE(back.arr.get(), a.get());
  EXPECT_EQ(Bytes(back), bytes);
  // Holding an object: refused, nothing written.
  a->items[2] = Value::Page(script::PageObject::Request);
  std::string out = "kept";
  EXPECT_FALSE(EncodeValue(Value::Of(a), out));
  EXPECT_EQ(out, "kept");
}

TEST(Record, WritesAndReadsBack) {
  Record r;
  r.timeout = 45;
  r.entries.push_back({"first", Bytes(Value(Variant("x")))});
  r.entries.push_back({"Zweite", Bytes(Value(Variant(std::int32_t{7})))});
  const std::string bytes = WriteRecord(r);
  EXPECT_EQ(bytes.size(), RecordSize(r));
  EXPECT_EQ(bytes.substr(0, 12), std::string("HVS\x01\x2D\0\0\0\x02\0\0\0", 12));
  const std::optional<Record> back = ReadRecord(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->timeout, 45);
  ASSERT_EQ(back->entries.size(), 2u);
  EXPECT_EQ(back->entries[1].name, "Zweite");
  EXPECT_EQ(back->entries[1].value, r.entries[1].value);
}

TEST(Record, RefusesWhatIsNotARecord) {
  Record r;
  r.entries.push_back({"a", Bytes(Value(Variant("text")))});
  const std::string good = WriteRecord(r);
  // Another version, cut short, bytes after the end; the rows of record_refusals.txt.
  for (const std::string& b : {"HVS\x02" + good.substr(4), good.substr(0, good.size() - 1), good + "x"})
    EXPECT_FALSE(ReadRecord(b)) << testing::PrintToString(b);
  const auto rows = test_support::ReadRows(HALVANE_TEST_DIR "/record_refusals.txt");
  EXPECT_EQ(rows.size(), 7u);
  for (const auto& row : rows) EXPECT_FALSE(ReadRecord(row[1])) << row[0];
  // A value reads alike alone and inside a record: a bound of -1 after a
  // bound larger than the bytes left empties the array.
  const std::string empty("\x20\x03\x09\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\x0B\0", 14);
  const Value none = Decoded(empty);
  ASSERT_EQ(none.kind, Value::Kind::Array);
  EXPECT_EQ(none.arr->upper, (std::vector<std::int32_t>{9, -1, 786431}));
  EXPECT_TRUE(none.arr->items.empty());
  EXPECT_EQ(Bytes(none), empty);
  // Arrays nested past the limit.
  std::string deep;
  for (int i = 0; i <= script::kMaxArrayDepth; ++i) deep += std::string("\x20\x01\0\0\0\0", 6);
  deep += '\0';
  std::string_view v = deep;
  EXPECT_FALSE(DecodeValue(v, nullptr));
}

TEST(SessionId, LettersAndDigitsNeverRepeated) {
  const std::string a = NewId(), b = NewId();
  EXPECT_TRUE(IsIdForm(a));
  EXPECT_NE(a, b);
  EXPECT_FALSE(IsIdForm(a.substr(1)));
  EXPECT_FALSE(IsIdForm(a.substr(1) + "-"));
}

// The lock rules every store keeps.
void LocksOfOneOwner(Store& s) {
  using std::chrono::milliseconds;
  const std::string rec = "r";
  EXPECT_TRUE(s.TryLock("L", "one", milliseconds(300)));
  EXPECT_FALSE(s.TryLock("L", "two", milliseconds(300)));
  EXPECT_FALSE(s.Write("k", &rec, milliseconds(0), "L", "two"));
  EXPECT_FALSE(s.Read("k"));
  s.Unlock("L", "two");  // not the owner: nothing happens
  EXPECT_FALSE(s.TryLock("L", "two", milliseconds(300)));
  EXPECT_TRUE(s.Write("k", &rec, milliseconds(0), "L", "one"));
  EXPECT_EQ(s.Read("k"), "r");
  s.Unlock("L", "one");
  EXPECT_TRUE(s.TryLock("L", "two", milliseconds(100)));
  std::this_thread::sleep_for(milliseconds(150));
  // Lapsed: another may take it, and the first owner no longer writes.
  EXPECT_TRUE(s.TryLock("L", "three", milliseconds(1000)));
  EXPECT_FALSE(s.Write("k", nullptr, milliseconds(0), "L", "two"));
  EXPECT_EQ(s.Read("k"), "r");
  EXPECT_TRUE(s.Write("k", &rec, milliseconds(50), "L", "three"));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_FALSE(s.Read("k"));  // the record lapsed
  s.Purge();
  EXPECT_TRUE(s.Write("k", nullptr, milliseconds(0), "L", "three"));

  // A record under its own lock ("lock:" + key): taken with the read,
  // released with the write, as a page's start and end do.
  std::optional<std::string> got = "stale";
  EXPECT_TRUE(s.LockAndRead("lock:s", "one", milliseconds(1000), "s", got));
  EXPECT_FALSE(got);
  EXPECT_FALSE(s.LockAndRead("lock:s", "two", milliseconds(1000), "s", got));
  EXPECT_FALSE(s.WriteAndUnlock("s", &rec, milliseconds(0), "lock:s", "two"));
  EXPECT_TRUE(s.WriteAndUnlock("s", &rec, milliseconds(0), "lock:s", "one"));
  EXPECT_TRUE(s.LockAndRead("lock:s", "two", milliseconds(100), "s", got));
  EXPECT_EQ(got, "r");
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_TRUE(s.LockAndRead("lock:s", "three", milliseconds(1000), "s", got));  // lapsed lock
  EXPECT_FALSE(s.WriteAndUnlock("s", nullptr, milliseconds(0), "lock:s", "two"));
  EXPECT_TRUE(s.WriteAndUnlock("s", nullptr, milliseconds(0), "lock:s", "three"));
  EXPECT_FALSE(s.Read("s"));
  EXPECT_TRUE(s.LockAndRead("lock:s", "one", milliseconds(1000), "s", got));
  EXPECT_FALSE(got);
  // A lock of another name is not the record's: "s" stays free to write
  // only under the lock that is named for it.
  EXPECT_TRUE(s.TryLock("s", "four", milliseconds(1000)));
  EXPECT_FALSE(s.Write("s", &rec, milliseconds(0), "s", "one"));
  EXPECT_TRUE(s.Write("s", &rec, milliseconds(0), "lock:s", "one"));
  EXPECT_TRUE(s.WriteAndUnlock("s", &rec, milliseconds(0), "lock:s", "one"));
  EXPECT_FALSE(s.TryLock("s", "one", milliseconds(1000)));
}

TEST(Stores, MemoryLocks) {
  MemoryStore s(10);
  LocksOfOneOwner(s);
}

TEST(Stores, SqliteLocks) {
  const auto path = std::filesystem::temp_directory_path() / ("halvane-store-" + std::to_string(::getpid()) + ".db");
  {
    SqliteStore s(path.string());
    LocksOfOneOwner(s);
  }
  {
    // Two connections (as two processes would have), eight threads each
    // adding one to a shared count under the record's own lock, many
    // steps of them going into one transaction: no increment is lost.
    SqliteStore a(path.string()), b(path.string());
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        Store& s = t % 2 ? a : b;
        const std::string owner = "t" + std::to_string(t);
        for (int i = 0; i < 25; ++i) {
          std::optional<std::string> got;
          while (!s.LockAndRead("lock:n", owner, std::chrono::seconds(10), "n", got)) std::this_thread::yield();
          const std::string next = std::to_string(got ? std::stoi(*got) + 1 : 1);
          EXPECT_TRUE(s.WriteAndUnlock("n", &next, std::chrono::milliseconds(0), "lock:n", owner));
        }
      });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(a.Read("n"), "200");
  }
  for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + end);
  EXPECT_THROW(SqliteStore("/nonexistent/dir/x.db"), StoreError);
}

}  // namespace
}  // namespace halvane::session
