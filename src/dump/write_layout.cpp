// Writing the other tools' layouts as bytes arrive: lines cut at the
// layout's width, each written once a byte after it shows whether it is
// the last (an array's last item has no comma, and xxd -a writes the last
// line whatever it holds); squeezed runs of lines; what opens and closes
// a dump.
#include <algorithm>
#include <array>
#include <cstring>

#include "dump/layout_fill.h"
#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {
inline namespace v1 {

namespace {

// The settings with the layout's own width and group filled in.
LayoutSettings resolved(LayoutSettings settings) {
  if (settings.columns == 0) {
    switch (settings.layout) {
      case WrittenLayout::xxd:
        settings.columns = settings.bits ? 6 : 16;
        break;
      case WrittenLayout::xxd_plain:
        settings.columns = 30;
        break;
      case WrittenLayout::xxd_c:
      case WrittenLayout::cpp:
      case WrittenLayout::rust:
        settings.columns = 12;
        break;
      case WrittenLayout::hexdump:
      case WrittenLayout::od:
      case WrittenLayout::hex:
        settings.columns = 16;
        break;
    }
  }
  if (settings.group < 0) {
    settings.group = settings.bits ? 1 : settings.little_endian ? 4 : 2;
  }
  if (settings.group == 0 || settings.group > static_cast<int>(settings.columns)) {
    settings.group = static_cast<int>(settings.columns);
  }
  return settings;
}

// The words that C++ and Rust keep for themselves, which name no array.
constexpr std::string_view cpp_keywords =
    " alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t "
    "char16_t char32_t class compl concept const consteval constexpr constinit const_cast "
    "continue co_await co_return co_yield decltype default delete do double dynamic_cast else "
    "enum explicit export extern false float for friend goto if inline int long mutable "
    "namespace new noexcept not not_eq nullptr operator or or_eq private protected public "
    "register reinterpret_cast requires return short signed sizeof static static_assert "
    "static_cast struct switch template this thread_local throw true try typedef typeid "
    "typename union unsigned using virtual void volatile wchar_t while xor xor_eq ";
constexpr std::string_view rust_keywords =
    " _ abstract as async await become box break const continue crate do dyn else enum extern "
    "false final fn for if impl in let loop macro match mod move mut override priv pub ref "
    "return self Self static struct super trait true try type typeof unsafe unsized use "
    "virtual where while yield ";

// Whether the array's name, as it is written, is a name its language takes.
bool names_array(const LayoutSettings& settings) {
  std::array<char, 40> made{};
  if (settings.name.size() + 2 > made.size()) {
    // Longer than any keyword; a name made of a file name is always one.
    return !settings.name_as_is || is_name(settings.name);
  }
  const std::string_view name(made.data(), c_array_name(settings, made));
  if (!is_name(name)) {
    return false;
  }
  const std::string_view keywords = settings.layout == WrittenLayout::cpp    ? cpp_keywords
                                    : settings.layout == WrittenLayout::rust ? rust_keywords
                                                                             : std::string_view();
  for (std::size_t at = keywords.find(name); at != std::string_view::npos;
       at = keywords.find(name, at + 1)) {
    if (keywords[at - 1] == ' ' && keywords[at + name.size()] == ' ') {
      return false;
    }
  }
  return true;
}

}  // namespace

LayoutError check_layout(const LayoutSettings& settings) noexcept {
  const bool xxd = settings.layout == WrittenLayout::xxd;
  const bool long_lines_taken =
      settings.layout == WrittenLayout::xxd_plain || settings.layout == WrittenLayout::xxd_c;
  if ((settings.columns > most_layout_columns && !long_lines_taken) ||
      (settings.columns == whole_line && settings.layout != WrittenLayout::xxd_plain) ||
      (settings.layout == WrittenLayout::hexdump && settings.columns != 0 &&
       settings.columns != 16)) {
    return LayoutError::columns;
  }
  if (settings.group > static_cast<int>(most_layout_columns) || (!xxd && settings.group >= 0) ||
      (settings.little_endian && settings.group > 0 &&
       (settings.group & (settings.group - 1)) != 0)) {
    return LayoutError::group;
  }
  const bool radix_taken = settings.radix == AddressRadix::hex ||
                           (xxd && settings.radix == AddressRadix::decimal) ||
                           settings.layout == WrittenLayout::od;
  const bool squeezes =
      xxd || settings.layout == WrittenLayout::hexdump || settings.layout == WrittenLayout::od;
  const bool typed_array =
      settings.layout == WrittenLayout::cpp || settings.layout == WrittenLayout::rust;
  const bool c_array = settings.layout == WrittenLayout::xxd_c || typed_array;
  if (!radix_taken || (settings.squeeze && !squeezes) ||
      (settings.charset != CharacterSet::ascii && !squeezes) || (settings.color && c_array) ||
      (!xxd && settings.layout != WrittenLayout::hex && settings.upper) ||
      (!xxd && (settings.little_endian || settings.bits)) ||
      (settings.bits && settings.little_endian) ||
      (!c_array && (settings.capitals || !settings.name.empty() || settings.name_as_is))) {
    return LayoutError::combination;
  }
  if ((settings.name_as_is || typed_array) && !names_array(settings)) {
    return LayoutError::name;
  }
  return LayoutError::none;
}

std::string_view message(LayoutError error) noexcept {
  // In the order of LayoutError; none has no words.
  constexpr std::array<std::string_view, 5> words{
      "",
      "the layout takes no such number of bytes a line",
      "the layout takes no such group",
      "the layout takes not all of these settings",
      "the array's name is not an identifier of its language, or is a keyword",
  };
  const auto at = static_cast<std::size_t>(error);
  return at < words.size() ? words[at] : "";
}

// The hex digits and bits of every byte value, for the planned lines.
struct DigitTables {
  std::array<std::array<char, 2>, 256> lower{};
  std::array<std::array<char, 2>, 256> upper{};
  std::array<std::array<char, 8>, 256> bits{};
  std::array<char, 256> shown{};
};
constexpr DigitTables digit_tables = [] {
  DigitTables tables{};
  constexpr std::string_view lower = "0123456789abcdef";
  constexpr std::string_view upper = "0123456789ABCDEF";
  for (std::size_t b = 0; b < 256; ++b) {
    tables.lower[b] = {lower[b >> 4], lower[b & 15]};
    tables.upper[b] = {upper[b >> 4], upper[b & 15]};
    for (std::size_t bit = 0; bit < 8; ++bit) {
      tables.bits[b][bit] = static_cast<char>('0' + (b >> (7 - bit) & 1));
    }
    tables.shown[b] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
  }
  return tables;
}();

namespace {

// A line's text after its address, by the layout's own writer.
void write_body(TextOut& text, const LayoutSettings& settings, std::span<const unsigned char> bytes,
                bool last) {
  // In the order of WrittenLayout.
  constexpr std::array<LineWriter*, 8> writers{write_xxd_line,
                                               write_plain_line,
                                               write_c_line,
                                               write_hexdump_line,
                                               write_od_line,
                                               write_typed_array_line<cpp_array_lines>,
                                               write_typed_array_line<rust_array_lines>,
                                               write_hex_line};
  if (const auto layout = static_cast<std::size_t>(settings.layout); layout < writers.size()) {
    writers[layout](text, settings, bytes, last);
  }
}

}  // namespace

unsigned layout_columns(const LayoutSettings& settings) noexcept {
  return resolved(settings).columns;
}

std::size_t layout_line_size(const LayoutSettings& settings) noexcept {
  const LayoutSettings full = resolved(settings);
  // The widest line: bytes whose classes alternate, a colour's escape
  // before each, and whose Latin-1 characters take two bytes of UTF-8.
  std::array<unsigned char, most_layout_columns> widest{};
  for (std::size_t k = 1; k < widest.size(); k += 2) {
    widest[k] = 0xFF;
  }
  std::array<char, 8192> text;  // NOLINT: written before it is read
  TextOut out{text.data(), nullptr, full.charset, full.color};
  write_body(out, full, std::span(widest).first(std::min<std::size_t>(full.columns, widest.size())),
             false);
  // An address of 22 digits at most and what parts it from the bytes, the
  // whole 16 characters a vector fills, the name lines of an array.
  const auto measured = static_cast<std::size_t>(out.at - text.data());
  return std::max(measured + 48, 160 + settings.name.size());
}

}  // namespace v1

