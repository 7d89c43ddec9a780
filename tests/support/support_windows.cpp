#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "test_support.h"

namespace quarnel::testing {
namespace {

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// One argument as the C runtime of the child splits its command line:
// quoted, with backslashes doubled before a quote.
void append_quoted(std::string& line, const std::string& arg) {
  line += " \"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
    } else {
      line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
      backslashes = 0;
    }
    line += c;
  }
  line.append(backslashes, '\\');
  line += '"';
}

}  // namespace

int memory_file(std::string_view data) {
  char folder[MAX_PATH];
  char name[MAX_PATH];
  if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "qrn", 0, name) == 0) {
    std::abort();
  }
  HANDLE file = CreateFileA(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  const int fd = file == INVALID_HANDLE_VALUE
                     ? -1
                     : _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (fd < 0 || !write_fd(fd, data)) {
    std::abort();
  }
  rewind_fd(fd);
  return fd;
}

long read_fd(int fd, char* into, std::size_t size) {
  return _read(fd, into, static_cast<unsigned>(std::min<std::size_t>(size, 1U << 30)));
}

void rewind_fd(int fd) { _lseeki64(fd, 0, SEEK_SET); }

void open_pipe(int ends[2]) {
  // A child holding a copy of the writing end would keep the pipe open.
  if (_pipe(ends, 1 << 16, _O_BINARY | _O_NOINHERIT) != 0) {
    std::abort();
  }
}

bool write_fd(int fd, std::string_view data) {
  return _write(fd, data.data(), static_cast<unsigned>(data.size())) ==
         static_cast<int>(data.size());
}

void close_fd(int fd) { _close(fd); }

Outcome run_tool(const std::vector<std::string>& args, const std::string& input, Redirect redirect,
                 const char* program) {
  const int in = redirect.in >= 0 ? redirect.in : memory_file(input);
  const int out = redirect.out >= 0 ? redirect.out : memory_file("");
  const int err = redirect.merge ? out : memory_file("");
  std::string line = "quarnel";
  for (const std::string& arg : args) {
    append_quoted(line, arg);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = handle_of(in);
  startup.hStdOutput = handle_of(out);
  startup.hStdError = handle_of(err);
  // Only the three handles are inherited, and only by this child.
  const auto inherit = [&](DWORD flag) {
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, flag);
    }
  };
  inherit(HANDLE_FLAG_INHERIT);
  PROCESS_INFORMATION process{};
  DWORD status = 127;
  const BOOL started = CreateProcessA(program, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  inherit(0);
  if (started != 0) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  Outcome outcome{redirect.out >= 0 ? "" : contents(out), redirect.merge ? "" : contents(err),
                  static_cast<int>(status)};
  for (const int fd :
       {redirect.in < 0 ? in : -1, redirect.out < 0 ? out : -1, redirect.merge ? -1 : err}) {
    if (fd >= 0) {
      _close(fd);
    }
  }
  return outcome;
}

}  // namespace quarnel::testing
