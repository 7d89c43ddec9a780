// quarnel's dump in {fmt}'s formatting: fmt::format("{}", quarnel::as_dump(bytes))
// gives the lines dump_string gives, fmt::format("{:crlf}", ...) with CR LF.
// Include it where {fmt} is at hand; the library itself does not need it.
#pragma once

#include <fmt/format.h>

#include <array>
#include <cstdint>

#include "quarnel/dump.h"

namespace quarnel {
inline namespace v1 {

// Bytes to be formatted as a dump, with the address of the first.
struct DumpOf {
  ByteView data;
  std::uint32_t address = 0;
};

[[nodiscard]] inline DumpOf as_dump(ByteView data, std::uint32_t address = 0) noexcept {
  return {data, address};
}

}  // namespace v1
}  // namespace quarnel

template <>
struct fmt::formatter<quarnel::DumpOf> {
  quarnel::LineEnd ending = quarnel::LineEnd::lf;

  constexpr auto parse(format_parse_context& context) -> decltype(context.begin()) {
    format_parse_context::iterator it = context.begin();
    constexpr std::array<char, 4> crlf{'c', 'r', 'l', 'f'};
    if (context.end() - it >= 4 && it[0] == crlf[0] && it[1] == crlf[1] && it[2] == crlf[2] &&
        it[3] == crlf[3]) {
      ending = quarnel::LineEnd::crlf;
      it += 4;
    }
    if (it != context.end() && *it != '}') {
      FMT_THROW(format_error("quarnel's dump takes no format but crlf"));
    }
    return it;
  }

  template <class FormatContext>
  auto format(const quarnel::DumpOf& dump, FormatContext& context) const
      -> decltype(context.out()) {
    return quarnel::dump_to(context.out(), dump.data, dump.address, ending);
  }
};
