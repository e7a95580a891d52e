// The device of the engine fuzz targets: the fuzzer's bytes are what the device sends,
// and when, on a line in simulated time.
//
// Bytes stand for themselves; 0xFF escapes:
//   FF FF        the byte 0xFF
//   FF 00        what follows waits for the host's next write
//   FF FE        the line hangs up (every read and write fails from then on)
//   FF FD        the port stops taking writes
//   FF n         (n from 1 to 252) n x 10 ms of silence before what follows
// Between escapes no time passes. Each write of the host releases at most one waiting
// part: a write while nothing waits for one is not counted.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scripted_line.h"

namespace tidewell::fuzz {

using testing::SimClock;

class DeviceScript final : public testing::TimedInput {
  public:
    static constexpr std::uint8_t kEscape = 0xFF;
    static constexpr std::uint8_t kAwaitWrite = 0x00;
    static constexpr std::uint8_t kHangUp = 0xFE;
    static constexpr std::uint8_t kStallWrites = 0xFD;
    static constexpr std::uint8_t kLongestSilence = 0xFC;
    static constexpr std::chrono::milliseconds kSilenceStep{10};

    DeviceScript(std::span<const std::uint8_t> data, SimClock::TimePoint start);

    // TimedInput
    std::optional<SimClock::TimePoint> nextInput() override;
    void release(testing::ScriptedLine& line, SimClock::TimePoint now) override;

    // The line's write reaction calls this (on the writer's thread).
    void hostWrote(SimClock::TimePoint now);

    // Every byte of the script, and those released so far.
    const std::string& allBytes() const { return allBytes_; }
    const std::string& sentBytes() const { return sent_; }
    // A hang-up or a stop of the writes was released.
    bool lineFaulted() const { return faulted_; }
    // Nothing is due: everything is out, or the rest waits for a write.
    bool idle() const { return scheduled_.empty(); }
    bool finished() const { return scheduled_.empty() && next_ == steps_.size(); }
    bool awaitsWrite() const { return idle() && !finished(); }
    // When the last step was released (the start while none was).
    SimClock::TimePoint lastRelease() const { return lastRelease_; }

  private:
    enum class Kind { bytes, hangUp, stallWrites };
    struct Step {
        bool awaitsWrite = false;
        std::chrono::milliseconds delay{0};
        Kind kind = Kind::bytes;
        std::string bytes;
    };
    struct Due {
        SimClock::TimePoint when;
        std::size_t step;
    };

    // Schedules from next_ on until a step that waits for a write (other than the first,
    // when a write has just come).
    void schedule(SimClock::TimePoint base, bool written);

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::deque<Due> scheduled_;
    SimClock::TimePoint lastDue_;
    SimClock::TimePoint lastRelease_;
    std::string allBytes_;
    std::string sent_;
    bool faulted_ = false;
};

// The reverse: a recorded device's output and the host's writes turned into a script.
class ScriptWriter {
  public:
    explicit ScriptWriter(SimClock::TimePoint start) : last_(start) {}
    void hostWrote(SimClock::TimePoint when);
    void deviceSent(SimClock::TimePoint when, const std::string& bytes);
    void hungUp(SimClock::TimePoint when);
    const std::vector<std::uint8_t>& bytes() const { return out_; }

  private:
    void silence(SimClock::TimePoint when);

    SimClock::TimePoint last_;
    std::vector<std::uint8_t> out_;
};

}  // namespace tidewell::fuzz