void plan_full_line(const LayoutSettings& settings, WritePlan& plan) {
  const LayoutSettings full = resolved(settings);
  std::array<unsigned char, most_layout_columns> identity{};
  for (std::size_t k = 0; k < identity.size(); ++k) {
    identity[k] = static_cast<unsigned char>(k);
  }
  TextOut text{plan.text.data(), &plan, full.charset};
  write_body(text, full, std::span(identity).first(full.columns), false);
  plan.size = static_cast<std::size_t>(text.at - plan.text.data());
}

std::size_t fill_planned(const WritePlan& plan, CharacterSet charset,
                         std::span<const unsigned char> bytes, char* text) {
  std::memcpy(text, plan.text.data(), plan.size);
  const auto& pairs = plan.upper ? digit_tables.upper : digit_tables.lower;
  if (plan.bits) {
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      std::memcpy(text + plan.digits[k], digit_tables.bits[bytes[k]].data(), 8);
    }
  } else {
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      std::memcpy(text + plan.digits[k], pairs[bytes[k]].data(), 2);
    }
  }
  if (plan.chars) {
    const std::string_view shown = charset == CharacterSet::ebcdic
                                       ? ebcdic_shown
                                       : std::string_view(digit_tables.shown.data(), 256);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      text[plan.places[k]] = shown[bytes[k]];
    }
  }
  return plan.size;
}

