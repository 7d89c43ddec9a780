#include "search/glob.h"

#include <cstddef>

namespace quarnel {
namespace {

enum class SetMatch { no, yes, not_a_set };

// Whether byte is in the set that glob[at] ("[") opens; next is set to the
// glob's place after it.
SetMatch in_set(std::string_view glob, std::size_t at, unsigned char byte, std::size_t& next) {
  std::size_t k = at + 1;
  const bool negated = k < glob.size() && (glob[k] == '!' || glob[k] == '^');
  k += negated ? 1 : 0;
  bool found = false;
  // A ] first in the set is one of its bytes.
  for (bool first = true; k < glob.size() && (first || glob[k] != ']'); first = false) {
    if (glob[k] == '\\' && k + 1 < glob.size()) {
      ++k;
    }
    const auto low = static_cast<unsigned char>(glob[k]);
    auto high = low;
    if (k + 2 < glob.size() && glob[k + 1] == '-' && glob[k + 2] != ']') {
      k += 2;
      if (glob[k] == '\\' && k + 1 < glob.size()) {
        ++k;
      }
      high = static_cast<unsigned char>(glob[k]);
    }
    found = found || (byte >= low && byte <= high);
    ++k;
  }
  if (k >= glob.size()) {
    return SetMatch::not_a_set;
  }
  next = k + 1;
  return found != negated ? SetMatch::yes : SetMatch::no;
}

}  // namespace

bool glob_matches(std::string_view glob, std::string_view name) {
  std::size_t g = 0;
  std::size_t n = 0;
  // Where to go back to when a byte does not match: past the last *, with
  // one more byte of the name taken by it.
  std::size_t star = std::string_view::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (g < glob.size() && glob[g] == '*') {
      star = ++g;
      star_name = n;
      continue;
    }
    bool matched = false;
    std::size_t next = g + 1;
    if (g < glob.size()) {
      const char c = glob[g];
      const SetMatch set = c == '[' ? in_set(glob, g, static_cast<unsigned char>(name[n]), next)
                                    : SetMatch::not_a_set;
      if (set != SetMatch::not_a_set) {
        matched = set == SetMatch::yes;
      } else if (c == '\\' && g + 1 < glob.size()) {
        matched = glob[g + 1] == name[n];
        next = g + 2;
      } else {
        matched = c == '?' || c == name[n];
      }
    }
    if (matched) {
      g = next;
      ++n;
    } else if (star != std::string_view::npos) {
      g = star;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (g < glob.size() && glob[g] == '*') {
    ++g;
  }
  return g == glob.size();
}

}  // namespace quarnel
