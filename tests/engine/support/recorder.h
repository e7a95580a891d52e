// Records the worker's notifications in place of a window.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tidewell/engine/base_thread.h"

namespace tidewell::testing {

struct Notification {
    std::uint32_t message = 0;
    std::int32_t kind = 0;
    std::intptr_t value = 0;
    std::string text;  // notifyText: the posted string (its heap copy is freed here)
    std::uint32_t serial = 0;
};

class Recorder {
  public:
    static bool notifier(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                         std::intptr_t value, std::uint32_t serial);
    void attachTo(CBaseThread& thread, std::uint32_t message = WM_WORKER_NOTIFY);
    // While refusing, the notifier returns false and takes nothing (a window that is gone).
    void setRefusing(bool refusing) { refusing_ = refusing; }

    std::vector<Notification> all() const;
    std::vector<std::int32_t> results() const;
    std::vector<std::int32_t> progress() const;
    std::vector<std::string> texts() const;
    std::size_t count() const;
    int refused() const { return refused_; }

    bool waitUntil(const std::function<bool(const Recorder&)>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Waits for the n-th result notification (1-based).
    bool waitForResults(std::size_t n,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Notification> notes_;
    std::atomic<bool> refusing_{false};
    std::atomic<int> refused_{0};
};

}  // namespace tidewell::testing
