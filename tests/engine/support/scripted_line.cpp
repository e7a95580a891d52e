#include "scripted_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tidewell/serial/event.h"

namespace tidewell::testing {

SimClock::TimePoint SimClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void SimClock::advance(std::chrono::milliseconds span) {
    std::lock_guard lock(mutex_);
    now_ += std::max(span, std::chrono::milliseconds{0});
}

void SimClock::advanceTo(TimePoint when) {
    std::lock_guard lock(mutex_);
    now_ = std::max(now_, when);
}

void SimClock::reset() {
    std::lock_guard lock(mutex_);
    now_ = kStart;
}

EngineTiming simulatedTiming(const std::shared_ptr<SimClock>& clock, EngineTiming base) {
    base.pause = [clock](std::chrono::milliseconds span) { clock->advance(span); };
    base.now = [clock] { return clock->now(); };
    return base;
}

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

std::vector<LineExchange> ScriptedLine::transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

void ScriptedLine::useVirtualTime(std::shared_ptr<SimClock> clock,
                                  std::shared_ptr<TimedInput> input) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
    timedInput_ = std::move(input);
}

void ScriptedLine::reset() {
    {
        std::lock_guard lock(mutex_);
        input_.clear();
        written_.clear();
        reaction_ = nullptr;
        readHook_ = nullptr;
        hungUp_ = pending_ = instantSilence_ = writesStalled_ = false;
        maxBytesPerRead_ = 0;
        readCalls_ = writeCalls_ = 0;
        readWaits_.clear();
        transcript_.clear();
        clock_.reset();
        timedInput_.reset();
    }
    changed_.notify_all();
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
    bool simulated = false;
    {
        std::lock_guard lock(line_->mutex_);
        number = ++line_->readCalls_;
        line_->readWaits_.push_back(timeouts_.ReadTotalTimeoutConstant);
        hook = line_->readHook_;
        simulated = line_->clock_ != nullptr;
    }
    if (hook) {
        hook(*line_, number);
    }
    const bool waits = timeouts_.ReadIntervalTimeout == MAXDWORD &&
                       timeouts_.ReadTotalTimeoutMultiplier == MAXDWORD;
    if (simulated) {
        if (!awaitVirtualInput(waits)) {
            error_ = kHangUpError;
            return false;
        }
        return take(buffer, count, moved, overlapped);
    }
    {
        std::unique_lock lock(line_->mutex_);
        if (line_->hungUp_) {
            error_ = kHangUpError;
            return false;
        }
        if (line_->input_.empty() && waits && !line_->instantSilence_) {
            line_->changed_.wait_for(lock,
                                     std::chrono::milliseconds(timeouts_.ReadTotalTimeoutConstant),
                                     [&] { return !line_->input_.empty() || line_->hungUp_; });
            if (line_->hungUp_) {
                error_ = kHangUpError;
                return false;
            }
        }
    }
    return take(buffer, count, moved, overlapped);
}

bool ScriptedBackend::awaitVirtualInput(bool waits) {
    std::shared_ptr<SimClock> clock;
    std::shared_ptr<TimedInput> input;
    {
        std::lock_guard lock(line_->mutex_);
        clock = line_->clock_;
        input = line_->timedInput_;
    }
    const auto deadline =
        clock->now() + std::chrono::milliseconds(waits ? timeouts_.ReadTotalTimeoutConstant : 0);
    for (;;) {
        if (input) {
            input->release(*line_, clock->now());
        }
        {
            std::lock_guard lock(line_->mutex_);
            if (line_->hungUp_) {
                return false;
            }
            if (!line_->input_.empty() || clock->now() >= deadline) {
                return true;
            }
        }
        const auto next = input ? input->nextInput() : std::nullopt;
        if (!next || *next > deadline) {
            clock->advanceTo(deadline);
            return true;
        }
        // A due time that release() left in the past would spin here for good.
        if (*next <= clock->now()) {
            throw std::logic_error("timed input keeps an input due that it does not release");
        }
        clock->advanceTo(*next);
    }
}

bool ScriptedBackend::take(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) {
    std::unique_lock lock(line_->mutex_);
    std::size_t n = std::min<std::size_t>(count, line_->input_.size());
    if (line_->maxBytesPerRead_ != 0) {
        n = std::min(n, line_->maxBytesPerRead_);
    }
    std::memcpy(buffer, line_->input_.data(), n);
    if (n > 0) {
        line_->transcript_.push_back({false, true, line_->input_.substr(0, n)});
    }
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
            bool timedOut = false;
            if (line_->clock_ != nullptr) {
                // Nothing else runs in virtual time: without a time-out the write would never end.
                line_->clock_->advance(std::chrono::milliseconds(limit));
                timedOut = true;
            } else if (limit == 0) {
                line_->changed_.wait(lock, unstalled);
            } else {
                timedOut =
                    !line_->changed_.wait_for(lock, std::chrono::milliseconds(limit), unstalled);
            }
            if (timedOut) {
                line_->transcript_.push_back({true, false, chunk});
                lock.unlock();
                return complete(0, moved, overlapped);  // the write time-out passed
            }
        }
        if (line_->hungUp_) {
            line_->transcript_.push_back({true, false, chunk});
            error_ = kHangUpError;
            return false;
        }
        line_->written_ += chunk;
        line_->transcript_.push_back({true, true, chunk});
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
