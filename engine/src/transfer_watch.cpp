#include "tidewell/engine/transfer_watch.h"

#include <algorithm>

#include "tidewell/engine/protocol.h"

namespace tidewell {

SilencePolicy SilencePolicy::atLeast(std::chrono::milliseconds limit, const EngineTiming& timing,
                                     std::uint64_t baud) {
    return {silenceAtLeast(limit, timing),
            silenceAtLeast(limit, timing, protocol::lineTime(protocol::kMaxPacketLength, baud))};
}

std::string transferCommandLine(TransferWay way, const std::string& deviceFile) {
    return std::string(way == TransferWay::toDevice ? protocol::kUploadCommand
                                                    : protocol::kDownloadCommand) +
           deviceFile;
}

TransferWatch::TransferWatch(TransferWay way, const SilencePolicy& policy, bool emptyUpload,
                             Clock::time_point start, const DeviceInput& input)
    : lastActivity_(start), atActivity_(input) {
    run_.receiving = way == TransferWay::fromDevice;
    run_.blockEnded = way == TransferWay::toDevice && emptyUpload;
    run_.silence = policy.silence;
    run_.frameSilence = policy.frameSilence;
}

std::chrono::milliseconds TransferWatch::limit() const {
    return run_.okReplies > 0 && !run_.blockEnded ? run_.frameSilence : run_.silence;
}

void TransferWatch::active(std::uint64_t frames, Clock::time_point now, const DeviceInput& input) {
    lastActivity_ = now;
    atActivity_ = input;
    framesAtActivity_ = frames;
}

void TransferWatch::line(const std::string& text, Clock::time_point now, const DeviceInput& input) {
    const protocol::ReplyMark mark = protocol::replyMark(text);
    if (mark == protocol::ReplyMark::ok) {
        if (++run_.okReplies == 1) active(0, now, input);
    } else if (mark == protocol::ReplyMark::error) {
        if (!run_.errorReply) run_.errorBeforeAccept = run_.okReplies == 0;
        run_.errorReply = true;
        if (run_.errorLine.empty()) run_.errorLine = text;
    }
}

void TransferWatch::progress(std::uint64_t frames, Clock::time_point now,
                             const DeviceInput& input) {
    run_.progressed = true;
    active(frames, now, input);
}

void TransferWatch::look(const TransferOutcome& outcome, Clock::time_point now,
                         const DeviceInput& input) {
    if (run_.okReplies == 0 || run_.blockEnded) return;
    run_.blockEnded = outcome.stage == TransferStage::finalReply;
    if (outcome.deviceFrames != framesAtActivity_) active(outcome.deviceFrames, now, input);
}

void TransferWatch::stop(bool interrupted, const TransferOutcome& outcome,
                         const DeviceInput& input) {
    (interrupted ? run_.interrupted : run_.stalled) = true;
    run_.quiet = input - atActivity_;
    run_.deviceStarted = run_.okReplies > 0 && (outcome.deviceFrames > 0 || outcome.packetBegun);
}

TransferRun TransferWatch::finish(const TransferOutcome& outcome) const {
    TransferRun run = run_;
    run.localFileError = outcome.localErrno;
    run.bytesSinceProgress = outcome.inputSinceProgress.bytes;
    run.packetsSinceProgress = outcome.packetsSinceProgress;
    return run;
}

}  // namespace tidewell
