#include "programs/unquarnel/undump_report.h"

#include <array>
#include <charconv>

#include "io/dump_line.h"

namespace quarnel {

void say_undump(std::initializer_list<std::string_view> pieces) { say(undump_program, pieces); }

int write_error(std::string_view name, int error) {
  say_failed(undump_program, {name, ": write error"}, error);
  return 1;
}

namespace {

constexpr const ProgramText& program = undump_program;

void say(std::initializer_list<std::string_view> pieces) { say_undump(pieces); }

// What went wrong in the writing of the file, and the file's state after.
int report_patch(const Dumps& dumps, const char* file, const PatchOutcome& outcome,
                 std::string_view journal, bool journal_kept) {
  switch (outcome.status) {
    case PatchStatus::done:
      return 0;
    case PatchStatus::guard_failed: {
      // The diff was made from another file, or was applied already:
      // nothing was written.
      const PatchRecord& record = outcome.record;
      std::array<char, 24> line{};
      const char* line_end_at = std::to_chars(line.begin(), line.end(), record.line).ptr;
      std::array<char, 16> digits{};
      const std::size_t size = address_text(record.address, digits);
      say({dumps.name(record.input), ":",
           std::string_view(line.data(), static_cast<std::size_t>(line_end_at - line.data())), ": ",
           file,
           record.kind == RecordKind::expect ? " does not hold these bytes at "
           : record.kind == RecordKind::move || record.kind == RecordKind::expect_sum
               ? " does not hold the bytes the diff moves from "
               : " does not end at ",
           std::string_view(digits.data(), size)});
      return 1;
    }
    case PatchStatus::records_error:
      say_failed(program, {"temporary file: read error"}, outcome.error);
      break;
    case PatchStatus::journal_error:
      say_failed(program, {journal, ": write error"}, outcome.error);
      break;
    case PatchStatus::commit_error:
      say_failed(program, {journal, ": cannot remove"}, outcome.error);
      break;
    case PatchStatus::commit_unsure:
      say_failed(program,
                 {file, ": patched, but the removal of its journal could not be flushed to disk"},
                 outcome.error);
      return 1;
    case PatchStatus::read_error:
      say_failed(program, {file, ": read error"}, outcome.error);
      break;
    case PatchStatus::write_error:
      say_failed(program, {file, ": write error"}, outcome.error);
      break;
    case PatchStatus::interrupted:
      say({file, ": interrupted by a signal"});
      break;
  }
  if (!outcome.restored && journal_kept) {
    say({file, ": could not be restored: it is partly patched; unquarnel --recover ", file,
         " rolls it back from ", journal});
  } else {
    say({file, !outcome.restored        ? ": could not be restored: it is partly patched"
               : outcome.untouched      ? ": left as it was"
               : outcome.length_changed ? ": its old bytes are back, but another process changed "
                                          "its length, which is left as it is"
                                        : ": restored as it was"});
  }
  if (outcome.restored && journal_kept && outcome.status != PatchStatus::commit_error) {
    say({journal, ": cannot remove: it is left, and would write back only what the file holds"});
  }
  return outcome.status == PatchStatus::interrupted ? 128 + outcome.signal : 1;
}

// Says what a recovery did, or why it could not; the exit status.
int report_recovery(const char* file, std::string_view journal, Recovery recovery, bool asked) {
  switch (recovery.status) {
    case RecoveryStatus::nothing:
      if (asked) {
        say({file, ": no interrupted patch to roll back"});
      }
      return 0;
    case RecoveryStatus::unbegun:
      say({file, ": an interrupted patch had not begun to write it: removed its journal ",
           journal});
      return 0;
    case RecoveryStatus::rolled_back:
      say({file, ": rolled back an interrupted patch: it is as it was before it"});
      return 0;
    case RecoveryStatus::removed_created:
      say({file, ": removed the file that an interrupted patch was creating"});
      return 0;
    case RecoveryStatus::in_use:
      say({file, ": in use by another process"});
      return 1;
    case RecoveryStatus::cannot_open:
      say_failed(program, {journal, ": cannot open"}, recovery.error);
      return 1;
    case RecoveryStatus::not_a_journal:
      say({journal, ": not a journal of unquarnel's: left as it is"});
      return 1;
    case RecoveryStatus::damaged:
      say({journal, ": damaged (its checksum fails): left as it is"});
      return 1;
    case RecoveryStatus::other_file:
      say({journal, ": the journal of another file (or ", file,
           " was replaced since): left as it is"});
      return 1;
    case RecoveryStatus::missing_file:
      say({journal, ": the file it belongs to is gone: left as it is"});
      return 1;
    case RecoveryStatus::new_file_written:
      say({journal, ": ", file,
           ", which an interrupted patch was creating, holds bytes it did not write: left as it "
           "is"});
      return 1;
    case RecoveryStatus::failed:
      say_failed(program, {journal, ": cannot roll back"}, recovery.error);
      say({file, ": not rolled back to the end; unquarnel --recover ", file, " tries again"});
      return 1;
  }
  return 1;
}

}  // namespace

// Says what kept a file from being opened, patched or replaced.
int file_problem(const char* file, FileProblem problem, int error) {
  switch (problem) {
    case FileProblem::none:
      break;
    case FileProblem::cannot_open:
      say_failed(program, {file, ": cannot open"}, error);
      break;
    case FileProblem::in_use:
      say({file, ": in use by another process"});
      break;
    case FileProblem::stream:
      say({file, ": cannot patch a pipe, socket or terminal"});
      break;
    case FileProblem::cannot_create:
      say_failed(program, {"temporary file in ", file, ": cannot create"}, error);
      break;
    case FileProblem::cannot_replace:
      say_failed(program, {file, ": cannot replace"}, error);
      break;
  }
  return 1;
}

int report_undump(std::string_view name, const UndumpResult& result) {
  const auto failed = [&](std::initializer_list<std::string_view> pieces) {
    say(pieces);
    return 1;
  };
  std::array<char, 24> digits{};
  const char* end = std::to_chars(digits.begin(), digits.end(), result.line).ptr;
  const std::string_view line(digits.data(), static_cast<std::size_t>(end - digits.data()));
  switch (result.status) {
    case UndumpStatus::ok:
      break;
    case UndumpStatus::bad_line:
      // An empty text is no dump of an empty file, which has its end line.
      if (result.error == ReadError::no_dump) {
        return failed({name, ": ", message(result.error)});
      }
      if (result.error == ReadError::ambiguous) {
        const std::string_view first = reading_name(result.readings[0]);
        const std::string_view second = reading_name(result.readings[1]);
        return failed({name, ":", line, ": this reads as ", first, " or as ", second,
                       result.places_only ? ", which put the bytes in different places"
                                          : ", which give different bytes",
                       ": name one with --from=", first, " or --from=", second});
      }
      if (result.error == ReadError::column_fits_none) {
        const std::string_view first = reading_name(result.readings[0]);
        const std::string_view second = reading_name(result.readings[1]);
        return failed({name, ":", line, ": the character column shows the bytes neither as ", first,
                       " nor as ", second,
                       " reads them (was a byte edited?): name one with --from=", first,
                       " or --from=", second});
      }
      return failed(
          {name, ":", line, ": ", result.problem.empty() ? message(result.error) : result.problem});
    case UndumpStatus::read_error:
      say_failed(program, {name, ": read error"}, result.system_error);
      return 1;
    case UndumpStatus::write_error:
      return -1;
    case UndumpStatus::not_a_diff:
      say({name, ": --reverse undoes a diff, and this is none"});
      return 2;
  }
  return 0;
}

int report_session(const Dumps& dumps, const char* file, const SessionResult& result, bool asked) {
  if (result.recovered) {
    if (const int status = report_recovery(file, result.journal, result.recovery, asked);
        status != 0 || result.failure == SessionFailure::none) {
      return status;
    }
  }
  switch (result.failure) {
    case SessionFailure::none:
      break;
    case SessionFailure::file:
      return file_problem(result.name, result.problem, result.error);
    case SessionFailure::device_journaled:
      say({file,
           ": a device is patched only with --no-journal: no journal beside it would "
           "outlive a reboot"});
      return 1;
    case SessionFailure::spool_create:
      say_failed(program, {"temporary file in ", spool_folder(), ": cannot create"}, result.error);
      return 1;
    case SessionFailure::journal_create:
      say_failed(program, {result.journal, ": cannot create"}, result.error);
      say({file, ": not patched; --no-journal patches it without a journal"});
      return 1;
    case SessionFailure::journal_write:
      say_failed(program, {result.journal, ": write error"}, result.error);
      return 1;
    case SessionFailure::not_regular:
      say({file, ": a diff that moves bytes is applied only to a regular file"});
      return 1;
    case SessionFailure::replaced:
      say({file, ": replaced by another file meanwhile: not patched"});
      return 1;
    case SessionFailure::patch:
      return report_patch(dumps, file, result.outcome, result.journal, result.journal_kept);
    case SessionFailure::write:
      return write_error(file, result.error);
  }
  return 0;
}

}  // namespace quarnel
