// diff/: what changed between two files: the aligner, and the hunks of
// their dumps.
#include "diff/align.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <span>

#include "platform/platform.h"
#include "quarnel/line_geometry.h"

namespace quarnel {
namespace {

// After a difference, the bytes at the same offsets are tried this far for
// a changed run that moved nothing.
constexpr std::size_t same_shift_reach = 32;
// Then both files are searched near the difference, every offset of each,
// in growing windows; past the largest, through the anchors.
constexpr std::array<std::size_t, 3> near_reaches{256, 4096, 65536};
// The near search's table: a slot for each of 2^17 hashes.
constexpr int near_bits = 17;
// A match counts for this many bytes at most.
constexpr std::size_t strong_match = 1024;
constexpr std::uint64_t line_bytes = line_geometry::bytes_per_line;
// The files' holes are looked for once in this many bytes at most.
constexpr std::uint64_t hole_look_step = std::uint64_t{1} << 24;
constexpr std::size_t window_size = std::size_t{1} << 20;
// An anchor is where the rolling hash of the 64 bytes before has its top
// bits clear; the table keeps the old file's, a slot each.
constexpr std::size_t anchor_span = 64;
constexpr int anchor_bits = 20;
constexpr std::size_t anchor_probes = 8;
constexpr int fingerprint_bits = 24;
constexpr std::uint64_t fingerprint_mask = (std::uint64_t{1} << fingerprint_bits) - 1;
constexpr std::uint64_t smallest_spacing = 1024;
// How far into the new file the anchors are looked up past the first match,
// for one that skips fewer bytes.
constexpr std::uint64_t anchor_scan_more = std::uint64_t{8} << 20;

// The rolling (gear) hash's byte values.
constexpr std::array<std::uint64_t, 256> gear = [] {
  std::array<std::uint64_t, 256> values{};
  std::uint64_t state = 0x2545F4914F6CDD1DULL;
  for (std::uint64_t& value : values) {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t mixed = state;
    mixed = (mixed ^ (mixed >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    mixed = (mixed ^ (mixed >> 27U)) * 0x94D049BB133111EBULL;
    value = mixed ^ (mixed >> 31U);
  }
  return values;
}();

// A file's bytes around an offset, read a window at a time.
struct Window {
  const AlignedFile* file = nullptr;
  std::uint64_t base = 0;
  std::size_t count = 0;
  std::array<std::uint8_t, window_size> bytes{};
};

}  // namespace

struct Aligner {
  AlignedFile before{};
  AlignedFile after{};
  Window old_window;
  Window new_window;
  std::uint64_t old_at = 0;
  std::uint64_t new_at = 0;
  bool same_offsets = false;
  std::uint64_t next_hole_look = 0;  // where the files' holes are looked for next
  bool failed = false;
  int error = 0;
  bool indexed = false;
  std::uint64_t anchor_mask = 0;  // the hash bits an anchor has clear
  std::array<std::uint64_t, std::size_t{1} << anchor_bits> anchors{};
  std::uint32_t generation = 0;
  std::array<std::uint32_t, std::size_t{1} << near_bits> near_at{};
  std::array<std::uint32_t, std::size_t{1} << near_bits> near_generation{};
  std::array<std::uint8_t, window_size> scratch{};
};

namespace {

Aligner aligner_storage;

// Up to want bytes of the file from at, as many as it holds; reads a window
// from at when they are not in the one held.
std::span<const std::uint8_t> view(Aligner& aligner, Window& window, std::uint64_t at,
                                   std::size_t want) {
  const std::uint64_t size = window.file->size;
  const auto wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(want, size - std::min(at, size)));
  if (at < window.base || at + wanted > window.base + window.count) {
    window.base = at;
    window.count = static_cast<std::size_t>(std::min<std::uint64_t>(window_size, size - at));
    const ReadResult got =
        read_at(window.file->handle, at, std::span(window.bytes).first(window.count));
    if (got.status != ReadStatus::data || got.count != window.count) {
      if (!aligner.failed) {
        aligner.error = got.status == ReadStatus::error ? last_error() : 0;
      }
      aligner.failed = true;
      window.count = 0;
      return {};
    }
  }
  return std::span(window.bytes).subspan(static_cast<std::size_t>(at - window.base), wanted);
}

// Where two runs of bytes first differ (their size if nowhere): the first
// piece of 256 that differs, then byte by byte.
std::size_t first_difference(std::span<const std::uint8_t> one, std::span<const std::uint8_t> two) {
  constexpr std::size_t piece = 256;
  std::size_t at = 0;
  while (at + piece <= one.size() && std::memcmp(one.data() + at, two.data() + at, piece) == 0) {
    at += piece;
  }
  while (at < one.size() && one[at] == two[at]) {
    ++at;
  }
  return at;
}

// How many bytes from old_at and new_at are equal, up to limit. Where both
// files have a hole, the bytes are zeros in both and need no reading.
std::uint64_t equal_run(Aligner& aligner, std::uint64_t old_at, std::uint64_t new_at,
                        std::uint64_t limit) {
  constexpr std::size_t step = std::size_t{1} << 16;
  std::uint64_t done = 0;
  while (done < limit && !aligner.failed) {
    if (limit - done >= hole_look_step && old_at + done >= aligner.next_hole_look) {
      const std::uint64_t holes =
          std::min(data_after(aligner.before.handle, old_at + done) - (old_at + done),
                   data_after(aligner.after.handle, new_at + done) - (new_at + done));
      done += std::min(holes, limit - done);
      aligner.next_hole_look = old_at + done + hole_look_step;
      continue;
    }
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(step, limit - done));
    const auto one = view(aligner, aligner.old_window, old_at + done, size);
    const auto two = view(aligner, aligner.new_window, new_at + done, size);
    if (one.size() < size || two.size() < size) {
      break;
    }
    const std::size_t equal = first_difference(one, two);
    done += equal;
    if (equal < size) {
      break;
    }
  }
  return done;
}

// How many bytes before old_end and new_end are equal, down to limit.
std::uint64_t equal_back(Aligner& aligner, std::uint64_t old_end, std::uint64_t new_end,
                         std::uint64_t limit) {
  constexpr std::size_t step = window_size / 2;
  std::uint64_t done = 0;
  while (done < limit) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(step, limit - done));
    const auto one = std::span(aligner.scratch).first(size);
    const auto two = std::span(aligner.scratch).subspan(step, size);
    if (read_at(aligner.before.handle, old_end - done - size, one).status != ReadStatus::data ||
        read_at(aligner.after.handle, new_end - done - size, two).status != ReadStatus::data) {
      aligner.failed = true;
      aligner.error = last_error();
      return done;
    }
    const auto differ = std::mismatch(one.rbegin(), one.rend(), two.rbegin());
    done += static_cast<std::uint64_t>(differ.first - one.rbegin());
    if (differ.first != one.rend()) {
      break;
    }
  }
  return done;
}

