#include "patch/patch_apply.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "patch/patch_writer.h"
#include "platform/platform.h"

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

// Writes the old bytes back, the newest first, cuts the file to its old
// length and flushes it to disk. The file is cut only when its length is
// still the one the patch left: another process that changed it meanwhile
// keeps what it made.
PatchOutcome restore(PatchStatus status, const UndoLog& log, int file, std::uint64_t old_length,
                     std::uint64_t patched_length, std::span<std::uint8_t, longest_record> old) {
  PatchOutcome outcome{status, true, false, ending_signal()};
  for (std::uint64_t end = log.stored + log.used; end > 0;) {
    PatchRecord trailer{};
    if (!read_log(log, end - sizeof trailer, bytes_of(trailer)) ||
        trailer.length > longest_record) {
      outcome.restored = false;
      return outcome;
    }
    end -= sizeof trailer + trailer.length;
    const auto bytes = old.first(static_cast<std::size_t>(trailer.length));
    outcome.restored = read_log(log, end, bytes) &&
                       write_at(file, trailer.address, bytes) == bytes.size() && outcome.restored;
  }
  const std::int64_t length = file_length(file);
  outcome.length_changed = length >= 0 && static_cast<std::uint64_t>(length) != patched_length;
  outcome.restored = length >= 0 && (outcome.length_changed || cut_file(file, old_length)) &&
                     flush_to_disk(file) && outcome.restored;
  return outcome;
}

}  // namespace

namespace {

// At namespace scope, where the address sanitizer guards their edges.
UndoLog undo_log;
std::array<std::uint8_t, longest_record> new_bytes_buffer;
std::array<std::uint8_t, longest_record> old_bytes_buffer;

// Reads the record at `at` and its bytes; false when that failed.
bool read_record(int records, std::uint64_t at, PatchRecord& record,
                 std::span<std::uint8_t, longest_record> bytes) {
  return read_at(records, at, bytes_of(record)).status == ReadStatus::data &&
         record.length <= longest_record &&
         read_at(records, at + sizeof record, bytes.first(static_cast<std::size_t>(record.length)))
                 .status == ReadStatus::data;
}

// Whether the file holds what the records expect of it: the old side of a
// diff, checked before anything is written.
PatchOutcome check_expected(int records, int file, std::span<std::uint8_t, longest_record> bytes,
                            std::span<std::uint8_t, longest_record> held) {
  PatchOutcome outcome{PatchStatus::done, true, false, 0};
  for (std::uint64_t at = 0;;) {
    PatchRecord record{};
    const ReadResult head = read_at(records, at, bytes_of(record));
    if (head.status == ReadStatus::end && head.count == 0) {
      return outcome;
    }
    if (!read_record(records, at, record, bytes)) {
      outcome.status = PatchStatus::records_error;
      return outcome;
    }
    at += sizeof record + record.length;
    bool holds = true;
    if (record.kind == RecordKind::expect) {
      const auto size = static_cast<std::size_t>(record.length);
      const ReadResult got = read_at(file, record.address, held.first(size));
      if (got.status == ReadStatus::error) {
        outcome.status = PatchStatus::read_error;
        return outcome;
      }
      holds =
          got.count == size &&
          std::equal(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(size), bytes.begin());
    } else if (record.kind == RecordKind::expect_length) {
      holds = file_length(file) == static_cast<std::int64_t>(record.address);
    }
    if (!holds) {
      outcome.status = PatchStatus::guard_failed;
      outcome.record = record;
      return outcome;
    }
  }
}

}  // namespace

PatchOutcome apply_patch(int records, int file, int undo) {
  UndoLog& log = undo_log;
  std::array<std::uint8_t, longest_record>& bytes = new_bytes_buffer;
  std::array<std::uint8_t, longest_record>& old = old_bytes_buffer;
  log = UndoLog{};
  log.file = undo;
  const std::int64_t length = file_length(file);
  if (length < 0) {
    return {PatchStatus::read_error, true, false, 0};
  }
  if (const PatchOutcome checked = check_expected(records, file, bytes, old);
      checked.status != PatchStatus::done) {
    return checked;
  }
  const auto old_length = static_cast<std::uint64_t>(length);
  std::uint64_t patched_length = old_length;
  bool sized = false;
  std::uint64_t new_length = 0;
  PatchStatus status = PatchStatus::done;
  for (std::uint64_t at = 0; status == PatchStatus::done;) {
    if (ending_signal() != 0) {
      status = PatchStatus::interrupted;
      break;
    }
    PatchRecord record{};
    const ReadResult head = read_at(records, at, bytes_of(record));
    if (head.status == ReadStatus::end && head.count == 0) {
      break;
    }
    if (!read_record(records, at, record, bytes)) {
      status = PatchStatus::records_error;
      break;
    }
    at += sizeof record + record.length;
    if (record.kind == RecordKind::set_length) {
      sized = true;
      new_length = record.address;
    }
    if (record.kind != RecordKind::write) {
      continue;
    }
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
      if (written > 0) {
        patched_length = std::max(patched_length, record.address + written);
      }
      if (written < record.length) {
        status = PatchStatus::write_error;
      }
    }
  }
  // A diff's new side may end the file elsewhere: the bytes cut away are
  // kept first, like any overwritten bytes.
  if (status == PatchStatus::done && sized && new_length != patched_length) {
    for (std::uint64_t from = new_length;
         from < std::min(patched_length, old_length) && status == PatchStatus::done;) {
      const auto size = static_cast<std::size_t>(
          std::min<std::uint64_t>(longest_record, std::min(patched_length, old_length) - from));
      const auto cut_bytes = std::span(old).first(size);
      if (read_at(file, from, cut_bytes).status != ReadStatus::data) {
        status = PatchStatus::read_error;
      } else if (!make_room(log, size)) {
        status = PatchStatus::undo_error;
      } else {
        keep(log, from, cut_bytes);
        from += size;
      }
    }
    if (status == PatchStatus::done) {
      if (cut_file(file, new_length)) {
        patched_length = new_length;
      } else {
        status = PatchStatus::write_error;
      }
    }
  }
  if (status == PatchStatus::done && !flush_to_disk(file)) {
    status = PatchStatus::write_error;
  }
  if (status == PatchStatus::done && ending_signal() != 0) {
    status = PatchStatus::interrupted;
  }
  if (status == PatchStatus::done) {
    return {status, false, false, 0};
  }
  return restore(status, log, file, old_length, patched_length, old);
}

}  // namespace quarnel
