// quarnel-grep's inputs searched: files, standard input and the trees of
// folders, each input's output whole and in the order given and walked.
// Trees are searched on the machine's cores, several files at a time.
#pragma once

#include <span>

#include "front/messages.h"
#include "io/output_writer.h"
#include "search/search_input.h"
#include "search/walk_tree.h"

namespace quarnel {

struct Inputs {
  std::span<const char* const> names;  // "-" is standard input
  bool recursive = false;              // folders named are walked
  bool implied_tree = false;           // none named: the folder at hand is walked
  WalkSettings walk;
};

struct Searched {
  bool matched = false;
  bool trouble = false;       // an input could not be searched, and was named
  bool write_failed = false;  // out's error says why
};

// Searches the inputs and writes what settings asks for to out, flushed
// but for its last block; says what stood in the way.
[[nodiscard]] Searched search_inputs(const ProgramText& program, const Inputs& inputs,
                                     std::span<const Finder> finders,
                                     const SearchSettings& settings, OutputWriter& out);

}  // namespace quarnel
