#include "view/piece_table.h"

#include <algorithm>
#include <iterator>

namespace quarnel {
namespace {

// Gives the pieces from index on their places in the edited bytes.
void place_pieces(PieceTable& table, std::size_t index) {
  std::uint64_t at = index == 0 ? 0 : table.pieces[index - 1].at + table.pieces[index - 1].length;
  for (std::size_t k = index; k < table.pieces.size(); ++k) {
    table.pieces[k].at = at;
    at += table.pieces[k].length;
  }
  table.length = at;
}

// Puts the change's pieces in place of those it removes.
void swap_in(PieceTable& table, std::size_t index, const std::vector<Piece>& out,
             const std::vector<Piece>& in) {
  const auto first = table.pieces.begin() + static_cast<std::ptrdiff_t>(index);
  table.pieces.erase(first, first + static_cast<std::ptrdiff_t>(out.size()));
  table.pieces.insert(table.pieces.begin() + static_cast<std::ptrdiff_t>(index), in.begin(),
                      in.end());
  place_pieces(table, index);
}

// Replaces count bytes at offset with the added bytes [added, added +
// added_count), as one change.
void replace_range(PieceTable& table, std::uint64_t offset, std::uint64_t count,
                   std::uint64_t added, std::uint64_t added_count) {
  offset = std::min(offset, table.length);
  count = std::min(count, table.length - offset);
  if (count == 0 && added_count == 0) {
    return;
  }
  PieceChange change;
  change.cursor = offset;
  // The pieces touched: from the one holding offset to the one holding the
  // last byte replaced (an insertion touches the piece it splits, if any).
  std::size_t first = table.pieces.size();
  std::size_t last = first;
  if (offset < table.length) {
    first = piece_at(table, offset);
    last = count == 0 ? first + 1 : piece_at(table, offset + count - 1) + 1;
  }
  change.index = first;
  change.removed.assign(table.pieces.begin() + static_cast<std::ptrdiff_t>(first),
                        table.pieces.begin() + static_cast<std::ptrdiff_t>(last));
  if (first < last) {
    const Piece& head = table.pieces[first];
    if (offset > head.at) {
      change.inserted.push_back({head.source, head.start, offset - head.at, 0});
    }
  }
  if (added_count > 0) {
    change.inserted.push_back({PieceSource::added, added, added_count, 0});
  }
  if (first < last) {
    const Piece& tail = table.pieces[last - 1];
    const std::uint64_t end = offset + count;
    const std::uint64_t tail_end = tail.at + tail.length;
    if (end < tail_end) {
      const std::uint64_t skip = end - tail.at;
      change.inserted.push_back({tail.source, tail.start + skip, tail_end - end, 0});
    }
  }
  swap_in(table, change.index, change.removed, change.inserted);
  table.done.push_back(std::move(change));
  table.undone.clear();
}

std::uint64_t add_bytes(PieceTable& table, std::span<const std::uint8_t> bytes) {
  const std::uint64_t start = table.added.size();
  table.added.insert(table.added.end(), bytes.begin(), bytes.end());
  return start;
}

// Takes the last change of from back (or makes it again, forwards) and
// keeps it in to.
bool move_change(PieceTable& table, std::vector<PieceChange>& from, std::vector<PieceChange>& to,
                 bool forwards, std::uint64_t& cursor) {
  if (from.empty()) {
    return false;
  }
  PieceChange change = std::move(from.back());
  from.pop_back();
  swap_in(table, change.index, forwards ? change.removed : change.inserted,
          forwards ? change.inserted : change.removed);
  cursor = change.cursor;
  to.push_back(std::move(change));
  return true;
}

}  // namespace

void open_pieces(PieceTable& table, std::uint64_t file_length) {
  table = PieceTable{};
  table.file_length = file_length;
  if (file_length > 0) {
    table.pieces.push_back({PieceSource::file, 0, file_length, 0});
  }
  table.length = file_length;
}

bool is_unchanged(const PieceTable& table) {
  if (table.length != table.file_length) {
    return false;
  }
  return std::all_of(table.pieces.begin(), table.pieces.end(), [](const Piece& piece) {
    return piece.source == PieceSource::file && piece.start == piece.at;
  });
}

std::size_t piece_at(const PieceTable& table, std::uint64_t offset) {
  const auto found =
      std::upper_bound(table.pieces.begin(), table.pieces.end(), offset,
                       [](std::uint64_t value, const Piece& piece) { return value < piece.at; });
  return static_cast<std::size_t>(std::distance(table.pieces.begin(), found)) - 1;
}

void insert_bytes(PieceTable& table, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) {
    return;
  }
  replace_range(table, offset, 0, add_bytes(table, bytes), bytes.size());
}

void erase_bytes(PieceTable& table, std::uint64_t offset, std::uint64_t count) {
  replace_range(table, offset, count, 0, 0);
}

void overwrite_bytes(PieceTable& table, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) {
    return;
  }
  replace_range(table, offset, bytes.size(), add_bytes(table, bytes), bytes.size());
}

bool undo_change(PieceTable& table, std::uint64_t& cursor) {
  return move_change(table, table.done, table.undone, false, cursor);
}

bool redo_change(PieceTable& table, std::uint64_t& cursor) {
  return move_change(table, table.undone, table.done, true, cursor);
}

}  // namespace quarnel
