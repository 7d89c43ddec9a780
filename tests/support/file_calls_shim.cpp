// Preloaded into a test's unquarnel: watches the calls that change files in
// one folder (QUARNEL_SHIM_FOLDER). With QUARNEL_SHIM_TRACE it appends each
// to that file, one line a call:
//   C NAME              NAME created
//   W NAME OFFSET HEX   bytes written at OFFSET
//   T NAME LENGTH       NAME cut or grown to LENGTH
//   S NAME              NAME flushed to disk ("." is the folder)
//   U NAME              NAME removed
// With QUARNEL_SHIM_KILL_AT=N the process sends itself SIGKILL instead of
// making the Nth such call; with QUARNEL_SHIM_TORN as well, a write that is
// the Nth lands its first half before the kill, if it is longer than a
// disk sector, which a disk writes whole. With QUARNEL_SHIM_STOP_AT=N it
// stops itself (SIGSTOP) before making the Nth call, for its parent to act
// while it stands there.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::array<std::string, 1024> names;  // the watched name each descriptor stands for
long calls = 0;

const char* setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

template <class Call>
Call real(const char* name) {
  return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

// The name of path in the watched folder, or "".
std::string watched(int folder, const char* path) {
  const char* root = setting("QUARNEL_SHIM_FOLDER");
  if (root == nullptr) {
    return "";
  }
  std::string full;
  if (path[0] == '/') {
    full = path;
  } else {
    std::array<char, 4096> base{};
    const std::string link =
        folder == AT_FDCWD ? "/proc/self/cwd" : "/proc/self/fd/" + std::to_string(folder);
    const ssize_t size = ::readlink(link.c_str(), base.data(), base.size() - 1);
    if (size <= 0) {
      return "";
    }
    full = std::string(base.data(), static_cast<std::size_t>(size)) + "/" + path;
  }
  const std::string prefix = std::string(root) + "/";
  if (full == std::string(root) + "/." || full == root) {
    return ".";
  }
  return full.starts_with(prefix) && full.find('/', prefix.size()) == std::string::npos
             ? full.substr(prefix.size())
             : "";
}

std::string name_of(int fd) {
  return fd >= 0 && static_cast<std::size_t>(fd) < names.size() ? names[fd] : "";
}

// Counts a watched call; at the one asked for, the process dies, after
// torn() lands what a torn write lands.
template <class Torn>
void count(Torn torn) {
  ++calls;
  const char* stop_at = setting("QUARNEL_SHIM_STOP_AT");
  if (stop_at != nullptr && std::atol(stop_at) == calls) {
    ::kill(::getpid(), SIGSTOP);
  }
  const char* kill_at = setting("QUARNEL_SHIM_KILL_AT");
  if (kill_at != nullptr && std::atol(kill_at) == calls) {
    if (setting("QUARNEL_SHIM_TORN") != nullptr) {
      torn();
    }
    ::kill(::getpid(), SIGKILL);
  }
}

void trace(const std::string& line) {
  const char* path = setting("QUARNEL_SHIM_TRACE");
  if (path == nullptr) {
    return;
  }
  const int fd = real<int (*)(const char*, int, ...)>("open")(
      path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  static_cast<void>(::write(fd, line.data(), line.size()));
  ::close(fd);
}

}  // namespace

extern "C" {

// The names of the parameters are those of the C library's declarations.
int openat(int fd, const char* file, int oflag, ...) {
  const int folder = fd;
  const char* const path = file;
  const int flags = oflag;
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list rest;
    va_start(rest, oflag);
    mode = va_arg(rest, mode_t);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(rest);
  }
  const std::string name = watched(folder, path);
  struct stat before {};
  const bool existed = ::fstatat(folder, path, &before, AT_SYMLINK_NOFOLLOW) == 0;
  if (!name.empty() && (flags & O_CREAT) != 0 && !existed) {
    count([] {});
  }
  const int opened = real<int (*)(int, const char*, int, ...)>("openat")(folder, path, flags, mode);
  if (opened >= 0 && static_cast<std::size_t>(opened) < names.size()) {
    names[opened] = name;
    if (!name.empty() && (flags & O_CREAT) != 0 && !existed) {
      trace("C " + name + "\n");
    }
  }
  return opened;
}

int openat64(int fd, const char* file, int oflag, ...) {
  va_list rest;
  va_start(rest, oflag);
  const mode_t mode = va_arg(rest, mode_t);  // NOLINT(clang-analyzer-valist.Uninitialized)
  va_end(rest);
  return openat(fd, file, oflag, mode);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t offset) {
  const void* const bytes = buf;
  const size_t size = n;
  using Call = ssize_t (*)(int, const void*, size_t, off_t);
  static const Call call = real<Call>("pwrite64");
  const std::string name = name_of(fd);
  if (name.empty()) {
    return call(fd, bytes, size, offset);
  }
  count([&] {
    if (size > 512) {
      call(fd, bytes, size / 2, offset);
    }
  });
  const ssize_t written = call(fd, bytes, size, offset);
  if (written > 0) {
    std::string line = "W " + name + " " + std::to_string(offset) + " ";
    for (ssize_t i = 0; i < written; ++i) {
      std::array<char, 3> hex{};
      std::snprintf(hex.data(), hex.size(), "%02x", static_cast<const unsigned char*>(bytes)[i]);
      line += hex.data();
    }
    trace(line + "\n");
  }
  return written;
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) {
  return pwrite64(fd, buf, n, offset);
}

int ftruncate64(int fd, off_t length) {
  using Call = int (*)(int, off_t);
  static const Call call = real<Call>("ftruncate64");
  const std::string name = name_of(fd);
  if (!name.empty()) {
    count([] {});
  }
  const int result = call(fd, length);
  if (!name.empty() && result == 0) {
    trace("T " + name + " " + std::to_string(length) + "\n");
  }
  return result;
}

int ftruncate(int fd, off_t length) { return ftruncate64(fd, length); }

int fsync(int fd) {
  using Call = int (*)(int);
  static const Call call = real<Call>("fsync");
  const std::string name = name_of(fd);
  if (!name.empty()) {
    count([] {});
  }
  const int result = call(fd);
  if (!name.empty() && result == 0) {
    trace("S " + name + "\n");
  }
  return result;
}

int unlinkat(int fd, const char* name, int flag) {
  const char* const given = name;
  using Call = int (*)(int, const char*, int);
  static const Call call = real<Call>("unlinkat");
  const std::string seen = watched(fd, given);
  if (!seen.empty()) {
    count([] {});
  }
  const int result = call(fd, given, flag);
  if (!seen.empty() && result == 0) {
    trace("U " + seen + "\n");
  }
  return result;
}

int close(int fd) {
  using Call = int (*)(int);
  static const Call call = real<Call>("close");
  if (fd >= 0 && static_cast<std::size_t>(fd) < names.size()) {
    names[fd].clear();
  }
  return call(fd);
}

}  // extern "C"
