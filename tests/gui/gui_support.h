// Helpers of the GUI tests (this folder's and the application's): the wx session,
// a polling script that acts inside modal loops, screenshots, and the page-like
// dialogs the tests show.
#pragma once

#include <wx/timer.h>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tidewell/resources/resources.h"
#include "tidewell/ui/dialog.h"

namespace tidewell::gui {

// True when wx started on a display; false makes every GUI test skip.
bool haveDisplay();
void setHaveDisplay(bool have);
// wx assertion failures seen since the last call.
std::vector<std::string> takeAssertFailures();
void recordAssertFailure(std::string what);

// Ends every modal dialog that wx shows (a stuck test must not hang).
void endAllModals();

// Steps that run from a timer while modal loops run: each waits for its
// condition (polling every few milliseconds) up to its deadline, then acts.
// A step that times out records a failure and runs the give-up action.
class Script : public wxTimer {
  public:
    using Condition = std::function<bool()>;
    using Action = std::function<void()>;

    explicit Script(Action giveUp = endAllModals) : giveUp_(std::move(giveUp)) {}
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

// True once the window is on screen and has been painted.
bool shownAndPainted(const ui::Window& window);
std::string screenshotPath(const std::string& name);
// Saves what the screen shows of the window as <name>.png in the test program's folder.
bool saveScreenshot(const ui::Window& window, const std::string& name);
// A statistic ("mean", "standard_deviation") of a grey-scale region of a screenshot
// (ImageMagick's fx names); -1 when it cannot be read.
double imageValue(const std::string& png, const wxRect& region, const std::string& what);

// A wizard-page-like dialog: bold white title painted over the banner, the
// "&About..." system-menu item that opens the About box and the "&Terminal window"
// item as on the wizard's pages, Back ending with 3.
class PageDialog : public ui::Dialog {
  public:
    static constexpr int kTerminalItem = 0x20;
    PageDialog(ui::Platform& platform, int templateId, std::string title);
    std::function<void(PageDialog&)> onInit;
    int aboutResult = 0;

  protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    bool OnCommand(int id) override;
    void OnSysCommand(ui::UINT id, ui::LPARAM lParam) override;

  private:
    std::string title_;
};

}  // namespace tidewell::gui
