#include "view/view.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "view/inspector.h"

namespace quarnel {
namespace {

constexpr std::uint64_t line_bytes = 16;
// The most a copy keeps: a larger selection is cut or deleted, not copied.
constexpr std::uint64_t largest_copy = std::uint64_t{64} << 20;

std::uint64_t last_place(const ViewState& state, const Document& document) {
  const std::uint64_t length = document.table.length;
  return state.mode == Mode::insert || length == 0 ? length : length - 1;
}

void move_to(ViewState& state, const Document& document, std::uint64_t place) {
  state.cursor = std::min(place, last_place(state, document));
  state.half_typed = false;
}

void move_by(ViewState& state, const Document& document, std::int64_t delta) {
  if (delta < 0) {
    const auto back = static_cast<std::uint64_t>(-delta);
    move_to(state, document, state.cursor > back ? state.cursor - back : state.cursor % line_bytes);
    return;
  }
  const auto ahead = static_cast<std::uint64_t>(delta);
  const std::uint64_t last = last_place(state, document);
  // A line down from the last line keeps the cursor where it is.
  if (last - std::min(last, state.cursor) < ahead && ahead >= line_bytes &&
      state.cursor / line_bytes == last / line_bytes) {
    return;
  }
  move_to(state, document, state.cursor + ahead);
}

std::uint64_t page_bytes(const ViewState& state) { return byte_rows(state) * line_bytes; }

std::uint8_t byte_at(Document& document, std::uint64_t offset) {
  std::uint8_t byte = 0;
  return read_document(document, offset, std::span(&byte, 1)) == 1 ? byte : 0;
}

int hex_value(int key) {
  const std::array<char, 2> digit{key >= 0 && key < 0x80 ? static_cast<char>(key) : ' ', '\0'};
  int value = -1;
  static_cast<void>(std::from_chars(digit.data(), digit.data() + 1, value, 16));
  return value;
}

// Takes back the last change for good, to make it again otherwise.
void amend_last(Document& document) {
  std::uint64_t ignored = 0;
  if (undo_change(document.table, ignored)) {
    document.table.undone.pop_back();
  }
}

void put_byte(ViewState& state, Document& document, std::uint8_t byte) {
  const std::span<const std::uint8_t> bytes(&byte, 1);
  if (state.mode == Mode::insert || state.cursor >= document.table.length) {
    insert_bytes(document.table, state.cursor, bytes);
  } else {
    overwrite_bytes(document.table, state.cursor, bytes);
  }
}

void type_hex(ViewState& state, Document& document, int digit) {
  const auto value = static_cast<std::uint8_t>(digit);
  if (!state.half_typed) {
    const std::uint8_t old = state.mode == Mode::insert || state.cursor >= document.table.length
                                 ? std::uint8_t{0}
                                 : byte_at(document, state.cursor);
    put_byte(state, document, static_cast<std::uint8_t>(value << 4 | (old & 0x0F)));
    state.typed_high = value;
    state.half_typed = true;
    return;
  }
  amend_last(document);
  put_byte(state, document, static_cast<std::uint8_t>(state.typed_high << 4 | value));
  state.half_typed = false;
  state.cursor += 1;
}

std::uint64_t selection_start(const ViewState& state) {
  return std::min(state.anchor, state.cursor);
}
std::uint64_t selection_end(const ViewState& state) {
  return std::max(state.anchor, state.cursor) + 1;
}

bool copy_selection(ViewState& state, Document& document) {
  const std::uint64_t start = selection_start(state);
  const std::uint64_t end = std::min(selection_end(state), document.table.length);
  if (end - start > largest_copy) {
    tell(state, "a copy holds 64 MiB at most");
    return false;
  }
  state.clipboard.resize(static_cast<std::size_t>(end - start));
  const std::size_t got = read_document(document, start, state.clipboard);
  state.clipboard.resize(got);
  return true;
}

bool may_edit(ViewState& state, const Document& document) {
  if (document.read_only) {
    tell(state, "read-only: the file cannot be changed here");
    return false;
  }
  return true;
}

void start_search(ViewState& state, const Document& document, bool forwards) {
  if (!state.has_pattern) {
    tell(state, "no pattern yet: / asks for one");
    return;
  }
  const std::uint64_t length = document.table.length;
  state.search = SearchJob{};
  state.search.running = length > 0;
  state.search.forwards = forwards;
  state.search.start = forwards ? std::min(state.cursor + 1, length) : state.cursor;
  state.search.next = state.search.start;
  if (!state.search.running) {
    tell(state, "pattern not found");
  }
}

void set_pattern(ViewState& state, const Document& document) {
  const std::string_view text(state.prompt.text.data(), state.prompt.size);
  PatternError error;
  if (parse_pattern(text, state.pattern, error) != PatternProblem::none) {
    std::array<char, 200> line{};
    std::array<char, 24> column{};
    const char* column_end =
        std::to_chars(column.data(), column.data() + column.size(), error.column).ptr;
    const std::string_view culprit(error.culprit.data(), error.culprit_size);
    std::size_t size = 0;
    // As quarnel-grep says it: pattern:COLUMN: "CULPRIT" PROBLEM.
    for (const std::string_view piece :
         {std::string_view("pattern:"),
          std::string_view(column.data(), static_cast<std::size_t>(column_end - column.data())),
          std::string_view(culprit.empty() ? ": " : ": \""), culprit,
          std::string_view(culprit.empty() ? "" : "\" "), problem_text(error.problem)}) {
      const std::size_t take = std::min(piece.size(), line.size() - size);
      std::memcpy(line.data() + size, piece.data(), take);
      size += take;
    }
    tell(state, std::string_view(line.data(), size));
    return;
  }
  state.has_pattern = true;
  state.finder = prepare_finder(state.pattern);
  std::memcpy(state.pattern_text.data(), text.data(), text.size());
  state.pattern_size = text.size();
  start_search(state, document, true);
}

ViewRequest run_command(ViewState& state, Document& document) {
  const std::string_view text(state.prompt.text.data(), state.prompt.size);
  const bool changed = !is_unchanged(document.table);
  if (text == "q") {
    if (changed) {
      tell(state, "the changes are not saved: :w saves them, :q! quits without");
      return ViewRequest::none;
    }
    return ViewRequest::quit;
  }
  if (text == "q!") {
    return ViewRequest::quit;
  }
  if (text == "w") {
    return ViewRequest::save;
  }
  if (text == "wq" || text == "x") {
    return ViewRequest::save_quit;
  }
  if (text.size() > 2 && text.substr(0, 2) == "w ") {
    state.save_name = text.substr(2);
    return ViewRequest::save_as;
  }
  if (text.size() > 5 && text.substr(0, 5) == "diff ") {
    state.save_name = text.substr(5);
    return ViewRequest::save_diff;
  }
  std::uint64_t address = 0;
  if (!read_address(text, state.cursor, document.table.length, address)) {
    tell(state, "not an address in the file, nor a command (:w, :w NAME, :diff NAME, :q, :q!)");
    return ViewRequest::none;
  }
  move_to(state, document, address);
  return ViewRequest::none;
}

ViewRequest press_prompt_key(ViewState& state, Document& document, int key) {
  Prompt& prompt = state.prompt;
  if (key == key_escape || key == control_key('C')) {
    prompt.lead = 0;
  } else if (key == key_backspace || key == control_key('H')) {
    if (prompt.size == 0) {
      prompt.lead = 0;
    } else {
      prompt.size -= 1;
    }
  } else if (key == key_enter || key == '\n') {
    const char lead = prompt.lead;
    prompt.lead = 0;
    if (lead == ':') {
      return run_command(state, document);
    }
    set_pattern(state, document);
  } else if (key >= 0x20 && key < 0x7F && prompt.size < prompt.text.size()) {
    prompt.text[prompt.size++] = static_cast<char>(key);
  }
  return ViewRequest::none;
}

// Keys that move, in every mode.
bool press_move_key(ViewState& state, Document& document, int key) {
  const auto page = static_cast<std::int64_t>(page_bytes(state));
  const auto line = static_cast<std::int64_t>(line_bytes);
  switch (key) {
    case key_up:
      move_by(state, document, -line);
      break;
    case key_down:
      move_by(state, document, line);
      break;
    case key_left:
      move_by(state, document, -1);
      break;
    case key_right:
      move_by(state, document, 1);
      break;
    case key_page_up:
      state.top = state.top > page_bytes(state) ? state.top - page_bytes(state) : 0;
      move_by(state, document, -page);
      break;
    case key_page_down:
      if (state.cursor / line_bytes != last_place(state, document) / line_bytes) {
        state.top += page_bytes(state);
      }
      move_by(state, document, page);
      break;
    case key_wheel_up:
      state.top = state.top > 3 * line_bytes ? state.top - 3 * line_bytes : 0;
      move_by(state, document, -3 * line);
      break;
    case key_wheel_down:
      state.top += 3 * line_bytes;
      move_by(state, document, 3 * line);
      break;
    case key_home:
      move_to(state, document, state.cursor / line_bytes * line_bytes);
      break;
    case key_end:
      move_to(state, document, state.cursor / line_bytes * line_bytes + line_bytes - 1);
      break;
    case key_tab:
      state.in_chars = !state.in_chars;
      state.half_typed = false;
      break;
    default:
      return false;
  }
  return true;
}

void press_edit_key(ViewState& state, Document& document, int key) {
  if (key == key_escape) {
    state.mode = Mode::view;
    state.half_typed = false;
  } else if (key == key_insert) {
    state.mode = state.mode == Mode::insert ? Mode::overwrite : Mode::insert;
    state.half_typed = false;
  } else if (key == key_delete) {
    erase_bytes(document.table, state.cursor, 1);
    state.half_typed = false;
  } else if (key == key_backspace || key == control_key('H')) {
    state.half_typed = false;
    if (state.cursor > 0) {
      state.cursor -= 1;
      if (state.mode == Mode::insert) {
        erase_bytes(document.table, state.cursor, 1);
      }
    }
  } else if (state.in_chars && key >= 0x20 && key < 0x7F) {
    put_byte(state, document, static_cast<std::uint8_t>(key));
    state.cursor += 1;
  } else if (!state.in_chars && hex_value(key) >= 0) {
    type_hex(state, document, hex_value(key));
  }
}

// The keys of viewing that change the bytes or the selection; false for
// any other.
bool press_change_key(ViewState& state, Document& document, int key) {
  switch (key) {
    case 'v':
      state.selecting = !state.selecting;
      state.anchor = state.cursor;
      break;
    case 'y':
      if (state.selecting && copy_selection(state, document)) {
        state.selecting = false;
      }
      break;
    case 'x':
    case key_delete:
      if (may_edit(state, document)) {
        if (state.selecting) {
          const std::uint64_t start = selection_start(state);
          const std::uint64_t end = selection_end(state);
          // A cut too large to copy is deleted only when nothing is kept.
          if (!copy_selection(state, document)) {
            break;
          }
          erase_bytes(document.table, start, end - start);
          state.selecting = false;
          move_to(state, document, start);
        } else {
          erase_bytes(document.table, state.cursor, 1);
        }
      }
      break;
    case 'p':
      if (may_edit(state, document) && !state.clipboard.empty()) {
        insert_bytes(document.table, state.cursor, state.clipboard);
      }
      break;
    case 'u':
      if (!undo_change(document.table, state.cursor)) {
        tell(state, "nothing to undo");
      }
      break;
    case control_key('R'):
      if (!redo_change(document.table, state.cursor)) {
        tell(state, "nothing to redo");
      }
      break;
    case 'i':
    case key_insert:
      if (may_edit(state, document)) {
        state.mode = Mode::insert;
      }
      break;
    case 'R':
      if (may_edit(state, document)) {
        state.mode = Mode::overwrite;
      }
      break;
    case key_escape:
      state.selecting = false;
      break;
    default:
      return false;
  }
  return true;
}

// The keys of less and vi that move as the keys without a character do.
struct KeyAlias {
  int key;
  int as;
};
constexpr std::array<KeyAlias, 11> move_aliases{{{'k', key_up},
                                                 {'j', key_down},
                                                 {'h', key_left},
                                                 {'l', key_right},
                                                 {' ', key_page_down},
                                                 {'f', key_page_down},
                                                 {control_key('F'), key_page_down},
                                                 {'b', key_page_up},
                                                 {control_key('B'), key_page_up},
                                                 {'0', key_home},
                                                 {'$', key_end}}};

ViewRequest press_view_key(ViewState& state, Document& document, int key) {
  for (const KeyAlias& alias : move_aliases) {
    if (alias.key == key) {
      return press_key(state, document, alias.as);
    }
  }
  if (press_change_key(state, document, key)) {
    return ViewRequest::none;
  }
  switch (key) {
    case 'q':
      if (!is_unchanged(document.table) && !state.quit_confirmed) {
        state.quit_confirmed = true;
        tell(state, "the changes are not saved: :w saves them, q again quits without");
        return ViewRequest::none;
      }
      return ViewRequest::quit;
    case 'g':
    case '<':
      move_to(state, document, 0);
      break;
    case 'G':
    case '>':
      move_to(state, document, last_place(state, document));
      break;
    case ':':
    case '/':
      state.prompt.lead = static_cast<char>(key);
      state.prompt.size = 0;
      break;
    case 'n':
    case 'N':
      start_search(state, document, key == 'n');
      break;
    case '?':
    case key_help:
      state.help = true;
      break;
    case 't':
      state.inspector = !state.inspector;
      break;
    case 'm':
      state.entropy = !state.entropy;
      break;
    case 'M':
    case '\'':
      state.pending = key;
      break;
    default:
      break;
  }
  return ViewRequest::none;
}

}  // namespace

std::size_t byte_rows(const ViewState& state) {
  const std::size_t taken = 1 + (state.inspector ? inspector_lines : 0);
  return state.rows > taken ? state.rows - taken : 1;
}

void tell(ViewState& state, std::string_view text) {
  state.message_size = std::min(text.size(), state.message.size());
  std::memcpy(state.message.data(), text.data(), state.message_size);
}

ViewRequest press_key(ViewState& state, Document& document, int key) {
  state.message_size = 0;
  if (key != 'q') {
    state.quit_confirmed = false;
  }
  if (state.search.running) {
    // Any key stops a search.
    state.search.running = false;
    tell(state, "search stopped");
    return ViewRequest::none;
  }
  if (state.help) {
    state.help = false;
    return ViewRequest::none;
  }
  if (key == key_resize) {
    return ViewRequest::none;
  }
  if (state.prompt.lead != 0) {
    return press_prompt_key(state, document, key);
  }
  if (state.pending != 0) {
    const int pending = state.pending;
    state.pending = 0;
    if (key < 'a' || key > 'z') {
      tell(state, "marks are named by a letter, a to z");
      return ViewRequest::none;
    }
    const auto mark = static_cast<std::size_t>(key - 'a');
    if (pending == 'M') {
      state.marks[mark] = state.cursor;
      state.marks_set |= 1U << mark;
    } else if ((state.marks_set >> mark & 1U) != 0) {
      move_to(state, document, state.marks[mark]);
    } else {
      tell(state, "that mark is not set: M and a letter sets one");
    }
    return ViewRequest::none;
  }
  if (key == control_key('Z')) {
    return ViewRequest::suspend;
  }
  if (press_move_key(state, document, key)) {
    return ViewRequest::none;
  }
  if (state.mode != Mode::view) {
    press_edit_key(state, document, key);
    return ViewRequest::none;
  }
  return press_view_key(state, document, key);
}

void settle_view(ViewState& state, const Document& document) {
  state.cursor = std::min(state.cursor, last_place(state, document));
  const std::uint64_t page = page_bytes(state);
  const std::uint64_t line = state.cursor / line_bytes * line_bytes;
  const std::uint64_t last_line = last_place(state, document) / line_bytes * line_bytes;
  // The last page is full where the file allows.
  const std::uint64_t last_top = last_line >= page ? last_line + line_bytes - page : 0;
  state.top = std::min(state.top / line_bytes * line_bytes, last_top);
  if (line < state.top) {
    state.top = line;
  } else if (line >= state.top + page) {
    state.top = line + line_bytes - page;
  }
}

void continue_search(ViewState& state, Document& document, std::uint64_t budget) {
  static std::array<std::uint8_t, (std::size_t{1} << 20) + longest_pattern> block;
  SearchJob& job = state.search;
  const std::uint64_t length = document.table.length;
  const std::uint64_t size = state.pattern.size;
  const std::uint64_t stride = block.size() - longest_pattern;
  while (job.running && budget > 0) {
    // The stretch [from, to) of starts looked at now: forwards from next
    // up to the end (or, once wrapped, to where the search began);
    // backwards down from next.
    const std::uint64_t stop = job.wrapped ? job.start : length;
    const std::uint64_t floor = job.wrapped ? job.start : 0;
    const std::uint64_t to = job.forwards ? std::min(stop, job.next + stride) : job.next;
    const std::uint64_t from =
        job.forwards ? job.next : (to - floor > stride ? to - stride : floor);
    if (from < to) {
      const std::size_t got =
          read_document(document, from,
                        std::span(block).first(static_cast<std::size_t>(
                            std::min<std::uint64_t>(block.size(), to - from + size - 1))));
      const std::span<const std::uint8_t> bytes(block.data(), got);
      std::uint64_t found = ~std::uint64_t{0};
      for (std::size_t at = find_match(state.finder, bytes, 0); at < got && from + at < to;
           at = find_match(state.finder, bytes, at + 1)) {
        found = from + at;
        if (job.forwards) {
          break;
        }
      }
      job.searched += to - from;
      budget -= std::min(budget, to - from);
      if (found != ~std::uint64_t{0}) {
        job.running = false;
        state.match = found;
        state.match_size = size;
        state.cursor = found;
        if (job.wrapped) {
          tell(state,
               job.forwards ? "search went on from the start" : "search went on from the end");
        }
        return;
      }
    }
    job.next = job.forwards ? to : from;
    const bool at_end = job.forwards ? job.next >= stop : job.next <= (job.wrapped ? job.start : 0);
    if (at_end) {
      if (job.wrapped) {
        job.running = false;
        tell(state, "pattern not found");
        return;
      }
      job.wrapped = true;
      job.next = job.forwards ? 0 : length;
    }
  }
}

bool read_address(std::string_view text, std::uint64_t cursor, std::uint64_t length,
                  std::uint64_t& address) {
  if (text.empty()) {
    return false;
  }
  const char sign = text[0] == '+' || text[0] == '-' ? text[0] : '\0';
  text.remove_prefix(sign != 0 ? 1 : 0);
  const bool percent = !text.empty() && text.back() == '%';
  text.remove_suffix(percent ? 1 : 0);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return false;
  }
  if (percent) {
    if (sign != 0 || base != 10 || number > 100) {
      return false;
    }
    // A share of the length, without overflow for the largest files.
    address = length / 100 * number + length % 100 * number / 100;
    address = length == 0 ? 0 : std::min(address, length - 1);
    return true;
  }
  if (sign == '+') {
    if (number > length || cursor > length - number) {
      return false;
    }
    address = cursor + number;
  } else if (sign == '-') {
    if (number > cursor) {
      return false;
    }
    address = cursor - number;
  } else {
    address = number;
  }
  return address < length || (address == 0 && length == 0);
}

}  // namespace quarnel
