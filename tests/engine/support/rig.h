// One scripted device behind a standard-link port, a probe worker on it and a recorder
// for its notifications. Destroys the worker before the port.
#pragma once

#include <memory>
#include <ostream>

#include "probe_worker.h"
#include "recorder.h"
#include "scripted_line.h"
#include "tidewell/engine/timing.h"

namespace tidewell::testing {

// Waits a twentieth of production: limits are reached quickly, while a reaction that
// feeds at once is never mistaken for silence.
inline EngineTiming fastTiming() {
    return scaledTiming(20);
}

struct ScriptedRig {
    explicit ScriptedRig(const EngineTiming& timing = fastTiming(), std::ostream* log = nullptr)
        : line(std::make_shared<ScriptedLine>()),
          portOwner(openScriptedPort(line)),
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
