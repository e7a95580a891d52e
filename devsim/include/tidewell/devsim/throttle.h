// Token bucket that holds a byte stream to a line rate.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tidewell::devsim {

class TokenBucket {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts full: burst bytes may go at once, then bytesPerSecond.
    TokenBucket(double bytesPerSecond, double burst, Clock::time_point now);

    // A line of baud bits per second with ten bits per byte (start, 8 data, stop);
    // the burst is 10 ms of line time, at least one byte.
    static TokenBucket forBaud(std::uint32_t baud, Clock::time_point now);

    // Whole bytes that may go now.
    std::size_t available(Clock::time_point now);
    void consume(std::size_t bytes);
    // When at least one byte may go (now, when one may go already).
    Clock::time_point readyAt(Clock::time_point now);

  private:
    void refill(Clock::time_point now);

    double rate_;
    double burst_;
    double tokens_;
    Clock::time_point last_;
};

}  // namespace tidewell::devsim
