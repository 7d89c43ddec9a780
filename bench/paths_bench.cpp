// Speed of each formatter and full-line reader this CPU can run, against the
// portable ones, and of the library's dump calls, measured in one run. Needs no benchmark library,
// so that a cross build runs it under its emulator too.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "dump/line_format.h"
#include "undump/line_parse.h"

namespace {

using namespace quarnel;

// The best of a few timings of work, in seconds.
template <typename Work>
double best_time(Work work) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  constexpr std::size_t lines = 1 << 16;
  std::vector<std::uint8_t> data(lines * bytes_per_line);
  std::uint32_t seed = 12345;
  for (std::uint8_t& byte : data) {
    seed = seed * 1103515245 + 12345;
    byte = static_cast<std::uint8_t>(seed >> 24);
  }
  std::vector<char> text(dump_size(data.size(), native_line_end));
  std::uint32_t address = 0;
  static_cast<void>(format_dump(data, 0, text, native_line_end));

  const double megabytes = static_cast<double>(data.size()) / 1e6;
  double portable = 0;
  std::printf("%-10s %14s %8s\n", "formatter", "MB/s of input", "ratio");
  for (const CpuPath path : {CpuPath::portable, CpuPath::ssse3, CpuPath::avx2, CpuPath::neon}) {
    const LineFormatter format = line_formatter(path);
    if (format != nullptr) {
      std::vector<char> out(text.size());
      const double seconds = best_time([&] { format(out.data(), address, data); });
      portable = path == CpuPath::portable ? seconds : portable;
      std::printf("%-10s %14.0f %7.2fx\n", cpu_path_names[static_cast<std::size_t>(path)],
                  megabytes / seconds, portable / seconds);
    }
  }
  // The library's calls, which choose the fastest path themselves.
  std::vector<char> out(text.size());
  std::size_t written = 0;
  const double into_buffer = best_time([&] { written = format_dump(data, 0, out); });
  std::string as_string;
  const double into_string = best_time([&] { as_string = dump_string(data); });
  // A log that reuses its string: the room is there after the first time.
  std::string reused;
  const double appended = best_time([&] {
    reused.clear();
    append_dump(reused, data);
  });
  std::printf(
      "library: format_dump into a buffer %.0f MB/s of input, append_dump to a reused string "
      "%.0f MB/s, dump_string %.0f MB/s%s\n",
      megabytes / into_buffer, megabytes / appended, megabytes / into_string,
      written == as_string.size() && reused == as_string ? "" : " (results differ)");
  std::printf("%-10s %14s %8s\n", "reader", "MB/s of text", "ratio");
  for (const CpuPath path : {CpuPath::portable, CpuPath::ssse3, CpuPath::avx2, CpuPath::neon}) {
    const FullLineParser parse = full_line_parser(path);
    if (parse != nullptr) {
      bool all_read = true;
      const double seconds = best_time([&] {
        DumpLine line;
        for (std::size_t i = 0; i < lines; ++i) {
          all_read = parse(text.data() + i * full_line_length, line) && all_read;
        }
      });
      portable = path == CpuPath::portable ? seconds : portable;
      std::printf("%-10s %14.0f %7.2fx%s\n", cpu_path_names[static_cast<std::size_t>(path)],
                  static_cast<double>(text.size()) / 1e6 / seconds, portable / seconds,
                  all_read ? "" : " (refused a line)");
    }
  }
}
