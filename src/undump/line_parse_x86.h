// The vector readers of full dump lines for x86-64; call each only on a CPU
// that has its instructions.
#pragma once

#include "undump/line_parse.h"

namespace quarnel {

// The readers of each layout's full lines.
FullLineParser ssse3_parser(FullLayout layout);
FullLineParser avx2_parser(FullLayout layout);

}  // namespace quarnel
