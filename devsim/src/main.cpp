// tidewell-devsim: a simulated device on a pseudo-terminal.
#include <cstdio>
#include <string_view>
#include <vector>

#include "run.h"
#include "tidewell/devsim/options.h"
#include "tidewell/version.h"

int main(int argc, char** argv) {
    using namespace tidewell::devsim;
    constexpr int kUsageError = 2;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(args);
    if (!parsed.ok()) {
        std::fprintf(stderr, "tidewell-devsim: %s\nTry tidewell-devsim --help.\n",
                     parsed.error.c_str());
        return kUsageError;
    }
    if (parsed.helpRequested) {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (parsed.versionRequested) {
        std::printf("tidewell-devsim %.*s\n", static_cast<int>(tidewell::kTidewellVersion.size()),
                    tidewell::kTidewellVersion.data());
        return 0;
    }
    return runDevice(parsed.options);
}
