// One dump line at a 64-bit address: quarnel's line, byte for byte, whose
// address widens past FFFFFFFF to as many digits as it needs instead of
// wrapping. The programs that show lines of large files out of order (the
// diff's hunks, the search's matches) write their lines through it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "quarnel/line_geometry.h"

namespace quarnel {

// Eight hex digits at least, upper case, as the dumps write an address.
// Returns the number of digits written.
[[nodiscard]] std::size_t address_text(std::uint64_t address, std::span<char, 16> out);

struct FormattedLine {
  std::string_view text;  // the line with its line end
  std::size_t shift = 0;  // the digits its address has past eight: every place moves by as many
  // Room in front for the digits of the widest address, 16.
  std::array<char, line_geometry::longest_line_size + 8> room{};
};

// Makes the line of bytes (16, or fewer for a file's last line, which may
// be none) at address, ended as the platform ends lines, in line.text.
void make_dump_line(std::uint64_t address, std::span<const std::uint8_t> bytes,
                    FormattedLine& line);

}  // namespace quarnel
