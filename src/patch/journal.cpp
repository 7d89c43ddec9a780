// patch/: everything that writes into a user's file: records, the journal,
// patching in place or rewriting, and the session around them.
#include "patch/journal.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

namespace quarnel {
namespace {

constexpr std::string_view magic = "QUARNELJ";
constexpr std::uint32_t journal_version = 1;
constexpr std::uint32_t created_flag = 1;
constexpr std::uint32_t identified_flag = 2;
constexpr std::uint64_t checksum_seed = 0x6A09E667F3BCC908;
constexpr std::size_t checksum_place = 56;

std::uint64_t load64(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) {
    value = value << 8 | bytes[i];
  }
  return value;
}

void store64(std::uint8_t* bytes, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

// A checksum for damage, not for an adversary: a word at a time, each
// rotated into the sum and multiplied by an odd constant, and the length of
// the piece folded in with its last bytes.
std::uint64_t add_to_checksum(std::uint64_t sum, std::span<const std::uint8_t> bytes) {
  constexpr std::uint64_t multiplier = 0x9E3779B97F4A7C15;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    sum = std::rotl(sum ^ load64(bytes.data() + i), 29) * multiplier;
  }
  std::uint64_t tail = bytes.size();
  for (; i < bytes.size(); ++i) {
    tail = tail << 8 | bytes[i];
  }
  return std::rotl(sum ^ tail, 29) * multiplier;
}

using HeaderBytes = std::array<std::uint8_t, journal_header_size>;

HeaderBytes encode(const JournalHeader& header) {
  HeaderBytes bytes{};
  magic.copy(reinterpret_cast<char*>(bytes.data()), magic.size());
  const std::uint32_t flags =
      (header.created ? created_flag : 0) | (header.identified ? identified_flag : 0);
  store64(bytes.data() + 8, journal_version | std::uint64_t{flags} << 32);
  store64(bytes.data() + 16, header.file.device);
  store64(bytes.data() + 24, header.file.number);
  store64(bytes.data() + 32, header.journal_device);
  store64(bytes.data() + 40, header.old_length);
  store64(bytes.data() + 48, header.content_length);
  store64(bytes.data() + checksum_place,
          add_to_checksum(header.checksum, std::span(bytes).first(checksum_place)));
  return bytes;
}

// Writes the complete header and flushes the journal and its folder.
bool write_header(int journal, const JournalHeader& header, PatchFile& target, bool durable) {
  const HeaderBytes bytes = encode(header);
  if (write_at(journal, 0, bytes) != bytes.size() || (durable && !flush_to_disk(journal))) {
    target.error = last_error();
    return false;
  }
  return !durable || flush_patch_folder(target);
}

std::array<std::uint8_t, journal_entry_head + longest_record> entry_buffer;

enum class EntryRead { entry, end, damaged, error };

// Reads the entry at `at` into entry_buffer, adding it to the checksum.
EntryRead read_entry(int journal, std::uint64_t& at, std::uint64_t end, std::uint64_t& sum,
                     std::span<std::uint8_t>& old, std::uint64_t& address) {
  if (at == end) {
    return EntryRead::end;
  }
  const auto head = std::span(entry_buffer).first(journal_entry_head);
  if (end - at < head.size()) {
    return EntryRead::damaged;
  }
  if (const ReadResult got = read_at(journal, journal_header_size + at, head);
      got.status != ReadStatus::data) {
    return got.status == ReadStatus::error ? EntryRead::error : EntryRead::damaged;
  }
  address = load64(head.data());
  const std::uint64_t length = load64(head.data() + 8);
  if (length > longest_record || length > end - at - head.size()) {
    return EntryRead::damaged;
  }
  old = std::span(entry_buffer).subspan(head.size(), static_cast<std::size_t>(length));
  if (const ReadResult got = read_at(journal, journal_header_size + at + head.size(), old);
      got.status != ReadStatus::data) {
    return got.status == ReadStatus::error ? EntryRead::error : EntryRead::damaged;
  }
  sum = add_to_checksum(add_to_checksum(sum, head), old);
  at += head.size() + old.size();
  return EntryRead::entry;
}

}  // namespace

