// The scan where no vector scan is written for the CPU: the portable one,
// whose byte search is the C library's.
#include "search/find.h"

namespace quarnel {

constexpr PathTable<MatchScan> match_scans =
    path_table<MatchScan>({{CpuPath::portable, scan_portable}});

}  // namespace quarnel
