#include "programs/quarnel-view/run_view.h"

#include <cstdint>
#include <string_view>

#include "front/messages.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "programs/quarnel-view/view_options.h"
#include "view/save_edits.h"
#include "view/view_session.h"

namespace quarnel {
namespace {

constexpr ProgramText program{
    "quarnel-view", "usage: quarnel-view [--write] [--color[=WHEN]] [--] [FILE | OLD NEW]",
    "       quarnel-view --help | --version", "quarnel-view " QUARNEL_VERSION};

// Whether the file holds bytes past the length it reports, as the files in
// /proc and /sys do: such a file is read to its end as it comes.
bool longer_than_told(int handle, std::uint64_t length) {
  std::uint8_t byte = 0;
  const ReadResult got = read_at(handle, length, std::span(&byte, 1));
  return got.status == ReadStatus::data && got.count > 0;
}

// Opens the file named (standard input for null or "-") into document; a
// stream is kept in a temporary file, read as it arrives or, with whole,
// to its end first. Returns 0, or the exit status after saying why not.
int open_shown(const char* name, bool write, bool whole, Document& document) {
  const bool standard = name == nullptr || std::string_view(name) == "-";
  document.name = standard ? "(standard input)" : name;
  const int handle = standard ? standard_input : open_input(name);
  if (handle < 0) {
    say_failed(program, {document.name, ": cannot open"}, last_error());
    return 1;
  }
  const std::int64_t told = file_length(handle);
  const std::uint64_t length = told > 0 ? static_cast<std::uint64_t>(told) : 0;
  const bool regular = is_regular_file(handle);
  if (!may_wait(handle) && !(regular && longer_than_told(handle, length)) &&
      (regular || length > 0)) {
    open_document(document, handle, length);
    document.read_only = whole || (!regular && !write);
    return 0;
  }
  const int spool = create_spool_file();
  if (spool < 0) {
    say_failed(program, {"cannot make a temporary file in ", spool_folder()}, last_error());
    return 1;
  }
  open_document(document, spool, 0);
  document.incoming = handle;
  document.read_only = true;
  if (whole && !take_all_incoming(document)) {
    say_failed(program, {document.name, ": read error"}, document.error);
    return 1;
  }
  return 0;
}

}  // namespace

int run_view(int argc, const char* const argv[]) {
  const ViewOptions options = read_options(argc, argv, parse_view_options);
  if (const std::optional<int> status = answer(program, options.asked, 2)) {
    return *status;
  }
  if (!is_terminal(standard_output)) {
    say(program, {"standard output is not a terminal; quarnel and quarnel-as write dumps to "
                  "files and pipes"});
    return 2;
  }
  const bool standard = options.file == nullptr || std::string_view(options.file) == "-";
  if (standard && is_terminal(standard_input)) {
    say(program, {"no file named, and standard input is a terminal"});
    say(program, {program.usage.substr(std::string_view("usage: ").size())});
    return 2;
  }
  static Document document;
  static Document new_document;
  const bool comparing = options.new_file != nullptr;
  if (const int status = open_shown(options.file, options.write, comparing, document);
      status != 0) {
    return status;
  }
  if (comparing) {
    if (const int status = open_shown(options.new_file, false, true, new_document); status != 0) {
      return status;
    }
  }
  ViewSettings settings;
  settings.key_input = open_terminal_input();
  settings.colors = colors_output(options.color);
  if (settings.key_input < 0) {
    say_failed(program, {"no terminal to read keys from"}, last_error());
    return 2;
  }
  const SessionEnd end = comparing ? compare_documents(document, new_document, settings)
                                   : view_document(document, settings);
  if (end == SessionEnd::no_terminal) {
    say(program, {"the terminal cannot be used: is TERM set to the terminal's name?"});
    return 2;
  }
  const int signal = ending_signal();
  return signal != 0 ? 128 + signal : 0;
}

}  // namespace quarnel
