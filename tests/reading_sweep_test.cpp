// Every dump the real xxd, hexdump and od write of small inputs under many
// flags (tests/layouts/sweep-dumps.sh), pasted as written, with CR LF, with
// trailing blanks taken off and without the last line end: read back, it
// gives exactly the bytes it shows or is refused; a claimed layout read as
// written is refused only where two readings differ, and then reads back
// exactly with its --from; a file patched with its own dump keeps its
// bytes, and with one byte's digits edited changes that byte alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/undump.h"
#include "support/layout_texts.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using namespace testing;

std::string file_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct SweepCase {
  std::string name, group, reading, label;
  bool addressed = false;
  std::string dump, shown, input;
};

std::vector<SweepCase> sweep_cases() {
  std::vector<SweepCase> cases;
  std::ifstream list(std::filesystem::path(QUARNEL_SWEEP_DIR) / "cases");
  for (std::string line; std::getline(list, line);) {
    std::istringstream words(line);
    SweepCase c;
    std::string addressed;
    words >> c.name >> c.group >> c.reading >> addressed;
    std::getline(words, c.label);
    c.addressed = addressed == "yes";
    const std::filesystem::path base = std::filesystem::path(QUARNEL_SWEEP_DIR) / c.name;
    c.dump = file_text(base.string() + ".dump");
    c.shown = file_text(base.string() + ".bin");
    c.input = file_text(base.string() + ".in");
    cases.push_back(std::move(c));
  }
  return cases;
}

// The ways a dump reaches unquarnel: as written, through Windows, an editor
// that takes trailing blanks off, a paste that lost its last line end.
std::vector<std::pair<std::string, std::string>> pastes(const std::string& dump) {
  std::vector<std::pair<std::string, std::string>> all{
      {"as written", dump}, {"CR LF", pasted(dump, 1)}, {"stripped", pasted(dump, 2)}};
  if (dump.ends_with('\n')) {
    all.emplace_back("no last line end", pasted(dump, 3));
  }
  return all;
}

// The dump with the first byte of its first line of bytes changed by 0x80,
// or empty where there is none.
std::string edit_first_byte(const SweepCase& c) {
  std::string text = c.dump;
  std::size_t at = c.group == "hexdump" ? text.find("  ")
                   : c.group == "od"    ? text.find(' ')
                                        : text.find(": ");
  // The copies of a line that a * line stands for change with it.
  if (at == std::string::npos || c.group == "xxd-c" || c.group == "xxd-plain" ||
      text.find("\n*") != std::string::npos) {
    return {};
  }
  at = text.find_first_not_of(' ', at + (c.group.starts_with("xxd") ? 1 : 0));
  if (at == std::string::npos || text[at] == '\n') {
    return {};
  }
  char& digit = text[at];
  if (c.group == "xxd-b") {
    digit = digit == '0' ? '1' : '0';
  } else {
    const int value = digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10;
    const int flipped = value ^ 8;
    digit =
        static_cast<char>(flipped < 10 ? '0' + flipped : (digit >= 'a' ? 'a' : 'A') + flipped - 10);
  }
  return text;
}

// The places where two files differ.
std::vector<std::size_t> differences(const std::string& a, const std::string& b) {
  std::vector<std::size_t> places;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    if (i >= a.size() || i >= b.size() || a[i] != b[i]) {
      places.push_back(i);
    }
  }
  return places;
}

class ReadingSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    cases_ = sweep_cases();
    if (cases_.empty()) {
      GTEST_SKIP() << "no xxd, hexdump or od here: no dumps to read back";
    }
  }
  std::vector<SweepCase> cases_;
};

TEST_F(ReadingSweep, EveryDumpReadsBackAsItsBytesOrIsRefused) {
  std::size_t read_back = 0;
  for (const SweepCase& c : cases_) {
    for (const auto& [paste, text] : pastes(c.dump)) {
      const std::string where = c.name + " " + c.label + ", " + paste;
      const ReadAll got = read_all(text, ReadMode::dumps, DumpReading::any);
      if (got.stop.error == ReadError::none) {
        ASSERT_NE(c.group, "words") << where;
        ASSERT_TRUE(got.bytes == c.shown) << where;
        ++read_back;
        continue;
      }
      if (c.group == "words") {
        EXPECT_TRUE(text.empty() || got.stop.error == ReadError::word_layout) << where;
        continue;
      }
      if (paste == "no last line end" || text.empty()) {
        continue;
      }
      // A claimed layout is refused only where two readings differ, and
      // its own reading then reads it, or where a * line stands for an
      // unknown number of lines.
      if (got.stop.error == ReadError::uncounted_squeeze) {
        continue;
      }
      ASSERT_EQ(got.stop.error, ReadError::ambiguous)
          << where << ": " << message(got.stop.error) << " at " << got.stop.line;
      EXPECT_NE(got.stop.readings[0], got.stop.readings[1]) << where;
      const ReadAll named = read_all(text, ReadMode::dumps, reading_named(c.reading));
      ASSERT_EQ(named.stop.error, ReadError::none) << where << " with --from=" << c.reading;
      ASSERT_TRUE(named.bytes == c.shown) << where << " with --from=" << c.reading;
    }
  }
  EXPECT_GT(read_back, cases_.size());
}

