// Files that unquarnel writes into on POSIX systems: the patched file and
// its temporary files.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {
namespace {

// The signals whose default action ends the program and that come from
// outside it: Ctrl-C and Ctrl-\\, kill, a closed terminal, timers, limits, a
// closed pipe. Those a fault raises (SEGV, BUS, FPE, ILL) are not among
// them: the program cannot go on after one.
constexpr std::array fixed_ending_signals {
  SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPIPE,
#if defined(SIGPOLL)
      SIGPOLL,
#endif
#if defined(SIGPWR)
      SIGPWR,
#endif
#if defined(SIGSTKFLT)
      SIGSTKFLT,
#endif
};

// Calls action with the number of every signal that ends the program.
template <typename Action>
void for_each_ending_signal(Action action) {
  for (const int number : fixed_ending_signals) {
    action(number);
  }
#if defined(SIGRTMIN)
  for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) {
    action(number);
  }
#endif
}

sigset_t ending_signal_set() {
  sigset_t set{};
  sigemptyset(&set);
  for_each_ending_signal([&](int number) { sigaddset(&set, number); });
  return set;
}

// Sets handler for every signal that ends the program, except those
// ignored from the start (SIGHUP under nohup, SIGINT in a background job),
// which stay ignored.
void handle_ending_signals(void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = ending_signal_set();
  action.sa_flags = flags;
  for_each_ending_signal([&](int number) {
    struct sigaction before {};
    if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
      ::sigaction(number, &action, nullptr);
    }
  });
}

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void note_signal(int number) {
  if (caught_signal == 0) {
    caught_signal = number;
  }
}

bool is_stream(const struct stat& info, int handle) {
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) ||
         (S_ISCHR(info.st_mode) && handle >= 0 && ::isatty(handle) != 0);
}

}  // namespace

bool cannot_patch(const char* name) {
  struct stat info {};
  if (::stat(name, &info) != 0) {
    return false;  // missing: it will be created
  }
  if (!S_ISCHR(info.st_mode)) {
    return is_stream(info, -1);
  }
  // Only an open device can tell whether it is a terminal.
  const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  const bool terminal = fd >= 0 && ::isatty(fd) != 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return terminal;
}

bool is_pipe_or_terminal(int handle) {
  struct stat info {};
  return ::fstat(handle, &info) == 0 && is_stream(info, handle);
}

namespace {

#if defined(O_PATH)
// A handle that only names a place: no read permission needed, no side
// effect on a device.
constexpr int place_only = O_PATH;
#else
constexpr int place_only = O_RDONLY | O_NONBLOCK | O_NOCTTY;
#endif

// How many links are followed before the name counts as a loop, as the
// kernel counts.
constexpr int most_links = 40;

// Opens the folder part of path (relative to folder) and copies its last
// part into leaf. Returns 0 or the reason it failed.
int split_path(std::string_view path, int& folder, std::array<char, 4096>& leaf,
               std::array<char, 4096>& folder_name) {
  if (path.empty()) {
    return ENOENT;
  }
  if (path.size() >= leaf.size()) {
    return ENAMETOOLONG;
  }
  const std::size_t slash = path.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") {
    return EISDIR;
  }
  const std::string_view head = slash == std::string_view::npos ? "."
                                : slash == 0                    ? "/"
                                                                : path.substr(0, slash);
  std::array<char, 4096> folder_path{};
  head.copy(folder_path.data(), head.size());
  const int opened = ::openat(folder, folder_path.data(), place_only | O_DIRECTORY | O_CLOEXEC);
  if (opened < 0) {
    return errno;
  }
  // Names the folder in messages: the link's own words when it was read
  // from one.
  if (folder == AT_FDCWD || head.starts_with('/')) {
    folder_name = folder_path;
  } else if (const std::size_t used = std::string_view(folder_name.data()).size();
             used + 1 + head.size() < folder_name.size()) {
    folder_name[used] = '/';
    head.copy(folder_name.data() + used + 1, head.size());
    folder_name[used + 1 + head.size()] = '\0';
  }
  if (folder != AT_FDCWD) {
    ::close(folder);
  }
  folder = opened;
  last.copy(leaf.data(), last.size());
  leaf[last.size()] = '\0';
  return 0;
}

