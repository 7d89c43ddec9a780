// unquarnel --patch killed for real, and its journals after a power loss.
// A preloaded library (file_calls_shim) records the calls that change the
// folder of the patched file, or kills the program at the Nth of them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/simple_dump.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using testing::Outcome;
using testing::run_tool;
using testing::scratch_name;

constexpr const char* absent = "(absent)";

// A patch to try: the file before, the dump (or diff) that patches it.
struct Scenario {
  const char* name;
  std::string old;
  std::string dump;
  std::vector<std::string> options;
};

std::string dump_of(std::string_view bytes, std::uint32_t address) {
  return testing::simple_dump({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                              address);
}

class Journal : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratch_name("unquarnel-journal-");
    dir_ = root_ / "d";
    std::filesystem::create_directories(dir_);
    std::filesystem::create_directories(root_ / "keep");
  }
  void TearDown() override {
    for (const char* name :
         {"QUARNEL_SHIM_FOLDER", "QUARNEL_SHIM_TRACE", "QUARNEL_SHIM_KILL_AT", "QUARNEL_SHIM_TORN",
          "QUARNEL_SHIM_STOP_AT", "LD_PRELOAD", "ASAN_OPTIONS"}) {
      unsetenv(name);
    }
    std::filesystem::remove_all(root_);
  }
  [[nodiscard]] std::string path(const std::string& name) const { return (dir_ / name).string(); }
  [[nodiscard]] std::string keep() const { return (root_ / "keep" / "T").string(); }
  [[nodiscard]] std::string journal() const { return path("T.unquarnel-journal"); }
  static std::string read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : absent;
  }
  // Puts bytes into the file at name without giving it a new inode: the
  // journal names the file by its inode.
  void put(const std::string& name, const std::string& bytes) const {
    if (bytes == absent) {
      std::filesystem::remove(name);
      return;
    }
    if (name == path("T") && !std::filesystem::exists(name) && std::filesystem::exists(keep())) {
      std::filesystem::create_hard_link(keep(), name);
    }
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << name;
    ASSERT_TRUE(testing::write_fd(fd, bytes));
    close(fd);
    if (name == path("T") && !std::filesystem::exists(keep())) {
      std::filesystem::create_hard_link(name, keep());
    }
  }
  // The names in the folder, but the file's own.
  [[nodiscard]] std::string others() const {
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      if (entry.path().filename() != "T") {
        names += entry.path().filename().string() + " ";
      }
    }
    return names;
  }
  // Runs unquarnel watched: killed at its Nth call that changes the folder
  // (0: never), tracing into trace (empty: no trace).
  [[nodiscard]] Outcome unquarnel(const std::vector<std::string>& args, long kill_at = 0,
                                  bool torn = false, const std::string& trace = "") const {
    setenv("LD_PRELOAD", QUARNEL_FILE_CALLS_SHIM, 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    setenv("QUARNEL_SHIM_FOLDER", dir_.c_str(), 1);
    setenv("QUARNEL_SHIM_KILL_AT", std::to_string(kill_at).c_str(), 1);
    setenv("QUARNEL_SHIM_TORN", torn ? "1" : "", 1);
    setenv("QUARNEL_SHIM_TRACE", trace.c_str(), 1);
    Outcome got = run_tool(args, "", {}, UNQUARNEL_BINARY);
    unsetenv("LD_PRELOAD");
    return got;
  }
  [[nodiscard]] Outcome patch(const Scenario& scenario, long kill_at = 0, bool torn = false,
                              const std::string& trace = "") const {
    std::vector<std::string> args{"-p", path("T")};
    args.insert(args.end(), scenario.options.begin(), scenario.options.end());
    args.push_back((root_ / "patch").string());
    return unquarnel(args, kill_at, torn, trace);
  }
  // Sets the folder up for the scenario and returns the file as the patch
  // leaves it.
  std::string prepare(const Scenario& scenario) {
    std::ofstream(root_ / "patch", std::ios::binary) << scenario.dump;
    put(path("T"), scenario.old);
    const Outcome done = patch(scenario);
    EXPECT_EQ(done.err + std::to_string(done.status), "0") << scenario.name;
    std::string patched = read(path("T"));
    if (!std::filesystem::exists(keep())) {
      std::filesystem::create_hard_link(path("T"), keep());
    }
    return patched;
  }
  std::filesystem::path root_;
  std::filesystem::path dir_;
};

