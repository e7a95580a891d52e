#include "tidewell/ui/platform.h"

#include <utility>

#include "message_hub.h"
#include "tidewell/ui/dialog.h"
#include "tidewell/ui/text.h"

namespace tidewell::ui {
namespace detail {

std::uint64_t MessageHub::add(Window* window) {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = nextId_++;
    windows_.emplace(id, window);
    return id;
}

void MessageHub::remove(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    windows_.erase(id);
}

bool MessageHub::alive(std::uint64_t id) const {
    std::lock_guard lock(mutex_);
    return windows_.contains(id);
}

Window* MessageHub::find(std::uint64_t id) const {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second;
}

bool MessageHub::post(const Posted& message) {
    std::lock_guard lock(mutex_);
    if (closed_ || !windows_.contains(message.target)) {
        return false;
    }
    queue_.push_back(message);
    if (wake_) {
        wake_();
    }
    cv_.notify_all();
    return true;
}

std::optional<Posted> MessageHub::pop() {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
        return std::nullopt;
    }
    Posted front = queue_.front();
    queue_.pop_front();
    return front;
}

bool MessageHub::empty() const {
    std::lock_guard lock(mutex_);
    return queue_.empty();
}

bool MessageHub::waitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return cv_.wait_until(lock, deadline, [this] { return !queue_.empty(); });
}

void MessageHub::setWake(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

std::deque<Posted> MessageHub::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    wake_ = nullptr;
    return std::exchange(queue_, {});
}

}  // namespace detail

Platform::Platform(const ResourceSet& resources)
    : resources_(resources),
      appName_(executableBaseName()),
      hub_(std::make_shared<detail::MessageHub>()) {}

Platform::~Platform() {
    discardPosted();
}

std::string Platform::loadString(int id) const {
    const auto text = resources_.findString(id);
    return text ? std::string(*text) : std::string();
}

void Platform::setMessageDisposer(UINT message, std::function<void(WPARAM, LPARAM)> disposer) {
    disposers_[message] = std::move(disposer);
}

void Platform::dispose(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto it = disposers_.find(message);
    if (it != disposers_.end() && it->second) {
        it->second(wParam, lParam);
    }
}

bool Platform::dispatchOnePosted() {
    const auto message = hub_->pop();
    if (!message) {
        return false;
    }
    if (Window* window = hub_->find(message->target)) {
        window->WindowProc(message->message, message->wParam, message->lParam);
    } else {
        dispose(message->message, message->wParam, message->lParam);
    }
    return true;
}

bool Platform::hasPosted() const {
    return !hub_->empty();
}

Window* Platform::findWindow(const WindowHandle& handle) const {
    if (handle.hub_ != hub_) {
        return nullptr;
    }
    return hub_->find(handle.id_);
}

void Platform::setMainWindow(Window* window) {
    mainWindow_ = window;
    if (window != nullptr && !window->IsWindow()) {
        mainWindow_ = nullptr;
        quit(0);
    }
}

void Platform::setPostedWake(std::function<void()> wake) {
    hub_->setWake(std::move(wake));
}

bool Platform::waitForPosted(std::chrono::steady_clock::time_point deadline) {
    return hub_->waitUntil(deadline);
}

void Platform::discardPosted() {
    for (const auto& message : hub_->close()) {
        dispose(message.message, message.wParam, message.lParam);
    }
}

WindowHandle Platform::registerWindow(Window& window) {
    return WindowHandle(hub_, hub_->add(&window));
}

void Platform::unregisterWindow(Window& window) {
    hub_->remove(window.GetSafeHwnd().id());
}

void Platform::requestTermination() {
    if (terminationHandler_) {
        terminationHandler_();
    } else {
        quit(0);
    }
}

void Platform::stepAside(Dialog& dialog, Window& other) {
    if (dialog.IsWindow() && other.IsWindow() &&
        steppedAside_.insert(dialog.GetSafeHwnd().id()).second) {
        showAside(dialog, other, true);
    }
}

void Platform::comeBack(Dialog& dialog, Window& other) {
    if (steppedAside_.erase(dialog.GetSafeHwnd().id()) != 0) {
        showAside(dialog, other, false);
    }
}

bool Platform::hasSteppedAside(const Window& dialog) const {
    return steppedAside_.contains(dialog.GetSafeHwnd().id());
}

void Platform::onWindowDestroyed(Window& window) {
    steppedAside_.erase(window.GetSafeHwnd().id());
    windowDestroyed(window);
    unregisterWindow(window);
    if (&window == mainWindow_) {
        mainWindow_ = nullptr;
        quit(0);
    }
}

bool isWindow(const WindowHandle& window) {
    return window.hub_ != nullptr && window.hub_->alive(window.id_);
}

bool postMessage(const WindowHandle& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window.hub_ == nullptr) {
        return false;
    }
    return window.hub_->post({window.id_, message, wParam, lParam});
}

}  // namespace tidewell::ui
