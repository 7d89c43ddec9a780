#include "diff/diff_stat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>
#include <string_view>

#include "diff/align.h"
#include "diff/diff_colors.h"
#include "diff/moves.h"
#include "io/dump_line.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

constexpr std::size_t most_stretches = 20;
constexpr std::size_t most_groups = 19;
// The groups of changes in place a summary can tell apart; a change whose
// group finds no slot is counted among the others.
constexpr std::size_t group_slots = 4096;
constexpr std::size_t group_probes = 16;
// The widest value a change in place is read as.
constexpr std::uint64_t value_bytes = 8;
constexpr std::size_t piece_size = std::size_t{1} << 16;

enum class Kind : std::uint8_t { inserted, deleted, replaced, moved };
constexpr std::size_t kinds = 4;

// A stretch inserted, deleted, replaced or moved: a move's size is on both
// sides.
struct Stretch {
  Change change;
  Kind kind = Kind::inserted;
};

struct Group {
  std::uint64_t count = 0;  // none: the slot is free
  std::uint64_t delta = 0;  // what the change adds to the value, sign-extended to 64 bits
  std::uint8_t width = 0;   // the value's bytes: 2, 4 or 8, fewer at the files' end
  std::uint64_t first = 0;  // the old file's address of the first change and end of the last
  std::uint64_t end = 0;
};

struct Tally {
  std::array<Stretch, most_stretches> largest{};  // largest first, the earlier first among equals
  std::size_t held = 0;
  std::array<std::uint64_t, kinds> stretches{};  // how many of each kind
  std::array<std::uint64_t, kinds> old_bytes{};  // and their bytes on each side
  std::array<std::uint64_t, kinds> new_bytes{};
  std::uint64_t stretch_bytes = 0;  // each stretch's larger side, summed
  std::array<Group, group_slots> groups{};
  std::uint64_t changes = 0;  // changes in place, and their changed bytes
  std::uint64_t changed_bytes = 0;
  std::array<std::uint8_t, piece_size + value_bytes> old_piece{};
  std::array<std::uint8_t, piece_size + value_bytes> new_piece{};
};

// At namespace scope: too large for a thread's stack.
Tally tally_storage;

Kind kind_of(const Change& change) {
  if (change.old_size == 0) {
    return Kind::inserted;
  }
  return change.new_size == 0 ? Kind::deleted : Kind::replaced;
}

std::uint64_t size_of(const Stretch& stretch) {
  return std::max(stretch.change.old_size, stretch.change.new_size);
}

void count_stretch(Tally& tally, const Stretch& stretch) {
  const auto kind = static_cast<std::size_t>(stretch.kind);
  ++tally.stretches[kind];
  tally.old_bytes[kind] += stretch.change.old_size;
  tally.new_bytes[kind] += stretch.change.new_size;
  tally.stretch_bytes += size_of(stretch);
  Stretch* const held = tally.largest.data() + tally.held;
  Stretch* const place = std::find_if(tally.largest.data(), held, [&](const Stretch& other) {
    return size_of(other) < size_of(stretch);
  });
  Stretch* const last = tally.largest.data() + tally.largest.size();
  if (place == last) {
    return;
  }
  std::copy_backward(place, std::min(held, last - 1), std::min(held + 1, last));
  *place = stretch;
  tally.held = std::min(tally.held + 1, tally.largest.size());
}

void count_in_place(Tally& tally, std::uint64_t at, std::uint64_t delta, std::uint8_t width,
                    std::uint64_t changed) {
  ++tally.changes;
  tally.changed_bytes += changed;
  const auto home = static_cast<std::size_t>(
      ((delta * 0x9E3779B97F4A7C15ULL) ^ width) * 0xC2B2AE3D27D4EB4FULL >> 52U);
  for (std::size_t probe = 0; probe < group_probes; ++probe) {
    Group& group = tally.groups[(home + probe) % group_slots];
    if (group.count == 0) {
      group = {0, delta, width, at, at};
    }
    if (group.delta == delta && group.width == width) {
      ++group.count;
      group.end = at + width;
      return;
    }
  }
}

