// The full-line readers on x86-64: SSSE3 and AVX2 beside the portable one.
#include "undump/line_parse_x86.h"

namespace quarnel {

FullLineParser full_line_parser(CpuPath path, FullLayout layout) {
  using Readers = FullLineParser (*)(FullLayout);
  static constexpr PathTable<Readers> readers = path_table<Readers>({
      {CpuPath::portable, portable_parser},
      {CpuPath::ssse3, ssse3_parser},
      {CpuPath::avx2, avx2_parser},
  });
  const Readers chosen = on_this_cpu(readers, path);
  return chosen != nullptr ? chosen(layout) : nullptr;
}

}  // namespace quarnel
