#include "search/search_input.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <span>

#include "io/dump_line.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

using line_geometry::bytes_per_line;

// grep's colours: the matched bytes bold red, names magenta, what parts
// them cyan.
constexpr std::string_view match_color = "\x1b[1;31m";
constexpr std::string_view name_color = "\x1b[35m";
constexpr std::string_view separator_color = "\x1b[36m";
constexpr std::string_view plain_color = "\x1b[0m";

using Marked = SearchSpace::Marked;

// At namespace scope: too large for a thread's stack.
SearchSpace shared_space;

std::uint64_t less_or_zero(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

struct Search {
  std::span<const Finder> finders;
  const SearchSettings& settings;
  SearchRun& run;
  OutputWriter& out;
  SearchSpace& space = run.space != nullptr ? *run.space : shared_space;
  std::span<std::uint8_t> held{space.held};
  std::uint64_t start = 0;    // the offset of held[0]
  std::size_t size = 0;       // the bytes held
  std::uint64_t scanned = 0;  // every match that starts before this offset has been found
  bool stopped = false;       // the most matches were found: no more are looked for
  bool ended = false;         // the input's end was read
  std::uint64_t matches = 0;
  std::uint64_t printed = 0;  // the first line not yet written or passed over
  std::uint64_t wanted = 0;   // lines before this one are to be written
  bool open = false;          // a group of this input's lines has begun
  std::span<Marked> marks{space.marked};
  std::size_t first_mark = 0;
  std::size_t mark_count = 0;
  // Every match of an anchored pattern that starts before this offset has
  // been found; stretch is how many offsets are looked at in one go.
  std::uint64_t group_done = 0;
  std::size_t stretch = SearchSpace::most_found;
  std::size_t longest = 0;  // the longest pattern

  [[nodiscard]] std::uint64_t end() const { return start + size; }
  void put(std::string_view text) { put_output(out, text); }

  void put_colored(std::string_view color, std::string_view text) {
    if (settings.color) {
      put(color);
      put(text);
      put(plain_color);
    } else {
      put(text);
    }
  }

  // "NAME:" or "NAME-" in front of a line, with several inputs.
  void put_name(char after) {
    if (settings.named) {
      put_colored(name_color, settings.name);
      put_colored(separator_color, std::string_view(&after, 1));
    }
  }

  void mark(std::uint64_t from, std::uint64_t to) {
    if (mark_count > 0) {
      Marked& last = marks[(first_mark + mark_count - 1) % marks.size()];
      if (last.to >= from) {
        last.to = to;
        return;
      }
    }
    marks[(first_mark + mark_count++) % marks.size()] = {from, to};
  }

  // Which bytes of the line from `at` are matched: bit k for byte k.
  std::uint32_t marked_in(std::uint64_t at) {
    for (; mark_count > 0 && marks[first_mark].to <= at; --mark_count) {
      first_mark = (first_mark + 1) % marks.size();
    }
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < mark_count; ++i) {
      const Marked& m = marks[(first_mark + i) % marks.size()];
      if (m.from >= at + bytes_per_line) {
        break;
      }
      for (std::uint64_t b = std::max(m.from, at); b < std::min(m.to, at + bytes_per_line); ++b) {
        bits |= 1U << (b - at);
      }
    }
    return bits;
  }

  // The line's text with the bytes of each run of marked ones coloured,
  // in the hex column, then in the characters.
  void put_marked(const FormattedLine& line, std::uint32_t bits) {
    std::size_t done = 0;
    using Place = std::size_t (*)(std::size_t) noexcept;
    struct Column {
      Place place;
      std::size_t width;
    };
    for (const Column column :
         {Column{line_geometry::hex_place, 2}, Column{line_geometry::char_place, 1}}) {
      const auto [place, width] = column;
      for (std::size_t k = 0; k < bytes_per_line;) {
        if ((bits >> k & 1U) == 0) {
          ++k;
          continue;
        }
        std::size_t last = k;
        while (last + 1 < bytes_per_line && (bits >> (last + 1) & 1U) != 0) {
          ++last;
        }
        const std::size_t from = place(k) + line.shift;
        const std::size_t to = place(last) + width + line.shift;
        put(line.text.substr(done, from - done));
        put_colored(match_color, line.text.substr(from, to - from));
        done = to;
        k = last + 1;
      }
    }
    put(line.text.substr(done));
  }

  // Writes the lines from the first not yet written up to `until`.
  void write_lines(std::uint64_t until) {
    FormattedLine& line = space.line;
    for (; printed < until; ++printed) {
      const std::uint64_t at = printed * bytes_per_line;
      const auto count =
          static_cast<std::size_t>(std::min<std::uint64_t>(bytes_per_line, end() - at));
      make_dump_line(at, std::span(held).subspan(static_cast<std::size_t>(at - start), count),
                     line);
      const std::uint32_t bits = marked_in(at);
      put_name(bits != 0 ? ':' : '-');
      if (settings.color && bits != 0) {
        put_marked(line, bits);
      } else {
        put(line.text);
      }
    }
  }

  // The lines that can be written now: whole, and with every match that
  // could mark them found. At the input's end, all the lines up to its last.
  [[nodiscard]] std::uint64_t writable() const {
    if (ended) {
      return std::min(wanted, end() / bytes_per_line + 1);
    }
    return std::min(wanted, (stopped ? end() : std::min(scanned, end())) / bytes_per_line);
  }

  void found(std::uint64_t at, std::size_t which) {
    ++matches;
    stopped = matches >= settings.most;
    const std::uint64_t size_found = finders[which].pattern->size;
    if (settings.shown == Shown::offsets) {
      std::array<char, 24> digits{};
      put_name(':');
      put(std::string_view(digits.data(), address_text(at, std::span(digits).first<16>())));
      if (settings.numbered) {
        put(" ");
        if (which < settings.pattern_names.size()) {
          put(settings.pattern_names[which]);
        } else {
          const char* end =
              std::to_chars(digits.data(), digits.data() + digits.size(), which + 1).ptr;
          put(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
        }
      }
      put(line_end);
    }
    if (settings.shown != Shown::lines) {
      return;
    }
    mark(at, at + size_found);
    const std::uint64_t first =
        std::max(printed, less_or_zero(at / bytes_per_line, settings.before));
    if (!open || first > wanted) {
      write_lines(wanted);
      if (run.grouped && settings.parted) {
        put_colored(separator_color, "--");
        put(line_end);
      }
      open = true;
      run.grouped = true;
      printed = first;
    }
    const std::uint64_t last = (at + size_found - 1) / bytes_per_line + 1;
    wanted = std::max(wanted, last + std::min(settings.after, ~std::uint64_t{0} - last));
  }

  // Each pattern found by itself is looked for from where its last search
  // stopped, the anchored ones a stretch at a time; the earliest match of
  // them all is taken next.
  void find_all() {
    const auto bytes = std::span<const std::uint8_t>(held).first(size);
    const auto next = std::span(space.next).first(finders.size());
    const auto done = std::span(space.done).first(finders.size());
    std::size_t loose_count = 0;
    for (std::size_t k = 0; k < finders.size(); ++k) {
      if (settings.group == nullptr || !settings.group->anchored[k]) {
        space.loose[loose_count++] = static_cast<std::uint16_t>(k);
        next[k] = find_match(finders[k], bytes, static_cast<std::size_t>(done[k] - start));
      }
    }
    const auto loose = std::span(space.loose).first(loose_count);
    // Matches that start before `settled` are taken now, in order: after
    // it, a longer pattern may match before a shorter one whose bytes are
    // all held already.
    const std::uint64_t settled = std::max(start, ended ? end() : less_or_zero(end() + 1, longest));
    const std::uint64_t group_end =
        settings.group == nullptr ? group_done : std::max(group_done, settled);
    const auto told = static_cast<std::size_t>(settled - start);
    std::span<FoundMatch> found_here;
    while (!stopped) {
      while (found_here.empty() && group_done < group_end) {
        found_here = find_stretch(bytes, group_end);
      }
      std::size_t at = size;
      std::size_t which = finders.size();
      for (const std::size_t k : loose) {
        if (next[k] < at) {
          at = next[k];
          which = k;
        }
      }
      const bool anchored =
          !found_here.empty() &&
          (found_here[0].at < at || (found_here[0].at == at && found_here[0].pattern < which));
      if (anchored) {
        at = found_here[0].at;
        which = found_here[0].pattern;
        found_here = found_here.subspan(1);
      }
      if (at >= told) {
        for (const std::size_t k : loose) {
          done[k] = std::max(done[k],
                             std::min(less_or_zero(end() + 1, finders[k].pattern->size), settled));
        }
        break;
      }
      found(start + at, which);
      if (!anchored) {
        done[which] = start + at + 1;
        next[which] = find_match(finders[which], bytes, at + 1);
      }
      if (settings.shown == Shown::names || settings.shown == Shown::nothing) {
        stopped = true;
      }
    }
    scanned = settings.group != nullptr ? group_done : ~std::uint64_t{0};
    for (const std::size_t k : loose) {
      scanned = std::min(scanned, done[k]);
    }
  }

  // The anchored patterns' matches from group_done on, as many as the
  // space holds; group_done moves past the stretch they were found in.
  std::span<FoundMatch> find_stretch(std::span<const std::uint8_t> bytes, std::uint64_t group_end) {
    const std::span<FoundMatch> room(space.found);
    for (;;) {
      const std::uint64_t to = std::min<std::uint64_t>(group_end, group_done + stretch);
      const std::size_t count = find_anchored(*settings.group, finders, bytes,
                                              static_cast<std::size_t>(group_done - start),
                                              static_cast<std::size_t>(to - start), room);
      if (count != too_many_found) {
        group_done = to;
        stretch = std::min(stretch * 2, room.size());
        return room.first(count);
      }
      // At one offset there are no more matches than patterns: a stretch
      // of one always fits.
      stretch = std::max<std::size_t>(stretch / 2, 1);
    }
  }

  // Drops the bytes no longer needed, to make room for a block.
  void drop_used() {
    std::uint64_t keep = stopped ? end() : scanned;
    if (settings.shown == Shown::lines) {
      if (!stopped) {
        keep = std::min(keep, bytes_per_line * std::max(printed, less_or_zero(keep / bytes_per_line,
                                                                              settings.before)));
      }
      if (printed < wanted) {
        keep = std::min(keep, printed * bytes_per_line);
      }
    }
    const auto dropped = static_cast<std::size_t>(keep - start);
    std::memmove(held.data(), held.data() + dropped, size - dropped);
    size -= dropped;
    start = keep;
  }

  SearchOutcome go(int handle) {
    for (;;) {
      drop_used();
      const ReadResult got = read_block(handle, held.subspan(size, search_block_size));
      if (got.status == ReadStatus::error) {
        return {SearchResult::read_error, matches, last_error()};
      }
      ended = got.status == ReadStatus::end;
      size += ended ? 0 : got.count;
      find_all();
      if (settings.shown == Shown::lines) {
        write_lines(writable());
      }
      if (out.failed) {
        return {SearchResult::write_error, matches, out.error};
      }
      if (ended || (stopped && (settings.shown != Shown::lines || printed >= wanted))) {
        break;
      }
    }
    if (settings.shown == Shown::count) {
      std::array<char, 24> digits{};
      const char* digits_end =
          std::to_chars(digits.data(), digits.data() + digits.size(), matches).ptr;
      put_name(':');
      put(std::string_view(digits.data(), static_cast<std::size_t>(digits_end - digits.data())));
      put(line_end);
    } else if (settings.shown == Shown::names && matches > 0) {
      put_colored(name_color, settings.name);
      put(line_end);
    }
    return {out.failed ? SearchResult::write_error : SearchResult::done, matches, out.error};
  }
};

}  // namespace

SearchOutcome search_input(int handle, std::span<const Finder> finders,
                           const SearchSettings& settings, SearchRun& run, OutputWriter& out) {
  if (finders.empty()) {
    return {};
  }
  Search search{finders.first(std::min(finders.size(), most_patterns)), settings, run, out};
  for (const Finder& finder : search.finders) {
    search.longest = std::max(search.longest, finder.pattern->size);
  }
  std::fill_n(search.space.done.begin(), search.finders.size(), 0);
  return search.go(handle);
}

SearchOutcome search_input(int handle, const Finder& finder, const SearchSettings& settings,
                           SearchRun& run, OutputWriter& out) {
  return search_input(handle, std::span(&finder, 1), settings, run, out);
}

}  // namespace quarnel
