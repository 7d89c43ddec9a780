#include "patch/patch_writer.h"

#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {

bool flush_patch(PatchWriter& patch) {
  const PatchRecord record{patch.start, patch.used};
  const std::size_t used = patch.used;
  patch.used = 0;
  if (used == 0) {
    return true;
  }
  const std::array<std::string_view, 2> pieces{
      std::string_view(reinterpret_cast<const char*>(&record), sizeof record),
      std::string_view(reinterpret_cast<const char*>(patch.buffer.data()), used)};
  return write_all(patch.records, pieces);
}

bool patch_bytes(PatchWriter& patch, std::uint64_t address, std::span<const std::uint8_t> bytes) {
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

bool patch_record(PatchWriter& patch, const PatchRecord& record,
                  std::span<const std::uint8_t> bytes) {
  if (!flush_patch(patch)) {
    return false;
  }
  const std::array<std::string_view, 2> pieces{
      std::string_view(reinterpret_cast<const char*>(&record), sizeof record),
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())};
  return write_all(patch.records, pieces);
}

}  // namespace quarnel
