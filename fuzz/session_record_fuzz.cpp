// Reading a stored session record from arbitrary bytes (a store is outside
// input): no crash and no unbounded allocation; a record that reads writes
// back to exactly its bytes, and each of its values decodes and encodes
// back to its own bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "host/session/record.h"

using namespace halvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<session::Record> r = session::ReadRecord(bytes);
  if (!r) return 0;
  if (session::WriteRecord(*r) != bytes) fuzz::Fail("a record read does not write back to its bytes", bytes);
  if (session::RecordSize(*r) != size) fuzz::Fail("RecordSize differs from the record's bytes", bytes);
  for (const session::Entry& e : r->entries) {
    std::string_view v = e.value;
    script::Value value;
    if (!session::DecodeValue(v, &value) || !v.empty()) fuzz::Fail("a value the reader took does not decode", bytes);
    std::string again;
    if (!session::EncodeValue(value, again) || again != e.value) fuzz::Fail("a value does not encode back", bytes);
  }
  return 0;
}
