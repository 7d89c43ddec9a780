// Reading folders on POSIX systems.
#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quarnel {
namespace {

std::array<DIR*, most_open_listings> listings{};

FileKind kind_of_mode(mode_t mode) {
  return S_ISREG(mode)   ? FileKind::regular
         : S_ISDIR(mode) ? FileKind::folder
         : S_ISLNK(mode) ? FileKind::link
                         : FileKind::other;
}

FileIdentity identity_of(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

FileKind kind_of(const char* name, bool follow) {
  struct stat info {};
  const int got = follow ? ::stat(name, &info) : ::lstat(name, &info);
  return got == 0 ? kind_of_mode(info.st_mode) : FileKind::missing;
}

std::uint64_t regular_file_length(const char* name) {
  struct stat info {};
  return ::stat(name, &info) == 0 && S_ISREG(info.st_mode)
             ? static_cast<std::uint64_t>(info.st_size)
             : 0;
}

char folder_separator() { return '/'; }

int open_listing(const char* name, FileIdentity& identity) {
  std::size_t slot = 0;
  while (slot < listings.size() && listings[slot] != nullptr) {
    ++slot;
  }
  if (slot == listings.size()) {
    errno = EMFILE;
    return -1;
  }
  const int fd = ::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    const int error = errno;
    if (fd >= 0) {
      ::close(fd);
    }
    errno = error;
    return -1;
  }
  listings[slot] = ::fdopendir(fd);
  if (listings[slot] == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  identity = identity_of(info);
  return static_cast<int>(slot);
}

void close_listing(int listing) {
  DIR*& folder = listings[static_cast<std::size_t>(listing)];
  ::closedir(folder);
  folder = nullptr;
}

ListingRead read_listing(int listing, ListingEntry& entry) {
  DIR* folder = listings[static_cast<std::size_t>(listing)];
  for (;;) {
    errno = 0;
    const dirent* found = ::readdir(folder);
    if (found == nullptr) {
      return errno == 0 ? ListingRead::end : ListingRead::error;
    }
    const std::string_view name = found->d_name;
    if (name == "." || name == ".." || name.size() >= entry.name.size()) {
      continue;
    }
    name.copy(entry.name.data(), name.size());
    entry.name[name.size()] = '\0';
    entry.size = name.size();
    switch (found->d_type) {
      case DT_REG:
        entry.kind = FileKind::regular;
        break;
      case DT_DIR:
        entry.kind = FileKind::folder;
        break;
      case DT_LNK:
        entry.kind = FileKind::link;
        break;
      case DT_UNKNOWN: {
        // Some file systems do not say: asked of the entry itself.
        struct stat info {};
        entry.kind = ::fstatat(::dirfd(folder), found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
                         ? kind_of_mode(info.st_mode)
                         : FileKind::missing;
        break;
      }
      default:
        entry.kind = FileKind::other;
        break;
    }
    return ListingRead::entry;
  }
}

FoundFile open_found_file(const char* name, bool follow) {
  FoundFile found;
  const int fd =
      ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW));
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    found.error = errno;
    // A link that O_NOFOLLOW refused is a link, not a failure.
    found.kind = found.error == ELOOP && !follow ? FileKind::link : FileKind::missing;
    if (fd >= 0) {
      ::close(fd);
    }
    return found;
  }
  found.kind = kind_of_mode(info.st_mode);
  found.identity = identity_of(info);
  found.other_names = info.st_nlink > 1;
  if (found.kind != FileKind::regular) {
    ::close(fd);
    return found;
  }
  // O_NONBLOCK stays: reads of a regular file never wait for a writer.
  found.handle = fd;
  return found;
}

}  // namespace quarnel
