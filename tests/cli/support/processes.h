// Running tidewell-cli and tidewell-devsim as programs: temporary folders,
// child processes with redirected streams, and a devsim on a pseudo-terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/testsupport/child_process.h"
#include "tidewell/testsupport/devsim_process.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::cli::testing {

using testsupport::Millis;
using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitForText;
using testsupport::writeFile;

using testsupport::SpawnOptions;
using Child = testsupport::ChildProcess;

// tidewell-devsim with --link, --store and --log in folder, plus extra options;
// ready (its slave's path printed) when constructed.
class Devsim {
  public:
    Devsim(const std::filesystem::path& folder, const std::vector<std::string>& extra);
    const std::filesystem::path& link() const { return process_.link(); }
    const std::filesystem::path& store() const { return process_.store(); }
    std::string log() const { return readFile(process_.logPath()); }

  private:
    testsupport::DevsimProcess process_;
};

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

struct CliExtras {
    std::string input;                    // standard input
    std::optional<rlim_t> fileSizeLimit;  // see SpawnOptions
    int stdoutFd = -1;                    // >= 0: standard output (CliRun::out stays empty)
    Millis limit{60000};
};

// Runs tidewell-cli in folder (settings under folder/config) to its end.
CliRun runCli(const std::filesystem::path& folder, const std::vector<std::string>& args,
              const CliExtras& extras = {});
// The same, started and left running; its streams go to folder/cli.out and cli.err,
// its standard input comes from `input` (a file; empty: /dev/null).
std::unique_ptr<Child> startCli(const std::filesystem::path& folder,
                                const std::vector<std::string>& args,
                                const std::filesystem::path& input = {});

inline bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// True when nobody holds the port: it opens and takes an exclusive lock.
bool portIsFree(const std::filesystem::path& path);

}  // namespace tidewell::cli::testing
