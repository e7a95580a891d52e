#include "tidewell/ui/headless/headless.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "tidewell/ui/text.h"

namespace tidewell::ui::headless {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Waits poll at least this often, so conditions on state that changes without
// a posted message are still seen.
constexpr Duration kConditionPoll{5};
// Nominal dialog base units in pixels.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
constexpr int kDefaultFontHeight = 13;

int defaultButton(UINT type) {
    const bool second = (type & MB_DEFBUTTON2) != 0;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return second ? IDCANCEL : IDOK;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return second ? IDNO : IDYES;
        case MB_RETRYCANCEL:
            return second ? IDCANCEL : IDRETRY;
        default:
            return IDOK;
    }
}

bool answerFits(UINT type, int answer) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return answer == IDOK;
        case MB_OKCANCEL:
            return answer == IDOK || answer == IDCANCEL;
        case MB_YESNO:
            return answer == IDYES || answer == IDNO;
        case MB_YESNOCANCEL:
            return answer == IDYES || answer == IDNO || answer == IDCANCEL;
        case MB_RETRYCANCEL:
            return answer == IDRETRY || answer == IDCANCEL;
        default:
            return true;
    }
}

class RecordingDC : public PaintDC {
  public:
    explicit RecordingDC(Rect client) { record_.clientRect = client; }

    Rect GetClientRect() const override { return record_.clientRect; }

    LOGFONT SelectFont(const LOGFONT& font) override {
        const LOGFONT previous = font_;
        font_ = font;
        PaintOp op;
        op.kind = PaintOp::Kind::SelectFont;
        op.font = font;
        record_.ops.push_back(op);
        return previous;
    }

    int SetBkMode(int mode) override {
        PaintOp op;
        op.kind = PaintOp::Kind::SetBkMode;
        op.mode = mode;
        record_.ops.push_back(op);
        return std::exchange(mode_, mode);
    }

    COLORREF SetTextColor(COLORREF colour) override {
        PaintOp op;
        op.kind = PaintOp::Kind::SetTextColor;
        op.colour = colour;
        record_.ops.push_back(op);
        return std::exchange(text_, colour);
    }

    COLORREF SetBkColor(COLORREF colour) override {
        PaintOp op;
        op.kind = PaintOp::Kind::SetBkColor;
        op.colour = colour;
        record_.ops.push_back(op);
        return std::exchange(back_, colour);
    }

    void FillSolidRect(const Rect& rect, COLORREF colour) override {
        PaintOp op;
        op.kind = PaintOp::Kind::FillRect;
        op.rect = rect;
        op.colour = colour;
        record_.ops.push_back(op);
    }

    int DrawText(std::string_view text, const Rect& rect, UINT format) override {
        const int height = font_.lfHeight > 0 ? font_.lfHeight : kDefaultFontHeight;
        const int charWidth = std::max(1, height / 2);
        const std::string chars = drawTextCharacters(text, format);
        const Size extent{static_cast<int>(chars.size()) * charWidth, height};
        PaintOp op;
        op.kind = PaintOp::Kind::DrawText;
        op.rect = rect;
        op.text = std::string(text);
        op.format = format;
        op.font = font_;
        op.colour = text_;
        op.mode = mode_;
        op.origin = singleLineOrigin(extent, rect, format);
        const int room = std::max(0, rect.right() - op.origin.x) / charWidth;
        op.shown = chars.substr(0, std::min(chars.size(), static_cast<std::size_t>(room)));
        record_.ops.push_back(op);
        return height;
    }

    PaintRecord take() { return std::move(record_); }

  private:
    PaintRecord record_;
    LOGFONT font_{};
    int mode_ = OPAQUE;
    COLORREF text_ = 0;
    COLORREF back_ = RGB(255, 255, 255);
};

}  // namespace

const PaintOp* PaintRecord::find(PaintOp::Kind kind) const {
    const auto it =
        std::find_if(ops.begin(), ops.end(), [kind](const PaintOp& op) { return op.kind == kind; });
    return it == ops.end() ? nullptr : &*it;
}

HeadlessPlatform::HeadlessPlatform(const ResourceSet& resources)
    : Platform(resources), user_(*this) {}

HeadlessPlatform::~HeadlessPlatform() {
    discardPosted();
}

Dialog* HeadlessPlatform::activeDialog() const {
    return modalStack_.empty() ? nullptr : modalStack_.back();
}

FrameWindow* HeadlessPlatform::mainFrame() const {
    if (auto* frame = dynamic_cast<FrameWindow*>(mainWindow())) {
        return frame;
    }
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
        if (auto* frame = dynamic_cast<FrameWindow*>(findWindow(*it))) {
            return frame;
        }
    }
    return nullptr;
}

