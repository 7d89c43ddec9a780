// The formatters on x86-64: SSSE3 and AVX2 beside the portable one.
#include "cpu/cpu.h"
#include "dump/line_format.h"
#include "dump/line_format_x86.h"

namespace quarnel {

namespace {

template <LineEnd end>
LineFormatter formatter(CpuPath path) {
  switch (path) {
    case CpuPath::portable:
      return format_lines_portable<end>;
    case CpuPath::ssse3:
      return format_lines_ssse3<end>;
    case CpuPath::avx2:
      return format_lines_avx2<end>;
    case CpuPath::sse2:
    case CpuPath::neon:
      break;
  }
  return nullptr;
}

}  // namespace

LineFormatter line_formatter(CpuPath path, LineEnd end) {
  if (!cpu_runs(path)) {
    return nullptr;
  }
  return end == LineEnd::lf ? formatter<LineEnd::lf>(path) : formatter<LineEnd::crlf>(path);
}

}  // namespace quarnel
