// Walking the trees of files that quarnel-grep -r searches: each regular
// file once, in the order the system lists each folder, in bounded memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/folders.h"

namespace quarnel {

struct WalkSettings {
  bool follow_links = false;  // links met in the walk are followed
  // Globs matched against the last part of a name: files are searched when
  // they match no exclude and, if there is any include, an include;
  // folders are walked when they match no exclude_folders.
  std::span<const char* const> include;
  std::span<const char* const> exclude;
  std::span<const char* const> exclude_folders;
};

enum class WalkStep : std::uint8_t {
  file,         // handle is open on the regular file walk_name names; the caller closes it
  cannot_open,  // walk_name could not be opened, or its folder listed; error says why
  read_error,   // listing the folder walk_name failed partway; error says why
  loop,         // the folder walk_name leads back to one that holds it: not walked again
  too_deep,     // walk_name lies deeper, or has a longer name, than a walk holds: not walked
  end,
};

// A file seen already, by device and number: hard links and folders met
// again through links or bind mounts. A walk remembers this many; past
// them, a file with other names may be searched once for each.
inline constexpr std::size_t most_files_remembered = std::size_t{3} << 16;

struct TreeWalk {
  struct Level {
    int listing = -1;
    FileIdentity identity;
    std::size_t name_size = 0;  // the folder's name, at the start of name
  };
  WalkSettings settings;
  std::array<Level, most_open_listings> levels{};
  std::size_t depth = 0;
  bool root_pending = false;
  std::array<char, 4096> name{};  // the name at hand, ended by a NUL
  std::size_t name_size = 0;
  std::size_t hidden = 0;  // the "./" that an unnamed root puts before names
  ListingEntry entry;
  int handle = -1;
  int error = 0;
  std::array<FileIdentity, std::size_t{1} << 18> seen{};  // an open hash of files met
  std::size_t seen_count = 0;
};

// Starts a walk of the folder root; one walk after another remembers the
// files the earlier ones met. A root that is not named by the user
// (implied) is left out of the names shown.
void start_walk(TreeWalk& walk, const WalkSettings& settings, std::string_view root, bool implied);

// The next file to search, or what stood in the way.
[[nodiscard]] WalkStep next_in_walk(TreeWalk& walk);

// The name of the file or folder at hand, as messages and lines show it.
[[nodiscard]] std::string_view walk_name(const TreeWalk& walk);

// Closes what an unfinished walk holds open.
void stop_walk(TreeWalk& walk);

}  // namespace quarnel
