// The system's reason for a failed call, and whether to make it again, on
// POSIX systems.
#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace quarnel {

int last_error() { return errno; }

std::string_view error_text(int error) {
  // The system's words, with a small first letter to follow a colon.
  static std::array<char, 256> text{};
  const std::string_view words = std::strerror(error);
  const std::size_t size = std::min(words.size(), text.size() - 1);
  words.copy(text.data(), size);
  if (size > 0 && text[0] >= 'A' && text[0] <= 'Z' &&
      (size < 2 || text[1] < 'A' || text[1] > 'Z')) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return {text.data(), size};
}

}  // namespace quarnel

namespace quarnel::posix {

bool call_again(int handle, short events) {
  if (errno == EINTR) {
    return true;
  }
  if (errno != EAGAIN && errno != EWOULDBLOCK) {
    return false;
  }
  pollfd waiting{handle, events, 0};
  return ::poll(&waiting, 1, -1) >= 0 || errno == EINTR;
}

}  // namespace quarnel::posix