// The changes in place within a change that kept its length: from each
// differing byte on, the value of the narrowest width, 2, 4 or 8 bytes,
// that holds the differing bytes in a row there (an addition changes no
// byte above its carry), and what the change added to it. False when a
// file could not be read.
bool count_changed_values(Tally& tally, const DiffFile& before, const DiffFile& after,
                          const Change& change, bool equal_after) {
  std::uint64_t covered = change.old_at;  // the old file's bytes before this are counted
  for (std::uint64_t done = 0; done < change.old_size;) {
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(piece_size, change.old_size - done));
    const std::uint64_t old_at = change.old_at + done;
    const std::uint64_t new_at = change.new_at + done;
    // The bytes after a change the aligner found are equal in both, up to
    // the shorter end; those after a moved block may not be.
    const auto past = static_cast<std::size_t>(
        std::min<std::uint64_t>({equal_after ? value_bytes : 0, before.size - (old_at + size),
                                 after.size - (new_at + size)}));
    const auto one = std::span(tally.old_piece).first(size + past);
    const auto two = std::span(tally.new_piece).first(size + past);
    if (read_at(before.handle, old_at, one).status != ReadStatus::data ||
        read_at(after.handle, new_at, two).status != ReadStatus::data) {
      return false;
    }
    for (std::size_t k = 0; k < size; ++k) {
      if (old_at + k < covered || one[k] == two[k]) {
        continue;
      }
      std::size_t run = 1;
      while (run < value_bytes && k + run < size && one[k + run] != two[k + run]) {
        ++run;
      }
      const std::size_t width = std::min<std::size_t>(run <= 2   ? 2
                                                      : run <= 4 ? 4
                                                                 : 8,
                                                      one.size() - k);
      std::uint64_t old_value = 0;
      std::uint64_t new_value = 0;
      for (std::size_t b = width; b-- > 0;) {
        old_value = (old_value << 8U) | one[k + b];
        new_value = (new_value << 8U) | two[k + b];
      }
      // The difference in the value's own width, its sign carried up. A
      // value of fewer bytes at the files' end is read from its own bytes.
      const unsigned bits = 8U * static_cast<unsigned>(std::max<std::size_t>(width, 1));
      const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
      const std::uint64_t mask = sign | (sign - 1);
      const std::uint64_t delta = (((new_value - old_value) & mask) ^ sign) - sign;
      count_in_place(tally, old_at + k, delta, static_cast<std::uint8_t>(width), run);
      covered = old_at + k + width;
    }
    done += size;
  }
  return true;
}

struct Writer {
  OutputWriter& out;
  bool color;

  void put(std::string_view text) { put_output(out, text); }

