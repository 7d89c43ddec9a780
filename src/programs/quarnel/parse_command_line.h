// Reads the switches and input names of the command line.
#pragma once

#include "programs/quarnel/run_settings.h"

namespace quarnel {

// Fills settings from argv[1] to argv[argc - 1] and returns whether help was
// requested. Never fails: switches that match no rule are passed over.
bool parse_command_line(int argc, const char* const argv[], RunSettings& settings);

}  // namespace quarnel