// Finds the file that name stands for as opening it would, links followed
// with the kernel's own rules (a link another user left in a sticky folder,
// a loop, a folder that cannot be searched all fail as they do for >): the
// folder that holds it, opened, and its name there. Returns 0 or the reason
// it failed; a missing file is no failure.
int find_place(const char* name, int& folder, std::array<char, 4096>& leaf,
               std::array<char, 4096>& folder_name) {
  folder = AT_FDCWD;
  int problem = split_path(name, folder, leaf, folder_name);
  for (int links = 0; problem == 0; ++links) {
    struct stat info {};
    if (::fstatat(folder, leaf.data(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno == ENOENT ? 0 : errno;
    }
    if (!S_ISLNK(info.st_mode)) {
      return 0;
    }
    if (links == most_links) {
      return ELOOP;
    }
    // The kernel follows the link once to say whether it may be followed; a
    // link to nothing may, and names the file to create.
    const int probe = ::openat(folder, leaf.data(), place_only | O_CLOEXEC);
    if (probe < 0 && errno != ENOENT) {
      return errno;
    }
    if (probe >= 0) {
      ::close(probe);
    }
    std::array<char, 4096> target{};
    const ssize_t size = ::readlinkat(folder, leaf.data(), target.data(), target.size() - 1);
    if (size < 0) {
      return errno;
    }
    if (static_cast<std::size_t>(size) >= target.size() - 1) {
      return ENAMETOOLONG;
    }
    problem = split_path(std::string_view(target.data(), static_cast<std::size_t>(size)), folder,
                         leaf, folder_name);
  }
  return problem;
}

void close_folder(int& folder) {
  if (folder >= 0) {
    ::close(folder);
  }
  folder = -1;
}

// Flushes a folder's entries to disk, so that a file created, renamed into
// it or removed stays so after a power loss. A folder that cannot be opened
// for reading cannot be flushed, which is no failure of the write.
bool flush_folder(int folder) {
  const int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (readable < 0) {
    return true;
  }
  int result = 0;
  while ((result = ::fsync(readable)) != 0 && errno == EINTR) {
  }
  // Some file systems cannot flush a folder; their entries need nothing.
  const bool flushed = result == 0 || errno == EINVAL || errno == EROFS;
  ::close(readable);
  return flushed;
}

// Takes the lock that one run of unquarnel holds on the file it writes.
// False only when another process holds it: a file system that has no such
// locks is written unlocked, as any other program would write it.
bool lock_file(int handle) {
  int result = 0;
  while ((result = ::flock(handle, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  return result == 0 || errno != EWOULDBLOCK;
}

}  // namespace

int last_error() { return errno; }

std::string_view error_text(int error) {
  // The system's words, with a small first letter to follow a colon.
  static std::array<char, 256> text{};
  const std::string_view words = std::strerror(error);
  const std::size_t size = std::min(words.size(), text.size() - 1);
  words.copy(text.data(), size);
  if (size > 0 && text[0] >= 'A' && text[0] <= 'Z' &&
      (size < 2 || text[1] < 'A' || text[1] > 'Z')) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return {text.data(), size};
}

bool open_patch_file(const char* name, PatchFile& file) {
  const auto fail = [&](FileProblem problem, int error) {
    file.problem = problem;
    file.error = error;
    if (file.handle >= 0) {
      ::close(file.handle);
      file.handle = -1;
    }
    // A file this run created but another holds is not ours to remove.
    close_folder(file.folder);
    return false;
  };
  std::array<char, 4096> folder_name{};
  if (const int error = find_place(name, file.folder, file.leaf, folder_name); error != 0) {
    return fail(FileProblem::cannot_open, error);
  }
  // Non-blocking, so that a FIFO put in the file's place fails to open
  // instead of waiting for a reader; a link put there fails too.
  constexpr int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
  file.handle = ::openat(file.folder, file.leaf.data(), flags);
  if (file.handle < 0 && errno == ENOENT) {
    file.handle = ::openat(file.folder, file.leaf.data(), flags | O_CREAT | O_EXCL, 0666);
    file.created = file.handle >= 0;
  }
  if (file.handle < 0) {
    return fail(FileProblem::cannot_open, errno);
  }
  if (is_pipe_or_terminal(file.handle)) {
    return fail(FileProblem::stream, 0);
  }
  if (!lock_file(file.handle)) {
    return fail(FileProblem::in_use, 0);
  }
  if (file.created && !flush_folder(file.folder)) {
    const int error = errno;
    static_cast<void>(close_patch_file(file, false));
    file.problem = FileProblem::cannot_open;
    file.error = error;
    return false;
  }
  return true;
}

bool close_patch_file(PatchFile& file, bool keep) {
  bool removed = true;
  if (file.handle >= 0) {
    ::close(file.handle);
    file.handle = -1;
  }
  if (file.created && !keep) {
    removed = ::unlinkat(file.folder, file.leaf.data(), 0) == 0 && flush_folder(file.folder);
  }
  close_folder(file.folder);
  return removed;
}

std::int64_t file_length(int handle) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) {
    return -1;
  }
  if (S_ISREG(info.st_mode)) {
    return info.st_size;
  }
  // A block device reports its size only to a seek to its end.
  return S_ISBLK(info.st_mode) ? ::lseek(handle, 0, SEEK_END) : 0;
}

ReadResult read_at(int handle, std::uint64_t offset, std::span<std::uint8_t> into) {
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t n =
        ::pread(handle, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return {ReadStatus::error, done};
    }
    if (n == 0) {
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return {done == into.size() ? ReadStatus::data : ReadStatus::end, done};
}

std::size_t write_at(int handle, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  const std::size_t size = bytes.size();
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(handle, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) {
        continue;
      }
      break;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  return size - bytes.size();
}

bool cut_file(int handle, std::uint64_t length) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) {
    return false;
  }
  return !S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) == length ||
         ::ftruncate(handle, static_cast<off_t>(length)) == 0;
}

