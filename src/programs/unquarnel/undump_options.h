// Reads unquarnel's command line.
#pragma once

#include <span>
#include <string_view>

#include "front/options.h"
#include "front/progress.h"
#include "quarnel/undump.h"

namespace quarnel {

struct UndumpOptions {
  Asked asked;
  const char* patch_file = nullptr;        // null: the bytes go to the output
  const char* output_file = nullptr;       // null: the output is standard output
  DumpReading reading = DumpReading::any;  // --from: how every dump is read
  bool reverse = false;                    // -R: a diff is applied backwards
  bool journal = true;                     // --no-journal: a patch keeps no journal beside the file
  ProgressWhen progress = ProgressWhen::automatic;
  const char* recover_file = nullptr;  // --recover: the file whose patch to roll back
  std::span<const char* const> dumps;  // the DUMP names
};

// Options come first and end at "--", "-" or the first other argument that
// does not begin with "-".
[[nodiscard]] UndumpOptions parse_undump_options(int argc, const char* const argv[]);

}  // namespace quarnel
