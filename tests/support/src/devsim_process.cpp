#include "tidewell/testsupport/devsim_process.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tidewell::testsupport {

SpawnOptions DevsimProcess::spawnOptions(const DevsimOptions& options) {
    SpawnOptions spawn;
    spawn.args = {options.program, "--link", options.link.string(), "--store",
                  options.store.string()};
    if (!options.log.empty()) {
        spawn.args.insert(spawn.args.end(), {"--log", options.log.string()});
    }
    spawn.args.insert(spawn.args.end(), options.extra.begin(), options.extra.end());
    spawn.stdoutPipe = true;
    spawn.stderrFile = options.stderrFile;
    return spawn;
}

DevsimProcess::DevsimProcess(const DevsimOptions& options)
    : link_(options.link), store_(options.store), log_(options.log), child_(spawnOptions(options)) {
    if (child_.readLine(readyLine_, options.readyLimit)) return;
    std::string why = "tidewell-devsim on " + link_.string() + " printed no ready line within " +
                      std::to_string(options.readyLimit.count()) + " ms";
    if (const auto status = child_.wait(Millis{0})) {
        why += "; it ended with status " + std::to_string(*status);
    }
    if (!options.stderrFile.empty()) {
        std::ifstream in(options.stderrFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        why += ": " + text.str();
    }
    throw std::runtime_error(why);
}

}  // namespace tidewell::testsupport
