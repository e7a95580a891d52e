// CBaseThread: one thread per object, started (optionally held back until
// resume), stopped by clearing `running` and joining, plus a notification channel.
//
// Posting to a window (a window handle and its message queue) belongs to the
// windowing side: it attaches its own Notifier through setNotifier. Nothing here
// knows about windows.
//
// Thread rules: start, resume, stop, isStarted and setNotifier are called by the
// owner's thread; notify is called by the thread body. stop must not be called
// from the thread body itself (it would wait for its own end).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "tidewell/engine/worker_codes.h"
#include "tidewell/serial/event.h"

namespace tidewell {

class CBaseThread {
  public:
    CBaseThread() = default;
    // Stops a thread that is still running. A derived class whose run() uses its
    // own members must have stopped the thread in its own destructor already.
    virtual ~CBaseThread();
    CBaseThread(const CBaseThread&) = delete;
    CBaseThread& operator=(const CBaseThread&) = delete;

    // Creates the thread held back; lets it run when resumeNow. False when already
    // started or when the thread cannot be created (running then stays false).
    virtual bool start(bool resumeNow);
    // Lets a held-back thread run; false when there is no thread.
    bool resume();
    // Clears `running` and waits until the body has returned. Always true.
    bool stop();
    bool isStarted() const;

    void setNotifier(Notifier notifier, std::uintptr_t context, std::uint32_t message);
    // notifier(context, message, kind, value, serial) while `running` and a
    // notifier is set; false otherwise. Never delivers once stop (or a shutdown)
    // has begun.
    bool notify(std::int32_t kind, std::intptr_t value, std::uint32_t serial = 0);

  protected:
    // The thread body; its result is the thread's exit code.
    virtual std::uint32_t run() = 0;
    // Clears `running` so that no notification is delivered from now on.
    void clearRunning();

    std::atomic<bool> running{false};
    std::atomic<bool> finished{true};

  private:
    void threadProc();

    std::thread thread_;
    std::thread::id threadId_{};
    ManualResetEvent resumeGate_;

    // Guards the notifier fields and orders notifications against clearRunning.
    mutable std::mutex notifyLock_;
    std::uintptr_t notifyContext_ = 0;
    std::uint32_t notifyMessage_ = 0;
    Notifier notifier_ = nullptr;
};

}  // namespace tidewell
