// Reading quarnel's dumps back into bytes, with every line checked as the
// unquarnel program checks it: the address, the two blanks after it, each
// byte's two hex digits and its separator, at most 16 bytes a line, each
// line 16 past the one before until a short line or an end line ends a dump
// (the next line may start another). The character column is not read.
// Lines end in LF or CR LF. Nothing here throws or allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quarnel {

struct ReadBack {
  bool ok = false;
  std::size_t size = 0;       // bytes written to out, up to the first bad line
  std::uint32_t address = 0;  // of the first line that holds an address
  std::uint64_t line = 0;     // with an error, the number of the bad line
  std::string_view error;     // with an error, unquarnel's words for it
};

// Room enough in out for the bytes of any text of text_size characters.
[[nodiscard]] std::size_t read_dump_size(std::size_t text_size) noexcept;

// Reads the dump text into out. A UTF-8 byte order mark at its start is
// passed over. On the first bad line it stops, with ok false; the bytes of
// the lines before it are in out. Out shorter than read_dump_size may be
// too short: the line that does not fit is then the error.
[[nodiscard]] ReadBack read_dump(std::string_view text, std::span<std::uint8_t> out) noexcept;

}  // namespace quarnel
