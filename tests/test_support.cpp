#include "test_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace quarnel::testing {

int memory_file(std::string_view data) {
  const int fd = memfd_create("quarnel-test", MFD_CLOEXEC);
  if (fd < 0 || write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
    std::abort();
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string contents(int fd) {
  std::string text;
  char chunk[65536];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text;
}

Dumped dump_to_string(int input_fd, std::int32_t offset) {
  // Too big for the stack of a fuzzing thread.
  static auto out = std::make_unique<OutputWriter>(OutputWriter{-1});
  out->fd = memory_file("");
  const DumpResult result = dump_stream(input_fd, offset, *out);
  if (!flush_output(*out)) {
    std::abort();
  }
  Dumped dumped{result, contents(out->fd)};
  close(out->fd);
  return dumped;
}

Outcome run_tool(const std::vector<std::string>& args, const std::string& input,
                 Redirect redirect) {
  const int in = redirect.in >= 0 ? redirect.in : memory_file(input);
  const int out = redirect.out >= 0 ? redirect.out : memory_file("");
  const int err = redirect.merge ? out : memory_file("");
  std::vector<char*> argv{const_cast<char*>(QUARNEL_BINARY)};
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(QUARNEL_BINARY, argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(child, &wstatus, 0);
  Outcome outcome{redirect.out >= 0 ? "" : contents(out), redirect.merge ? "" : contents(err),
                  WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus)};
  if (redirect.in < 0) {
    close(in);
  }
  if (redirect.out < 0) {
    close(out);
  }
  if (!redirect.merge) {
    close(err);
  }
  return outcome;
}

}  // namespace quarnel::testing
