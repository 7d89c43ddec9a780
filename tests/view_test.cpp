// The viewer's engine apart from any terminal: the piece table against a
// plain vector, the keys' effects on a file's bytes and on the screen's
// cells, the go-to forms, the inspector's values and the saves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "view/document.h"
#include "view/inspector.h"
#include "view/piece_table.h"
#include "view/save_edits.h"
#include "view/screen.h"
#include "view/view.h"

namespace quarnel {
namespace {

using namespace std::string_view_literals;

using testing::contents;
using testing::memory_file;

std::string table_bytes(Document& document) {
  std::string bytes(document.table.length, '\0');
  const std::size_t got = read_document(
      document, 0, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  bytes.resize(got);
  return bytes;
}

std::span<const std::uint8_t> as_bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Random inserts, deletes, overwrites, undos and redos over a file, each
// checked against a string that does the same and keeps the states before
// each change.
TEST(PieceTable, MatchesAPlainStringUnderRandomEdits) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    const std::string original = testing::unrepeated(random() % 3000, seed);
    static Document document;
    open_document(document, memory_file(original), original.size());
    std::vector<std::string> done;
    std::vector<std::string> undone;
    std::string model = original;
    for (int step = 0; step < 300; ++step) {
      const std::size_t at = model.empty() ? 0 : random() % (model.size() + 1);
      const std::string bytes =
          testing::unrepeated(1 + random() % 40, seed * 1000 + static_cast<unsigned>(step));
      const auto what = static_cast<unsigned>(random() % 5);
      const std::string before = model;
      const std::size_t changes = document.table.done.size();
      std::uint64_t cursor = 0;
      if (what == 0) {
        insert_bytes(document.table, at, as_bytes(bytes));
        model.insert(at, bytes);
      } else if (what == 1) {
        const std::size_t count = random() % 60;
        erase_bytes(document.table, at, count);
        model.erase(at, count);
      } else if (what == 2) {
        overwrite_bytes(document.table, at, as_bytes(bytes));
        model.replace(at, bytes.size(), bytes);
      } else if (what == 3) {
        ASSERT_EQ(undo_change(document.table, cursor), !done.empty()) << seed << " " << step;
        if (!done.empty()) {
          undone.push_back(model);
          model = done.back();
          done.pop_back();
        }
      } else {
        ASSERT_EQ(redo_change(document.table, cursor), !undone.empty()) << seed << " " << step;
        if (!undone.empty()) {
          done.push_back(model);
          model = undone.back();
          undone.pop_back();
        }
      }
      if (what < 3) {
        // An edit that changes nothing (a deletion past the end) is no change.
        ASSERT_EQ(document.table.done.size() > changes, model != before) << seed << " " << step;
        if (model != before) {
          done.push_back(before);
          undone.clear();
        }
      }
      ASSERT_EQ(document.table.length, model.size()) << seed << " " << step;
      ASSERT_EQ(table_bytes(document), model) << seed << " " << step;
      ASSERT_EQ(is_unchanged(document.table), done.empty()) << seed << " " << step;
    }
    close_handle(document.handle);
  }
}

TEST(ViewAddress, ReadsEachFormTheGoToCommandTakes) {
  struct Case {
    std::string_view text;
    std::uint64_t cursor;
    std::uint64_t length;
    bool valid;
    std::uint64_t address;
  };
  const Case cases[] = {
      {"0x1F", 0, 100, true, 31},
      {"0X1f", 0, 100, true, 31},
      {"31", 0, 100, true, 31},
      {"+16", 20, 100, true, 36},
      {"-16", 20, 100, true, 4},
      {"-21", 20, 100, false, 0},
      {"50%", 0, 100, true, 50},
      {"100%", 0, 100, true, 99},
      {"0%", 50, 100, true, 0},
      {"101%", 0, 100, false, 0},
      {"99", 0, 100, true, 99},
      {"100", 0, 100, false, 0},
      {"+80", 20, 100, true, 100 - 0},
      {"0", 0, 0, true, 0},
      {"", 0, 100, false, 0},
      {"0x", 0, 100, false, 0},
      {"1F", 0, 100, false, 0},
      {"12 ", 0, 100, false, 0},
      {"-0x10", 20, 100, true, 4},
      {"50%%", 0, 100, false, 0},
      // Half of the largest length, without overflow.
      {"50%", 0, ~std::uint64_t{0}, true, ~std::uint64_t{0} / 2},
  };
  for (const Case& c : cases) {
    std::uint64_t address = 0;
    const bool valid = read_address(c.text, c.cursor, c.length, address);
    // "+80" from 20 lands on 100, the end itself: no byte is there.
    const bool expected = c.text == "+80" ? false : c.valid;
    EXPECT_EQ(valid, expected) << c.text;
    if (valid && expected) {
      EXPECT_EQ(address, c.address) << c.text;
    }
  }
}

TEST(ViewInspector, ShowsTheValuesOfTheBytesAtTheCursor) {
  static Inspection inspection;
  const std::uint8_t bytes[] = {0xC3, 0xA9, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00};
  inspect_bytes(bytes, inspection);
  const std::vector<std::string> expected{
      "u8 195   i8 -61   UTF-8 U+00E9 \"\xC3\xA9\"",
      "u16 LE 43459 BE 50089   i16 LE -22077 BE -15447",
      "u32 LE 2147527107 BE 3282632832   i32 LE -2147440189 BE -1012334464",
      "u64 LE 272730466755 BE 14098800659272826880",
      "i64 LE 272730466755 BE -4347943414436724736",
      "f32 LE -6.0899e-41 BE -338.0039   f64 LE 1.34746754198e-312 BE -900790429509746688",
      "time LE 2038-01-19 15:18:27 UTC   BE 2074-01-08 10:27:12 UTC",
  };
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(inspection_line(inspection, k), expected[k]) << k;
  }
  // Too few bytes for the wider values, and a lone continuation byte.
  const std::uint8_t short_bytes[] = {0xA9, 0x01};
  inspect_bytes(short_bytes, inspection);
  EXPECT_EQ(inspection_line(inspection, 0), "u8 169   i8 -87   UTF-8 none");
  EXPECT_EQ(inspection_line(inspection, 1), "u16 LE 425 BE 43265   i16 LE 425 BE -22271");
  EXPECT_EQ(inspection_line(inspection, 2), "u32 and i32: past the end");
  EXPECT_EQ(inspection_line(inspection, 6), "time: past the end");
  // Not a lead byte, though continuation bytes follow; and a character of
  // four bytes.
  const std::uint8_t not_lead[] = {0xC1, 0x80, 0x80, 0x80};
  inspect_bytes(not_lead, inspection);
  EXPECT_EQ(inspection_line(inspection, 0), "u8 193   i8 -63   UTF-8 none");
  const std::uint8_t four[] = {0xF0, 0x9F, 0x98, 0x80};
  inspect_bytes(four, inspection);
  EXPECT_EQ(inspection_line(inspection, 0), "u8 240   i8 -16   UTF-8 U+1F600 \"\xF0\x9F\x98\x80\"");
}

