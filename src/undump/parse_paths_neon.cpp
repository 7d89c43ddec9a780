// The full-line readers on AArch64: NEON beside the portable one.
#include "cpu/cpu.h"
#include "undump/line_parse_neon.h"

namespace quarnel {

FullLineParser full_line_parser(CpuPath path, FullLayout layout) {
  if (!cpu_runs(path)) {
    return nullptr;
  }
  switch (path) {
    case CpuPath::portable:
      return portable_parser(layout);
    case CpuPath::neon:
      return neon_parser(layout);
    case CpuPath::sse2:
    case CpuPath::ssse3:
    case CpuPath::avx2:
      break;
  }
  return nullptr;
}

}  // namespace quarnel
