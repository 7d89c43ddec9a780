// The journal beside a patched file, and the identity of files, on POSIX
// systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace quarnel {
namespace {

// The journal's name in the file's folder; false when it is too long.
bool journal_leaf(const PatchFile& file, posix::PathText& name) {
  const std::string_view leaf = file.leaf.data();
  if (leaf.size() + journal_suffix.size() >= name.size()) {
    errno = ENAMETOOLONG;
    return false;
  }
  leaf.copy(name.data(), leaf.size());
  journal_suffix.copy(name.data() + leaf.size(), journal_suffix.size());
  name[leaf.size() + journal_suffix.size()] = '\0';
  return true;
}

JournalStatus failed(PatchFile& file, int error) {
  if (file.journal >= 0) {
    ::close(file.journal);
    file.journal = -1;
  }
  file.journal_named = false;
  file.error = error;
  return JournalStatus::failed;
}

}  // namespace

bool identify_file(int handle, FileIdentity& identity) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) {
    return false;
  }
  identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

JournalStatus open_journal(PatchFile& file, JournalOpen how) {
  if (how == JournalOpen::temporary) {
    file.journal = create_spool_file();
    return file.journal >= 0 ? JournalStatus::opened : failed(file, errno);
  }
  posix::PathText name{};
  // No journal can have a name too long to be made.
  if (!journal_leaf(file, name)) {
    return how == JournalOpen::existing ? JournalStatus::missing : failed(file, errno);
  }
  // Readable by its owner only: it holds the file's old bytes.
  const int create = how == JournalOpen::create ? O_CREAT | O_EXCL : 0;
  file.journal = ::openat(file.folder, name.data(),
                          O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | create, 0600);
  if (file.journal < 0) {
    if (how == JournalOpen::existing && (errno == ENOENT || errno == ENAMETOOLONG)) {
      return JournalStatus::missing;
    }
    return how == JournalOpen::create && errno == EEXIST ? JournalStatus::in_use
                                                         : failed(file, errno);
  }
  struct stat info {};
  if (::fstat(file.journal, &info) != 0) {
    return failed(file, errno);
  }
  if (!S_ISREG(info.st_mode)) {
    return failed(file, EINVAL);
  }
  if (!posix::lock_file(file.journal)) {
    failed(file, 0);
    return JournalStatus::in_use;
  }
  // Another run may have removed it between its opening and its lock.
  struct stat named {};
  if (::fstatat(file.folder, name.data(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      named.st_ino != info.st_ino || named.st_dev != info.st_dev) {
    failed(file, 0);
    return how == JournalOpen::existing ? JournalStatus::missing : JournalStatus::in_use;
  }
  file.journal_named = true;
  return JournalStatus::opened;
}

bool remove_journal(PatchFile& file) {
  if (file.journal_named) {
    posix::PathText name{};
    // Removed before it is closed, so that its lock holds to the end.
    if (!journal_leaf(file, name) ||
        (::unlinkat(file.folder, name.data(), 0) != 0 && errno != ENOENT)) {
      file.error = errno;
      return false;
    }
  }
  if (file.journal >= 0) {
    ::close(file.journal);
    file.journal = -1;
  }
  const bool named = file.journal_named;
  file.journal_named = false;
  return !named || flush_patch_folder(file);
}

bool flush_patch_folder(PatchFile& file) {
  if (!posix::flush_folder(file.folder)) {
    file.error = errno;
    return false;
  }
  return true;
}

}  // namespace quarnel
