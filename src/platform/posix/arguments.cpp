// The arguments on POSIX systems: the shell has expanded them already.
#include "platform/platform.h"

namespace quarnel {

std::span<const char* const> program_arguments(int argc, const char* const argv[]) {
  return {argv, static_cast<std::size_t>(argc)};
}

}  // namespace quarnel
