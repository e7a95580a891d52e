// The Win32 backend's logic over Win32Comm. Built on every platform, so that the
// recording of its Win32 calls is tested everywhere.
#include "tidewell/serial/win32_backend.h"

#include <iostream>
#include <mutex>
#include <utility>

#include "tidewell/serial/event.h"

namespace tidewell {

namespace {

// A closed port's handle: CloseHandle on it fails, so a second close reports failure.
constexpr Win32Comm::Handle kNullHandle = 0;
constexpr DWORD kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
// wine's working read wait: at most 1 ms between bytes, n ms in all.
constexpr DWORD kWineReadInterval = 1;

std::mutex noteMutex;
std::function<void(const std::string&)> noteSink = [](const std::string& text) {
    std::cerr << text << '\n';
};

void noteOnce(const std::string& text) {
    static std::once_flag said;
    std::call_once(said, [&] {
        std::lock_guard lock(noteMutex);
        if (noteSink) noteSink(text);
    });
}

bool isReadWait(const COMMTIMEOUTS& t) {
    return t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
           t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
}

bool isNonBlockingRead(const COMMTIMEOUTS& t) {
    return t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
           t.ReadTotalTimeoutConstant == 0;
}

// The time-outs wine's serial driver honours for the record the port asks for.
COMMTIMEOUTS forWine(COMMTIMEOUTS t) {
    if (isReadWait(t)) {
        t.ReadIntervalTimeout = kWineReadInterval;
        t.ReadTotalTimeoutMultiplier = 0;
    }
    return t;
}

class Win32Backend final : public SerialBackend {
  public:
    explicit Win32Backend(std::unique_ptr<Win32Comm> comm) : comm_(std::move(comm)) {
        const std::string wine = comm_->wineVersion();
        underWine_ = !wine.empty();
        if (underWine_) {
            noteOnce("Running under wine " + wine +
                     ": serial reads use wine's working time-outs (1, 0, n) and cancel a "
                     "non-blocking read that is still pending.");
        }
    }

    ~Win32Backend() override {
        if (isOpen()) comm_->closeHandle(handle_);
    }

    bool open(const std::string& path) override {
        const Win32Comm::Handle handle = comm_->createFileA(path);
        if (handle == Win32Comm::kInvalidHandle) {
            error_ = comm_->getLastError();
            return false;
        }
        handle_ = handle;
        error_ = ERROR_SUCCESS;
        return true;
    }

    bool isOpen() const override { return handle_ != kNullHandle; }

    bool getState(DCB& dcb) override { return done(comm_->getCommState(handle_, dcb)); }

    bool setState(const DCB& dcb) override { return done(comm_->setCommState(handle_, dcb)); }

    bool getTimeouts(COMMTIMEOUTS& timeouts) override {
        return done(comm_->getCommTimeouts(handle_, timeouts));
    }

    bool setTimeouts(const COMMTIMEOUTS& timeouts) override {
        if (!done(comm_->setCommTimeouts(handle_, underWine_ ? forWine(timeouts) : timeouts))) {
            return false;
        }
        asked_ = timeouts;
        return true;
    }

    bool read(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override {
        DWORD got = 0;
        bool ok = comm_->readFile(handle_, buffer, count, &got, IoSlot::read);
        if (!ok && comm_->getLastError() == ERROR_IO_PENDING) {
            if (underWine_ && isNonBlockingRead(asked_) &&
                !comm_->waitForSingleObject(IoSlot::read, 0)) {
                comm_->cancelIo(handle_);
            }
            ok = comm_->getOverlappedResult(handle_, IoSlot::read, &got, true);
            if (!ok && underWine_) {
                const DWORD error = comm_->getLastError();
                ok = error == ERROR_TIMEOUT || error == ERROR_OPERATION_ABORTED;
            }
        }
        return complete(ok, got, moved, overlapped);
    }

    bool write(const void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override {
        DWORD put = 0;
        bool ok = comm_->writeFile(handle_, buffer, count, &put, IoSlot::write);
        if (!ok && comm_->getLastError() == ERROR_IO_PENDING) {
            ok = comm_->getOverlappedResult(handle_, IoSlot::write, &put, true);
        }
        return complete(ok, put, moved, overlapped);
    }

    bool overlappedResult(Overlapped* overlapped, DWORD* moved, bool /*wait*/) override {
        // Every operation has completed before read() or write() returned.
        if (!overlapped) {
            error_ = kInvalidParameter;
            return false;
        }
        if (overlapped->Internal != ERROR_SUCCESS) {
            error_ = overlapped->Internal;
            return false;
        }
        *moved = overlapped->InternalHigh;
        error_ = ERROR_SUCCESS;
        return true;
    }

    bool close() override {
        const bool closed = done(comm_->closeHandle(handle_));
        handle_ = kNullHandle;
        return closed;
    }

    DWORD lastError() const override { return error_; }

  private:
    bool done(bool ok) {
        error_ = ok ? ERROR_SUCCESS : comm_->getLastError();
        return ok;
    }

    bool complete(bool ok, DWORD count, DWORD* moved, Overlapped* overlapped) {
        error_ = ok ? ERROR_SUCCESS : comm_->getLastError();
        if (moved) *moved = count;
        if (overlapped) {
            overlapped->Internal = error_;
            overlapped->InternalHigh = count;
            if (overlapped->hEvent) overlapped->hEvent->set();
        }
        return ok;
    }

    std::unique_ptr<Win32Comm> comm_;
    Win32Comm::Handle handle_ = kNullHandle;
    bool underWine_ = false;
    COMMTIMEOUTS asked_{};
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<SerialBackend> makeWin32Backend(std::unique_ptr<Win32Comm> comm) {
    return std::make_unique<Win32Backend>(std::move(comm));
}

std::string win32DevicePath(std::uint8_t portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

void setSerialNoteSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(noteMutex);
    noteSink = std::move(sink);
}

}  // namespace tidewell
