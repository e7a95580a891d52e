// What tidewell-cli needs of the system beyond the engine's session: one file per platform.
#pragma once

#include <cstddef>
#include <string>

#include "tidewell/engine/wait_handle.h"

namespace tidewell::cli {

// Standard output and error as tidewell-cli writes them: a closed pipe shows up as a write
// error, not as the end of the program, and bytes go out as they are (no CR added on Windows).
void prepareStandardStreams();
bool isTerminal(int fd);
// Columns of the terminal on standard error; 0 when it is none or does not say.
std::size_t screenColumns();

// Which of two handles became ready within timeoutMs (< 0: no limit): bit 0 for first,
// bit 1 for second, 0 when the time ran out. Throws std::system_error.
unsigned waitForEither(WaitHandle first, WaitHandle second, int timeoutMs);

// Why backups cannot be put in folder (errno), or 0.
int backupFolderError(const std::string& folder);

}  // namespace tidewell::cli
