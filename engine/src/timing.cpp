#include "tidewell/engine/timing.h"

#include <algorithm>

namespace tidewell {

namespace {

constexpr int kSilenceFloorByteWaits = 2;

}  // namespace

std::chrono::milliseconds silenceAtLeast(std::chrono::milliseconds limit,
                                         const EngineTiming& timing,
                                         std::chrono::milliseconds extra) {
    return std::max(limit, kSilenceFloorByteWaits * timing.byteWait + extra);
}

EngineTiming boundedBy(std::chrono::milliseconds limit, const EngineTiming& base) {
    EngineTiming timing = base;
    const auto reads = static_cast<int>((limit + timing.lineWait - std::chrono::milliseconds(1)) /
                                        timing.lineWait);
    timing.commandReplyAttempts = std::max(timing.commandReplyAttempts, reads);
    timing.finalReplyAttempts = std::max(timing.finalReplyAttempts, reads);
    timing.loginReplyWait = silenceAtLeast(limit, base);
    return timing;
}

EngineTiming scaledTiming(unsigned divisor, const EngineTiming& base) {
    if (divisor <= 1) {
        return base;
    }
    auto scale = [divisor](std::chrono::milliseconds wait) {
        return std::max(std::chrono::milliseconds{1}, wait / divisor);
    };
    EngineTiming scaled = base;
    scaled.detectReadWait = scale(base.detectReadWait);
    scaled.detectPause = scale(base.detectPause);
    scaled.loginPause = scale(base.loginPause);
    scaled.lineWait = scale(base.lineWait);
    scaled.flushSilence = scale(base.flushSilence);
    scaled.byteWait = scale(base.byteWait);
    scaled.answerWait = scale(base.answerWait);
    scaled.senderCancelWait = scale(base.senderCancelWait);
    scaled.receiverCancelWait = scale(base.receiverCancelWait);
    scaled.bodyByteWait = scale(base.bodyByteWait);
    scaled.flushLimit = scale(base.flushLimit);
    scaled.writeMargin = scale(base.writeMargin);
    return scaled;
}

}  // namespace tidewell
