// The formatter on CPUs without vector paths: the portable one.
#include "dump/line_format.h"

namespace quarnel {

LineFormatter line_formatter(CpuPath path, LineEnd end) {
  if (path != CpuPath::portable) {
    return nullptr;
  }
  return end == LineEnd::lf ? format_lines_portable<LineEnd::lf>
                            : format_lines_portable<LineEnd::crlf>;
}

}  // namespace quarnel
