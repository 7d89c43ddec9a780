// The full-line readers on AArch64: NEON beside the portable one.
#include "undump/line_parse_neon.h"

namespace quarnel {

FullLineParser full_line_parser(CpuPath path, FullLayout layout) {
  using Readers = FullLineParser (*)(FullLayout);
  static constexpr PathTable<Readers> readers = path_table<Readers>({
      {CpuPath::portable, portable_parser},
      {CpuPath::neon, neon_parser},
  });
  const Readers chosen = on_this_cpu(readers, path);
  return chosen != nullptr ? chosen(layout) : nullptr;
}

}  // namespace quarnel
