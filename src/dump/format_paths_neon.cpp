// The choice of formatter on AArch64: NEON, which every such CPU has.
#include "dump/line_format_neon.h"

namespace quarnel {

LineFormatter line_formatter(FormatPath path) {
  switch (path) {
    case FormatPath::portable:
      return format_lines_portable;
    case FormatPath::neon:
      return format_lines_neon;
    case FormatPath::ssse3:
    case FormatPath::avx2:
      break;
  }
  return nullptr;
}

FormatPath fastest_format_path() { return FormatPath::neon; }

}  // namespace quarnel
