#include "scripted_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tidewell/serial/event.h"

namespace tidewell::testing {

void ScriptedLine::feed(const std::string& bytes) {
    {
        std::lock_guard lock(mutex_);
        input_ += bytes;
    }
    changed_.notify_all();
}

void ScriptedLine::onWrite(Reaction reaction) {
    std::lock_guard lock(mutex_);
    reaction_ = std::move(reaction);
}

void ScriptedLine::onRead(std::function<void(ScriptedLine&, int)> hook) {
    std::lock_guard lock(mutex_);
    readHook_ = std::move(hook);
}

std::string ScriptedLine::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::string ScriptedLine::takeWritten() {
    std::lock_guard lock(mutex_);
    return std::exchange(written_, {});
}

bool ScriptedLine::waitWritten(const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(written_); });
}

void ScriptedLine::hangUp() {
    {
        std::lock_guard lock(mutex_);
        hungUp_ = true;
    }
    changed_.notify_all();
}

void ScriptedLine::setPending(bool on) {
    std::lock_guard lock(mutex_);
    pending_ = on;
}

void ScriptedLine::setMaxBytesPerRead(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    maxBytesPerRead_ = bytes;
}

void ScriptedLine::setInstantSilence(bool on) {
    std::lock_guard lock(mutex_);
    instantSilence_ = on;
}

void ScriptedLine::stallWrites(bool on) {
    {
        std::lock_guard lock(mutex_);
        writesStalled_ = on;
    }
    changed_.notify_all();
}

int ScriptedLine::readCalls() const {
    std::lock_guard lock(mutex_);
    return readCalls_;
}

std::vector<DWORD> ScriptedLine::readWaits() const {
    std::lock_guard lock(mutex_);
    return readWaits_;
}

int ScriptedLine::writeCalls() const {
    std::lock_guard lock(mutex_);
    return writeCalls_;
}

std::size_t ScriptedLine::unreadBytes() const {
    std::lock_guard lock(mutex_);
    return input_.size();
}

bool ScriptedBackend::open(const std::string&) {
    open_ = true;
    return true;
}

bool ScriptedBackend::getState(DCB& dcb) {
    dcb = dcb_;
    return true;
}

bool ScriptedBackend::setState(const DCB& dcb) {
    dcb_ = dcb;
    return true;
}

bool ScriptedBackend::getTimeouts(COMMTIMEOUTS& timeouts) {
    timeouts = timeouts_;
    return true;
}

bool ScriptedBackend::setTimeouts(const COMMTIMEOUTS& timeouts) {
    timeouts_ = timeouts;
    return true;
}

bool ScriptedBackend::complete(DWORD count, DWORD* moved, Overlapped* overlapped) {
    bool pending = false;
    {
        std::lock_guard lock(line_->mutex_);
        pending = line_->pending_;
    }
    if (!pending || overlapped == nullptr || overlapped->hEvent == nullptr) {
        if (moved != nullptr) {
            *moved = count;
        }
        error_ = ERROR_SUCCESS;
        return true;
    }
    overlapped->InternalHigh = count;
    overlapped->hEvent->set();
    error_ = ERROR_IO_PENDING;
    return false;
}

bool ScriptedBackend::read(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) {
    std::function<void(ScriptedLine&, int)> hook;
    int number = 0;
    {
        std::lock_guard lock(line_->mutex_);
        number = ++line_->readCalls_;
        line_->readWaits_.push_back(timeouts_.ReadTotalTimeoutConstant);
        hook = line_->readHook_;
    }
    if (hook) {
        hook(*line_, number);
    }
    std::unique_lock lock(line_->mutex_);
    if (line_->hungUp_) {
        error_ = EIO;
        return false;
    }
    const bool waits = timeouts_.ReadIntervalTimeout == MAXDWORD &&
                       timeouts_.ReadTotalTimeoutMultiplier == MAXDWORD;
    if (line_->input_.empty() && waits && !line_->instantSilence_) {
        line_->changed_.wait_for(lock,
                                 std::chrono::milliseconds(timeouts_.ReadTotalTimeoutConstant),
                                 [&] { return !line_->input_.empty() || line_->hungUp_; });
        if (line_->hungUp_) {
            error_ = EIO;
            return false;
        }
    }
    std::size_t n = std::min<std::size_t>(count, line_->input_.size());
    if (line_->maxBytesPerRead_ != 0) {
        n = std::min(n, line_->maxBytesPerRead_);
    }
    std::memcpy(buffer, line_->input_.data(), n);
    line_->input_.erase(0, n);
    lock.unlock();
    return complete(static_cast<DWORD>(n), moved, overlapped);
}

bool ScriptedBackend::write(const void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) {
    ScriptedLine::Reaction reaction;
    const std::string chunk(static_cast<const char*>(buffer), count);
    {
        std::unique_lock lock(line_->mutex_);
        ++line_->writeCalls_;
        if (line_->writesStalled_ && !line_->hungUp_) {
            const auto unstalled = [&] { return !line_->writesStalled_ || line_->hungUp_; };
            const std::uint64_t limit =
                std::uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * count +
                timeouts_.WriteTotalTimeoutConstant;
            if (limit == 0) {
                line_->changed_.wait(lock, unstalled);
            } else if (!line_->changed_.wait_for(lock, std::chrono::milliseconds(limit),
                                                 unstalled)) {
                lock.unlock();
                return complete(0, moved, overlapped);  // the write time-out passed
            }
        }
        if (line_->hungUp_) {
            error_ = EIO;
            return false;
        }
        line_->written_ += chunk;
        reaction = line_->reaction_;
    }
    line_->changed_.notify_all();
    if (reaction) {
        reaction(*line_, chunk);
    }
    return complete(count, moved, overlapped);
}

bool ScriptedBackend::overlappedResult(Overlapped* overlapped, DWORD* moved, bool) {
    if (moved != nullptr) {
        *moved = overlapped->InternalHigh;
    }
    error_ = ERROR_SUCCESS;
    return true;
}

bool ScriptedBackend::close() {
    const bool was = open_;
    open_ = false;
    return was;
}

std::unique_ptr<TSerie> openScriptedPort(const std::shared_ptr<ScriptedLine>& line,
                                         const std::string& path, DWORD baudRate) {
    SerialPlatform platform{[line] { return std::make_unique<ScriptedBackend>(line); },
                            [path](std::uint8_t) { return path; }};
    std::string whyNot;
    auto port = createSerialPort(1, baudRate, platform, &whyNot);
    return port;
}

}  // namespace tidewell::testing
