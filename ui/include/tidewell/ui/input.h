// User input with the rules a user meets on screen: a disabled or hidden
// control takes no click, Escape and the close box act as IDCANCEL unless that
// button is disabled, Enter presses the default button. Both backends and the
// headless scripted user go through these, so they behave alike.
#pragma once

#include <string_view>

#include "tidewell/ui/dialog.h"
#include "tidewell/ui/frame.h"

namespace tidewell::ui::input {

enum class Result {
    Done,
    NoWindow,   // the window does not exist
    NoControl,  // no control (or menu item, button) with that id
    Disabled,   // the control or command is disabled
    Hidden,     // the control is hidden
    WrongKind,  // the action does not fit the control
    NoEntry,    // no list entry with that index or text
    Ignored,    // the key did nothing (for example Escape with Cancel disabled)
};

const char* describe(Result result);

// Push button: its command. Check box: toggles the mark, then its command.
Result click(Window& window, int controlId);
// Replaces an edit field's text, then EN_CHANGE.
Result typeText(Window& window, int controlId, std::string_view text);
// Selects a list entry, then CBN_SELCHANGE.
Result selectEntry(Window& window, int controlId, int index);
Result selectEntryText(Window& window, int controlId, std::string_view text);
Result pressEscape(Dialog& dialog);
Result pressEnter(Dialog& dialog);
// The title bar's close box: WM_CLOSE.
Result closeBox(Window& window);
// An item of the dialog's system menu (or SC_CLOSE): WM_SYSCOMMAND.
Result systemCommand(Dialog& dialog, UINT id);
// A menu item or tool-bar button of the frame.
Result menuCommand(FrameWindow& frame, int id);
Result accelerator(FrameWindow& frame, const KeyStroke& key);

}  // namespace tidewell::ui::input
