// Opening, reading and skipping inputs on Windows. Inputs are read with
// ReadFile on the descriptor's own handle, so bytes arrive as they are: no
// line-end translation, and 0x1A is data.
#include <algorithm>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {

int open_input(const char* name) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  return descriptor(open_path(name, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN));
}

void close_handle(int handle) { ::_close(handle); }

ReadResult read_block(int handle, std::span<std::uint8_t> into) {
  DWORD got = 0;
  const auto size = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1U << 30));
  if (::ReadFile(os_handle(handle), into.data(), size, &got, nullptr) == 0) {
    // A pipe whose writer has gone has ended, not failed.
    const DWORD error = ::GetLastError();
    return {error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? ReadStatus::end
                                                                    : ReadStatus::error,
            0};
  }
  // A console gives no bytes for an end-of-input key (Ctrl+Z at a line start).
  count_bytes_read(got);
  return got > 0 ? ReadResult{ReadStatus::data, got} : ReadResult{ReadStatus::end, 0};
}

bool may_wait(int handle) { return ::GetFileType(os_handle(handle)) != FILE_TYPE_DISK; }

bool ready_to_read(int handle) {
  HANDLE input = os_handle(handle);
  if (::GetFileType(input) != FILE_TYPE_PIPE) {
    return false;  // a console is typed at: show what is there before waiting
  }
  DWORD available = 0;
  // A pipe that cannot be peeked may yet have to be waited for: the lines
  // done so far go out before the read, which says whether it has ended.
  return ::PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) != 0 && available > 0;
}

bool rewind_file(int handle) {
  const LARGE_INTEGER start{};
  return ::SetFilePointerEx(os_handle(handle), start, nullptr, FILE_BEGIN) != 0;
}

SkipResult skip_by_seeking(int handle, std::uint64_t count) {
  HANDLE input = os_handle(handle);
  LARGE_INTEGER distance{};
  distance.QuadPart = static_cast<LONGLONG>(count) - 1;
  if (::GetFileType(input) != FILE_TYPE_DISK ||
      ::SetFilePointerEx(input, distance, nullptr, FILE_CURRENT) == 0) {
    return SkipResult::unsupported;
  }
  std::uint8_t last = 0;
  DWORD got = 0;
  if (::ReadFile(input, &last, 1, &got, nullptr) == 0) {
    return ::GetLastError() == ERROR_HANDLE_EOF ? SkipResult::too_short : SkipResult::error;
  }
  return got == 1 ? SkipResult::done : SkipResult::too_short;
}

bool is_own_output(int input, int output) {
  BY_HANDLE_FILE_INFORMATION in{};
  BY_HANDLE_FILE_INFORMATION out{};
  return ::GetFileType(os_handle(input)) == FILE_TYPE_DISK &&
         ::GetFileInformationByHandle(os_handle(input), &in) != 0 &&
         ::GetFileInformationByHandle(os_handle(output), &out) != 0 &&
         (in.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         in.dwVolumeSerialNumber == out.dwVolumeSerialNumber &&
         in.nFileIndexHigh == out.nFileIndexHigh && in.nFileIndexLow == out.nFileIndexLow &&
         (in.nFileSizeHigh | in.nFileSizeLow) != 0;
}

}  // namespace quarnel
