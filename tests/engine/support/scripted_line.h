// A scripted serial line for engine tests: the test plays the device.
//
// ScriptedLine is the shared state; ScriptedBackend is the SerialBackend that a TSerie
// owns. Reads return what was fed (at most maxBytesPerRead at a time) or wait the
// port's read wait for it; writes are recorded and handed to an optional reaction that
// runs on the writer's thread and may feed the answer at once. Faults: hang-up (every
// read and write fails with kHangUpError), pending completion (reads and writes report
// ERROR_IO_PENDING and complete through their event), stalled writes (the port takes
// nothing: a write returns empty after the port's write time-out, or never without one).
// With instant silence a read that finds nothing returns at once: the waits a command
// asks for are recorded without being spent, so production waits can be checked.
//
// Virtual time (useVirtualTime): no wait is spent for real. A read that finds nothing
// moves the SimClock on to the next input a TimedInput has due within the read wait, or
// by the whole wait; a stalled write moves it by the write time-out. The worker's own
// pauses and clock go to the same SimClock through simulatedTiming().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tidewell/engine/timing.h"
#include "tidewell/serial/backend.h"
#include "tidewell/serial/tserie.h"

namespace tidewell::testing {

// What reads and writes of a hung-up line fail with: EIO, ERROR_GEN_FAILURE on Windows.
#ifdef _WIN32
inline constexpr DWORD kHangUpError = 31;
#else
inline constexpr DWORD kHangUpError = 5;
#endif

class ScriptedLine;

// Simulated time; any thread. It never goes back.
class SimClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr TimePoint kStart = TimePoint{} + std::chrono::hours(1);

    TimePoint now() const;
    void advance(std::chrono::milliseconds span);
    void advanceTo(TimePoint when);
    // Back to kStart (between runs, while nobody else uses the clock).
    void reset();

  private:
    mutable std::mutex mutex_;
    TimePoint now_ = kStart;
};

// base with its pause and now on clock.
EngineTiming simulatedTiming(const std::shared_ptr<SimClock>& clock,
                             EngineTiming base = EngineTiming{});

// What the device sends in virtual time. Called on the reading thread, without the line's lock.
class TimedInput {
  public:
    virtual ~TimedInput() = default;
    // When the next input is due; nothing while none is coming.
    virtual std::optional<SimClock::TimePoint> nextInput() = 0;
    // Feeds (or does to the line) everything due by now; nextInput() is later afterwards.
    virtual void release(ScriptedLine& line, SimClock::TimePoint now) = 0;
};

// One read that returned bytes or one write, in the order they happened.
struct LineExchange {
    bool fromEngine = false;
    bool taken = true;  // a write the line refused (hung up, stalled) is kept with false
    std::string bytes;
};

class ScriptedLine {
  public:
    using Reaction = std::function<void(ScriptedLine& line, const std::string& written)>;

    void feed(const std::string& bytes);
    // Called with each chunk the engine writes, after it has been recorded.
    void onWrite(Reaction reaction);
    // Called at the start of every read with its 1-based number (may feed).
    void onRead(std::function<void(ScriptedLine& line, int readNumber)> hook);
    std::string written() const;
    std::string takeWritten();
    // Waits until the written bytes satisfy done, or the deadline passes.
    bool waitWritten(const std::function<bool(const std::string&)>& done,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    void hangUp();
    void setPending(bool on);
    void setMaxBytesPerRead(std::size_t bytes);
    void setInstantSilence(bool on);
    void stallWrites(bool on);
    int readCalls() const;
    // The read wait in force at each read, in ms, in order.
    std::vector<DWORD> readWaits() const;
    int writeCalls() const;
    std::size_t unreadBytes() const;
    std::vector<LineExchange> transcript() const;

    void useVirtualTime(std::shared_ptr<SimClock> clock, std::shared_ptr<TimedInput> input);
    // Back to a new line: no input, no record, no hooks, no faults, real time.
    void reset();

  private:
    friend class ScriptedBackend;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string input_;
    std::string written_;
    Reaction reaction_;
    std::function<void(ScriptedLine&, int)> readHook_;
    bool hungUp_ = false;
    bool pending_ = false;
    bool instantSilence_ = false;
    bool writesStalled_ = false;
    std::size_t maxBytesPerRead_ = 0;  // 0: no limit beyond the caller's count
    int readCalls_ = 0;
    std::vector<DWORD> readWaits_;
    int writeCalls_ = 0;
    std::vector<LineExchange> transcript_;
    std::shared_ptr<SimClock> clock_;
    std::shared_ptr<TimedInput> timedInput_;
};

class ScriptedBackend final : public SerialBackend {
  public:
    explicit ScriptedBackend(std::shared_ptr<ScriptedLine> line) : line_(std::move(line)) {}

    bool open(const std::string& path) override;
    bool isOpen() const override { return open_; }
    bool getState(DCB& dcb) override;
    bool setState(const DCB& dcb) override;
    bool getTimeouts(COMMTIMEOUTS& timeouts) override;
    bool setTimeouts(const COMMTIMEOUTS& timeouts) override;
    bool read(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override;
    bool write(const void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override;
    bool overlappedResult(Overlapped* overlapped, DWORD* moved, bool wait) override;
    bool close() override;
    DWORD lastError() const override { return error_; }

  private:
    bool complete(DWORD count, DWORD* moved, Overlapped* overlapped);
    // Virtual time: releases what is due, spending at most the read wait; false on a hang-up.
    bool awaitVirtualInput(bool waits);
    bool take(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped);

    std::shared_ptr<ScriptedLine> line_;
    bool open_ = false;
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
    DWORD error_ = ERROR_SUCCESS;
};

// A standard-link port (8N1, 4 ms read wait) over the scripted line, named path.
std::unique_ptr<TSerie> openScriptedPort(const std::shared_ptr<ScriptedLine>& line,
                                         const std::string& path = "/dev/scripted0",
                                         DWORD baudRate = 115200);

}  // namespace tidewell::testing
