// quarnel-view as a user meets it: the program on a pseudo-terminal, its
// screen read cell by cell through a real terminal emulator (libvterm),
// keys typed as the emulator's keyboard sends them.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vterm.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace std::string_literals;

struct Terminal {
  int master = -1;
  pid_t child = -1;
  VTerm* vt = nullptr;
  VTermScreen* screen = nullptr;
  int rows = 24;
  int columns = 80;
  std::string raw;  // every byte the program wrote
  int status = -1;  // once the child ended, as waitpid says
};

// Starts argv on a new pseudo-terminal of the size given, as a session of
// its own with the terminal its controlling one; TERM names a terminal
// libvterm emulates. in, when not -1, is its standard input instead.
bool start(Terminal& terminal, const std::vector<std::string>& argv, int rows = 24,
           int columns = 80, int in = -1, const char* folder = nullptr) {
  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  int slave = -1;
  if (::openpty(&terminal.master, &slave, nullptr, nullptr, &size) != 0) {
    return false;
  }
  terminal.rows = rows;
  terminal.columns = columns;
  terminal.child = ::fork();
  if (terminal.child == 0) {
    ::setsid();
    ::ioctl(slave, TIOCSCTTY, 0);
    ::dup2(in >= 0 ? in : slave, 0);
    ::dup2(slave, 1);
    ::dup2(slave, 2);
    ::close(slave);
    ::close(terminal.master);
    if (folder != nullptr && ::chdir(folder) != 0) {
      ::_exit(126);
    }
    ::setenv("TERM", "xterm-256color", 1);
    ::unsetenv("NO_COLOR");
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(slave);
  terminal.vt = vterm_new(rows, columns);
  vterm_set_utf8(terminal.vt, 1);
  terminal.screen = vterm_obtain_screen(terminal.vt);
  vterm_screen_enable_altscreen(terminal.screen, 1);
  vterm_screen_reset(terminal.screen, 1);
  return terminal.child > 0;
}

// Hands what the emulator answers (to a query, or a key) to the program.
void answer(Terminal& terminal) {
  char buffer[256];
  for (size_t got; (got = vterm_output_read(terminal.vt, buffer, sizeof buffer)) > 0;) {
    static_cast<void>(::write(terminal.master, buffer, got));
  }
}

// Reads what the program writes for up to wait milliseconds.
void pump(Terminal& terminal, int wait) {
  pollfd ready{terminal.master, POLLIN, 0};
  while (::poll(&ready, 1, wait) > 0) {
    char buffer[65536];
    const ssize_t got = ::read(terminal.master, buffer, sizeof buffer);
    if (got <= 0) {
      return;
    }
    terminal.raw.append(buffer, static_cast<std::size_t>(got));
    vterm_input_write(terminal.vt, buffer, static_cast<std::size_t>(got));
    answer(terminal);
    wait = 0;
  }
}

// Reads what the program writes until it has written nothing for a
// while: the screen is whole.
void settle(Terminal& terminal) {
  const std::size_t quiet_rounds = 10;
  for (std::size_t quiet = 0; quiet < quiet_rounds;) {
    const std::size_t before = terminal.raw.size();
    pump(terminal, 20);
    quiet = terminal.raw.size() == before ? quiet + 1 : 0;
  }
}

std::string row_text(const Terminal& terminal, int row) {
  std::string text;
  for (int column = 0; column < terminal.columns; ++column) {
    VTermScreenCell cell{};
    vterm_screen_get_cell(terminal.screen, {row, column}, &cell);
    const uint32_t ch = cell.chars[0];
    text += ch == 0 ? ' ' : ch < 0x80 ? static_cast<char>(ch) : '?';
  }
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::string screen_text(const Terminal& terminal) {
  std::string text;
  for (int row = 0; row < terminal.rows; ++row) {
    text += row_text(terminal, row) + "\n";
  }
  return text;
}

// Waits until the screen shows what seen looks for, for ten seconds at
// most; false (and the screen printed) if it never does.
bool wait_for(Terminal& terminal, const std::function<bool()>& seen) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    pump(terminal, 20);
    if (seen()) {
      return true;
    }
  }
  ADD_FAILURE() << "the screen:\n" << screen_text(terminal);
  return false;
}

bool wait_for_row(Terminal& terminal, int row, const std::string& text) {
  return wait_for(terminal, [&] { return row_text(terminal, row) == text; });
}

