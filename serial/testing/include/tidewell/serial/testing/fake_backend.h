// A recording fake of the serial backend, for tests of TSerie and of the code that reads
// and writes through it.
//
// FakeSerialDevice is the shared state: the calls made, failures to inject, bytes to hand
// to reads and the bytes written. It outlives the backend (a TSerie owns its backend).
// All members are safe to call from any thread.
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
#include "tidewell/serial/event.h"
#include "tidewell/serial/tserie.h"

namespace tidewell::testing {

enum class SerialCall {
    open,
    getState,
    setState,
    getTimeouts,
    setTimeouts,
    read,
    write,
    overlappedResult,
    close
};

const char* callName(SerialCall call);

struct RecordedCall {
    SerialCall call = SerialCall::open;
    std::string path;         // open
    DCB dcb{};                // getState (as returned), setState (as given)
    COMMTIMEOUTS timeouts{};  // getTimeouts (as returned), setTimeouts (as given)
    bool succeeded = true;
};

class FakeSerialDevice {
  public:
    std::vector<RecordedCall> calls() const;
    std::vector<SerialCall> callSequence() const;
    // The control blocks / time-out records handed to the device, in order.
    std::vector<DCB> statesGiven() const;
    std::vector<COMMTIMEOUTS> timeoutsGiven() const;
    bool isOpen() const;

    // The occurrence-th (1-based, counted from now on) call of this kind fails with code.
    void failOn(SerialCall call, int occurrence, DWORD code);

    // Bytes the next reads return.
    void feed(const std::string& bytes);
    // Bytes written so far; taken out of the fake.
    std::string takeWritten();

    // While on, reads and writes report ERROR_IO_PENDING; completePending() finishes the
    // oldest one (its Overlapped gets the count and its event is set).
    void setPending(bool on);
    bool completePending(DWORD bytes, DWORD error = ERROR_SUCCESS);

    // The state the device reports before anything was set.
    void setInitialState(const DCB& dcb);

  private:
    friend class FakeSerialBackend;
    struct Failure {
        SerialCall call = SerialCall::open;
        int remaining;
        DWORD code;
    };
    struct PendingOp {
        Overlapped* overlapped;
    };

    // Records the call; returns the injected error code, or ERROR_SUCCESS.
    DWORD record(RecordedCall call);

    mutable std::mutex mutex_;
    std::condition_variable inputArrived_;
    std::vector<RecordedCall> calls_;
    std::vector<Failure> failures_;
    std::string input_;
    std::string written_;
    bool pending_ = false;
    std::vector<PendingOp> pendingOps_;
    bool open_ = false;
    DCB state_{};
    COMMTIMEOUTS timeouts_{};
};

class FakeSerialBackend final : public SerialBackend {
  public:
    explicit FakeSerialBackend(std::shared_ptr<FakeSerialDevice> device);

    bool open(const std::string& path) override;
    bool isOpen() const override;
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
    bool fail(DWORD code);
    bool finish(bool started, DWORD count, DWORD* moved, Overlapped* overlapped);

    std::shared_ptr<FakeSerialDevice> device_;
    bool open_ = false;
    DWORD error_ = ERROR_SUCCESS;
};

// A platform whose backends all share `device`; COMn maps to "/dev/fake/COMn" unless
// `devicePath` says otherwise.
SerialPlatform fakeSerialPlatform(std::shared_ptr<FakeSerialDevice> device,
                                  std::function<std::string(std::uint8_t)> devicePath = {});

}  // namespace tidewell::testing
