// The choice of full-line reader on x86-64: AVX2 or SSSE3 when the CPU has
// them, found out at run time.
#include "undump/line_parse_x86.h"

namespace quarnel {

FullLineParser full_line_parser(ParsePath path, FullLayout layout) {
  __builtin_cpu_init();
  switch (path) {
    case ParsePath::portable:
      return portable_parser(layout);
    case ParsePath::ssse3:
      return __builtin_cpu_supports("ssse3") ? ssse3_parser(layout) : nullptr;
    case ParsePath::avx2:
      return __builtin_cpu_supports("avx2") ? avx2_parser(layout) : nullptr;
    case ParsePath::neon:
      break;
  }
  return nullptr;
}

FullLineParser fastest_full_line_parser(FullLayout layout) {
  for (const ParsePath path : {ParsePath::avx2, ParsePath::ssse3}) {
    if (const FullLineParser parser = full_line_parser(path, layout); parser != nullptr) {
      return parser;
    }
  }
  return portable_parser(layout);
}

}  // namespace quarnel
