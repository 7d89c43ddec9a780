#include "dump/layout_fill.h"

#include <algorithm>
#include <cstring>

namespace quarnel {

bool make_fill_plan(const WritePlan& plan, std::size_t columns, CharacterSet charset,
                    FillPlan& fill) {
  if (plan.bits || charset != CharacterSet::ascii || columns == 0 ||
      columns > 16 * most_fill_blocks || plan.size > 16 * most_fill_chunks) {
    return false;
  }
  fill.chunks = (plan.size + 15) / 16;
  fill.blocks = (columns + 15) / 16;
  fill.columns = columns;
  fill.upper = plan.upper;
  fill.size = plan.size;
  for (std::size_t chunk = 0; chunk < fill.chunks; ++chunk) {
    fill.text[chunk].fill(0);
    const std::size_t size = std::min<std::size_t>(16, plan.size - 16 * chunk);
    std::memcpy(fill.text[chunk].data(), plan.text.data() + 16 * chunk, size);
    for (std::size_t source = 0; source < 3 * fill.blocks; ++source) {
      fill.picks[chunk][source].fill(0x80);
    }
  }
  const auto pick = [&](std::size_t at, std::size_t source, std::size_t index) {
    fill.text[at / 16][at % 16] = 0;
    fill.picks[at / 16][source][at % 16] = static_cast<std::uint8_t>(index);
  };
  for (std::size_t k = 0; k < columns; ++k) {
    const std::size_t block = k / 16;
    const std::size_t half = k % 16 / 8;
    pick(plan.digits[k], 3 * block + half, 2 * (k % 8));
    pick(plan.digits[k] + 1U, 3 * block + half, 2 * (k % 8) + 1);
    if (plan.chars) {
      pick(plan.places[k], 3 * block + 2, k % 16);
    }
  }
  return true;
}

LinesFiller lines_filler(CpuPath path, std::size_t blocks) {
  const Fillers* fillers = on_this_cpu(line_fillers, path);
  return fillers != nullptr && blocks >= 1 && blocks <= 2 ? (*fillers)[blocks - 1] : nullptr;
}

LinesFiller fastest_lines_filler(std::size_t blocks) {
  static const CpuPath fastest =
      fastest_path([](CpuPath path) { return lines_filler(path, 1) != nullptr; });
  return lines_filler(fastest, blocks);
}

}  // namespace quarnel
