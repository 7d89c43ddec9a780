#include "patch/patch_writer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "io/block_sum.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

// The records' bytes as a walk reads them, a block at a time.
std::array<std::uint8_t, std::size_t{1} << 20> walk_block;
// A read-ahead's block.
std::array<std::uint8_t, std::size_t{1} << 20> ahead_block;

bool write_pending(PatchWriter& patch) {
  const std::string_view pending(reinterpret_cast<const char*>(patch.pending.data()),
                                 patch.pending_used);
  patch.pending_used = 0;
  if (pending.empty() || write_all(patch.records, std::span(&pending, 1))) {
    return true;
  }
  patch.error = last_error();
  return false;
}

bool write_record(PatchWriter& patch, const PatchRecord& record,
                  std::span<const std::uint8_t> bytes) {
  if (patch.pending.size() - patch.pending_used < sizeof record + bytes.size() &&
      !write_pending(patch)) {
    return false;
  }
  std::memcpy(patch.pending.data() + patch.pending_used, &record, sizeof record);
  if (!bytes.empty()) {
    std::memcpy(patch.pending.data() + patch.pending_used + sizeof record, bytes.data(),
                bytes.size());
  }
  patch.pending_used += sizeof record + bytes.size();
  return true;
}

// Makes a record of the joined bytes, after the others.
bool record_joined(PatchWriter& patch) {
  const PatchRecord record{patch.start, patch.used};
  const std::size_t used = patch.used;
  patch.used = 0;
  return used == 0 || write_record(patch, record, std::span(patch.buffer).first(used));
}

}  // namespace

bool flush_patch(PatchWriter& patch) { return record_joined(patch) && write_pending(patch); }

bool patch_bytes(PatchWriter& patch, std::uint64_t address, std::span<const std::uint8_t> bytes) {
  const bool follows = address == patch.start + patch.used;
  if (!follows || patch.buffer.size() - patch.used < bytes.size()) {
    if (!record_joined(patch)) {
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
  return record_joined(patch) && write_record(patch, record, bytes);
}

bool PatchWriter::put(const PatchRecord& record, std::span<const std::uint8_t> bytes) {
  return record.kind == RecordKind::write ? patch_bytes(*this, record.address, bytes)
                                          : patch_record(*this, record, bytes);
}

ReadResult read_ahead(ReadAhead& ahead, std::uint64_t offset, std::span<std::uint8_t> into) {
  if (into.size() > ahead_block.size()) {
    return read_at(ahead.file, offset, into);
  }
  if (offset < ahead.base || offset + into.size() > ahead.base + ahead.count) {
    const ReadResult got = read_at(ahead.file, offset, ahead_block);
    ahead.base = offset;
    ahead.count = got.status == ReadStatus::error ? 0 : got.count;
    if (got.status == ReadStatus::error) {
      return got;
    }
  }
  const auto count = static_cast<std::size_t>(
      std::min<std::uint64_t>(into.size(), ahead.base + ahead.count - offset));
  std::memcpy(into.data(), ahead_block.data() + (offset - ahead.base), count);
  return {count == into.size() ? ReadStatus::data : ReadStatus::end, count};
}

void note_written(ReadAhead& ahead, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  const std::uint64_t from = std::max(offset, ahead.base);
  const std::uint64_t end = std::min(offset + bytes.size(), ahead.base + ahead.count);
  if (from < end) {
    std::memcpy(ahead_block.data() + (from - ahead.base), bytes.data() + (from - offset),
                static_cast<std::size_t>(end - from));
  }
}

namespace {

GuardCheck check_sum(ReadAhead& file, std::uint64_t old_length, const PatchRecord& record,
                     std::span<const std::uint8_t> expected, std::span<std::uint8_t> held) {
  if (expected.size() != 4 || record.address > old_length ||
      record.to > old_length - record.address) {
    return GuardCheck::fails;
  }
  std::uint32_t sum = 0;
  for (std::uint64_t at = record.address; at < record.address + record.to;) {
    const auto bytes = held.first(static_cast<std::size_t>(
        std::min<std::uint64_t>(held.size(), record.address + record.to - at)));
    // Read past the read-ahead: a block mostly lies far from the bytes
    // around it, which it would then read again.
    const ReadResult got = read_at(file.file, at, bytes);
    if (got.status == ReadStatus::error) {
      return GuardCheck::read_error;
    }
    if (got.count != bytes.size()) {
      return GuardCheck::fails;  // cut meanwhile
    }
    sum = block_sum(sum, bytes);
    at += bytes.size();
  }
  const std::uint32_t wanted = std::uint32_t{expected[0]} | std::uint32_t{expected[1]} << 8 |
                               std::uint32_t{expected[2]} << 16 | std::uint32_t{expected[3]} << 24;
  return sum == wanted ? GuardCheck::holds : GuardCheck::fails;
}

}  // namespace

GuardCheck check_guard(ReadAhead& file, std::uint64_t old_length, const PatchRecord& record,
                       std::span<const std::uint8_t> expected, std::span<std::uint8_t> held) {
  if (record.kind == RecordKind::expect_length) {
    return old_length == record.address ? GuardCheck::holds : GuardCheck::fails;
  }
  if (record.kind == RecordKind::expect_sum) {
    return check_sum(file, old_length, record, expected, held);
  }
  if (record.kind != RecordKind::expect) {
    return GuardCheck::holds;
  }
  held = held.first(expected.size());
  const ReadResult got = read_ahead(file, record.address, held);
  if (got.status == ReadStatus::error) {
    return GuardCheck::read_error;
  }
  return got.count == held.size() && std::equal(held.begin(), held.end(), expected.begin())
             ? GuardCheck::holds
             : GuardCheck::fails;
}

bool RecordWalk::next(PatchRecord& record, std::span<std::uint8_t, longest_record> bytes) {
  // Reads the block from `at` when the size bytes there are not held;
  // false when the file has fewer.
  bool read_failed = false;
  const auto hold = [&](std::uint64_t size) {
    if (at >= block_at && at + size <= block_at + held) {
      return true;
    }
    const ReadResult got = read_at(records, at, walk_block);
    block_at = at;
    read_failed = got.status == ReadStatus::error;
    held = read_failed ? 0 : got.count;
    return size <= held;
  };
  // No record at all at the end; part of one is a fault.
  if (!hold(sizeof record)) {
    failed = held != 0 || read_failed;
    return false;
  }
  std::memcpy(&record, walk_block.data() + (at - block_at), sizeof record);
  if (record.length > longest_record || !hold(sizeof record + record.length)) {
    failed = true;
    return false;
  }
  std::memcpy(bytes.data(), walk_block.data() + (at - block_at) + sizeof record,
              static_cast<std::size_t>(record.length));
  at += sizeof record + record.length;
  return true;
}

}  // namespace quarnel
