// Full lines of the other tools' layouts filled with vector shuffles: each
// 16 characters of a line are its planned text with the hex digits and
// characters of its bytes or-ed in, each picked by a shuffle from a vector
// of them. For lines of up to 32 bytes in hex digits and ASCII characters;
// the others are filled a byte at a time. A line's bytes are read in
// blocks of 16, up to 15 past its last: the caller makes sure they can be.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cpu/cpu.h"
#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

inline constexpr std::size_t most_fill_chunks = 9;  // od -w 32's 133 characters
inline constexpr std::size_t most_fill_blocks = 2;  // 16 bytes each

struct FillPlan {
  std::size_t chunks = 0;   // of 16 characters, the last written whole
  std::size_t blocks = 0;   // of 16 bytes, the last read whole
  std::size_t columns = 0;  // bytes a line
  bool upper = false;
  std::size_t size = 0;  // of the line's text
  std::array<std::array<std::uint8_t, 16>, most_fill_chunks> text{};
  // For each chunk and block, where each character comes from: the hex
  // digits of the block's first 8 bytes, of its last 8, and its
  // characters; 0x80 for none.
  std::array<std::array<std::array<std::uint8_t, 16>, 3 * most_fill_blocks>, most_fill_chunks>
      picks{};
};

// The fill plan of a full line that plan describes, if vectors can fill it.
[[nodiscard]] bool make_fill_plan(const WritePlan& plan, std::size_t columns, CharacterSet charset,
                                  FillPlan& fill);

// Writes full lines of fill.columns bytes each, from bytes (which are
// read up to 16 * fill.blocks - fill.columns bytes past the last line),
// and returns the characters written. With addresses, each line starts with
// its address in 8 lower-case hex digits, the first's address, then up by
// a line's bytes, which must stay below 2^32; without, with its text
// alone. Up to 15 characters past the last line may be overwritten.
using LinesFiller = std::size_t (*)(const FillPlan& fill, const unsigned char* bytes,
                                    std::size_t lines, bool addresses, std::uint32_t address,
                                    char* out);

// The filler of a vector path for lines of blocks (1 or 2) of up to 16
// bytes, or nullptr where this build or this CPU has not the path.
[[nodiscard]] LinesFiller lines_filler(CpuPath path, std::size_t blocks);

// The fillers this build has for each vector path, for lines of one block
// and of two, as the CPU family's file lists them.
using Fillers = std::array<LinesFiller, 2>;
extern const PathTable<const Fillers*> line_fillers;
// The fastest filler the CPU has, its path chosen once; nullptr for none.
[[nodiscard]] LinesFiller fastest_lines_filler(std::size_t blocks);

// An address as 8 lower-case hex digits, a word's nibbles spread to its
// bytes and turned into digits at once.
inline void put_hex_address(char* out, std::uint32_t address) {
  std::uint64_t x = address;
  x = (x & 0xFFFF0000U) << 16 | (x & 0xFFFFU);
  x = (x & 0x0000FF000000FF00U) << 8 | (x & 0x000000FF000000FFU);
  x = (x & 0x00F000F000F000F0U) << 4 | (x & 0x000F000F000F000FU);
  // Nibble i is in byte i: 10 and up take 'a' - '0' - 10 more.
  const std::uint64_t letters = ((x + 0x0606060606060606U) >> 4) & 0x0101010101010101U;
  x += 0x3030303030303030U + letters * ('a' - '0' - 10);
  std::array<char, 8> digits{};
  for (std::size_t k = 0; k < 8; ++k) {
    digits[7 - k] = static_cast<char>(x >> (8 * k) & 0xFF);
  }
  std::memcpy(out, digits.data(), 8);
}

// Where a filler puts its lines: each after room for its address, when
// they have one.
struct FilledLines {
  std::size_t before;  // the room for the address
  std::size_t size;    // a line with it
};
[[nodiscard]] inline FilledLines filled_lines(const FillPlan& fill, bool addresses) {
  const std::size_t before = addresses ? 8 : 0;
  return {before, before + fill.size};
}

// Ends the filled lines: puts each one's address in its room (the first's
// address, then up by line_bytes), after the lines' text, since a line's
// whole chunks run into the next one's; returns the characters written.
inline std::size_t end_filled_lines(FilledLines at, char* out, std::size_t lines, bool addresses,
                                    std::uint32_t address, std::size_t line_bytes) {
  for (std::size_t line = 0; addresses && line < lines; ++line) {
    put_hex_address(out + at.size * line, address + static_cast<std::uint32_t>(line_bytes * line));
  }
  return at.size * lines;
}

}  // namespace quarnel
