// The operating-system calls the tool makes, one implementation per
// platform. Handles are small integers: file descriptors on POSIX, C runtime
// descriptors on Windows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/line_end.h"

namespace quarnel {

inline constexpr int standard_input = 0;
inline constexpr int standard_output = 1;
inline constexpr int standard_error = 2;

// Called once at start. Makes sure the standard streams are open, so that
// no file the program opens takes their numbers: a closed one is opened on
// the null device the wrong way round, so that it still fails as a closed
// one does. Puts them into raw byte mode where the platform has a text mode,
// tunes standard output for large dumps, and makes a file-size limit an
// ordinary write error instead of a fatal signal.
void prepare_standard_streams();

// The program's arguments, the program's name first, in UTF-8. POSIX
// systems hand them over as the shell expanded them. On Windows they are
// read anew from the command line, in UTF-16, and each unquoted argument
// holding * or ? becomes the names that match it, in the order Windows lists
// them (one that matches nothing stays as it was), as the shell does
// elsewhere.
[[nodiscard]] std::span<const char* const> program_arguments(int argc, const char* const argv[]);

// Opens a named file for reading. A directory cannot be dumped and fails like
// a file that cannot be opened. Returns -1 on failure.
[[nodiscard]] int open_input(const char* name);
void close_handle(int handle);

enum class ReadStatus { data, end, error };

struct ReadResult {
  ReadStatus status;
  std::size_t count;  // bytes read, when status is data
};

// Reads whatever is available, up to into.size() bytes, waiting for at least
// one. Interrupted reads are retried, and an input in non-blocking mode is
// waited on rather than taken for failed.
[[nodiscard]] ReadResult read_block(int handle, std::span<std::uint8_t> into);

// How many bytes read_block and read_at have brought in, from every thread,
// since the program started: how far long work has got. The reads count
// them as they return.
[[nodiscard]] std::uint64_t bytes_read_so_far();
void count_bytes_read(std::size_t count);

// Whether a read may have to wait for data: true for pipes, terminals and
// sockets, false for files and block devices.
[[nodiscard]] bool may_wait(int handle);

// Whether the input has data (or its end, or an error) to read at once.
[[nodiscard]] bool ready_to_read(int handle);

enum class SkipResult {
  unsupported,  // the input cannot seek; read the bytes instead
  done,         // the input holds the skipped bytes and now stands after them
  too_short,    // the input ends before the skipped bytes do
  error,        // reading failed
};

// Skips count (at least 1) bytes of an input that can seek. The size a file
// reports is not trusted (proc and sys files report 0 or a page): the last
// skipped byte is read to prove it is there.
[[nodiscard]] SkipResult skip_by_seeking(int handle, std::uint64_t count);

// Puts a file's position back at its first byte. False when it cannot.
[[nodiscard]] bool rewind_file(int handle);

// Whether the input is the same regular file as the output and holds data:
// dumping it would append to it while it is read, without end.
[[nodiscard]] bool is_own_output(int input, int output);

// Whether name is a pipe, socket or terminal: a file that cannot be written
// at an address. Looked at without opening it for writing.
[[nodiscard]] bool cannot_patch(const char* name);
[[nodiscard]] bool is_pipe_or_terminal(int handle);

// Why a file could not be opened, patched or replaced.
enum class FileProblem {
  none,
  cannot_open,     // the file itself; error says why
  in_use,          // another process holds its lock
  stream,          // a pipe, socket or terminal, which has no addresses
  cannot_create,   // the temporary file beside it; error says why
  cannot_replace,  // the temporary file could not take its place; error says why
};

// The system's number for the reason the last call failed, and its words.
[[nodiscard]] int last_error();
[[nodiscard]] std::string_view error_text(int error);

// What tells one file from another while it exists: the device that holds
// it and its number there (on Windows, the volume's serial number and the
// file's index).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t number = 0;
};

// False when the system cannot tell.
[[nodiscard]] bool identify_file(int handle, FileIdentity& identity);

// The journal of a patch lies beside the file it patches, under the file's
// name with this added.
inline constexpr std::string_view journal_suffix = ".unquarnel-journal";

// A file that unquarnel --patch writes into, found as the system finds a file
// named for writing, links followed by its rules, and its journal.
struct PatchFile {
  int handle = -1;       // -1 while the file is not open
  bool exists = false;   // the name stands for a file
  bool regular = false;  // a regular file, which a journal can keep
  bool created = false;  // this run created it
  FileProblem problem = FileProblem::none;
  int error = 0;                  // with cannot_open: the system's reason
  int folder = -1;                // the folder that holds it, where the platform has such handles
  std::array<char, 4096> leaf{};  // its name there
  int journal = -1;
  bool journal_named = false;             // beside the file, not a temporary file of its own
  std::array<char, 4096> journal_name{};  // as messages name it
};

enum class FindMode {
  any,          // whatever the file is
  regular_only  // other files (devices, pipes) are found but not opened
};

// Finds the file that name stands for and opens it, if it exists, to read
// and write bytes at their places, never truncated, and locked against other
// runs, which are refused at once rather than waited for. Opening a FIFO
// does not wait for a reader. False with file.problem set on failure; a
// missing file is none, and leaves file.handle -1.
[[nodiscard]] bool find_patch_file(const char* name, PatchFile& file, FindMode mode);

// Creates the missing file that find_patch_file found, locked, the creation
// flushed to disk. False with file.problem set when it cannot; a file that
// appeared meanwhile is in use by another run.
[[nodiscard]] bool create_patch_file(PatchFile& file);

