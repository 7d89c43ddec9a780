#include "patch/patch_rewrite.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "patch/patch_writer.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

// At namespace scope, where the address sanitizer guards their edges.
std::array<std::uint8_t, longest_record> record_bytes;
std::array<std::uint8_t, longest_record> held_bytes;
std::array<std::uint8_t, std::size_t{1} << 20> moved_bytes;
// The new file's bytes, written a block at a time.
std::array<std::uint8_t, std::size_t{1} << 20> new_bytes;

struct Rewrite {
  int records;
  int old_file;
  int new_file;
  std::uint64_t old_length;
  PatchOutcome outcome{.status = PatchStatus::done,
                       .restored = true,
                       .length_changed = false,
                       .signal = 0,
                       .untouched = true};
  std::uint64_t written = 0;             // the new file's length so far, buffered bytes counted
  std::size_t buffered = 0;              // of new_bytes, the new file's last bytes
  std::array<std::uint64_t, 2> moved{};  // the old file's bytes from moved[0] go to moved[1] on
  PatchRecord move{};                    // the record that said so
  ReadAhead old_bytes{old_file};         // the old file, read a large block at a time
  std::uint64_t unflushed = 0;

  void fail(PatchStatus status) {
    outcome.status = status;
    outcome.error = last_error();
  }
  // A read that gave too little: the file was cut meanwhile.
  void fail_read(const ReadResult& got) {
    outcome.status = PatchStatus::read_error;
    outcome.error = got.status == ReadStatus::error ? last_error() : 0;
  }
  bool going() {
    if (outcome.status == PatchStatus::done && ending_signal() != 0) {
      outcome.status = PatchStatus::interrupted;
      outcome.signal = ending_signal();
    }
    return outcome.status == PatchStatus::done;
  }
};

// Whether the old file holds every byte and has the length the records
// expect of it.
void check_guards(Rewrite& rewrite) {
  PatchRecord record{};
  RecordWalk walk{rewrite.records};
  ReadAhead old_bytes{rewrite.old_file};
  while (rewrite.going() && walk.next(record, record_bytes)) {
    const auto expected =
        std::span<const std::uint8_t>(record_bytes).first(static_cast<std::size_t>(record.length));
    const GuardCheck check =
        check_guard(old_bytes, rewrite.old_length, record, expected, held_bytes);
    if (check == GuardCheck::read_error) {
      rewrite.fail(PatchStatus::read_error);
      return;
    }
    if (check == GuardCheck::fails) {
      rewrite.outcome.status = PatchStatus::guard_failed;
      rewrite.outcome.record = record;
    }
  }
  if (walk.failed) {
    rewrite.fail(PatchStatus::records_error);
  }
}

// Writes out the buffered bytes.
void write_buffered(Rewrite& rewrite) {
  const auto bytes = std::span(new_bytes).first(rewrite.buffered);
  rewrite.buffered = 0;
  if (bytes.empty() || !rewrite.going()) {
    return;
  }
  if (write_at(rewrite.new_file, rewrite.written - bytes.size(), bytes) < bytes.size()) {
    rewrite.fail(PatchStatus::write_error);
    return;
  }
  // The disk writes while the rest is read: the flush at the end has less
  // to wait for.
  rewrite.unflushed += bytes.size();
  if (rewrite.unflushed >= new_bytes.size() * 8) {
    start_flush(rewrite.new_file);
    rewrite.unflushed = 0;
  }
}

void put_bytes(Rewrite& rewrite, std::span<const std::uint8_t> bytes) {
  if (new_bytes.size() - rewrite.buffered < bytes.size()) {
    write_buffered(rewrite);
  }
  std::copy(bytes.begin(), bytes.end(),
            new_bytes.begin() + static_cast<std::ptrdiff_t>(rewrite.buffered));
  rewrite.buffered += bytes.size();
  rewrite.written += bytes.size();
}

