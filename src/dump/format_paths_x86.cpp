// The formatters on x86-64: SSSE3 and AVX2 beside the portable one.
#include "dump/line_format_x86.h"

namespace quarnel {

namespace {

template <LineEnd end>
constexpr PathTable<LineFormatter> formatters = path_table<LineFormatter>({
    {CpuPath::portable, format_lines_portable<end>},
    {CpuPath::ssse3, format_lines_ssse3<end>},
    {CpuPath::avx2, format_lines_avx2<end>},
});

}  // namespace

LineFormatter line_formatter(CpuPath path, LineEnd end) {
  return on_this_cpu(end == LineEnd::lf ? formatters<LineEnd::lf> : formatters<LineEnd::crlf>,
                     path);
}

}  // namespace quarnel
