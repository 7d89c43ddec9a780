// The scan where no vector scan is written for the CPU: the portable one,
// whose byte search is the C library's.
#include "search/find.h"

namespace quarnel {

MatchScan match_scan(FindPath path) { return path == FindPath::portable ? scan_portable : nullptr; }

FindPath fastest_find_path() { return FindPath::portable; }

}  // namespace quarnel
