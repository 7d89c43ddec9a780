// The one place that asks the CPU what it has. Each engine writes its work
// once portably and again with the vector instructions of some CPU
// families, and picks the path to take from what this says.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <utility>

namespace quarnel {

// A way of doing the work: portable C++, or a family's vector instructions.
enum class CpuPath { portable, sse2, ssse3, avx2, neon };

// Their names, in the order of CpuPath.
inline constexpr std::array<const char*, 5> cpu_path_names{"portable", "sse2", "ssse3", "avx2",
                                                           "neon"};

// The paths, fastest first: an engine takes the first it has and the CPU runs.
inline constexpr std::array<CpuPath, 5> fastest_first{CpuPath::avx2, CpuPath::ssse3, CpuPath::sse2,
                                                      CpuPath::neon, CpuPath::portable};

// Whether this build has the path and this CPU runs it; the CPU is asked
// once. The portable path runs everywhere.
[[nodiscard]] bool cpu_runs(CpuPath path);

// What an engine has for each path (a function, nullptr for none), as a
// CPU family's file lists it.
template <class T>
using PathTable = std::array<T, 5>;

template <class T>
[[nodiscard]] constexpr PathTable<T> path_table(std::initializer_list<std::pair<CpuPath, T>> has) {
  PathTable<T> table{};
  for (const auto& [path, what] : has) {
    table[static_cast<std::size_t>(path)] = what;
  }
  return table;
}

// What the table has for path, where this CPU runs it; nullptr otherwise.
template <class T>
[[nodiscard]] T on_this_cpu(const PathTable<T>& table, CpuPath path) {
  return cpu_runs(path) ? table[static_cast<std::size_t>(path)] : nullptr;
}

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
