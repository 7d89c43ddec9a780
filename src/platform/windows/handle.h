// The Windows handle behind a C runtime descriptor.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

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

}  // namespace quarnel
