// Progress percentages of the block transfer, in 64-bit arithmetic: files of firmware
// packages pass the sizes where 32-bit products wrap (about 42 MB).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "tidewell/engine/reply_marks.h"

namespace tidewell::progress {

inline constexpr std::uint64_t kSenderPercentPerPacket = 1024 * 100;

constexpr std::int32_t clampPercent(std::uint64_t percent) {
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(percent, std::numeric_limits<std::int32_t>::max()));
}

// After `packets` delivered 1024-byte packets of a file of `length` bytes (> 0); the
// padding of the last packet can take it above 100.
constexpr std::int32_t senderPercent(std::uint64_t packets, std::uint64_t length) {
    return clampPercent(packets * kSenderPercentPerPacket / length);
}

// After `bytes` received payload bytes.
constexpr std::int32_t receiverPercent(std::uint64_t bytes) {
    return clampPercent((bytes * 100) >> protocol::kReceiverReferenceShift);
}

static_assert(senderPercent(3, 3000) == 102);
static_assert(receiverPercent(131072) == 100);

}  // namespace tidewell::progress
