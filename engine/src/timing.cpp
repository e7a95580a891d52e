#include "tidewell/engine/timing.h"

#include <algorithm>

namespace tidewell {

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
