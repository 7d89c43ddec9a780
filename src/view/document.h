// The file a view shows: read only where the screen looks, through a few
// cached pages, with the edits laid over it as pieces. Standard input is
// kept in a temporary file as it arrives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "view/piece_table.h"

namespace quarnel {

inline constexpr std::size_t page_size = std::size_t{1} << 16;
inline constexpr std::size_t cached_pages = 8;

struct CachedPage {
  std::uint64_t start = ~std::uint64_t{0};  // none yet
  std::size_t size = 0;                     // short at the file's end
  std::uint64_t used = 0;                   // when it was last read, for eviction
  std::array<std::uint8_t, page_size> bytes{};
};

struct Document {
  const char* name = "";
  int handle = -1;
  int incoming = -1;       // standard input still arriving into handle, or -1
  bool writable = false;   // opened for writing (a save may write it)
  bool read_only = false;  // the user cannot edit it (standard input, a device without --write)
  int error = 0;           // the system's reason for the last failed read, or 0
  PieceTable table;
  std::uint64_t clock = 0;
  std::array<CachedPage, cached_pages> pages{};
};

// Shows handle's length bytes.
void open_document(Document& document, int handle, std::uint64_t length);

// Forgets the cached pages, after the file was written.
void forget_pages(Document& document);

// Reads the edited bytes at offset into into; returns how many there are
// (fewer at the end). A failed read gives zeros and sets document.error.
std::size_t read_document(Document& document, std::uint64_t offset, std::span<std::uint8_t> into);

// Reads the file's bytes at offset as they were opened, without the edits;
// returns how many there are.
std::size_t read_original(Document& document, std::uint64_t offset, std::span<std::uint8_t> into);

// Reads what has arrived on document.incoming, up to budget bytes, into the
// file behind the document. Returns false once the input has ended (or
// failed: document.error says why) and incoming is -1.
bool take_incoming(Document& document, std::size_t budget);

// Reads all that is still to come on document.incoming, waiting for it.
// False when the input failed (document.error says why).
bool take_all_incoming(Document& document);

}  // namespace quarnel
