// Registry of live windows and the queue of posted messages, shared by a
// Platform and every handle of its windows. Posting and liveness checks are
// safe from any thread; lookups of window objects belong to the window thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "tidewell/ui/types.h"

namespace tidewell::ui {
class Window;
}

namespace tidewell::ui::detail {

struct Posted {
    std::uint64_t target = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class MessageHub {
  public:
    std::uint64_t add(Window* window);
    void remove(std::uint64_t id);
    bool alive(std::uint64_t id) const;
    Window* find(std::uint64_t id) const;

    bool post(const Posted& message);
    std::optional<Posted> pop();
    bool empty() const;
    bool waitUntil(std::chrono::steady_clock::time_point deadline);
    void setWake(std::function<void()> wake);
    // Refuses every later post and hands back what is queued.
    std::deque<Posted> close();

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::unordered_map<std::uint64_t, Window*> windows_;
    std::uint64_t nextId_ = 1;
    std::deque<Posted> queue_;
    std::function<void()> wake_;
    bool closed_ = false;
};

}  // namespace tidewell::ui::detail