void HeadlessPlatform::abortAll(std::string message) {
    user_.failures_.push_back(std::move(message));
    user_.steps_.clear();
    aborted_ = true;
}

bool HeadlessPlatform::runNextStep() {
    using Kind = ScriptedUser::Kind;
    auto& steps = user_.steps_;
    ScriptedUser::Step& front = steps.front();
    switch (front.kind) {
        case Kind::Action: {
            ScriptedUser::Step step = std::move(front);
            steps.pop_front();
            ++user_.stepsRun_;
            const std::string error = step.action();
            if (!error.empty()) {
                abortAll(step.what + ": " + error);
            }
            return true;
        }
        case Kind::Advance: {
            // The target is fixed when the step starts; timers fire one at a time so
            // that a loop ended by one of them ends before the next.
            if (!front.target) {
                front.target = now_ + front.duration;
            }
            const Duration target = *front.target;
            auto due =
                std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
                    return std::tie(a.second.due, a.second.order) <
                           std::tie(b.second.due, b.second.order);
                });
            if (due != timers_.end() && due->second.due <= target) {
                fireTimer(due->first);
                return true;
            }
            now_ = target;
            steps.pop_front();
            ++user_.stepsRun_;
            return true;
        }
        case Kind::Wait: {
            if (!front.deadline) {
                front.deadline = SteadyClock::now() + front.duration;
            }
            if (front.condition()) {
                steps.pop_front();
                ++user_.stepsRun_;
                return true;
            }
            if (SteadyClock::now() >= *front.deadline) {
                abortAll(stringPrintf("timed out after %lld ms waiting for ",
                                      static_cast<long long>(front.duration.count())) +
                         front.what);
                return true;
            }
            return false;
        }
        case Kind::AnswerBox:
        case Kind::AnswerFile:
            abortAll(front.what + ": no such dialog was shown");
            return true;
    }
    return true;
}

HeadlessPlatform::LoopEnd HeadlessPlatform::pump(const std::function<bool()>& done) {
    while (true) {
        if (aborted_) {
            return LoopEnd::Aborted;
        }
        if (done()) {
            return LoopEnd::Done;
        }
        if (dispatchOnePosted()) {
            continue;
        }
        if (!user_.steps_.empty()) {
            if (!runNextStep()) {
                const auto& front = user_.steps_.front();
                waitForPosted(std::min(*front.deadline, SteadyClock::now() + kConditionPoll));
            }
            continue;
        }
        if (!waitForPosted(SteadyClock::now() + stallTimeout_) && !done()) {
            return LoopEnd::Stalled;
        }
    }
}

bool HeadlessPlatform::runScript() {
    if (!aborted_) {
        pump([this] { return user_.steps_.empty(); });
    }
    return user_.ok();
}

void HeadlessPlatform::runPending() {
    while (dispatchOnePosted()) {
    }
}

void HeadlessPlatform::fireTimer(std::pair<std::uint64_t, UINT_PTR> key) {
    auto it = timers_.find(key);
    if (it == timers_.end()) {
        return;
    }
    now_ = std::max(now_, it->second.due);
    it->second.due += it->second.period;
    it->second.order = timerOrder_++;
    if (Window* window = findWindow(it->second.window)) {
        window->SendMessage(WM_TIMER, key.second, 0);
    }
}

void HeadlessPlatform::advance(Duration duration) {
    const Duration target = now_ + duration;
    while (true) {
        auto due =
            std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
                return std::tie(a.second.due, a.second.order) <
                       std::tie(b.second.due, b.second.order);
            });
        if (due == timers_.end() || due->second.due > target) {
            break;
        }
        fireTimer(due->first);
        runPending();
    }
    now_ = target;
}

int HeadlessPlatform::runApplication(const std::function<bool()>& initInstance,
                                     const std::function<int(int)>& exitInstance) {
    quitRequested_ = false;
    if (!initInstance()) {
        return exitInstance(1);
    }
    return exitInstance(runMessageLoop());
}

int HeadlessPlatform::runMessageLoop() {
    if (aborted_) {
        return kDialogFailed;
    }
    const LoopEnd end = pump([this] { return quitRequested_; });
    if (end == LoopEnd::Stalled) {
        stalled_ = true;
        return kDialogFailed;
    }
    if (end == LoopEnd::Aborted) {
        return kDialogFailed;
    }
    quitRequested_ = false;
    return quitCode_;
}

void HeadlessPlatform::quit(int exitCode) {
    quitRequested_ = true;
    quitCode_ = exitCode;
}

void HeadlessPlatform::createPeer(Window& window) {
    if (auto* dialog = dynamic_cast<Dialog*>(&window)) {
        runIndex_[window.GetSafeHwnd().id()] = runs_.size();
        runs_.push_back({dialog->GetTemplateId(), false, kDialogFailed});
    } else if (dynamic_cast<FrameWindow*>(&window) != nullptr) {
        frames_.push_back(window.GetSafeHwnd());
    }
}

