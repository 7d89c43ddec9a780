// Writes the checked records into the file to patch, keeping every byte it
// overwrites first, so that a failed write or a stop signal puts the file
// back as it was.
#pragma once

#include "patch/patch_writer.h"

namespace quarnel {

enum class PatchStatus {
  done,           // every record written, and flushed to disk
  records_error,  // the temporary file of records could not be read
  undo_error,     // the temporary file of old bytes could not be written
  read_error,     // the file's old bytes could not be read
  write_error,    // a write into the file, or its flush to disk, failed
  interrupted,    // a signal that ends the program came
  guard_failed,   // the file does not hold what a record expects; nothing was written
};

struct PatchOutcome {
  PatchStatus status;
  bool restored;         // unless done: the file holds its old bytes and length again
  bool length_changed;   // another process changed the file's length: it was not cut back
  int signal;            // with interrupted, its number
  PatchRecord record{};  // with guard_failed, the record the file does not match
  int error = 0;         // the system's reason for the failure, where a call gave one
};

// Writes every record of records (from its start) into file; undo is an
// empty temporary file for the old bytes. The caller has called
// catch_ending_signals.
[[nodiscard]] PatchOutcome apply_patch(int records, int file, int undo);

}  // namespace quarnel
