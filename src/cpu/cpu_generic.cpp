// What a CPU without vector paths of ours has: the portable path.
#include "cpu/cpu.h"

namespace quarnel {

bool cpu_runs(CpuPath path) { return path == CpuPath::portable; }

}  // namespace quarnel
