// The vector line formatters for x86-64. Each formats data.size() / 16 full
// lines exactly as format_lines_portable does; call one only on a CPU that
// has its instructions.
#pragma once

#include "dump/line_format.h"

namespace quarnel {

// The instruction sets are named here too: a template takes its attributes
// from its first declaration.
template <LineEnd end>
__attribute__((target("ssse3"))) char* format_lines_ssse3(char* out, std::uint32_t& address,
                                                          std::span<const std::uint8_t> data);
template <LineEnd end>
__attribute__((target("avx2"))) char* format_lines_avx2(char* out, std::uint32_t& address,
                                                        std::span<const std::uint8_t> data);

}  // namespace quarnel