void write_file(const std::string& name, std::string_view bytes) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  ASSERT_EQ(std::fclose(file), 0);
}

// A session over bytes kept in a named file, as the program has one.
struct Session {
  std::string name;
  Document document;
  ViewState state;
  SaveState saved;
};

Session& open_session(std::string_view bytes) {
  static Session session;
  if (session.document.handle >= 0) {
    close_handle(session.document.handle);
  }
  session.name = testing::scratch_name("view");
  write_file(session.name, bytes);
  session.state = ViewState{};
  session.state.columns = 80;
  session.state.rows = 6;
  session.state.color = false;
  session.document.name = session.name.c_str();
  session.document.read_only = false;
  open_document(session.document, open_input(session.name.c_str()), bytes.size());
  note_file(session.saved, session.document);
  return session;
}

void press(Session& session, const std::vector<int>& keys) {
  for (const int key : keys) {
    const ViewRequest request = press_key(session.state, session.document, key);
    if (request == ViewRequest::save || request == ViewRequest::save_as ||
        request == ViewRequest::save_diff || request == ViewRequest::save_quit) {
      static_cast<void>(save_edits(session.state, session.document, session.saved, request));
    }
    // A search runs between keys; here to its end.
    while (session.state.search.running) {
      continue_search(session.state, session.document, ~std::uint64_t{0});
    }
    settle_view(session.state, session.document);
  }
}

std::vector<int> typed(std::string_view text) { return {text.begin(), text.end()}; }

std::string file_bytes(const Session& session) {
  const int handle = open_input(session.name.c_str());
  std::string bytes = contents(handle);
  close_handle(handle);
  return bytes;
}

