// Files that unquarnel writes into on Windows: the patched file and its
// temporary files.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string_view>

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

int last_error() { return static_cast<int>(::GetLastError()); }

std::string_view error_text(int error) {
  // The system's words, on one line, with a small first letter to follow a
  // colon.
  static std::array<char, 512> text{};
  DWORD size =
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                       text.data(), static_cast<DWORD>(text.size()), nullptr);
  while (size > 0 && (text[size - 1] == '\n' || text[size - 1] == '\r' || text[size - 1] == '.')) {
    --size;
  }
  if (size == 0) {
    return "unknown error";
  }
  if (text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return {text.data(), size};
}

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

void catch_ending_signals() {
  for (const int number : {SIGINT, SIGTERM, SIGBREAK}) {
    if (std::signal(number, note_signal) == SIG_IGN) {
      std::signal(number, SIG_IGN);
    }
  }
}

int ending_signal() { return caught_signal; }

std::string_view spool_folder() {
  static std::array<char, MAX_PATH + 1> folder{};
  const DWORD size = ::GetTempPathA(static_cast<DWORD>(folder.size()), folder.data());
  return {folder.data(), size};
}

int create_spool_file() {
  char folder[MAX_PATH];
  char name[MAX_PATH];
  if (::GetTempPathA(MAX_PATH, folder) == 0 || ::GetTempFileNameA(folder, "unq", 0, name) == 0) {
    return -1;
  }
  return descriptor(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

namespace {

// The temporary output file, for Ctrl+C or a closed console to remove.
WidePath pending_output;
volatile LONG output_pending = 0;

BOOL WINAPI remove_pending_output(DWORD /*event*/) {
  if (output_pending != 0) {
    ::DeleteFileW(pending_output.data());
  }
  return FALSE;  // the process ends as it would have
}

}  // namespace

bool open_output_file(const char* name, OutputFile& file) {
  static WidePath wide;
  file.problem = FileProblem::cannot_open;
  if (!widen(name, wide)) {
    file.error = ERROR_INVALID_NAME;
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(wide.data());
  HANDLE existing = ::CreateFileW(wide.data(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  const bool device = existing != INVALID_HANDLE_VALUE && ::GetFileType(existing) != FILE_TYPE_DISK;
  if (existing != INVALID_HANDLE_VALUE) {
    ::CloseHandle(existing);
  }
  if (device) {
    file.handle = descriptor(::CreateFileW(wide.data(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    file.error = last_error();
    file.problem = file.handle >= 0 ? FileProblem::none : FileProblem::cannot_open;
    return file.handle >= 0;
  }
  const std::string_view path = name;
  constexpr std::string_view suffix = ".unquarnel-";
  if (path.size() + suffix.size() + 8 >= file.temporary.size()) {
    file.error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  // The folder, for messages.
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view folder = slash == std::string_view::npos ? "." : path.substr(0, slash);
  folder.copy(file.folder_name.data(), folder.size());
  file.folder_name[folder.size()] = '\0';
  path.copy(file.target.data(), path.size());
  file.target[path.size()] = '\0';
  // A name no other run has: the process and a count.
  static unsigned count = 0;
  std::snprintf(file.temporary.data(), file.temporary.size(), "%s%s%lx%x", name, suffix.data(),
                ::GetCurrentProcessId(), count++);
  file.problem = FileProblem::cannot_create;
  if (!widen(file.temporary.data(), pending_output)) {
    file.error = ERROR_INVALID_NAME;
    return false;
  }
  file.handle = descriptor(::CreateFileW(pending_output.data(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                         attributes != INVALID_FILE_ATTRIBUTES
                                             ? attributes & ~FILE_ATTRIBUTE_READONLY
                                             : FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
  if (file.handle < 0) {
    file.error = last_error();
    return false;
  }
  file.problem = FileProblem::none;
  output_pending = 1;
  ::SetConsoleCtrlHandler(remove_pending_output, TRUE);
  file.replaces = true;
  return true;
}

bool commit_output_file(OutputFile& file) {
  const bool flushed = flush_to_disk(file.handle);
  const bool closed = ::_close(file.handle) == 0;
  file.handle = -1;
  if (!file.replaces) {
    return flushed && closed;
  }
  static WidePath target;
  const bool renamed = flushed && closed && widen(file.target.data(), target) &&
                       ::MoveFileExW(pending_output.data(), target.data(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!renamed) {
    if (flushed && closed) {
      file.problem = FileProblem::cannot_replace;
      file.error = last_error();
    }
    ::DeleteFileW(pending_output.data());
  }
  output_pending = 0;
  return renamed;
}

void discard_output_file(OutputFile& file) {
  if (file.handle >= 0) {
    ::_close(file.handle);
    file.handle = -1;
  }
  if (file.replaces) {
    ::DeleteFileW(pending_output.data());
    output_pending = 0;
  }
}

}  // namespace quarnel
