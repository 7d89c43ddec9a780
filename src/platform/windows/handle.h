// The Windows handle behind a C runtime descriptor, and file names for the
// wide-character calls.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <array>

namespace quarnel {

inline HANDLE os_handle(int handle) { return reinterpret_cast<HANDLE>(::_get_osfhandle(handle)); }

// A C runtime descriptor that owns file, or -1 (and file closed) when there
// is none.
inline int descriptor(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) {
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(file);
  }
  return fd;
}

// A path as long as Windows takes one, in UTF-16.
using WidePath = std::array<wchar_t, 32768>;

// The UTF-8 name in UTF-16, for the calls that take paths past 260
// characters (with \\?\, or where long paths are enabled). False when it
// is not UTF-8 or too long.
inline bool widen(const char* name, WidePath& into) {
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, into.data(),
                               static_cast<int>(into.size())) > 0;
}

// Opens name as CreateFileW does; INVALID_HANDLE_VALUE when it cannot.
inline HANDLE open_path(const char* name, DWORD access, DWORD share, DWORD disposition,
                        DWORD flags) {
  static WidePath wide;
  return widen(name, wide)
             ? ::CreateFileW(wide.data(), access, share, nullptr, disposition, flags, nullptr)
             : INVALID_HANDLE_VALUE;
}

}  // namespace quarnel
