// The one place that asks the CPU what it has. Each engine writes its work
// once portably and again with the vector instructions of some CPU
// families, and picks the path to take from what this says.
#pragma once

#include <array>

namespace quarnel {

// A way of doing the work: portable C++, or a family's vector instructions.
enum class CpuPath { portable, sse2, ssse3, avx2, neon };

// The paths, fastest first: an engine takes the first it has and the CPU runs.
inline constexpr std::array<CpuPath, 5> fastest_first{CpuPath::avx2, CpuPath::ssse3, CpuPath::sse2,
                                                      CpuPath::neon, CpuPath::portable};

// Whether this build has the path and this CPU runs it; the CPU is asked
// once. The portable path runs everywhere.
[[nodiscard]] bool cpu_runs(CpuPath path);

// The first of fastest_first that the CPU runs and for which has_path
// gives something.
template <class HasPath>
[[nodiscard]] CpuPath fastest_path(HasPath has_path) {
  for (const CpuPath path : fastest_first) {
    if (cpu_runs(path) && has_path(path)) {
      return path;
    }
  }
  return CpuPath::portable;
}

}  // namespace quarnel