bool wait_for_row_start(Terminal& terminal, int row, const std::string& text) {
  return wait_for(terminal, [&] { return row_text(terminal, row).rfind(text, 0) == 0; });
}

void type(Terminal& terminal, std::string_view keys) {
  for (const char key : keys) {
    vterm_keyboard_unichar(terminal.vt, static_cast<unsigned char>(key), VTERM_MOD_NONE);
  }
  answer(terminal);
}

void press(Terminal& terminal, VTermKey key) {
  vterm_keyboard_key(terminal.vt, key, VTERM_MOD_NONE);
  answer(terminal);
}

// Waits for the program to end; its status as waitpid gives it.
int finish(Terminal& terminal) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    pump(terminal, 20);
    int status = 0;
    if (::waitpid(terminal.child, &status, WNOHANG) == terminal.child) {
      pump(terminal, 50);
      terminal.status = status;
      break;
    }
  }
  if (terminal.status == -1) {
    ::kill(terminal.child, SIGKILL);
    ::waitpid(terminal.child, &terminal.status, 0);
    ADD_FAILURE() << "the program did not end; the screen:\n" << screen_text(terminal);
  }
  return terminal.status;
}

// Whether the terminal is as a shell wants it: lines edited and echoed,
// and the emulator on its own screen again, its keypad in normal mode.
bool terminal_given_back(const Terminal& terminal) {
  termios modes{};
  if (::tcgetattr(terminal.master, &modes) != 0) {
    return false;
  }
  const std::size_t entered = terminal.raw.rfind("\x1b[?1049h");
  const std::size_t left = terminal.raw.rfind("\x1b[?1049l");
  return (modes.c_lflag & (ECHO | ICANON)) == (ECHO | ICANON) && left != std::string::npos &&
         (entered == std::string::npos || left > entered);
}

void close_terminal(Terminal& terminal) {
  vterm_free(terminal.vt);
  ::close(terminal.master);
}

std::string make_file(const std::string& bytes) {
  std::string name = quarnel::testing::scratch_name("view-terminal");
  std::FILE* file = std::fopen(name.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return name;
}

std::string file_contents(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  std::string bytes;
  for (int ch; (ch = std::fgetc(file)) != EOF;) {
    bytes += static_cast<char>(ch);
  }
  std::fclose(file);
  return bytes;
}

const std::string elf_start =
    "\x7F"
    "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0"s +
    "Hello, world!\n"s;

TEST(ViewTerminal, TheFirstScreenInColour) {
  const std::string name = make_file(elf_start);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name + "  00000000 (0) of 30 bytes  view"));
  EXPECT_EQ(row_text(terminal, 0),
            "00000000  7F 45 4C 46 02 01 01 00-00 00 00 00 00 00 00 00   .ELF............   |");
  EXPECT_EQ(row_text(terminal, 1),
            "00000010  48 65 6C 6C 6F 2C 20 77-6F 72 6C 64 21 0A         Hello, world!.     |");
  // Each byte in its class's colour: other ASCII magenta, text cyan, zero
  // grey, a blank green; the cursor's byte reversed.
  const auto cell = [&](int row, int column) {
    VTermScreenCell got{};
    vterm_screen_get_cell(terminal.screen, {row, column}, &got);
    return got;
  };
  struct Expected {
    int row;
    int column;
    int color;
  };
  for (const Expected& e :
       {Expected{0, 10, 5}, Expected{0, 13, 6}, Expected{0, 31, 8}, Expected{0, 22, 5},
        Expected{1, 28, 2}, Expected{0, 60, 5}, Expected{0, 61, 6}}) {
    const VTermScreenCell got = cell(e.row, e.column);
    ASSERT_TRUE(VTERM_COLOR_IS_INDEXED(&got.fg)) << e.row << "," << e.column;
    EXPECT_EQ(got.fg.indexed.idx, e.color) << e.row << "," << e.column;
  }
  EXPECT_TRUE(cell(0, 10).attrs.reverse);
  EXPECT_FALSE(cell(0, 13).attrs.reverse);
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  EXPECT_TRUE(terminal_given_back(terminal));
  close_terminal(terminal);
  std::remove(name.c_str());
}

