// Reads fuzz data as a diff of dumps: whatever it holds, the reader must
// neither crash nor hang nor read out of bounds, and every record it keeps
// must be whole.
#include <cstdlib>
#include <string_view>

#include "patch/read_diff.h"
#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  std::string_view text(reinterpret_cast<const char*>(bytes), size);
  static PatchWriter records{-1};
  records.records = testing::memory_file("");
  DiffReader diff{.reverse = size % 2 == 1};
  std::uint64_t number = 0;
  const DiffStep step = read_diff(text, true, diff, records, number);
  const bool flushed = flush_patch(records);
  // The records: headers, each followed by as many bytes as it says.
  const std::string kept = testing::contents(records.records);
  close_handle(records.records);
  std::size_t at = 0;
  while (at + sizeof(PatchRecord) <= kept.size()) {
    PatchRecord record{};
    kept.copy(reinterpret_cast<char*>(&record), sizeof record, at);
    at += sizeof record + record.length;
  }
  if (!flushed || at != kept.size() || (step.ok && !text.empty()) || number > size + 1) {
    std::abort();
  }
  return 0;
}