inline namespace v1 {

struct LayoutSteps {
  LayoutStream& stream;
  const LayoutSettings settings = resolved(stream.settings_);
  TextOut out;
  WritePlan plan{};

  [[nodiscard]] bool long_lines() const { return settings.columns > most_layout_columns; }

  void plan_lines() {
    if (long_lines()) {
      return;
    }
    plan_full_line(settings, plan);
    // Colours come and go with the bytes: no vector fills them.
    if (!settings.color && make_fill_plan(plan, settings.columns, settings.charset, fill)) {
      filler = fastest_lines_filler(fill.blocks);
    }
  }

  FillPlan fill = {};
  LinesFiller filler = nullptr;

  // A full line, not an array's last, from the plan.
  void planned(std::span<const unsigned char> bytes) {
    if (filler == nullptr) {
      out.at += fill_planned(plan, settings.charset, bytes, out.at);
      return;
    }
    // The filler reads whole blocks of 16 bytes.
    std::array<unsigned char, 16 * most_fill_blocks> line_bytes{};
    std::copy(bytes.begin(), bytes.end(), line_bytes.begin());
    out.at += filler(fill, line_bytes.data(), 1, false, 0, out.at);
  }

  // Eight hex digits, the address of most lines, four pairs at a time.
  void put_hex8(std::uint64_t address) {
    if (address > 0xFFFFFFFF) {
      out.number(address, 16, 8);
      return;
    }
    for (int shift = 24; shift >= 0; shift -= 8) {
      std::memcpy(out.at, digit_tables.lower[address >> shift & 0xFF].data(), 2);
      out.at += 2;
    }
  }

  void put_address(std::uint64_t address) {
    switch (settings.layout) {
      case WrittenLayout::xxd:
        if (settings.radix == AddressRadix::decimal) {
          out.number(address, 10, 8);
        } else {
          put_hex8(address);
        }
        break;
      case WrittenLayout::hexdump:
        put_hex8(address);
        break;
      case WrittenLayout::od:
        static_cast<void>(write_od_address(out, settings, address));
        break;
      case WrittenLayout::xxd_plain:
      case WrittenLayout::xxd_c:
      case WrittenLayout::cpp:
      case WrittenLayout::rust:
      case WrittenLayout::hex:
        break;
    }
  }

  // A line at its address: from the plan when it is full.
  void write(std::uint64_t address, std::span<const unsigned char> bytes, bool last) {
    put_address(address);
    // Latin-1's characters take two bytes of UTF-8, ASCII's one, and
    // colours come and go: no plan.
    if (bytes.size() == settings.columns && settings.charset != CharacterSet::latin1 &&
        !settings.color && !(last && settings.layout == WrittenLayout::xxd_c)) {
      planned(bytes);
    } else {
      write_body(out, settings, bytes, last);
    }
  }

  std::span<const unsigned char> line{};  // the line being written

  void open() {
    if (!stream.started_ && settings.layout == WrittenLayout::xxd_c && !settings.name.empty()) {
      write_c_opening(out, settings);
    } else if (!stream.started_ && settings.layout == WrittenLayout::cpp) {
      write_cpp_opening(out, settings);
    } else if (!stream.started_ && settings.layout == WrittenLayout::rust) {
      write_rust_opening(out, settings);
    }
    stream.started_ = true;
  }

  // Writes xxd's line, or leaves it out for -a.
  void xxd_line(bool last) {
    const bool zeros = settings.squeeze && std::all_of(line.begin(), line.end(),
                                                       [](unsigned char b) { return b == 0; });
    // squeezing_: the line written last was of zeros.
    if (settings.squeeze && zeros && !last && (stream.zero_lines_ > 0 || stream.squeezing_)) {
      if (stream.zero_lines_++ == 0) {
        stream.zeros_at_ = stream.address_;
      } else if (stream.zero_lines_ == 2) {
        out.put("*\n");
      }
      return;
    }
    if (stream.zero_lines_ == 1) {
      write(stream.zeros_at_, zero_line(), false);
    }
    stream.zero_lines_ = 0;
    // The line written: a line of zeros after it starts a run.
    stream.squeezing_ = zeros;
    write(stream.address_, line, last);
  }

  // An array whose type names its bytes before them.
  [[nodiscard]] bool typed_array() const {
    return settings.layout == WrittenLayout::cpp || settings.layout == WrittenLayout::rust;
  }

  [[nodiscard]] std::span<const unsigned char> zero_line() const {
    static constexpr std::array<unsigned char, most_layout_columns> zeros{};
    return std::span(zeros).first(settings.columns);
  }

  // hexdump's and od's: a "*" for lines that repeat the line before.
  bool repeats() {
    const bool full = line.size() == settings.columns;
    if (settings.squeeze && full && stream.last_full_ &&
        std::memcmp(line.data(), stream.last_.data(), line.size()) == 0) {
      if (!stream.squeezing_) {
        out.put("*\n");
        stream.squeezing_ = true;
      }
      return true;
    }
    stream.squeezing_ = false;
    std::copy(line.begin(), line.end(), stream.last_.begin());
    return false;
  }

  // Writes a line: the last one, or one that more bytes follow.
  void emit(std::span<const unsigned char> bytes, bool last) {
    line = bytes;
    if (settings.layout == WrittenLayout::xxd) {
      xxd_line(last);
    } else if ((settings.layout != WrittenLayout::hexdump &&
                settings.layout != WrittenLayout::od) ||
               !repeats()) {
      write(stream.address_, line, last);
    }
    stream.last_full_ = line.size() == settings.columns;
    stream.address_ += line.size();
  }

  // Full lines that more bytes follow, filled by vectors, as long as no
  // squeeze takes one: the common case, in a run. Returns the bytes taken.
  std::size_t run_of_lines(const unsigned char* data, std::size_t left) {
    const bool repeats_squeezed = settings.squeeze && settings.layout != WrittenLayout::xxd;
    const bool hex8 =
        settings.layout == WrittenLayout::hexdump ||
        (settings.layout == WrittenLayout::xxd && settings.radix == AddressRadix::hex);
    const bool unaddressed = settings.layout != WrittenLayout::xxd &&
                             settings.layout != WrittenLayout::hexdump &&
                             settings.layout != WrittenLayout::od;
    if (filler == nullptr || !(hex8 || unaddressed) || (settings.squeeze && !repeats_squeezed)) {
      return 0;
    }
    const std::size_t columns = settings.columns;
    // hexdump's lines, compared in two words.
    constexpr std::size_t squeezed_columns = 16;
    if (repeats_squeezed && columns != squeezed_columns) {
      return 0;
    }
    const std::size_t read = 16 * fill.blocks;  // of the last line's bytes and those after it
    if (left < read) {
      return 0;
    }
    const unsigned char* before = stream.last_full_ ? stream.last_.data() : nullptr;
    // The addresses stay below 2^32 in the lines filled.
    const std::uint64_t below = std::uint64_t{1} << 32;
    const std::uint64_t room = unaddressed               ? UINT64_MAX
                               : stream.address_ < below ? (below - stream.address_) / columns
                                                         : 0;
    std::size_t lines = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::min((left - 1) / columns, (left - read) / columns + 1), room));
    if (repeats_squeezed) {
      for (std::size_t k = 0; k < lines; ++k) {
        const unsigned char* line_bytes = data + k * columns;
        if (before != nullptr && std::memcmp(line_bytes, before, squeezed_columns) == 0) {
          lines = k;
          break;
        }
        before = line_bytes;
      }
    }
    if (lines == 0) {
      return 0;
    }
    const std::size_t done = lines * columns;
    out.at += filler(fill, data, lines, hex8, static_cast<std::uint32_t>(stream.address_), out.at);
    std::memcpy(stream.last_.data(), data + done - columns, columns);
    stream.address_ += done;
    stream.taken_ += done;
    stream.last_full_ = true;
    stream.squeezing_ = false;
    return done;
  }

  // Lines longer than line_ go out in pieces of its size, each written
  // once a byte after it shows whether it is the last.
  void emit_piece(bool ends, bool last) {
    const auto bytes = std::span(stream.line_).first(stream.held_);
    out.painted = stream.painted_;
    if (settings.layout == WrittenLayout::xxd_plain) {
      write_plain_piece(out, bytes, ends);
    } else {
      write_c_piece(out, bytes, stream.line_done_ == 0, ends, last);
    }
    stream.line_done_ = ends ? 0 : stream.line_done_ + stream.held_;
    stream.painted_ = out.painted;
    stream.held_ = 0;
  }

  void take_long_lines(const unsigned char* at, std::size_t left) {
    while (left > 0) {
      const std::uint64_t line_left = settings.columns == whole_line
                                          ? UINT64_MAX
                                          : settings.columns - stream.line_done_ - stream.held_;
      if (stream.held_ == most_layout_columns || (stream.held_ > 0 && line_left == 0)) {
        emit_piece(line_left == 0, false);
        continue;
      }
      const auto size = static_cast<std::size_t>(
          std::min<std::uint64_t>({left, most_layout_columns - stream.held_, line_left}));
      std::copy_n(at, size, stream.line_.begin() + static_cast<std::ptrdiff_t>(stream.held_));
      stream.held_ += size;
      stream.taken_ += size;
      at += size;
      left -= size;
    }
  }

  // Writes the line held.
  void emit_held(bool last) {
    emit(std::span(stream.line_).first(stream.held_), last);
    stream.held_ = 0;
  }
};

