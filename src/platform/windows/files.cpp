// Files that unquarnel writes into on Windows: the patched file and its
// temporary files.
#include <algorithm>
#include <csignal>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {
namespace {

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void note_signal(int number) {
  if (caught_signal == 0) {
    caught_signal = number;
  }
  // The C runtime resets a handler once it has run.
  std::signal(number, note_signal);
}

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
  HANDLE file = ::CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool stream = is_stream(file);
  ::CloseHandle(file);
  return stream;
}

bool is_pipe_or_terminal(int handle) { return is_stream(os_handle(handle)); }

PatchFile open_patch_file(const char* name) {
  constexpr DWORD access = GENERIC_READ | GENERIC_WRITE;
  HANDLE file = ::CreateFileA(name, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  bool created = false;
  if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    file = ::CreateFileA(name, access, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
    created = file != INVALID_HANDLE_VALUE;
  }
  return {descriptor(file), created};
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

bool remove_file(const char* name) { return ::DeleteFileA(name) != 0; }

void catch_stop_signals() {
  for (const int number : {SIGINT, SIGTERM, SIGBREAK}) {
    if (std::signal(number, note_signal) == SIG_IGN) {
      std::signal(number, SIG_IGN);
    }
  }
}

int stop_signal() { return caught_signal; }

int create_spool_file() {
  char folder[MAX_PATH];
  char name[MAX_PATH];
  if (::GetTempPathA(MAX_PATH, folder) == 0 || ::GetTempFileNameA(folder, "unq", 0, name) == 0) {
    return -1;
  }
  return descriptor(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

}  // namespace quarnel