  void put_number(std::uint64_t number) {
    std::array<char, 24> digits{};
    const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
    put(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
  }

  void put_count(std::uint64_t number, std::string_view one, std::string_view many) {
    put_number(number);
    put(number == 1 ? one : many);
  }

  void put_address(std::uint64_t address) {
    std::array<char, 16> digits{};
    put(std::string_view(digits.data(), address_text(address, digits)));
  }

  void put_hex(std::uint64_t value) {
    std::array<char, 16> digits{};
    const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    put("0x");
    for (const char* digit = digits.data(); digit != end; ++digit) {
      const char upper = *digit >= 'a' ? static_cast<char>(*digit - 'a' + 'A') : *digit;
      put(std::string_view(&upper, 1));
    }
  }

  void start_line(std::string_view line_color) {
    if (color) {
      put(line_color);
    }
  }

  void end_line() {
    if (color) {
      put(diff_colors::plain);
    }
    put(line_end);
  }

  void title(std::string_view text) {
    start_line(diff_colors::header);
    put(text);
    end_line();
  }

  void stretch(const Stretch& stretch) {
    const Kind kind = stretch.kind;
    const Change& change = stretch.change;
    start_line(kind == Kind::inserted  ? diff_colors::added
               : kind == Kind::deleted ? diff_colors::deleted
                                       : diff_colors::hunk);
    put("  ");
    put_count(kind == Kind::inserted ? change.new_size : change.old_size, " byte", " bytes");
    if (kind == Kind::moved) {
      put(" moved from ");
      put_address(change.old_at);
      put(" to ");
      put_address(change.new_at);
      end_line();
      return;
    }
    if (kind == Kind::replaced) {
      put(" replaced by ");
      put_count(change.new_size, " byte", " bytes");
    } else {
      put(kind == Kind::inserted ? " inserted" : " deleted");
    }
    put(" at ");
    put_address(change.old_at);
    put(" in the old file, ");
    put_address(change.new_at);
    put(" in the new");
    end_line();
  }

  void group(const Group& group) {
    start_line(diff_colors::hunk);
    put("  ");
    put_count(group.count, " change of ", " changes of ");
    put_count(group.width, " byte", " bytes");
    if ((group.delta >> 63U) != 0) {
      put(group.count == 1 ? " that subtracts " : " that subtract ");
      put_hex(~group.delta + 1);
    } else {
      put(group.count == 1 ? " that adds " : " that add ");
      put_hex(group.delta);
    }
    put(", from ");
    put_address(group.first);
    put(" to ");
    put_address(group.end);
    end_line();
  }
};

void write_summary(Tally& tally, const DiffFile& before, const DiffFile& after, Writer& writer) {
  if (tally.held > 0) {
    writer.title("inserted, deleted, replaced or moved, largest first (old and new addresses):");
    for (std::size_t i = 0; i < tally.held; ++i) {
      writer.stretch(tally.largest[i]);
    }
    std::uint64_t more = tally.stretches[0] + tally.stretches[1] + tally.stretches[2] +
                         tally.stretches[3] - tally.held;
    std::uint64_t more_bytes = tally.stretch_bytes;
    for (std::size_t i = 0; i < tally.held; ++i) {
      more_bytes -= size_of(tally.largest[i]);
    }
    if (more > 0) {
      writer.put("  and ");
      writer.put_count(more, " more, ", " more, ");
      writer.put_count(more_bytes, " byte", " bytes");
      writer.put(line_end);
    }
  }
  if (tally.changes > 0) {
    writer.title("changed in place, by what they do to a little-endian 16-, 32- or 64-bit value:");
    // The largest groups to the front, the earlier first among equals.
    std::sort(tally.groups.begin(), tally.groups.end(), [](const Group& one, const Group& two) {
      return one.count != two.count ? one.count > two.count : one.first < two.first;
    });
    std::uint64_t shown = 0;
    for (std::size_t i = 0; i < most_groups && tally.groups[i].count > 1; ++i) {
      writer.group(tally.groups[i]);
      shown += tally.groups[i].count;
    }
    if (shown < tally.changes) {
      writer.put("  ");
      writer.put_count(tally.changes - shown, shown == 0 ? " change" : " other change",
                       shown == 0 ? " changes" : " other changes");
      writer.put(line_end);
    }
  }
  writer.title("in all:");
  constexpr std::array<std::array<std::string_view, 2>, kinds> names{
      {{" insertion", " insertions"},
       {" deletion", " deletions"},
       {" replacement", " replacements"},
       {" move", " moves"}}};
  for (std::size_t kind = 0; kind < kinds; ++kind) {
    writer.put("  ");
    writer.put_count(tally.stretches[kind], names[kind][0], names[kind][1]);
    if (tally.stretches[kind] == 0) {
      writer.put(line_end);
      continue;
    }
    writer.put(", ");
    if (kind == static_cast<std::size_t>(Kind::inserted)) {
      writer.put_count(tally.new_bytes[kind], " byte", " bytes");
    } else {
      writer.put_count(tally.old_bytes[kind], " byte", " bytes");
    }
    if (kind == static_cast<std::size_t>(Kind::replaced)) {
      writer.put(" by ");
      writer.put_count(tally.new_bytes[kind], " byte", " bytes");
    }
    writer.put(line_end);
  }
  writer.put("  ");
  writer.put_count(tally.changes, " change in place, ", " changes in place, ");
  writer.put_count(tally.changed_bytes, " byte changed", " bytes changed");
  writer.put(line_end);
  writer.put("  ");
  writer.put_count(before.size, " byte in the old file, ", " bytes in the old file, ");
  writer.put_count(after.size, " byte in the new", " bytes in the new");
  writer.put(line_end);
}

}  // namespace

