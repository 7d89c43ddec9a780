// The formatters on AArch64: NEON beside the portable one.
#include "cpu/cpu.h"
#include "dump/line_format_neon.h"

namespace quarnel {

namespace {

template <LineEnd end>
LineFormatter formatter(CpuPath path) {
  switch (path) {
    case CpuPath::portable:
      return format_lines_portable<end>;
    case CpuPath::neon:
      return format_lines_neon<end>;
    case CpuPath::sse2:
    case CpuPath::ssse3:
    case CpuPath::avx2:
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
