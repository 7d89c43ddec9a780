#include "patch/patch_writer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {
namespace {

bool write_record(PatchWriter& patch, const PatchRecord& record,
                  std::span<const std::uint8_t> bytes) {
  const std::array<std::string_view, 2> pieces{
      std::string_view(reinterpret_cast<const char*>(&record), sizeof record),
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())};
  if (write_all(patch.records, pieces)) {
    return true;
  }
  patch.error = last_error();
  return false;
}

}  // namespace

bool flush_patch(PatchWriter& patch) {
  const PatchRecord record{patch.start, patch.used};
  const std::size_t used = patch.used;
  patch.used = 0;
  if (used == 0) {
    return true;
  }
  return write_record(patch, record, std::span(patch.buffer).first(used));
}

bool patch_bytes(PatchWriter& patch, std::uint64_t address, std::span<const std::uint8_t> bytes) {
  const bool follows = address == patch.start + patch.used;
  if (!follows || patch.buffer.size() - patch.used < bytes.size()) {
    if (!flush_patch(patch)) {
      return false;
    }
    patch.start = address;
  }
  std::memcpy(patch.buffer.data() + patch.used, bytes.data(), bytes.size());
  patch.used += bytes.size();
  return true;
}

bool patch_record(PatchWriter& patch, const PatchRecord& record,
                  std::span<const std::uint8_t> bytes) {
  patch.moves = patch.moves || record.kind == RecordKind::move;
  return flush_patch(patch) && write_record(patch, record, bytes);
}

bool PatchWriter::put(const PatchRecord& record, std::span<const std::uint8_t> bytes) {
  return record.kind == RecordKind::write ? patch_bytes(*this, record.address, bytes)
                                          : patch_record(*this, record, bytes);
}

GuardCheck check_guard(int file, std::uint64_t old_length, const PatchRecord& record,
                       std::span<const std::uint8_t> expected, std::span<std::uint8_t> held) {
  if (record.kind == RecordKind::expect_length) {
    return old_length == record.address ? GuardCheck::holds : GuardCheck::fails;
  }
  if (record.kind != RecordKind::expect) {
    return GuardCheck::holds;
  }
  held = held.first(expected.size());
  const ReadResult got = read_at(file, record.address, held);
  if (got.status == ReadStatus::error) {
    return GuardCheck::read_error;
  }
  return got.count == held.size() && std::equal(held.begin(), held.end(), expected.begin())
             ? GuardCheck::holds
             : GuardCheck::fails;
}

bool RecordWalk::next(PatchRecord& record, std::span<std::uint8_t, longest_record> bytes,
                      bool with_bytes) {
  const auto head = std::span(reinterpret_cast<std::uint8_t*>(&record), sizeof record);
  const ReadResult got = read_at(records, at, head);
  if (got.status == ReadStatus::end && got.count == 0) {
    return false;
  }
  if (got.status != ReadStatus::data || record.length > longest_record ||
      (with_bytes &&
       read_at(records, at + sizeof record, bytes.first(static_cast<std::size_t>(record.length)))
               .status != ReadStatus::data)) {
    failed = true;
    return false;
  }
  at += sizeof record + record.length;
  return true;
}

}  // namespace quarnel
