#include "device_run.h"

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tidewell/serial/backend.h"

namespace tidewell::testing {

using namespace std::chrono_literals;

std::string devsimProgram() {
#ifdef TIDEWELL_DEVSIM_PROGRAM
    return TIDEWELL_DEVSIM_PROGRAM;
#else
    return {};
#endif
}

DeviceRun::DeviceRun(const std::vector<std::string>& devsimOptions, const EngineTiming& timing,
                     std::uint32_t baud)
    : store_(dir_.file("store")) {
    const std::string link = dir_.file("tty");
    testsupport::DevsimOptions options;
    options.program = devsimProgram();
    options.link = link;
    options.store = store_;
    options.extra = devsimOptions;
    options.log = dir_.file("devsim.log");
    devsim = std::make_unique<testsupport::DevsimProcess>(options);
    SerialPlatform platform{[] { return makeTermiosBackend(); },
                            [link](std::uint8_t) { return link; }};
    std::string whyNot;
    portOwner_ = createSerialPort(1, baud, platform, &whyNot);
    if (!portOwner_) {
        throw std::runtime_error("cannot open " + link + ": " + whyNot);
    }
    port_ = portOwner_.get();
    worker = std::make_unique<ProbeWorker>(port_, cmdIdle, nullptr, timing);
    recorder.attachTo(*worker);
    worker->start(true);
}

DeviceRun::~DeviceRun() {
    worker.reset();
    portOwner_.reset();
    devsim.reset();
}

std::int32_t DeviceRun::resultOf(std::int32_t command, std::chrono::milliseconds timeout) {
    const std::size_t before = recorder.results().size();
    worker->cancel();
    worker->setCommand(command);
    if (!recorder.waitForResults(before + 1, timeout)) {
        return -1;
    }
    return recorder.results()[before];
}

bool DeviceRun::deviceLogged(std::string_view text, std::chrono::milliseconds limit,
                             int count) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        const std::string log = readFile(dir_.file("devsim.log"));
        int found = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            ++found;
        }
        if (found >= count) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

bool DeviceRun::detectAndLogin() {
    return resultOf(cmdDetect, 10s) == resDetected && resultOf(cmdLogin, 10s) == resLoggedIn;
}

std::int32_t DeviceRun::transfer(std::int32_t command, const std::string& localPath,
                                 const std::string& line) {
    const std::size_t before = recorder.results().size();
    worker->cancel();
    worker->setFileName(localPath);
    worker->setCommand(command);
    worker->queueCommandLine(line);
    if (!recorder.waitForResults(before + 1, 120s)) {
        return -1;
    }
    return recorder.results()[before];
}

std::int32_t DeviceRun::upload(const std::string& localPath, const std::string& deviceName) {
    return transfer(cmdUpload, localPath, "download " + deviceName);
}

std::int32_t DeviceRun::download(const std::string& deviceName, const std::string& localPath) {
    std::filesystem::remove(localPath);  // a download only ever creates its file
    return transfer(cmdDownload, localPath, "upload " + deviceName);
}

}  // namespace tidewell::testing