std::optional<std::size_t> layout_more(LayoutStream& stream, ByteView data,
                                       CharBuffer out) noexcept {
  if (check_layout(stream.settings_) != LayoutError::none) {
    return std::size_t{0};
  }
  LayoutSteps steps{stream,
                    resolved(stream.settings_),
                    {out.data(), nullptr, stream.settings_.charset, stream.settings_.color}};
  steps.plan_lines();
  const std::size_t columns = steps.settings.columns;
  if (steps.typed_array()) {
    data = ByteView(data.data(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                     data.size(), stream.settings_.length - stream.taken_)));
  }
  if (out.size() / layout_line_size(stream.settings_) <
      (stream.held_ + data.size()) / std::min(columns, most_layout_columns) + 2) {
    return std::nullopt;
  }
  steps.open();
  if (steps.long_lines()) {
    steps.take_long_lines(data.data(), data.size());
    return static_cast<std::size_t>(steps.out.at - out.data());
  }
  const unsigned char* at = data.data();
  for (std::size_t left = data.size(); left > 0;) {
    if (stream.held_ == columns) {
      steps.emit_held(false);
    }
    if (stream.held_ == 0 && left > columns) {
      const std::size_t run = steps.run_of_lines(at, left);
      at += run;
      left -= run;
    }
    // Lines that more bytes follow, written from the data itself.
    for (; stream.held_ == 0 && left > columns; at += columns, left -= columns) {
      steps.emit(std::span(at, columns), false);
      stream.taken_ += columns;
    }
    const std::size_t size = std::min(left, columns - stream.held_);
    std::copy_n(at, size, stream.line_.begin() + static_cast<std::ptrdiff_t>(stream.held_));
    stream.held_ += size;
    stream.taken_ += size;
    at += size;
    left -= size;
  }
  return static_cast<std::size_t>(steps.out.at - out.data());
}

