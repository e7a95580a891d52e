// detect, update, backup, restore or send on several ports at once. Each port has a
// thread of its own that runs an ordinary session (its own port, worker and state); the
// ports share nothing but the output writer. The signals are watched here and passed on
// to every port as a cancel, so each one stops, tells its device, removes its partial
// backup and releases its port. A summary (a table, or JSON) ends the run.
#pragma once

#include "tidewell/cli/exit_status.h"
#include "tidewell/cli/options.h"
#include "tidewell/cli/run.h"

namespace tidewell::cli {

// Call it before any other thread is started (the signals are blocked here).
ExitStatus runOnSeveralPorts(const GlobalOptions& options, const Job& job, const CliIo& io);

}  // namespace tidewell::cli
