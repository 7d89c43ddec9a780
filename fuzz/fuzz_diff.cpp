// Reads fuzz data as a diff of dumps: whatever it holds, the reader must
// neither crash nor hang nor read out of bounds, and every record it keeps
// must be whole; a diff that moves bytes is then written out.
#include <cstdlib>
#include <string>
#include <string_view>

#include "patch/patch_rewrite.h"
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
  // A diff that moves bytes is written as a new file from an old one of
  // the fuzz data: any outcome but a crash, and the old file as it was.
  if (step.ok && records.moves) {
    const std::string old_bytes(reinterpret_cast<const char*>(bytes), size);
    const int old_file = testing::memory_file(old_bytes);
    const int new_file = testing::memory_file("");
    const int kept_file = testing::memory_file(kept);
    static_cast<void>(rewrite_patch(kept_file, old_file, new_file));
    if (testing::contents(old_file) != old_bytes) {
      std::abort();
    }
    for (const int file : {old_file, new_file, kept_file}) {
      close_handle(file);
    }
  }
  return 0;
}
