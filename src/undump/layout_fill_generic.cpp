// CPUs without a line filler: every line is filled a byte at a time.
#include "undump/layout_fill.h"

namespace quarnel {

LinesFiller lines_filler(FillPath /*path*/, std::size_t /*blocks*/) { return nullptr; }

LinesFiller fastest_lines_filler(std::size_t /*blocks*/) { return nullptr; }

}  // namespace quarnel