// The screen's rows as text, without their trailing blanks.
std::vector<std::string> screen_rows(const Screen& screen) {
  std::vector<std::string> rows;
  for (std::size_t row = 0; row < screen.rows; ++row) {
    std::string line;
    for (std::size_t column = 0; column < screen.columns; ++column) {
      line += cell_at(screen, row, column).ch;
    }
    rows.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
  }
  return rows;
}

TEST(ViewScreen, DrawsTheDumpLinesThePictureAndTheStatus) {
  Session& session = open_session("Hello, world!\n\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\xFF\xFE"sv);
  static Screen screen;
  static Picture picture;
  press(session, {key_right, key_right});
  draw_screen(session.state, session.document, picture, screen);
  const std::vector<std::string> rows = screen_rows(screen);
  const std::vector<std::string> expected{
      "00000000  48 65 6C 6C 6F 2C 20 77-6F 72 6C 64 21 0A 00 00   Hello, world!...   |",
      "00000010  00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00   ................   |",
      "00000020  FF FE                                             ..                 |",
      std::string(79, ' ') + "|",
      std::string(79, ' ') + "|",
      session.name + "  00000002 (2) of 34 bytes  view",
  };
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(screen.cursor_row, 0U);
  EXPECT_EQ(screen.cursor_column, 16U);
  EXPECT_NE(cell_at(screen, 0, 16).marks & mark_cursor, 0);
}

// The picture's cells, without colour: what each stretch mostly holds as
// a letter, | where the screen is, + where an edit is, * the match.
TEST(ViewScreen, ThePictureTellsWhatEachStretchHolds) {
  std::string bytes(800, '\0');
  bytes += std::string(800, 'x');
  bytes += std::string(800, '\x01');
  bytes += std::string(800, '\xF0');
  bytes += std::string(800, '\0');
  Session& session = open_session(bytes);
  static Screen screen;
  static Picture picture;
  const auto column = [&] {
    draw_screen(session.state, session.document, picture, screen);
    std::string cells;
    for (std::size_t row = 0; row + 1 < screen.rows; ++row) {
      cells += cell_at(screen, row, screen.columns - 1).ch;
    }
    return cells;
  };
  EXPECT_EQ(column(), "|tah0");
  press(session, typed(":0x900\rR41\x1b"));
  EXPECT_EQ(column(), "0t+h0");
  press(session, typed("/F0 F0\r"));
  EXPECT_EQ(column(), "0t+*0");
  EXPECT_EQ(column().size(), byte_rows(session.state));
}

// The inspector on a screen too short for it keeps a line of bytes and
// the status line, and shows as many of its lines as fit between them.
TEST(ViewScreen, TheInspectorOnAShortScreen) {
  Session& session = open_session("ABCDEFGH");
  session.state.inspector = true;
  static Screen screen;
  static Picture picture;
  draw_screen(session.state, session.document, picture, screen);
  std::vector<std::string> rows = screen_rows(screen);
  for (std::string& row : rows) {
    row.resize(std::min<std::size_t>(row.size(), 3));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"000", "u8 ", "u16", "u32", "u64", "/tm"}));
}

