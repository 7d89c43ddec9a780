// Blocks that moved: a stretch the aligner found deleted in one place and
// one it found inserted in another are one block when their bytes are the
// same but for a few changed in place. The changes are looked at a fixed
// number ahead, so memory stays the same whatever the sizes.
#pragma once

#include <cstdint>

#include "diff/align.h"

namespace quarnel {

// size bytes from old_at in the old file stand at new_at in the new one,
// some of them changed in place; size 0 is no block.
struct Move {
  std::uint64_t old_at = 0;
  std::uint64_t new_at = 0;
  std::uint64_t size = 0;
};

// A change, with the block its old side sends elsewhere in the new file
// (out) and the block its new side takes from elsewhere in the old (in).
// Only a change that moves the bytes after it has them.
struct PairedChange {
  Change change;
  Move out;
  Move in;
};

// A block is found when both its copies are this long at least, it starts
// in the first 64 KiB of each stretch, and its other stretch comes within
// the next moves_ahead changes.
inline constexpr std::uint64_t shortest_move = 64;
inline constexpr std::size_t moves_ahead = std::size_t{1} << 14;

struct MoveFinder;

// The finder over an aligner just started on before and after, in static
// storage: one pair of files at a time.
[[nodiscard]] MoveFinder& start_moves(Aligner& aligner, const AlignedFile& before,
                                      const AlignedFile& after);

// The next change, in order, with its blocks; steps as next_change's.
[[nodiscard]] AlignStep next_paired_change(MoveFinder& finder, PairedChange& change);

}  // namespace quarnel