TEST(ViewTerminal, WithoutColourWhenNoColorIsSet) {
  const std::string name = make_file(elf_start);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {"/usr/bin/env", "NO_COLOR=1", QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
  VTermScreenCell got{};
  vterm_screen_get_cell(terminal.screen, {0, 13}, &got);
  EXPECT_TRUE(VTERM_COLOR_IS_DEFAULT_FG(&got.fg));
  // The picture says with letters what the stretches hold.
  EXPECT_EQ(row_text(terminal, 0).back(), '|');
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
}

TEST(ViewTerminal, AnEmptyFile) {
  const std::string name = make_file("");
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name + "  00000000 (0) of 0 bytes  view"));
  EXPECT_EQ(row_text(terminal, 0).substr(0, 8), "00000000");
  type(terminal, "Gjq");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
}

// A sparse file of 100 GiB opens at once; its last line's address has ten
// digits, and the lines before it widen to match.
TEST(ViewTerminal, AHundredGibibyteSparseFile) {
  const std::string name = make_file("");
  ASSERT_EQ(::truncate(name.c_str(), std::int64_t{100} << 30), 0);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name + "  00000000 (0) of 107374182400 bytes"));
  type(terminal, "G");
  ASSERT_TRUE(wait_for_row_start(terminal, 22, "18FFFFFFF0  00 00 00 00"));
  type(terminal, ":50%\r");
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name + "  C80000000 (53687091200)"));
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
}

TEST(ViewTerminal, FollowsAResize) {
  const std::string name = make_file(elf_start);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
  winsize size{};
  size.ws_row = 30;
  size.ws_col = 100;
  vterm_set_size(terminal.vt, 30, 100);
  terminal.rows = 30;
  terminal.columns = 100;
  // The kernel tells the program with SIGWINCH.
  ASSERT_EQ(::ioctl(terminal.master, TIOCSWINSZ, &size), 0);
  ASSERT_TRUE(wait_for_row_start(terminal, 29, name + "  00000000 (0) of 30 bytes"));
  EXPECT_EQ(row_text(terminal, 0).size(), 100U);
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
}

// Keys as a user types them, the screen after each.
TEST(ViewTerminal, MovesSearchesAndInspects) {
  std::string bytes;
  for (int k = 0; k < 4096; ++k) {
    bytes += static_cast<char>(k % 251);
  }
  const std::string name = make_file(bytes);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
  struct Step {
    std::string keys;
    VTermKey key;
    int row;
    std::string start;
  };
  const Step steps[] = {
      {"", VTERM_KEY_DOWN, 23, name + "  00000010 (16)"},
      {"", VTERM_KEY_RIGHT, 23, name + "  00000011 (17)"},
      {"", VTERM_KEY_PAGEDOWN, 23, name + "  00000181 (385)"},
      {"", VTERM_KEY_PAGEUP, 23, name + "  00000011 (17)"},
      {"", VTERM_KEY_END, 23, name + "  0000001F (31)"},
      {"", VTERM_KEY_HOME, 23, name + "  00000010 (16)"},
      {"G", VTERM_KEY_NONE, 22, "00000FF0  40 41"},
      {"g", VTERM_KEY_NONE, 0, "00000000  00 01"},
      {":0x100\r", VTERM_KEY_NONE, 23, name + "  00000100 (256)"},
      {":+16\r", VTERM_KEY_NONE, 23, name + "  00000110 (272)"},
      {":-256\r", VTERM_KEY_NONE, 23, name + "  00000010 (16)"},
      {":25%\r", VTERM_KEY_NONE, 23, name + "  00000400 (1024)"},
      {"Ma:0\r'a", VTERM_KEY_NONE, 23, name + "  00000400 (1024)"},
      {"/FA 00 01\r", VTERM_KEY_NONE, 23, name + "  000004E6 (1254)"},
      {"n", VTERM_KEY_NONE, 23, name + "  000005E1 (1505)"},
      {"N", VTERM_KEY_NONE, 23, name + "  000004E6 (1254)"},
      {"Gn", VTERM_KEY_NONE, 23, "search went on from the start"},
      {"gN", VTERM_KEY_NONE, 23, "search went on from the end"},
      {"t", VTERM_KEY_NONE, 16, "u8 250   i8 -6"},
      {"", VTERM_KEY_NONE, 17, "u16 LE 250 BE 64000"},
      {"?", VTERM_KEY_NONE, 0, "quarnel-view keys"},
      {"x", VTERM_KEY_NONE, 0, "00000"},
  };
  for (const Step& step : steps) {
    type(terminal, step.keys);
    if (step.key != VTERM_KEY_NONE) {
      press(terminal, step.key);
    }
    EXPECT_TRUE(wait_for_row_start(terminal, step.row, step.start)) << step.keys;
  }
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
}