TEST_F(ReadingSweep, AFileKeepsItsBytesUnderItsOwnDumpAndChangesOneByteUnderAnEdit) {
  for (const SweepCase& c : cases_) {
    if (!c.addressed || c.dump.empty()) {
      continue;
    }
    for (const auto& [paste, text] : pastes(c.dump)) {
      const std::string where = c.name + " " + c.label + ", " + paste;
      const ReadAll got = read_all(text, ReadMode::lines, DumpReading::any, c.input);
      if (got.stop.error == ReadError::none) {
        ASSERT_TRUE(got.bytes == c.input) << where;
      } else if (paste != "no last line end") {
        ASSERT_EQ(got.stop.error, ReadError::ambiguous) << where << ": " << message(got.stop.error);
      }
    }
    const std::string edited = edit_first_byte(c);
    if (edited.empty()) {
      continue;
    }
    const ReadAll got = read_all(edited, ReadMode::lines, DumpReading::any, c.input);
    if (got.stop.error == ReadError::none) {
      const std::vector<std::size_t> changed = differences(got.bytes, c.input);
      ASSERT_EQ(changed.size(), 1U) << c.name << " " << c.label << ", edited";
      EXPECT_EQ(static_cast<unsigned char>(got.bytes[changed[0]]),
                static_cast<unsigned char>(c.input[changed[0]]) ^ 0x80U)
          << c.name << " " << c.label << ", edited";
    } else {
      // An edited character column proves no reading: the text names the
      // readings, and its own one reads the edit. A column of blanks over
      // an edited byte no longer tells xxd -b's bits from hex digits.
      if (got.stop.error == ReadError::bits_or_hex && c.group == "xxd-b") {
        continue;
      }
      EXPECT_TRUE(got.stop.error == ReadError::ambiguous ||
                  got.stop.error == ReadError::column_fits_none)
          << c.name << " " << c.label << ", edited";
      const ReadAll named = read_all(edited, ReadMode::lines, reading_named(c.reading), c.input);
      ASSERT_EQ(named.stop.error, ReadError::none) << c.name << " " << c.label << ", edited";
      EXPECT_EQ(differences(named.bytes, c.input).size(), 1U) << c.name << " " << c.label;
    }
  }
}

TEST_F(ReadingSweep, UnquarnelPatchesAFileWithItsOwnDumpAndAnEdit) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("quarnel-sweep-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "file").string();
  const std::string dump = (folder / "dump").string();
  for (const SweepCase& c : cases_) {
    if (!c.addressed || c.input.size() != 17 || c.label.find("binary") == std::string::npos) {
      continue;
    }
    for (const std::string& text : {c.dump, edit_first_byte(c)}) {
      if (text.empty()) {
        continue;
      }
      std::ofstream(file, std::ios::binary) << c.input;
      std::ofstream(dump, std::ios::binary) << text;
      Outcome got = run_tool({"-p", file, dump}, "", {}, UNQUARNEL_BINARY);
      // An edit in the lines that settle the reading is refused, naming the
      // reading that applies it, and leaves the file as it was.
      if (got.status != 0 && text != c.dump) {
        // The flags' own reading where it is named; a -d dump's first line
        // may not tell its radix, and its addresses read alike in both.
        std::string said = got.err;
        std::erase(said, '\r');
        const std::string own = "--from=" + c.reading;
        const std::size_t named =
            said.find(own + " ") != std::string::npos || said.ends_with(own + "\n")
                ? said.find(own)
                : said.find("--from=");
        ASSERT_NE(named, std::string::npos) << c.label << got.err;
        ASSERT_TRUE(file_text(file) == c.input) << c.name << " " << c.label;
        const std::string from = said.substr(named, said.find_first_of(" \n", named) - named);
        got = run_tool({"-p", file, from, dump}, "", {}, UNQUARNEL_BINARY);
      }
      const std::string after = file_text(file);
      ASSERT_EQ(got.status, 0) << c.name << " " << c.label << ": " << got.err;
      EXPECT_EQ(differences(after, c.input).size(), text == c.dump ? 0U : 1U)
          << c.name << " " << c.label;
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quarnel
