// The full-line readers on x86-64: SSSE3 and AVX2 beside the portable one.
#include "cpu/cpu.h"
#include "undump/line_parse_x86.h"

namespace quarnel {

FullLineParser full_line_parser(CpuPath path, FullLayout layout) {
  if (!cpu_runs(path)) {
    return nullptr;
  }
  switch (path) {
    case CpuPath::portable:
      return portable_parser(layout);
    case CpuPath::ssse3:
      return ssse3_parser(layout);
    case CpuPath::avx2:
      return avx2_parser(layout);
    case CpuPath::sse2:
    case CpuPath::neon:
      break;
  }
  return nullptr;
}

}  // namespace quarnel
