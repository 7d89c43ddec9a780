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

bool open_patch_file(const char* name, PatchFile& file) {
  constexpr DWORD access = GENERIC_READ | GENERIC_WRITE;
  // Shared with readers only: another writer, another run among them, is
  // refused while this one holds the file.
  HANDLE opened = open_path(name, access, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (opened == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    opened = open_path(name, access, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    file.created = opened != INVALID_HANDLE_VALUE;
  }
  if (opened == INVALID_HANDLE_VALUE) {
    file.error = last_error();
    file.problem = file.error == ERROR_SHARING_VIOLATION || file.error == ERROR_LOCK_VIOLATION
                       ? FileProblem::in_use
                       : FileProblem::cannot_open;
    return false;
  }
  if (is_stream(opened)) {
    ::CloseHandle(opened);
    file.problem = FileProblem::stream;
    return false;
  }
  const std::string_view path = name;
  if (path.size() >= file.leaf.size()) {
    ::CloseHandle(opened);
    file.problem = FileProblem::cannot_open;
    file.error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  path.copy(file.leaf.data(), path.size());
  file.leaf[path.size()] = '\0';
  file.handle = descriptor(opened);
  file.problem = file.handle < 0 ? FileProblem::cannot_open : FileProblem::none;
  return file.handle >= 0;
}

bool close_patch_file(PatchFile& file, bool keep) {
  if (file.handle >= 0) {
    ::_close(file.handle);
    file.handle = -1;
  }
  static WidePath wide;
  return !file.created || keep ||
         (widen(file.leaf.data(), wide) && ::DeleteFileW(wide.data()) != 0);
}

std::int64_t file_length(int handle) {
  LARGE_INTEGER size{};
  if (::GetFileType(os_handle(handle)) != FILE_TYPE_DISK) {
    return 0;
  }
  return ::GetFileSizeEx(os_handle(handle), &size) != 0 ? size.QuadPart : -1;
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

bool flush_to_disk(int handle) {
  HANDLE file = os_handle(handle);
  return ::GetFileType(file) != FILE_TYPE_DISK || ::FlushFileBuffers(file) != 0;
}

}  // namespace quarnel
