// The owner's view of one transfer session: what it saw of the worker's events and
// counts, and a silence limit of the caller's choosing on top of the worker's own
// waits. Pure: the caller feeds it events, the worker's counts and the time.
//
// The reply to the command line must come within the silence; then each frame of the
// block transfer gives the next that long (plus a packet's line time), and the final
// line must come that long after the last frame. Lines and bytes that are no frame
// extend nothing: a device that floods text or trickles a packet is not getting on
// with the transfer.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "tidewell/engine/session_outcome.h"
#include "tidewell/engine/timing.h"

namespace tidewell {

enum class TransferWay { toDevice, fromDevice };

// How long a transfer may go without getting on.
struct SilencePolicy {
    // For a line: the reply to the command line, the final line.
    std::chrono::milliseconds silence{};
    // Between the frames of a running block transfer.
    std::chrono::milliseconds frameSilence{};

    // `limit`, never below the floor a healthy transfer needs: a flush plus one byte
    // wait (two byte waits of `timing`), and between frames a packet's line time at baud.
    static SilencePolicy atLeast(std::chrono::milliseconds limit, const EngineTiming& timing,
                                 std::uint64_t baud);
};

// "download flashimage" (to the device), "upload setting" (from it).
std::string transferCommandLine(TransferWay way, const std::string& deviceFile);

// How one transfer session ended, as the owner saw it.
struct TransferRun {
    bool receiving = false;              // a download: the packets are checked here
    std::optional<std::int32_t> result;  // the WorkerResult posted, if any
    bool deviceLost = false;             // the port reported the device gone
    int localFileError = 0;              // errno of the local file's failure, 0 when none
    bool interrupted = false;            // the owner's cancel source stopped it
    bool stalled = false;                // no frame, no awaited line in time: cancelled
    bool errorReply = false;             // a line holding ":ERROR:" arrived
    bool errorBeforeAccept = false;      // ... before any ":OK:"
    std::string errorLine;               // the first such line
    int okReplies = 0;                   // lines holding ":OK:" (command line, final reply)
    bool progressed = false;             // at least one packet went through
    bool blockEnded = false;             // the block transfer had ended when it stalled
    // The device sent a frame of the block transfer after the accept: a packet (begun
    // or whole) to a download, an answer to an upload.
    bool deviceStarted = false;
    // Bytes and whole packets (their check aside) from the device since it accepted the
    // transfer line or since the last packet that went through, whichever came later.
    std::uint64_t bytesSinceProgress = 0;
    std::uint64_t packetsSinceProgress = 0;
    DeviceInput quiet;  // what came between the last frame and a stall
    // The waits of the policy.
    std::chrono::milliseconds silence{};
    std::chrono::milliseconds frameSilence{};
};

class TransferWatch {
  public:
    using Clock = std::chrono::steady_clock;

    TransferWatch(TransferWay way, const SilencePolicy& policy, bool emptyUpload,
                  Clock::time_point start, const DeviceInput& input);

    // A line of the worker (its reply mark counts).
    void line(const std::string& text, Clock::time_point now, const DeviceInput& input);
    // A packet went through; `frames` is the worker's count of device frames.
    void progress(std::uint64_t frames, Clock::time_point now, const DeviceInput& input);
    void result(std::int32_t code) { run_.result = code; }
    void commandEnded(bool deviceLost) { run_.deviceLost = deviceLost; }
    // The worker's counts, looked at after each wake: frames, damaged ones too, keep the
    // transfer going until the worker's own limits end it.
    void look(const TransferOutcome& outcome, Clock::time_point now, const DeviceInput& input);

    // When the silence runs out, as things stand.
    Clock::time_point deadline() const { return lastActivity_ + limit(); }
    bool silent(Clock::time_point now) const { return now >= deadline(); }
    // The owner cancels it: for a cancel request (interrupted) or for silence.
    void stop(bool interrupted, const TransferOutcome& outcome, const DeviceInput& input);
    // The run, with the worker's counts once it has returned.
    TransferRun finish(const TransferOutcome& outcome) const;

  private:
    std::chrono::milliseconds limit() const;
    void active(std::uint64_t frames, Clock::time_point now, const DeviceInput& input);

    TransferRun run_;
    Clock::time_point lastActivity_;
    DeviceInput atActivity_;
    std::uint64_t framesAtActivity_ = 0;
};

}  // namespace tidewell
