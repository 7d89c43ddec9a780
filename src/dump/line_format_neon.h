// The vector line formatter for AArch64, where every CPU has NEON. It formats
// data.size() / 16 full lines exactly as format_lines_portable does.
#pragma once

#include "dump/line_format.h"

namespace quarnel {

template <LineEnd end>
char* format_lines_neon(char* out, std::uint32_t& address, std::span<const std::uint8_t> data);

}  // namespace quarnel