std::vector<Scenario> scenarios() {
  const std::string old = testing::unrepeated(3000, 1);
  std::string shorter = old.substr(0, 2000);
  shorter[5] = 'x';
  shorter[1500] = 'y';
  const std::string diff_dir = std::filesystem::temp_directory_path() / "unquarnel-journal-diff";
  std::filesystem::create_directories(diff_dir);
  std::ofstream(diff_dir + "/old", std::ios::binary) << old;
  std::ofstream(diff_dir + "/new", std::ios::binary) << shorter;
  const Outcome diff =
      run_tool({diff_dir + "/old", diff_dir + "/new"}, "", {}, QUARNEL_DIFF_BINARY);
  std::filesystem::remove_all(diff_dir);
  return {
      {"WritesAndGrows",
       old,
       dump_of(testing::unrepeated(20, 2), 0x10) + dump_of(testing::unrepeated(1000, 3), 0x400) +
           dump_of(testing::unrepeated(40, 4), 0xBC0),
       {}},
      {"CutsByADiff", old, diff.out, {}},
      {"CreatesTheFile",
       absent,
       dump_of(testing::unrepeated(100, 5), 0) + dump_of(testing::unrepeated(10, 6), 0x200),
       {}},
  };
}

TEST_F(Journal, SigkillAtAnyCallThenRecoveryLeavesTheFileOldOrNew) {
  for (const Scenario& scenario : scenarios()) {
    const std::string patched = prepare(scenario);
    ASSERT_NE(patched, scenario.old);
    for (long kill_at = 1;; ++kill_at) {
      bool finished = false;
      for (const bool torn : {false, true}) {
        put(path("T"), scenario.old);
        const Outcome killed = patch(scenario, kill_at, torn);
        if (killed.status == 0) {
          finished = true;
          EXPECT_EQ(read(path("T")), patched);
          continue;
        }
        ASSERT_EQ(killed.status, 128 + SIGKILL) << scenario.name << " " << kill_at;
        const Outcome recovered = unquarnel({"--recover", path("T")});
        EXPECT_EQ(recovered.status, 0) << scenario.name << " " << kill_at << recovered.err;
        const std::string after = read(path("T"));
        EXPECT_TRUE(after == scenario.old || after == patched) << scenario.name << " " << kill_at;
        EXPECT_EQ(others(), "") << scenario.name << " " << kill_at;
      }
      if (finished) {
        break;
      }
      ASSERT_LT(kill_at, 100) << scenario.name << ": the patch never ran to its end";
    }
  }
}

