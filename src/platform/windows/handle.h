// The Windows handle behind a C runtime descriptor.
#pragma once

#include <io.h>
#include <windows.h>

namespace quarnel {

inline HANDLE os_handle(int handle) { return reinterpret_cast<HANDLE>(::_get_osfhandle(handle)); }

}  // namespace quarnel
