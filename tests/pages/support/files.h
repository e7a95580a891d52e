// Files and tidewell-devsim for the page tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/testsupport/devsim_process.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::pages::testing {

using testsupport::Millis;
using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitForText;
using testsupport::writeFile;

// Names in a folder, sorted (hidden ones included).
std::vector<std::string> filesIn(const std::filesystem::path& folder);

// tidewell-devsim on <folder>/tty with its files in <folder>/store and its event log
// in <folder>/devsim.log; ready (link in place) once constructed.
class Devsim {
  public:
    Devsim(const std::filesystem::path& folder, const std::vector<std::string>& options);
    const std::filesystem::path& link() const { return process_->link(); }
    const std::filesystem::path& store() const { return process_->store(); }
    std::filesystem::path storeFile(std::string_view name) const { return store() / name; }
    const std::filesystem::path& logFile() const { return process_->logPath(); }
    // Ends the device at once (SIGKILL): the host sees the line hang up. Any thread.
    void hangUp() const;

  private:
    std::unique_ptr<testsupport::DevsimProcess> process_;
};

// Path of this build's tidewell-devsim.
std::string devsimProgram();

}  // namespace tidewell::pages::testing
