#include "tidewell/devsim/throttle.h"

#include <algorithm>
#include <cmath>

namespace tidewell::devsim {

namespace {
constexpr double kBitsPerByte = 10.0;  // start bit, 8 data bits, stop bit
constexpr double kBurstSeconds = 0.010;
}  // namespace

TokenBucket::TokenBucket(double bytesPerSecond, double burst, Clock::time_point now)
    : rate_(bytesPerSecond), burst_(std::max(burst, 1.0)), tokens_(burst_), last_(now) {}

TokenBucket TokenBucket::forBaud(std::uint32_t baud, Clock::time_point now) {
    const double rate = baud / kBitsPerByte;
    return TokenBucket(rate, rate * kBurstSeconds, now);
}

void TokenBucket::refill(Clock::time_point now) {
    if (now <= last_) return;
    const double seconds = std::chrono::duration<double>(now - last_).count();
    tokens_ = std::min(burst_, tokens_ + seconds * rate_);
    last_ = now;
}

std::size_t TokenBucket::available(Clock::time_point now) {
    refill(now);
    return static_cast<std::size_t>(std::floor(tokens_));
}

void TokenBucket::consume(std::size_t bytes) {
    tokens_ -= static_cast<double>(bytes);
}

TokenBucket::Clock::time_point TokenBucket::readyAt(Clock::time_point now) {
    refill(now);
    if (tokens_ >= 1.0) return now;
    const double seconds = (1.0 - tokens_) / rate_;
    return now + std::chrono::ceil<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace tidewell::devsim
