#include "tidewell/app/command_line.h"

namespace tidewell {

// A program started from a terminal writes to it already.
void useStartingConsole() {}

}  // namespace tidewell
