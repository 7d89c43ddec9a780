// The choice of full-line reader on x86-64: SSSE3 when the CPU has it.
#include "undump/line_parse_x86.h"

namespace quarnel {

FullLineParser fastest_full_line_parser() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") ? parse_full_line_ssse3 : parse_full_line;
}

}  // namespace quarnel
