// Helpers of the application's GUI tests: whether wx runs, a polling script
// that acts from a timer while the application's loops run, screenshots.
#pragma once

#include <wx/timer.h>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tidewell/ui/window.h"

namespace tidewell::appgui {

// True once main has started wx on a display.
bool wxStarted();
// True when DISPLAY names a display.
bool haveDisplay();

// Steps run from a timer: each waits (polling) for its condition up to its
// deadline, then acts. A step that times out records a failure and runs the
// give-up action, so that a stuck test ends.
class Script : public wxTimer {
  public:
    using Condition = std::function<bool()>;
    using Action = std::function<void()>;

    explicit Script(Action giveUp) : giveUp_(std::move(giveUp)) {}
    Script& when(
        std::string what, Condition condition, Action action = [] {},
        std::chrono::milliseconds timeout = std::chrono::seconds(20));
    Script& then(std::string what, Action action);
    void start();
    bool done() const { return steps_.empty(); }
    const std::vector<std::string>& failures() const { return failures_; }
    void Notify() override;

  private:
    struct Step {
        std::string what;
        Condition condition;
        Action action;
        std::chrono::milliseconds timeout;
        std::optional<std::chrono::steady_clock::time_point> deadline;
    };
    Action giveUp_;
    std::deque<Step> steps_;
    std::vector<std::string> failures_;
};

// docs/screenshots/<name>.png
std::string screenshotPath(const std::string& name);
// Saves what the screen shows of the window there (ImageMagick's import).
bool saveScreenshot(const ui::Window& window, const std::string& name);

}  // namespace tidewell::appgui
