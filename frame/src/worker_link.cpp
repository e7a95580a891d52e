#include "tidewell/frame/worker_link.h"

namespace tidewell {

bool postToWindow(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                  std::intptr_t value) {
    const auto* target = reinterpret_cast<const PostTarget*>(context);
    if (target == nullptr) {
        return false;
    }
    return ui::postMessage(target->window, message, static_cast<ui::WPARAM>(kind), value);
}

void setPostTarget(PostTarget& target, const ui::WindowHandle& window) {
    target.window = window;
}

void attachWindow(CBaseThread& worker, PostTarget& target, std::uint32_t message) {
    worker.setNotifier(&postToWindow, reinterpret_cast<std::uintptr_t>(&target), message);
}

}  // namespace tidewell
