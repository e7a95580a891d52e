// `trace`: protocol traces summed up, as text for a technician or as one JSON object per
// transfer (the fields are listed in the README).
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tidewell/cli/exit_status.h"

namespace tidewell::cli {

// Reports each file on out; a file that cannot be read, or whose trace is not whole, goes
// to fail with its status. Returns the first such status, or ok.
ExitStatus reportTraces(const std::vector<std::string>& files, bool json, std::ostream& out,
                        const std::function<void(ExitStatus, const std::string&)>& fail);

}  // namespace tidewell::cli