// Closes the file and removes it, the removal flushed to disk; its folder
// stays open for its journal. False with file.error set when that failed.
[[nodiscard]] bool remove_patch_file(PatchFile& file);

// Closes the file and its journal.
void close_patch_file(PatchFile& file);

enum class JournalOpen {
  existing,  // the journal left beside the file, if there is one
  create,    // a new journal beside the file
  temporary  // an unnamed temporary file, which dies with the process
};

enum class JournalStatus { opened, missing, in_use, failed };

// Opens the file's journal into file.journal, locked: a journal another run
// holds is in use. A journal removed while it was being opened is missing.
// With failed, file.error says why.
[[nodiscard]] JournalStatus open_journal(PatchFile& file, JournalOpen how);

// Closes the journal and removes it, the removal flushed to disk: the
// moment a patch is committed, or its rollback complete. False with
// file.error set when that failed.
[[nodiscard]] bool remove_journal(PatchFile& file);

// Flushes the folder that holds the file and its journal, so that their
// names outlive a power loss. False with file.error set when it failed.
[[nodiscard]] bool flush_patch_folder(PatchFile& file);

// The length of a file or block device; 0 for other devices, -1 when it
// cannot be told.
[[nodiscard]] std::int64_t file_length(int handle);

// Whether the handle is of a regular file (not a device, pipe or folder).
[[nodiscard]] bool is_regular_file(int handle);

// Where the first byte at or after offset that the file stores lies: the
// bytes before it, from offset, are a hole and read as zeros. offset where
// the system cannot tell, or on any failure.
[[nodiscard]] std::uint64_t data_after(int handle, std::uint64_t offset);

// Reads into.size() bytes at offset, or fewer where the file ends.
[[nodiscard]] ReadResult read_at(int handle, std::uint64_t offset, std::span<std::uint8_t> into);

// Writes bytes at offset in the file. Returns how many were written: fewer
// than all when a write failed.
[[nodiscard]] std::size_t write_at(int handle, std::uint64_t offset,
                                   std::span<const std::uint8_t> bytes);

// Gives a regular file the length, cutting it or growing it with zeros;
// other files are left alone. False when it failed.
[[nodiscard]] bool cut_file(int handle, std::uint64_t length);

// Waits until what was written to a file or block device is on stable
// storage; other files need nothing. False when that failed.
[[nodiscard]] bool flush_to_disk(int handle);

// Starts writing to stable storage what was written to a file so far,
// without waiting, so that a flush_to_disk later has less to wait for.
// Where the system cannot, it does nothing.
void start_flush(int handle);

// From now on every signal that would end the program (on POSIX: INT, TERM,
// HUP, QUIT, USR1, USR2, ALRM, VTALRM, PROF, XCPU, PIPE, POLL, PWR and the
// real-time signals; Ctrl+C and Ctrl+Break on Windows) is only noted, for
// ending_signal to tell; those ignored from the start stay ignored.
void catch_ending_signals();

// The number of the first such signal caught, or 0.
[[nodiscard]] int ending_signal();

// The bytes (at most 16; none at first) written to standard error when a
// signal ends the program from now on, so that a line drawn in place is
// erased before the shell's prompt takes its place. Signals the program
// catches otherwise, or that are ignored, are left as they are.
void set_last_words(std::string_view words);

// Where unquarnel --output writes. A regular file, or a missing one, is
// written as a new temporary file in the folder of the file the name finally
// stands for, which takes its place only at commit_output_file; until then
// the file is as it was, locked against other runs, and a signal that ends
// the program leaves no temporary file behind. Anything else (a device, a
// FIFO) is written directly.
struct OutputFile {
  int handle = -1;  // -1 when it could not be opened
  bool replaces = false;
  FileProblem problem = FileProblem::none;
  int error = 0;                         // the system's reason for the problem
  int folder = -1;                       // where the platform has folder handles
  int locked = -1;                       // the file replaced, held locked
  bool named = false;                    // the temporary file has a name yet
  std::array<char, 4096> folder_name{};  // for messages
  std::array<char, 4096> temporary{};    // its name, once it has one
  std::array<char, 4096> target{};       // the file it replaces, in folder
};

[[nodiscard]] bool open_output_file(const char* name, OutputFile& file);

// Flushes the temporary file to disk, puts it in the place of the file and
// flushes the folder. False with file.problem set when any of that failed;
// the temporary file is then gone.
[[nodiscard]] bool commit_output_file(OutputFile& file);

// Closes the output and removes the temporary file.
void discard_output_file(OutputFile& file);

// The folder that temporary files of records go to, for messages.
[[nodiscard]] std::string_view spool_folder();

// A temporary file to write and read back, gone once closed. Returns -1 on
// failure.
[[nodiscard]] int create_spool_file();

// Whether the handle is a terminal, for colours that only a person sees.
[[nodiscard]] bool is_terminal(int handle);

// When a file was last changed, as diff -u writes it: local time,
// "YYYY-MM-DD HH:MM:SS.NNNNNNNNN +ZZZZ"; for a pipe or terminal, the time
// now.
[[nodiscard]] std::string_view modification_time(int handle);

// Writes every piece, in order, retrying interrupted and partial writes.
// False when the output failed.
[[nodiscard]] bool write_all(int handle, std::span<const std::string_view> pieces);

}  // namespace quarnel
