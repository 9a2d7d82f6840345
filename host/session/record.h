// The stored form of a session's (or the application's) values: one record
// of bytes, the same for every store.  A record comes back from a store that
// other processes (and anyone with access to it) may have written, so the
// reader checks every byte and bound: a record it does not accept gives
// nullopt, never a crash or an unbounded allocation.
//
// Format, version 1 (all numbers little-endian):
//   "HVS" 0x01                  magic and version
//   u32 timeout                 the session's timeout in minutes (1..1440)
//   u32 count                   names that follow
//   count x { u32 n, n bytes of name, value }
// value: one kind byte, then
//   0 Empty, 1 Null            nothing
//   2 Integer                  i16
//   3 Long                     i32
//   4 Single                   the float's 4 bytes (IEEE 754)
//   5 Double, 7 Date           the double's 8 bytes (IEEE 754)
//                              (finite numbers only; dates of the years 100
//                              to 9999)
//   8 String                   u32 n, n bytes as the page held them
//   11 Boolean                 one byte, 0 or 1
//   0x20 Array                 u8 d (1..60 dimensions), d x i32 upper bound
//                              (-1..), then every element as a value, the
//                              last index varying fastest; arrays nest at
//                              most 60 deep
// Nothing may follow the last value.  Names are written unique without
// regard to case; a reader finds the first of a name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/script/value.h"

namespace halvane::session {

inline constexpr std::size_t kRecordHeader = 12;

// Appends the bytes of `v` to `out`.  False (and `out` as it was) when `v`
// is or holds an object.
bool EncodeValue(const script::Value& v, std::string& out);

// Reads one value from the front of `in` and moves `in` past it; with `out`
// null it only checks.  False when the bytes are not a value.
bool DecodeValue(std::string_view& in, script::Value* out, int depth = 0);

struct Entry {
  std::string name;
  std::string value;  // EncodeValue's bytes
};

struct Record {
  std::int32_t timeout = 20;
  std::vector<Entry> entries;
};

// The bytes a store keeps for `r`, and their count without building them.
std::string WriteRecord(const Record& r);
std::size_t RecordSize(const Record& r);
inline std::size_t EntrySize(std::string_view name, std::string_view value) { return 4 + name.size() + value.size(); }

// The record in `bytes`, when they hold one of this version whole.
std::optional<Record> ReadRecord(std::string_view bytes);

}  // namespace halvane::session
