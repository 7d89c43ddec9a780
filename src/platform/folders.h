// Reading folders, for the programs that walk trees of files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {

// What a name stands for. other: a device, FIFO or socket.
enum class FileKind : std::uint8_t { missing, regular, folder, link, other };

// What name stands for: the link itself, or with follow what the links
// lead to. missing also when it cannot be looked at.
[[nodiscard]] FileKind kind_of(const char* name, bool follow);

// The length of the regular file name stands for, links followed; 0 for
// anything else. Looked at without opening it: a FIFO is left alone.
[[nodiscard]] std::uint64_t regular_file_length(const char* name);

// The character that joins a folder's name to an entry's.
[[nodiscard]] char folder_separator();

// A folder's entries are read through a small number, as a file's bytes
// are, at most this many folders at once.
inline constexpr std::size_t most_open_listings = 256;

// Opens the folder name stands for, links followed, and tells which it
// is. -1 on failure, last_error saying why.
[[nodiscard]] int open_listing(const char* name, FileIdentity& identity);
void close_listing(int listing);

struct ListingEntry {
  std::array<char, 1024> name{};  // ended by a NUL
  std::size_t size = 0;
  FileKind kind = FileKind::other;  // a link is a link, wherever it leads
};

enum class ListingRead { entry, end, error };

// The next entry, "." and ".." passed over, in the order the system lists
// them. With error, last_error says why.
[[nodiscard]] ListingRead read_listing(int listing, ListingEntry& entry);

// A file met in a walk, opened for reading only if it is a regular file:
// a FIFO put in its place meanwhile is not waited on, nor, without follow,
// a link followed.
struct FoundFile {
  int handle = -1;  // -1 when it is not a regular file or cannot be opened
  FileKind kind = FileKind::missing;
  FileIdentity identity;
  bool other_names = false;  // it has more than one link
  int error = 0;             // why it could not be opened, when it could not
};

[[nodiscard]] FoundFile open_found_file(const char* name, bool follow);

}  // namespace quarnel
