// Records the seeds of the engine fuzz targets from real sessions: the engine against the
// simulated device's core (tidewell-devsim's state machine, with its faults), both on a
// scripted line in simulated time. What the device sends, and when, relative to the
// engine's writes, becomes a device script (device_script.h).
//
// Usage: tidewell_fuzz_engine_seeds CORPUS_DIR   (writes
// CORPUS_DIR/{receiver,sender,line}/session-*)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "device_script.h"
#include "engine_rig.h"
#include "tidewell/devsim/device.h"
#include "tidewell/devsim/event_log.h"
#include "tidewell/devsim/store.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tidewell;
using namespace tidewell::fuzz;
using devsim::DeviceConfig;
using testing::ScriptedLine;

// The device's core as the line's timed input; records what it sends once asked to.
class DeviceOnLine final : public testing::TimedInput {
  public:
    DeviceOnLine(const DeviceConfig& config, devsim::Store& store, SimClock& clock)
        : device_(config, store, log_, clock.now()) {}

    std::optional<SimClock::TimePoint> nextInput() override { return device_.nextDeadline(); }
    void release(ScriptedLine& line, SimClock::TimePoint now) override {
        device_.advance(now);
        deliver(line, now);
    }
    void hostWrote(ScriptedLine& line, const std::string& bytes, SimClock::TimePoint now) {
        if (writer_) writer_->hostWrote(now);
        device_.receive({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, now);
        deliver(line, now);
    }
    void record(SimClock::TimePoint from) { writer_ = std::make_unique<ScriptWriter>(from); }
    std::vector<std::uint8_t> script() const { return writer_->bytes(); }

  private:
    void deliver(ScriptedLine& line, SimClock::TimePoint now) {
        const auto out = device_.takeOutput();
        if (!out.empty()) {
            const std::string bytes(out.begin(), out.end());
            if (writer_) writer_->deviceSent(now, bytes);
            line.feed(bytes);
        }
        if (device_.hungUp() && !hungUp_) {
            hungUp_ = true;
            if (writer_) writer_->hungUp(now);
            line.hangUp();
        }
    }

    devsim::EventLog log_;
    devsim::Device device_;
    std::unique_ptr<ScriptWriter> writer_;
    bool hungUp_ = false;
};

enum class Target { receiver, sender, line };
enum class Run { detectLogin, terminal, session };

struct Scenario {
    std::string name;
    Target target;
    std::uint8_t choice;  // the input's first byte: a line target's mode, a sender's file
    DeviceConfig config;
};

DeviceConfig with(void (*change)(DeviceConfig&)) {
    DeviceConfig config;
    change(config);
    return config;
}

std::vector<Scenario> scenarios() {
    using F = devsim::FinalReply;
    return {
        {"backup", Target::receiver, 0, {}},
        {"corrupt", Target::receiver, 0, with([](auto& c) { c.faults.corruptPacket = 2; })},
        {"cancel", Target::receiver, 0, with([](auto& c) { c.faults.cancelAt = 2; })},
        {"refused", Target::receiver, 0, with([](auto& c) { c.faults.refuseTransfers = true; })},
        {"no-start", Target::receiver, 0, with([](auto& c) { c.faults.noTransferStart = true; })},
        {"noise", Target::receiver, 0, with([](auto& c) {
             c.faults.bitErrorRate = 1e-4;
             c.faults.seed = 5;
         })},
        {"hangup", Target::receiver, 0, with([](auto& c) { c.faults.hangupAtSent = 1500; })},
        {"final-never", Target::receiver, 0, with([](auto& c) { c.faults.finalReply = F::never; })},
        {"update-one-byte", Target::sender, 1, {}},
        {"update-1024", Target::sender, 2, {}},
        {"update-3000", Target::sender, 4, {}},
        {"update-empty", Target::sender, 0, {}},
        {"update-258-packets", Target::sender, 7, {}},
        {"corrupt", Target::sender, 4, with([](auto& c) { c.faults.corruptPacket = 2; })},
        {"drop-ack", Target::sender, 4, with([](auto& c) { c.faults.dropAck = 1; })},
        {"cancel", Target::sender, 4, with([](auto& c) { c.faults.cancelAt = 2; })},
        {"refused", Target::sender, 4, with([](auto& c) { c.faults.refuseTransfers = true; })},
        {"no-start", Target::sender, 4, with([](auto& c) { c.faults.noTransferStart = true; })},
        {"noise", Target::sender, 4, with([](auto& c) {
             c.faults.bitErrorRate = 1e-4;
             c.faults.seed = 3;
         })},
        {"hangup", Target::sender, 4, with([](auto& c) { c.faults.hangupAt = 2000; })},
        {"final-late", Target::sender, 4, with([](auto& c) {
             c.faults.finalReply = F::late;
             c.faults.finalReplyLate = 3000ms;
         })},
        {"detect-login", Target::line, 0, {}},
        {"boot-delay", Target::line, 0, with([](auto& c) { c.bootDelay = 500ms; })},
        {"refuse-login", Target::line, 0, with([](auto& c) { c.faults.refuseLogin = true; })},
        {"noise-login", Target::line, 0, with([](auto& c) {
             c.faults.bitErrorRate = 1e-3;
             c.faults.seed = 9;
         })},
        {"login", Target::line, 1, {}},
        {"terminal", Target::line, 2, {}},
        {"terminal-slow", Target::line, 2, with([](auto& c) { c.faults.replyDelay = 300ms; })},
        {"terminal-silent", Target::line, 2,
         with([](auto& c) { c.faults.silentAfterCommand = true; })},
        {"reads", Target::line, 3, {}},
    };
}

const char* folder(Target target) {
    switch (target) {
        case Target::receiver:
            return "receiver";
        case Target::sender:
            return "sender";
        default:
            return "line";
    }
}

// One session: a fresh device and worker; the part the target plays recorded.
std::vector<std::uint8_t> record(const Scenario& scenario) {
    testsupport::TempDir dir{"tidewell-engine-seeds"};
    fs::create_directories(dir / "store");
    testsupport::writeFile(dir / "store" / "setting", testing::patternBytes(3000, 3));
    testsupport::writeFile(dir / "store" / "playlist", testing::patternBytes(1024, 4));
    devsim::Store store(dir / "store");
    auto clock = std::make_shared<SimClock>();
    auto line = std::make_shared<ScriptedLine>();
    auto device = std::make_shared<DeviceOnLine>(scenario.config, store, *clock);
    line->useVirtualTime(clock, device);
    line->onWrite([&](ScriptedLine& l, const std::string& bytes) {
        device->hostWrote(l, bytes, clock->now());
    });
    auto port = testing::openScriptedPort(line);
    TSerie* portRef = port.get();
    testing::ProbeWorker worker(portRef, cmdIdle, nullptr, testing::simulatedTiming(clock));
    worker.start(true);
    const auto giveUp = clock->now() + 10min;
    line->onRead([&](ScriptedLine&, int) {
        if (clock->now() > giveUp) worker.cancel();
    });

    const std::uint8_t mode = scenario.choice;
    const bool loginFirst = scenario.target != Target::line || mode >= 1;
    if (!loginFirst) device->record(clock->now());
    worker.onWorker([&] {
        if (worker.detectDevice() != resDetected) return;
        if (scenario.target == Target::line && mode == 1) device->record(clock->now());
        worker.login();
    });
    if (scenario.target == Target::line && mode >= 2) {
        device->record(clock->now());
        worker.queueCommandLine("help");
        bool asked = false;
        SimClock::TimePoint quietSince = clock->now();
        line->onRead([&](ScriptedLine& l, int) {
            if (l.unreadBytes() > 0 || device->nextInput()) quietSince = clock->now();
            if (clock->now() - quietSince < 2s) return;
            if (!asked) {
                asked = worker.queueCommandLine("ls");
                quietSince = clock->now();
            } else {
                worker.cancel();
            }
        });
        worker.onWorker([&] { worker.runTerminal(); });
    } else if (scenario.target != Target::line) {
        const bool sender = scenario.target == Target::sender;
        const fs::path file = dir / (sender ? "flash.pkg" : "setting.bak");
        if (sender) testsupport::writeFile(file, senderFile(scenario.choice));
        worker.setFileName(file.string());
        worker.queueCommandLine(sender ? "download flashimage" : "upload setting");
        device->record(clock->now());
        worker.onWorker([&] { sender ? worker.runUpload() : worker.runDownload(); });
    }
    worker.shutdown();
    std::vector<std::uint8_t> seed{scenario.choice};
    const auto script = device->script();
    seed.insert(seed.end(), script.begin(), script.end());
    // The reads mode writes nothing: everything comes at once, spaced as recorded.
    if (scenario.target == Target::line && mode == 3) {
        std::vector<std::uint8_t> reads{seed[0]};
        for (std::size_t i = 1; i < seed.size(); ++i) {
            if (seed[i] == DeviceScript::kEscape && i + 1 < seed.size() &&
                seed[i + 1] == DeviceScript::kAwaitWrite) {
                ++i;
                continue;
            }
            reads.push_back(seed[i]);
        }
        seed = reads;
    }
    // The receiver's target has no choice byte.
    if (scenario.target == Target::receiver) seed.erase(seed.begin());
    return seed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    for (const Scenario& scenario : scenarios()) {
        const fs::path out =
            fs::path(argv[1]) / folder(scenario.target) / ("session-" + scenario.name);
        fs::create_directories(out.parent_path());
        const auto seed = record(scenario);
        std::ofstream(out, std::ios::binary)
            .write(reinterpret_cast<const char*>(seed.data()),
                   static_cast<std::streamsize>(seed.size()));
        std::printf("%s: %zu bytes\n", out.string().c_str(), seed.size());
    }
    return 0;
}
