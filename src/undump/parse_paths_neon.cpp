// The choice of full-line reader on AArch64: NEON, which every such CPU has.
#include "undump/line_parse_neon.h"

namespace quarnel {

FullLineParser full_line_parser(ParsePath path) {
  switch (path) {
    case ParsePath::portable:
      return parse_full_line;
    case ParsePath::neon:
      return parse_full_line_neon;
    case ParsePath::ssse3:
    case ParsePath::avx2:
      break;
  }
  return nullptr;
}

FullLineParser fastest_full_line_parser() { return parse_full_line_neon; }

}  // namespace quarnel