void start_journal(JournalWriter& journal, int handle) {
  journal.handle = handle;
  journal.written = 0;
  journal.checksum = checksum_seed;
  journal.used = 0;
  journal.error = 0;
}

namespace {

bool write_out(JournalWriter& journal) {
  const auto held = std::span(journal.buffer).first(journal.used);
  if (write_at(journal.handle, journal_header_size + journal.written, held) != held.size()) {
    journal.error = last_error();
    return false;
  }
  journal.written += journal.used;
  journal.used = 0;
  start_flush(journal.handle);
  return true;
}

}  // namespace

std::span<std::uint8_t> reserve_entry(JournalWriter& journal, std::uint64_t address,
                                      std::size_t size) {
  if (journal.buffer.size() - journal.used < journal_entry_head + size && !write_out(journal)) {
    return {};
  }
  const auto head = std::span(journal.buffer).subspan(journal.used, journal_entry_head);
  store64(head.data(), address);
  store64(head.data() + 8, size);
  journal.reserved = head.size() + size;
  return std::span(journal.buffer).subspan(journal.used + head.size(), size);
}

void add_entry(JournalWriter& journal, std::span<const std::uint8_t> old) {
  const auto head = std::span(journal.buffer).subspan(journal.used, journal_entry_head);
  journal.checksum = add_to_checksum(add_to_checksum(journal.checksum, head), old);
  journal.used += journal.reserved;
}

bool finish_journal(JournalWriter& journal, JournalHeader& header, PatchFile& target) {
  if (!write_out(journal)) {
    return false;
  }
  const bool durable = target.journal_named;
  if (durable && !flush_to_disk(journal.handle)) {
    journal.error = last_error();
    return false;
  }
  // A temporary journal only ever rolls back this run's writes.
  FileIdentity journal_identity;
  if (durable && (!identify_file(target.handle, header.file) ||
                  !identify_file(journal.handle, journal_identity))) {
    journal.error = last_error();
    return false;
  }
  header.identified = durable;
  header.journal_device = journal_identity.device;
  header.content_length = journal.written;
  header.checksum = journal.checksum;
  if (!write_header(journal.handle, header, target, durable)) {
    journal.error = target.error;
    return false;
  }
  return true;
}

bool journal_new_file(PatchFile& target) {
  const JournalHeader header{.created = true, .checksum = checksum_seed};
  return write_header(target.journal, header, target, true);
}

bool roll_back(int journal, int file, std::uint64_t content_length) {
  std::uint64_t sum = 0;
  std::uint64_t address = 0;
  std::span<std::uint8_t> old;
  for (std::uint64_t at = 0;;) {
    switch (read_entry(journal, at, content_length, sum, old, address)) {
      case EntryRead::end:
        return true;
      case EntryRead::damaged:
      case EntryRead::error:
        return false;
      case EntryRead::entry:
        if (write_at(file, address, old) != old.size()) {
          return false;
        }
        break;
    }
  }
}

namespace {

enum class HeaderState { incomplete, foreign, damaged, complete, error };

// Reads and checks the header and every entry against the checksum.
HeaderState read_journal(int journal, JournalHeader& header) {
  HeaderBytes bytes{};
  const ReadResult got = read_at(journal, 0, bytes);
  if (got.status == ReadStatus::error) {
    return HeaderState::error;
  }
  // The header is written whole, after the entries, in one write: before
  // that its place reads as zeros, or is not there at all.
  if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; })) {
    return HeaderState::incomplete;
  }
  if (got.status == ReadStatus::end) {
    return HeaderState::foreign;
  }
  const std::uint64_t version_and_flags = load64(bytes.data() + 8);
  const auto flags = static_cast<std::uint32_t>(version_and_flags >> 32);
  if (!std::equal(magic.begin(), magic.end(), bytes.begin()) ||
      static_cast<std::uint32_t>(version_and_flags) != journal_version ||
      (flags & ~(created_flag | identified_flag)) != 0) {
    return HeaderState::foreign;
  }
  header.created = (flags & created_flag) != 0;
  header.identified = (flags & identified_flag) != 0;
  header.file = {load64(bytes.data() + 16), load64(bytes.data() + 24)};
  header.journal_device = load64(bytes.data() + 32);
  header.old_length = load64(bytes.data() + 40);
  header.content_length = load64(bytes.data() + 48);
  std::uint64_t sum = checksum_seed;
  std::uint64_t address = 0;
  std::span<std::uint8_t> old;
  for (std::uint64_t at = 0;;) {
    const EntryRead read = read_entry(journal, at, header.content_length, sum, old, address);
    if (read == EntryRead::error) {
      return HeaderState::error;
    }
    if (read == EntryRead::damaged) {
      return HeaderState::damaged;
    }
    if (read == EntryRead::end) {
      break;
    }
  }
  header.checksum = sum;
  return load64(bytes.data() + checksum_place) ==
                 add_to_checksum(sum, std::span(bytes).first(checksum_place))
             ? HeaderState::complete
             : HeaderState::damaged;
}