bool flush_to_disk(int handle) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) {
    return false;
  }
  if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
    return true;
  }
  int result = 0;
  while ((result = ::fsync(handle)) != 0 && errno == EINTR) {
  }
  return result == 0;
}

void catch_ending_signals() {
  // Restarted calls: the writing loop looks at the flag between writes.
  handle_ending_signals(note_signal, SA_RESTART);
}

int ending_signal() { return caught_signal; }

std::string_view spool_folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

int create_spool_file() {
  std::array<char, 4096> path{};
  const std::string_view base = spool_folder();
  constexpr std::string_view pattern = "/unquarnel-XXXXXX";
  if (base.size() + pattern.size() >= path.size()) {
    errno = ENAMETOOLONG;
    return -1;
  }
  base.copy(path.data(), base.size());
  pattern.copy(path.data() + base.size(), pattern.size());
  const int fd = ::mkstemp(path.data());
  if (fd >= 0) {
    // Unnamed at once: the spool goes with the process, however it ends.
    ::unlink(path.data());
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  return fd;
}

namespace {

// The named temporary output file, for a signal that ends the program to
// remove.
int pending_folder = -1;
std::array<char, 4096> pending_output{};
volatile std::sig_atomic_t output_pending = 0;

extern "C" void remove_pending_output(int number) {
  if (output_pending != 0) {
    ::unlinkat(pending_folder, pending_output.data(), 0);
  }
  ::signal(number, SIG_DFL);
  ::raise(number);
}

// Blocks the signals that end the program while a temporary name exists
// without its handler, or the other way round.
struct SignalsHeld {
  sigset_t before{};
  SignalsHeld() {
    const sigset_t ending = ending_signal_set();
    ::sigprocmask(SIG_BLOCK, &ending, &before);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &before, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
};

// Names a temporary file in the folder, a name no other run takes.
void temporary_name(OutputFile& file, unsigned attempt) {
  std::snprintf(file.temporary.data(), file.temporary.size(), ".unquarnel-%ld-%u",
                static_cast<long>(::getpid()), attempt);
}

// Creates the temporary file: without a name where the system can (a
// killed run then leaves nothing), else under a name that no other file has.
bool create_temporary(OutputFile& file) {
#if defined(O_TMPFILE)
  // It is named through /proc at the end.
  if (::access("/proc/self/fd", X_OK) == 0) {
    file.handle = ::openat(file.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (file.handle >= 0) {
      return true;
    }
  }
#endif
  const SignalsHeld held;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    temporary_name(file, attempt);
    file.handle = ::openat(file.folder, file.temporary.data(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file.handle >= 0 || errno != EEXIST) {
      break;
    }
  }
  if (file.handle < 0) {
    return false;
  }
  file.named = true;
  pending_folder = file.folder;
  pending_output = file.temporary;
  output_pending = 1;
  handle_ending_signals(remove_pending_output, 0);
  return true;
}

// Gives an unnamed temporary file a name in its folder, to rename it from.
bool name_temporary(OutputFile& file) {
  if (file.named) {
    return true;
  }
  std::array<char, 64> self{};
  std::snprintf(self.data(), self.size(), "/proc/self/fd/%d", file.handle);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    temporary_name(file, attempt);
    const bool linked =
        ::linkat(AT_FDCWD, self.data(), file.folder, file.temporary.data(), AT_SYMLINK_FOLLOW) == 0;
    if (linked || errno != EEXIST) {
      file.named = linked;
      return linked;
    }
  }
  return false;
}

void forget_temporary(OutputFile& file) {
  if (file.named) {
    ::unlinkat(file.folder, file.temporary.data(), 0);
    file.named = false;
  }
  output_pending = 0;
}

void release(OutputFile& file) {
  if (file.locked >= 0) {
    ::close(file.locked);
    file.locked = -1;
  }
  close_folder(file.folder);
}

}  // namespace

bool open_output_file(const char* name, OutputFile& file) {
  const auto fail = [&](FileProblem problem, int error) {
    file.problem = problem;
    file.error = error;
    release(file);
    return false;
  };
  if (const int error = find_place(name, file.folder, file.target, file.folder_name); error != 0) {
    return fail(FileProblem::cannot_open, error);
  }
  struct stat info {};
  const bool exists = ::fstatat(file.folder, file.target.data(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    file.handle = ::openat(file.folder, file.target.data(),
                           O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    const int error = errno;
    release(file);
    file.problem = file.handle < 0 ? FileProblem::cannot_open : FileProblem::none;
    file.error = error;
    return file.handle >= 0;
  }
  if (exists) {
    // Opened for writing as > would open it (a read-only file is refused),
    // and held locked until it is replaced.
    file.locked = ::openat(file.folder, file.target.data(),
                           O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (file.locked < 0 || ::fstat(file.locked, &info) != 0) {
      return fail(FileProblem::cannot_open, errno);
    }
    if (!lock_file(file.locked)) {
      return fail(FileProblem::in_use, 0);
    }
  }
  if (!create_temporary(file)) {
    return fail(FileProblem::cannot_create, errno);
  }
  // The new file keeps the old one's owner and group where it can (as root);
  // where it cannot, it loses the set-user-ID and set-group-ID bits, which
  // would otherwise pass to a program of another owner.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  mode_t mode = exists ? info.st_mode & 07777 : 0666 & ~mask;
  struct stat made {};
  if (exists && ::fstat(file.handle, &made) == 0 &&
      (made.st_uid != info.st_uid || made.st_gid != info.st_gid) &&
      ::fchown(file.handle, info.st_uid, info.st_gid) != 0) {
    mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  }
  ::fchmod(file.handle, mode);
  file.replaces = true;
  return true;
}

bool commit_output_file(OutputFile& file) {
  bool done = flush_to_disk(file.handle);
  if (!file.replaces) {
    done = ::close(file.handle) == 0 && done;
    file.handle = -1;
    return done;
  }
  {
    // Between its naming and its rename the temporary file is left by no
    // signal: the signals wait, and end the program once it is in place.
    const SignalsHeld held;
    const bool named = done && name_temporary(file);
    const int error = errno;
    done = ::close(file.handle) == 0 && done;
    file.handle = -1;
    if (named && done &&
        ::renameat(file.folder, file.temporary.data(), file.folder, file.target.data()) == 0) {
      file.named = false;
      output_pending = 0;
    } else {
      if (done) {
        file.problem = FileProblem::cannot_replace;
        file.error = named ? errno : error;
      }
      done = false;
      forget_temporary(file);
    }
  }
  // A folder that cannot be flushed is a failed write: the new file may not
  // outlive a power loss.
  done = done && flush_folder(file.folder);
  release(file);
  return done;
}

void discard_output_file(OutputFile& file) {
  if (file.handle >= 0) {
    ::close(file.handle);
    file.handle = -1;
  }
  if (file.replaces) {
    forget_temporary(file);
  }
  release(file);
}

}  // namespace quarnel
