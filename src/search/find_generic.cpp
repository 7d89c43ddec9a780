// The scan where no vector scan is written for the CPU: the portable one,
// whose byte search is the C library's.
#include "search/find.h"

namespace quarnel {

MatchScan match_scan(CpuPath path) { return path == CpuPath::portable ? scan_portable : nullptr; }

}  // namespace quarnel
