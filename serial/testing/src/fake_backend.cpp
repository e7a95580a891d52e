#include "tidewell/serial/testing/fake_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tidewell/serial/event.h"

namespace tidewell::testing {

const char* callName(SerialCall call) {
    switch (call) {
        case SerialCall::open:
            return "open";
        case SerialCall::getState:
            return "getState";
        case SerialCall::setState:
            return "setState";
        case SerialCall::getTimeouts:
            return "getTimeouts";
        case SerialCall::setTimeouts:
            return "setTimeouts";
        case SerialCall::read:
            return "read";
        case SerialCall::write:
            return "write";
        case SerialCall::overlappedResult:
            return "overlappedResult";
        case SerialCall::close:
            return "close";
    }
    return "?";
}

std::vector<RecordedCall> FakeSerialDevice::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<SerialCall> FakeSerialDevice::callSequence() const {
    std::lock_guard lock(mutex_);
    std::vector<SerialCall> sequence;
    for (const auto& c : calls_) sequence.push_back(c.call);
    return sequence;
}

std::vector<DCB> FakeSerialDevice::statesGiven() const {
    std::lock_guard lock(mutex_);
    std::vector<DCB> states;
    for (const auto& c : calls_) {
        if (c.call == SerialCall::setState) states.push_back(c.dcb);
    }
    return states;
}

std::vector<COMMTIMEOUTS> FakeSerialDevice::timeoutsGiven() const {
    std::lock_guard lock(mutex_);
    std::vector<COMMTIMEOUTS> given;
    for (const auto& c : calls_) {
        if (c.call == SerialCall::setTimeouts) given.push_back(c.timeouts);
    }
    return given;
}

bool FakeSerialDevice::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

void FakeSerialDevice::failOn(SerialCall call, int occurrence, DWORD code) {
    std::lock_guard lock(mutex_);
    failures_.push_back({call, occurrence, code});
}

void FakeSerialDevice::feed(const std::string& bytes) {
    {
        std::lock_guard lock(mutex_);
        input_ += bytes;
    }
    inputArrived_.notify_all();
}

std::string FakeSerialDevice::takeWritten() {
    std::lock_guard lock(mutex_);
    return std::exchange(written_, {});
}

void FakeSerialDevice::setPending(bool on) {
    std::lock_guard lock(mutex_);
    pending_ = on;
}

bool FakeSerialDevice::completePending(DWORD bytes, DWORD error) {
    Overlapped* overlapped = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (pendingOps_.empty()) return false;
        overlapped = pendingOps_.front().overlapped;
        pendingOps_.erase(pendingOps_.begin());
        overlapped->Internal = error;
        overlapped->InternalHigh = bytes;
    }
    if (overlapped->hEvent) overlapped->hEvent->set();
    return true;
}

void FakeSerialDevice::setInitialState(const DCB& dcb) {
    std::lock_guard lock(mutex_);
    state_ = dcb;
}

namespace {
RecordedCall callOf(SerialCall kind) {
    RecordedCall call;
    call.call = kind;
    return call;
}
}  // namespace

DWORD FakeSerialDevice::record(RecordedCall call) {
    DWORD code = ERROR_SUCCESS;
    for (auto it = failures_.begin(); it != failures_.end(); ++it) {
        if (it->call == call.call && --it->remaining == 0) {
            code = it->code;
            failures_.erase(it);
            break;
        }
    }
    call.succeeded = code == ERROR_SUCCESS;
    calls_.push_back(std::move(call));
    return code;
}

FakeSerialBackend::FakeSerialBackend(std::shared_ptr<FakeSerialDevice> device)
    : device_(std::move(device)) {}

bool FakeSerialBackend::fail(DWORD code) {
    error_ = code;
    return false;
}

bool FakeSerialBackend::open(const std::string& path) {
    std::lock_guard lock(device_->mutex_);
    RecordedCall call = callOf(SerialCall::open);
    call.path = path;
    if (const DWORD code = device_->record(call)) return fail(code);
    if (device_->open_) {
        device_->calls_.back().succeeded = false;
        return fail(EBUSY);
    }
    device_->open_ = open_ = true;
    return true;
}

bool FakeSerialBackend::isOpen() const {
    return open_;
}

bool FakeSerialBackend::getState(DCB& dcb) {
    std::lock_guard lock(device_->mutex_);
    RecordedCall call = callOf(SerialCall::getState);
    call.dcb = device_->state_;
    if (const DWORD code = device_->record(call)) return fail(code);
    if (!open_) return fail(EBADF);
    dcb = device_->state_;
    return true;
}

