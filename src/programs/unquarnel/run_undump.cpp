#include "programs/unquarnel/run_undump.h"

#include <initializer_list>
#include <span>
#include <string_view>

#include "front/progress.h"
#include "platform/platform.h"
#include "programs/unquarnel/undump_options.h"
#include "programs/unquarnel/undump_report.h"

namespace quarnel {
namespace {

// The dumps' bytes in order, to standard output or a file written anew.
struct ToOutput {
  OutputWriter& out;
  DumpReader& reader;
  [[nodiscard]] UndumpResult read(int input, std::size_t /*dump*/) const {
    return undump_stream(input, reader, out);
  }
  [[nodiscard]] bool flush() const { return flush_output(out); }
  [[nodiscard]] static bool is_output(int input) { return is_own_output(input, standard_output); }
};

// The dumps' bytes with their addresses, and the diffs' records, to the
// records of a patch.
struct ToRecords {
  PatchWriter& records;
  DiffReader& diff;
  DumpReader& reader;
  [[nodiscard]] UndumpResult read(int input, std::size_t dump) const {
    diff.input = static_cast<std::uint32_t>(dump);
    return undump_stream(input, reader, records, diff);
  }
  [[nodiscard]] static bool flush() { return true; }
  [[nodiscard]] static bool is_output(int /*input*/) { return false; }
};

// Reads every dump in turn into the sink. Returns the exit status after
// any message, or -1 when the sink failed.
template <class Sink>
int undump_all(const Dumps& dumps, DumpReader& reader, const Sink& sink) {
  for (std::size_t i = 0; i < dumps.count(); ++i) {
    const std::string_view name = dumps.name(i);
    progress_file(name);
    const int input = dumps.is_stdin(i) ? standard_input : open_input(dumps.names[i]);
    const int open_error = input < 0 ? last_error() : 0;
    // The bytes of the lines before a failure go out before its message.
    const auto fail = [&](std::initializer_list<std::string_view> pieces) {
      if (!sink.flush()) {
        return -1;
      }
      say_undump(pieces);
      return 1;
    };
    if (input < 0) {
      return fail({name, ": cannot open: ", error_text(open_error)});
    }
    // Bytes written so far may have made the dump grow: they go out first.
    const bool flushed = sink.flush();
    const bool own_output = flushed && Sink::is_output(input);
    UndumpResult result = flushed && !own_output
                              ? sink.read(input, i)
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
    if (result.status == UndumpStatus::ok) {
      continue;
    }
    if ((result.status == UndumpStatus::bad_line || result.status == UndumpStatus::read_error) &&
        !sink.flush()) {
      return -1;
    }
    return report_undump(name, result);
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
  if (const int status = report_session(dumps, file, recover_file(file, false), false);
      status != 0) {
    return status;
  }
  static PatchWriter records{-1};
  records.records = create_spool_file();
  if (records.records < 0) {
    const int error = last_error();
    say_failed(undump_program, {"temporary file in ", spool_folder(), ": cannot create"}, error);
    return 1;
  }
  DumpReader reader(ReadMode::lines, options.reading);
  static DiffReader diff;
  diff.reverse = options.reverse;
  diff.reading = options.reading;
  int status = undump_all(dumps, reader, ToRecords{records, diff, reader});
  if (status == 0 && !flush_patch(records)) {
    status = -1;
  }
  if (status < 0) {
    say_failed(undump_program, {"temporary file: write error"}, records.error);
    return 1;
  }
  if (status != 0) {
    return status;
  }
  catch_ending_signals();
  return report_session(dumps, file,
                        patch_from_records(file, records.records, records.moves, options.journal),
                        false);
}

}  // namespace

int run_undump(int argc, const char* const argv[]) {
  const UndumpOptions options = read_options(argc, argv, parse_undump_options);
  if (const std::optional<int> status = answer(undump_program, options.asked, 1)) {
    return *status;
  }
  const Dumps dumps{options.dumps};
  const ProgressLine progress(undump_program.name, options.progress,
                              length_of_files(options.dumps));
  if (options.recover_file != nullptr) {
    return report_session(dumps, options.recover_file, recover_file(options.recover_file, true),
                          true);
  }
  if (options.patch_file != nullptr) {
    return patch_file(dumps, options.patch_file, options);
  }
  // A patch of the file that was killed midway is rolled back before the
  // file is replaced: its journal would not fit the new file.
  if (options.output_file != nullptr) {
    if (const int status = report_session(dumps, options.output_file,
                                          recover_file(options.output_file, false), false);
        status != 0) {
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
  int status = undump_all(dumps, reader, ToOutput{out, reader});
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
