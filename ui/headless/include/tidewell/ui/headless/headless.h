// The headless backend: the window models alone, a message queue, timers on a
// virtual clock and a scriptable user, so tests run dialogs, frames and whole
// applications deterministically without a display.
//
// Scripts. A test queues steps on user() and then runs code that shows dialogs
// (DoModal, WinApp::Run) or calls runScript(). Whenever a modal loop or the
// message loop is idle (no posted message left), the next step runs: actions
// act on the active (topmost) modal dialog or the main frame, as a user would,
// and fail on a disabled or hidden control; waits hold the script until their
// condition is true, handling posted messages meanwhile (worker threads may
// post from anywhere) and fail at their real-time deadline; advance moves the
// virtual clock and fires the timers that fall due. Message boxes and file
// dialogs take the answer step at the head of the script; without one they are
// answered with their default button or cancelled, and recorded.
//
// A failure is recorded, the remaining steps are dropped and every running
// modal loop and message loop ends with kDialogFailed (-1), so a broken test
// ends instead of hanging. A loop that is idle with no step left waits for a
// posted message up to the stall time-out, then ends the same way.
//
// Everything runs on the thread that runs the loops, except what window.h
// allows from any thread (postMessage, isWindow).
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tidewell/ui/dialog.h"
#include "tidewell/ui/frame.h"
#include "tidewell/ui/paint.h"
#include "tidewell/ui/platform.h"

namespace tidewell::ui::headless {

using Duration = std::chrono::milliseconds;
inline constexpr Duration kDefaultWait{10000};
inline constexpr Duration kDefaultStall{10000};

class HeadlessPlatform;

class ScriptedUser {
  public:
    explicit ScriptedUser(HeadlessPlatform& platform) : platform_(platform) {}
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;

    // Input on the active modal dialog.
    ScriptedUser& click(int controlId);
    ScriptedUser& setCheck(int controlId, bool checked);  // clicks when the mark differs
    ScriptedUser& select(int controlId, std::string entryText);
    ScriptedUser& selectIndex(int controlId, int index);
    ScriptedUser& type(int controlId, std::string text);
    ScriptedUser& pressEscape();
    ScriptedUser& pressEnter();
    ScriptedUser& closeBox();
    ScriptedUser& systemCommand(UINT id);

    // Input on a given window (a dialog bar, a window that is not modal).
    ScriptedUser& click(Window& window, int controlId);
    ScriptedUser& type(Window& window, int controlId, std::string text);

    // Input on the main frame; fails while a modal dialog is open, unless it stepped aside.
    ScriptedUser& chooseMenu(int commandId);
    ScriptedUser& pressKey(KeyStroke key);
    ScriptedUser& closeFrame();

    // Answers, taken by the next message box or file dialog. With expectedText
    // the box must show exactly that text.
    ScriptedUser& answerMessageBox(int result, std::string expectedText = {});
    ScriptedUser& answerFileDialog(std::string path);
    ScriptedUser& cancelFileDialog();

    // Time and conditions.
    ScriptedUser& advance(Duration duration);
    ScriptedUser& waitUntil(std::function<bool()> condition, std::string what,
                            Duration timeout = kDefaultWait);
    ScriptedUser& waitForDialog(int templateId, Duration timeout = kDefaultWait);
    ScriptedUser& waitForText(int controlId, std::string text, Duration timeout = kDefaultWait);

    // Checks at this point of the script (on the active modal dialog).
    ScriptedUser& expectDialog(int templateId);
    ScriptedUser& expectText(int controlId, std::string text);
    ScriptedUser& expectEnabled(int controlId, bool enabled = true);
    ScriptedUser& expectVisible(int controlId, bool visible = true);
    ScriptedUser& expectChecked(int controlId, bool checked = true);
    // Runs code on the window thread at this point of the script.
    ScriptedUser& run(std::function<void()> action, std::string what = "test code");

    bool ok() const { return failures_.empty(); }
    const std::vector<std::string>& failures() const { return failures_; }
    // Failures and unfinished steps, one per line (empty when all went well).
    std::string report() const;
    std::size_t pending() const { return steps_.size(); }
    bool finished() const { return steps_.empty(); }

  private:
    friend class HeadlessPlatform;

    enum class Kind { Action, Wait, Advance, AnswerBox, AnswerFile };
    struct Step {
        Kind kind = Kind::Action;
        std::string what;
        // Action: returns a failure text, empty on success.
        std::function<std::string()> action;
        std::function<bool()> condition;
        Duration duration{0};
        std::optional<std::chrono::steady_clock::time_point> deadline;
        std::optional<Duration> target;  // Advance: virtual time to reach
        int answer = IDOK;
        std::string expectedText;
        std::optional<std::string> path;
    };

    ScriptedUser& add(Step step);
    ScriptedUser& onDialog(std::string what, std::function<std::string(Dialog&)> action);
    void fail(std::string message);

