// The one table of the layouts: the names that unquarnel --from and
// quarnel-as take, what each reads (a layout and the variants a text may
// still choose among) and what each writes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "quarnel/undump.h"
#include "quarnel/write_layout.h"

namespace quarnel {

struct LayoutName {
  std::string_view name;
  DumpReading reading;
  DumpLayout layout;  // what it reads
  std::uint8_t open;  // the Variant bits a text may still choose among
  WrittenLayout written;
  AddressRadix radix;
  bool little_endian;
  std::string_view options;  // what quarnel-as takes for it, besides -s and -l
};

namespace layout_table {
using detail::Variant;
inline constexpr std::uint8_t any_variant = 0x1F;
inline constexpr std::string_view xxd_options =
    "-c -g -u -e -b -d -o -a --squeeze -E --charset --color --colour";
inline constexpr std::string_view xxd_e_options =
    "-c -g -u -e -d -o -a --squeeze -E --charset --color --colour";
inline constexpr std::string_view od_options = "-A -w -v --charset --color --colour";
}  // namespace layout_table

// The first entry, any, reads every layout and is written by none.
inline constexpr std::array<LayoutName, 15> layout_names = [] {
  using namespace layout_table;
  using D = DumpReading;
  using W = WrittenLayout;
  using R = AddressRadix;
  using L = DumpLayout;
  constexpr std::uint8_t big_hex = Variant::big_endian | Variant::hex_addresses;
  constexpr std::uint8_t little_hex = Variant::little_endian | Variant::hex_addresses;
  constexpr std::uint8_t big_decimal = Variant::big_endian | Variant::decimal_addresses;
  constexpr std::uint8_t little_decimal = Variant::little_endian | Variant::decimal_addresses;
  constexpr std::uint8_t big_octal = Variant::big_endian | Variant::octal_addresses;
  return std::array<LayoutName, 15>{{
      {"any", D::any, L::any, any_variant, W::xxd, R::hex, false, ""},
      {"quarnel", D::quarnel, L::quarnel, any_variant, W::xxd, R::hex, false, ""},
      {"xxd", D::xxd, L::xxd, big_hex, W::xxd, R::hex, false, xxd_options},
      {"xxd-e", D::xxd_e, L::xxd, little_hex, W::xxd, R::hex, true, xxd_e_options},
      {"xxd-d", D::xxd_d, L::xxd, big_decimal, W::xxd, R::decimal, false, xxd_options},
      {"xxd-e-d", D::xxd_e_d, L::xxd, little_decimal, W::xxd, R::decimal, true, xxd_e_options},
      {"xxd-plain", D::xxd_plain, L::xxd_plain, any_variant, W::xxd_plain, R::hex, false,
       "-c --color --colour"},
      {"xxd-c", D::xxd_c, L::xxd_c, any_variant, W::xxd_c, R::hex, false, "-c -n -C"},
      {"hexdump", D::hexdump, L::hexdump, any_variant, W::hexdump, R::hex, false,
       "-v --charset --color --colour"},
      {"od", D::od, L::od, big_octal, W::od, R::octal, false, od_options},
      {"od-d", D::od_d, L::od, big_decimal, W::od, R::decimal, false, od_options},
      {"od-x", D::od_x, L::od, big_hex, W::od, R::hex, false, od_options},
      {"hex", D::hex, L::hex, any_variant, W::hex, R::hex, false, "-c -u --color --colour"},
      {"cpp", D::cpp, L::cpp, any_variant, W::cpp, R::hex, false, "-c -n"},
      {"rust", D::rust, L::rust, any_variant, W::rust, R::hex, false, "-c -n"},
  }};
}();

// The entry of a name; nullptr for any other.
[[nodiscard]] const LayoutName* layout_named(std::string_view name);
// "unknown layout (NAMES): ", the names but any's parted by ", ".
[[nodiscard]] std::string_view unknown_layout_problem();

// The variants a reading leaves open.
[[nodiscard]] std::uint8_t variants_of(DumpReading reading);
// The reading of a layout with these variants.
[[nodiscard]] DumpReading reading_of(DumpLayout layout, std::uint8_t variants);

}  // namespace quarnel
