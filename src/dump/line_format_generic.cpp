// CPUs without a vector formatter: the portable one alone.
#include "dump/line_format.h"

namespace quarnel {

constexpr PathTable<LineFormatter> formatters_lf =
    path_table<LineFormatter>({{CpuPath::portable, format_lines_portable<LineEnd::lf>}});
constexpr PathTable<LineFormatter> formatters_crlf =
    path_table<LineFormatter>({{CpuPath::portable, format_lines_portable<LineEnd::crlf>}});

}  // namespace quarnel
