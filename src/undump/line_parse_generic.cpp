// CPUs without a vector reader of full lines: the portable one alone.
#include "undump/line_parse.h"

namespace quarnel {

constexpr PathTable<FullLineReaders> full_line_readers =
    path_table<FullLineReaders>({{CpuPath::portable, portable_parser}});

}  // namespace quarnel
