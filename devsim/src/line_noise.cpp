#include "tidewell/devsim/line_noise.h"

#include <cmath>
#include <limits>

namespace tidewell::devsim {

namespace {
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
}

LineNoise::LineNoise(double rate, std::uint64_t seed) : rate_(rate), random_(seed) {
    nextError_ = enabled() ? drawGap() : kNever;
}

// Bits up to the next error follow a geometric distribution; drawing the gaps
// keeps the cost per error, not per bit, and independent of chunking.
std::uint64_t LineNoise::drawGap() {
    if (rate_ >= 1.0) return 0;
    // 53 random bits give a uniform value in (0, 1].
    const double uniform = static_cast<double>((random_() >> 11) + 1) * 0x1.0p-53;
    const double gap = std::floor(std::log(uniform) / std::log1p(-rate_));
    if (!(gap < 1e18)) return std::uint64_t{1} << 60;
    return static_cast<std::uint64_t>(gap);
}

void LineNoise::apply(std::span<std::uint8_t> bytes, const FlipHandler& onFlip) {
    if (!enabled()) return;
    const std::uint64_t endBit = bitPosition_ + bytes.size() * 8;
    while (nextError_ < endBit) {
        const std::uint64_t offset = nextError_ - bitPosition_;
        const int bit = static_cast<int>(offset % 8);
        bytes[offset / 8] ^= static_cast<std::uint8_t>(1u << bit);
        if (onFlip) onFlip(nextError_ / 8, bit);
        nextError_ += drawGap() + 1;
    }
    bitPosition_ = endBit;
}

}  // namespace tidewell::devsim
