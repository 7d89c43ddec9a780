#include "patch/patch_writer.h"

#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {
namespace {

bool write_record(PatchWriter& patch, const PatchRecord& record,
                  std::span<const std::uint8_t> bytes) {
  const std::array<std::string_view, 2> pieces{
      std::string_view(reinterpret_cast<const char*>(&record), sizeof record),
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())};
  if (write_all(patch.records, pieces)) {
    return true;
  }
  patch.error = last_error();
  return false;
}

}  // namespace

bool flush_patch(PatchWriter& patch) {
  const PatchRecord record{patch.start, patch.used};
  const std::size_t used = patch.used;
  patch.used = 0;
  if (used == 0) {
    return true;
  }
  return write_record(patch, record, std::span(patch.buffer).first(used));
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
  return flush_patch(patch) && write_record(patch, record, bytes);
}

}  // namespace quarnel
