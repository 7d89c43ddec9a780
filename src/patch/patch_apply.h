// Writes the checked records into the file to patch, after keeping every
// byte it overwrites in the file's journal, so that a failed write or a stop
// signal puts the file back as it was, and a run killed midway leaves a
// journal that rolls it back.
#pragma once

#include "patch/patch_writer.h"
#include "platform/platform.h"

namespace quarnel {

enum class PatchStatus {
  done,           // every record written, flushed to disk, and the journal removed
  records_error,  // the temporary file of records could not be read
  journal_error,  // the journal could not be written or flushed; the file was not written
  read_error,     // the file's old bytes could not be read
  write_error,    // a write into the file, or its flush to disk, failed
  interrupted,    // a signal that ends the program came
  guard_failed,   // the file does not hold what a record expects; nothing was written
  commit_error,   // the journal could not be removed, so the patch was rolled back
  commit_unsure,  // patched, but the journal's removal could not be flushed to disk
};

struct PatchOutcome {
  PatchStatus status;
  bool restored;           // unless done: the file holds its old bytes and length again
  bool length_changed;     // another process changed the file's length: it was not cut back
  int signal;              // with interrupted, its number
  PatchRecord record{};    // with guard_failed, the record the file does not match
  int error = 0;           // the system's reason for the failure, where a call gave one
  bool untouched = false;  // the file was only read: it is as it was
};

// Writes every record of records (from its start) into the file, whose
// journal target.journal is open and empty. The caller has called
// catch_ending_signals.
[[nodiscard]] PatchOutcome apply_patch(int records, PatchFile& target);

}  // namespace quarnel
