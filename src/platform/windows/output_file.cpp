// The output file of unquarnel -o, on Windows: written under a temporary
// name beside it, and moved over the old file only when every byte is in it.
#include <cstdio>
#include <string_view>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {

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
  // A failed flush gives the message its reason.
  file.error = flushed ? 0 : last_error();
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
