// The platform under the windows: resources, the posted-message queue, and the
// backend operations (modal runs, timers, message boxes, the file dialog, the
// beep, the application's message loop). ui/headless and ui/wx implement it.
//
// One Platform per process run; every window of that run belongs to it. All
// members run on the window thread unless stated otherwise.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "tidewell/ui/resources.h"
#include "tidewell/ui/types.h"
#include "tidewell/ui/window.h"

namespace tidewell::ui {

class Dialog;
struct FileDialogRequest;

class Platform {
  public:
    explicit Platform(const ResourceSet& resources);
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform();

    const ResourceSet& resources() const { return resources_; }
    std::string loadString(int id) const;  // empty when unknown

    // Caption of message boxes that have none of their own; the executable's
    // base name unless set.
    const std::string& appName() const { return appName_; }
    void setAppName(std::string name) { appName_ = std::move(name); }

    // Frees what a message carries when it is dropped (its window went away
    // before it was handled, or the platform ends with it queued).
    void setMessageDisposer(UINT message, std::function<void(WPARAM, LPARAM)> disposer);

    // A request from outside to end the program (SIGTERM, SIGHUP, the end of the
    // desktop session) runs handler on the window thread; without one the loop ends.
    void setTerminationHandler(std::function<void()> handler) {
        terminationHandler_ = std::move(handler);
    }
    // Window thread: what the backend calls once such a request came (tests call it too).
    void requestTermination();

    // A dialog in its modal run steps aside for other: hidden while its run goes
    // on, with other taking input; comeBack shows it again over other, which takes
    // no input any more. Both do nothing when the dialog is not in that state.
    void stepAside(Dialog& dialog, Window& other);
    void comeBack(Dialog& dialog, Window& other);
    bool hasSteppedAside(const Window& dialog) const;

    // Handles the oldest posted message; false when none is queued.
    bool dispatchOnePosted();
    bool hasPosted() const;
    // The live window behind a handle; null after it was destroyed.
    Window* findWindow(const WindowHandle& handle) const;

    // The application's main window: destroying it ends the message loop with 0.
    void setMainWindow(Window* window);
    Window* mainWindow() const { return mainWindow_; }

    // Backend operations.
    // Calls initInstance, then runs the message loop if it returned true, then
    // exitInstance with the loop's exit code (1 when initInstance failed), while
    // the toolkit still runs. Returns what exitInstance returns.
    virtual int runApplication(const std::function<bool()>& initInstance,
                               const std::function<int(int)>& exitInstance) = 0;
    virtual int runMessageLoop() = 0;
    virtual void quit(int exitCode) = 0;
    // Builds the on-screen peer of a window that was just created (may build none).
    virtual void createPeer(Window& window) = 0;
    // Runs a dialog modally until EndDialog; returns its result (kDialogFailed when aborted).
    virtual int runModal(Dialog& dialog) = 0;
    // EndDialog was called on a dialog that may be running modally.
    virtual void endModal(Dialog& dialog) = 0;
    virtual void startTimer(Window& window, UINT_PTR id, std::chrono::milliseconds period) = 0;
    virtual void stopTimer(Window& window, UINT_PTR id) = 0;
    virtual int messageBox(Window* owner, std::string_view text, std::string_view caption,
                           UINT type) = 0;
    // The chosen file's full path, nothing when cancelled.
    virtual std::optional<std::string> chooseFile(const FileDialogRequest& request,
                                                  Window* owner) = 0;
    virtual void messageBeep(UINT type) = 0;
    // Caps, Num and Scroll Lock, by indicator id.
    virtual bool isKeyToggled(int indicatorId) const = 0;

  protected:
    // Called (on the posting thread, with the queue locked) after each post;
    // backends whose loop does not wait on the queue use it to wake up.
    void setPostedWake(std::function<void()> wake);
    // Waits until a message is queued or the deadline passes; true when one is.
    bool waitForPosted(std::chrono::steady_clock::time_point deadline);
    // Drops every queued message through its disposer.
    void discardPosted();
    // Called when a window is destroyed, after its timers were stopped.
    virtual void windowDestroyed(Window& /*window*/) {}
    // Shows a dialog aside (hidden, other takes input) or back over other.
    virtual void showAside(Dialog& dialog, Window& other, bool aside) = 0;

  private:
    friend class Window;
    WindowHandle registerWindow(Window& window);
    void unregisterWindow(Window& window);
    void onWindowDestroyed(Window& window);
    void dispose(UINT message, WPARAM wParam, LPARAM lParam);

    const ResourceSet& resources_;
    std::string appName_;
    std::shared_ptr<detail::MessageHub> hub_;
    Window* mainWindow_ = nullptr;
    std::map<UINT, std::function<void(WPARAM, LPARAM)>> disposers_;
    std::function<void()> terminationHandler_;
    std::set<std::uint64_t> steppedAside_;  // window ids
};

}  // namespace tidewell::ui
