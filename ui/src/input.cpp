#include "tidewell/ui/input.h"

#include <algorithm>

namespace tidewell::ui::input {
namespace {

Result usable(const Control* control) {
    if (control == nullptr) {
        return Result::NoControl;
    }
    if (!control->IsWindowVisible()) {
        return Result::Hidden;
    }
    if (!control->IsWindowEnabled()) {
        return Result::Disabled;
    }
    return Result::Done;
}

void sendCommand(Window& window, int id, unsigned code) {
    window.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), code), 0);
}

bool inMenuOrToolBar(FrameWindow& frame, int id) {
    if (frame.GetMenu() != nullptr && frame.GetMenu()->findItem(id) != nullptr) {
        return true;
    }
    const auto& bars = frame.controlBars();
    return std::any_of(bars.begin(), bars.end(), [id](ControlBar* bar) {
        const auto* toolBar = dynamic_cast<const ToolBar*>(bar);
        return toolBar != nullptr && toolBar->IsWindowVisible() && toolBar->findButton(id);
    });
}

}  // namespace

const char* describe(Result result) {
    switch (result) {
        case Result::Done:
            return "done";
        case Result::NoWindow:
            return "the window does not exist";
        case Result::NoControl:
            return "no such control or command";
        case Result::Disabled:
            return "disabled";
        case Result::Hidden:
            return "hidden";
        case Result::WrongKind:
            return "not a control of that kind";
        case Result::NoEntry:
            return "no such list entry";
        case Result::Ignored:
            return "the key did nothing";
    }
    return "?";
}

Result click(Window& window, int controlId) {
    if (!window.IsWindow()) {
        return Result::NoWindow;
    }
    Control* control = window.FindDlgItem(controlId);
    if (const Result r = usable(control); r != Result::Done) {
        return r;
    }
    switch (control->kind()) {
        case ControlKind::PushButton:
            break;
        case ControlKind::CheckBox:
            control->SetCheck(control->GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            break;
        default:
            return Result::WrongKind;
    }
    sendCommand(window, controlId, BN_CLICKED);
    return Result::Done;
}

Result typeText(Window& window, int controlId, std::string_view text) {
    if (!window.IsWindow()) {
        return Result::NoWindow;
    }
    Control* control = window.FindDlgItem(controlId);
    if (const Result r = usable(control); r != Result::Done) {
        return r;
    }
    if (control->kind() != ControlKind::Edit) {
        return Result::WrongKind;
    }
    if (control->IsReadOnly()) {
        return Result::Disabled;
    }
    if (control->GetWindowText() != text) {
        control->SetWindowText(text);
        sendCommand(window, controlId, EN_CHANGE);
    }
    return Result::Done;
}

Result selectEntry(Window& window, int controlId, int index) {
    if (!window.IsWindow()) {
        return Result::NoWindow;
    }
    Control* control = window.FindDlgItem(controlId);
    if (const Result r = usable(control); r != Result::Done) {
        return r;
    }
    if (control->kind() != ControlKind::DropDownList) {
        return Result::WrongKind;
    }
    if (index < 0 || index >= control->GetCount()) {
        return Result::NoEntry;
    }
    control->SetCurSel(index);
    sendCommand(window, controlId, CBN_SELCHANGE);
    return Result::Done;
}

Result selectEntryText(Window& window, int controlId, std::string_view text) {
    if (!window.IsWindow()) {
        return Result::NoWindow;
    }
    const Control* control = window.FindDlgItem(controlId);
    if (control == nullptr) {
        return Result::NoControl;
    }
    const int index = control->FindStringExact(-1, text);
    if (index == CB_ERR) {
        return Result::NoEntry;
    }
    return selectEntry(window, controlId, index);
}

Result pressEscape(Dialog& dialog) {
    if (!dialog.IsWindow()) {
        return Result::NoWindow;
    }
    const Control* cancel = dialog.FindDlgItem(IDCANCEL);
    if (cancel != nullptr && !cancel->IsWindowEnabled()) {
        return Result::Ignored;
    }
    sendCommand(dialog, IDCANCEL, BN_CLICKED);
    return Result::Done;
}

Result pressEnter(Dialog& dialog) {
    if (!dialog.IsWindow()) {
        return Result::NoWindow;
    }
    const int id = dialog.defaultButtonId();
    const Control* button = dialog.FindDlgItem(id);
    if (button != nullptr && (!button->IsWindowEnabled() || !button->IsWindowVisible())) {
        return Result::Ignored;
    }
    sendCommand(dialog, id, BN_CLICKED);
    return Result::Done;
}

Result closeBox(Window& window) {
    if (!window.IsWindow()) {
        return Result::NoWindow;
    }
    window.SendMessage(WM_CLOSE);
    return Result::Done;
}

Result systemCommand(Dialog& dialog, UINT id) {
    if (!dialog.IsWindow()) {
        return Result::NoWindow;
    }
    if ((id & SC_MASK) != SC_CLOSE) {
        Menu* menu = dialog.GetSystemMenu();
        const Menu::Item* item = menu != nullptr ? menu->findItem(static_cast<int>(id)) : nullptr;
        if (item == nullptr) {
            return Result::NoControl;
        }
        if (!item->isEnabled()) {
            return Result::Disabled;
        }
    }
    dialog.SendMessage(WM_SYSCOMMAND, id, 0);
    return Result::Done;
}

Result menuCommand(FrameWindow& frame, int id) {
    if (!frame.IsWindow()) {
        return Result::NoWindow;
    }
    if (!inMenuOrToolBar(frame, id)) {
        return Result::NoControl;
    }
    if (!frame.QueryCommandUI(id).enabled()) {
        return Result::Disabled;
    }
    frame.ExecuteCommand(id);
    return Result::Done;
}

Result accelerator(FrameWindow& frame, const KeyStroke& key) {
    if (!frame.IsWindow()) {
        return Result::NoWindow;
    }
    const AcceleratorTable* table = frame.accelerators();
    if (table == nullptr) {
        return Result::NoControl;
    }
    for (const auto& entry : table->entries) {
        if (entry.key == key.key && ((entry.fVirt & FCONTROL) != 0) == key.control &&
            ((entry.fVirt & FSHIFT) != 0) == key.shift && ((entry.fVirt & FALT) != 0) == key.alt) {
            if (!frame.QueryCommandUI(entry.cmd).enabled()) {
                return Result::Disabled;
            }
            frame.ExecuteCommand(entry.cmd);
            return Result::Done;
        }
    }
    return Result::NoControl;
}

}  // namespace tidewell::ui::input
