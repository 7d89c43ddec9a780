// What the viewer shows and where, and what each key does to it: the one
// record of a viewing session, changed only by the keys and by the jobs
// (a search, a save) that the keys start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "search/find.h"
#include "search/pattern.h"
#include "view/document.h"

namespace quarnel {

// The keys, as the terminal hands them over: a character is its own code
// (control characters included); the keys without one follow.
enum Key : int {
  key_none = -1,
  key_tab = 9,
  key_enter = 13,
  key_escape = 27,
  key_backspace = 127,
  key_up = 0x100,
  key_down,
  key_left,
  key_right,
  key_page_up,
  key_page_down,
  key_home,
  key_end,
  key_insert,
  key_delete,
  key_wheel_up,
  key_wheel_down,
  key_resize,
  key_help,
};

[[nodiscard]] constexpr int control_key(char letter) { return letter & 0x1F; }

enum class Mode : std::uint8_t { view, overwrite, insert };

// A line of text the user is typing at the bottom: a command after ":", a
// pattern after "/".
struct Prompt {
  char lead = 0;  // ':' or '/', 0 when none is open
  std::size_t size = 0;
  std::array<char, 1024> text{};
};

// A search that runs between keys, a stretch at a time.
struct SearchJob {
  bool running = false;
  bool forwards = true;
  bool wrapped = false;
  std::uint64_t next = 0;      // forwards: where to look from; backwards: the end of what is left
  std::uint64_t start = 0;     // where it began, to stop after one round
  std::uint64_t searched = 0;  // bytes looked at, for the progress shown
};

// What happened that the program around the view must act on.
enum class ViewRequest : std::uint8_t { none, quit, save, save_as, save_diff, save_quit, suspend };

struct ViewState {
  std::size_t rows = 24;  // the terminal's size
  std::size_t columns = 80;
  std::uint64_t top = 0;        // the address of the first line shown, a multiple of 16
  std::uint64_t cursor = 0;     // the byte the cursor is on
  bool in_chars = false;        // the cursor stands in the character column
  bool half_typed = false;      // one hex digit of the byte at the cursor typed
  std::uint8_t typed_high = 0;  // that digit
  Mode mode = Mode::view;
  bool inspector = false;
  bool entropy = false;  // the picture shows entropy instead of what the bytes mostly are
  bool help = false;
  bool color = true;
  bool selecting = false;
  std::uint64_t anchor = 0;  // the other end of the selection
  int pending = 0;           // a key waiting for its letter: 'M' (set a mark) or '\'' (go to one)
  std::array<std::uint64_t, 26> marks{};
  std::uint32_t marks_set = 0;
  Prompt prompt;
  // The last pattern searched for, and the match found.
  std::array<char, 1024> pattern_text{};
  std::size_t pattern_size = 0;
  Pattern pattern;
  Finder finder;
  bool has_pattern = false;
  std::uint64_t match = 0;
  std::uint64_t match_size = 0;
  SearchJob search;
  std::vector<std::uint8_t> clipboard;
  // A line the status bar shows once, in place of the usual one.
  std::array<char, 256> message{};
  std::size_t message_size = 0;
  std::string_view save_name;   // with save_as and save_diff, the name typed after the command
  bool quit_confirmed = false;  // a second q (or :q!) quits without saving
};

// The lines of bytes the screen has room for.
[[nodiscard]] std::size_t byte_rows(const ViewState& state);

// Says text on the status line until the next key.
void tell(ViewState& state, std::string_view text);

// Does what key asks in the state; returns what the program must do.
[[nodiscard]] ViewRequest press_key(ViewState& state, Document& document, int key);

// Looks on for the search's match for about budget bytes; the search stops
// when it finds one or has looked everywhere.
void continue_search(ViewState& state, Document& document, std::uint64_t budget);

// Keeps the cursor inside the bytes and on the screen.
void settle_view(ViewState& state, const Document& document);

// Reads an address as the go-to command takes it: 0x hex, decimal, +N or -N
// from the cursor, N% of the length. False when text is none of those or
// lies past the end.
[[nodiscard]] bool read_address(std::string_view text, std::uint64_t cursor, std::uint64_t length,
                                std::uint64_t& address);

}  // namespace quarnel
