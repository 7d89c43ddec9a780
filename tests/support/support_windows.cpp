#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "platform/platform.h"
#include "test_support.h"

namespace quarnel::testing {

std::string missing_file_reason() { return std::string(error_text(ERROR_FILE_NOT_FOUND)); }

int memory_file(std::string_view data) {
  char folder[MAX_PATH];
  char name[MAX_PATH];
  HANDLE file = INVALID_HANDLE_VALUE;
  if (GetTempPathA(MAX_PATH, folder) != 0 && GetTempFileNameA(folder, "qrn", 0, name) != 0) {
    file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }
  const int fd = file == INVALID_HANDLE_VALUE
                     ? -1
                     : _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (fd < 0 || !write_fd(fd, data)) {
    std::abort();
  }
  rewind_fd(fd);
  return fd;
}

void rewind_fd(int fd) { _lseeki64(fd, 0, SEEK_SET); }

void open_pipe(int ends[2]) {
  if (_pipe(ends, 1 << 16, _O_BINARY | _O_NOINHERIT) != 0) {
    std::abort();
  }
}

int run_process(const char* program, const std::vector<std::string>& args, int in, int out, int err,
                std::uint64_t /*file_size_limit*/, unsigned /*user*/) {
  // The arguments of the tests end in no backslash. One that holds a blank
  // is quoted, a quote inside it escaped; the rest go as they are, so that
  // a test can quote a wildcard itself, or leave it for the program to
  // expand.
  std::string line = "program";
  for (const std::string& arg : args) {
    const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
    if (!quote) {
      line += " " + arg;
      continue;
    }
    line += " \"";
    for (const char c : arg) {
      line += c == '"' ? std::string("\\\"") : std::string(1, c);
    }
    line += "\"";
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  const std::array<HANDLE*, 3> standard{&startup.hStdInput, &startup.hStdOutput,
                                        &startup.hStdError};
  const std::array<int, 3> fds{in, out, err};
  // Only the three handles are inherited, and only by this child.
  for (std::size_t i = 0; i < 3; ++i) {
    *standard[i] = reinterpret_cast<HANDLE>(_get_osfhandle(fds[i]));
    SetHandleInformation(*standard[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  PROCESS_INFORMATION process{};
  DWORD status = 127;
  const BOOL started = CreateProcessA(program, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  for (HANDLE* handle : standard) {
    SetHandleInformation(*handle, HANDLE_FLAG_INHERIT, 0);
  }
  if (started != 0) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return static_cast<int>(status);
}

}  // namespace quarnel::testing
