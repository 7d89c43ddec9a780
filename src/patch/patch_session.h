// A patch of a file from its records, as one transaction: an interrupted
// patch of the file rolled back first, then the file opened with its
// journal beside it and patched in place, or, for records that move bytes,
// a new file written beside it and put in its place when whole. Each step
// ends in a result that the program reports.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "patch/journal.h"
#include "patch/patch_apply.h"
#include "platform/platform.h"

namespace quarnel {

// What kept the file from being patched.
enum class SessionFailure : std::uint8_t {
  none,
  file,              // problem and error say what, about name
  device_journaled,  // a device is patched only without a journal
  spool_create,      // the temporary file of an unjournaled patch could not be made: error
  journal_create,    // the journal could not be made: error
  journal_write,     // the journal of a file to create could not be written: error
  not_regular,       // records that move bytes apply only to a regular file
  replaced,          // another file was put under the name meanwhile
  patch,             // the patch failed: outcome says how, and the file's state
  write,             // the new file could not be written whole: error
};

struct SessionResult {
  SessionFailure failure = SessionFailure::none;
  FileProblem problem = FileProblem::none;
  const char* name = "";   // the file (or folder) the problem is about
  int error = 0;           // the system's reason
  bool recovered = false;  // an interrupted patch was looked for: recovery says what was found
  Recovery recovery{};
  PatchOutcome outcome{};
  std::string_view journal = {};  // the journal as messages name it
  bool journal_kept = false;      // the journal beside the file is still there
};

// Whether a look for an interrupted patch left the file free to patch.
[[nodiscard]] constexpr bool recovery_done(Recovery recovery) {
  return recovery.status == RecoveryStatus::nothing || recovery.status == RecoveryStatus::unbegun ||
         recovery.status == RecoveryStatus::rolled_back ||
         recovery.status == RecoveryStatus::removed_created;
}

// Rolls back a patch of the file that was killed or lost its power midway.
// A file that cannot be found is a failure only when asked; devices and
// pipes are never patched with a journal and have none to roll back.
[[nodiscard]] SessionResult recover_file(const char* file, bool asked);

// Patches file from the records in the temporary file records, with a
// journal beside it unless journaled is false; moves says that a record
// moves bytes, and the file is rewritten. The caller has caught the ending
// signals.
[[nodiscard]] SessionResult patch_from_records(const char* file, int records, bool moves,
                                               bool journaled);

// The bytes of a file written anew, from wherever the caller keeps them.
class ByteSource {
 public:
  [[nodiscard]] virtual std::uint64_t length() const = 0;
  // Reads into.size() bytes at offset; false when they could not be read.
  [[nodiscard]] virtual bool read(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
  // The system's reason for the last failed read.
  [[nodiscard]] virtual int error() const = 0;

 protected:
  ByteSource() = default;
  ByteSource(const ByteSource&) = default;
  ByteSource(ByteSource&&) = default;
  ByteSource& operator=(const ByteSource&) = default;
  ByteSource& operator=(ByteSource&&) = default;
  ~ByteSource() = default;
};

// Writes the source's bytes as a new file beside file and puts it in
// file's place when whole: a failure, a signal or a crash leaves the old
// file as it was. With was, the file under the name must still be that
// one (not one another program put there since). The caller has caught
// the ending signals.
[[nodiscard]] SessionResult write_anew(const char* file, ByteSource& source,
                                       const FileIdentity* was);

}  // namespace quarnel
