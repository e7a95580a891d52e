// The worker's notifications on the windowing side: a Notifier that posts
// through the ui layer's thread-safe postMessage, and the target it posts to.
//
// A WM_WORKER_NOTIFY message carries the notification's kind in the low word of
// wParam and the low 16 bits of the serial of the command that posted it in the
// high word (MAKEWPARAM); lParam is the value.
#pragma once

#include <cstdint>

#include "tidewell/engine/base_thread.h"
#include "tidewell/ui/window.h"

namespace tidewell {

// Where a worker's notifications go. Must outlive every worker attached to it.
struct PostTarget {
    ui::WindowHandle window;
};

ui::WPARAM notifyWParam(std::int32_t kind, std::uint32_t serial);
std::int32_t notifyKind(ui::WPARAM wParam);
std::uint16_t notifySerial(ui::WPARAM wParam);

// Notifier: posts (message, notifyWParam(kind, serial), value) to the PostTarget
// at context. False when the window no longer exists; the poster then frees a
// text it carried. Any thread.
bool postToWindow(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                  std::intptr_t value, std::uint32_t serial);

// target.window = window; the worker posts message to it from now on.
void setPostTarget(PostTarget& target, const ui::WindowHandle& window);
void attachWindow(CBaseThread& worker, PostTarget& target, std::uint32_t message);

}  // namespace tidewell
