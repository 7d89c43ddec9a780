// The read loop of every stream that reads bytes: the input skipped to the
// range's start, by a seek where it can, then read in large blocks, each
// run of the range's bytes handed on; lines already made reach the output
// before a wait for more input, so a slow source is shown as it arrives.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "io/output_writer.h"
#include "platform/platform.h"

namespace quarnel {

enum class RangeStop {
  end,                  // the input or the range ended
  past_end,             // the input ended before the start
  read_error_skipping,  // reading failed before the start
  read_error,           // reading failed within the range
  write_error,          // take failed
};

// Reads at most length bytes of input from start and hands each run to
// take, which returns false when the output failed. Once past its end the
// input is never read again.
template <class Take>
[[nodiscard]] RangeStop read_range(int input, std::uint64_t start, std::uint64_t length,
                                   OutputWriter& out, Take take) {
  // One input at a time; static to keep the stack small.
  static std::array<std::uint8_t, input_block_size> block;
  std::uint64_t to_skip = start;
  if (to_skip > 0) {
    switch (skip_by_seeking(input, to_skip)) {
      case SkipResult::unsupported:
        break;
      case SkipResult::done:
        to_skip = 0;
        break;
      case SkipResult::too_short:
        return RangeStop::past_end;
      case SkipResult::error:
        return RangeStop::read_error_skipping;
    }
  }
  const bool may_block = may_wait(input);
  std::uint64_t left = length;
  while (left > 0) {
    if (may_block && out.used > 0 && !ready_to_read(input) && !flush_output(out)) {
      return RangeStop::write_error;
    }
    const ReadResult got = read_block(input, block);
    if (got.status != ReadStatus::data) {
      if (to_skip > 0) {
        return got.status == ReadStatus::end ? RangeStop::past_end : RangeStop::read_error_skipping;
      }
      return got.status == ReadStatus::end ? RangeStop::end : RangeStop::read_error;
    }
    const auto skipped = static_cast<std::size_t>(std::min<std::uint64_t>(to_skip, got.count));
    to_skip -= skipped;
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(got.count - skipped, left));
    left -= size;
    if (!take(std::span<const std::uint8_t>(block).subspan(skipped, size))) {
      return RangeStop::write_error;
    }
  }
  return RangeStop::end;
}

}  // namespace quarnel