struct Found {
  bool found = false;
  std::uint64_t old_skip = 0;  // from the difference to the next shared stretch
  std::uint64_t new_skip = 0;
};

// The slot of the near table for the match_length bytes at at.
std::size_t near_slot(const std::uint8_t* at) {
  return static_cast<std::size_t>(hash_of(at) >> static_cast<unsigned>(64 - near_bits));
}

// Where the bytes that follow a difference at old_at and new_at are shared
// again within reach: every offset of both windows is tried, the same
// offsets first.
Found search_near(Aligner& aligner, std::size_t reach) {
  const auto one = view(aligner, aligner.old_window, aligner.old_at, reach + match_length);
  const auto two = view(aligner, aligner.new_window, aligner.new_at, reach + match_length);
  if (one.size() < match_length || two.size() < match_length) {
    return {};
  }
  const std::size_t old_last = one.size() - match_length;
  const std::size_t new_last = two.size() - match_length;
  const std::uint32_t generation = ++aligner.generation;
  // Backwards, so that the first offset with a hash keeps its slot.
  for (std::size_t i = old_last + 1; i-- > 0;) {
    const std::size_t slot = near_slot(one.data() + i);
    aligner.near_at[slot] = static_cast<std::uint32_t>(i);
    aligner.near_generation[slot] = generation;
  }
  // Each match is weighed by the bytes it keeps matched less the bytes
  // skipped in both files to reach it, as an alignment keeps the most bytes
  // matched over the next stretch: a short match close by stays before a
  // longer one further on, which the next search then finds, and a match
  // far ahead in the old file (code or text that repeats) gives way to one
  // that skips less, however far into the new file it lies.
  const auto run = [&](std::size_t i, std::size_t p) {
    const std::size_t most = std::min({one.size() - i, two.size() - p, strong_match});
    return static_cast<std::size_t>(
        std::mismatch(one.begin() + static_cast<std::ptrdiff_t>(i),
                      one.begin() + static_cast<std::ptrdiff_t>(i + most),
                      two.begin() + static_cast<std::ptrdiff_t>(p))
            .first -
        one.begin() - static_cast<std::ptrdiff_t>(i));
  };
  std::size_t best_run = 0;
  std::size_t best_old = 0;
  std::size_t best_new = 0;
  std::ptrdiff_t best_score = 0;
  // No match at p or beyond scores more than strong_match - p.
  const auto may_beat_best = [&](std::size_t p) {
    return best_run == 0 ||
           static_cast<std::ptrdiff_t>(strong_match) - static_cast<std::ptrdiff_t>(p) > best_score;
  };
  for (std::size_t p = 0; p <= new_last && may_beat_best(p); ++p) {
    std::size_t i = p;
    if (p > old_last || std::memcmp(one.data() + p, two.data() + p, match_length) != 0) {
      const std::size_t slot = near_slot(two.data() + p);
      if (aligner.near_generation[slot] != generation) {
        continue;
      }
      i = aligner.near_at[slot];
      if (std::memcmp(one.data() + i, two.data() + p, match_length) != 0 ||
          !varied(two.subspan(p, match_length))) {
        continue;
      }
    }
    const std::size_t length = run(i, p);
    const std::ptrdiff_t score = static_cast<std::ptrdiff_t>(length) -
                                 static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(p);
    if (best_run == 0 || score > best_score) {
      best_run = length;
      best_old = i;
      best_new = p;
      best_score = score;
    }
  }
  if (best_run == 0) {
    return {};
  }
  std::size_t i = best_old;
  std::size_t q = best_new;
  for (; i > 0 && q > 0 && one[i - 1] == two[q - 1]; --i, --q) {
  }
  return {true, i, q};
}

