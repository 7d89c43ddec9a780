// Logs the bytes a program receives, as they arrive, as a hex dump: a
// socket's data, say, which comes in pieces of any size. The lines are those
// of the whole data dumped at once.
#include <quarnel/dump.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

namespace {

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

int main() {
  // Three pieces, as recv() might return them.
  constexpr std::string_view pieces[] = {"GET /index.html HTTP/1.1\r\nHost: exa", "mple.org\r\n",
                                         "Accept: */*\r\n\r\n"};
  quarnel::StreamDump stream = quarnel::start_stream_dump();
  std::vector<char> out;
  for (const std::string_view piece : pieces) {
    out.resize(quarnel::dump_more_size(stream, piece.size()));
    const std::optional<std::size_t> written = quarnel::dump_more(stream, bytes_of(piece), out);
    std::fwrite(out.data(), 1, written.value_or(0), stdout);
  }
  // The connection closed: the last line.
  out.resize(quarnel::finish_dump_size(stream));
  std::fwrite(out.data(), 1, quarnel::finish_dump(stream, out), stdout);

  // One piece in one line of code, for a log statement.
  std::fputs(quarnel::dump_string(bytes_of("HTTP/1.1 200 OK\r\n")).c_str(), stdout);
  return 0;
}
