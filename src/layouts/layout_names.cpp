// Finding a layout by its name or its reading in the one table.
#include "layouts/layout_names.h"

#include <algorithm>

namespace quarnel {
namespace {

// The entry of a reading; any's for a value that is none of them.
const LayoutName& named(DumpReading reading) {
  const auto* found =
      std::find_if(layout_names.begin(), layout_names.end(),
                   [&](const LayoutName& entry) { return entry.reading == reading; });
  return found == layout_names.end() ? layout_names[0] : *found;
}

// "unknown layout (quarnel, xxd, ...): ", made of the table's names.
constexpr std::string_view opening = "unknown layout (";
constexpr std::string_view closing = "): ";
constexpr std::size_t problem_size = [] {
  std::size_t size = opening.size() + closing.size();
  for (std::size_t i = 1; i < layout_names.size(); ++i) {
    size += layout_names[i].name.size() + (i > 1 ? 2 : 0);
  }
  return size;
}();

constexpr std::array<char, problem_size> problem = [] {
  std::array<char, problem_size> text{};
  std::size_t at = 0;
  const auto put = [&](std::string_view part) {
    for (const char c : part) {
      text[at++] = c;
    }
  };
  put(opening);
  for (std::size_t i = 1; i < layout_names.size(); ++i) {
    put(i > 1 ? ", " : "");
    put(layout_names[i].name);
  }
  put(closing);
  return text;
}();

}  // namespace

const LayoutName* layout_named(std::string_view name) {
  const auto* found = std::find_if(layout_names.begin() + 1, layout_names.end(),
                                   [&](const LayoutName& entry) { return entry.name == name; });
  return found == layout_names.end() ? nullptr : found;
}

std::string_view unknown_layout_problem() { return {problem.data(), problem.size()}; }

std::uint8_t variants_of(DumpReading reading) { return named(reading).open; }

DumpReading reading_of(DumpLayout layout, std::uint8_t variants) {
  for (const LayoutName& candidate : layout_names) {
    if (candidate.layout == layout && (candidate.open & variants) == variants) {
      return candidate.reading;
    }
  }
  return DumpReading::any;
}

inline namespace v1 {

std::string_view layout_name(DumpLayout layout) noexcept {
  const auto* found = std::find_if(layout_names.begin(), layout_names.end(),
                                   [&](const LayoutName& entry) { return entry.layout == layout; });
  return found == layout_names.end() ? layout_names[0].name : found->name;
}

DumpLayout reading_layout(DumpReading reading) noexcept { return named(reading).layout; }

std::string_view reading_name(DumpReading reading) noexcept { return named(reading).name; }

DumpReading reading_named(std::string_view name) noexcept {
  const auto* found = std::find_if(layout_names.begin(), layout_names.end(),
                                   [&](const LayoutName& entry) { return entry.name == name; });
  return found == layout_names.end() ? DumpReading::any : found->reading;
}

}  // namespace v1
}  // namespace quarnel
