#include "patch/patch_apply.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "patch/journal.h"
#include "patch/patch_writer.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

// At namespace scope, where the address sanitizer guards their edges.
JournalWriter journal_writer;
std::array<std::uint8_t, longest_record> new_bytes_buffer;
std::array<std::uint8_t, longest_record> old_bytes_buffer;
// Records close together are written as one: their bytes with the file's
// own between them.
std::array<std::uint8_t, std::size_t{1} << 20> batch_bytes;
// Records this close join one write: the disk writes whole pages anyway.
constexpr std::uint64_t join_gap = 4096;

// A patch being written into its file.
struct Patching {
  PatchFile& target;
  int records;
  std::uint64_t old_length;
  std::uint64_t patched_length;  // the file's length as the writes have left it
  bool sized = false;            // a record gives the file a new length
  std::uint64_t new_length = 0;
  PatchStatus status = PatchStatus::done;
  int error = 0;  // the system's reason for status
  PatchRecord record{};
  ReadAhead old_bytes{target.handle};  // while nothing is written
  // The write being gathered: batch_bytes holds the file's bytes from
  // batch_at on as they are to be.
  std::uint64_t batch_at = 0;
  std::size_t batched = 0;
  std::uint64_t unflushed = 0;

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
  // Whether to go on: no failure, and no signal that ends the program.
  bool going() {
    if (status == PatchStatus::done && ending_signal() != 0) {
      status = PatchStatus::interrupted;
    }
    return status == PatchStatus::done;
  }
};

// Whether the file holds what a record expects of it: the old side of a
// diff, checked before anything is written.
void check_expected(Patching& patching, const PatchRecord& record,
                    std::span<const std::uint8_t> expected) {
  const GuardCheck check =
      check_guard(patching.old_bytes, patching.old_length, record, expected, old_bytes_buffer);
  if (check == GuardCheck::read_error) {
    patching.fail(PatchStatus::read_error);
  } else if (check == GuardCheck::fails) {
    patching.status = PatchStatus::guard_failed;
    patching.record = record;
  }
}

// Keeps the old bytes at address in the journal.
void keep_old_bytes(Patching& patching, std::uint64_t address, std::size_t size) {
  const std::span<std::uint8_t> old = reserve_entry(journal_writer, address, size);
  if (old.empty()) {
    patching.status = PatchStatus::journal_error;
    patching.error = journal_writer.error;
  } else if (const ReadResult got = read_ahead(patching.old_bytes, address, old);
             got.status != ReadStatus::data) {
    patching.fail_read(got);
  } else {
    add_entry(journal_writer, old);
  }
}

// Checks what the records expect of the file and writes the journal: the
// old bytes of every range the records write and of those a shorter length
// cuts away. Bytes past the old end need no keeping: cutting the file
// undoes them.
void write_journal(Patching& patching) {
  start_journal(journal_writer, patching.target.journal);
  PatchRecord record{};
  RecordWalk walk{patching.records};
  while (patching.going() && walk.next(record, new_bytes_buffer)) {
    if (record.kind == RecordKind::set_length) {
      patching.sized = true;
      patching.new_length = record.address;
    } else if (record.kind == RecordKind::write && record.address < patching.old_length) {
      keep_old_bytes(
          patching, record.address,
          static_cast<std::size_t>(std::min(record.length, patching.old_length - record.address)));
    } else if (record.kind != RecordKind::write) {
      check_expected(patching, record,
                     std::span(new_bytes_buffer).first(static_cast<std::size_t>(record.length)));
    }
  }
  if (walk.failed) {
    patching.fail(PatchStatus::records_error);
  }
  const std::uint64_t cut_end = patching.sized ? patching.old_length : 0;
  for (std::uint64_t from = patching.new_length; from < cut_end && patching.going();) {
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(longest_record, cut_end - from));
    keep_old_bytes(patching, from, size);
    from += size;
  }
  JournalHeader header{.created = patching.target.created, .old_length = patching.old_length};
  if (patching.going() && !finish_journal(journal_writer, header, patching.target)) {
    patching.status = PatchStatus::journal_error;
    patching.error = journal_writer.error;
  }
}

// Writes the gathered bytes into the file.
void write_batch(Patching& patching) {
  constexpr std::size_t flush_step = std::size_t{8} << 20;
  const auto bytes = std::span(batch_bytes).first(patching.batched);
  patching.batched = 0;
  if (bytes.empty()) {
    return;
  }
  const int file = patching.target.handle;
  const std::size_t written = write_at(file, patching.batch_at, bytes);
  if (written < bytes.size()) {
    patching.fail(PatchStatus::write_error);
  }
  if (written > 0) {
    patching.patched_length = std::max(patching.patched_length, patching.batch_at + written);
  }
  // The bytes read ahead there are the new ones now; dropping them instead
  // would read a block again for every write.
  note_written(patching.old_bytes, patching.batch_at, bytes.first(written));
  // The disk writes while the records are read: the flush at the end has
  // less to wait for.
  patching.unflushed += written;
  if (patching.unflushed >= flush_step) {
    start_flush(file);
    patching.unflushed = 0;
  }
}

