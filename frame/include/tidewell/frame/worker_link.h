// The worker's notifications on the windowing side: a Notifier that posts
// through the ui layer's thread-safe postMessage, and the target it posts to.
#pragma once

#include <cstdint>

#include "tidewell/engine/base_thread.h"
#include "tidewell/ui/window.h"

namespace tidewell {

// Where a worker's notifications go. Must outlive every worker attached to it.
struct PostTarget {
    ui::WindowHandle window;
};

// Notifier: posts (message, kind, value) to the PostTarget at context. False
// when the window no longer exists; the poster then frees a text it carried.
// Any thread.
bool postToWindow(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                  std::intptr_t value);

// target.window = window; the worker posts message to it from now on.
void setPostTarget(PostTarget& target, const ui::WindowHandle& window);
void attachWindow(CBaseThread& worker, PostTarget& target, std::uint32_t message);

}  // namespace tidewell
