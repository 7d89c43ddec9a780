#include "diff/moves.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "platform/platform.h"

namespace quarnel {
namespace {

// The bytes of each stretch a block is looked for in.
constexpr std::size_t look_size = std::size_t{1} << 16;
// A stretch's marks: the places whose 16 bytes hash with their top bits
// clear, one in 16, kept in a table by their hash. Those of a stretch to
// come are looked up from the stretch at hand.
constexpr unsigned mark_bits = 4;
constexpr int table_bits = 16;
// Marks of the stretch at hand tried against the others, at most.
constexpr std::size_t most_tries = 64;
// After a byte changed in place, the bytes that follow are equal again
// within this many, or the block ends there.
constexpr std::size_t resume_reach = 16;

struct Mark {
  std::uint32_t change = 0;  // the change's number, modulo 2^32
  std::uint16_t offset = 0;  // from the start of the stretch
  std::uint16_t check = 0;   // the hash's low bits
};
static_assert(look_size - match_length < std::size_t{1} << 16, "a mark's offset fits");

std::size_t slot_of(std::uint64_t hash) {
  return static_cast<std::size_t>((hash >> 20U) & ((std::uint64_t{1} << table_bits) - 1));
}

bool is_mark(std::uint64_t hash) { return hash >> (64U - mark_bits) == 0; }

}  // namespace

struct MoveFinder {
  Aligner* aligner = nullptr;
  AlignedFile before{};
  AlignedFile after{};
  std::array<PairedChange, moves_ahead> ring{};
  std::uint64_t popped = 0;  // the changes given so far; the ring holds popped + 1 on
  std::uint64_t pushed = 0;
  AlignStep last = AlignStep::change;  // the aligner's step after the last change held
  // The marks of the old and of the new sides of the changes held.
  std::array<std::array<Mark, std::size_t{1} << table_bits>, 2> marks{};
  std::array<std::uint8_t, look_size> stretch{};
  std::array<std::uint8_t, look_size + resume_reach + match_length> old_bytes{};
  std::array<std::uint8_t, look_size + resume_reach + match_length> new_bytes{};
};

namespace {

MoveFinder finder_storage;

PairedChange& held_change(MoveFinder& finder, std::uint64_t number) {
  return finder.ring[static_cast<std::size_t>((number - 1) % moves_ahead)];
}

// Up to the first look_size bytes of a stretch, none when they cannot be read.
std::span<const std::uint8_t> stretch_bytes(MoveFinder& finder, const AlignedFile& file,
                                            std::uint64_t at, std::uint64_t size) {
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, look_size));
  const auto into = std::span(finder.stretch).first(count);
  const ReadResult got = read_at(file.handle, at, into);
  return got.status == ReadStatus::data && got.count == count ? into
                                                              : std::span<const std::uint8_t>{};
}

void put_marks(MoveFinder& finder, std::size_t side, std::uint64_t number, std::uint64_t at,
               std::uint64_t size) {
  const auto bytes = stretch_bytes(finder, side == 0 ? finder.before : finder.after, at, size);
  for (std::size_t k = 0; k + match_length <= bytes.size(); ++k) {
    const std::uint64_t hash = hash_of(bytes.data() + k);
    if (is_mark(hash) && varied(bytes.subspan(k, match_length))) {
      finder.marks[side][slot_of(hash)] = {static_cast<std::uint32_t>(number),
                                           static_cast<std::uint16_t>(k),
                                           static_cast<std::uint16_t>(hash)};
    }
  }
}

// How far before old_at and new_at the bytes are the same but for changes
// in place, each with equal bytes before it within resume_reach; down to
// limit, and within the 64 KiB before.
std::uint64_t block_back(MoveFinder& finder, std::uint64_t old_at, std::uint64_t new_at,
                         std::uint64_t limit) {
  const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(limit, look_size));
  const auto one = std::span(finder.old_bytes).first(size);
  const auto two = std::span(finder.new_bytes).first(size);
  if (read_at(finder.before.handle, old_at - size, one).count != size ||
      read_at(finder.after.handle, new_at - size, two).count != size) {
    return 0;
  }
  // k bytes before the ends are in the block; the next is one[size - k - 1].
  std::size_t k = 0;
  while (k < size) {
    const std::size_t at = size - k - 1;
    if (one[at] == two[at]) {
      ++k;
      continue;
    }
    // Equal bytes ending within resume_reach before the changed one.
    std::size_t again = 1;
    while (again <= resume_reach &&
           (at < again + match_length - 1 ||
            std::memcmp(one.data() + at - again - match_length + 1,
                        two.data() + at - again - match_length + 1, match_length) != 0)) {
      ++again;
    }
    if (again > resume_reach) {
      break;
    }
    k += again;
  }
  return k;
}

// How far from old_at and new_at the bytes are the same but for changes
// in place, each followed by equal bytes within resume_reach; up to limit.
std::uint64_t block_extent(MoveFinder& finder, std::uint64_t old_at, std::uint64_t new_at,
                           std::uint64_t limit) {
  std::uint64_t done = 0;
  while (done < limit) {
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(limit - done, finder.old_bytes.size()));
    const auto one = std::span(finder.old_bytes).first(size);
    const auto two = std::span(finder.new_bytes).first(size);
    if (read_at(finder.before.handle, old_at + done, one).count != size ||
        read_at(finder.after.handle, new_at + done, two).count != size) {
      return done;
    }
    // Taken to the end of what is read, or to where the look past a
    // change could reach beyond it.
    const std::size_t whole = done + size == limit ? size : size - resume_reach - match_length;
    std::size_t k = 0;
    while (k < whole) {
      if (one[k] == two[k]) {
        ++k;
        continue;
      }
      std::size_t again = k + 1;
      while (again <= k + resume_reach &&
             (again + match_length > size ||
              std::memcmp(one.data() + again, two.data() + again, match_length) != 0)) {
        ++again;
      }
      if (again > k + resume_reach) {
        return done + k;
      }
      k = again;
    }
    done += k;
  }
  return done;
}