TEST_F(Journal, ADiffThatMovesBytesKilledAtAnyCallLeavesTheFileOldOrNew) {
  const std::string old = testing::unrepeated(3000, 1);
  const std::string moved = old.substr(0, 1000) + testing::unrepeated(50, 2) + old.substr(1200);
  put(path("old"), old);
  put(path("new"), moved);
  std::ofstream(root_ / "patch", std::ios::binary)
      << run_tool({path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY).out;
  std::filesystem::remove(path("old"));
  std::filesystem::remove(path("new"));
  const Scenario scenario{"MovesBytes", old, "", {}};
  for (long kill_at = 1;; ++kill_at) {
    put(path("T"), old);
    const Outcome killed = patch(scenario, kill_at);
    const std::string after = read(path("T"));
    EXPECT_EQ(others(), "") << kill_at;
    if (killed.status == 0) {
      EXPECT_EQ(after, moved);
      EXPECT_GT(kill_at, 3) << "the new file's writes and flush are where it was killed";
      break;
    }
    ASSERT_EQ(killed.status, 128 + SIGKILL) << kill_at << killed.err;
    EXPECT_TRUE(after == old || after == moved) << kill_at;
    ASSERT_LT(kill_at, 100) << "the patch never ran to its end";
  }
}

TEST_F(Journal, SigkillFromOutsideAtAnyMomentOfALargePatch) {
  // Every byte of 8 MiB rewritten: the kills land while the dump is read,
  // the journal written and flushed, the file written and flushed.
  const std::string old = testing::unrepeated(std::size_t{8} << 20, 11);
  const std::string fresh = testing::unrepeated(old.size(), 12);
  std::ofstream(root_ / "patch", std::ios::binary) << dump_of(fresh, 0);
  put(path("T"), old);
  const auto run = [&] {
    return testing::start_process(UNQUARNEL_BINARY, {"-p", path("T"), (root_ / "patch").string()},
                                  testing::closed_stream, testing::closed_stream,
                                  testing::closed_stream, std::uint64_t{1} << 30);
  };
  const auto started = std::chrono::steady_clock::now();
  int status = 0;
  waitpid(run(), &status, 0);
  ASSERT_EQ(read(path("T")), fresh);
  const auto whole = std::chrono::steady_clock::now() - started;
  int killed = 0;
  for (int step = 0; step <= 24; ++step) {
    put(path("T"), old);
    const pid_t child = run();
    std::this_thread::sleep_for(whole * step / 20);
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    killed += WIFSIGNALED(status) ? 1 : 0;
    const Outcome recovered = unquarnel({"--recover", path("T")});
    EXPECT_EQ(recovered.status, 0) << step << recovered.err;
    const std::string after = read(path("T"));
    EXPECT_TRUE(after == old || after == fresh) << step;
    EXPECT_EQ(others(), "") << step;
  }
  EXPECT_GT(killed, 0);
}

// A signal that ends unquarnel while it writes the file gives the file its
// old bytes back, and leaves a length another process gave it meanwhile as
// it is. unquarnel stops itself before its second write into the file, and
// is sent the signal there.
TEST_F(Journal, ASignalWhileWritingLeavesTheFileAsItWas) {
  // Scattered lines within the file, more than the journal's buffer holds.
  std::string dump;
  std::array<char, 16> line{};
  for (unsigned i = 0; i < 40000; ++i) {
    std::snprintf(line.data(), line.size(), "%08X  5A\n", i * 32);
    dump += line.data();
  }
  put(path("big.dump"), dump);
  const std::string before(std::size_t{2} << 20, 'x');
  put(path("T"), before);
  const std::string trace = (root_ / "trace").string();
  ASSERT_EQ(unquarnel({"-p", path("T"), path("big.dump")}, 0, false, trace).status, 0);
  std::istringstream calls(read(trace));
  long stop_at = 0;
  int writes = 0;
  for (std::string call; writes < 2 && std::getline(calls, call);) {
    ++stop_at;
    writes += call.starts_with("W T ") ? 1 : 0;
  }
  ASSERT_EQ(writes, 2) << read(trace).substr(0, 400);
  struct Row {
    int number;
    bool ignored;  // from the start, as SIGHUP under nohup: it stays ignored
    bool grown;    // another process appends to the file meanwhile
  };
  const std::string t = "unquarnel: " + path("T");
  for (const Row row :
       {Row{SIGHUP, false, false}, Row{SIGHUP, true, false}, Row{SIGQUIT, false, false},
        Row{SIGALRM, false, false}, Row{SIGPIPE, false, false}, Row{SIGTERM, false, true}}) {
    put(path("T"), before);
    const int err = testing::memory_file("");
    const int in = testing::memory_file("");
    setenv("LD_PRELOAD", QUARNEL_FILE_CALLS_SHIM, 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    setenv("QUARNEL_SHIM_FOLDER", dir_.c_str(), 1);
    setenv("QUARNEL_SHIM_STOP_AT", std::to_string(stop_at).c_str(), 1);
    unsetenv("QUARNEL_SHIM_TRACE");
    unsetenv("QUARNEL_SHIM_KILL_AT");
    signal(row.number, row.ignored ? SIG_IGN : SIG_DFL);
    const pid_t child = testing::start_process(
        UNQUARNEL_BINARY, {"-p", path("T"), path("big.dump")}, in, in, err, std::uint64_t{1} << 30);
    signal(row.number, SIG_DFL);
    unsetenv("LD_PRELOAD");
    unsetenv("QUARNEL_SHIM_STOP_AT");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status)) << row.number;
    if (row.grown) {
      const int file = open(path("T").c_str(), O_WRONLY | O_APPEND);
      ASSERT_EQ(write(file, "tail", 4), 4);
      close(file);
    }
    kill(child, row.number);
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::string expected = t + ": interrupted by a signal\n";
    expected += t;
    expected += row.grown ? ": its old bytes are back, but another process changed its length, "
                            "which is left as it is\n"
                          : ": restored as it was\n";
    expected += std::to_string(128 + row.number);
    EXPECT_EQ(testing::contents(err) + std::to_string(WEXITSTATUS(status)),
              row.ignored ? "0" : expected)
        << row.number;
    const std::string after = read(path("T"));
    EXPECT_EQ(after.substr(0, before.size()) == before, !row.ignored) << row.number;
    // A restore never cuts away what another process wrote.
    EXPECT_EQ(after.ends_with("tail"), row.grown) << row.number;
    close(err);
    close(in);
  }
}

