#include "undump/patch_writer.h"

#include <cstring>

#include "platform/platform.h"

namespace quarnel {

bool flush_patch(PatchWriter& patch) {
  const std::size_t used = patch.used;
  patch.used = 0;
  return write_at(patch.fd, patch.start, std::span(patch.buffer).first(used));
}

bool patch_bytes(PatchWriter& patch, std::uint32_t address, std::span<const std::uint8_t> bytes) {
  const bool follows = address == patch.start + patch.used;
  if (!follows || patch.buffer.size() - patch.used < bytes.size()) {
    if (!flush_patch(patch)) {
      return false;
    }
    patch.start = address;
  }
  std::memcpy(patch.buffer.data() + patch.used, bytes.data(), bytes.size());
  patch.used += bytes.size();
  return true;
}

}  // namespace quarnel
