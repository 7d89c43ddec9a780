// The temporary files that hold what the dumps say, on Windows: removed
// when closed, however the program ends.
#include <array>
#include <string_view>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {

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

}  // namespace quarnel
