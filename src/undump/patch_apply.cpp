#include "undump/patch_apply.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "platform/platform.h"
#include "undump/patch_writer.h"

namespace quarnel {
namespace {

// The old bytes of each record written, each followed (not preceded) by a
// header, so that they can be read back from the last to the first: bytes
// patched twice get their first value back. The newest lie in the buffer,
// the older in the file; an entry is never split between the two.
struct UndoLog {
  int file = -1;
  std::uint64_t stored = 0;  // bytes in the file
  std::size_t used = 0;
  std::array<std::uint8_t, 4 * (longest_record + sizeof(PatchRecord))> buffer{};
};

std::span<std::uint8_t> bytes_of(PatchRecord& record) {
  return {reinterpret_cast<std::uint8_t*>(&record), sizeof record};
}

// Makes room in the buffer for the old bytes of a record of size bytes.
bool make_room(UndoLog& log, std::size_t size) {
  if (log.buffer.size() - log.used >= size + sizeof(PatchRecord)) {
    return true;
  }
  const std::string_view held(reinterpret_cast<const char*>(log.buffer.data()), log.used);
  if (!write_all(log.file, std::span(&held, 1))) {
    return false;
  }
  log.stored += log.used;
  log.used = 0;
  return true;
}

void keep(UndoLog& log, std::uint64_t address, std::span<const std::uint8_t> old) {
  PatchRecord trailer{address, old.size()};
  std::memcpy(log.buffer.data() + log.used, old.data(), old.size());
  std::memcpy(log.buffer.data() + log.used + old.size(), &trailer, sizeof trailer);
  log.used += old.size() + sizeof trailer;
}

bool read_log(const UndoLog& log, std::uint64_t at, std::span<std::uint8_t> into) {
  if (at >= log.stored) {
    std::memcpy(into.data(), log.buffer.data() + (at - log.stored), into.size());
    return true;
  }
  return read_at(log.file, at, into).status == ReadStatus::data;
}

// Writes the old bytes back, the newest first, and cuts the file to its old
// length. False when any of it failed.
bool restore(const UndoLog& log, int file, std::uint64_t old_length,
             std::span<std::uint8_t, longest_record> old) {
  bool restored = true;
  for (std::uint64_t end = log.stored + log.used; end > 0;) {
    PatchRecord trailer{};
    if (!read_log(log, end - sizeof trailer, bytes_of(trailer)) ||
        trailer.length > longest_record) {
      return false;
    }
    end -= sizeof trailer + trailer.length;
    const auto bytes = old.first(static_cast<std::size_t>(trailer.length));
    restored = read_log(log, end, bytes) &&
               write_at(file, trailer.address, bytes) == bytes.size() && restored;
  }
  return cut_file(file, old_length) && restored;
}

}  // namespace

PatchOutcome apply_patch(int records, int file, int undo) {
  static UndoLog log;
  static std::array<std::uint8_t, longest_record> bytes;
  static std::array<std::uint8_t, longest_record> old;
  log.file = undo;
  const std::int64_t length = file_length(file);
  if (length < 0) {
    return {PatchStatus::read_error, true, 0};
  }
  const auto old_length = static_cast<std::uint64_t>(length);
  PatchStatus status = PatchStatus::done;
  for (std::uint64_t at = 0; status == PatchStatus::done;) {
    if (stop_signal() != 0) {
      status = PatchStatus::interrupted;
      break;
    }
    PatchRecord record{};
    const ReadResult head = read_at(records, at, bytes_of(record));
    if (head.status == ReadStatus::end && head.count == 0) {
      break;
    }
    if (head.status != ReadStatus::data || record.length > longest_record ||
        read_at(records, at + sizeof record,
                std::span(bytes).first(static_cast<std::size_t>(record.length)))
                .status != ReadStatus::data) {
      status = PatchStatus::records_error;
      break;
    }
    at += sizeof record + record.length;
    // Bytes past the old end need no keeping: cutting the file undoes them.
    const auto kept = static_cast<std::size_t>(
        record.address < old_length ? std::min(record.length, old_length - record.address) : 0);
    const auto old_bytes = std::span(old).first(kept);
    if (read_at(file, record.address, old_bytes).status != ReadStatus::data) {
      status = PatchStatus::read_error;
    } else if (!make_room(log, kept)) {
      status = PatchStatus::undo_error;
    } else {
      // Only what landed is put back: past a file-size limit, writing the
      // old bytes back would fail as the new ones did.
      const std::size_t written = write_at(
          file, record.address, std::span(bytes).first(static_cast<std::size_t>(record.length)));
      keep(log, record.address, old_bytes.first(std::min(written, kept)));
      if (written < record.length) {
        status = PatchStatus::write_error;
      }
    }
  }
  if (status == PatchStatus::done && !flush_to_disk(file)) {
    status = PatchStatus::write_error;
  }
  if (status == PatchStatus::done && stop_signal() != 0) {
    status = PatchStatus::interrupted;
  }
  if (status == PatchStatus::done) {
    return {status, false, 0};
  }
  return {status, restore(log, file, old_length, old), stop_signal()};
}

}  // namespace quarnel
