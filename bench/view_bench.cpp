// The viewer's figures: the time from start to the first screen and the
// peak memory of quarnel-view, less on a dump and hexedit, each on a
// pseudo-terminal; then, in this process, the time a key takes (the state
// changed, the screen drawn) at the median and the 99th percentile on a
// 100 GiB sparse file, the picture of a 1 GiB file, and a search through it.
//
//   view_bench QUARNEL_VIEW QUARNEL SPARSE_100GIB FILE_1GIB
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "view/document.h"
#include "view/screen.h"
#include "view/view.h"

namespace {

using namespace quarnel;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The kibibytes a process's resident memory peaked at.
long peak_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

struct FirstScreen {
  double milliseconds = -1;
  long kib = -1;
};

// Runs command on an 80x24 pseudo-terminal until its output holds marker;
// then the time that took and the peak memory of the process at the end.
FirstScreen first_screen(const std::vector<std::string>& command, const std::string& marker,
                         const std::string& quit) {
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  int master = -1;
  const auto start = Clock::now();
  const pid_t child = ::forkpty(&master, nullptr, nullptr, &size);
  if (child == 0) {
    ::setenv("TERM", "xterm-256color", 1);
    std::vector<char*> args;
    args.reserve(command.size() + 1);
    for (const std::string& arg : command) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  FirstScreen result;
  std::string seen;
  while (since(start) < 20000) {
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) {
      continue;
    }
    char buffer[65536];
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) {
      break;
    }
    seen.append(buffer, static_cast<std::size_t>(got));
    if (seen.find(marker) != std::string::npos) {
      result.milliseconds = since(start);
      break;
    }
  }
  // The process whose memory counts: the last in a pipeline.
  result.kib = peak_kib(child);
  static_cast<void>(::write(master, quit.data(), quit.size()));
  const auto end = Clock::now();
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0 && since(end) < 2000) {
    char buffer[4096];
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, 20) > 0) {
      static_cast<void>(::read(master, buffer, sizeof buffer));
    }
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  ::close(master);
  return result;
}

double percentile(std::vector<double> times, double share) {
  std::sort(times.begin(), times.end());
  return times[static_cast<std::size_t>(share * static_cast<double>(times.size() - 1))];
}

Document& open_file(const char* name) {
  static Document documents[2];
  static int used = 0;
  Document& document = documents[used++ % 2];
  const int handle = open_input(name);
  open_document(document, handle, static_cast<std::uint64_t>(file_length(handle)));
  document.name = name;
  return document;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: view_bench QUARNEL_VIEW QUARNEL SPARSE_100GIB FILE_1GIB\n");
    return 2;
  }
  const std::string view = argv[1];
  const std::string quarnel = argv[2];
  const std::string sparse = argv[3];
  const std::string big = argv[4];

  std::printf("start to first screen (median of 5) and peak memory, 80x24:\n");
  struct Peer {
    const char* name;
    std::vector<std::string> command;
    std::string marker;
    std::string quit;
  };
  const Peer peers[] = {
      {"quarnel-view, 100 GiB sparse", {view, sparse}, "bytes  view", "q"},
      {"quarnel-view, 1 GiB", {view, big}, "bytes  view", "q"},
      {"less on quarnel's dump, 1 GiB",
       {"sh", "-c", "exec " + quarnel + " \"$0\" | less", big},
       "00000160  ",
       "q"},
      {"hexedit, 100 GiB sparse", {"hexedit", sparse}, "00000160", "\x03"},
      {"hexedit, 1 GiB", {"hexedit", big}, "00000160", "\x03"},
  };
  for (const Peer& peer : peers) {
    std::vector<double> times;
    long kib = 0;
    for (int run = 0; run < 5; ++run) {
      const FirstScreen got = first_screen(peer.command, peer.marker, peer.quit);
      times.push_back(got.milliseconds);
      kib = std::max(kib, got.kib);
    }
    std::printf("  %-32s %8.1f ms  %8ld KiB\n", peer.name, percentile(times, 0.5), kib);
  }

  ViewState state;
  state.columns = 80;
  state.rows = 24;
  static Picture picture;
  static Screen screen;
  Document& huge = open_file(sparse.c_str());
  std::vector<double> times;
  const auto press = [&](Document& document, int key) {
    const auto start = Clock::now();
    static_cast<void>(press_key(state, document, key));
    settle_view(state, document);
    draw_screen(state, document, picture, screen);
    times.push_back(since(start));
  };
  press(huge, key_none);
  for (int k = 0; k < 5000; ++k) {
    press(huge, key_page_down);
  }
  for (int k = 0; k < 200; ++k) {
    for (const int key :
         std::initializer_list<int>{':', '5', '0', '%', key_enter, 'G', 'g', 't', 'm'}) {
      press(huge, key);
    }
  }
  std::printf(
      "a key on the 100 GiB sparse file (PgDn, go to, inspector, picture): "
      "median %.3f ms, 99th percentile %.3f ms, of %zu\n",
      percentile(times, 0.5), percentile(times, 0.99), times.size());

  Document& file = open_file(big.c_str());
  auto start = Clock::now();
  draw_picture(file, 23, false, picture);
  std::printf("the picture of 1 GiB, 23 cells: %.1f ms\n", since(start));
  times.clear();
  state = ViewState{};
  state.columns = 80;
  state.rows = 24;
  for (int k = 0; k < 20000; ++k) {
    press(file, key_page_down);
  }
  std::printf("PgDn held through 1 GiB: median %.3f ms, 99th percentile %.3f ms a key\n",
              percentile(times, 0.5), percentile(times, 0.99));
  state = ViewState{};
  for (const char key : std::string("/51 55 41 52 4E 45 4C 21\r")) {
    static_cast<void>(press_key(state, file, key));
  }
  start = Clock::now();
  while (state.search.running) {
    continue_search(state, file, std::uint64_t{64} << 20);
  }
  const double seconds = since(start) / 1000;
  std::printf("search through 1 GiB with no match: %.2f s, %.0f MB/s\n", seconds,
              static_cast<double>(file.table.length) / seconds / 1e6);
  return 0;
}
