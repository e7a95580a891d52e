#include "processes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace tidewell::cli::testing {

namespace fs = std::filesystem;

namespace {

testsupport::DevsimOptions devsimOptions(const fs::path& folder,
                                         const std::vector<std::string>& extra) {
    testsupport::DevsimOptions options;
    options.program = TIDEWELL_DEVSIM;
    options.link = folder / "tty";
    options.store = folder / "store";
    options.log = folder / "devsim.log";
    options.stderrFile = folder / "devsim.err";
    options.extra = extra;
    return options;
}

}  // namespace

Devsim::Devsim(const fs::path& folder, const std::vector<std::string>& extra)
    : process_(devsimOptions(folder, extra)) {}

CliRun runCli(const fs::path& folder, const std::vector<std::string>& args,
              const CliExtras& extras) {
    SpawnOptions options;
    options.args = {TIDEWELL_CLI};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = {"XDG_CONFIG_HOME=" + (folder / "config").string()};
    options.stdinFile = folder / "cli.in";
    options.stdoutFile = folder / "cli.out";
    options.stdoutFd = extras.stdoutFd;
    options.stderrFile = folder / "cli.err";
    options.fileSizeLimit = extras.fileSizeLimit;
    writeFile(options.stdinFile, extras.input);
    Child child(options);
    CliRun run;
    run.status = child.wait(extras.limit).value_or(-1);
    if (extras.stdoutFd < 0) run.out = readFile(options.stdoutFile);
    run.err = readFile(options.stderrFile);
    return run;
}

std::unique_ptr<Child> startCli(const fs::path& folder, const std::vector<std::string>& args,
                                const fs::path& input) {
    SpawnOptions options;
    options.stdinFile = input;
    options.args = {TIDEWELL_CLI};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = {"XDG_CONFIG_HOME=" + (folder / "config").string()};
    options.stdoutFile = folder / "cli.out";
    options.stderrFile = folder / "cli.err";
    return std::make_unique<Child>(options);
}

bool portIsFree(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked;
}

}  // namespace tidewell::cli::testing
