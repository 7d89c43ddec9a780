// The choice of formatter on AArch64: NEON, which every such CPU has.
#include "dump/line_format_neon.h"

namespace quarnel {

namespace {

template <LineEnd end>
LineFormatter formatter(FormatPath path) {
  switch (path) {
    case FormatPath::portable:
      return format_lines_portable<end>;
    case FormatPath::neon:
      return format_lines_neon<end>;
    case FormatPath::ssse3:
    case FormatPath::avx2:
      break;
  }
  return nullptr;
}

}  // namespace

LineFormatter line_formatter(FormatPath path, LineEnd end) {
  return end == LineEnd::lf ? formatter<LineEnd::lf>(path) : formatter<LineEnd::crlf>(path);
}

FormatPath fastest_format_path() { return FormatPath::neon; }

}  // namespace quarnel