std::uint64_t anchor_entry(std::uint64_t at, std::uint64_t hash) {
  return (at << fingerprint_bits) | ((hash >> 16U) & fingerprint_mask);
}

std::size_t anchor_slot(std::uint64_t hash) {
  return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ULL) >> (64 - anchor_bits));
}

// Puts the old file's anchors from old_at on into the table, spaced so
// that they fill at most half of it.
void index_old(Aligner& aligner) {
  aligner.indexed = true;
  aligner.anchors.fill(0);
  const std::uint64_t from = aligner.old_at;
  const std::uint64_t size = aligner.before.size;
  std::uint64_t spacing = smallest_spacing;
  while ((size - from) / spacing > aligner.anchors.size() / 2) {
    spacing *= 2;
  }
  int bits = 0;
  for (std::uint64_t s = spacing; s > 1; s /= 2) {
    ++bits;
  }
  aligner.anchor_mask = ~std::uint64_t{0} << static_cast<unsigned>(64 - bits);
  std::uint64_t hash = 0;
  std::uint64_t last = 0;
  for (std::uint64_t at = from; at < size && !aligner.failed;) {
    const auto block = view(aligner, aligner.old_window, at, window_size);
    for (std::size_t k = 0; k < block.size(); ++k) {
      hash = (hash << 1U) + gear[block[k]];
      const std::uint64_t end = at + k + 1;
      if ((hash & aligner.anchor_mask) != 0 || end - from < anchor_span ||
          end - last < spacing / 4 || end >> (64 - fingerprint_bits) != 0) {
        continue;
      }
      last = end;
      const std::size_t home = anchor_slot(hash);
      for (std::size_t probe = 0; probe < anchor_probes; ++probe) {
        std::uint64_t& entry = aligner.anchors[(home + probe) % aligner.anchors.size()];
        if (entry == 0) {
          entry = anchor_entry(end, hash);
          break;
        }
      }
    }
    at += block.size();
    if (block.empty()) {
      break;
    }
  }
}

// The old anchor that the new file's bytes before new_end match, nearest
// to the offsets before the difference; 0 when there is none.
std::uint64_t match_anchor(Aligner& aligner, std::uint64_t hash, std::uint64_t new_end,
                           std::span<const std::uint8_t> new_bytes) {
  const std::size_t home = anchor_slot(hash);
  std::uint64_t best = 0;
  std::uint64_t best_distance = ~std::uint64_t{0};
  const std::uint64_t expected = aligner.old_at + (new_end - aligner.new_at);
  for (std::size_t probe = 0; probe < anchor_probes; ++probe) {
    const std::uint64_t entry = aligner.anchors[(home + probe) % aligner.anchors.size()];
    if (entry == 0) {
      break;
    }
    const std::uint64_t old_end = entry >> fingerprint_bits;
    if ((entry & fingerprint_mask) != ((hash >> 16U) & fingerprint_mask) ||
        old_end < aligner.old_at + anchor_span) {
      continue;
    }
    const auto held = std::span(aligner.scratch).first(anchor_span);
    if (read_at(aligner.before.handle, old_end - anchor_span, held).status != ReadStatus::data ||
        !std::equal(held.begin(), held.end(), new_bytes.begin())) {
      continue;
    }
    const std::uint64_t distance = old_end > expected ? old_end - expected : expected - old_end;
    if (distance < best_distance) {
      best = old_end;
      best_distance = distance;
    }
  }
  return best;
}

