// Frees a stuck thread so that a test fails instead of hanging: once the deadline
// has passed, until disarm, rescue runs every few milliseconds on the watchdog's
// own thread. Whatever rescue touches must outlive disarm (the destructor disarms).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace tidewell::testsupport {

class Watchdog {
  public:
    Watchdog(std::chrono::milliseconds deadline, std::function<void()> rescue)
        : thread_([this, deadline, rescue = std::move(rescue)] {
              const auto end = std::chrono::steady_clock::now() + deadline;
              while (armed_ && std::chrono::steady_clock::now() < end) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
              while (armed_) {
                  fired_ = true;
                  rescue();
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~Watchdog() { disarm(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // No rescue runs once this has returned.
    void disarm() {
        armed_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // True when the deadline passed before disarm: the watched thread was stuck.
    bool fired() const { return fired_; }

  private:
    std::atomic<bool> armed_{true};
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

}  // namespace tidewell::testsupport
