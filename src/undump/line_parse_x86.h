// The vector reader of full dump lines for x86-64; call it only on a CPU
// that has SSSE3.
#pragma once

#include "undump/line_parse.h"

namespace quarnel {

bool parse_full_line_ssse3(const char* text, DumpLine& line);

}  // namespace quarnel