// Where the bytes after a difference are shared again anywhere later in
// both files: the new file's anchors looked up in the old file's. Of the
// matches, the one reached with the fewest bytes skipped in both files is
// taken, so that bytes quoted from far ahead in the old file do not pull
// the alignment past everything between; no match further into the new
// file than that skips less, and the scan goes at most anchor_scan_more
// past the first match.
Found search_anchors(Aligner& aligner) {
  if (!aligner.indexed) {
    index_old(aligner);
  }
  std::uint64_t hash = 0;
  const std::uint64_t from = aligner.new_at;
  std::array<std::uint8_t, anchor_span> recent{};
  bool matched = false;
  std::uint64_t best_old = 0;  // where the best match starts in each file
  std::uint64_t best_new = 0;
  std::uint64_t best_skip = 0;
  std::uint64_t stop = aligner.after.size;
  for (std::uint64_t at = from; at < stop && !aligner.failed;) {
    const auto block = view(aligner, aligner.new_window, at, window_size);
    for (std::size_t k = 0; k < block.size() && at + k < stop; ++k) {
      hash = (hash << 1U) + gear[block[k]];
      const std::uint64_t end = at + k + 1;
      recent[(end - 1) % anchor_span] = block[k];
      if ((hash & aligner.anchor_mask) != 0 || end - from < anchor_span) {
        continue;
      }
      std::array<std::uint8_t, anchor_span> bytes{};
      for (std::size_t i = 0; i < anchor_span; ++i) {
        bytes[i] = recent[(end + i) % anchor_span];
      }
      const std::uint64_t old_end = varied(bytes) ? match_anchor(aligner, hash, end, bytes) : 0;
      if (old_end == 0) {
        continue;
      }
      const std::uint64_t skip =
          (old_end - anchor_span - aligner.old_at) + (end - anchor_span - from);
      if (!matched) {
        stop = std::min(stop, end + anchor_scan_more);
      }
      if (!matched || skip < best_skip) {
        matched = true;
        best_old = old_end - anchor_span;
        best_new = end - anchor_span;
        best_skip = skip;
        stop = std::min(stop, from + best_skip + anchor_span);
      }
    }
    at += block.size();
    if (block.empty()) {
      break;
    }
  }
  if (!matched || aligner.failed) {
    return {};
  }
  const std::uint64_t back =
      equal_back(aligner, best_old, best_new, std::min(best_old - aligner.old_at, best_new - from));
  return {true, best_old - back - aligner.old_at, best_new - back - from};
}

}  // namespace

Aligner& start_alignment(const AlignedFile& before, const AlignedFile& after, bool same_offsets) {
  Aligner& aligner = aligner_storage;
  aligner.same_offsets = same_offsets;
  aligner.before = before;
  aligner.after = after;
  aligner.old_window.file = &aligner.before;
  aligner.new_window.file = &aligner.after;
  aligner.old_window.count = 0;
  aligner.new_window.count = 0;
  aligner.old_at = 0;
  aligner.new_at = 0;
  aligner.next_hole_look = 0;
  aligner.failed = false;
  aligner.error = 0;
  aligner.indexed = false;
  return aligner;
}

AlignStep next_change(Aligner& aligner, Change& change) {
  const std::uint64_t old_size = aligner.before.size;
  const std::uint64_t new_size = aligner.after.size;
  const std::uint64_t equal =
      equal_run(aligner, aligner.old_at, aligner.new_at,
                std::min(old_size - aligner.old_at, new_size - aligner.new_at));
  aligner.old_at += equal;
  aligner.new_at += equal;
  if (aligner.failed) {
    return AlignStep::read_error;
  }
  if (aligner.old_at == old_size || aligner.new_at == new_size) {
    return AlignStep::end;
  }
  Found found;
  if (aligner.same_offsets) {
    const std::uint64_t line_stop =
        std::min({(aligner.old_at / line_bytes + 1) * line_bytes, old_size, new_size});
    found = {true, line_stop - aligner.old_at, line_stop - aligner.old_at};
  }
  for (std::size_t d = 1; d <= same_shift_reach && !found.found; ++d) {
    if (aligner.old_at + d + match_length > old_size ||
        aligner.new_at + d + match_length > new_size) {
      break;
    }
    if (equal_run(aligner, aligner.old_at + d, aligner.new_at + d, match_length) == match_length) {
      found = {true, d, d};
    }
  }
  for (const std::size_t reach : near_reaches) {
    if (!found.found) {
      found = search_near(aligner, reach);
    }
  }
  if (!found.found) {
    found = search_anchors(aligner);
  }
  if (aligner.failed) {
    return AlignStep::read_error;
  }
  if (!found.found) {
    return AlignStep::end;
  }
  change = {aligner.old_at, found.old_skip, aligner.new_at, found.new_skip};
  aligner.old_at += found.old_skip;
  aligner.new_at += found.new_skip;
  return AlignStep::change;
}

AlignedEnd aligned_end(const Aligner& aligner) { return {aligner.old_at, aligner.new_at}; }

int align_error(const Aligner& aligner) { return aligner.error; }

}  // namespace quarnel
