// The choice of formatter on CPUs without vector paths: the portable one.
#include "dump/line_format.h"

namespace quarnel {

LineFormatter line_formatter(FormatPath path) {
  return path == FormatPath::portable ? format_lines_portable : nullptr;
}

FormatPath fastest_format_path() { return FormatPath::portable; }

}  // namespace quarnel
