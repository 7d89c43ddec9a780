// The full-line reader on CPUs without vector ones: the portable one.
#include "undump/line_parse.h"

namespace quarnel {

FullLineParser full_line_parser(CpuPath path, FullLayout layout) {
  return path == CpuPath::portable ? portable_parser(layout) : nullptr;
}

}  // namespace quarnel