// Copies the old bytes that go to the new file's bytes up to until. A
// hole of the old file stays one: it is not written.
void copy_old(Rewrite& rewrite, std::uint64_t until) {
  if (!rewrite.going()) {
    return;  // a failure said already stays the one told
  }
  if (until < rewrite.written || rewrite.written < rewrite.moved[1]) {
    rewrite.outcome.status = PatchStatus::records_error;
    return;
  }
  while (rewrite.written < until && rewrite.going()) {
    // Bytes a diff moves from past the old file's end: it was made from
    // another file.
    const std::uint64_t offset = rewrite.written - rewrite.moved[1];
    if (offset > rewrite.old_length || rewrite.moved[0] > rewrite.old_length - offset) {
      rewrite.outcome.status = PatchStatus::guard_failed;
      rewrite.outcome.record = rewrite.move;
      return;
    }
    const std::uint64_t from = rewrite.moved[0] + offset;
    // Only a hole as large as a block is kept one.
    if (until - rewrite.written >= moved_bytes.size()) {
      if (const std::uint64_t hole = data_after(rewrite.old_file, from) - from;
          hole >= moved_bytes.size()) {
        write_buffered(rewrite);
        rewrite.written += std::min(hole, until - rewrite.written);
        continue;
      }
    }
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>({moved_bytes.size(), until - rewrite.written,
                                 std::max<std::uint64_t>(rewrite.old_length - from, 1)}));
    const auto bytes = std::span(moved_bytes).first(size);
    if (const ReadResult got = read_ahead(rewrite.old_bytes, from, bytes);
        got.status != ReadStatus::data || got.count != size) {
      rewrite.fail_read(got);
      return;
    }
    put_bytes(rewrite, bytes);
  }
}

void write_new(Rewrite& rewrite) {
  bool sized = false;
  std::uint64_t new_length = 0;
  PatchRecord record{};
  RecordWalk walk{rewrite.records};
  while (rewrite.going() && walk.next(record, record_bytes)) {
    if (record.kind == RecordKind::write) {
      copy_old(rewrite, record.address);
      if (rewrite.going()) {
        put_bytes(rewrite, std::span(record_bytes).first(static_cast<std::size_t>(record.length)));
      }
    } else if (record.kind == RecordKind::move) {
      copy_old(rewrite, record.to);
      rewrite.moved = {record.address, record.to};
      rewrite.move = record;
    } else if (record.kind == RecordKind::set_length) {
      sized = true;
      new_length = record.address;
    }
  }
  if (walk.failed) {
    rewrite.fail(PatchStatus::records_error);
    return;
  }
  // The bytes after the last change, to the new length or the old file's end.
  if (rewrite.going() && !sized && rewrite.old_length < rewrite.moved[0]) {
    rewrite.outcome.status = PatchStatus::guard_failed;
    rewrite.outcome.record = rewrite.move;
    return;
  }
  copy_old(rewrite,
           sized ? new_length : rewrite.moved[1] + (rewrite.old_length - rewrite.moved[0]));
  write_buffered(rewrite);
  // A hole at the end is the length alone.
  if (rewrite.going() && !cut_file(rewrite.new_file, rewrite.written)) {
    rewrite.fail(PatchStatus::write_error);
  }
  if (rewrite.going() && !flush_to_disk(rewrite.new_file)) {
    rewrite.fail(PatchStatus::write_error);
  }
}

}  // namespace

PatchOutcome rewrite_patch(int records, int old_file, int new_file) {
  const std::int64_t length = file_length(old_file);
  Rewrite rewrite{records, old_file, new_file,
                  static_cast<std::uint64_t>(std::max<std::int64_t>(length, 0))};
  if (length < 0) {
    rewrite.fail(PatchStatus::read_error);
    return rewrite.outcome;
  }
  check_guards(rewrite);
  if (rewrite.going()) {
    write_new(rewrite);
  }
  rewrite.going();
  return rewrite.outcome;
}

}  // namespace quarnel
