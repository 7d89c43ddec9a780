#include "view/document.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace quarnel {
namespace {

// The page of the file that starts at start, read if it is not cached.
const CachedPage& file_page(Document& document, std::uint64_t start) {
  CachedPage* oldest = document.pages.data();
  for (CachedPage& page : document.pages) {
    if (page.start == start) {
      page.used = ++document.clock;
      return page;
    }
    oldest = page.used < oldest->used ? &page : oldest;
  }
  CachedPage& page = *oldest;
  page.start = start;
  page.used = ++document.clock;
  page.size = 0;
  const std::uint64_t length = document.table.file_length;
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(page_size, length - start));
  while (page.size < wanted) {
    const ReadResult got = read_at(document.handle, start + page.size,
                                   std::span(page.bytes).subspan(page.size, wanted - page.size));
    if (got.status != ReadStatus::data) {
      if (got.status == ReadStatus::error) {
        document.error = last_error();
      }
      // What could not be read shows as zeros; the next look tries again.
      std::fill(page.bytes.begin() + static_cast<std::ptrdiff_t>(page.size),
                page.bytes.begin() + static_cast<std::ptrdiff_t>(wanted), std::uint8_t{0});
      page.start = ~std::uint64_t{0};
      page.size = wanted;
      break;
    }
    page.size += got.count;
  }
  return page;
}

void read_file(Document& document, std::uint64_t offset, std::span<std::uint8_t> into) {
  while (!into.empty()) {
    const std::uint64_t start = offset / page_size * page_size;
    const CachedPage& page = file_page(document, start);
    const auto from = static_cast<std::size_t>(offset - start);
    const std::size_t take = std::min(into.size(), page.size - from);
    std::memcpy(into.data(), page.bytes.data() + from, take);
    into = into.subspan(take);
    offset += take;
  }
}

}  // namespace

void open_document(Document& document, int handle, std::uint64_t length) {
  document.handle = handle;
  open_pieces(document.table, length);
  forget_pages(document);
}

void forget_pages(Document& document) {
  for (CachedPage& page : document.pages) {
    page.start = ~std::uint64_t{0};
    page.used = 0;
  }
}

std::size_t read_document(Document& document, std::uint64_t offset, std::span<std::uint8_t> into) {
  std::size_t done = 0;
  visit_pieces(
      document.table, offset, into.size(),
      [&](const Piece& piece, std::uint64_t from, std::uint64_t count) {
        const std::span<std::uint8_t> part = into.subspan(done, static_cast<std::size_t>(count));
        if (piece.source == PieceSource::file) {
          read_file(document, piece.start + from, part);
        } else {
          std::memcpy(part.data(), document.table.added.data() + piece.start + from, part.size());
        }
        done += part.size();
      });
  return done;
}

std::size_t read_original(Document& document, std::uint64_t offset, std::span<std::uint8_t> into) {
  const std::uint64_t length = document.table.file_length;
  const std::size_t size =
      offset >= length
          ? 0
          : static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), length - offset));
  read_file(document, offset, into.first(size));
  return size;
}

namespace {

bool take_some(Document& document, std::size_t budget, bool wait) {
  static std::array<std::uint8_t, page_size> block;
  while (document.incoming >= 0 && budget > 0 && (wait || ready_to_read(document.incoming))) {
    const ReadResult got =
        read_block(document.incoming, std::span(block).first(std::min(budget, block.size())));
    if (got.status != ReadStatus::data) {
      document.error = got.status == ReadStatus::error ? last_error() : 0;
      document.incoming = -1;
      break;
    }
    const std::uint64_t end = document.table.file_length;
    if (write_at(document.handle, end, std::span(block).first(got.count)) != got.count) {
      document.error = last_error();
      document.incoming = -1;
      break;
    }
    // The last page may have been cached short.
    forget_pages(document);
    document.table.file_length += got.count;
    document.table.length += got.count;
    if (document.table.pieces.empty()) {
      document.table.pieces.push_back({PieceSource::file, 0, got.count, 0});
    } else {
      document.table.pieces.back().length += got.count;
    }
    budget -= got.count;
  }
  return document.incoming >= 0;
}

}  // namespace

bool take_incoming(Document& document, std::size_t budget) {
  return take_some(document, budget, false);
}

bool take_all_incoming(Document& document) {
  document.error = 0;
  static_cast<void>(take_some(document, ~std::size_t{0}, true));
  return document.error == 0;
}

}  // namespace quarnel
