#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "test_support.h"

namespace quarnel::testing {
namespace {

// Kept from the tool's children: only what they are handed is theirs.
int private_fd(int fd) {
  if (fd < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
    std::abort();
  }
  return fd;
}

}  // namespace

std::string missing_file_reason() { return "no such file or directory"; }

int memory_file(std::string_view data) {
  FILE* file = std::tmpfile();
  const int fd = private_fd(file != nullptr ? dup(fileno(file)) : -1);
  std::fclose(file);
  if (!write_fd(fd, data)) {
    std::abort();
  }
  rewind_fd(fd);
  return fd;
}

void rewind_fd(int fd) { lseek(fd, 0, SEEK_SET); }

void open_pipe(int ends[2]) {
  if (pipe(ends) != 0) {
    std::abort();
  }
  private_fd(ends[0]);
  private_fd(ends[1]);
}

int start_process(const char* program, const std::vector<std::string>& args, int in, int out,
                  int err, std::uint64_t file_size_limit, unsigned user) {
  const std::vector<std::string> words = command_line(program, args);
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (const std::string& word : words) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    // A tool that fed its output back into its input would fill the disk.
    const rlimit file_size{file_size_limit, file_size_limit};
    setrlimit(RLIMIT_FSIZE, &file_size);
    const int streams[3] = {in, out, err};
    for (int fd = 0; fd < 3; ++fd) {
      static_cast<void>(streams[fd] < 0 ? close(fd) : dup2(streams[fd], fd));
    }
    if (user != 0 && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0)) {
      _exit(126);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

int run_process(const char* program, const std::vector<std::string>& args, int in, int out, int err,
                std::uint64_t file_size_limit, unsigned user) {
  int wstatus = 0;
  waitpid(start_process(program, args, in, out, err, file_size_limit, user), &wstatus, 0);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

}  // namespace quarnel::testing