DiffOutcome write_diff_stat(const DiffFile& before, const DiffFile& after,
                            const DiffSettings& settings, OutputWriter& out) {
  Tally& tally = tally_storage;
  tally.held = 0;
  tally.stretches = {};
  tally.old_bytes = {};
  tally.new_bytes = {};
  tally.stretch_bytes = 0;
  tally.groups.fill({});
  tally.changes = 0;
  tally.changed_bytes = 0;
  Aligner& aligner = start_alignment({before.handle, before.size}, {after.handle, after.size},
                                     settings.same_offsets);
  MoveFinder& moves =
      start_moves(aligner, {before.handle, before.size}, {after.handle, after.size});
  bool any = false;
  PairedChange paired;
  const Change& change = paired.change;
  AlignStep step = AlignStep::change;
  while ((step = next_paired_change(moves, paired)) == AlignStep::change) {
    any = true;
    if (change.old_size == change.new_size) {
      if (!count_changed_values(tally, before, after, change, true)) {
        return {DiffResult::read_error, last_error()};
      }
      continue;
    }
    // A block that moved is counted where it leaves, with the changes in
    // place it holds; what else the change did is a stretch of its own.
    const Move& block = paired.out;
    if (block.size != 0) {
      const Change moved{block.old_at, block.size, block.new_at, block.size};
      count_stretch(tally, {moved, Kind::moved});
      if (!count_changed_values(tally, before, after, moved, false)) {
        return {DiffResult::read_error, last_error()};
      }
    }
    // What the change did besides, where it starts: after a block that
    // starts the change's side.
    const auto rest_at = [](std::uint64_t at, std::uint64_t block_at, std::uint64_t size) {
      return size != 0 && block_at == at ? at + size : at;
    };
    const Change rest{
        rest_at(change.old_at, block.old_at, block.size), change.old_size - block.size,
        rest_at(change.new_at, paired.in.new_at, paired.in.size), change.new_size - paired.in.size};
    if (rest.old_size != 0 || rest.new_size != 0) {
      count_stretch(tally, {rest, kind_of(rest)});
    }
  }
  if (step == AlignStep::read_error) {
    return {DiffResult::read_error, align_error(aligner)};
  }
  // The files' different tails.
  const AlignedEnd end = aligned_end(aligner);
  const Change tail{end.old_at, before.size - end.old_at, end.new_at, after.size - end.new_at};
  if (tail.old_size != 0 || tail.new_size != 0) {
    any = true;
    if (tail.old_size != tail.new_size) {
      count_stretch(tally, {tail, kind_of(tail)});
    } else if (!count_changed_values(tally, before, after, tail, true)) {
      return {DiffResult::read_error, last_error()};
    }
  }
  if (!any) {
    return {DiffResult::same};
  }
  Writer writer{out, settings.color};
  write_summary(tally, before, after, writer);
  if (out.failed || !flush_output(out)) {
    return {DiffResult::write_error};
  }
  return {DiffResult::differ};
}

}  // namespace quarnel