// Keys from the first screen, and what they leave: the bytes, the cursor
// and the status line's message.
TEST(ViewKeys, EditMoveAndUndo) {
  struct Case {
    std::string_view name;
    std::vector<int> keys;
    std::string bytes;
    std::uint64_t cursor;
    std::string_view message;
  };
  const std::string start = "0123456789ABCDEFghijklmnopqrstuvwxyz";
  const Case cases[] = {
      {"moves", {key_down, key_right, 'l', 'h', 'j'}, start, 33, ""},
      {"past the end stays on the last byte", {'G', key_right, key_down}, start, 35, ""},
      {"go to", typed(":0x20\r"), start, 32, ""},
      {"go to a relative place", typed(":0x20\r:-5\r"), start, 27, ""},
      {"go to past the end", typed(":36\r"), start, 0,
       "not an address in the file, nor a command (:w, :w NAME, :diff NAME, :q, :q!)"},
      {"overwrite hex digits", typed("R4142"), "AB" + start.substr(2), 2, ""},
      {"overwrite half a byte", typed("R7"), "p" + start.substr(1), 0, ""},
      {"overwrite characters", {'R', key_tab, 'x', 'y', key_escape}, "xy" + start.substr(2), 2, ""},
      {"insert", typed("i4142\x1b"), "AB" + start, 2, ""},
      {"insert at the end", {'G', 'i', key_right, '2', '1', key_escape}, start + "!", 36, ""},
      {"delete", {key_right, 'x', 'x'}, "0" + start.substr(3), 1, ""},
      {"backspace in insert mode",
       {key_right, key_right, 'i', key_backspace},
       "0" + start.substr(2),
       1,
       ""},
      {"undo and redo", {'x', 'x', 'u', 'u', 'u', control_key('R')}, start.substr(1), 0, ""},
      {"nothing to undo", {'u'}, start, 0, "nothing to undo"},
      {"cut and paste",
       {'v', key_right, key_right, 'x', 'G', 'p'},
       start.substr(3, 32) + "012" + start.substr(35),
       32,
       ""},
      {"copy and paste",
       {'v', key_right, 'y', key_down, 'p'},
       start.substr(0, 17) + "01" + start.substr(17),
       17,
       ""},
      {"marks", {'M', 'a', 'G', '\'', 'a'}, start, 0, ""},
      {"an unset mark", {'\'', 'b'}, start, 0, "that mark is not set: M and a letter sets one"},
      {"search", typed("/\"kl\"\r"), start, 20, ""},
      {"search past the end goes on from the start", typed("G/30\r"), start, 0,
       "search went on from the start"},
      {"search backwards", typed("G/\"k\"\rN"), start, 20, "search went on from the end"},
      {"no match", typed("/\"kk\"\r"), start, 0, "pattern not found"},
      {"a bad pattern", typed("/4G\r"), start, 0, "pattern:2: \"G\" is not a hex digit"},
      {"quit with changes asks again", typed("xq"), start.substr(1), 0,
       "the changes are not saved: :w saves them, q again quits without"},
  };
  for (const Case& c : cases) {
    Session& session = open_session(start);
    press(session, c.keys);
    EXPECT_EQ(table_bytes(session.document), c.bytes) << c.name;
    EXPECT_EQ(session.state.cursor, c.cursor) << c.name;
    EXPECT_EQ(std::string_view(session.state.message.data(), session.state.message_size), c.message)
        << c.name;
  }
}

// A command longer than the prompt holds keeps its first 1024 characters.
TEST(ViewKeys, APromptHoldsWhatFits) {
  Session& session = open_session("bytes");
  press(session, typed(":" + std::string(1100, '9')));
  EXPECT_EQ(session.state.prompt.size, session.state.prompt.text.size());
  press(session, {key_escape});
  EXPECT_EQ(session.state.prompt.lead, 0);
}

// Any key stops a search that is still looking, and does nothing else.
TEST(ViewKeys, AnyKeyStopsASearch) {
  Session& session = open_session(std::string(100000, 'n'));
  for (const int key : typed("/\"y\"\r")) {
    static_cast<void>(press_key(session.state, session.document, key));
  }
  ASSERT_TRUE(session.state.search.running);
  continue_search(session.state, session.document, 1000);
  ASSERT_TRUE(session.state.search.running);
  EXPECT_EQ(press_key(session.state, session.document, 'q'), ViewRequest::none);
  EXPECT_FALSE(session.state.search.running);
  EXPECT_EQ(std::string_view(session.state.message.data(), session.state.message_size),
            "search stopped");
  EXPECT_EQ(session.state.cursor, 0U);
}

TEST(ViewSave, WritesTheEditsAndTellsWhatStoodInTheWay) {
  const std::string start = "0123456789ABCDEFghijklmnopqrstuvwxyz";
  struct Case {
    std::string_view name;
    std::vector<int> keys;
    std::string file;
    std::string_view message;
  };
  const Case cases[] = {
      {"in place", typed("R4142\x1b:w\r"), "AB" + start.substr(2), "saved"},
      {"a longer file", typed("i4142\x1b:w\r"), "AB" + start, "saved"},
      {"a shorter file", typed("xx:w\r"), start.substr(2), "saved"},
      {"a tail written in place", typed("G$i4142\x1b:w\r"),
       start.substr(0, 35) + "AB" + start.substr(35), "saved"},
      {"a tail cut", typed("Gx:w\r"), start.substr(0, 35), "saved"},
      {"nothing changed", typed(":w\r"), start, "no changes to save"},
      {"saved, then changed again", typed("x:w\rx:w\r"), start.substr(2), "saved"},
      {"undone after the save", typed("x:w\ru"), start.substr(1), "nothing to undo"},
  };
  for (const Case& c : cases) {
    Session& session = open_session(start);
    press(session, c.keys);
    EXPECT_EQ(file_bytes(session), c.file) << c.name;
    EXPECT_EQ(std::string_view(session.state.message.data(), session.state.message_size), c.message)
        << c.name;
    EXPECT_EQ(table_bytes(session.document), c.file) << c.name;
    EXPECT_TRUE(is_unchanged(session.document.table) || c.name == "undone after the save")
        << c.name;
    std::remove(session.name.c_str());
  }
}