TEST_F(Journal, ARecoveryKilledAtAnyCallIsCompletedByTheNext) {
  for (const Scenario& scenario : scenarios()) {
    const std::string patched = prepare(scenario);
    // Killed while writing the file: the journal is hot.
    for (long kill_at = 7; kill_at <= 9; ++kill_at) {
      for (long again = 1;; ++again) {
        put(path("T"), scenario.old);
        ASSERT_EQ(patch(scenario, kill_at).status, 128 + SIGKILL);
        const Outcome first = unquarnel({"--recover", path("T")}, again);
        const Outcome second = unquarnel({"--recover", path("T")});
        EXPECT_EQ(second.status, 0) << scenario.name << " " << kill_at << second.err;
        EXPECT_EQ(read(path("T")), scenario.old) << scenario.name << " " << kill_at << " " << again;
        EXPECT_EQ(others(), "") << scenario.name << " " << kill_at << " " << again;
        if (first.status != 128 + SIGKILL) {
          break;
        }
        ASSERT_LT(again, 100);
      }
    }
    // The next patch rolls back first, and says so.
    put(path("T"), scenario.old);
    ASSERT_EQ(patch(scenario, 8).status, 128 + SIGKILL);
    const Outcome next = patch(scenario);
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_TRUE(next.err.find(": rolled back an interrupted patch") != std::string::npos ||
                next.err.find(": removed the file that an interrupted patch") != std::string::npos)
        << next.err;
    EXPECT_EQ(read(path("T")), patched);
    // So does an output that replaces the file.
    put(path("T"), scenario.old);
    ASSERT_EQ(patch(scenario, 8).status, 128 + SIGKILL);
    std::ofstream(root_ / "whole", std::ios::binary) << dump_of("whole", 0);
    const Outcome replaced = unquarnel({"-o", path("T"), (root_ / "whole").string()});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_NE(replaced.err, "");
    EXPECT_EQ(read(path("T")) + others(), "whole");
  }
}