// The mouse wheel moves three lines, where the terminal sends it.
TEST(ViewTerminal, TheMouseWheelScrolls) {
  const std::string name = make_file(std::string(4096, 'w'));
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
  vterm_mouse_move(terminal.vt, 5, 5, VTERM_MOD_NONE);
  vterm_mouse_button(terminal.vt, 5, true, VTERM_MOD_NONE);
  answer(terminal);
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name + "  00000030 (48)"));
  EXPECT_EQ(row_text(terminal, 0).substr(0, 8), "00000030");
  vterm_mouse_button(terminal.vt, 4, true, VTERM_MOD_NONE);
  answer(terminal);
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name + "  00000000 (0)"));
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
}

TEST(ViewTerminal, EditsAndSavesInPlaceAndWithANewLength) {
  const std::string name = make_file("0123456789ABCDEF");
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
  type(terminal, "R4142");
  press(terminal, VTERM_KEY_ESCAPE);
  type(terminal, ":w\r");
  ASSERT_TRUE(wait_for_row(terminal, 23, "saved"));
  EXPECT_EQ(file_contents(name), "AB23456789ABCDEF");
  press(terminal, VTERM_KEY_INS);
  press(terminal, VTERM_KEY_TAB);
  type(terminal, "xyz");
  press(terminal, VTERM_KEY_ESCAPE);
  type(terminal, "u:wq\r");
  EXPECT_EQ(finish(terminal), 0);
  EXPECT_EQ(file_contents(name), "ABxy23456789ABCDEF");
  EXPECT_TRUE(terminal_given_back(terminal));
  close_terminal(terminal);
  std::remove(name.c_str());
}

// Bytes on standard input are shown as they arrive, and cannot be edited.
TEST(ViewTerminal, StandardInputAsItArrives) {
  int ends[2];
  // Only the program's standard input may hold the pipe open.
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY}, 24, 80, ends[0]));
  ::close(ends[0]);
  ASSERT_TRUE(wait_for_row_start(terminal, 23, "(standard input)  00000000 (0) of 0+ bytes"));
  ASSERT_EQ(::write(ends[1], "Hello, ", 7), 7);
  ASSERT_TRUE(wait_for_row_start(terminal, 23, "(standard input)  00000000 (0) of 7+ bytes"));
  ASSERT_EQ(::write(ends[1], "world!\n", 7), 7);
  ::close(ends[1]);
  ASSERT_TRUE(wait_for_row_start(terminal, 23,
                                 "(standard input)  00000000 (0) of 14 bytes  view  read-only"));
  EXPECT_EQ(row_text(terminal, 0).substr(0, 74),
            "00000000  48 65 6C 6C 6F 2C 20 77-6F 72 6C 64 21 0A         Hello, world!.");
  type(terminal, "x");
  ASSERT_TRUE(wait_for_row(terminal, 23, "read-only: the file cannot be changed here"));
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
}

// A file in /proc says it is empty and is not: it is read to its end as it
// comes, and shown whole.
TEST(ViewTerminal, AFileInProcIsReadAsItComes) {
  std::FILE* file = std::fopen("/proc/self/mountinfo", "rb");
  if (file == nullptr) {
    GTEST_SKIP() << "no /proc here";
  }
  std::fclose(file);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, "/proc/self/mountinfo"}));
  ASSERT_TRUE(wait_for(terminal, [&] {
    const std::string status = row_text(terminal, 23);
    return status.rfind("/proc/self/mountinfo  00000000 (0) of ", 0) == 0 &&
           status.find(" bytes  view  read-only") != std::string::npos &&
           status.find(" of 0 bytes") == std::string::npos;
  }));
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
}

// However the program ends, the terminal is as it was: a signal that ends
// it, a fault.
TEST(ViewTerminal, ASignalGivesTheTerminalBack) {
  const std::string name = make_file(elf_start);
  for (const int signal : {SIGTERM, SIGHUP, SIGSEGV}) {
    Terminal terminal;
    ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, name}));
    ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
    ::kill(terminal.child, signal);
    const int status = finish(terminal);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_TRUE(terminal_given_back(terminal)) << signal;
    close_terminal(terminal);
  }
  std::remove(name.c_str());
}

