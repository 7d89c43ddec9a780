// The bytes being edited: pieces of the file as it was opened and of the
// bytes typed since, in order. An insertion or a deletion anywhere costs as
// much as the pieces it touches, never the file's size, and every change
// can be undone and redone without limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quarnel {

enum class PieceSource : std::uint8_t { file, added };

struct Piece {
  PieceSource source = PieceSource::file;
  std::uint64_t start = 0;   // in the file, or in the added bytes
  std::uint64_t length = 0;  // never 0
  std::uint64_t at = 0;      // where the piece starts in the edited bytes
};

// One change: the pieces from index on that it took away and put in.
struct PieceChange {
  std::size_t index = 0;
  std::vector<Piece> removed;
  std::vector<Piece> inserted;
  std::uint64_t cursor = 0;  // where the change was made, for the cursor to return to
};

// The table grows with the edits (that is its purpose), so it keeps its
// pieces, the added bytes and the history in vectors.
struct PieceTable {
  std::vector<Piece> pieces;
  std::vector<std::uint8_t> added;
  std::vector<PieceChange> done;
  std::vector<PieceChange> undone;
  std::uint64_t length = 0;
  std::uint64_t file_length = 0;
};

// A table that holds the file's length bytes, unchanged.
void open_pieces(PieceTable& table, std::uint64_t file_length);

// Whether the bytes are the file's as it was opened.
[[nodiscard]] bool is_unchanged(const PieceTable& table);

// Puts bytes at offset (at most table.length), moving what follows.
void insert_bytes(PieceTable& table, std::uint64_t offset, std::span<const std::uint8_t> bytes);
// Takes count bytes away from offset on, or as many as there are.
void erase_bytes(PieceTable& table, std::uint64_t offset, std::uint64_t count);
// Writes bytes over those at offset, as one change; past the end they are
// added.
void overwrite_bytes(PieceTable& table, std::uint64_t offset, std::span<const std::uint8_t> bytes);

// Undoes or redoes the last change; false when there is none. cursor is
// where it was made.
[[nodiscard]] bool undo_change(PieceTable& table, std::uint64_t& cursor);
[[nodiscard]] bool redo_change(PieceTable& table, std::uint64_t& cursor);

// Where the bytes of the edited range [offset, offset + count) come from, in
// order: each span is a stretch of the file or of the added bytes. calls
// take (piece, offset into it, count).
template <typename Visit>
void visit_pieces(const PieceTable& table, std::uint64_t offset, std::uint64_t count,
                  Visit&& visit);

// The index of the piece that holds offset (offset < table.length).
[[nodiscard]] std::size_t piece_at(const PieceTable& table, std::uint64_t offset);

template <typename Visit>
void visit_pieces(const PieceTable& table, std::uint64_t offset, std::uint64_t count,
                  Visit&& visit) {
  if (offset >= table.length) {
    return;
  }
  if (count > table.length - offset) {
    count = table.length - offset;
  }
  for (std::size_t k = piece_at(table, offset); count > 0 && k < table.pieces.size(); ++k) {
    const Piece& piece = table.pieces[k];
    const std::uint64_t into = offset - piece.at;
    const std::uint64_t take = piece.length - into < count ? piece.length - into : count;
    visit(piece, into, take);
    offset += take;
    count -= take;
  }
}

}  // namespace quarnel
