// Text from the device made safe to show on a terminal: control characters become
// visible escapes, so a device line cannot retitle a window, move the cursor or
// clear the screen.
//
// ESC is "\e", other C0 controls and DEL are caret notation ("^G", "^?"); tab
// stays. Valid UTF-8 stays, except the C1 controls U+0080..U+009F ("\u0080");
// bytes that are not valid UTF-8 become "\xNN".
#pragma once

#include <string>
#include <string_view>

namespace tidewell::cli {

std::string visibleText(std::string_view text);

}  // namespace tidewell::cli
