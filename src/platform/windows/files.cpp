// Files that unquarnel writes into on Windows: the patched file and a spool
// for standard input.
#include <algorithm>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {

int open_patch_file(const char* name) {
  return descriptor(::CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool write_at(int handle, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    const auto size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 30));
    if (::WriteFile(os_handle(handle), bytes.data(), size, &written, &at) == 0 || written == 0) {
      return false;
    }
    bytes = bytes.subspan(written);
    offset += written;
  }
  return true;
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

bool rewind_file(int handle) {
  return ::SetFilePointerEx(os_handle(handle), LARGE_INTEGER{}, nullptr, FILE_BEGIN) != 0;
}

}  // namespace quarnel
