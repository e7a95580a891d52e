// The program around the device: pseudo-terminal, link, event loop, signals.
#pragma once

#include "tidewell/devsim/options.h"

namespace tidewell::devsim {

// Runs until SIGINT or SIGTERM; returns the exit code (0 then, 1 when the
// device could not be set up; the reason goes to stderr).
int runDevice(const Options& options);

}  // namespace tidewell::devsim
