// The choice of full-line reader on CPUs without vector ones: the portable one.
#include "undump/line_parse.h"

namespace quarnel {

FullLineParser full_line_parser(ParsePath path) {
  return path == ParsePath::portable ? parse_full_line : nullptr;
}

FullLineParser fastest_full_line_parser() { return parse_full_line; }

}  // namespace quarnel
