// Keeps what a checked dump says to patch: the bytes and their addresses, as
// records in a temporary file, joining the lines that follow one another
// into one record; the records go to the file in large blocks. The file to patch is written from
// there once every dump has been read to its end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/platform.h"

namespace quarnel {

// What a record asks of the file: bytes written at an address; bytes it
// must hold there before anything is written (a diff's old side); the
// length it must have; the length it gets; that its bytes from the address
// on move to another (a diff that inserted or deleted bytes before them);
// the sum its bytes from the address must have (a block a diff moves).
enum class RecordKind : std::uint32_t {
  write,
  expect,
  expect_length,
  set_length,
  move,
  expect_sum
};

// A record: this header, then length bytes (none for the lengths' kinds,
// whose length is the address).
struct PatchRecord {
  std::uint64_t address;
  std::uint64_t length;
  RecordKind kind = RecordKind::write;
  std::uint32_t input = 0;  // the dump it comes from, for messages
  std::uint64_t line = 0;   // and its line there
  std::uint64_t to = 0;     // with move, where the bytes from address on go; with
                            // expect_sum, how many bytes are summed
};

inline constexpr std::size_t longest_record = std::size_t{1} << 16;

// Where a reader puts what a dump or a diff says to patch: bytes to write
// at their address (a write record), and the records of the other kinds
// with their bytes (an expect's bytes the file must hold).
class RecordSink {
 public:
  // False when the record could not be kept.
  [[nodiscard]] virtual bool put(const PatchRecord& record,
                                 std::span<const std::uint8_t> bytes) = 0;

 protected:
  RecordSink() = default;
  RecordSink(const RecordSink&) = default;
  RecordSink(RecordSink&&) = default;
  RecordSink& operator=(const RecordSink&) = default;
  RecordSink& operator=(RecordSink&&) = default;
  ~RecordSink() = default;
};

// The records kept in a temporary file, the bytes that follow one another
// joined into one write record.
struct PatchWriter final : RecordSink {
  explicit PatchWriter(int file) : records(file) {}
  [[nodiscard]] bool put(const PatchRecord& record, std::span<const std::uint8_t> bytes) override;

  int records;              // the temporary file
  std::uint64_t start = 0;  // the address of the buffered bytes
  std::size_t used = 0;
  int error = 0;       // the system's reason for a failed write
  bool moves = false;  // a record moves bytes: the file is rewritten, not patched in place
  std::array<std::uint8_t, longest_record> buffer{};
  std::size_t pending_used = 0;  // whole records not yet written to the file
  std::array<std::uint8_t, std::size_t{4} * longest_record> pending{};
};

// Places bytes at address, writing out what was buffered as a record when
// they do not follow it. False when a write failed.
[[nodiscard]] bool patch_bytes(PatchWriter& patch, std::uint64_t address,
                               std::span<const std::uint8_t> bytes);

// Adds a record of another kind, after what is buffered. False when a
// write failed.
[[nodiscard]] bool patch_record(PatchWriter& patch, const PatchRecord& record,
                                std::span<const std::uint8_t> bytes);

// Writes out what is buffered, to the file. False when the write failed.
[[nodiscard]] bool flush_patch(PatchWriter& patch);

// A file read a large block at a time, for the many small reads of the
// bytes the records expect and keep, which mostly go forwards. Only while
// nothing writes the file.
struct ReadAhead {
  int file;
  std::uint64_t base = 0;  // the block holds count bytes from base
  std::size_t count = 0;
};

// Reads into.size() bytes at offset, or fewer where the file ends, as
// read_at does.
[[nodiscard]] ReadResult read_ahead(ReadAhead& ahead, std::uint64_t offset,
                                    std::span<std::uint8_t> into);

// Puts bytes just written at offset into what was read ahead there, which
// then stays the file's.
void note_written(ReadAhead& ahead, std::uint64_t offset, std::span<const std::uint8_t> bytes);

// Whether a file of old_length bytes holds what a record expects of it:
// its bytes, expected, at the record's address (read into held, room for
// as many, or for a block at a time of the bytes summed), the sum of its
// bytes there, or its length; records of other kinds expect nothing.
enum class GuardCheck { holds, fails, read_error };
[[nodiscard]] GuardCheck check_guard(ReadAhead& file, std::uint64_t old_length,
                                     const PatchRecord& record,
                                     std::span<const std::uint8_t> expected,
                                     std::span<std::uint8_t> held);

// Walks the file of records from its start, a record at a time, read a
// large block at a time. One walk at a time: the blocks are shared.
struct RecordWalk {
  int records;
  std::uint64_t at = 0;        // where the next record starts
  bool failed = false;         // a record could not be read whole
  std::uint64_t block_at = 0;  // the records' bytes held, from there
  std::size_t held = 0;
  // Reads the next record and its bytes; false at the end and on a
  // failure.
  [[nodiscard]] bool next(PatchRecord& record, std::span<std::uint8_t, longest_record> bytes);
};

}  // namespace quarnel
