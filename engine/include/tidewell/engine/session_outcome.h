// What a log-in and a transfer session did, as data: a caller tells its user why from
// these rather than from the device's lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tidewell/engine/reply_marks.h"
#include "tidewell/engine/worker_codes.h"

namespace tidewell {

// Bytes the port gave the worker. Counts only grow: the difference of two snapshots is
// what came in between.
struct DeviceInput {
    std::uint64_t bytes = 0;
    std::uint64_t lineEnds = 0;   // carriage returns
    std::uint64_t lineFeeds = 0;  // line feeds
};
DeviceInput operator-(const DeviceInput& later, const DeviceInput& earlier);

struct LoginOutcome {
    std::vector<std::string> lines;  // the device's lines after the log-in word, as read
    protocol::ReplyMark mark = protocol::ReplyMark::none;
    std::string answer;  // the first line holding a mark
};

enum class TransferStage {
    commandReply,  // the command line is sent, its reply awaited
    blocks,        // the device accepted it: the block transfer runs
    finalReply,    // the block transfer has ended (EOT): the device's last line awaited
};

// Readable while the session runs: the counts grow as it goes.
struct TransferOutcome {
    TransferStage stage = TransferStage::commandReply;
    bool ended = false;
    WorkerResult result = resStopped;  // once ended
    std::string commandLine;
    // The reply without ":OK:" that ended the session (to the command line or the final one).
    std::string refusedLine;
    int localErrno = 0;              // the local file's failure; 0 when none
    bool deviceLost = false;         // gone, or the port stopped taking data...
    bool stoppedTakingData = false;  // ...which: its writes were not taken in time
    // The block transfer's own counts.
    std::uint64_t packets = 0;       // delivered (sent and acknowledged, or received good)
    std::uint64_t bytes = 0;         // file bytes of those packets
    std::uint64_t retries = 0;       // a packet sent again, or a received one not taken
    std::uint64_t failedChecks = 0;  // received packets whose CRC or checksum failed
    // Frames of the block transfer from the device: whole packets, check aside, and EOT to
    // a receiver; every answer byte to a sender. A frame is the device getting on with it.
    std::uint64_t deviceFrames = 0;
    bool packetBegun = false;  // a receiver saw a packet header
    // Since the accept or the last delivered packet, whichever came later: what the port
    // gave, and the whole packets received (a receiver's, their check aside).
    DeviceInput inputSinceProgress;
    std::uint64_t packetsSinceProgress = 0;
};

// What bytes that made no progress were: "40 line feeds and nothing else", "900 bytes
// without a line end"; empty when there were none or they held lines.
std::string describeNoise(const DeviceInput& input);

// One line for a log when a transfer session ended without success: the worker's
// failure reason, then what the device did that the block transfer could not use;
// empty when nothing is known.
std::string describeTransferEnd(const std::string& reason, const TransferOutcome& outcome);

}  // namespace tidewell
