#include "diff/diff_stat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>
#include <string_view>

#include "diff/align.h"
#include "diff/diff_colors.h"
#include "io/dump_line.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

constexpr std::size_t most_stretches = 20;
constexpr std::size_t most_groups = 20;
// The groups of changes in place a summary can tell apart; a change whose
// group finds no slot is counted among the others.
constexpr std::size_t group_slots = 4096;
constexpr std::size_t group_probes = 16;
constexpr std::uint64_t value_bytes = 4;
constexpr std::size_t piece_size = std::size_t{1} << 16;

enum class Kind : std::uint8_t { inserted, deleted, replaced };

struct Group {
  std::uint64_t count = 0;  // none: the slot is free
  std::uint32_t delta = 0;  // what the change adds to the value, modulo 2^32
  std::uint8_t width = 0;   // the value's bytes: 4, fewer at the files' end
  std::uint64_t first = 0;  // the old file's address of the first change and end of the last
  std::uint64_t end = 0;
};

struct Tally {
  std::array<Change, most_stretches> largest{};  // largest first, the earlier first among equals
  std::size_t held = 0;
  std::array<std::uint64_t, 3> stretches{};  // how many of each kind
  std::array<std::uint64_t, 3> old_bytes{};  // and their bytes on each side
  std::array<std::uint64_t, 3> new_bytes{};
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

std::uint64_t size_of(const Change& change) { return std::max(change.old_size, change.new_size); }

void count_stretch(Tally& tally, const Change& change) {
  const auto kind = static_cast<std::size_t>(kind_of(change));
  ++tally.stretches[kind];
  tally.old_bytes[kind] += change.old_size;
  tally.new_bytes[kind] += change.new_size;
  tally.stretch_bytes += size_of(change);
  Change* const held = tally.largest.data() + tally.held;
  Change* const place = std::find_if(tally.largest.data(), held, [&](const Change& other) {
    return size_of(other) < size_of(change);
  });
  Change* const last = tally.largest.data() + tally.largest.size();
  if (place == last) {
    return;
  }
  std::copy_backward(place, std::min(held, last - 1), std::min(held + 1, last));
  *place = change;
  tally.held = std::min(tally.held + 1, tally.largest.size());
}

void count_in_place(Tally& tally, std::uint64_t at, std::uint32_t delta, std::uint8_t width,
                    std::uint64_t changed) {
  ++tally.changes;
  tally.changed_bytes += changed;
  const std::uint64_t key = (std::uint64_t{delta} << 8U) | width;
  const auto home = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 52U);
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
// differing byte on, the value of up to four bytes, and what the change
// added to it. False when a file could not be read.
bool count_changed_values(Tally& tally, const DiffFile& before, const DiffFile& after,
                          const Change& change) {
  std::uint64_t covered = change.old_at;  // the old file's bytes before this are counted
  for (std::uint64_t done = 0; done < change.old_size;) {
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(piece_size, change.old_size - done));
    const std::uint64_t old_at = change.old_at + done;
    const std::uint64_t new_at = change.new_at + done;
    // The bytes after the change are equal in both, up to the shorter end.
    const auto past = static_cast<std::size_t>(std::min<std::uint64_t>(
        {value_bytes, before.size - (old_at + size), after.size - (new_at + size)}));
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
      const std::size_t width = std::min<std::size_t>(value_bytes, one.size() - k);
      std::uint32_t old_value = 0;
      std::uint32_t new_value = 0;
      std::uint64_t changed = 0;
      for (std::size_t b = width; b-- > 0;) {
        old_value = (old_value << 8U) | one[k + b];
        new_value = (new_value << 8U) | two[k + b];
        changed += one[k + b] != two[k + b] ? 1 : 0;
      }
      // A value of fewer bytes at the files' end: what it loses has the
      // bits above its own set, and is written from its own bytes alone.
      count_in_place(tally, old_at + k, new_value - old_value, static_cast<std::uint8_t>(width),
                     changed);
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

  void put_hex(std::uint32_t value) {
    std::array<char, 8> digits{};
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

  void stretch(const Change& change) {
    const Kind kind = kind_of(change);
    start_line(kind == Kind::inserted  ? diff_colors::added
               : kind == Kind::deleted ? diff_colors::deleted
                                       : diff_colors::hunk);
    put("  ");
    put_count(kind == Kind::inserted ? change.new_size : change.old_size, " byte", " bytes");
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
    const unsigned bits = 8U * std::max<unsigned>(group.width, 1U);
    const std::uint32_t sign = std::uint32_t{1} << (bits - 1);
    const std::uint32_t mask = (sign << 1U) - 1;
    if ((group.delta & sign) != 0) {
      put(group.count == 1 ? " that subtracts " : " that subtract ");
      put_hex((~group.delta + 1) & mask);
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
    writer.title("inserted, deleted or replaced, largest first (old and new addresses):");
    for (std::size_t i = 0; i < tally.held; ++i) {
      writer.stretch(tally.largest[i]);
    }
    std::uint64_t more = tally.stretches[0] + tally.stretches[1] + tally.stretches[2] - tally.held;
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
    writer.title("changed in place, by what they do to a little-endian 32-bit value:");
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
  constexpr std::array<std::array<std::string_view, 2>, 3> names{
      {{" insertion", " insertions"},
       {" deletion", " deletions"},
       {" replacement", " replacements"}}};
  for (std::size_t kind = 0; kind < 3; ++kind) {
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
  bool any = false;
  Change change;
  AlignStep step = AlignStep::change;
  while ((step = next_change(aligner, change)) == AlignStep::change) {
    any = true;
    if (change.old_size != change.new_size) {
      count_stretch(tally, change);
    } else if (!count_changed_values(tally, before, after, change)) {
      return {DiffResult::read_error, last_error()};
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
      count_stretch(tally, tail);
    } else if (!count_changed_values(tally, before, after, tail)) {
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
