// The rollback journal of a patch: the old bytes of every range a patch is
// about to write, with the file's old length and identity, kept in a file
// beside it. It is written and flushed to disk before the first byte of the
// file is written, and removed once the patched file is flushed: that
// removal commits the patch. A journal found later belongs to a patch that
// was killed or lost its power midway, and is rolled back.
//
// On disk: a header of journal_header_size bytes, then entries, each an
// address and a length (8 bytes each, little-endian) and that many old
// bytes. The header is written last, after the entries are flushed: a
// header of zeros says the journal is incomplete and the file untouched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "patch/patch_writer.h"
#include "platform/platform.h"

namespace quarnel {

inline constexpr std::size_t journal_header_size = 64;
inline constexpr std::size_t journal_entry_head = 16;

struct JournalHeader {
  bool created = false;     // the patch created the file: rolling back removes it
  bool identified = false;  // file holds the file's identity (not yet, for one being created)
  FileIdentity file{};
  std::uint64_t journal_device = 0;  // the journal's own device, when it was written
  std::uint64_t old_length = 0;
  std::uint64_t content_length = 0;  // the bytes of the entries
  std::uint64_t checksum = 0;        // of the entries, then the header before it
};

// A journal being written: entries gather in the buffer and go out in large
// writes behind the header's place.
struct JournalWriter {
  int handle = -1;
  std::uint64_t written = 0;  // entry bytes in the file
  std::uint64_t checksum = 0;
  std::size_t used = 0;
  std::size_t reserved = 0;  // the entry being read, past used
  int error = 0;             // the system's reason for a failed write
  std::array<std::uint8_t, std::size_t{4} << 16> buffer{};
};

// Starts an empty journal in handle.
void start_journal(JournalWriter& journal, int handle);

// Makes room for an entry of size old bytes (1 to longest_record) at
// address, and returns the place to read them into; add_entry keeps them.
// Empty, with journal.error set, when a write failed.
[[nodiscard]] std::span<std::uint8_t> reserve_entry(JournalWriter& journal, std::uint64_t address,
                                                    std::size_t size);
void add_entry(JournalWriter& journal, std::span<const std::uint8_t> old);

// Writes out the entries, flushes them, then writes the header and flushes
// it and the folder: from then on the journal is complete on disk. A
// temporary journal, which dies with the process, is not flushed. False
// with journal.error set when any of that failed.
[[nodiscard]] bool finish_journal(JournalWriter& journal, JournalHeader& header, PatchFile& target);

// Before a missing file is created: a complete journal that says the patch
// creates it, so that a file left by a killed run is removed. False with
// target.error set when it could not be written.
[[nodiscard]] bool journal_new_file(PatchFile& target);

// Writes every entry's old bytes back into file. False when a read or a
// write failed.
[[nodiscard]] bool roll_back(int journal, int file, std::uint64_t content_length);

enum class RecoveryStatus {
  nothing,           // no journal
  unbegun,           // an incomplete journal, removed: the file was never written
  rolled_back,       // the file's old bytes and length are back, the journal removed
  removed_created,   // the file the patch was creating is removed, and the journal
  in_use,            // another run holds the journal
  cannot_open,       // it is there, but cannot be opened; error says why
  not_a_journal,     // it does not begin as a journal does
  damaged,           // its checksum fails
  other_file,        // it was written for another file, or the file was replaced
  missing_file,      // the file it belongs to is gone
  new_file_written,  // the file it was to create holds bytes it did not write
  failed,            // a call failed midway: the journal stays; error says why
};

struct Recovery {
  RecoveryStatus status = RecoveryStatus::nothing;
  int error = 0;
};

// Rolls back the patch whose journal lies beside target, which
// find_patch_file found and locked (or found missing). Run again after it
// was stopped at any point, it completes what it began.
[[nodiscard]] Recovery recover_patch(PatchFile& target);

}  // namespace quarnel
