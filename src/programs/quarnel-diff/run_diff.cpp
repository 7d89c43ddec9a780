#include "programs/quarnel-diff/run_diff.h"

#include <array>
#include <span>
#include <string_view>

#include "diff/diff_stat.h"
#include "diff/write_diff.h"
#include "front/color.h"
#include "front/messages.h"
#include "front/progress.h"
#include "platform/platform.h"
#include "programs/quarnel-diff/diff_options.h"

namespace quarnel {
namespace {

constexpr ProgramText program{
    "quarnel-diff",
    "usage: quarnel-diff [-U N | --unified=N] [--same-offsets] [--stat] [--color[=WHEN]] "
    "[--progress[=WHEN]] [--] OLD "
    "NEW",
    "       quarnel-diff --help | --version", "quarnel-diff " QUARNEL_VERSION};

// A file to compare, open for reading anywhere: a pipe or terminal (and
// standard input, "-") is first copied into a temporary file.
struct Opened {
  int handle = -1;
  bool close = false;
  std::int64_t size = -1;
  int error = 0;  // why it could not be opened or read
};

Opened open_compared(const char* name) {
  const bool standard = std::string_view(name) == "-";
  Opened file{standard ? standard_input : open_input(name), !standard, -1};
  if (file.handle < 0) {
    file.error = last_error();
    return file;
  }
  if (!may_wait(file.handle)) {
    file.size = file_length(file.handle);
    return file;
  }
  const int spool = create_spool_file();
  if (spool < 0) {
    file.error = last_error();
    return file;
  }
  static std::array<std::uint8_t, 1 << 16> block;
  std::int64_t size = 0;
  int error = 0;
  for (;;) {
    const ReadResult got = read_block(file.handle, block);
    if (got.status == ReadStatus::error) {
      error = last_error();
      size = -1;
      break;
    }
    if (got.status == ReadStatus::end) {
      break;
    }
    const std::string_view piece(reinterpret_cast<const char*>(block.data()), got.count);
    if (!write_all(spool, std::span(&piece, 1))) {
      error = last_error();
      size = -1;
      break;
    }
    size += static_cast<std::int64_t>(got.count);
  }
  if (file.close) {
    close_handle(file.handle);
  }
  return {spool, true, size, error};
}

}  // namespace

int run_diff(int argc, const char* const argv[]) {
  const DiffOptions options = read_options(argc, argv, parse_diff_options);
  if (const std::optional<int> status = answer(program, options.asked, 2)) {
    return *status;
  }
  std::array<Opened, 2> files{};
  std::array<DiffFile, 2> compared{};
  static std::array<std::array<char, 64>, 2> times{};
  const std::array names{options.old_file, options.new_file};
  for (std::size_t i = 0; i < 2; ++i) {
    files[i] = open_compared(names[i]);
    if (files[i].handle < 0 || files[i].size < 0) {
      say_failed(program, {names[i], files[i].handle < 0 ? ": cannot open" : ": read error"},
                 files[i].error);
      return 2;
    }
    const std::string_view time = modification_time(files[i].handle);
    const std::size_t size = time.copy(times[i].data(), times[i].size());
    compared[i] = {files[i].handle, static_cast<std::uint64_t>(files[i].size), names[i],
                   std::string_view(times[i].data(), size)};
  }
  const ProgressLine progress(program.name, options.progress, compared[0].size + compared[1].size);
  progress_file(options.new_file);
  const bool color = colors_output(options.color);
  static OutputWriter out{standard_output};
  const DiffSettings settings{
      .context = options.context, .color = color, .same_offsets = options.same_offsets};
  const DiffOutcome outcome = options.stat
                                  ? write_diff_stat(compared[0], compared[1], settings, out)
                                  : write_dump_diff(compared[0], compared[1], settings, out);
  for (const Opened& file : files) {
    if (file.close) {
      close_handle(file.handle);
    }
  }
  switch (outcome.result) {
    case DiffResult::same:
      return 0;
    case DiffResult::differ:
      return 1;
    case DiffResult::read_error:
      say_failed(program, {options.old_file, " or ", options.new_file, ": read error"},
                 outcome.error);
      return 2;
    case DiffResult::write_error:
      say_failed(program, {"stdout: write error"}, out.error);
      return 2;
  }
  return 2;
}

}  // namespace quarnel