int HeadlessPlatform::runModal(Dialog& dialog) {
    if (aborted_) {
        return kDialogFailed;
    }
    if (const auto it = runIndex_.find(dialog.GetSafeHwnd().id()); it != runIndex_.end()) {
        runs_[it->second].shown = true;
    }
    modalStack_.push_back(&dialog);
    const LoopEnd end = pump([&dialog] { return dialog.isEnding() || !dialog.IsWindow(); });
    modalStack_.pop_back();
    if (end == LoopEnd::Stalled) {
        abortAll(
            stringPrintf("dialog %d is still open and no step is left", dialog.GetTemplateId()));
    }
    return end == LoopEnd::Done && dialog.isEnding() ? dialog.endResult() : kDialogFailed;
}

void HeadlessPlatform::endModal(Dialog& /*dialog*/) {}

void HeadlessPlatform::startTimer(Window& window, UINT_PTR id, std::chrono::milliseconds period) {
    timers_[{window.GetSafeHwnd().id(), id}] =
        Timer{window.GetSafeHwnd(), now_ + period, period, timerOrder_++};
}

void HeadlessPlatform::stopTimer(Window& window, UINT_PTR id) {
    timers_.erase({window.GetSafeHwnd().id(), id});
}

void HeadlessPlatform::windowDestroyed(Window& window) {
    const std::uint64_t id = window.GetSafeHwnd().id();
    std::erase_if(timers_, [id](const auto& entry) { return entry.first.first == id; });
    if (const auto it = runIndex_.find(id); it != runIndex_.end()) {
        const auto* dialog = dynamic_cast<const Dialog*>(&window);
        runs_[it->second].result =
            dialog != nullptr && dialog->isEnding() ? dialog->endResult() : kDialogFailed;
        runIndex_.erase(it);
    }
}

int HeadlessPlatform::messageBox(Window* owner, std::string_view text, std::string_view caption,
                                 UINT type) {
    MessageBoxRecord record;
    record.text = std::string(text);
    record.caption = std::string(caption);
    record.type = type;
    if (const auto* dialog = dynamic_cast<const Dialog*>(owner)) {
        record.ownerTemplate = dialog->GetTemplateId();
    }
    auto& steps = user_.steps_;
    if (!steps.empty() && steps.front().kind == ScriptedUser::Kind::AnswerBox) {
        const ScriptedUser::Step step = std::move(steps.front());
        steps.pop_front();
        ++user_.stepsRun_;
        record.scripted = true;
        record.answer = step.answer;
        boxes_.push_back(record);
        if (!step.expectedText.empty() && step.expectedText != text) {
            abortAll(step.what + ": the box reads \"" + std::string(text) + "\"");
        } else if (!answerFits(type, step.answer)) {
            abortAll(step.what + ": the box has no such button");
        }
        return record.answer;
    }
    record.answer = defaultButton(type);
    boxes_.push_back(record);
    if (strictAnswers_) {
        abortAll("unexpected message box \"" + std::string(text) + "\"");
    }
    return record.answer;
}

std::optional<std::string> HeadlessPlatform::chooseFile(const FileDialogRequest& request,
                                                        Window* /*owner*/) {
    FileDialogRecord record;
    record.request = request;
    auto& steps = user_.steps_;
    if (!steps.empty() && steps.front().kind == ScriptedUser::Kind::AnswerFile) {
        const ScriptedUser::Step step = std::move(steps.front());
        steps.pop_front();
        ++user_.stepsRun_;
        record.scripted = true;
        record.answer = step.path;
        files_.push_back(record);
        return step.path;
    }
    files_.push_back(record);
    if (strictAnswers_) {
        abortAll("unexpected file dialog starting at \"" + request.fileName + "\"");
    }
    return std::nullopt;
}

void HeadlessPlatform::messageBeep(UINT type) {
    beeps_.push_back(type);
}

bool HeadlessPlatform::isKeyToggled(int indicatorId) const {
    const auto it = keyToggles_.find(indicatorId);
    return it != keyToggles_.end() && it->second;
}

Rect HeadlessPlatform::pixelRect(const Control& control) {
    const Rect& du = control.getTemplate().rect;
    return {du.x * kBaseUnitX / 4, du.y * kBaseUnitY / 8, du.cx * kBaseUnitX / 4,
            du.cy * kBaseUnitY / 8};
}

PaintRecord HeadlessPlatform::paint(Control& control) {
    if (!control.paintHandler()) {
        return {};
    }
    const Rect r = pixelRect(control);
    RecordingDC dc({0, 0, r.cx, r.cy});
    control.paintHandler()(dc);
    return dc.take();
}

}  // namespace tidewell::ui::headless
