// The journal beside a patched file, and the identity of files, on
// Windows. A journal held open is shared with no one: that is its lock.
#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {

bool identify_file(int handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(os_handle(handle), &information) == 0) {
    return false;
  }
  identity = {information.dwVolumeSerialNumber,
              std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
  return true;
}

JournalStatus open_journal(PatchFile& file, JournalOpen how) {
  file.journal_named = false;
  if (how == JournalOpen::temporary) {
    file.journal = create_spool_file();
    if (file.journal < 0) {
      file.error = last_error();
      return JournalStatus::failed;
    }
    return JournalStatus::opened;
  }
  HANDLE opened =
      open_path(file.journal_name.data(), GENERIC_READ | GENERIC_WRITE, 0,
                how == JournalOpen::create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (opened == INVALID_HANDLE_VALUE) {
    const int error = last_error();
    if (how == JournalOpen::existing &&
        (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
      return JournalStatus::missing;
    }
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_FILE_EXISTS) {
      return JournalStatus::in_use;
    }
    file.error = error;
    return JournalStatus::failed;
  }
  file.journal = descriptor(opened);
  if (file.journal < 0) {
    file.error = last_error();
    return JournalStatus::failed;
  }
  file.journal_named = true;
  return JournalStatus::opened;
}

bool remove_journal(PatchFile& file) {
  if (file.journal >= 0) {
    ::_close(file.journal);
    file.journal = -1;
  }
  if (!file.journal_named) {
    return true;
  }
  static WidePath wide;
  if (!widen(file.journal_name.data(), wide) ||
      (::DeleteFileW(wide.data()) == 0 && ::GetLastError() != ERROR_FILE_NOT_FOUND)) {
    file.error = last_error();
    return false;
  }
  file.journal_named = false;
  return true;
}

// Windows cannot flush a folder: a file's name is as durable as the file
// system makes it.
bool flush_patch_folder(PatchFile& /*file*/) { return true; }

}  // namespace quarnel
