// Writing to standard output and standard error on Windows. Bytes go out
// with WriteFile as they are; the tool writes its own CR LF line ends. A
// console is written in UTF-16, so that names outside ASCII show as typed.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace quarnel {
namespace {

bool write_bytes(HANDLE output, std::string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    const auto size = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1U << 30));
    if (::WriteFile(output, text.data(), size, &written, nullptr) == 0 || written == 0) {
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

bool write_console(HANDLE console, std::string_view text) {
  std::array<wchar_t, 4096> wide{};
  while (!text.empty()) {
    // Whole UTF-8 sequences only: a piece never ends inside a character.
    std::size_t size = std::min(text.size(), wide.size());
    while (size < text.size() && size > wide.size() - 4 && (text[size] & 0xC0) == 0x80) {
      --size;
    }
    const int count = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(size),
                                            wide.data(), static_cast<int>(wide.size()));
    for (DWORD done = 0; done < static_cast<DWORD>(count);) {
      DWORD written = 0;
      if (::WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(count) - done, &written,
                          nullptr) == 0) {
        return false;
      }
      done += written;
    }
    text.remove_prefix(size);
  }
  return true;
}

}  // namespace

void prepare_standard_streams() {
  for (const int fd : {standard_input, standard_output, standard_error}) {
    if (::_get_osfhandle(fd) == -1) {
      // Reading a write-only descriptor fails, and so does the other way
      // round: the stream still fails as a closed one would.
      const int opened = ::_open("NUL", (fd == standard_input ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
      if (opened >= 0 && opened != fd) {
        ::_dup2(opened, fd);
        ::_close(opened);
      }
    }
  }
}

bool write_all(int handle, std::span<const std::string_view> pieces) {
  HANDLE output = os_handle(handle);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(output, &mode) != 0;
  const auto write = [&](std::string_view text) {
    return console ? write_console(output, text) : write_bytes(output, text);
  };
  std::size_t total = 0;
  for (const std::string_view piece : pieces) {
    total += piece.size();
  }
  // A message goes out in one write, so that it stays whole.
  std::array<char, 1024> joined{};
  if (total > joined.size()) {
    return std::all_of(pieces.begin(), pieces.end(), write);
  }
  std::size_t used = 0;
  for (const std::string_view piece : pieces) {
    std::memcpy(joined.data() + used, piece.data(), piece.size());
    used += piece.size();
  }
  return write({joined.data(), used});
}

bool is_terminal(int handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(os_handle(handle), &mode) != 0;
}

std::string_view modification_time(int handle) {
  static std::array<char, 64> text{};
  FILETIME written{};
  if (::GetFileType(os_handle(handle)) != FILE_TYPE_DISK ||
      ::GetFileTime(os_handle(handle), nullptr, nullptr, &written) == 0) {
    ::GetSystemTimePreciseAsFileTime(&written);
  }
  // In UTC: the offset of local time is not asked of the system.
  SYSTEMTIME utc{};
  ::FileTimeToSystemTime(&written, &utc);
  const auto ticks =
      (static_cast<unsigned long long>(written.dwHighDateTime) << 32 | written.dwLowDateTime) %
      10000000ULL;
  const int size =
      std::snprintf(text.data(), text.size(), "%04u-%02u-%02u %02u:%02u:%02u.%07llu00 +0000",
                    utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, ticks);
  return {text.data(), size > 0 ? static_cast<std::size_t>(size) : 0};
}

}  // namespace quarnel
