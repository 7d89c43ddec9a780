// The bytes the program has read, counted alike on every system.
#include <atomic>

#include "platform/platform.h"

namespace quarnel {
namespace {

std::atomic<std::uint64_t> read_so_far{0};

}  // namespace

std::uint64_t bytes_read_so_far() { return read_so_far.load(std::memory_order_relaxed); }

void count_bytes_read(std::size_t count) {
  read_so_far.fetch_add(count, std::memory_order_relaxed);
}

}  // namespace quarnel