// The block that the marked bytes at old_at and new_at start, within
// stretches that start at old_from and new_from and end at old_end and
// new_end; none when it is shorter than shortest_move.
Move block_at(MoveFinder& finder, std::uint64_t old_at, std::uint64_t new_at,
              std::uint64_t old_from, std::uint64_t new_from, std::uint64_t old_end,
              std::uint64_t new_end) {
  const std::uint64_t back =
      block_back(finder, old_at, new_at, std::min(old_at - old_from, new_at - new_from));
  const Move move{old_at - back, new_at - back,
                  block_extent(finder, old_at - back, new_at - back,
                               std::min(old_end - (old_at - back), new_end - (new_at - back)))};
  return move.size >= shortest_move ? move : Move{};
}

// The block that the stretch of side `side` of the change at hand sends to
// or takes from a stretch of a change to come: its marks looked up among
// theirs.
void pair_side(MoveFinder& finder, PairedChange& front, std::size_t side) {
  const Change& change = front.change;
  const std::uint64_t at = side == 0 ? change.old_at : change.new_at;
  const std::uint64_t size = side == 0 ? change.old_size : change.new_size;
  const auto bytes = stretch_bytes(finder, side == 0 ? finder.before : finder.after, at, size);
  std::size_t tries = 0;
  for (std::size_t k = 0; k + match_length <= bytes.size() && tries < most_tries; ++k) {
    const std::uint64_t hash = hash_of(bytes.data() + k);
    if (!is_mark(hash)) {
      continue;
    }
    // A mark of a change still held and after this one.
    const Mark mark = finder.marks[1 - side][slot_of(hash)];
    const auto ahead = static_cast<std::uint32_t>(mark.change - finder.popped);
    if (ahead == 0 || ahead > finder.pushed - finder.popped ||
        mark.check != static_cast<std::uint16_t>(hash)) {
      continue;
    }
    PairedChange& other = held_change(finder, finder.popped + ahead);
    Move& other_block = side == 0 ? other.in : other.out;
    if (other_block.size != 0) {
      continue;
    }
    ++tries;
    const Change& there = other.change;
    const Move move =
        side == 0
            ? block_at(finder, at + k, there.new_at + mark.offset, change.old_at, there.new_at,
                       change.old_at + change.old_size, there.new_at + there.new_size)
            : block_at(finder, there.old_at + mark.offset, at + k, there.old_at, change.new_at,
                       there.old_at + there.old_size, change.new_at + change.new_size);
    if (move.size != 0) {
      other_block = move;
      (side == 0 ? front.out : front.in) = move;
      return;
    }
  }
}

// Whether a change may send a block elsewhere or take one from elsewhere:
// one that moves the bytes after it, with a side long enough.
bool may_move(const Change& change) {
  return change.old_size != change.new_size &&
         (change.old_size >= shortest_move || change.new_size >= shortest_move);
}

void push_change(MoveFinder& finder, const Change& next) {
  const std::uint64_t number = ++finder.pushed;
  held_change(finder, number) = {next, {}, {}};
  if (may_move(next)) {
    if (next.old_size >= shortest_move) {
      put_marks(finder, 0, number, next.old_at, next.old_size);
    }
    if (next.new_size >= shortest_move) {
      put_marks(finder, 1, number, next.new_at, next.new_size);
    }
  }
}

// Takes the aligner's next change into the ring; false when there is none.
bool pull_change(MoveFinder& finder) {
  Change next;
  if (finder.last != AlignStep::change ||
      (finder.last = next_change(*finder.aligner, next)) != AlignStep::change) {
    return false;
  }
  push_change(finder, next);
  return true;
}

}  // namespace

MoveFinder& start_moves(Aligner& aligner, const AlignedFile& before, const AlignedFile& after) {
  MoveFinder& finder = finder_storage;
  finder.aligner = &aligner;
  finder.before = before;
  finder.after = after;
  // The changes' numbers run on from the last pair's, whose marks are
  // then out of range: the tables need no clearing.
  finder.popped = finder.pushed;
  finder.last = AlignStep::change;
  return finder;
}

AlignStep next_paired_change(MoveFinder& finder, PairedChange& change) {
  if (finder.pushed == finder.popped) {
    // Only a change that may hold a block looks ahead: the others go at
    // once, while their bytes are still in the caches.
    Change next;
    if (finder.last != AlignStep::change ||
        (finder.last = next_change(*finder.aligner, next)) != AlignStep::change) {
      return finder.last;
    }
    if (!may_move(next)) {
      change = {next, {}, {}};
      return AlignStep::change;
    }
    push_change(finder, next);
  }
  PairedChange& front = held_change(finder, finder.popped + 1);
  const bool sends = front.out.size == 0 && front.change.old_size >= shortest_move;
  const bool takes = front.in.size == 0 && front.change.new_size >= shortest_move;
  if (may_move(front.change) && (sends || takes)) {
    while (finder.pushed - finder.popped < moves_ahead && pull_change(finder)) {
    }
    ++finder.popped;
    if (sends) {
      pair_side(finder, front, 0);
    }
    if (takes && front.in.size == 0) {
      pair_side(finder, front, 1);
    }
  } else {
    ++finder.popped;
  }
  change = front;
  return AlignStep::change;
}

}  // namespace quarnel
