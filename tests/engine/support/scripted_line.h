// A scripted serial line for engine tests: the test plays the device.
//
// ScriptedLine is the shared state; ScriptedBackend is the SerialBackend that a TSerie
// owns. Reads return what was fed (at most maxBytesPerRead at a time) or wait the
// port's read wait for it; writes are recorded and handed to an optional reaction that
// runs on the writer's thread and may feed the answer at once. Faults: hang-up (every
// read and write fails with EIO), pending completion (reads and writes report
// ERROR_IO_PENDING and complete through their event), stalled writes (the port takes
// nothing: a write returns empty after the port's write time-out, or never without one).
// With instant silence a read that finds nothing returns at once: the waits a command
// asks for are recorded without being spent, so production waits can be checked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tidewell/serial/backend.h"
#include "tidewell/serial/tserie.h"

namespace tidewell::testing {

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
