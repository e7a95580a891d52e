#include "tidewell/ui/window.h"

#include <algorithm>
#include <stdexcept>

#include "tidewell/ui/platform.h"

namespace tidewell::ui {
namespace {

constexpr std::chrono::milliseconds kMinimumTimerPeriod{1};

}  // namespace

Window::~Window() {
    if (IsWindow()) {
        // The object goes first: no handlers run any more, only the bookkeeping.
        for (Window* child : std::vector<Window*>(children_)) {
            child->parent_ = nullptr;
        }
        children_.clear();
        for (UINT_PTR id : timers_) {
            platform_->stopTimer(*this, id);
        }
        timers_.clear();
        peer_.reset();
        platform_->onWindowDestroyed(*this);
    }
    if (parent_ != nullptr) {
        std::erase(parent_->children_, this);
    }
}

bool Window::IsWindow() const {
    return static_cast<bool>(handle_);
}

Platform& Window::GetPlatform() const {
    if (platform_ == nullptr) {
        throw std::logic_error("window used before it was created");
    }
    return *platform_;
}

bool Window::createWindowHandle(Platform& platform, Window* parent) {
    if (IsWindow()) {
        return false;
    }
    platform_ = &platform;
    if (parent_ != parent) {
        if (parent_ != nullptr) {
            std::erase(parent_->children_, this);
        }
        parent_ = parent;
    }
    if (parent_ != nullptr && std::find(parent_->children_.begin(), parent_->children_.end(),
                                        this) == parent_->children_.end()) {
        parent_->children_.push_back(this);
    }
    handle_ = platform.registerWindow(*this);
    return true;
}

void Window::SetWindowText(std::string_view text) {
    if (text_ == text) {
        return;
    }
    text_ = std::string(text);
    if (peer_) {
        peer_->captionChanged();
    }
}

bool Window::ShowWindow(int cmdShow) {
    const bool wasVisible = visible_;
    visible_ = cmdShow != SW_HIDE;
    if (visible_ != wasVisible && peer_) {
        peer_->visibilityChanged();
    }
    return wasVisible;
}

void Window::UpdateWindow() {
    if (peer_) {
        peer_->updateNow();
    }
}

bool Window::DestroyWindow() {
    if (!IsWindow() || destroying_) {
        return false;
    }
    destroying_ = true;
    OnDestroy();
    for (Window* child : std::vector<Window*>(children_)) {
        child->DestroyWindow();
    }
    for (UINT_PTR id : timers_) {
        platform_->stopTimer(*this, id);
    }
    timers_.clear();
    visible_ = false;
    peer_.reset();
    platform_->onWindowDestroyed(*this);
    handle_ = WindowHandle();
    destroying_ = false;
    return true;
}

UINT_PTR Window::SetTimer(UINT_PTR id, std::chrono::milliseconds period) {
    if (!IsWindow()) {
        return 0;
    }
    timers_.insert(id);
    platform_->startTimer(*this, id, std::max(period, kMinimumTimerPeriod));
    return id;
}

bool Window::KillTimer(UINT_PTR id) {
    if (timers_.erase(id) == 0) {
        return false;
    }
    platform_->stopTimer(*this, id);
    return true;
}

bool Window::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return postMessage(handle_, message, wParam, lParam);
}

LRESULT Window::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow()) {
        return 0;
    }
    return WindowProc(message, wParam, lParam);
}

int Window::MessageBox(std::string_view text, const char* caption, UINT type) {
    Platform& platform = GetPlatform();
    const std::string title = caption != nullptr ? std::string(caption) : platform.appName();
    return platform.messageBox(this, text, title, type);
}

void Window::MessageBeep(UINT type) {
    GetPlatform().messageBeep(type);
}

void Window::SetIcon(int iconResourceId, bool bigIcon) {
    (bigIcon ? bigIcon_ : smallIcon_) = iconResourceId;
    if (peer_) {
        peer_->iconChanged();
    }
}

std::string Window::LoadString(int id) const {
    return GetPlatform().loadString(id);
}

void Window::mapCommand(int id, CommandHandler handler) {
    commands_[id] = std::move(handler);
}

void Window::mapCommandRange(int first, int last, CommandRangeHandler handler) {
    commandRanges_.push_back({first, last, std::move(handler)});
}

void Window::mapUpdateCommandUI(int id, UpdateHandler handler) {
    updates_[id] = std::move(handler);
}

void Window::mapUpdateCommandUIRange(int first, int last, UpdateHandler handler) {
    updateRanges_.push_back({first, last, std::move(handler)});
}

void Window::mapMessage(UINT message, MessageHandler handler) {
    messages_[message] = std::move(handler);
}

void Window::mapNotify(int id, unsigned code, NotifyHandler handler) {
    notifies_[{id, code}] = std::move(handler);
}

bool Window::hasCommandHandler(int id) const {
    if (commands_.contains(id)) {
        return true;
    }
    return std::any_of(commandRanges_.begin(), commandRanges_.end(),
                       [id](const RangeEntry& r) { return id >= r.first && id <= r.last; });
}

bool Window::runUpdateRule(CmdUI& ui) {
    if (const auto it = updates_.find(ui.m_nID); it != updates_.end()) {
        it->second(ui);
        return true;
    }
    for (const auto& range : updateRanges_) {
        if (ui.m_nID >= range.first && ui.m_nID <= range.last) {
            range.handler(ui);
            return true;
        }
    }
    return false;
}

Control* Window::FindDlgItem(int /*id*/) {
    return nullptr;
}

void Window::setPeer(std::unique_ptr<WindowPeer> peer) {
    peer_ = std::move(peer);
}

LRESULT Window::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const auto it = messages_.find(message); it != messages_.end()) {
        return it->second(wParam, lParam);
    }
    switch (message) {
        case WM_COMMAND: {
            const int id = static_cast<int>(static_cast<std::int16_t>(LOWORD(wParam)));
            const unsigned code = HIWORD(wParam);
            if (code == BN_CLICKED) {
                OnCommand(id);
            } else {
                OnControlNotify(id, code);
            }
            return 0;
        }
        case WM_SYSCOMMAND:
            OnSysCommand(static_cast<UINT>(wParam), lParam);
            return 0;
        case WM_TIMER:
            OnTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        default:
            return 0;
    }
}

bool Window::OnCommand(int id) {
    if (const auto it = commands_.find(id); it != commands_.end()) {
        it->second();
        return true;
    }
    for (const auto& range : commandRanges_) {
        if (id >= range.first && id <= range.last) {
            range.handler(id);
            return true;
        }
    }
    return false;
}

void Window::OnControlNotify(int id, unsigned code) {
    if (const auto it = notifies_.find({id, code}); it != notifies_.end()) {
        it->second();
    }
}

void Window::OnTimer(UINT_PTR /*id*/) {}

void Window::OnSysCommand(UINT id, LPARAM /*lParam*/) {
    if ((id & SC_MASK) == SC_CLOSE) {
        OnClose();
    }
}

void Window::OnClose() {
    DestroyWindow();
}

void Window::OnDestroy() {}

}  // namespace tidewell::ui
