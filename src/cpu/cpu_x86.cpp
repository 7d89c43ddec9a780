// What an x86-64 CPU has, found out at run time so that one binary runs on
// every x86-64; SSE2 is in every one.
#include <cstdint>

#include "cpu/cpu.h"

namespace quarnel {

bool cpu_runs(CpuPath path) {
  static const unsigned runs = [] {
    __builtin_cpu_init();  // safe to ask even before static constructors have run
    unsigned paths =
        1U << static_cast<unsigned>(CpuPath::portable) | 1U << static_cast<unsigned>(CpuPath::sse2);
    if (__builtin_cpu_supports("ssse3")) {
      paths |= 1U << static_cast<unsigned>(CpuPath::ssse3);
    }
    if (__builtin_cpu_supports("avx2")) {
      paths |= 1U << static_cast<unsigned>(CpuPath::avx2);
    }
    return paths;
  }();
  return (runs >> static_cast<unsigned>(path) & 1U) != 0;
}

}  // namespace quarnel
