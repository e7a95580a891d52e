// The engine on a real pseudo-terminal against tidewell-devsim: starts the simulated
// device with given options, opens the standard link on its path and drives the
// worker as the frame does.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "probe_worker.h"
#include "process.h"
#include "recorder.h"
#include "tidewell/serial/tserie.h"
#include "tidewell/testsupport/devsim_process.h"

namespace tidewell::testing {

// Path of the tidewell-devsim program of this build, or empty.
std::string devsimProgram();

class DeviceRun {
  public:
    explicit DeviceRun(const std::vector<std::string>& devsimOptions,
                       const EngineTiming& timing = EngineTiming{}, std::uint32_t baud = 115200);
    ~DeviceRun();

    // Detection then log-in; true when both results arrived.
    bool detectAndLogin();
    // As the frame's startUpload/startDownload; returns the posted result (-1: none in time).
    std::int32_t upload(const std::string& localPath, const std::string& deviceName);
    std::int32_t download(const std::string& deviceName, const std::string& localPath);
    // Waits until the device's log holds text count times.
    bool deviceLogged(std::string_view text, std::chrono::milliseconds limit, int count = 1) const;
    // Gives a command and waits for its result notification.
    std::int32_t resultOf(std::int32_t command, std::chrono::milliseconds timeout);

    std::string storeFile(const std::string& name) const { return store_ + "/" + name; }
    std::string localFile(const std::string& name) const { return dir_.file(name); }

    Recorder recorder;
    std::unique_ptr<ProbeWorker> worker;
    std::unique_ptr<testsupport::DevsimProcess> devsim;

  private:
    std::int32_t transfer(std::int32_t command, const std::string& localPath,
                          const std::string& line);

    TempDir dir_;
    std::string store_;
    std::unique_ptr<TSerie> portOwner_;
    TSerie* port_ = nullptr;
};

}  // namespace tidewell::testing
