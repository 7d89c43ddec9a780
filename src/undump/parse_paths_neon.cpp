// The choice of full-line reader on AArch64: NEON, which every such CPU has.
#include "undump/line_parse_neon.h"

namespace quarnel {

FullLineParser full_line_parser(ParsePath path, FullLayout layout) {
  switch (path) {
    case ParsePath::portable:
      return portable_parser(layout);
    case ParsePath::neon:
      return neon_parser(layout);
    case ParsePath::ssse3:
    case ParsePath::avx2:
      break;
  }
  return nullptr;
}

FullLineParser fastest_full_line_parser(FullLayout layout) { return neon_parser(layout); }

}  // namespace quarnel
