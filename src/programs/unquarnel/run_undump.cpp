#include "programs/unquarnel/run_undump.h"

#include <array>
#include <charconv>
#include <initializer_list>
#include <span>
#include <string_view>

#include "front/messages.h"
#include "patch/journal.h"
#include "patch/patch_apply.h"
#include "patch/patch_rewrite.h"
#include "platform/platform.h"
#include "stream/undump_stream.h"
#include "programs/unquarnel/undump_options.h"

namespace quarnel {
namespace {

constexpr ProgramText program{
    "unquarnel",
    "usage: unquarnel [-p FILE | --patch FILE | --patch=FILE | -o FILE | --output FILE | "
    "--output=FILE] [--no-journal] [-R | --reverse] [--from=LAYOUT] [--] [DUMP...]",
    "       unquarnel --recover FILE | --help | --version", "unquarnel " QUARNEL_VERSION};

void say(std::initializer_list<std::string_view> pieces) { quarnel::say(program, pieces); }

int write_error(std::string_view name, int error) {
  say_failed(program, {name, ": write error"}, error);
  return 1;
}

// The dumps named on the command line; none stands for standard input, and
// so does "-".
struct Dumps {
  std::span<const char* const> names;
  [[nodiscard]] std::size_t count() const { return names.empty() ? 1 : names.size(); }
  [[nodiscard]] bool is_stdin(std::size_t i) const {
    return names.empty() || std::string_view(names[i]) == "-";
  }
  [[nodiscard]] std::string_view name(std::size_t i) const {
    return is_stdin(i) ? "stdin" : names[i];
  }
};

// Reads every dump in turn into the target. Returns the exit status after
// any message, or -1 when the target failed.
int undump_all(const Dumps& dumps, DumpReader& reader, UndumpTarget target) {
  for (std::size_t i = 0; i < dumps.count(); ++i) {
    if (target.diff != nullptr) {
      target.diff->input = static_cast<std::uint32_t>(i);
    }
    const std::string_view name = dumps.name(i);
    const int input = dumps.is_stdin(i) ? standard_input : open_input(dumps.names[i]);
    const int open_error = input < 0 ? last_error() : 0;
    // The bytes of the lines before a failure go out before its message.
    const auto fail = [&](std::initializer_list<std::string_view> pieces) {
      if (target.out != nullptr && !flush_output(*target.out)) {
        return -1;
      }
      say(pieces);
      return 1;
    };
    if (input < 0) {
      return fail({name, ": cannot open: ", error_text(open_error)});
    }
    // Bytes written so far may have made the dump grow: they go out first.
    const bool flushed = target.out == nullptr || flush_output(*target.out);
    const bool own_output =
        flushed && target.out != nullptr && is_own_output(input, standard_output);
    UndumpResult result = flushed && !own_output
                              ? undump_stream(input, reader, target)
                              : UndumpResult{UndumpStatus::write_error, ReadError::none, 0};
    if (!dumps.is_stdin(i)) {
      close_handle(input);
    }
    if (own_output) {
      return fail({name, ": input is output"});
    }
    // The dumps must end with their last line, unless lines stand alone.
    if (const ReadStep end = reader.finish(); result.status == UndumpStatus::ok &&
                                              i + 1 == dumps.count() &&
                                              end.error != ReadError::none) {
      result = {UndumpStatus::bad_line, end.error, end.line};
    }
    std::array<char, 24> digits{};
    const char* end = std::to_chars(digits.begin(), digits.end(), result.line).ptr;
    const std::string_view line(digits.data(), static_cast<std::size_t>(end - digits.data()));
    switch (result.status) {
      case UndumpStatus::ok:
        break;
      case UndumpStatus::bad_line:
        // An empty text is no dump of an empty file, which has its end line.
        if (result.error == ReadError::no_dump) {
          return fail({name, ": ", message(result.error)});
        }
        if (result.error == ReadError::ambiguous) {
          const std::string_view first = reading_name(result.readings[0]);
          const std::string_view second = reading_name(result.readings[1]);
          return fail({name, ":", line, ": this reads as ", first, " or as ", second,
                       result.places_only ? ", which put the bytes in different places"
                                          : ", which give different bytes",
                       ": name one with --from=", first, " or --from=", second});
        }
        if (result.error == ReadError::column_fits_none) {
          const std::string_view first = reading_name(result.readings[0]);
          const std::string_view second = reading_name(result.readings[1]);
          return fail({name, ":", line, ": the character column shows the bytes neither as ", first,
                       " nor as ", second,
                       " reads them (was a byte edited?): name one with --from=", first,
                       " or --from=", second});
        }
        return fail({name, ":", line, ": ",
                     result.problem.empty() ? message(result.error) : result.problem});
      case UndumpStatus::read_error:
        if (target.out != nullptr && !flush_output(*target.out)) {
          return -1;
        }
        say_failed(program, {name, ": read error"}, result.system_error);
        return 1;
      case UndumpStatus::write_error:
        return -1;
      case UndumpStatus::not_a_diff:
        say({name, ": --reverse undoes a diff, and this is none"});
        return 2;
    }
  }
  return 0;
}

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
      std::array<char, 17> address{};
      const char* address_end =
          std::to_chars(address.begin(), address.end(), record.address, 16).ptr;
      const auto width = static_cast<std::size_t>(address_end - address.data());
      // Eight digits at least, upper case, as the dumps write them.
      std::array<char, 17> digits{};
      std::size_t size = 0;
      for (; size + width < 8; ++size) {
        digits[size] = '0';
      }
      for (std::size_t i = 0; i < width; ++i) {
        const char c = address[i];
        digits[size++] = c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c;
      }
      say({dumps.name(record.input), ":",
           std::string_view(line.data(), static_cast<std::size_t>(line_end_at - line.data())), ": ",
           file,
           record.kind == RecordKind::expect ? " does not hold these bytes at "
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
int report_recovery(const char* file, const PatchFile& target, Recovery recovery, bool asked) {
  const std::string_view journal = target.journal_name.data();
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

// Rolls back a patch of the file that was killed or lost its power midway.
// Devices and pipes are never patched with a journal: they have none.
int recover_file(const char* file, bool asked) {
  static PatchFile target;
  target = PatchFile{};
  // Before a patch or an output, a file that cannot be opened is left to
  // the open that writes it to report.
  if (!find_patch_file(file, target, FindMode::regular_only)) {
    close_patch_file(target);
    return asked ? file_problem(file, target.problem, target.error) : 0;
  }
  const Recovery recovery = recover_patch(target);
  close_patch_file(target);
  return report_recovery(file, target, recovery, asked);
}

// Opens the file to patch, rolled back first if a patch of it was killed
// since the last look, with an empty journal beside it. A missing file is
// created only after a journal that says so is on disk.
int open_target(const char* file, PatchFile& target, bool journaled) {
  target = PatchFile{};
  if (!find_patch_file(file, target, FindMode::any)) {
    return file_problem(file, target.problem, target.error);
  }
  if (const int status = report_recovery(file, target, recover_patch(target), false); status != 0) {
    return status;
  }
  if (target.exists && !target.regular && journaled) {
    say({file,
         ": a device is patched only with --no-journal: no journal beside it would "
         "outlive a reboot"});
    return 1;
  }
  const JournalOpen how = journaled ? JournalOpen::create : JournalOpen::temporary;
  switch (open_journal(target, how)) {
    case JournalStatus::opened:
      break;
    case JournalStatus::missing:
    case JournalStatus::in_use:
      return file_problem(file, FileProblem::in_use, 0);
    case JournalStatus::failed:
      if (!journaled) {
        say_failed(program, {"temporary file in ", spool_folder(), ": cannot create"},
                   target.error);
        return 1;
      }
      say_failed(program, {target.journal_name.data(), ": cannot create"}, target.error);
      say({file, ": not patched; --no-journal patches it without a journal"});
      return 1;
  }
  if (target.exists) {
    return 0;
  }
  if (journaled && !journal_new_file(target)) {
    const int error = target.error;
    static_cast<void>(remove_journal(target));
    say_failed(program, {target.journal_name.data(), ": write error"}, error);
    return 1;
  }
  if (!create_patch_file(target)) {
    static_cast<void>(remove_journal(target));
    return file_problem(file, target.problem, target.error);
  }
  return 0;
}

// A diff that moved bytes makes a new file, written beside the old one and
// put in its place when whole, as -o does: the old file is only read, so a
// failure, a signal or a crash leaves it as it was.
int rewrite_file(const Dumps& dumps, const char* file, int records) {
  catch_ending_signals();
  const int old_file = open_input(file);
  if (old_file < 0) {
    return file_problem(file, FileProblem::cannot_open, last_error());
  }
  if (!is_regular_file(old_file)) {
    close_handle(old_file);
    say({file, ": a diff that moves bytes is applied only to a regular file"});
    return 1;
  }
  static OutputFile out;
  out = OutputFile{};
  if (!open_output_file(file, out)) {
    close_handle(old_file);
    return file_problem(out.problem == FileProblem::cannot_create ? out.folder_name.data() : file,
                        out.problem, out.error);
  }
  // The file locked is the one read, not another put under its name since.
  FileIdentity read{};
  FileIdentity locked{};
  if (out.locked >= 0 && (!identify_file(old_file, read) || !identify_file(out.locked, locked) ||
                          read.device != locked.device || read.number != locked.number)) {
    close_handle(old_file);
    discard_output_file(out);
    say({file, ": replaced by another file meanwhile: not patched"});
    return 1;
  }
  const PatchOutcome outcome = rewrite_patch(records, old_file, out.handle);
  close_handle(old_file);
  if (outcome.status != PatchStatus::done) {
    discard_output_file(out);
    return report_patch(dumps, file, outcome, "temporary file", false);
  }
  if (!commit_output_file(out)) {
    return out.problem == FileProblem::cannot_replace ? file_problem(file, out.problem, out.error)
                                                      : write_error(file, out.error);
  }
  return 0;
}

// Reads and checks every dump to its end, keeping what they say in a
// temporary file, before the file to patch is opened for writing: a text
// with any error leaves the file as it was, and no dump is read twice.
int patch_file(const Dumps& dumps, const char* file, const UndumpOptions& options) {
  if (cannot_patch(file)) {
    return file_problem(file, FileProblem::stream, 0);
  }
  // A dump may be the file itself: it is read as it was before a patch
  // that was killed midway.
  if (const int status = recover_file(file, false); status != 0) {
    return status;
  }
  static PatchWriter records{-1};
  records.records = create_spool_file();
  if (records.records < 0) {
    const int error = last_error();
    say_failed(program, {"temporary file in ", spool_folder(), ": cannot create"}, error);
    return 1;
  }
  DumpReader reader(ReadMode::lines, options.reading);
  static DiffReader diff;
  diff.reverse = options.reverse;
  diff.reading = options.reading;
  int status = undump_all(dumps, reader, {.patch = &records, .diff = &diff});
  if (status == 0 && !flush_patch(records)) {
    status = -1;
  }
  if (status < 0) {
    say_failed(program, {"temporary file: write error"}, records.error);
    return 1;
  }
  if (status != 0) {
    return status;
  }
  if (records.moves) {
    return rewrite_file(dumps, file, records.records);
  }
  catch_ending_signals();
  static PatchFile target;
  status = open_target(file, target, options.journal);
  if (status != 0) {
    close_patch_file(target);
    return status;
  }
  const PatchOutcome outcome = apply_patch(records.records, target);
  const bool journal_kept = target.journal_named;
  close_patch_file(target);
  return report_patch(dumps, file, outcome,
                      options.journal ? target.journal_name.data() : "temporary file",
                      journal_kept);
}

}  // namespace

int run_undump(int argc, const char* const argv[]) {
  prepare_standard_streams();
  const std::span<const char* const> arguments = program_arguments(argc, argv);
  const int count = static_cast<int>(arguments.size());
  const char* const* words = arguments.data();
  const UndumpOptions options = parse_undump_options(count, words);
  if (const std::optional<int> status = answer(program, options.asked, 1)) {
    return *status;
  }
  const Dumps dumps{std::span(words + options.first_dump, words + count)};
  if (options.recover_file != nullptr) {
    return recover_file(options.recover_file, true);
  }
  if (options.patch_file != nullptr) {
    return patch_file(dumps, options.patch_file, options);
  }
  // A patch of the file that was killed midway is rolled back before the
  // file is replaced: its journal would not fit the new file.
  if (options.output_file != nullptr) {
    if (const int status = recover_file(options.output_file, false); status != 0) {
      return status;
    }
  }
  static OutputFile file;
  if (options.output_file != nullptr && !open_output_file(options.output_file, file)) {
    return file_problem(
        file.problem == FileProblem::cannot_create ? file.folder_name.data() : options.output_file,
        file.problem, file.error);
  }
  const std::string_view output_name =
      options.output_file != nullptr ? options.output_file : "stdout";
  static OutputWriter out{standard_output};
  out.fd = options.output_file != nullptr ? file.handle : standard_output;
  DumpReader reader(ReadMode::dumps, options.reading);
  int status = undump_all(dumps, reader, {.out = &out});
  status = status < 0 || !flush_output(out) ? write_error(output_name, out.error) : status;
  // The output file appears, or is replaced, only with every byte in it.
  if (options.output_file != nullptr) {
    if (status != 0) {
      discard_output_file(file);
    } else if (!commit_output_file(file)) {
      status = file.problem == FileProblem::cannot_replace
                   ? file_problem(options.output_file, file.problem, file.error)
                   : write_error(output_name, file.error);
    }
  }
  return status;
}

}  // namespace quarnel