TEST_F(Journal, APatchKilledWhileAnotherReadsItsDumpIsRolledBackFirst) {
  if (!std::filesystem::exists("/proc/self/fd")) {
    GTEST_SKIP() << "no /proc here, to see when the dumps are being read";
  }
  for (const Scenario& scenario : scenarios()) {
    const std::string patched = prepare(scenario);
    put(path("T"), scenario.old);
    int ends[2];
    testing::open_pipe(ends);
    const std::string err_name = (root_ / "err").string();
    const int err = open(err_name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    const pid_t reader =
        testing::start_process(UNQUARNEL_BINARY, {"-p", path("T")}, ends[0], testing::closed_stream,
                               err, std::uint64_t{1} << 30);
    close(ends[0]);
    close(err);
    // Past its first look for a journal once its spool, unnamed at once, is
    // open.
    const std::string fds = "/proc/" + std::to_string(reader) + "/fd";
    for (bool reading = false; !reading; usleep(1000)) {
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
        const std::string held = std::filesystem::read_symlink(entry.path(), error).string();
        reading = reading ||
                  (held.find("/unquarnel-") != std::string::npos && held.ends_with(" (deleted)"));
      }
    }
    ASSERT_EQ(patch(scenario, 8).status, 128 + SIGKILL) << scenario.name;
    ASSERT_TRUE(testing::write_fd(ends[1], scenario.dump));
    close(ends[1]);
    int status = 0;
    waitpid(reader, &status, 0);
    const std::string said = read(err_name);
    EXPECT_EQ(WEXITSTATUS(status), 0) << scenario.name << said;
    EXPECT_TRUE(said.find(": rolled back an interrupted patch") != std::string::npos ||
                said.find(": removed the file that an interrupted patch") != std::string::npos)
        << said;
    EXPECT_EQ(read(path("T")) + others(), patched) << scenario.name;
  }
}

// A call a patch made, from the trace.
struct Call {
  char kind;
  std::string name;
  std::uint64_t number = 0;  // offset or length
  std::string bytes;
};

std::vector<Call> read_trace(const std::string& text) {
  std::vector<Call> calls;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    Call call{};
    std::string hex;
    words >> call.kind >> call.name >> call.number >> hex;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      call.bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    calls.push_back(call);
  }
  return calls;
}

using Files = std::map<std::string, std::string>;

// The files behind the names and the names in the folder: a file's bytes
// land whether or not its name does.
struct Folder {
  Files bytes;
  std::set<std::string> names;
};

void play(Folder& folder, const Call& call) {
  if (call.kind == 'C') {
    folder.names.insert(call.name);
  } else if (call.kind == 'U') {
    folder.names.erase(call.name);
  } else if (call.kind == 'W') {
    std::string& bytes = folder.bytes[call.name];
    bytes.resize(std::max<std::size_t>(bytes.size(), call.number + call.bytes.size()));
    bytes.replace(call.number, call.bytes.size(), call.bytes);
  } else if (call.kind == 'T') {
    folder.bytes[call.name].resize(call.number);
  }
}

// Every state a power loss after the first `done` calls can leave: a call
// is on disk once its file (its folder, for a name made or removed) was
// flushed after it; any of the others may be, in any order.
std::vector<Files> crash_states(const std::vector<Call>& calls, std::size_t done,
                                const Files& before) {
  std::vector<bool> lasting(done);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < done; ++i) {
    const std::string flushed = calls[i].kind == 'C' || calls[i].kind == 'U' ? "." : calls[i].name;
    for (std::size_t j = i + 1; j < done && !lasting[i]; ++j) {
      lasting[i] = calls[j].kind == 'S' && calls[j].name == flushed;
    }
    if (!lasting[i] && calls[i].kind != 'S') {
      open.push_back(i);
    }
  }
  std::vector<Files> states;
  const std::size_t choices = std::size_t{1} << std::min<std::size_t>(open.size(), 12);
  for (std::size_t chosen = 0; chosen < choices; ++chosen) {
    for (const bool backwards : {false, true}) {
      Folder folder{before, {}};
      for (const auto& [name, bytes] : before) {
        folder.names.insert(name);
      }
      std::vector<std::size_t> landed;
      for (std::size_t i = 0; i < done; ++i) {
        const auto at = std::find(open.begin(), open.end(), i);
        if (at == open.end() ? lasting[i] : ((chosen >> (at - open.begin())) & 1) != 0) {
          landed.push_back(i);
        }
      }
      // The calls not yet flushed may land in another order than made.
      if (backwards) {
        std::stable_partition(landed.begin(), landed.end(),
                              [&](std::size_t i) { return lasting[i]; });
        const auto first_open =
            std::find_if(landed.begin(), landed.end(), [&](std::size_t i) { return !lasting[i]; });
        std::reverse(first_open, landed.end());
      }
      for (const std::size_t i : landed) {
        play(folder, calls[i]);
      }
      Files files;
      for (const std::string& name : folder.names) {
        files[name] = folder.bytes[name];
      }
      states.push_back(files);
    }
  }
  return states;
}

