#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "test_support.h"

namespace quarnel::testing {

bool write_fd(int fd, std::string_view data) { return write_all(fd, std::span(&data, 1)); }

std::string read_up_to(int fd, std::size_t size) {
  std::string text;
  std::array<std::uint8_t, 65536> chunk{};
  for (ReadResult got{ReadStatus::data, 0}; text.size() < size && got.status == ReadStatus::data;) {
    got = read_block(fd, std::span(chunk).first(std::min(chunk.size(), size - text.size())));
    text.append(reinterpret_cast<const char*>(chunk.data()), got.count);
  }
  return text;
}

std::string contents(int fd) {
  rewind_fd(fd);
  return read_up_to(fd, SIZE_MAX);
}

std::string unrepeated(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::minstd_rand random(seed);
  for (char& byte : bytes) {
    byte = static_cast<char>(random());
  }
  return bytes;
}

std::string with_line_ends(std::string_view text) {
  std::string result;
  for (const char c : text) {
    result += c == '\n' ? line_end : std::string_view(&c, 1);
  }
  return result;
}

// An output buffer writing to a fresh temporary file; too big for the stack
// of a fuzzing thread.
OutputWriter& fresh_output() {
  static auto out = std::make_unique<OutputWriter>(OutputWriter{-1});
  out->fd = memory_file("");
  return *out;
}

// What went to out, which is then closed.
std::string written(OutputWriter& out) {
  if (!flush_output(out)) {
    std::abort();
  }
  std::string text = contents(out.fd);
  close_handle(out.fd);
  return text;
}

Dumped dump_to_string(int input_fd, std::int32_t offset) {
  OutputWriter& out = fresh_output();
  const DumpResult result = dump_stream(input_fd, offset, out);
  return {result, written(out)};
}

Undumped undump_to_string(std::string_view text) {
  const int input = memory_file(text);
  OutputWriter& out = fresh_output();
  DumpReader reader;
  UndumpResult result = undump_stream(input, reader, out);
  if (const ReadStep end = reader.finish();
      result.status == UndumpStatus::ok && end.error != ReadError::none) {
    result = {UndumpStatus::bad_line, end.error, end.line};
  }
  close_handle(input);
  return {result, written(out)};
}

std::vector<std::string> command_line(const char* program, const std::vector<std::string>& args) {
  std::vector<std::string> words;
  // Empty unless cross-built.
  const std::string_view emulator = QUARNEL_EMULATOR;  // NOLINT(readability-redundant-string-init)
  for (std::size_t at = 0; at < emulator.size();) {
    const std::size_t end = std::min(emulator.find(' ', at), emulator.size());
    words.emplace_back(emulator.substr(at, end - at));
    at = end + 1;
  }
  words.emplace_back(program);
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

Outcome run_tool(const std::vector<std::string>& args, const std::string& input, Redirect redirect,
                 const char* program) {
  const int in = redirect.in != -1 ? redirect.in : memory_file(input);
  const int out = redirect.out != -1 ? redirect.out : memory_file("");
  const int err = redirect.merge ? out : redirect.err != -1 ? redirect.err : memory_file("");
  const int status =
      run_process(program, args, in, out, err, redirect.file_size_limit, redirect.user);
  const bool own_err = !redirect.merge && redirect.err == -1;
  Outcome outcome{redirect.out == -1 ? contents(out) : "", own_err ? contents(err) : "", status};
  for (const int fd :
       {redirect.in == -1 ? in : -1, redirect.out == -1 ? out : -1, own_err ? err : -1}) {
    if (fd >= 0) {
      close_handle(fd);
    }
  }
  return outcome;
}

std::vector<std::uint64_t> reference_matches(const Pattern& pattern, std::string_view data) {
  std::vector<std::uint64_t> found;
  for (std::size_t at = 0; at + pattern.size <= data.size(); ++at) {
    bool all = true;
    for (std::size_t k = 0; k < pattern.size && all; ++k) {
      all = (static_cast<std::uint8_t>(data[at + k]) & pattern.mask[k]) == pattern.value[k];
    }
    if (all) {
      found.push_back(at);
    }
  }
  return found;
}

std::string scratch_name(const std::string& prefix) {
  static std::random_device device;
  for (;;) {
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    const std::filesystem::path name =
        std::filesystem::temp_directory_path() /
        (prefix + std::to_string(ticks ^ (std::uint64_t{device()} << 20U)));
    if (!std::filesystem::exists(name)) {
      return name.generic_string();
    }
  }
}

}  // namespace quarnel::testing
