// Files that unquarnel writes into on POSIX systems: the patched file and
// its temporary files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {
namespace {

// The signals that ask a program to stop: Ctrl-C, kill, a closed terminal.
constexpr std::array stop_signals{SIGINT, SIGTERM, SIGHUP};

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

PatchFile open_patch_file(const char* name) {
  // Non-blocking, so that a FIFO put in the file's place fails to open
  // instead of waiting for a reader.
  constexpr int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = ::open(name, flags);
  bool created = false;
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(name, flags | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
  }
  return {fd, created};
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

bool remove_file(const char* name) { return ::unlink(name) == 0; }

void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  // Restarted calls: the writing loop looks at the flag between writes.
  action.sa_flags = SA_RESTART;
  for (const int number : stop_signals) {
    // A signal ignored from the start (SIGHUP under nohup, SIGINT in a
    // background job) stays ignored.
    struct sigaction before {};
    if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
      ::sigaction(number, &action, nullptr);
    }
  }
}

int stop_signal() { return caught_signal; }

int create_spool_file() {
  const char* folder = std::getenv("TMPDIR");
  std::array<char, 4096> path{};
  const std::string_view base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  constexpr std::string_view pattern = "/unquarnel-XXXXXX";
  if (base.size() + pattern.size() >= path.size()) {
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

// The temporary output file, for a stop signal to remove.
std::array<char, 4096> pending_output{};
volatile std::sig_atomic_t output_pending = 0;

extern "C" void remove_pending_output(int number) {
  if (output_pending != 0) {
    ::unlink(pending_output.data());
  }
  ::signal(number, SIG_DFL);
  ::raise(number);
}

}  // namespace

bool open_output_file(const char* name, OutputFile& file) {
  struct stat info {};
  const bool exists = ::stat(name, &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    file.handle = ::open(name, O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    return file.handle >= 0;
  }
  // Through a link, the file it names is replaced, not the link.
  struct stat link {};
  const bool linked = ::lstat(name, &link) == 0 && S_ISLNK(link.st_mode) &&
                      ::realpath(name, file.target.data()) != nullptr;
  const std::string_view path = linked ? std::string_view(file.target.data()) : name;
  constexpr std::string_view suffix = ".unquarnel-XXXXXX";
  if (path.size() + suffix.size() >= file.temporary.size()) {
    return false;
  }
  if (!linked) {
    path.copy(file.target.data(), path.size());
    file.target[path.size()] = '\0';
  }
  path.copy(file.temporary.data(), path.size());
  suffix.copy(file.temporary.data() + path.size(), suffix.size());
  file.temporary[path.size() + suffix.size()] = '\0';
  // A stop signal between the file's creation and its handler waits, so
  // that no temporary file can be left behind.
  sigset_t stops{};
  sigset_t before{};
  sigemptyset(&stops);
  for (const int number : stop_signals) {
    sigaddset(&stops, number);
  }
  ::sigprocmask(SIG_BLOCK, &stops, &before);
  file.handle = ::mkstemp(file.temporary.data());
  if (file.handle >= 0) {
    pending_output = file.temporary;
    output_pending = 1;
    for (const int number : stop_signals) {
      if (::signal(number, remove_pending_output) == SIG_IGN) {
        ::signal(number, SIG_IGN);
      }
    }
  }
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
  if (file.handle < 0) {
    return false;
  }
  ::fcntl(file.handle, F_SETFD, FD_CLOEXEC);
  // The new file gets the old one's permissions, or a new file's.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(file.handle, exists ? info.st_mode & 07777 : 0666 & ~mask);
  file.replaces = true;
  return true;
}

bool commit_output_file(OutputFile& file) {
  const bool flushed = flush_to_disk(file.handle);
  const bool closed = ::close(file.handle) == 0;
  file.handle = -1;
  if (!file.replaces) {
    return flushed && closed;
  }
  const bool renamed =
      flushed && closed && ::rename(file.temporary.data(), file.target.data()) == 0;
  if (!renamed) {
    ::unlink(file.temporary.data());
  }
  output_pending = 0;
  return renamed;
}

void discard_output_file(OutputFile& file) {
  if (file.handle >= 0) {
    ::close(file.handle);
    file.handle = -1;
  }
  if (file.replaces) {
    ::unlink(file.temporary.data());
    output_pending = 0;
  }
}

}  // namespace quarnel
