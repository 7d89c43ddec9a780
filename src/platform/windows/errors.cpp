// The system's reason for a failed call, on Windows.
#include <windows.h>

#include <array>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {

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

}  // namespace quarnel
