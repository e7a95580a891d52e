#include "app_gui_support.h"

#include <wx/app.h>

#include <cstdlib>
#include <filesystem>

#include "tidewell/ui/wx/testing.h"

namespace tidewell::appgui {
namespace {

constexpr int kPollMs = 10;

}  // namespace

bool wxStarted() {
    return wxTheApp != nullptr;
}

bool haveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

Script& Script::when(std::string what, Condition condition, Action action,
                     std::chrono::milliseconds timeout) {
    steps_.push_back({std::move(what), std::move(condition), std::move(action), timeout, {}});
    return *this;
}

Script& Script::then(std::string what, Action action) {
    return when(
        std::move(what), [] { return true; }, std::move(action));
}

void Script::start() {
    Start(kPollMs);
}

void Script::Notify() {
    while (!steps_.empty()) {
        Step& step = steps_.front();
        const auto now = std::chrono::steady_clock::now();
        if (!step.deadline) {
            step.deadline = now + step.timeout;
        }
        if (!step.condition()) {
            if (now < *step.deadline) {
                return;
            }
            failures_.push_back("timed out: " + step.what);
            steps_.clear();
            Stop();
            giveUp_();
            return;
        }
        Action action = std::move(step.action);
        steps_.pop_front();
        action();  // may run a modal loop that calls Notify again
    }
    Stop();
}

std::string screenshotPath(const std::string& name) {
    std::error_code ignored;
    std::filesystem::create_directories(TIDEWELL_SCREENSHOT_DIR, ignored);
    return std::string(TIDEWELL_SCREENSHOT_DIR) + "/" + name + ".png";
}

}  // namespace tidewell::appgui

namespace tidewell::appgui {

bool saveScreenshot(const ui::Window& window, const std::string& name) {
    wxWindow* native = ui::wxtest::nativeWindow(window);
    if (native == nullptr || !native->IsShownOnScreen()) {
        return false;
    }
    const wxRect r = native->GetScreenRect();
    const std::string command =
        wxString::Format(
            "import -window root -crop %dx%d+%d+%d +repage "
            "-define png:exclude-chunks=date,time '%s'",
            r.width, r.height, r.x, r.y, wxString::FromUTF8(screenshotPath(name).c_str()))
            .utf8_string();
    return std::system(command.c_str()) == 0;
}

}  // namespace tidewell::appgui
