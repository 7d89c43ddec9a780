#include "view/screen.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "io/dump_line.h"
#include "layouts/byte_classes.h"
#include "quarnel/line_geometry.h"
#include "view/inspector.h"

namespace quarnel {
namespace {

namespace geometry = line_geometry;
constexpr std::uint64_t line_bytes = geometry::bytes_per_line;

constexpr std::array<Paint, 5> class_paints{Paint::zero, Paint::printable, Paint::space,
                                            Paint::other_ascii, Paint::high};

// Writes text from column on; returns the column after it.
std::size_t put_text(Screen& screen, std::size_t row, std::size_t column, std::string_view text,
                     Paint paint) {
  for (const char ch : text) {
    if (column >= screen.columns) {
      break;
    }
    cell_at(screen, row, column++) = {ch, paint, 0};
  }
  return column;
}

std::size_t put_number(Screen& screen, std::size_t row, std::size_t column, std::uint64_t value,
                       Paint paint) {
  std::array<char, 24> digits{};
  std::size_t size = 0;
  do {
    digits[size++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::reverse(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(size));
  return put_text(screen, row, column, {digits.data(), size}, paint);
}

// The stretch of the file picture cell k of cells stands for.
std::uint64_t cell_start(std::uint64_t length, std::size_t k, std::size_t cells) {
  return length / cells * k + length % cells * k / cells;
}

// Where each edited byte of a line came from: marks the bytes typed since
// the file was opened.
void mark_changes(const Document& document, std::uint64_t address, std::size_t count,
                  std::array<bool, line_bytes>& changed) {
  changed.fill(false);
  std::size_t k = 0;
  visit_pieces(document.table, address, count,
               [&](const Piece& piece, std::uint64_t, std::uint64_t taken) {
                 for (std::uint64_t n = 0; n < taken; ++n, ++k) {
                   changed[k] = piece.source == PieceSource::added;
                 }
               });
}

void draw_line(const ViewState& state, Document& document, Screen& screen, std::size_t row,
               std::uint64_t address) {
  std::array<std::uint8_t, line_bytes> bytes{};
  const std::size_t count = read_document(document, address, bytes);
  static FormattedLine line;
  make_dump_line(address, std::span(bytes).first(count), line);
  std::string_view text = line.text;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  put_text(screen, row, 0, text.substr(0, geometry::address_digits + line.shift), Paint::address);
  std::array<bool, line_bytes> changed{};
  mark_changes(document, address, count, changed);
  const std::uint64_t select_from = std::min(state.anchor, state.cursor);
  const std::uint64_t select_to = std::max(state.anchor, state.cursor);
  for (std::size_t k = 0; k < line_bytes; ++k) {
    const std::size_t hex = geometry::hex_place(k) + line.shift;
    const std::size_t shown = geometry::char_place(k) + line.shift;
    const std::uint64_t place = address + k;
    if (k + 1 == geometry::dash_after && k + 1 < count) {
      put_text(screen, row, hex + 2, "-", Paint::plain);
    }
    if (k >= count) {
      if (place == state.cursor) {
        // The place after the last byte, where an insertion goes.
        const std::size_t at = state.in_chars ? shown : hex;
        if (at < screen.columns) {
          cell_at(screen, row, at).marks |= mark_cursor;
          screen.cursor_row = row;
          screen.cursor_column = at;
        }
      }
      continue;
    }
    const Paint paint = state.color ? class_paints[byte_class(bytes[k])] : Paint::plain;
    std::uint8_t marks = changed[k] ? mark_changed : 0;
    if (state.match_size > 0 && place >= state.match && place - state.match < state.match_size) {
      marks |= mark_match;
    }
    if (state.selecting && place >= select_from && place <= select_to) {
      marks |= mark_selected;
    }
    put_text(screen, row, hex, text.substr(hex, 2), paint);
    put_text(screen, row, shown, text.substr(shown, 1), paint);
    for (const std::size_t at : {hex, hex + 1, shown}) {
      if (at < screen.columns) {
        cell_at(screen, row, at).marks |= marks;
      }
    }
    if (place == state.cursor) {
      const std::size_t at = state.in_chars ? shown : hex + (state.half_typed ? 1 : 0);
      if (at < screen.columns) {
        cell_at(screen, row, at).marks |= mark_cursor;
        screen.cursor_row = row;
        screen.cursor_column = at;
      }
    }
  }
}

void draw_picture_column(const ViewState& state, const Document& document, const Picture& picture,
                         Screen& screen, std::size_t rows) {
  const std::size_t column = screen.columns - 1;
  const std::uint64_t length = document.table.length;
  const std::uint64_t shown_end = state.top + rows * line_bytes;
  for (std::size_t k = 0; k < rows && k < picture.cells; ++k) {
    Cell& cell = cell_at(screen, k, column);
    cell = {' ', picture.paints[k], 0};
    const std::uint64_t start = cell_start(length, k, picture.cells);
    const std::uint64_t end =
        k + 1 == picture.cells ? length : cell_start(length, k + 1, picture.cells);
    // A stretch shorter than a line still holds the line it starts in.
    if (start < shown_end && (end > state.top || start >= state.top)) {
      cell.marks |= mark_here;
      cell.ch = '|';
    }
    bool edited = false;
    visit_pieces(document.table, start, std::max(end, start + 1) - start,
                 [&](const Piece& piece, std::uint64_t, std::uint64_t) {
                   edited = edited || piece.source == PieceSource::added;
                 });
    if (edited) {
      cell.marks |= mark_changed;
      cell.ch = '+';
    }
    if (state.match_size > 0 && state.match >= start && state.match < std::max(end, start + 1)) {
      cell.marks |= mark_match;
      cell.ch = '*';
    }
    if (!state.color) {
      // Without colour the picture says with letters what each stretch holds.
      constexpr std::string_view letters = "0tah0123";
      const auto index = static_cast<std::size_t>(picture.paints[k]) -
                         static_cast<std::size_t>(Paint::picture_zero);
      cell.ch =
          (cell.marks & (mark_here | mark_match | mark_changed)) != 0 ? cell.ch : letters[index];
    }
  }
}

void draw_status(const ViewState& state, const Document& document, Screen& screen) {
  const std::size_t row = screen.rows - 1;
  for (std::size_t column = 0; column < screen.columns; ++column) {
    cell_at(screen, row, column) = {' ', Paint::status, 0};
  }
  if (state.prompt.lead != 0) {
    const char lead[1] = {state.prompt.lead};
    std::size_t at = put_text(screen, row, 0, {lead, 1}, Paint::status);
    at = put_text(screen, row, at, {state.prompt.text.data(), state.prompt.size}, Paint::status);
    screen.cursor_row = row;
    screen.cursor_column = std::min(at, screen.columns - 1);
    return;
  }
  if (state.message_size > 0) {
    put_text(screen, row, 0, {state.message.data(), state.message_size}, Paint::message);
    return;
  }
  std::size_t at = put_text(screen, row, 0, document.name, Paint::status);
  at = put_text(screen, row, at, "  ", Paint::status);
  std::array<char, 16> digits{};
  const std::size_t size = address_text(state.cursor, digits);
  at = put_text(screen, row, at, {digits.data(), size}, Paint::status);
  at = put_text(screen, row, at, " (", Paint::status);
  at = put_number(screen, row, at, state.cursor, Paint::status);
  at = put_text(screen, row, at, ") of ", Paint::status);
  at = put_number(screen, row, at, document.table.length, Paint::status);
  at = put_text(screen, row, at, document.incoming >= 0 ? "+ bytes" : " bytes", Paint::status);
  constexpr std::array<std::string_view, 3> modes{"  view", "  overwrite", "  insert"};
  at = put_text(screen, row, at, modes[static_cast<std::size_t>(state.mode)], Paint::status);
  if (document.read_only) {
    at = put_text(screen, row, at, "  read-only", Paint::status);
  }
  if (!is_unchanged(document.table)) {
    at = put_text(screen, row, at, "  changed", Paint::status);
  }
  if (state.search.running) {
    at = put_text(screen, row, at, "  searching: ", Paint::status);
    at = put_number(screen, row, at, state.search.searched >> 20, Paint::status);
    at = put_text(screen, row, at, " MiB, any key stops", Paint::status);
  }
  if (document.error != 0) {
    put_text(screen, row, at, "  read error", Paint::message);
  }
}

constexpr std::array<std::string_view, 21> help_lines{
    "quarnel-view keys (any key closes this)",
    "",
    "arrows h j k l   move a byte or a line      PgUp PgDn b f Space  a screen",
    "Home End 0 $     start or end of the line   g <  G >             start or end of the file",
    ":ADDRESS Enter   go to 0x1F, 31, +16, -16 or 50%      wheel      three lines",
    "M a-z  ' a-z     set a mark, go back to it  Tab                  hex or character column",
    "/PATTERN Enter   search: 7F 45 ?? 4?, \"text\"   n N   next or previous match",
    "t                the inspector: integers, floats, UTF-8, time at the cursor",
    "m                the picture at the right: what the bytes are, or their entropy",
    "i Insert         insert mode (Insert toggles insert and overwrite)   R  overwrite mode",
    "Esc              back to viewing; in edit modes hex digits or characters type",
    "Backspace Del x  delete a byte            v  select, y  copy, x  cut, p  paste",
    "u  Ctrl-R        undo, redo",
    ":w  :w NAME      save, save under another name    :wq  save and quit",
    ":diff NAME       write the edits as a quarnel-diff, for unquarnel -p",
    "q  :q  :q!       quit (q twice or :q! leaves changes unsaved)",
    "Ctrl-Z           suspend (fg comes back)      ?  F1   this list",
    "",
    "The picture: grey zeros, cyan text, magenta other ASCII, yellow other bytes;",
    "| marks the screen's place, * the match, + the edits.",
};

}  // namespace

void draw_picture(Document& document, std::size_t cells, bool entropy, Picture& picture) {
  static std::array<std::uint8_t, 4096> sample;
  picture.valid = true;
  picture.entropy = entropy;
  picture.cells = std::min(cells, picture.paints.size());
  const std::uint64_t length = document.table.length;
  picture.length = length;
  for (std::size_t k = 0; k < picture.cells; ++k) {
    // The sample lies inside the stretch the cell stands for.
    const std::uint64_t start = cell_start(length, k, picture.cells);
    const std::uint64_t end =
        k + 1 == picture.cells ? length : cell_start(length, k + 1, picture.cells);
    const std::size_t got = read_document(
        document, start,
        std::span(sample).first(
            static_cast<std::size_t>(std::clamp<std::uint64_t>(end - start, 1, sample.size()))));
    std::array<std::uint32_t, 256> counts{};
    for (std::size_t n = 0; n < got; ++n) {
      counts[sample[n]] += 1;
    }
    if (entropy) {
      double bits = 0;
      for (const std::uint32_t count : counts) {
        if (count > 0) {
          const double share = count / static_cast<double>(got);
          bits -= share * std::log2(share);
        }
      }
      const auto step = std::min<std::size_t>(3, static_cast<std::size_t>(bits / 2));
      picture.paints[k] = static_cast<Paint>(static_cast<std::size_t>(Paint::entropy_low) + step);
      continue;
    }
    std::array<std::uint32_t, 4> kinds{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
      const ByteClass kind = byte_class(static_cast<unsigned char>(byte));
      const std::size_t index = kind == zero_byte                              ? 0
                                : kind == printable_byte || kind == space_byte ? 1
                                : kind == other_ascii_byte                     ? 2
                                                                               : 3;
      kinds[index] += counts[byte];
    }
    const auto most =
        static_cast<std::size_t>(std::max_element(kinds.begin(), kinds.end()) - kinds.begin());
    picture.paints[k] = static_cast<Paint>(static_cast<std::size_t>(Paint::picture_zero) + most);
  }
}

void clear_screen(Screen& screen, std::size_t rows, std::size_t columns) {
  screen.rows = std::min(rows, tallest_screen);
  screen.columns = std::min(columns, widest_screen);
  for (std::size_t row = 0; row < screen.rows; ++row) {
    for (std::size_t column = 0; column < screen.columns; ++column) {
      cell_at(screen, row, column) = Cell{};
    }
  }
  screen.cursor_row = 0;
  screen.cursor_column = 0;
}

void draw_screen(const ViewState& state, Document& document, Picture& picture, Screen& screen) {
  clear_screen(screen, state.rows, state.columns);
  if (screen.rows == 0 || screen.columns == 0) {
    return;
  }
  const std::size_t rows = std::min(byte_rows(state), screen.rows - 1);
  if (state.help) {
    for (std::size_t k = 0; k < help_lines.size() && k + 1 < screen.rows; ++k) {
      put_text(screen, k, 0, help_lines[k], Paint::plain);
    }
  } else {
    const std::uint64_t length = document.table.length;
    const std::uint64_t last = state.mode == Mode::insert || length == 0 ? length : length - 1;
    for (std::size_t row = 0; row < rows; ++row) {
      const std::uint64_t address = state.top + row * line_bytes;
      if (address / line_bytes > last / line_bytes) {
        break;
      }
      draw_line(state, document, screen, row, address);
    }
    // The picture stands clear of the widest line.
    if (screen.columns >= geometry::line_text + 2) {
      if (!picture.valid || picture.cells != rows || picture.entropy != state.entropy ||
          picture.length != length) {
        draw_picture(document, rows, state.entropy, picture);
      }
      draw_picture_column(state, document, picture, screen, rows);
    }
  }
  if (state.inspector) {
    std::array<std::uint8_t, 8> bytes{};
    const std::size_t got = read_document(document, state.cursor, bytes);
    static Inspection inspection;
    inspect_bytes(std::span(bytes).first(got), inspection);
    for (std::size_t k = 0; k < inspector_lines && rows + k + 1 < screen.rows; ++k) {
      put_text(screen, rows + k, 0, inspection_line(inspection, k), Paint::plain);
    }
  }
  draw_status(state, document, screen);
}

}  // namespace quarnel
