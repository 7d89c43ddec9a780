#include "patch/patch_session.h"

#include "patch/patch_rewrite.h"

#include <algorithm>
#include <array>
#include <span>

namespace quarnel {
namespace {

SessionResult file_failure(const char* name, FileProblem problem, int error) {
  return {.failure = SessionFailure::file, .problem = problem, .name = name, .error = error};
}

// Opens the file to patch, rolled back first if a patch of it was killed
// since the last look, with an empty journal beside it. A missing file is
// created only after a journal that says so is on disk.
SessionResult open_target(const char* file, PatchFile& target, bool journaled) {
  target = PatchFile{};
  if (!find_patch_file(file, target, FindMode::any)) {
    return file_failure(file, target.problem, target.error);
  }
  SessionResult result{
      .recovered = true, .recovery = recover_patch(target), .journal = target.journal_name.data()};
  const auto failed = [&](SessionFailure failure, int error) {
    result.failure = failure;
    result.error = error;
    return result;
  };
  if (!recovery_done(result.recovery)) {
    return result;
  }
  if (target.exists && !target.regular && journaled) {
    return failed(SessionFailure::device_journaled, 0);
  }
  const JournalOpen how = journaled ? JournalOpen::create : JournalOpen::temporary;
  switch (open_journal(target, how)) {
    case JournalStatus::opened:
      break;
    case JournalStatus::missing:
    case JournalStatus::in_use:
      result.problem = FileProblem::in_use;
      result.name = file;
      return failed(SessionFailure::file, 0);
    case JournalStatus::failed:
      return failed(journaled ? SessionFailure::journal_create : SessionFailure::spool_create,
                    target.error);
  }
  if (target.exists) {
    return result;
  }
  if (journaled && !journal_new_file(target)) {
    const int error = target.error;
    static_cast<void>(remove_journal(target));
    return failed(SessionFailure::journal_write, error);
  }
  if (!create_patch_file(target)) {
    static_cast<void>(remove_journal(target));
    result.problem = target.problem;
    result.name = file;
    return failed(SessionFailure::file, target.error);
  }
  return result;
}

// Records that move bytes make a new file, written beside the old one and
// put in its place when whole, as -o does: the old file is only read, so a
// failure, a signal or a crash leaves it as it was.
SessionResult rewrite_file(const char* file, int records) {
  const int old_file = open_input(file);
  if (old_file < 0) {
    return file_failure(file, FileProblem::cannot_open, last_error());
  }
  if (!is_regular_file(old_file)) {
    close_handle(old_file);
    return {.failure = SessionFailure::not_regular};
  }
  static OutputFile out;
  out = OutputFile{};
  if (!open_output_file(file, out)) {
    close_handle(old_file);
    return file_failure(out.problem == FileProblem::cannot_create ? out.folder_name.data() : file,
                        out.problem, out.error);
  }
  // The file locked is the one read, not another put under its name since.
  FileIdentity read{};
  FileIdentity locked{};
  if (out.locked >= 0 && (!identify_file(old_file, read) || !identify_file(out.locked, locked) ||
                          read.device != locked.device || read.number != locked.number)) {
    close_handle(old_file);
    discard_output_file(out);
    return {.failure = SessionFailure::replaced};
  }
  const PatchOutcome outcome = rewrite_patch(records, old_file, out.handle);
  close_handle(old_file);
  if (outcome.status != PatchStatus::done) {
    discard_output_file(out);
    return {.failure = SessionFailure::patch, .outcome = outcome, .journal = "temporary file"};
  }
  if (!commit_output_file(out)) {
    return out.problem == FileProblem::cannot_replace
               ? file_failure(file, out.problem, out.error)
               : SessionResult{.failure = SessionFailure::write, .error = out.error};
  }
  return {};
}

}  // namespace

SessionResult recover_file(const char* file, bool asked) {
  static PatchFile target;
  target = PatchFile{};
  // Before a patch or an output, a file that cannot be opened is left to
  // the open that writes it to report.
  if (!find_patch_file(file, target, FindMode::regular_only)) {
    close_patch_file(target);
    return asked ? file_failure(file, target.problem, target.error) : SessionResult{};
  }
  const Recovery recovery = recover_patch(target);
  close_patch_file(target);
  return {.recovered = true, .recovery = recovery, .journal = target.journal_name.data()};
}

SessionResult patch_from_records(const char* file, int records, bool moves, bool journaled) {
  if (moves) {
    return rewrite_file(file, records);
  }
  static PatchFile target;
  SessionResult result = open_target(file, target, journaled);
  if (result.failure != SessionFailure::none || !recovery_done(result.recovery)) {
    close_patch_file(target);
    return result;
  }
  result.outcome = apply_patch(records, target);
  result.failure =
      result.outcome.status == PatchStatus::done ? SessionFailure::none : SessionFailure::patch;
  result.journal_kept = target.journal_named;
  result.journal = journaled ? std::string_view(target.journal_name.data()) : "temporary file";
  close_patch_file(target);
  return result;
}

SessionResult write_anew(const char* file, ByteSource& source, const FileIdentity* was) {
  static OutputFile out;
  out = OutputFile{};
  if (!open_output_file(file, out)) {
    return file_failure(out.problem == FileProblem::cannot_create ? out.folder_name.data() : file,
                        out.problem, out.error);
  }
  FileIdentity locked{};
  if (was != nullptr && (out.locked < 0 || !identify_file(out.locked, locked) ||
                         locked.device != was->device || locked.number != was->number)) {
    discard_output_file(out);
    return {.failure = SessionFailure::replaced};
  }
  static std::array<std::uint8_t, std::size_t{1} << 20> block;
  for (std::uint64_t done = 0; done < source.length();) {
    const std::size_t size =
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), source.length() - done));
    PatchOutcome outcome{.status = PatchStatus::done,
                         .restored = true,
                         .length_changed = false,
                         .signal = ending_signal(),
                         .untouched = true};
    if (!source.read(done, std::span(block).first(size))) {
      outcome.status = PatchStatus::read_error;
      outcome.error = source.error();
    } else if (const std::string_view piece(reinterpret_cast<const char*>(block.data()), size);
               !write_all(out.handle, std::span(&piece, 1))) {
      outcome.status = PatchStatus::write_error;
      outcome.error = last_error();
    } else if (ending_signal() != 0) {
      outcome.status = PatchStatus::interrupted;
    }
    if (outcome.status != PatchStatus::done) {
      discard_output_file(out);
      return {.failure = SessionFailure::patch, .outcome = outcome, .journal = "temporary file"};
    }
    done += size;
  }
  if (!commit_output_file(out)) {
    return out.problem == FileProblem::cannot_replace
               ? file_failure(file, out.problem, out.error)
               : SessionResult{.failure = SessionFailure::write, .error = out.error};
  }
  return {};
}

}  // namespace quarnel