// Adds a record's bytes to the write being gathered, or writes that and
// starts another: a record joins when it starts a little after the last one
// ends, within the file.
void gather(Patching& patching, std::uint64_t address, std::span<const std::uint8_t> bytes) {
  const std::uint64_t end = patching.batch_at + patching.batched;
  const bool joins = patching.batched > 0 && address >= end && address - end <= join_gap &&
                     address <= patching.patched_length &&
                     address + bytes.size() - patching.batch_at <= batch_bytes.size();
  if (joins && address > end) {
    const auto between =
        std::span(batch_bytes).subspan(patching.batched, static_cast<std::size_t>(address - end));
    if (const ReadResult got = read_ahead(patching.old_bytes, end, between);
        got.status != ReadStatus::data) {
      patching.fail_read(got);
      return;
    }
  }
  if (!joins) {
    write_batch(patching);
    patching.batch_at = address;
  }
  const auto at = static_cast<std::size_t>(address - patching.batch_at);
  std::copy(bytes.begin(), bytes.end(), batch_bytes.begin() + static_cast<std::ptrdiff_t>(at));
  patching.batched = at + bytes.size();
}

// Writes the records into the file, gives it its new length and flushes it.
void write_records(Patching& patching) {
  const int file = patching.target.handle;
  patching.old_bytes.count = 0;
  PatchRecord record{};
  RecordWalk walk{patching.records};
  while (patching.going() && walk.next(record, new_bytes_buffer)) {
    if (record.kind == RecordKind::write) {
      gather(patching, record.address,
             std::span(new_bytes_buffer).first(static_cast<std::size_t>(record.length)));
    }
  }
  if (patching.going()) {
    write_batch(patching);
  }
  if (walk.failed) {
    patching.fail(PatchStatus::records_error);
  }
  if (patching.going() && patching.sized && patching.new_length != patching.patched_length) {
    if (!cut_file(file, patching.new_length)) {
      patching.fail(PatchStatus::write_error);
    } else {
      patching.patched_length = patching.new_length;
    }
  }
  if (patching.going() && !flush_to_disk(file)) {
    patching.fail(PatchStatus::write_error);
  }
}

// Puts the file back as it was after a failure. A file the patch created is
// removed, before its journal, which would remove it after a crash. The
// file is cut back only when its length is still the one the patch left:
// another process that changed it meanwhile keeps what it made.
PatchOutcome restore(Patching& patching, bool written) {
  PatchOutcome outcome{patching.status, true,          false, ending_signal(),
                       patching.record, patching.error};
  PatchFile& target = patching.target;
  if (target.created) {
    outcome.restored = remove_patch_file(target) && remove_journal(target);
    target.created = !outcome.restored;
    return outcome;
  }
  if (written) {
    const int file = target.handle;
    const std::int64_t length = file_length(file);
    outcome.length_changed =
        length >= 0 && static_cast<std::uint64_t>(length) != patching.patched_length;
    outcome.restored = roll_back(target.journal, file, journal_writer.written) && length >= 0 &&
                       (outcome.length_changed || cut_file(file, patching.old_length)) &&
                       flush_to_disk(file);
  }
  // A journal left after the file is restored would only write the same
  // old bytes again: the caller says that it is left.
  if (outcome.restored) {
    static_cast<void>(remove_journal(target));
  }
  return outcome;
}

}  // namespace

PatchOutcome apply_patch(int records, PatchFile& target) {
  const std::int64_t length = file_length(target.handle);
  const auto old_length = static_cast<std::uint64_t>(std::max<std::int64_t>(length, 0));
  Patching patching{target, records, old_length, old_length};
  if (length < 0) {
    patching.fail(PatchStatus::read_error);
    return restore(patching, false);
  }
  write_journal(patching);
  if (patching.status != PatchStatus::done) {
    return restore(patching, false);
  }
  write_records(patching);
  if (patching.status != PatchStatus::done) {
    return restore(patching, true);
  }
  // The journal's removal commits the patch.
  if (remove_journal(target)) {
    return {PatchStatus::done, false, false, 0};
  }
  if (target.journal_named) {
    patching.status = PatchStatus::commit_error;
    patching.error = target.error;
    return restore(patching, true);
  }
  return {PatchStatus::commit_unsure, false, false, 0, {}, target.error};
}

}  // namespace quarnel
