#include "tidewell/frame/worker_link.h"

namespace tidewell {

ui::WPARAM notifyWParam(std::int32_t kind, std::uint32_t serial) {
    return ui::MAKEWPARAM(static_cast<unsigned>(kind), serial);
}

std::int32_t notifyKind(ui::WPARAM wParam) {
    return static_cast<std::int32_t>(ui::LOWORD(wParam));
}

std::uint16_t notifySerial(ui::WPARAM wParam) {
    return static_cast<std::uint16_t>(ui::HIWORD(wParam));
}

bool postToWindow(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                  std::intptr_t value, std::uint32_t serial) {
    const auto* target = reinterpret_cast<const PostTarget*>(context);
    if (target == nullptr) {
        return false;
    }
    return ui::postMessage(target->window, message, notifyWParam(kind, serial), value);
}

void setPostTarget(PostTarget& target, const ui::WindowHandle& window) {
    target.window = window;
}

void attachWindow(CBaseThread& worker, PostTarget& target, std::uint32_t message) {
    worker.setNotifier(&postToWindow, reinterpret_cast<std::uintptr_t>(&target), message);
}

}  // namespace tidewell