bool FakeSerialBackend::setState(const DCB& dcb) {
    std::lock_guard lock(device_->mutex_);
    RecordedCall call = callOf(SerialCall::setState);
    call.dcb = dcb;
    if (const DWORD code = device_->record(call)) return fail(code);
    if (!open_) return fail(EBADF);
    device_->state_ = dcb;
    return true;
}

bool FakeSerialBackend::getTimeouts(COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(device_->mutex_);
    RecordedCall call = callOf(SerialCall::getTimeouts);
    call.timeouts = device_->timeouts_;
    if (const DWORD code = device_->record(call)) return fail(code);
    if (!open_) return fail(EBADF);
    timeouts = device_->timeouts_;
    return true;
}

bool FakeSerialBackend::setTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(device_->mutex_);
    RecordedCall call = callOf(SerialCall::setTimeouts);
    call.timeouts = timeouts;
    if (const DWORD code = device_->record(call)) return fail(code);
    if (!open_) return fail(EBADF);
    device_->timeouts_ = timeouts;
    return true;
}

bool FakeSerialBackend::finish(bool started, DWORD count, DWORD* moved, Overlapped* overlapped) {
    if (!started) return false;
    if (moved) *moved = count;
    if (overlapped) {
        overlapped->Internal = ERROR_SUCCESS;
        overlapped->InternalHigh = count;
        if (overlapped->hEvent) overlapped->hEvent->set();
    }
    return true;
}

bool FakeSerialBackend::read(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) {
    std::unique_lock lock(device_->mutex_);
    if (const DWORD code = device_->record(callOf(SerialCall::read))) return fail(code);
    if (!open_) return fail(EBADF);
    if (device_->pending_) {
        if (overlapped) overlapped->Internal = ERROR_IO_PENDING;
        device_->pendingOps_.push_back({overlapped});
        return fail(ERROR_IO_PENDING);
    }
    const COMMTIMEOUTS& t = device_->timeouts_;
    if (device_->input_.empty() && t.ReadIntervalTimeout == MAXDWORD &&
        t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != MAXDWORD) {
        device_->inputArrived_.wait_for(lock, std::chrono::milliseconds(t.ReadTotalTimeoutConstant),
                                        [this] { return !device_->input_.empty(); });
    }
    const DWORD n = std::min<DWORD>(count, static_cast<DWORD>(device_->input_.size()));
    std::memcpy(buffer, device_->input_.data(), n);
    device_->input_.erase(0, n);
    return finish(true, n, moved, overlapped);
}

bool FakeSerialBackend::write(const void* buffer, DWORD count, DWORD* moved,
                              Overlapped* overlapped) {
    std::lock_guard lock(device_->mutex_);
    if (const DWORD code = device_->record(callOf(SerialCall::write))) return fail(code);
    if (!open_) return fail(EBADF);
    device_->written_.append(static_cast<const char*>(buffer), count);
    if (device_->pending_) {
        if (overlapped) overlapped->Internal = ERROR_IO_PENDING;
        device_->pendingOps_.push_back({overlapped});
        return fail(ERROR_IO_PENDING);
    }
    return finish(true, count, moved, overlapped);
}

bool FakeSerialBackend::overlappedResult(Overlapped* overlapped, DWORD* moved, bool wait) {
    if (wait && overlapped && overlapped->hEvent) overlapped->hEvent->wait();
    std::lock_guard lock(device_->mutex_);
    if (const DWORD code = device_->record(callOf(SerialCall::overlappedResult))) return fail(code);
    if (!overlapped) return fail(EINVAL);
    if (overlapped->Internal != ERROR_SUCCESS) return fail(overlapped->Internal);
    *moved = overlapped->InternalHigh;
    return true;
}

bool FakeSerialBackend::close() {
    std::lock_guard lock(device_->mutex_);
    if (const DWORD code = device_->record(callOf(SerialCall::close))) return fail(code);
    if (!open_) {
        device_->calls_.back().succeeded = false;
        return fail(EBADF);
    }
    open_ = device_->open_ = false;
    return true;
}

SerialPlatform fakeSerialPlatform(std::shared_ptr<FakeSerialDevice> device,
                                  std::function<std::string(std::uint8_t)> devicePath) {
    if (!devicePath) {
        devicePath = [](std::uint8_t n) { return "/dev/fake/COM" + std::to_string(n); };
    }
    return SerialPlatform{[device] { return std::make_unique<FakeSerialBackend>(device); },
                          std::move(devicePath)};
}

}  // namespace tidewell::testing
