// The application object: InitInstance creates the main window, then the
// message loop runs until that window is destroyed.
#pragma once

#include <memory>

#include "tidewell/ui/platform.h"
#include "tidewell/ui/window.h"

namespace tidewell::ui {

class WinApp {
  public:
    WinApp() = default;
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;
    virtual ~WinApp();

    // InitInstance; when it succeeds the message loop, until the main window is
    // destroyed; then ExitInstance, and the main window object is deleted, all
    // while the toolkit still runs. Returns what ExitInstance returns: by default
    // the loop's exit code (0 after the main window was destroyed), or 1 when
    // InitInstance failed.
    int Run(Platform& platform);

    virtual bool InitInstance() { return true; }
    virtual int ExitInstance(int loopExitCode) { return loopExitCode; }

    // Valid during Run.
    Platform& GetPlatform() const;
    Window* GetMainWnd() const { return mainWnd_.get(); }
    // Makes the window the main window and takes it over. A window that is
    // already destroyed ends the loop at once.
    void SetMainWnd(std::unique_ptr<Window> window);

  private:
    Platform* platform_ = nullptr;
    std::unique_ptr<Window> mainWnd_;
};

}  // namespace tidewell::ui