// Another program writes the file while it is shown: the first :w says so
// and leaves the file alone, a second saves over it.
TEST(ViewSave, AFileChangedMeanwhileIsSavedOverOnlyWhenAskedTwice) {
  const std::string start = "0123456789ABCDEF";
  Session& session = open_session(start);
  press(session, typed("R41\x1b"));
  // A time the file cannot have had when it was opened.
  write_file(session.name, "changed elsewhere");
  const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, session.name.c_str(), times, 0), 0);
  press(session, typed(":w\r"));
  EXPECT_EQ(std::string_view(session.state.message.data(), session.state.message_size),
            "the file changed since it was opened: :w again saves over it");
  EXPECT_EQ(file_bytes(session), "changed elsewhere");
  press(session, typed(":w\r"));
  // The bytes written in place are checked against those the file held:
  // they differ, and nothing is written.
  EXPECT_EQ(std::string_view(session.state.message.data(), session.state.message_size),
            "not saved: the file does not hold the bytes it held when it was opened");
  EXPECT_EQ(file_bytes(session), "changed elsewhere");
  std::remove(session.name.c_str());
}

TEST(ViewSave, WritesACopyUnderAnotherName) {
  const std::string start = "0123456789ABCDEF";
  Session& session = open_session(start);
  const std::string copy = testing::scratch_name("view-copy");
  press(session, typed("x:w " + copy + "\r"));
  EXPECT_EQ(std::string_view(session.state.message.data(), session.state.message_size),
            "written: " + copy);
  EXPECT_EQ(file_bytes(session), start);
  const int handle = open_input(copy.c_str());
  EXPECT_EQ(contents(handle), start.substr(1));
  close_handle(handle);
  EXPECT_FALSE(is_unchanged(session.document.table));
  std::remove(copy.c_str());
  std::remove(session.name.c_str());
}

// :diff NAME writes the edits as a quarnel-diff: unquarnel applies it to
// a copy of the file as it was, undoes it, and refuses it a second time.
TEST(ViewSave, WritesTheEditsAsADiffThatUnquarnelApplies) {
  const std::string start = testing::unrepeated(5000, 9);
  Session& session = open_session(start);
  const std::string diff = testing::scratch_name("view-diff");
  press(session, typed("R41\x1b:0x800\ri4243\x1b:diff " + diff + "\r"));
  EXPECT_EQ(std::string_view(session.state.message.data(), session.state.message_size),
            "written: " + diff);
  const std::string edited = table_bytes(session.document);
  ASSERT_EQ(edited.size(), start.size() + 2);
  EXPECT_TRUE(file_bytes(session) == start);
  const std::string copy = testing::scratch_name("view-copy");
  write_file(copy, start);
  const auto unquarnel = [&](const std::vector<std::string>& args) {
    return testing::run_tool(args, "", {}, UNQUARNEL_BINARY).status;
  };
  const auto copy_bytes = [&] {
    const int handle = open_input(copy.c_str());
    std::string bytes = contents(handle);
    close_handle(handle);
    return bytes;
  };
  EXPECT_EQ(unquarnel({"-p", copy, diff}), 0);
  EXPECT_TRUE(copy_bytes() == edited);
  EXPECT_NE(unquarnel({"-p", copy, diff}), 0);
  EXPECT_TRUE(copy_bytes() == edited);
  EXPECT_EQ(unquarnel({"-R", "-p", copy, diff}), 0);
  EXPECT_TRUE(copy_bytes() == start);
  std::remove(copy.c_str());
  std::remove(diff.c_str());
  std::remove(session.name.c_str());
}

}  // namespace
}  // namespace quarnel
