// One scripted device behind a standard-link port, a probe worker on it and a recorder
// for its notifications. Destroys the worker before the port.
#pragma once

#include <memory>
#include <ostream>
#include <thread>

#include "probe_worker.h"
#include "recorder.h"
#include "scripted_line.h"
#include "tidewell/engine/timing.h"

namespace tidewell::testing {

// Polls done until it holds or the timeout passes.
template <typename Done>
bool eventually(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Waits a twentieth of production: limits are reached quickly, while a reaction that
// feeds at once is never mistaken for silence.
inline EngineTiming fastTiming() {
    return scaledTiming(20);
}

struct ScriptedRig {
    explicit ScriptedRig(const EngineTiming& timing = fastTiming(), std::ostream* log = nullptr,
                         DWORD baudRate = 115200)
        : line(std::make_shared<ScriptedLine>()),
          portOwner(openScriptedPort(line, "/dev/scripted0", baudRate)),
          port(portOwner.get()),
          worker(std::make_unique<ProbeWorker>(port, cmdIdle, log, timing)) {
        recorder.attachTo(*worker);
        worker->start(true);
    }
    ~ScriptedRig() { worker.reset(); }

    std::shared_ptr<ScriptedLine> line;
    std::unique_ptr<TSerie> portOwner;
    TSerie* port;
    Recorder recorder;
    std::unique_ptr<ProbeWorker> worker;
};

}  // namespace tidewell::testing
