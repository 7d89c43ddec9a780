// CPUs without a line filler: every line is filled a byte at a time.
#include "dump/layout_fill.h"

namespace quarnel {

constexpr PathTable<const Fillers*> line_fillers{};

}  // namespace quarnel
