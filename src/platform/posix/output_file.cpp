// The output file of unquarnel -o, on POSIX systems: written under a
// temporary name (or none) in its folder, and renamed over the old file only
// when every byte is in it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace quarnel {

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
  posix::end_by_signal(number);
}

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
  const posix::SignalsHeld held;
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
  posix::handle_ending_signals(remove_pending_output, 0);
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
  posix::close_folder(file.folder);
}

}  // namespace

bool open_output_file(const char* name, OutputFile& file) {
  const auto fail = [&](FileProblem problem, int error) {
    file.problem = problem;
    file.error = error;
    release(file);
    return false;
  };
  if (const int error = posix::find_place(name, file.folder, file.target, file.folder_name);
      error != 0) {
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
    if (!posix::lock_file(file.locked)) {
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
  // The first call that fails gives the message its reason.
  file.error = 0;
  const auto check = [&file](bool succeeded) {
    if (!succeeded && file.error == 0) {
      file.error = errno;
    }
    return succeeded;
  };
  bool done = check(flush_to_disk(file.handle));
  if (!file.replaces) {
    done = check(::close(file.handle) == 0) && done;
    file.handle = -1;
    return done;
  }
  {
    // Between its naming and its rename the temporary file is left by no
    // signal: the signals wait, and end the program once it is in place.
    const posix::SignalsHeld held;
    const bool named = done && name_temporary(file);
    const int error = errno;
    done = check(::close(file.handle) == 0) && done;
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
  done = done && check(posix::flush_folder(file.folder));
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
