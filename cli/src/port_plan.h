// The ports a run on several ports works on, as --port names them: each port's label
// (COM3, or the path given), the device behind it and the folder of its backups.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tidewell/cli/exit_status.h"
#include "tidewell/cli/options.h"
#include "tidewell/serial/ports.h"

namespace tidewell::cli {

struct PortPlan {
    PortChoice choice;       // what the port's own session opens
    std::string label;       // "COM3", or the path given
    std::string devicePath;  // what it opens now; empty when COMn stands for nothing
    std::string folder;      // name of its backup folder under --dir or --backup-first
};

// The folder of a port's backups: the name of the device's /dev/serial/by-id link when it
// has one, else "COMn" (the number given, or the one [Ports] gives this path), else the path
// with its slashes made underscores ("/tmp/a/tty" -> "tmp_a_tty"). The same device keeps
// the same folder however it is named.
std::string backupFolderName(const std::string& devicePath, std::optional<std::uint8_t> comNumber,
                             const DeviceRoots& roots = {});

// A port's trace file beside `file`: its stem, "-", the port's folder name, its extension
// ("/tmp/trace.txt", "COM3" -> "/tmp/trace-COM3.txt").
std::string traceFileFor(const std::string& file, const std::string& portFolder);

// Every port of the run in the order named (--port all: the present ones in COM order).
// Nothing, *why and *status when none is present for "all" (a port error), or when two
// names reach one device or one backup folder (a usage error).
std::optional<std::vector<PortPlan>> planPorts(const GlobalOptions& options, const Job& job,
                                               ComPortResolver& resolver, const DeviceRoots& roots,
                                               std::string* why, ExitStatus* status);

}  // namespace tidewell::cli
