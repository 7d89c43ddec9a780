// Splits the fuzz input at NUL bytes into an argument vector, parses it, and
// checks what the settings must hold whatever the arguments are.
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "programs/quarnel/parse_command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  std::vector<std::string> args{"quarnel", ""};
  for (const std::uint8_t byte : std::span(bytes, size)) {
    if (byte == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(byte));
    }
  }
  std::vector<const char*> argv;
  argv.reserve(args.size());
  for (const std::string& text : args) {
    argv.push_back(text.c_str());
  }
  RunSettings settings;
  const bool help = parse_command_line(static_cast<int>(args.size()), argv.data(), settings);

  // The switches run up to the first argument that does not begin with "-";
  // help is asked for exactly when one of them is -h or -H; every argument
  // after them is a name, the first 256 stored in order.
  std::size_t first_name = 1;
  bool help_switch = false;
  for (; first_name < args.size() && args[first_name].starts_with("-"); ++first_name) {
    help_switch = help_switch || args[first_name] == "-h" || args[first_name] == "-H";
  }
  const std::size_t names = args.size() - first_name;
  bool holds = help == help_switch && help == settings.help_requested &&
               (help || settings.input_count == std::min(names, max_inputs));
  for (std::size_t i = 0; holds && !help && i < settings.input_count; ++i) {
    holds = settings.input_names[i] == argv[first_name + i];
  }
  if (!holds || (!help && settings.first_dropped_name !=
                              (names > max_inputs ? argv[first_name + max_inputs] : nullptr))) {
    std::abort();
  }
  return 0;
}
