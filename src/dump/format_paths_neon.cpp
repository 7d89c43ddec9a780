// The formatters on AArch64: NEON beside the portable one.
#include "dump/line_format_neon.h"

namespace quarnel {

namespace {

template <LineEnd end>
constexpr PathTable<LineFormatter> formatters = path_table<LineFormatter>({
    {CpuPath::portable, format_lines_portable<end>},
    {CpuPath::neon, format_lines_neon<end>},
});

}  // namespace

LineFormatter line_formatter(CpuPath path, LineEnd end) {
  return on_this_cpu(end == LineEnd::lf ? formatters<LineEnd::lf> : formatters<LineEnd::crlf>,
                     path);
}

}  // namespace quarnel
