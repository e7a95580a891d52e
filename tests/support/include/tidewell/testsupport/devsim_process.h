// tidewell-devsim started on a link of its own, ready once constructed: it has
// printed its ready line (the slave's path), so the link exists.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tidewell/testsupport/child_process.h"

namespace tidewell::testsupport {

struct DevsimOptions {
    std::string program;               // the built tidewell-devsim
    std::filesystem::path link;        // --link
    std::filesystem::path store;       // --store
    std::filesystem::path log;         // --log; empty: none
    std::filesystem::path stderrFile;  // empty: /dev/null
    std::vector<std::string> extra;    // further options
    Millis readyLimit{20000};
};

class DevsimProcess {
  public:
    // Throws when the program cannot start or prints no ready line in time,
    // with what it wrote to stderrFile.
    explicit DevsimProcess(const DevsimOptions& options);

    const std::string& readyLine() const { return readyLine_; }
    const std::filesystem::path& link() const { return link_; }
    const std::filesystem::path& store() const { return store_; }
    const std::filesystem::path& logPath() const { return log_; }
    ChildProcess& child() { return child_; }

  private:
    static SpawnOptions spawnOptions(const DevsimOptions& options);

    std::filesystem::path link_;
    std::filesystem::path store_;
    std::filesystem::path log_;
    ChildProcess child_;
    std::string readyLine_;
};

}  // namespace tidewell::testsupport