// Whether the journal was written for this file. Device numbers may change
// across a reboot; a file and its journal on one device move together.
bool journal_of(const JournalHeader& header, const PatchFile& target) {
  FileIdentity file;
  FileIdentity journal;
  return header.identified && identify_file(target.handle, file) &&
         identify_file(target.journal, journal) && file.number == header.file.number &&
         (file.device == header.file.device ||
          (header.file.device == header.journal_device && file.device == journal.device));
}

Recovery failed(const PatchFile& target) { return {RecoveryStatus::failed, target.error}; }

// Leaves the journal where it is: it is not this run's to apply or remove,
// or applying it failed.
Recovery leave_journal(PatchFile& target, RecoveryStatus why, int error = 0) {
  close_handle(target.journal);
  target.journal = -1;
  target.journal_named = false;
  return {why, error};
}

// Removes the file the patch was creating, then its journal.
Recovery remove_created(PatchFile& target) {
  if (target.handle >= 0 && !remove_patch_file(target)) {
    return failed(target);
  }
  return remove_journal(target) ? Recovery{RecoveryStatus::removed_created, 0} : failed(target);
}

}  // namespace

Recovery recover_patch(PatchFile& target) {
  // A device is never patched with a journal; on Windows a name beside one
  // may be that device again.
  if (target.exists && !target.regular) {
    return {RecoveryStatus::nothing, 0};
  }
  switch (open_journal(target, JournalOpen::existing)) {
    case JournalStatus::opened:
      break;
    case JournalStatus::missing:
      return {RecoveryStatus::nothing, 0};
    case JournalStatus::in_use:
      return {RecoveryStatus::in_use, 0};
    case JournalStatus::failed:
      return {RecoveryStatus::cannot_open, target.error};
  }
  JournalHeader header;
  switch (read_journal(target.journal, header)) {
    case HeaderState::incomplete:
      return remove_journal(target) ? Recovery{RecoveryStatus::unbegun, 0} : failed(target);
    case HeaderState::foreign:
      return leave_journal(target, RecoveryStatus::not_a_journal);
    case HeaderState::damaged:
      return leave_journal(target, RecoveryStatus::damaged);
    case HeaderState::error:
      return leave_journal(target, RecoveryStatus::failed, last_error());
    case HeaderState::complete:
      break;
  }
  if (target.handle < 0) {
    return header.created ? remove_created(target)
                          : leave_journal(target, RecoveryStatus::missing_file);
  }
  // Killed before the file it creates was known: the file is empty unless
  // someone else wrote it.
  if (header.created && !header.identified) {
    return file_length(target.handle) == 0
               ? remove_created(target)
               : leave_journal(target, RecoveryStatus::new_file_written);
  }
  if (!journal_of(header, target)) {
    return leave_journal(target, RecoveryStatus::other_file);
  }
  if (header.created) {
    return remove_created(target);
  }
  if (!roll_back(target.journal, target.handle, header.content_length) ||
      !cut_file(target.handle, header.old_length) || !flush_to_disk(target.handle)) {
    return leave_journal(target, RecoveryStatus::failed, last_error());
  }
  return remove_journal(target) ? Recovery{RecoveryStatus::rolled_back, 0} : failed(target);
}

}  // namespace quarnel
