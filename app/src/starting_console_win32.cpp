#include <windows.h>

#include <cstdio>

#include "tidewell/app/command_line.h"

namespace tidewell {

void useStartingConsole() {
    // Redirected to a file or a pipe (or run under wine from a shell): written there.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN) {
        return;
    }
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}

}  // namespace tidewell
