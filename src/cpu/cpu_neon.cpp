// What an AArch64 CPU has: NEON, which every such CPU has.
#include "cpu/cpu.h"

namespace quarnel {

bool cpu_runs(CpuPath path) { return path == CpuPath::portable || path == CpuPath::neon; }

}  // namespace quarnel
