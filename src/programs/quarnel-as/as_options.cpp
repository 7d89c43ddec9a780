// programs/quarnel-as/: bytes written in another tool's layout.
#include "programs/quarnel-as/as_options.h"

#include "front/color.h"
#include "layouts/layout_names.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace quarnel {
namespace {

// The widest line xxd -p and -i take: xxd reads the width as an int.
constexpr std::uint64_t most_long_columns = 2147483647;

// A count or offset: decimal, or hex after 0x; false when it is not one.
bool read_number(const char* text, std::uint64_t& number) {
  std::string_view digits = text != nullptr ? text : "";
  int base = 10;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    digits.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), number, base);
  return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
}

// Whether the option (its name, without a glued value) is among those the
// layout takes.
bool takes(std::string_view options, std::string_view option) {
  for (std::size_t at = 0; at < options.size();) {
    const std::size_t end = std::min(options.find(' ', at), options.size());
    if (options.substr(at, end - at) == option) {
      return true;
    }
    at = end + 1;
  }
  return false;
}

// Takes an option without a value. Returns why it is refused, or nothing.
std::string_view take_switch(AsOptions& options, std::string_view arg, std::string_view option) {
  LayoutSettings& settings = options.settings;
  if (option == "--color" || option == "--colour") {
    return read_color_option(arg, options.color) ? "" : "unknown option: ";
  }
  if (option == "--charset") {
    constexpr std::array<std::string_view, 3> names{"ascii", "latin1", "ebcdic"};
    const std::string_view chosen = arg.substr(std::min(arg.size(), option.size() + 1));
    const auto* found = std::find(names.begin(), names.end(), chosen);
    if (arg.size() == option.size() || found == names.end()) {
      return "option needs ascii, latin1 or ebcdic: ";
    }
    settings.charset = static_cast<CharacterSet>(found - names.begin());
    return "";
  }
  if (arg.size() != option.size()) {
    return "unknown option: ";
  }
  settings.upper = settings.upper || option == "-u";
  settings.little_endian = settings.little_endian || option == "-e";
  settings.bits = settings.bits || option == "-b";
  settings.squeeze =
      option == "-v" ? false : settings.squeeze || option == "-a" || option == "--squeeze";
  settings.capitals = settings.capitals || option == "-C";
  if (option == "-E") {
    settings.charset = CharacterSet::ebcdic;
  }
  if (option == "-d") {
    settings.radix = AddressRadix::decimal;
  }
  return "";
}

// Takes an option and its value. Returns why it is refused, or nothing.
std::string_view take_value(AsOptions& options, const char* text, std::string_view option) {
  LayoutSettings& settings = options.settings;
  std::uint64_t number = 0;
  if (option == "-n") {
    if (text == nullptr) {
      return "option needs a name: ";
    }
    settings.name = text;
    settings.name_as_is = true;
    options.named = true;
  } else if (option == "-A") {
    const std::string_view radix = text != nullptr ? text : "";
    if (radix.size() != 1 || std::string_view("xdon").find(radix[0]) == std::string_view::npos) {
      return "option needs x, d, o or n: ";
    }
    constexpr std::array<AddressRadix, 4> radices{AddressRadix::hex, AddressRadix::decimal,
                                                  AddressRadix::octal, AddressRadix::none};
    settings.radix = radices[std::string_view("xdon").find(radix[0])];
  } else if (option == "-s" && text != nullptr && text[0] == '-') {
    options.from_end = true;
    if (!read_number(text + 1, options.start)) {
      return "option needs an offset: ";
    }
  } else if (!read_number(text, number)) {
    return "option needs a number: ";
  } else if (option == "-s" || option == "-l" || option == "-o") {
    (option == "-s" ? options.start : option == "-l" ? options.length : options.added) = number;
  } else if (option == "-c" && (settings.layout == WrittenLayout::xxd_plain ||
                                settings.layout == WrittenLayout::xxd_c)) {
    // xxd -p and -i take any width; -p writes everything on one line for
    // 0, -i its own width.
    if (number > most_long_columns) {
      return "option takes 0 to 2147483647: ";
    }
    settings.columns = number > 0                                    ? static_cast<unsigned>(number)
                       : settings.layout == WrittenLayout::xxd_plain ? whole_line
                                                                     : 0;
  } else if (number == 0 && option == "-c" && settings.layout == WrittenLayout::xxd) {
    settings.columns = 0;  // xxd takes -c 0 for its own width
  } else if (number > most_layout_columns || (number == 0 && option != "-g")) {
    return "option takes 1 to 256: ";
  } else if (option == "-g") {
    settings.group = static_cast<int>(number);
  } else {
    settings.columns = static_cast<unsigned>(number);  // -c, -w
  }
  return "";
}

// Takes one option the layout takes. Returns why it is refused, or nothing.
std::string_view take_option(AsOptions& options, OptionWalk& walk, std::string_view arg,
                             std::string_view option) {
  constexpr std::array<std::string_view, 11> switches{
      "--color", "--colour", "--charset", "-u", "-e", "-b", "-d", "-a", "--squeeze", "-C", "-v"};
  if (option == "-E" || std::find(switches.begin(), switches.end(), option) != switches.end()) {
    return take_switch(options, arg, option);
  }
  return take_value(options, option_value(walk, arg, option, "").value, option);
}

}  // namespace

AsOptions parse_as_options(int argc, const char* const argv[]) {
  AsOptions options;
  if (argc < 2) {
    return refused(options, "a layout to write", "");
  }
  const std::string_view name = argv[1];
  if (asks_help_or_version(name, options.asked)) {
    return options;
  }
  const LayoutName* layout = layout_named(name);
  if (layout == nullptr) {
    return refused(options, unknown_layout_problem(), argv[1]);
  }
  options.quarnel = name == "quarnel";
  LayoutSettings& settings = options.settings;
  settings.layout = layout->written;
  settings.radix = layout->radix;
  settings.little_endian = layout->little_endian;
  settings.squeeze =
      layout->written == WrittenLayout::hexdump || layout->written == WrittenLayout::od;
  OptionWalk walk{argc, argv, 2};
  for (std::string_view arg; next_option(walk, arg, options.asked);) {
    if (read_progress_option(arg, options.progress)) {
      continue;
    }
    const std::string_view option = arg.substr(0, arg.starts_with("--") ? arg.find('=') : 2);
    if (option != "-s" && option != "-l" && !takes(layout->options, option)) {
      return refused(options, "option not taken by this layout: ", argv[walk.at]);
    }
    if (const std::string_view problem = take_option(options, walk, arg, option);
        !problem.empty()) {
      return refused(options, problem, argv[walk.at]);
    }
  }
  if (options.asked.request != Request::run) {
    return options;
  }
  // The arrays' names made of file names are checked with each file.
  LayoutSettings checked = settings;
  if ((settings.layout == WrittenLayout::cpp || settings.layout == WrittenLayout::rust) &&
      !options.named) {
    checked.name = "made";
  }
  if (const LayoutError error = check_layout(checked); error != LayoutError::none) {
    return refused(options, message(error), "");
  }
  options.files = std::span(argv + walk.next, static_cast<std::size_t>(argc - walk.next));
  return options;
}

}  // namespace quarnel
