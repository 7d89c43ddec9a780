// The lock a run of unquarnel holds on the file it writes, on POSIX
// systems.
#include <sys/file.h>

#include <cerrno>

#include "platform/posix/posix_files.h"

namespace quarnel::posix {

bool lock_file(int handle) {
  int result = 0;
  while ((result = ::flock(handle, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  return result == 0 || errno != EWOULDBLOCK;
}

}  // namespace quarnel::posix
