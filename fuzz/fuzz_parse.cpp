// Splits the fuzz input at NUL bytes into an argument vector, parses it, and
// checks what the settings must hold whatever the arguments are.
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/parse_command_line.h"

namespace {

void check(bool holds) {
  if (!holds) {
    std::abort();
  }
}

bool is_help(const std::string& arg) { return arg == "-h" || arg == "-H"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  std::vector<std::string> args{"quarnel"};
  std::string arg;
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] == 0) {
      args.push_back(arg);
      arg.clear();
    } else {
      arg.push_back(static_cast<char>(bytes[i]));
    }
  }
  args.push_back(arg);
  std::vector<const char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& text : args) {
    argv.push_back(text.c_str());
  }
  argv.push_back(nullptr);

  RunSettings settings;
  const bool help = parse_command_line(static_cast<int>(args.size()), argv.data(), settings);
  check(help == settings.help_requested);

  // The switches run up to the first argument that does not begin with "-";
  // help is asked for exactly when one of them is -h or -H.
  std::size_t first_name = 1;
  bool help_switch = false;
  for (; first_name < args.size() && args[first_name].starts_with("-"); ++first_name) {
    help_switch = help_switch || is_help(args[first_name]);
  }
  check(help == help_switch);
  if (help) {
    return 0;
  }
  const std::size_t names = args.size() - first_name;
  check(settings.input_count == std::min<std::size_t>(names, max_inputs));
  for (std::size_t i = 0; i < settings.input_count; ++i) {
    check(settings.input_names[i] == argv[first_name + i]);
  }
  check(settings.first_dropped_name ==
        (names > max_inputs ? argv[first_name + max_inputs] : nullptr));
  // Without any offset switch the offset stays 0.
  bool offset_switch = false;
  for (std::size_t i = 1; i < first_name; ++i) {
    const char second = args[i].size() > 1 ? args[i][1] : '\0';
    offset_switch =
        offset_switch || second == 'x' || second == 'X' || (second >= '0' && second <= '9');
  }
  check(offset_switch || settings.start_offset == 0);
  return 0;
}
