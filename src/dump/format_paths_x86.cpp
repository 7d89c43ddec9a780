// The choice of formatter on x86-64: the vector paths when the CPU has their
// instructions, found out at run time so that one binary runs on every x86-64.
#include "dump/line_format.h"
#include "dump/line_format_x86.h"

namespace quarnel {

namespace {

template <LineEnd end>
LineFormatter formatter(FormatPath path) {
  __builtin_cpu_init();  // safe to ask even before static constructors have run
  switch (path) {
    case FormatPath::portable:
      return format_lines_portable<end>;
    case FormatPath::ssse3:
      return __builtin_cpu_supports("ssse3") ? format_lines_ssse3<end> : nullptr;
    case FormatPath::avx2:
      return __builtin_cpu_supports("avx2") ? format_lines_avx2<end> : nullptr;
    case FormatPath::neon:
      break;
  }
  return nullptr;
}

}  // namespace

LineFormatter line_formatter(FormatPath path, LineEnd end) {
  return end == LineEnd::lf ? formatter<LineEnd::lf>(path) : formatter<LineEnd::crlf>(path);
}

FormatPath fastest_format_path() {
  for (const FormatPath path : {FormatPath::avx2, FormatPath::ssse3}) {
    if (line_formatter(path) != nullptr) {
      return path;
    }
  }
  return FormatPath::portable;
}

}  // namespace quarnel
