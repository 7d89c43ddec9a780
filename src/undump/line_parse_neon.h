// The vector reader of full dump lines for AArch64, where every CPU has NEON.
#pragma once

#include "undump/line_parse.h"

namespace quarnel {

// The reader of each layout's full lines.
FullLineParser neon_parser(FullLayout layout);

}  // namespace quarnel
