#include <sstream>

#include "tidewell/ui/headless/headless.h"
#include "tidewell/ui/input.h"
#include "tidewell/ui/text.h"

namespace tidewell::ui::headless {
namespace {

// A key that does nothing on screen is no failure: the user pressed it and nothing happened.
std::string outcome(input::Result result) {
    return result == input::Result::Done || result == input::Result::Ignored
               ? std::string()
               : std::string(input::describe(result));
}

std::string dialogName(const Dialog& dialog) {
    return stringPrintf("dialog %d", dialog.GetTemplateId());
}

}  // namespace

ScriptedUser& ScriptedUser::add(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

void ScriptedUser::fail(std::string message) {
    platform_.abortAll(std::move(message));
}

ScriptedUser& ScriptedUser::onDialog(std::string what, std::function<std::string(Dialog&)> action) {
    Step step;
    step.kind = Kind::Action;
    step.what = what;
    step.action = [this, action = std::move(action)]() -> std::string {
        Dialog* dialog = platform_.activeDialog();
        if (dialog == nullptr) {
            return "no dialog is open";
        }
        if (platform_.hasSteppedAside(*dialog)) {
            return dialogName(*dialog) + " has stepped aside";
        }
        std::string error = action(*dialog);
        return error.empty() ? error : dialogName(*dialog) + ": " + error;
    };
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::click(int controlId) {
    return onDialog(stringPrintf("click %d", controlId),
                    [controlId](Dialog& d) { return outcome(input::click(d, controlId)); });
}

ScriptedUser& ScriptedUser::setCheck(int controlId, bool checked) {
    return onDialog(stringPrintf("set check %d to %d", controlId, checked ? 1 : 0),
                    [controlId, checked](Dialog& d) -> std::string {
                        const Control* box = d.FindDlgItem(controlId);
                        if (box != nullptr && (box->GetCheck() == BST_CHECKED) == checked) {
                            return {};
                        }
                        return outcome(input::click(d, controlId));
                    });
}

ScriptedUser& ScriptedUser::select(int controlId, std::string entryText) {
    return onDialog(stringPrintf("select \"%s\" in %d", entryText.c_str(), controlId),
                    [controlId, entryText](Dialog& d) {
                        return outcome(input::selectEntryText(d, controlId, entryText));
                    });
}

ScriptedUser& ScriptedUser::selectIndex(int controlId, int index) {
    return onDialog(
        stringPrintf("select entry %d in %d", index, controlId),
        [controlId, index](Dialog& d) { return outcome(input::selectEntry(d, controlId, index)); });
}

ScriptedUser& ScriptedUser::type(int controlId, std::string text) {
    return onDialog(
        stringPrintf("type \"%s\" into %d", text.c_str(), controlId),
        [controlId, text](Dialog& d) { return outcome(input::typeText(d, controlId, text)); });
}

ScriptedUser& ScriptedUser::pressEscape() {
    return onDialog("press Escape", [](Dialog& d) { return outcome(input::pressEscape(d)); });
}

ScriptedUser& ScriptedUser::pressEnter() {
    return onDialog("press Enter", [](Dialog& d) { return outcome(input::pressEnter(d)); });
}

ScriptedUser& ScriptedUser::closeBox() {
    return onDialog("close box", [](Dialog& d) { return outcome(input::closeBox(d)); });
}

ScriptedUser& ScriptedUser::systemCommand(UINT id) {
    return onDialog(stringPrintf("system command 0x%X", id),
                    [id](Dialog& d) { return outcome(input::systemCommand(d, id)); });
}

ScriptedUser& ScriptedUser::click(Window& window, int controlId) {
    Step step;
    step.what = stringPrintf("click %d of a window", controlId);
    step.action = [&window, controlId] { return outcome(input::click(window, controlId)); };
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::type(Window& window, int controlId, std::string text) {
    Step step;
    step.what = stringPrintf("type \"%s\" into %d of a window", text.c_str(), controlId);
    step.action = [&window, controlId, text] {
        return outcome(input::typeText(window, controlId, text));
    };
    return add(std::move(step));
}

namespace {

template <typename Fn>
std::string onFrame(HeadlessPlatform& platform, Fn&& fn) {
    const Dialog* dialog = platform.activeDialog();
    if (dialog != nullptr && !platform.hasSteppedAside(*dialog)) {
        return stringPrintf("dialog %d is open", dialog->GetTemplateId());
    }
    FrameWindow* frame = platform.mainFrame();
    if (frame == nullptr) {
        return "no frame window";
    }
    return fn(*frame);
}

}  // namespace

ScriptedUser& ScriptedUser::chooseMenu(int commandId) {
    Step step;
    step.what = stringPrintf("choose command %d", commandId);
    step.action = [this, commandId] {
        return onFrame(platform_, [commandId](FrameWindow& f) {
            return outcome(input::menuCommand(f, commandId));
        });
    };
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::pressKey(KeyStroke key) {
    Step step;
    step.what = stringPrintf("press key 0x%X%s%s%s", key.key, key.control ? " +Ctrl" : "",
                             key.shift ? " +Shift" : "", key.alt ? " +Alt" : "");
    step.action = [this, key] {
        return onFrame(platform_,
                       [key](FrameWindow& f) { return outcome(input::accelerator(f, key)); });
    };
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::closeFrame() {
    Step step;
    step.what = "close the frame";
    step.action = [this] {
        return onFrame(platform_, [](FrameWindow& f) { return outcome(input::closeBox(f)); });
    };
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::answerMessageBox(int result, std::string expectedText) {
    Step step;
    step.kind = Kind::AnswerBox;
    step.what = expectedText.empty() ? stringPrintf("answer a message box with %d", result)
                                     : stringPrintf("answer the message box \"%s\" with %d",
                                                    expectedText.c_str(), result);
    step.answer = result;
    step.expectedText = std::move(expectedText);
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::answerFileDialog(std::string path) {
    Step step;
    step.kind = Kind::AnswerFile;
    step.what = "choose \"" + path + "\" in a file dialog";
    step.path = std::move(path);
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::cancelFileDialog() {
    Step step;
    step.kind = Kind::AnswerFile;
    step.what = "cancel a file dialog";
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::advance(Duration duration) {
    Step step;
    step.kind = Kind::Advance;
    step.what = stringPrintf("advance %lld ms", static_cast<long long>(duration.count()));
    step.duration = duration;
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::waitUntil(std::function<bool()> condition, std::string what,
                                      Duration timeout) {
    Step step;
    step.kind = Kind::Wait;
    step.what = std::move(what);
    step.condition = std::move(condition);
    step.duration = timeout;
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::waitForDialog(int templateId, Duration timeout) {
    return waitUntil(
        [this, templateId] {
            const Dialog* d = platform_.activeDialog();
            return d != nullptr && d->GetTemplateId() == templateId;
        },
        stringPrintf("dialog %d", templateId), timeout);
}

ScriptedUser& ScriptedUser::waitForText(int controlId, std::string text, Duration timeout) {
    std::string what = stringPrintf("control %d to read \"%s\"", controlId, text.c_str());
    return waitUntil(
        [this, controlId, text = std::move(text)] {
            Dialog* d = platform_.activeDialog();
            const Control* c = d != nullptr ? d->FindDlgItem(controlId) : nullptr;
            return c != nullptr && c->GetWindowText() == text;
        },
        std::move(what), timeout);
}

ScriptedUser& ScriptedUser::expectDialog(int templateId) {
    Step step;
    step.what = stringPrintf("expect dialog %d", templateId);
    step.action = [this, templateId]() -> std::string {
        const Dialog* d = platform_.activeDialog();
        if (d == nullptr) {
            return "no dialog is open";
        }
        return d->GetTemplateId() == templateId ? std::string() : dialogName(*d) + " is open";
    };
    return add(std::move(step));
}

ScriptedUser& ScriptedUser::expectText(int controlId, std::string text) {
    return onDialog(stringPrintf("expect control %d to read \"%s\"", controlId, text.c_str()),
                    [controlId, text](Dialog& d) -> std::string {
                        const Control* c = d.FindDlgItem(controlId);
                        if (c == nullptr) {
                            return "no such control";
                        }
                        return c->GetWindowText() == text
                                   ? std::string()
                                   : "it reads \"" + c->GetWindowText() + "\"";
                    });
}

ScriptedUser& ScriptedUser::expectEnabled(int controlId, bool enabled) {
    return onDialog(
        stringPrintf("expect control %d %s", controlId, enabled ? "enabled" : "disabled"),
        [controlId, enabled](Dialog& d) -> std::string {
            const Control* c = d.FindDlgItem(controlId);
            if (c == nullptr) {
                return "no such control";
            }
            return c->IsWindowEnabled() == enabled ? std::string() : "it is not";
        });
}

ScriptedUser& ScriptedUser::expectVisible(int controlId, bool visible) {
    return onDialog(stringPrintf("expect control %d %s", controlId, visible ? "shown" : "hidden"),
                    [controlId, visible](Dialog& d) -> std::string {
                        const Control* c = d.FindDlgItem(controlId);
                        if (c == nullptr) {
                            return "no such control";
                        }
                        return c->IsWindowVisible() == visible ? std::string() : "it is not";
                    });
}

ScriptedUser& ScriptedUser::expectChecked(int controlId, bool checked) {
    return onDialog(
        stringPrintf("expect control %d %s", controlId, checked ? "checked" : "unchecked"),
        [controlId, checked](Dialog& d) -> std::string {
            const Control* c = d.FindDlgItem(controlId);
            if (c == nullptr) {
                return "no such control";
            }
            return (c->GetCheck() == BST_CHECKED) == checked ? std::string() : "it is not";
        });
}

ScriptedUser& ScriptedUser::run(std::function<void()> action, std::string what) {
    Step step;
    step.what = std::move(what);
    step.action = [action = std::move(action)] {
        action();
        return std::string();
    };
    return add(std::move(step));
}

std::string ScriptedUser::report() const {
    std::ostringstream out;
    for (const auto& failure : failures_) {
        out << failure << '\n';
    }
    if (!steps_.empty()) {
        out << steps_.size() << " step(s) not run, next: " << steps_.front().what << '\n';
    }
    return out.str();
}

}  // namespace tidewell::ui::headless
