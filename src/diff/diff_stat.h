// What changed between two files, summed up for a reviewer: the stretches
// inserted, deleted and replaced, largest first; the changes that kept
// their place, grouped by what they do to the little-endian 32-bit value
// that starts at their first changed byte (the offsets a linker fixed up
// after code moved are one group each); then the totals.
#pragma once

#include "diff/write_diff.h"
#include "io/output_writer.h"

namespace quarnel {

// Writes the summary of before and after (nothing when they are the same)
// to out; settings.context plays no part.
[[nodiscard]] DiffOutcome write_diff_stat(const DiffFile& before, const DiffFile& after,
                                          const DiffSettings& settings, OutputWriter& out);

}  // namespace quarnel