// Ctrl-Z under a shell with job control: the shell gets the terminal as it
// was, and fg brings the screen back.
TEST(ViewTerminal, CtrlZAndFg) {
  const std::string name = make_file(elf_start);
  Terminal terminal;
  const std::string script =
      "set -m; \"$0\" \"$1\"; echo stopped $?; stty -a | grep -o -- '-\\?icanon'; fg; "
      "echo done $?";
  ASSERT_TRUE(start(terminal, {"/bin/sh", "-c", script, QUARNEL_VIEW_BINARY, name}));
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
  type(terminal, "\x1a");
  // What the shell writes while the program is stopped is looked for in
  // the bytes: a slow reader may take them and the redraw after fg at once.
  ASSERT_TRUE(
      wait_for(terminal, [&] { return terminal.raw.find("stopped 148") != std::string::npos; }));
  // The modes the shell found while the program was stopped.
  ASSERT_TRUE(
      wait_for(terminal, [&] { return terminal.raw.find("icanon\r\n") != std::string::npos; }));
  EXPECT_EQ(terminal.raw.find("-icanon"), std::string::npos);
  ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
  type(terminal, "q");
  ASSERT_TRUE(wait_for(terminal,
                       [&] { return screen_text(terminal).find("done 0") != std::string::npos; }));
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
}

#if defined(QUARNEL_FILE_CALLS_SHIM)
// A save killed at each call it makes that changes the file's folder: once
// the next program has looked for an interrupted patch, the file holds its
// old bytes or its new, and nothing else is left in the folder.
TEST(ViewTerminal, ASaveKilledAtAnyCallLeavesTheOldFileOrTheNew) {
  struct Kind {
    std::string_view name;
    std::string keys;  // the edit
    std::string saved;
  };
  const std::string old = quarnel::testing::unrepeated(100000, 3);
  const Kind kinds[] = {
      {"in place", "R4142", "AB" + old.substr(2)},
      {"a new length", "i4142", "AB" + old},
      {"a tail written in place", "G$i4142",
       old.substr(0, old.size() - 1) + "AB" + old.substr(old.size() - 1)},
  };
  const std::string folder = quarnel::testing::scratch_name("view-kill");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string name = folder + "/T";
  for (const Kind& kind : kinds) {
    bool completed = false;
    for (int kill_at = 1; !completed && kill_at < 100; ++kill_at) {
      std::FILE* file = std::fopen(name.c_str(), "wb");
      std::fwrite(old.data(), 1, old.size(), file);
      std::fclose(file);
      Terminal terminal;
      ASSERT_TRUE(
          start(terminal,
                {"/usr/bin/env", std::string("LD_PRELOAD=") + QUARNEL_FILE_CALLS_SHIM,
                 "ASAN_OPTIONS=verify_asan_link_order=0", "QUARNEL_SHIM_FOLDER=" + folder,
                 "QUARNEL_SHIM_KILL_AT=" + std::to_string(kill_at), QUARNEL_VIEW_BINARY, name}));
      ASSERT_TRUE(wait_for_row_start(terminal, 23, name));
      type(terminal, kind.keys);
      press(terminal, VTERM_KEY_ESCAPE);
      type(terminal, ":w\r");
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      int status = 0;
      while (std::chrono::steady_clock::now() < end &&
             ::waitpid(terminal.child, &status, WNOHANG) != terminal.child) {
        pump(terminal, 20);
        if (row_text(terminal, 23) == "saved") {
          completed = true;
          type(terminal, "q");
          EXPECT_EQ(finish(terminal), 0);
          break;
        }
      }
      if (!completed) {
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << kind.name << " " << kill_at << "\n"
            << screen_text(terminal);
      }
      close_terminal(terminal);
      const quarnel::testing::Outcome recovered =
          quarnel::testing::run_tool({"--recover", name}, "", {}, UNQUARNEL_BINARY);
      EXPECT_EQ(recovered.status, 0) << recovered.err;
      const std::string now = file_contents(name);
      EXPECT_TRUE(now == old || now == kind.saved) << kind.name << " " << kill_at;
      EXPECT_TRUE(!completed || now == kind.saved) << kind.name;
      std::size_t names = 0;
      for (DIR* listing = ::opendir(folder.c_str()); listing != nullptr;) {
        const dirent* entry = ::readdir(listing);
        if (entry == nullptr) {
          ::closedir(listing);
          break;
        }
        names += entry->d_name[0] != '.' ? 1 : 0;
      }
      EXPECT_EQ(names, 1U) << kind.name << " " << kill_at;
    }
    EXPECT_TRUE(completed) << kind.name;
  }
  std::remove(name.c_str());
  ::rmdir(folder.c_str());
}
#endif

