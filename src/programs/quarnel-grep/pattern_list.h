// quarnel-grep's patterns: the one on the command line, or those of -e and
// -f, parsed and made ready to find.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "front/messages.h"
#include "programs/quarnel-grep/grep_options.h"
#include "search/find.h"
#include "search/find_many.h"

namespace quarnel {

// Reads the patterns the options give into the finders and texts below;
// count is how many. False, having said why, when one is refused.
[[nodiscard]] bool load_patterns(const ProgramText& text, const GrepOptions& options,
                                 std::size_t& count);

// The patterns' finders and, for --with-pattern, their texts.
[[nodiscard]] std::span<const Finder> pattern_finders(std::size_t count);
[[nodiscard]] std::span<const std::string_view> pattern_texts(std::size_t count);

// The patterns' anchors, when there are enough of them to find the
// patterns in one pass; null otherwise.
[[nodiscard]] const FinderGroup* pattern_group();

}  // namespace quarnel
