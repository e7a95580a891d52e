// What the engine fuzz targets share: one worker for the whole process on a scripted line
// in simulated time (production waits, none spent for real), and per input a fresh line,
// clock, device script (device_script.h), notification recorder and scratch folder.
//
// Checked on every input: the receive buffer stays within its bound at every read; every
// posted text is one line (no CR or LF) of at most the longest line kept.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device_script.h"
#include "probe_worker.h"
#include "recorder.h"
#include "scripted_line.h"
#include "tidewell/testsupport/temp_dir.h"
#include "xmodem_peer.h"

namespace tidewell::fuzz {

class EngineRig {
  public:
    // Simulated time after which a run is cancelled: only a device that keeps talking, or a
    // command without an end of its own (detection, the terminal loop), gets there.
    static constexpr std::chrono::minutes kTimeCap{30};
    // A session whose device falls silent ends by itself within this (its longest way is
    // two header waits of 60 s, a flush and the final reply's attempts).
    static constexpr std::chrono::minutes kSilentDeviceEnd{10};

    EngineRig();
    ~EngineRig();

    // A fresh line with data as the device's script; the scratch folder emptied.
    void begin(std::span<const std::uint8_t> data);
    // Called at each read once the script is idle and has been for quiet (worker thread).
    void whenQuiet(std::chrono::milliseconds quiet, std::function<void()> action);
    // Runs job on the worker; afterwards checks the posted texts.
    void run(const std::function<void()>& job);

    testing::ProbeWorker& worker() { return *worker_; }
    testing::ScriptedLine& line() const { return *line_; }
    SimClock& clock() { return *clock_; }
    DeviceScript& script() { return *script_; }
    const testing::Recorder& recorder() const { return *recorder_; }
    const std::filesystem::path& scratch() const { return scratch_; }
    // Whether the time cap cancelled the last run, and whether the link was lost in it.
    bool capped() const { return capped_; }
    bool lostLink() const { return lostLink_; }
    std::chrono::milliseconds elapsed() const;

    // The line's exchanges up to the end of the last run (their count marks where a command
    // began); from exchange number from on, the bytes the engine wrote (taken or not), one
    // entry per write, and the bytes it read.
    std::size_t exchanges() const { return transcript_.size(); }
    const std::vector<testing::LineExchange>& transcript() const { return transcript_; }
    std::vector<std::string> writes(std::size_t from = 0) const;
    std::string readBytes(std::size_t from = 0) const;

  private:
    void onRead();

    testsupport::TempDir dir_{"tidewell-fuzz-engine"};
    std::filesystem::path scratch_ = dir_ / "files";
    std::shared_ptr<SimClock> clock_ = std::make_shared<SimClock>();
    std::shared_ptr<testing::ScriptedLine> line_ = std::make_shared<testing::ScriptedLine>();
    std::unique_ptr<TSerie> port_;
    TSerie* portRef_ = nullptr;
    std::unique_ptr<testing::ProbeWorker> worker_;
    std::unique_ptr<testing::Recorder> recorder_;
    std::shared_ptr<DeviceScript> script_;
    std::chrono::milliseconds quiet_{0};
    std::function<void()> whenQuiet_;
    bool capped_ = false;
    bool lostLink_ = false;
    std::vector<testing::LineExchange> transcript_;
};

// The process's rig, made at first use.
EngineRig& engineRig();

using testing::kAck;
using testing::kCan;
using testing::kEot;
using testing::kNak;
using testing::kSoh;
using testing::kStx;

// The sender target's packages: the input's first byte chooses one. Empty, one byte, one
// packet exactly, a padded second packet, three, four and seven packets, and (the slowest,
// one in eight) past packet number 255.
inline constexpr std::uint8_t kSenderFileChoices = 8;
std::string senderFile(std::uint8_t choice);

// Where file stops being, in order, the payloads of well-formed packets numbered 1, 2, 3 ...
// (CRC or checksum, 128 or 1024 bytes) found one after the other in sent; nothing when all
// of it is.
std::optional<std::size_t> firstUnmatchedPayload(const std::string& file, const std::string& sent);

// Whether result is one of allowed.
bool oneOf(std::int32_t result, std::initializer_list<std::int32_t> allowed);

}  // namespace tidewell::fuzz
