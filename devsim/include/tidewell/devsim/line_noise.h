// Random bit errors on one direction of the line, reproducible from a seed:
// which bits flip depends only on the seed and the bit positions, not on how
// the bytes are split into chunks.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <span>

namespace tidewell::devsim {

class LineNoise {
  public:
    // rate: probability that one bit flips, 0 (no noise) to 1.
    LineNoise(double rate, std::uint64_t seed);

    bool enabled() const { return rate_ > 0.0; }

    // Flips bits of bytes in place; onFlip gets the byte's index counted over
    // every byte passed so far, and the bit (0 = least significant).
    using FlipHandler = std::function<void(std::uint64_t byteIndex, int bit)>;
    void apply(std::span<std::uint8_t> bytes, const FlipHandler& onFlip);

  private:
    std::uint64_t drawGap();

    double rate_;
    std::mt19937_64 random_;
    std::uint64_t bitPosition_ = 0;  // bits passed so far
    std::uint64_t nextError_ = 0;    // absolute bit index of the next flip
};

}  // namespace tidewell::devsim
