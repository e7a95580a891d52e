// Windows: handles that stay checkable after the window is gone, thread-safe
// posting, and the Window base with its handler maps and virtual handlers.
//
// Threads: postMessage, isWindow and copying handles are safe from any thread.
// Everything else runs on the window thread (the thread that runs the Platform).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ui/menu.h"
#include "tidewell/ui/types.h"

namespace tidewell::ui {

class Control;
class Platform;
class Window;

namespace detail {
class MessageHub;
}

// A window's identity. A handle never refers to another window once its window
// is destroyed: ids are not reused. A default handle names no window.
class WindowHandle {
  public:
    WindowHandle() = default;
    std::uint64_t id() const { return id_; }
    explicit operator bool() const { return id_ != 0; }
    friend bool operator==(const WindowHandle& a, const WindowHandle& b) { return a.id_ == b.id_; }

  private:
    friend class Platform;
    friend bool isWindow(const WindowHandle& window);
    friend bool postMessage(const WindowHandle& window, UINT message, WPARAM wParam, LPARAM lParam);
    WindowHandle(std::shared_ptr<detail::MessageHub> hub, std::uint64_t id)
        : hub_(std::move(hub)), id_(id) {}

    std::shared_ptr<detail::MessageHub> hub_;
    std::uint64_t id_ = 0;
};

// True while the window exists. Any thread.
bool isWindow(const WindowHandle& window);

// Queues a message for the window; it is handled on the window thread, in
// posting order. False (nothing queued) when the window does not exist. A
// message still queued when its window goes away is dropped; a disposer set on
// the Platform for that message frees what lParam carries. Any thread.
bool postMessage(const WindowHandle& window, UINT message, WPARAM wParam, LPARAM lParam);

// Backend object that shows a window on screen.
class WindowPeer {
  public:
    virtual ~WindowPeer() = default;
    virtual void captionChanged() {}
    virtual void visibilityChanged() {}
    virtual void iconChanged() {}
    virtual void updateNow() {}
    // Parts of a bar changed (tool-bar buttons, status panes).
    virtual void contentChanged() {}
    // Log views: text added at the end, or the whole text replaced.
    virtual void textAppended(std::string_view /*piece*/) {}
    virtual void textReplaced() {}
};

class Window {
  public:
    using CommandHandler = std::function<void()>;
    using CommandRangeHandler = std::function<void(int id)>;
    using UpdateHandler = std::function<void(CmdUI&)>;
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    using NotifyHandler = std::function<void()>;

    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    WindowHandle GetSafeHwnd() const { return handle_; }
    // True between creation and destruction of the window (not of the object).
    bool IsWindow() const;
    Platform& GetPlatform() const;
    bool hasPlatform() const { return platform_ != nullptr; }
    Window* GetParent() const { return parent_; }

    // Caption of a top-level window; the content of a log view.
    virtual void SetWindowText(std::string_view text);
    virtual const std::string& GetWindowText() const { return text_; }

    bool ShowWindow(int cmdShow);  // returns whether it was visible before
    bool IsWindowVisible() const { return visible_; }
    void UpdateWindow();
    // Destroys the window (children first); the object stays usable as a model.
    bool DestroyWindow();

    // Window timers: WM_TIMER with the id every period until killed or destroyed.
    // Setting an id again restarts it. Returns the id, 0 when the window does not exist.
    UINT_PTR SetTimer(UINT_PTR id, std::chrono::milliseconds period);
    bool KillTimer(UINT_PTR id);

    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Handles the message now, on the calling (window) thread.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Modal message box owned by this window. With no caption the application's
    // name is the caption. Returns IDOK, IDCANCEL, IDYES, IDNO or IDRETRY.
    int MessageBox(std::string_view text, const char* caption = nullptr, UINT type = MB_OK);
    void MessageBeep(UINT type = MB_SIMPLEBEEP);

    void SetIcon(int iconResourceId, bool bigIcon);
    int GetIcon(bool bigIcon) const { return bigIcon ? bigIcon_ : smallIcon_; }

    // A string-table text; empty when the id is unknown.
    std::string LoadString(int id) const;

    // Handler maps, looked up before the virtual handlers. A command that has a
    // handler here (or a built-in one) counts as handled for update-UI defaults.
    void mapCommand(int id, CommandHandler handler);
    void mapCommandRange(int first, int last, CommandRangeHandler handler);
    void mapUpdateCommandUI(int id, UpdateHandler handler);
    void mapUpdateCommandUIRange(int first, int last, UpdateHandler handler);
    void mapMessage(UINT message, MessageHandler handler);
    void mapNotify(int id, unsigned code, NotifyHandler handler);

    bool hasCommandHandler(int id) const;
    // Runs the update rule of a command; false when there is none.
    bool runUpdateRule(CmdUI& ui);

    // Controls of template-built windows; null elsewhere or for an unknown id.
    virtual Control* FindDlgItem(int id);

    // Message dispatch: WM_COMMAND, WM_SYSCOMMAND, WM_TIMER, WM_CLOSE and mapped messages.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Backend side.
    WindowPeer* peer() const { return peer_.get(); }
    void setPeer(std::unique_ptr<WindowPeer> peer);
    const std::vector<Window*>& children() const { return children_; }

  protected:
    Window() = default;
    explicit Window(Platform& platform) : platform_(&platform) {}
    Window(Platform& platform, Window* parent) : platform_(&platform), parent_(parent) {}

    // Registers the window: it gets a handle and receives messages. Children
    // attach to their parent and are destroyed with it.
    bool createWindowHandle(Platform& platform, Window* parent);
    void setVisibleFlag(bool visible) { visible_ = visible; }

    // Handlers. Overrides call the base for what they do not handle.
    // Clicks, menu items, accelerators; false when nothing handled the command.
    virtual bool OnCommand(int id);
    virtual void OnControlNotify(int id, unsigned code);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    virtual void OnClose();    // default: DestroyWindow()
    virtual void OnDestroy();  // the window is being destroyed

  private:
    friend class Platform;

    struct RangeEntry {
        int first;
        int last;
        CommandRangeHandler handler;
    };
    struct UpdateRangeEntry {
        int first;
        int last;
        UpdateHandler handler;
    };

    Platform* platform_ = nullptr;
    Window* parent_ = nullptr;
    WindowHandle handle_;
    std::unique_ptr<WindowPeer> peer_;
    std::vector<Window*> children_;
    std::string text_;
    bool visible_ = false;
    bool destroying_ = false;
    std::set<UINT_PTR> timers_;
    int bigIcon_ = 0;
    int smallIcon_ = 0;
    std::map<int, CommandHandler> commands_;
    std::vector<RangeEntry> commandRanges_;
    std::map<int, UpdateHandler> updates_;
    std::vector<UpdateRangeEntry> updateRanges_;
    std::map<UINT, MessageHandler> messages_;
    std::map<std::pair<int, unsigned>, NotifyHandler> notifies_;
};

}  // namespace tidewell::ui