    HeadlessPlatform& platform_;
    std::deque<Step> steps_;
    std::vector<std::string> failures_;
    std::size_t stepsRun_ = 0;
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT type = MB_OK;
    int ownerTemplate = 0;  // template id of the owning dialog, 0 for other owners
    int answer = IDOK;
    bool scripted = false;
};

struct FileDialogRecord {
    FileDialogRequest request;
    std::optional<std::string> answer;
    bool scripted = false;
};

struct DialogRun {
    int templateId = 0;
    bool shown = false;  // entered its modal loop (did not end during initialisation)
    int result = kDialogFailed;
};

// One painting of a control through a recording device context. Text extents
// use a fixed metric: each character is half the font height wide.
struct PaintOp {
    enum class Kind { SelectFont, SetBkMode, SetTextColor, SetBkColor, FillRect, DrawText };
    Kind kind = Kind::DrawText;
    LOGFONT font{};
    int mode = 0;
    COLORREF colour = 0;
    Rect rect;
    std::string text;   // DrawText: the text as given
    std::string shown;  // DrawText: the characters that fit inside the rectangle
    UINT format = 0;
    Point origin;  // DrawText: where the line starts
};

struct PaintRecord {
    Rect clientRect;
    std::vector<PaintOp> ops;
    const PaintOp* find(PaintOp::Kind kind) const;
};

class HeadlessPlatform : public Platform {
  public:
    explicit HeadlessPlatform(const ResourceSet& resources);
    ~HeadlessPlatform() override;

    ScriptedUser& user() { return user_; }

    // Runs the loop until every script step ran (or a failure); true when all went well.
    bool runScript();
    // Handles every message posted so far.
    void runPending();
    // Moves the virtual clock, firing due timers in order and handling what they post.
    void advance(Duration duration);
    Duration now() const { return now_; }

    Dialog* activeDialog() const;
    FrameWindow* mainFrame() const;
    int modalDepth() const { return static_cast<int>(modalStack_.size()); }

    void setStallTimeout(Duration timeout) { stallTimeout_ = timeout; }
    // Fail on message boxes and file dialogs that no step answers.
    void setStrictAnswers(bool strict) { strictAnswers_ = strict; }
    void setKeyToggled(int indicatorId, bool on) { keyToggles_[indicatorId] = on; }

    const std::vector<MessageBoxRecord>& messageBoxes() const { return boxes_; }
    const std::vector<FileDialogRecord>& fileDialogs() const { return files_; }
    const std::vector<UINT>& beeps() const { return beeps_; }
    const std::vector<DialogRun>& dialogRuns() const { return runs_; }
    bool loopStalled() const { return stalled_; }
    bool aborted() const { return aborted_; }
    int quitCode() const { return quitCode_; }

    // Paints a control with its paint handler (nothing recorded without one).
    PaintRecord paint(Control& control);
    // A control's rectangle in pixels (dialog units at a 6 x 13 pixel base).
    static Rect pixelRect(const Control& control);

    // Platform.
    int runApplication(const std::function<bool()>& initInstance,
                       const std::function<int(int)>& exitInstance) override;
    int runMessageLoop() override;
    void quit(int exitCode) override;
    void createPeer(Window& window) override;
    int runModal(Dialog& dialog) override;
    void endModal(Dialog& dialog) override;
    void startTimer(Window& window, UINT_PTR id, std::chrono::milliseconds period) override;
    void stopTimer(Window& window, UINT_PTR id) override;
    int messageBox(Window* owner, std::string_view text, std::string_view caption,
                   UINT type) override;
    std::optional<std::string> chooseFile(const FileDialogRequest& request, Window* owner) override;
    void messageBeep(UINT type) override;
    bool isKeyToggled(int indicatorId) const override;

  protected:
    void windowDestroyed(Window& window) override;
    void showAside(Dialog& /*dialog*/, Window& /*other*/, bool /*aside*/) override {}

  private:
    friend class ScriptedUser;
    enum class LoopEnd { Done, Aborted, Stalled };

    LoopEnd pump(const std::function<bool()>& done);
    bool runNextStep();
    void abortAll(std::string message);
    void fireTimer(std::pair<std::uint64_t, UINT_PTR> key);

    struct Timer {
        WindowHandle window;
        Duration due;
        Duration period;
        std::uint64_t order;
    };

    ScriptedUser user_;
    Duration now_{0};
    Duration stallTimeout_ = kDefaultStall;
    bool strictAnswers_ = false;
    std::map<std::pair<std::uint64_t, UINT_PTR>, Timer> timers_;
    std::uint64_t timerOrder_ = 0;
    std::vector<Dialog*> modalStack_;
    std::vector<WindowHandle> frames_;
    std::map<std::uint64_t, std::size_t> runIndex_;
    std::map<int, bool> keyToggles_;
    std::vector<MessageBoxRecord> boxes_;
    std::vector<FileDialogRecord> files_;
    std::vector<UINT> beeps_;
    std::vector<DialogRun> runs_;
    bool quitRequested_ = false;
    int quitCode_ = 0;
    bool stalled_ = false;
    bool aborted_ = false;
};

}  // namespace tidewell::ui::headless
