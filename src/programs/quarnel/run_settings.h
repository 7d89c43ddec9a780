// What the command line asked for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quarnel {

inline constexpr std::size_t max_inputs = 256;

struct RunSettings {
  std::int32_t start_offset = 0;
  // The input names, in command-line order, pointing into the argument vector.
  std::array<const char*, max_inputs> input_names{};
  std::size_t input_count = 0;
  // The first name that did not fit into input_names, or null if all did.
  const char* first_dropped_name = nullptr;
  bool help_requested = false;
};

}  // namespace quarnel
