// Lines formatted per second by each formatter this CPU can run.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "dump/line_format.h"

namespace {

using quarnel::CpuPath;

void format_block(benchmark::State& state, CpuPath path) {
  const quarnel::LineFormatter format = quarnel::line_formatter(path);
  if (format == nullptr) {
    state.SkipWithError("this CPU cannot run this path");
    return;
  }
  constexpr std::size_t lines = 4096;
  std::vector<std::uint8_t> data(lines * quarnel::bytes_per_line);
  std::uint32_t seed = 12345;
  for (std::uint8_t& byte : data) {
    seed = seed * 1103515245 + 12345;
    byte = static_cast<std::uint8_t>(seed >> 24);
  }
  std::vector<char> out(lines * quarnel::full_line_length);
  std::uint32_t address = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(format(out.data(), address, data));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

BENCHMARK_CAPTURE(format_block, portable, CpuPath::portable);
BENCHMARK_CAPTURE(format_block, ssse3, CpuPath::ssse3);
BENCHMARK_CAPTURE(format_block, avx2, CpuPath::avx2);
BENCHMARK_CAPTURE(format_block, neon, CpuPath::neon);

}  // namespace

BENCHMARK_MAIN();
