// The choice of formatter on CPUs without vector paths: the portable one.
#include "dump/line_format.h"

namespace quarnel {

LineFormatter line_formatter(FormatPath path, LineEnd end) {
  if (path != FormatPath::portable) {
    return nullptr;
  }
  return end == LineEnd::lf ? format_lines_portable<LineEnd::lf>
                            : format_lines_portable<LineEnd::crlf>;
}

FormatPath fastest_format_path() { return FormatPath::portable; }

}  // namespace quarnel
