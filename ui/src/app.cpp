#include "tidewell/ui/app.h"

#include <stdexcept>

namespace tidewell::ui {

WinApp::~WinApp() = default;

int WinApp::Run(Platform& platform) {
    platform_ = &platform;
    const int code = platform.runApplication([this] { return InitInstance(); },
                                             [this, &platform](int loopCode) {
                                                 const int exitCode = ExitInstance(loopCode);
                                                 if (mainWnd_) {
                                                     platform.setMainWindow(nullptr);
                                                     mainWnd_->DestroyWindow();
                                                     mainWnd_.reset();
                                                 }
                                                 return exitCode;
                                             });
    platform_ = nullptr;
    return code;
}

Platform& WinApp::GetPlatform() const {
    if (platform_ == nullptr) {
        throw std::logic_error("the application is not running");
    }
    return *platform_;
}

void WinApp::SetMainWnd(std::unique_ptr<Window> window) {
    mainWnd_ = std::move(window);
    GetPlatform().setMainWindow(mainWnd_.get());
}

}  // namespace tidewell::ui
