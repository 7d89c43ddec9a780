// Logs the bytes a program receives, as they arrive, as a hex dump: a
// socket's data, say, which comes in pieces of any size. The lines are those
// of the whole data dumped at once. Then reads a dump back, as a program
// would read one a user edited, and says what is wrong with it.
#include <quarnel/dump.h>
#include <quarnel/undump.h>
#include <quarnel/version.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

int main() {
  // Three pieces, as recv() might return them.
  constexpr std::string_view pieces[] = {"GET /index.html HTTP/1.1\r\nHost: exa", "mple.org\r\n",
                                         "Accept: */*\r\n\r\n"};
  quarnel::StreamDump stream;
  std::vector<char> out;
  for (const std::string_view piece : pieces) {
    out.resize(quarnel::dump_more_size(stream, piece.size()));
    const std::optional<std::size_t> written = quarnel::dump_more(stream, piece, out);
    std::fwrite(out.data(), 1, written.value_or(0), stdout);
  }
  // The connection closed: the last line.
  out.resize(quarnel::finish_dump_size(stream));
  std::fwrite(out.data(), 1, quarnel::finish_dump(stream, out), stdout);

  // A log that reuses one string for every message.
  std::string log = "sent:\n";
  quarnel::append_dump(log, std::string_view("HTTP/1.1 200 OK\r\n"));
  std::fputs(log.c_str(), stdout);

  // A dump read back: the second byte has a typo.
  std::array<unsigned char, 16> bytes{};
  const quarnel::ReadBack back = quarnel::read_dump("00000000  48 5G 4C\n", bytes);
  if (!back.ok()) {
    std::printf("libquarnel %s: line %llu, column %zu: %s\n",
                std::string(quarnel::version()).c_str(), static_cast<unsigned long long>(back.line),
                back.column, std::string(quarnel::message(back.error)).c_str());
  }
  return 0;
}