// Two files side by side: the inserted bytes face a gap, the bytes after
// them face each other at their own addresses, a changed byte is marked.
TEST(ViewTerminal, ComparesTwoFilesAligned) {
  const std::string old = quarnel::testing::unrepeated(3000, 5);
  std::string changed = old.substr(0, 1000) + "INSERTED TEXT HERE!" + old.substr(1000);
  changed[2019] = static_cast<char>(changed[2019] ^ 0xFF);
  const std::string old_name = make_file(old);
  const std::string new_name = make_file(changed);
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, old_name, new_name}, 20, 160));
  ASSERT_TRUE(wait_for_row(terminal, 19, old_name + " | " + new_name + "  2 changes"));
  // The picture at the right edge: the screen's place, and both changes.
  std::string picture;
  for (int row = 0; row < 19; ++row) {
    const std::string text = row_text(terminal, row);
    picture += text.size() == 160 ? text.back() : ' ';
  }
  EXPECT_EQ(picture, "||    !     !      ");
  type(terminal, "n");
  ASSERT_TRUE(wait_for_row(terminal, 19, old_name + " | " + new_name + "  change 1 of 2"));
  EXPECT_EQ(row_text(terminal, 0).substr(0, 93), std::string(76, ' ') + "| 000003E8  49 4E");
  EXPECT_EQ(row_text(terminal, 2).substr(76, 17),
            "| 000003FB  " + row_text(terminal, 2).substr(10, 5));
  EXPECT_EQ(row_text(terminal, 2).substr(0, 8), "000003E8");
  VTermScreenCell cell{};
  vterm_screen_get_cell(terminal.screen, {0, 88}, &cell);
  EXPECT_TRUE(cell.attrs.reverse);
  vterm_screen_get_cell(terminal.screen, {2, 88}, &cell);
  EXPECT_FALSE(cell.attrs.reverse);
  type(terminal, "n");
  ASSERT_TRUE(wait_for_row(terminal, 19, old_name + " | " + new_name + "  change 2 of 2"));
  EXPECT_EQ(row_text(terminal, 0).substr(0, 8), "000007D0");
  EXPECT_EQ(row_text(terminal, 0).substr(78, 8), "000007E3");
  type(terminal, "n");
  ASSERT_TRUE(wait_for_row(terminal, 19, "no change after this one"));
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  EXPECT_TRUE(terminal_given_back(terminal));
  close_terminal(terminal);
  std::remove(old_name.c_str());
  std::remove(new_name.c_str());
}

