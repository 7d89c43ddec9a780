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
      outcome.error = last_error();
      return outcome;
    }
    at += sizeof record + record.length;
    bool holds = true;
    if (record.kind == RecordKind::expect) {
      const auto size = static_cast<std::size_t>(record.length);
      const ReadResult got = read_at(file, record.address, held.first(size));
      if (got.status == ReadStatus::error) {
        outcome.status = PatchStatus::read_error;
        outcome.error = last_error();
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

namespace {

// A patch being written into its file.
struct Patching {
  int file;
  std::uint64_t old_length;
  std::uint64_t patched_length;  // the file's length as the writes have left it
  PatchStatus status = PatchStatus::done;
  int error = 0;  // the system's reason for status

  // Records a failure and the reason the last call gave for it.
  void fail(PatchStatus why) {
    status = why;
    error = last_error();
  }
  // The same for a read that gave too little: the file was cut meanwhile.
  void fail_read(const ReadResult& got) {
    status = PatchStatus::read_error;
    error = got.status == ReadStatus::error ? last_error() : 0;
  }
};

// Reads the file's bytes at `at` into old and makes room to keep them in
// the undo log; false, the failure recorded, when either fails.
bool read_old(Patching& patching, std::uint64_t at, std::span<std::uint8_t> old) {
  if (const ReadResult got = read_at(patching.file, at, old); got.status != ReadStatus::data) {
    patching.fail_read(got);
    return false;
  }
  if (!make_room(undo_log, old.size())) {
    patching.fail(PatchStatus::undo_error);
    return false;
  }
  return true;
}

// Writes a record's bytes into the file, keeping the old bytes first.
void write_record(Patching& patching, const PatchRecord& record,
                  std::span<const std::uint8_t> bytes) {
  const std::uint64_t old_length = patching.old_length;
  // Bytes past the old end need no keeping: cutting the file undoes them.
  const auto kept = static_cast<std::size_t>(
      record.address < old_length ? std::min(record.length, old_length - record.address) : 0);
  const auto old_bytes = std::span(old_bytes_buffer).first(kept);
  if (!read_old(patching, record.address, old_bytes)) {
    return;
  }
  // Only what landed is put back: past a file-size limit, writing the old
  // bytes back would fail as the new ones did.
  const std::size_t written = write_at(patching.file, record.address, bytes);
  if (written < bytes.size()) {
    patching.fail(PatchStatus::write_error);
  }
  keep(undo_log, record.address, old_bytes.first(std::min(written, kept)));
  if (written > 0) {
    patching.patched_length = std::max(patching.patched_length, record.address + written);
  }
}

// Gives the file the length a diff's new side ends at: the bytes cut away
// are kept first, like any overwritten bytes.
void set_length(Patching& patching, std::uint64_t new_length) {
  const std::uint64_t end = std::min(patching.patched_length, patching.old_length);
  for (std::uint64_t from = new_length; from < end;) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(longest_record, end - from));
    const auto cut_bytes = std::span(old_bytes_buffer).first(size);
    if (!read_old(patching, from, cut_bytes)) {
      return;
    }
    keep(undo_log, from, cut_bytes);
    from += size;
  }
  if (!cut_file(patching.file, new_length)) {
    patching.fail(PatchStatus::write_error);
    return;
  }
  patching.patched_length = new_length;
}

}  // namespace

PatchOutcome apply_patch(int records, int file, int undo) {
  undo_log = UndoLog{};
  undo_log.file = undo;
  const std::int64_t length = file_length(file);
  if (length < 0) {
    return {PatchStatus::read_error, true, false, 0, {}, last_error()};
  }
  if (const PatchOutcome checked =
          check_expected(records, file, new_bytes_buffer, old_bytes_buffer);
      checked.status != PatchStatus::done) {
    return checked;
  }
  const auto old_length = static_cast<std::uint64_t>(length);
  Patching patching{file, old_length, old_length};
  bool sized = false;
  std::uint64_t new_length = 0;
  for (std::uint64_t at = 0; patching.status == PatchStatus::done;) {
    if (ending_signal() != 0) {
      patching.status = PatchStatus::interrupted;
      break;
    }
    PatchRecord record{};
    const ReadResult head = read_at(records, at, bytes_of(record));
    if (head.status == ReadStatus::end && head.count == 0) {
      break;
    }
    if (!read_record(records, at, record, new_bytes_buffer)) {
      patching.fail(PatchStatus::records_error);
      break;
    }
    at += sizeof record + record.length;
    if (record.kind == RecordKind::set_length) {
      sized = true;
      new_length = record.address;
    } else if (record.kind == RecordKind::write) {
      write_record(patching, record,
                   std::span(new_bytes_buffer).first(static_cast<std::size_t>(record.length)));
    }
  }
  if (patching.status == PatchStatus::done && sized && new_length != patching.patched_length) {
    set_length(patching, new_length);
  }
  if (patching.status == PatchStatus::done && !flush_to_disk(file)) {
    patching.fail(PatchStatus::write_error);
  }
  if (patching.status == PatchStatus::done && ending_signal() != 0) {
    patching.status = PatchStatus::interrupted;
  }
  if (patching.status == PatchStatus::done) {
    return {PatchStatus::done, false, false, 0};
  }
  PatchOutcome outcome = restore(patching.status, undo_log, file, old_length,
                                 patching.patched_length, old_bytes_buffer);
  outcome.error = patching.error;
  return outcome;
}

}  // namespace quarnel
