#include "search/walk_tree.h"

#include <algorithm>

#include "search/glob.h"

namespace quarnel {
namespace {

bool any_matches(std::span<const char* const> globs, std::string_view name) {
  return std::ranges::any_of(globs, [&](const char* glob) { return glob_matches(glob, name); });
}

bool same(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.number == b.number;
}

// Whether the file was met before in this run; remembers it if not. A file
// the system cannot tell (all zeros) is never the same as another.
bool seen_before(TreeWalk& walk, const FileIdentity& identity) {
  if (identity.device == 0 && identity.number == 0) {
    return false;
  }
  const std::size_t mask = walk.seen.size() - 1;
  std::size_t slot =
      static_cast<std::size_t>((identity.number * 0x9E3779B97F4A7C15U) ^ identity.device) & mask;
  for (;; slot = (slot + 1) & mask) {
    FileIdentity& held = walk.seen[slot];
    if (same(held, identity)) {
      return true;
    }
    if (held.device == 0 && held.number == 0) {
      if (walk.seen_count < most_files_remembered) {
        held = identity;
        ++walk.seen_count;
      }
      return false;
    }
  }
}

// Puts the entry's name after its folder's into the name at hand; false
// when it does not fit.
bool name_entry(TreeWalk& walk, std::size_t folder_size) {
  const char separator = folder_separator();
  const char last = walk.name[folder_size - 1];
  const std::size_t joined = last == '/' || last == separator ? 0 : 1;
  const std::size_t size = folder_size + joined + walk.entry.size;
  if (size >= walk.name.size()) {
    return false;
  }
  walk.name[folder_size] = separator;
  std::copy_n(walk.entry.name.data(), walk.entry.size, walk.name.data() + folder_size + joined);
  walk.name[size] = '\0';
  walk.name_size = size;
  return true;
}

enum class Entered { yes, no, passed_over };

// Opens the folder at hand and makes it the deepest; step says why not.
Entered enter_folder(TreeWalk& walk, WalkStep& step) {
  if (walk.depth == walk.levels.size()) {
    step = WalkStep::too_deep;
    return Entered::no;
  }
  FileIdentity identity;
  const int listing = open_listing(walk.name.data(), identity);
  if (listing < 0) {
    walk.error = last_error();
    step = WalkStep::cannot_open;
    return Entered::no;
  }
  for (std::size_t k = 0; k < walk.depth; ++k) {
    if (same(walk.levels[k].identity, identity) && (identity.device | identity.number) != 0) {
      close_listing(listing);
      step = WalkStep::loop;
      return Entered::no;
    }
  }
  // Met again through a link or a bind mount, elsewhere in the tree.
  if (seen_before(walk, identity)) {
    close_listing(listing);
    return Entered::passed_over;
  }
  walk.levels[walk.depth++] = {listing, identity, walk.name_size};
  return Entered::yes;
}

}  // namespace

void start_walk(TreeWalk& walk, const WalkSettings& settings, std::string_view root, bool implied) {
  walk.settings = settings;
  walk.depth = 0;
  walk.handle = -1;
  walk.error = 0;
  walk.name_size = std::min(root.size(), walk.name.size() - 1);
  root.copy(walk.name.data(), walk.name_size);
  walk.name[walk.name_size] = '\0';
  walk.hidden = implied ? walk.name_size + 1 : 0;
  walk.root_pending = true;
}

WalkStep next_in_walk(TreeWalk& walk) {
  WalkStep step = WalkStep::end;
  if (walk.root_pending) {
    walk.root_pending = false;
    if (walk.name_size == 0 || enter_folder(walk, step) == Entered::no) {
      return walk.name_size == 0 ? WalkStep::end : step;
    }
  }
  const bool follow = walk.settings.follow_links;
  while (walk.depth > 0) {
    TreeWalk::Level& level = walk.levels[walk.depth - 1];
    const ListingRead read = read_listing(level.listing, walk.entry);
    if (read != ListingRead::entry) {
      walk.error = read == ListingRead::error ? last_error() : 0;
      close_listing(level.listing);
      --walk.depth;
      walk.name_size = level.name_size;
      walk.name[walk.name_size] = '\0';
      if (read == ListingRead::error) {
        return WalkStep::read_error;
      }
      continue;
    }
    const std::string_view leaf(walk.entry.name.data(), walk.entry.size);
    if (!name_entry(walk, level.name_size)) {
      // The name shown is the folder's, cut where it fits.
      walk.name[level.name_size] = '\0';
      walk.name_size = level.name_size;
      return WalkStep::too_deep;
    }
    FileKind kind = walk.entry.kind;
    if (kind == FileKind::link) {
      if (!follow) {
        continue;
      }
      // A link that leads nowhere is opened as a file, and fails as one.
      kind = kind_of(walk.name.data(), true);
      kind = kind == FileKind::missing ? FileKind::regular : kind;
    }
    if (kind == FileKind::folder) {
      if (!any_matches(walk.settings.exclude_folders, leaf) &&
          enter_folder(walk, step) == Entered::no) {
        return step;
      }
      continue;
    }
    if (kind == FileKind::other || any_matches(walk.settings.exclude, leaf) ||
        (!walk.settings.include.empty() && !any_matches(walk.settings.include, leaf))) {
      continue;
    }
    const FoundFile found = open_found_file(walk.name.data(), follow);
    if (found.handle < 0) {
      // What is no longer a regular file is passed over, as it would have
      // been had it been one when listed.
      if (found.kind != FileKind::missing) {
        continue;
      }
      walk.error = found.error;
      return WalkStep::cannot_open;
    }
    if ((found.other_names || follow) && seen_before(walk, found.identity)) {
      close_handle(found.handle);
      continue;
    }
    walk.handle = found.handle;
    return WalkStep::file;
  }
  return WalkStep::end;
}

std::string_view walk_name(const TreeWalk& walk) {
  const std::string_view name(walk.name.data(), walk.name_size);
  return walk.hidden > 0 && name.size() > walk.hidden ? name.substr(walk.hidden) : name;
}

void stop_walk(TreeWalk& walk) {
  for (; walk.depth > 0; --walk.depth) {
    close_listing(walk.levels[walk.depth - 1].listing);
  }
  walk.root_pending = false;
}

}  // namespace quarnel
