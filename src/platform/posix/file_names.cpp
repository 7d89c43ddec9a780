// Finding the file a name stands for, links followed as the kernel follows
// them, and flushing folders, on POSIX systems.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/posix/posix_files.h"

namespace quarnel::posix {
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
int split_path(std::string_view path, int& folder, PathText& leaf, PathText& folder_name) {
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

}  // namespace

int find_place(const char* name, int& folder, PathText& leaf, PathText& folder_name) {
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

}  // namespace quarnel::posix