std::size_t finish_layout(LayoutStream& stream, CharBuffer out) noexcept {
  if (check_layout(stream.settings_) != LayoutError::none ||
      out.size() < 3 * layout_line_size(stream.settings_)) {
    return 0;
  }
  LayoutSteps steps{stream,
                    resolved(stream.settings_),
                    {out.data(), nullptr, stream.settings_.charset, stream.settings_.color}};
  steps.plan_lines();
  steps.open();
  if (steps.long_lines()) {
    if (stream.held_ > 0) {
      steps.emit_piece(true, true);
    } else if (steps.settings.columns == whole_line) {
      steps.out.put('\n');  // as xxd -p -c 0 ends even no bytes
    }
  } else if (stream.held_ > 0) {
    steps.emit_held(true);
  }
  switch (steps.settings.layout) {
    case WrittenLayout::hexdump:
      if (stream.taken_ > 0) {
        steps.out.number(stream.address_, 16, 8);
        steps.out.put('\n');
      }
      break;
    case WrittenLayout::od:
      if (write_od_address(steps.out, steps.settings, stream.address_)) {
        steps.out.put('\n');
      }
      break;
    case WrittenLayout::xxd_c:
      if (!steps.settings.name.empty()) {
        write_c_closing(steps.out, steps.settings, stream.taken_);
      }
      break;
    case WrittenLayout::cpp:
      if (stream.taken_ == steps.settings.length) {
        write_array_closing(steps.out, cpp_array_lines.closing);
      }
      break;
    case WrittenLayout::rust:
      if (stream.taken_ == steps.settings.length) {
        write_array_closing(steps.out, rust_array_lines.closing);
      }
      break;
    case WrittenLayout::xxd:
    case WrittenLayout::xxd_plain:
    case WrittenLayout::hex:
      break;
  }
  return static_cast<std::size_t>(steps.out.at - out.data());
}

}  // namespace v1
}  // namespace quarnel
