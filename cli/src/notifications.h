// The worker's notifications, handed from the worker thread to the main thread.
//
// The worker calls deliver() (its Notifier); the main thread polls fd() and pops.
// Texts are moved out of the worker's heap strings, which are deleted here.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "tidewell/engine/worker_codes.h"

namespace tidewell::cli {

struct WorkerEvent {
    // commandEnded: the worker's command has returned (pushed by the worker itself).
    enum class Kind { text, result, progress, commandEnded };
    Kind kind = Kind::text;
    std::int32_t value = 0;   // result code or percent
    bool deviceLost = false;  // commandEnded: the port reported the device gone
    std::string text;
};

class NotificationQueue {
  public:
    NotificationQueue();  // throws std::system_error when no eventfd can be made
    ~NotificationQueue();
    NotificationQueue(const NotificationQueue&) = delete;
    NotificationQueue& operator=(const NotificationQueue&) = delete;

    // Readable while events may be waiting.
    int fd() const { return fd_; }
    std::optional<WorkerEvent> pop();
    void push(WorkerEvent event);

    // Notifier for CBaseThread::setNotifier; context is the queue's address.
    static bool deliver(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                        std::intptr_t value, std::uint32_t serial = 0);

  private:
    int fd_ = -1;
    std::mutex lock_;
    std::deque<WorkerEvent> events_;
};

}  // namespace tidewell::cli
