#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "test_support.h"

namespace quarnel::testing {

int memory_file(std::string_view data) {
  FILE* file = std::tmpfile();
  const int fd = file != nullptr ? dup(fileno(file)) : -1;
  if (file != nullptr) {
    std::fclose(file);
  }
  // Kept from the tool's children: only what they are handed is theirs.
  if (fd < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || !write_fd(fd, data)) {
    std::abort();
  }
  rewind_fd(fd);
  return fd;
}

long read_fd(int fd, char* into, std::size_t size) { return read(fd, into, size); }

void rewind_fd(int fd) { lseek(fd, 0, SEEK_SET); }

void open_pipe(int ends[2]) {
  // A child holding a copy of the writing end would keep the pipe open.
  if (pipe(ends) != 0 || fcntl(ends[0], F_SETFD, FD_CLOEXEC) != 0 ||
      fcntl(ends[1], F_SETFD, FD_CLOEXEC) != 0) {
    std::abort();
  }
}

bool write_fd(int fd, std::string_view data) {
  return write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

void close_fd(int fd) { close(fd); }

Outcome run_tool(const std::vector<std::string>& args, const std::string& input, Redirect redirect,
                 const char* program) {
  const int in = redirect.in >= 0 ? redirect.in : memory_file(input);
  const int out = redirect.out >= 0 ? redirect.out : memory_file("");
  const int err = redirect.merge ? out : memory_file("");
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(program, argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(child, &wstatus, 0);
  Outcome outcome{redirect.out >= 0 ? "" : contents(out), redirect.merge ? "" : contents(err),
                  WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus)};
  for (const int fd :
       {redirect.in < 0 ? in : -1, redirect.out < 0 ? out : -1, redirect.merge ? -1 : err}) {
    if (fd >= 0) {
      close(fd);
    }
  }
  return outcome;
}

}  // namespace quarnel::testing
