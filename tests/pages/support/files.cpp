#include "files.h"

#include <signal.h>

#include <algorithm>
#include <stdexcept>

namespace tidewell::pages::testing {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string devsimProgram() {
    return TIDEWELL_DEVSIM;
}

Devsim::Devsim(const fs::path& folder, const std::vector<std::string>& options) {
    testsupport::DevsimOptions devsim;
    devsim.program = devsimProgram();
    devsim.link = folder / "tty";
    devsim.store = folder / "store";
    devsim.log = folder / "devsim.log";
    devsim.stderrFile = folder / "devsim.err";
    devsim.extra = options;
    fs::create_directories(devsim.store);
    process_ = std::make_unique<testsupport::DevsimProcess>(devsim);
}

void Devsim::hangUp() const {
    process_->child().signal(SIGKILL);
}

}  // namespace tidewell::pages::testing
