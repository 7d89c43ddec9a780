// The file that unquarnel patches, on Windows: refused when it is a pipe
// or console, opened shared with readers only, read and written at offsets,
// cut and flushed.
#include <algorithm>
#include <string_view>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {

namespace {

OVERLAPPED at_offset(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

bool is_stream(HANDLE file) {
  DWORD mode = 0;
  const DWORD type = ::GetFileType(file);
  return type == FILE_TYPE_PIPE || (type == FILE_TYPE_CHAR && ::GetConsoleMode(file, &mode) != 0);
}

}  // namespace

bool cannot_patch(const char* name) {
  // Opened for neither reading nor writing: only what it is is asked.
  HANDLE file =
      open_path(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool stream = is_stream(file);
  ::CloseHandle(file);
  return stream;
}

bool is_pipe_or_terminal(int handle) { return is_stream(os_handle(handle)); }

namespace {

bool fail(PatchFile& file, FileProblem problem, int error) {
  file.problem = problem;
  file.error = error;
  if (file.handle >= 0) {
    ::_close(file.handle);
    file.handle = -1;
  }
  return false;
}

// Takes an opened file, or says why it could not be opened: a file another
// process holds is in use.
bool hold(PatchFile& file, HANDLE opened) {
  if (opened == INVALID_HANDLE_VALUE) {
    const int error = last_error();
    return fail(file,
                error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                        error == ERROR_FILE_EXISTS
                    ? FileProblem::in_use
                    : FileProblem::cannot_open,
                error);
  }
  if (is_stream(opened)) {
    ::CloseHandle(opened);
    return fail(file, FileProblem::stream, 0);
  }
  file.regular = ::GetFileType(opened) == FILE_TYPE_DISK;
  file.handle = descriptor(opened);
  return file.handle >= 0 || fail(file, FileProblem::cannot_open, last_error());
}

// Shared with readers only: another writer, another run among them, is
// refused while this one holds the file.
constexpr DWORD patch_access = GENERIC_READ | GENERIC_WRITE;

}  // namespace

bool find_patch_file(const char* name, PatchFile& file, FindMode mode) {
  const std::string_view path = name;
  if (path.size() + journal_suffix.size() >= file.leaf.size()) {
    return fail(file, FileProblem::cannot_open, ERROR_FILENAME_EXCED_RANGE);
  }
  path.copy(file.leaf.data(), path.size());
  file.leaf[path.size()] = '\0';
  path.copy(file.journal_name.data(), path.size());
  journal_suffix.copy(file.journal_name.data() + path.size(), journal_suffix.size());
  file.journal_name[path.size() + journal_suffix.size()] = '\0';
  static WidePath wide;
  const DWORD attributes =
      widen(name, wide) ? ::GetFileAttributesW(wide.data()) : INVALID_FILE_ATTRIBUTES;
  file.exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Only a disk file has a journal to recover; a device is left unopened.
  if (mode == FindMode::regular_only && file.exists) {
    HANDLE looked = open_path(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              OPEN_EXISTING, 0);
    const bool disk = looked != INVALID_HANDLE_VALUE && ::GetFileType(looked) == FILE_TYPE_DISK;
    if (looked != INVALID_HANDLE_VALUE) {
      ::CloseHandle(looked);
    }
    if (!disk) {
      return true;
    }
  }
  HANDLE opened =
      open_path(name, patch_access, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (opened == INVALID_HANDLE_VALUE && (::GetLastError() == ERROR_FILE_NOT_FOUND)) {
    file.exists = false;
    return true;
  }
  file.exists = true;
  return hold(file, opened);
}

bool create_patch_file(PatchFile& file) {
  file.created = hold(file, open_path(file.leaf.data(), patch_access, FILE_SHARE_READ, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL));
  file.exists = file.created;
  return file.created;
}

bool remove_patch_file(PatchFile& file) {
  if (file.handle >= 0) {
    ::_close(file.handle);
    file.handle = -1;
  }
  static WidePath wide;
  if (!widen(file.leaf.data(), wide) || ::DeleteFileW(wide.data()) == 0) {
    file.error = last_error();
    return false;
  }
  file.exists = false;
  return true;
}

void close_patch_file(PatchFile& file) {
  if (file.journal >= 0) {
    ::_close(file.journal);
    file.journal = -1;
  }
  if (file.handle >= 0) {
    ::_close(file.handle);
    file.handle = -1;
  }
}

std::int64_t file_length(int handle) {
  LARGE_INTEGER size{};
  if (::GetFileType(os_handle(handle)) != FILE_TYPE_DISK) {
    return 0;
  }
  return ::GetFileSizeEx(os_handle(handle), &size) != 0 ? size.QuadPart : -1;
}

// Holes are not looked for: every byte is read.
std::uint64_t data_after(int /*handle*/, std::uint64_t offset) { return offset; }

bool is_regular_file(int handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileType(os_handle(handle)) == FILE_TYPE_DISK &&
         ::GetFileInformationByHandle(os_handle(handle), &info) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

ReadResult read_at(int handle, std::uint64_t offset, std::span<std::uint8_t> into) {
  std::size_t done = 0;
  while (done < into.size()) {
    OVERLAPPED at = at_offset(offset + done);
    DWORD got = 0;
    const auto size = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1U << 30));
    if (::ReadFile(os_handle(handle), into.data() + done, size, &got, &at) == 0) {
      if (::GetLastError() == ERROR_HANDLE_EOF) {
        break;
      }
      return {ReadStatus::error, done};
    }
    if (got == 0) {
      break;
    }
    done += got;
  }
  count_bytes_read(done);
  return {done == into.size() ? ReadStatus::data : ReadStatus::end, done};
}

std::size_t write_at(int handle, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  const std::size_t size = bytes.size();
  while (!bytes.empty()) {
    OVERLAPPED at = at_offset(offset);
    DWORD written = 0;
    const auto part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 30));
    if (::WriteFile(os_handle(handle), bytes.data(), part, &written, &at) == 0 || written == 0) {
      break;
    }
    bytes = bytes.subspan(written);
    offset += written;
  }
  return size - bytes.size();
}

bool cut_file(int handle, std::uint64_t length) {
  HANDLE file = os_handle(handle);
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    return true;
  }
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
}

void start_flush(int /*handle*/) {}

bool flush_to_disk(int handle) {
  HANDLE file = os_handle(handle);
  return ::GetFileType(file) != FILE_TYPE_DISK || ::FlushFileBuffers(file) != 0;
}

}  // namespace quarnel