// The screen as an SVG picture: the emulator's cells, each run of one
// colour a text, reversed cells on their colour.
std::string svg_of(const Terminal& terminal) {
  static const char* const palette[16] = {
      "#1e1e1e", "#cd3131", "#0dbc79", "#e5e510", "#2472c8", "#bc3fbc", "#11a8cd", "#e5e5e5",
      "#767676", "#f14c4c", "#23d18b", "#f5f543", "#3b8eea", "#d670d6", "#29b8db", "#ffffff"};
  constexpr double width = 8.4;
  constexpr int height = 17;
  // What a run of cells shares: its ink, its paper (none: the background),
  // bold and underline.
  const auto look = [&](const VTermScreenCell& cell) {
    const auto color = [](const VTermColor& value, const char* otherwise) -> std::string {
      return VTERM_COLOR_IS_INDEXED(&value) && value.indexed.idx < 16 ? palette[value.indexed.idx]
                                                                      : otherwise;
    };
    const bool reverse = cell.attrs.reverse != 0;
    std::string ink = color(reverse ? cell.bg : cell.fg, reverse ? "#1e1e1e" : "#d4d4d4");
    std::string paper = reverse || !VTERM_COLOR_IS_DEFAULT_BG(&cell.bg)
                            ? color(reverse ? cell.fg : cell.bg, reverse ? "#d4d4d4" : "#1e1e1e")
                            : "";
    return ink + "/" + paper + "/" + (cell.attrs.bold != 0 ? "b" : "") +
           (cell.attrs.underline != 0 ? "u" : "");
  };
  std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width=")";
  svg += std::to_string(static_cast<int>(terminal.columns * width));
  svg += R"(" height=")";
  svg += std::to_string(terminal.rows * height);
  svg += R"(" font-family="DejaVu Sans Mono, monospace" font-size="14">)";
  svg += "\n";
  svg += R"(<rect width="100%" height="100%" fill="#1e1e1e"/>)";
  svg += "\n";
  for (int row = 0; row < terminal.rows; ++row) {
    for (int column = 0; column < terminal.columns;) {
      VTermScreenCell cell{};
      vterm_screen_get_cell(terminal.screen, {row, column}, &cell);
      const std::string style = look(cell);
      std::string text;
      int end = column;
      for (VTermScreenCell next = cell; end < terminal.columns && look(next) == style;) {
        const uint32_t ch = next.chars[0] == 0 ? ' ' : next.chars[0];
        text += ch == '<'   ? "&lt;"
                : ch == '>' ? "&gt;"
                : ch == '&' ? "&amp;"
                            : std::string(1, static_cast<char>(ch < 0x80 ? ch : '?'));
        ++end;
        vterm_screen_get_cell(terminal.screen, {row, end}, &next);
      }
      const std::string ink = style.substr(0, style.find('/'));
      const std::string rest = style.substr(style.find('/') + 1);
      const std::string paper = rest.substr(0, rest.find('/'));
      const std::string marks = rest.substr(rest.find('/') + 1);
      const std::string x = std::to_string(static_cast<int>(column * width));
      const std::string size = std::to_string(static_cast<int>((end - column) * width));
      if (!paper.empty()) {
        svg += R"(<rect x=")" + x;
        svg += R"(" y=")" + std::to_string(row * height);
        svg += R"(" width=")" + size;
        svg += R"(" height=")" + std::to_string(height);
        svg += R"(" fill=")" + paper;
        svg += "\"/>\n";
      }
      if (text.find_first_not_of(' ') != std::string::npos) {
        // textLength keeps the columns where a terminal puts them, whatever
        // the font.
        svg += R"(<text x=")" + x;
        svg += R"(" y=")" + std::to_string(row * height + 13);
        svg += R"(" textLength=")" + size;
        svg += R"(" lengthAdjust="spacing" fill=")" + ink;
        svg += marks.find('b') != std::string::npos ? R"(" font-weight="bold)" : "";
        svg += marks.find('u') != std::string::npos ? R"(" text-decoration="underline)" : "";
        svg += R"(" xml:space="preserve">)" + text;
        svg += "</text>\n";
      }
      column = end;
    }
  }
  return svg + "</svg>\n";
}

// The pictures in doc/viewing.md are this program's screens: rendered here
// from the emulator's cells and compared with the files. With
// QUARNEL_WRITE_SCREENS set, the files are written anew.
TEST(ViewTerminal, TheGuidesPicturesAreTheProgramsScreens) {
  const std::string folder = quarnel::testing::scratch_name("view-screens");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  std::string firmware =
      "\x7F"
      "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\xB7\0\x01\0\0\0"s;
  firmware += std::string(40, '\0') + "U-Boot 2026.10 (Dec 09 2026 - 10:50:00 +0000)\n"s;
  for (int k = 0; k < 3000; ++k) {
    firmware += static_cast<char>((k * 7919 + k / 3) % 256);
  }
  firmware += std::string(2000, '\xFF');
  const std::string name = folder + "/firmware.bin";
  std::FILE* file = std::fopen(name.c_str(), "wb");
  std::fwrite(firmware.data(), 1, firmware.size(), file);
  std::fclose(file);
  struct Picture {
    std::string keys;
    int row;  // the row that tells the screen is whole, and how it starts
    std::string start;
    std::string file;
  };
  const Picture pictures[] = {
      {"", 23, "firmware.bin  00000000 (0) of 5110 bytes  view", "first-screen.svg"},
      {"/\"U-Boot\"\rt", 16, "u8 85", "search-and-inspector.svg"},
  };
  Terminal terminal;
  ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, "firmware.bin"}, 24, 80, -1, folder.c_str()));
  for (const Picture& picture : pictures) {
    type(terminal, picture.keys);
    ASSERT_TRUE(wait_for_row_start(terminal, picture.row, picture.start)) << picture.file;
    settle(terminal);
    const std::string path = std::string(QUARNEL_SOURCE_DIR) + "/doc/screens/" + picture.file;
    if (std::getenv("QUARNEL_WRITE_SCREENS") != nullptr) {
      std::FILE* out = std::fopen(path.c_str(), "wb");
      const std::string svg = svg_of(terminal);
      std::fwrite(svg.data(), 1, svg.size(), out);
      std::fclose(out);
    }
    EXPECT_EQ(svg_of(terminal), file_contents(path)) << picture.file;
  }
  type(terminal, "q");
  EXPECT_EQ(finish(terminal), 0);
  close_terminal(terminal);
  std::remove(name.c_str());
  ::rmdir(folder.c_str());
}

