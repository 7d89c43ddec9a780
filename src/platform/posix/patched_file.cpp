// The file that unquarnel patches, on POSIX systems: refused when it is a
// pipe or terminal, found and opened as > would, locked, read and written
// at offsets, cut and flushed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace quarnel {

namespace posix {

bool is_stream(const struct stat& info, int handle) {
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) ||
         (S_ISCHR(info.st_mode) && handle >= 0 && ::isatty(handle) != 0);
}

}  // namespace posix

bool cannot_patch(const char* name) {
  struct stat info {};
  if (::stat(name, &info) != 0) {
    return false;  // missing: it will be created
  }
  if (!S_ISCHR(info.st_mode)) {
    return posix::is_stream(info, -1);
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
  return ::fstat(handle, &info) == 0 && posix::is_stream(info, handle);
}

namespace {

// Names the journal in messages: beside the name given, or in the folder
// its links led to.
void name_journal(const char* name, const posix::PathText& folder_name, PatchFile& file) {
  const std::string_view given = name;
  const std::string_view folder = folder_name.data();
  const std::string_view leaf = file.leaf.data();
  std::string_view head;
  std::string_view slash;
  if (given.find('/') != std::string_view::npos || folder != ".") {
    head = folder;
    slash = folder.ends_with('/') ? "" : "/";
  }
  const std::size_t size = head.size() + slash.size() + leaf.size() + journal_suffix.size();
  if (size >= file.journal_name.size()) {
    return;
  }
  char* at = file.journal_name.data();
  for (const std::string_view piece : {head, slash, leaf, journal_suffix}) {
    at += piece.copy(at, piece.size());
  }
  *at = '\0';
}

// Non-blocking, so that a FIFO put in the file's place fails to open
// instead of waiting for a reader; a link put there fails too.
constexpr int patch_flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

bool fail(PatchFile& file, FileProblem problem, int error) {
  file.problem = problem;
  file.error = error;
  if (file.handle >= 0) {
    ::close(file.handle);
    file.handle = -1;
  }
  return false;
}

// Looks at the opened file and takes its lock.
bool hold(PatchFile& file) {
  struct stat info {};
  if (::fstat(file.handle, &info) != 0) {
    return fail(file, FileProblem::cannot_open, errno);
  }
  if (posix::is_stream(info, file.handle)) {
    return fail(file, FileProblem::stream, 0);
  }
  // A file this run created but another holds is not ours to remove.
  if (!posix::lock_file(file.handle)) {
    file.created = false;
    return fail(file, FileProblem::in_use, 0);
  }
  file.regular = S_ISREG(info.st_mode);
  return true;
}

}  // namespace

bool find_patch_file(const char* name, PatchFile& file, FindMode mode) {
  posix::PathText folder_name{};
  if (const int error = posix::find_place(name, file.folder, file.leaf, folder_name); error != 0) {
    return fail(file, FileProblem::cannot_open, error);
  }
  name_journal(name, folder_name, file);
  struct stat info {};
  if (::fstatat(file.folder, file.leaf.data(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    file.exists = true;
    if (mode == FindMode::regular_only && !S_ISREG(info.st_mode)) {
      return true;
    }
  }
  file.handle = ::openat(file.folder, file.leaf.data(), patch_flags);
  if (file.handle < 0) {
    file.exists = errno != ENOENT;
    return !file.exists || fail(file, FileProblem::cannot_open, errno);
  }
  file.exists = true;
  return hold(file);
}

bool create_patch_file(PatchFile& file) {
  file.handle = ::openat(file.folder, file.leaf.data(), patch_flags | O_CREAT | O_EXCL, 0666);
  if (file.handle < 0) {
    return fail(file, errno == EEXIST ? FileProblem::in_use : FileProblem::cannot_open, errno);
  }
  file.created = true;
  file.exists = true;
  if (!hold(file)) {
    return false;
  }
  if (!posix::flush_folder(file.folder)) {
    const int error = errno;
    static_cast<void>(remove_patch_file(file));
    file.created = false;
    return fail(file, FileProblem::cannot_open, error);
  }
  return true;
}

bool remove_patch_file(PatchFile& file) {
  if (file.handle >= 0) {
    ::close(file.handle);
    file.handle = -1;
  }
  if (::unlinkat(file.folder, file.leaf.data(), 0) != 0) {
    file.error = errno;
    return false;
  }
  file.exists = false;
  if (!posix::flush_folder(file.folder)) {
    file.error = errno;
    return false;
  }
  return true;
}

void close_patch_file(PatchFile& file) {
  if (file.journal >= 0) {
    ::close(file.journal);
    file.journal = -1;
  }
  if (file.handle >= 0) {
    ::close(file.handle);
    file.handle = -1;
  }
  posix::close_folder(file.folder);
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

std::uint64_t data_after(int handle, std::uint64_t offset) {
#if defined(SEEK_DATA)
  const off_t found = ::lseek(handle, static_cast<off_t>(offset), SEEK_DATA);
  if (found >= 0) {
    return static_cast<std::uint64_t>(found);
  }
  // No data from offset on: a hole to the end.
  struct stat info {};
  if (errno == ENXIO && ::fstat(handle, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) > offset) {
    return static_cast<std::uint64_t>(info.st_size);
  }
#else
  static_cast<void>(handle);
#endif
  return offset;
}

bool is_regular_file(int handle) {
  struct stat info {};
  return ::fstat(handle, &info) == 0 && S_ISREG(info.st_mode);
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
  count_bytes_read(done);
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

void start_flush(int handle) {
#if defined(SYNC_FILE_RANGE_WRITE)
  ::sync_file_range(handle, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  static_cast<void>(handle);
#endif
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

}  // namespace quarnel
