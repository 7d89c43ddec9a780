// The names of the readings, as --from takes them, and what each leaves
// open of a layout.
#include <algorithm>
#include <array>

#include "undump/layouts.h"

namespace quarnel {
namespace {

using detail::Variant;

struct NamedReading {
  DumpReading reading;
  std::string_view name;
  DumpLayout layout;
  std::uint8_t open;  // the Variant bits a text may still choose among
};

constexpr std::uint8_t any_variant = 0x1F;
constexpr std::array<NamedReading, 15> named_readings{{
    {DumpReading::any, "any", DumpLayout::any, any_variant},
    {DumpReading::quarnel, "quarnel", DumpLayout::quarnel, any_variant},
    {DumpReading::xxd, "xxd", DumpLayout::xxd, Variant::big_endian | Variant::hex_addresses},
    {DumpReading::xxd_e, "xxd-e", DumpLayout::xxd, Variant::little_endian | Variant::hex_addresses},
    {DumpReading::xxd_d, "xxd-d", DumpLayout::xxd,
     Variant::big_endian | Variant::decimal_addresses},
    {DumpReading::xxd_e_d, "xxd-e-d", DumpLayout::xxd,
     Variant::little_endian | Variant::decimal_addresses},
    {DumpReading::xxd_plain, "xxd-plain", DumpLayout::xxd_plain, any_variant},
    {DumpReading::xxd_c, "xxd-c", DumpLayout::xxd_c, any_variant},
    {DumpReading::hexdump, "hexdump", DumpLayout::hexdump, any_variant},
    {DumpReading::od, "od", DumpLayout::od, Variant::big_endian | Variant::octal_addresses},
    {DumpReading::od_d, "od-d", DumpLayout::od, Variant::big_endian | Variant::decimal_addresses},
    {DumpReading::od_x, "od-x", DumpLayout::od, Variant::big_endian | Variant::hex_addresses},
    {DumpReading::hex, "hex", DumpLayout::hex, any_variant},
    {DumpReading::cpp, "cpp", DumpLayout::cpp, any_variant},
    {DumpReading::rust, "rust", DumpLayout::rust, any_variant},
}};

// The entry of a reading; any's for a value that is none of them.
const NamedReading& named(DumpReading reading) {
  const auto* found =
      std::find_if(named_readings.begin(), named_readings.end(),
                   [&](const NamedReading& entry) { return entry.reading == reading; });
  return found == named_readings.end() ? named_readings[0] : *found;
}

}  // namespace

std::uint8_t variants_of(DumpReading reading) { return named(reading).open; }

DumpReading reading_of(DumpLayout layout, std::uint8_t variants) {
  for (const NamedReading& candidate : named_readings) {
    if (candidate.layout == layout && (candidate.open & variants) == variants) {
      return candidate.reading;
    }
  }
  return DumpReading::any;
}

inline namespace v1 {

DumpLayout reading_layout(DumpReading reading) noexcept { return named(reading).layout; }

std::string_view reading_name(DumpReading reading) noexcept { return named(reading).name; }

DumpReading reading_named(std::string_view name) noexcept {
  const auto* found = std::find_if(named_readings.begin(), named_readings.end(),
                                   [&](const NamedReading& named) { return named.name == name; });
  return found == named_readings.end() ? DumpReading::any : found->reading;
}

}  // namespace v1
}  // namespace quarnel
