// Command line of tidewell-devsim: what the device is and which faults it shows.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::devsim {

enum class TransferMode { builtin, lrzsz };

// When the line after a transfer ("final reply") is sent.
enum class FinalReply {
    normal,  // at once after a received file, else once the line is quiet for a second
    never,
    late,   // Faults::finalReplyLate after the end of the transfer
    early,  // at once after the end of the transfer, whatever the direction
};

// Where in a session a phase fault strikes, in place of the device's answer:
// the first wake-up, a log-in word, a command line after log-in, the block
// transfer after ":OK:" to a transfer line, the line after a transfer.
enum class FaultPhase { detection, login, command, transfer, final };

// What a flood sends, without end, once it has begun.
enum class FloodKind {
    none,
    lineFeeds,    // LF bytes only
    endlessLine,  // printable text that never ends with a CR
    noise,        // random bytes
};

// Packet numbers k count the packets of one transfer from 1 (the 256th packet
// carries number 0 on the line).
struct Faults {
    bool noPrompt = false;            // wake-up bytes are never answered
    bool refuseLogin = false;         // every log-in word gets ":ERROR:"
    bool ignoreLogin = false;         // the log-in word gets no answer at all
    bool repromptLogin = false;       // the log-in word gets ":LOGIN:" again, nothing else
    bool refuseTransfers = false;     // "download"/"upload" lines get ":ERROR:"
    bool silentAfterCommand = false;  // command lines after log-in get no answer
    std::chrono::milliseconds replyDelay{0};
    std::optional<std::uint64_t> corruptPacket;  // packet k sent or taken as corrupt, once
    bool corruptEveryPacket = false;             // every packet, every time
    std::optional<std::uint64_t> dropAck;        // the ACK of packet k is lost, once
    std::optional<std::uint64_t> cancelAt;       // CAN CAN in place of packet k or its ACK
    // Packet k's first copy is answered (receiver) or sent (sender) lateAnswerDelay late;
    // the receiver reads nothing meanwhile, as a device busy writing its flash.
    std::optional<std::uint64_t> lateAnswer;
    std::chrono::milliseconds lateAnswerDelay{0};
    bool noTransferStart = false;  // ":OK:" to a transfer line, then nothing
    double bitErrorRate = 0.0;     // per bit, both directions
    std::uint64_t seed = 1;
    std::optional<std::uint64_t> hangupAt;      // the k-th byte received is never read
    std::optional<std::uint64_t> hangupAtSent;  // the k-th byte to send is never sent
    FinalReply finalReply = FinalReply::normal;
    std::chrono::milliseconds finalReplyLate{0};
    bool okAfterFailure = false;  // final reply ":OK:" even after a failed transfer
    std::optional<FaultPhase> hangupIn;
    FloodKind flood = FloodKind::none;
    FaultPhase floodIn = FaultPhase::detection;
    std::chrono::milliseconds trickle{0};  // between the bytes of what a transfer sends
    // The byte at this offset (from 0) of every file stored is inverted.
    std::optional<std::uint64_t> corruptStore;
    // "upload NAME" of these names gets ":ERROR:".
    std::vector<std::string> refuseUpload;
    // "download NAME" stores under NAME with bit 2 of its first byte flipped, as a
    // bit error on the line would ("setting" becomes "wetting").
    bool mangleDownloadName = false;
    // Every line after the log-in starts with terminal escape sequences (title, clear).
    bool escapeSequences = false;

    bool hasPacketFaults() const {
        return corruptPacket || corruptEveryPacket || dropAck || cancelAt || lateAnswer;
    }
};

struct Options {
    std::filesystem::path link;
    std::filesystem::path store{"."};
    std::string loginWord{"pivot"};
    std::optional<std::uint32_t> baud;  // absent: unthrottled
    bool throttleInput = false;         // read the host's bytes at the line rate too
    std::chrono::milliseconds bootDelay{0};
    TransferMode transfer = TransferMode::builtin;
    std::filesystem::path logPath;    // empty: no log
    std::filesystem::path tracePath;  // empty: no protocol trace
    bool traceAllBytes = false;       // long chunks shown whole in the trace
    Faults faults;
};

struct ParsedOptions {
    Options options;
    bool helpRequested = false;
    bool versionRequested = false;
    std::string error;  // empty when the command line is valid

    bool ok() const { return error.empty(); }
};

// "detection", "login", "command", "transfer", "final".
std::string_view phaseName(FaultPhase phase);

// Parses the arguments that follow the program name.
ParsedOptions parseOptions(std::span<const std::string_view> args);

// The --help text, every option with its exact spelling.
std::string usage();

}  // namespace tidewell::devsim
