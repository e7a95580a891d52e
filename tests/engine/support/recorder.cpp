#include "recorder.h"

#include <memory>

namespace tidewell::testing {

bool Recorder::notifier(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                        std::intptr_t value, std::uint32_t serial) {
    auto* self = reinterpret_cast<Recorder*>(context);
    if (self->refusing_) {
        ++self->refused_;
        return false;
    }
    Notification note{message, kind, value, {}, serial};
    if (kind == notifyText) {
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(value));
        note.text = *text;
    }
    {
        std::lock_guard lock(self->mutex_);
        self->notes_.push_back(std::move(note));
    }
    self->changed_.notify_all();
    return true;
}

void Recorder::attachTo(CBaseThread& thread, std::uint32_t message) {
    thread.setNotifier(&Recorder::notifier, reinterpret_cast<std::uintptr_t>(this), message);
}

std::vector<Notification> Recorder::all() const {
    std::lock_guard lock(mutex_);
    return notes_;
}

std::vector<std::int32_t> Recorder::results() const {
    std::vector<std::int32_t> out;
    for (const auto& note : all()) {
        if (note.kind == notifyResult) {
            out.push_back(static_cast<std::int32_t>(note.value));
        }
    }
    return out;
}

std::vector<std::int32_t> Recorder::progress() const {
    std::vector<std::int32_t> out;
    for (const auto& note : all()) {
        if (note.kind == notifyProgress) {
            out.push_back(static_cast<std::int32_t>(note.value));
        }
    }
    return out;
}

std::vector<std::string> Recorder::texts() const {
    std::vector<std::string> out;
    for (const auto& note : all()) {
        if (note.kind == notifyText) {
            out.push_back(note.text);
        }
    }
    return out;
}

std::size_t Recorder::count() const {
    std::lock_guard lock(mutex_);
    return notes_.size();
}

bool Recorder::waitUntil(const std::function<bool(const Recorder&)>& done,
                         std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
        lock.unlock();
        const bool ok = done(*this);
        lock.lock();
        if (ok) {
            return true;
        }
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            lock.unlock();
            return done(*this);
        }
    }
}

bool Recorder::waitForResults(std::size_t n, std::chrono::milliseconds timeout) const {
    return waitUntil([n](const Recorder& r) { return r.results().size() >= n; }, timeout);
}

}  // namespace tidewell::testing