// The command line, answered without a terminal.
TEST(ViewTerminal, UsageAndItsErrors) {
  const std::string usage =
      "usage: quarnel-view [--write] [--color[=WHEN]] [--] [FILE | OLD NEW]\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"--help"}, 0, usage + "       quarnel-view --help | --version\n", ""},
      {{"--version"}, 0, "quarnel-view 1.0.0\n", ""},
      {{"a", "b", "c"}, 2, "", "quarnel-view: one file, or two to compare: c\n" + usage},
      {{"--bogus"}, 2, "", "quarnel-view: unknown option: --bogus\n" + usage},
  };
  for (const Case& c : cases) {
    const quarnel::testing::Outcome got =
        quarnel::testing::run_tool(c.args, "", {}, QUARNEL_VIEW_BINARY);
    EXPECT_EQ(got.status, c.status) << c.args[0];
    EXPECT_EQ(got.out, c.out) << c.args[0];
    EXPECT_EQ(got.err, c.err) << c.args[0];
  }
}

// Two whole lines side by side need 153 columns; a narrower terminal shows
// 8 bytes a row on each side.
TEST(ViewTerminal, ComparesSixteenOrEightBytesARowByTheWidth) {
  const std::string bytes = quarnel::testing::unrepeated(64, 11);
  const std::string old_name = make_file(bytes);
  const std::string new_name = make_file(bytes);
  struct Width {
    int columns;
    std::string second_row;  // how the second row starts
  };
  const std::string status = old_name + " | " + new_name + "  the same";
  for (const Width& width : {Width{153, "00000010  "}, Width{152, "00000008  "}}) {
    Terminal terminal;
    ASSERT_TRUE(start(terminal, {QUARNEL_VIEW_BINARY, old_name, new_name}, 10, width.columns));
    ASSERT_TRUE(wait_for_row(terminal, 9, status));
    EXPECT_EQ(row_text(terminal, 1).substr(0, 10), width.second_row) << width.columns;
    type(terminal, "q");
    EXPECT_EQ(finish(terminal), 0);
    close_terminal(terminal);
  }
  std::remove(old_name.c_str());
  std::remove(new_name.c_str());
}

// A terminal that terminfo does not know is refused before anything is
// drawn.
TEST(ViewTerminal, AnUnknownTerminalIsRefused) {
  const std::string name = make_file("bytes");
  Terminal terminal;
  // curses keeps what it allocated for a terminal it then could not set up;
  // the leak checker of a sanitizer build would make that the exit status.
  const std::string suppressions =
      std::string("LSAN_OPTIONS=suppressions=") + QUARNEL_LEAKS_OF_CURSES;
  ASSERT_TRUE(start(terminal, {"/usr/bin/env", "TERM=no-such-terminal", suppressions,
                               QUARNEL_VIEW_BINARY, name}));
  EXPECT_EQ(finish(terminal), 2 << 8);
  EXPECT_NE(terminal.raw.find("quarnel-view: the terminal cannot be used: is TERM set to the "
                              "terminal's name?"),
            std::string::npos)
      << terminal.raw;
  close_terminal(terminal);
  std::remove(name.c_str());
}

TEST(ViewTerminal, RefusesAnOutputThatIsNoTerminal) {
  const quarnel::testing::Outcome outcome =
      quarnel::testing::run_tool({"/dev/null"}, "", {}, QUARNEL_VIEW_BINARY);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err,
            "quarnel-view: standard output is not a terminal; quarnel and quarnel-as write dumps "
            "to files and pipes\n");
}

}  // namespace