class PowerLoss : public Journal {
 protected:
  // How many of the states a power loss may leave during the calls are not
  // rolled back to the old file or forward to the new one, and one of them.
  std::pair<int, std::string> bad_states(const Scenario& scenario, const std::string& patched,
                                         const std::vector<Call>& calls) {
    int bad = 0;
    std::string example;
    Files before;
    if (scenario.old != absent) {
      before["T"] = scenario.old;
    }
    for (std::size_t done = 0; done <= calls.size(); ++done) {
      for (const Files& state : crash_states(calls, done, before)) {
        put(journal(), absent);
        put(path("T"), absent);
        for (const auto& [name, bytes] : state) {
          put(path(name), bytes);
        }
        const Outcome got = unquarnel({"--recover", path("T")});
        const std::string after = read(path("T"));
        if (got.status != 0 || (after != scenario.old && after != patched) || !others().empty()) {
          ++bad;
          example = std::to_string(done) + " calls: " + got.err;
        }
      }
    }
    return {bad, example};
  }
};

TEST_F(PowerLoss, EveryStateAPowerLossLeavesRecoversToOldOrNew) {
  for (const Scenario& scenario : scenarios()) {
    const std::string patched = prepare(scenario);
    put(path("T"), scenario.old);
    const std::string trace = (root_ / "trace").string();
    std::filesystem::remove(trace);
    ASSERT_EQ(patch(scenario, 0, false, trace).status, 0);
    // The journal names the file the traced run wrote.
    std::filesystem::remove(keep());
    std::filesystem::create_hard_link(path("T"), keep());
    const std::vector<Call> calls = read_trace(read(trace));
    ASSERT_GT(calls.size(), 8U) << read(trace);
    const auto [bad, example] = bad_states(scenario, patched, calls);
    EXPECT_EQ(bad, 0) << scenario.name << ": " << example;

    // Planted faults: the same calls without the journal's flushes, or with
    // its header written before its entries, must be caught.
    std::vector<Call> unflushed;
    std::vector<Call> header_first;
    for (const Call& call : calls) {
      const bool journal_call = call.name == "T.unquarnel-journal";
      if (!(journal_call && call.kind == 'S')) {
        unflushed.push_back(call);
      }
      if (journal_call && call.kind == 'W' && call.number == 0) {
        const auto created = std::find_if(
            header_first.begin(), header_first.end(),
            [](const Call& c) { return c.kind == 'C' && c.name == "T.unquarnel-journal"; });
        header_first.insert(created + 1, call);
      } else {
        header_first.push_back(call);
      }
    }
    if (scenario.old != absent) {
      EXPECT_GT(bad_states(scenario, patched, unflushed).first, 0) << scenario.name;
      EXPECT_GT(bad_states(scenario, patched, header_first).first, 0) << scenario.name;
    }
  }
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

TEST_F(Journal, ABadJournalIsNeverApplied) {
  const Scenario scenario = scenarios()[0];
  const std::string patched = prepare(scenario);
  const std::string t = path("T");
  const std::string j = journal();
  struct Row {
    const char* name;
    std::function<void()> spoil;  // what happens to the journal or the file after the kill
    std::string file;             // the file recovered
    std::string err;
    int status;
  };
  const auto change = [&](std::size_t at, char byte) {
    std::string bytes = read(j);
    bytes[at] = byte;
    put(j, bytes);
  };
  const std::string left = ": left as it is\n";
  const std::vector<Row> rows{
      {"Truncated", [&] { std::filesystem::resize_file(j, std::filesystem::file_size(j) - 10); }, t,
       "unquarnel: " + j + ": damaged (its checksum fails)" + left, 1},
      {"AnOldByteChanged", [&] { change(100, 'x'); }, t,
       "unquarnel: " + j + ": damaged (its checksum fails)" + left, 1},
      {"TheOldLengthChanged", [&] { change(41, 'x'); }, t,
       "unquarnel: " + j + ": damaged (its checksum fails)" + left, 1},
      {"NotAJournal", [&] { put(j, "hello, world"); }, t,
       "unquarnel: " + j + ": not a journal of unquarnel's" + left, 1},
      {"AnotherFiles",
       [&] {
         put(path("U"), scenario.old);
         std::filesystem::copy_file(j, path("U.unquarnel-journal"));
       },
       path("U"),
       "unquarnel: " + path("U.unquarnel-journal") + ": the journal of another file (or " +
           path("U") + " was replaced since)" + left,
       1},
      {"TheFileReplaced",
       [&] {
         std::filesystem::copy_file(t, path("T2"));
         std::filesystem::rename(path("T2"), t);
       },
       t,
       "unquarnel: " + j + ": the journal of another file (or " + t + " was replaced since)" + left,
       1},
      {"TheFileGone", [&] { std::filesystem::remove(t); }, t,
       "unquarnel: " + j + ": the file it belongs to is gone" + left, 1},
      {"ItsHeaderNeverWritten", [&] { put(j, std::string(64, '\0') + read(j).substr(64)); }, t,
       "unquarnel: " + t +
           ": an interrupted patch had not begun to write it: removed its journal " + j + "\n",
       0},
  };
  for (const Row& row : rows) {
    std::filesystem::remove(path("U"));
    std::filesystem::remove(path("U.unquarnel-journal"));
    put(t, scenario.old);
    // Killed after its first write into the file: a hot journal.
    ASSERT_EQ(patch(scenario, 8).status, 128 + SIGKILL);
    const std::string hot = read(t);
    ASSERT_TRUE(hot != scenario.old && hot != patched);
    // It holds the file's old bytes: only its owner may read it.
    struct stat info {};
    ASSERT_EQ(stat(j.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
    row.spoil();
    const std::string journal_before = read(row.file + ".unquarnel-journal");
    const std::string file_before = read(row.file);
    const Outcome got = unquarnel({"--recover", row.file});
    EXPECT_EQ(got.err + std::to_string(got.status), row.err + std::to_string(row.status))
        << row.name;
    EXPECT_EQ(read(row.file), file_before) << row.name;
    EXPECT_EQ(read(row.file + ".unquarnel-journal"), row.status == 0 ? absent : journal_before)
        << row.name;
    // A patch refuses as a recovery does, before it reads a dump.
    if (row.status != 0) {
      const Outcome refused =
          unquarnel({"-p", row.file, "--no-journal", (root_ / "patch").string()});
      EXPECT_EQ(refused.err + std::to_string(refused.status), row.err + "1") << row.name;
      EXPECT_EQ(read(row.file), file_before) << row.name;
    }
    std::filesystem::remove(j);
  }
  put(t, scenario.old);
  EXPECT_EQ(unquarnel({"--recover", t}).err,
            "unquarnel: " + t + ": no interrupted patch to roll back\n");
  EXPECT_EQ(unquarnel({"--recover", path("none/T")}).err,
            "unquarnel: " + path("none/T") + ": cannot open: no such file or directory\n");
}

TEST_F(Journal, WithoutAJournalAPatchKilledMidwayIsPartlyWritten) {
  Scenario scenario = scenarios()[0];
  scenario.options = {"--no-journal"};
  const std::string patched = prepare(scenario);
  put(path("T"), scenario.old);
  ASSERT_EQ(patch(scenario, 2).status, 128 + SIGKILL);
  const std::string after = read(path("T"));
  EXPECT_TRUE(after != scenario.old && after != patched);
  EXPECT_EQ(others(), "");
  EXPECT_EQ(unquarnel({"--recover", path("T")}).status, 0);
}

}  // namespace
}  // namespace quarnel
