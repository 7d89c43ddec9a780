// The vector reader of full dump lines for AArch64, where every CPU has NEON.
#pragma once

#include "undump/line_parse.h"

namespace quarnel {

bool parse_full_line_neon(const char* text, DumpLine& line);

}  // namespace quarnel
