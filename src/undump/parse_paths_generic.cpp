// The choice of full-line reader on CPUs without a vector one.
#include "undump/line_parse.h"

namespace quarnel {

FullLineParser fastest_full_line_parser() { return parse_full_line; }

}  // namespace quarnel
