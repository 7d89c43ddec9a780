// The vector readers of full dump lines for x86-64; call each only on a CPU
// that has its instructions.
#pragma once

#include "undump/line_parse.h"

namespace quarnel {

bool parse_full_line_ssse3(const char* text, DumpLine& line);
bool parse_full_line_avx2(const char* text, DumpLine& line);

}  // namespace quarnel
