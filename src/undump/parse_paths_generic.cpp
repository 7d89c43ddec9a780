// The choice of full-line reader on CPUs without vector ones: the portable one.
#include "undump/line_parse.h"

namespace quarnel {

FullLineParser full_line_parser(ParsePath path, FullLayout layout) {
  return path == ParsePath::portable ? portable_parser(layout) : nullptr;
}

FullLineParser fastest_full_line_parser(FullLayout layout) { return portable_parser(layout); }

}  // namespace quarnel
