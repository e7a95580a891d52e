#include "tidewell/engine/base_thread.h"

#include <system_error>

namespace tidewell {

CBaseThread::~CBaseThread() {
    stop();
}

bool CBaseThread::start(bool resumeNow) {
    if (isStarted()) {
        return false;
    }
    if (thread_.joinable()) {
        stop();  // a body that ended by itself: collect it first
    }
    finished = false;
    running = true;
    resumeGate_.reset();
    try {
        thread_ = std::thread([this] { threadProc(); });
    } catch (const std::system_error&) {
        threadId_ = {};
        finished = true;
        running = false;
        return false;
    }
    threadId_ = thread_.get_id();
    if (!resumeNow) {
        return true;
    }
    if (!resume()) {
        threadId_ = {};
        running = false;
        return false;
    }
    return true;
}

bool CBaseThread::resume() {
    if (!thread_.joinable()) {
        return false;
    }
    resumeGate_.set();
    return true;
}

bool CBaseThread::stop() {
    clearRunning();
    if (thread_.joinable()) {
        resume();  // a held-back thread must run to see the flag
        if (std::this_thread::get_id() == thread_.get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
    threadId_ = {};
    running = false;
    return true;
}

bool CBaseThread::isStarted() const {
    return thread_.joinable() && threadId_ != std::thread::id{} && running;
}

void CBaseThread::setNotifier(Notifier notifier, std::uintptr_t context, std::uint32_t message) {
    std::lock_guard lock(notifyLock_);
    notifier_ = notifier;
    notifyContext_ = context;
    notifyMessage_ = message;
}

bool CBaseThread::notify(std::int32_t kind, std::intptr_t value, std::uint32_t serial) {
    std::lock_guard lock(notifyLock_);
    if (!running || notifier_ == nullptr) {
        return false;
    }
    return notifier_(notifyContext_, notifyMessage_, kind, value, serial);
}

void CBaseThread::clearRunning() {
    // Under the notify lock: once this returns, no notify is past its check.
    std::lock_guard lock(notifyLock_);
    running = false;
}

void CBaseThread::threadProc() {
    resumeGate_.wait();
    try {
        run();  // the exit code has no reader on this platform
    } catch (...) {
        // An escaping exception ends the thread; finished must still be set.
    }
    finished = true;
}

}  // namespace tidewell
