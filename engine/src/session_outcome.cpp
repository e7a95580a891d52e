#include "tidewell/engine/session_outcome.h"

namespace tidewell {

std::string describeNoise(const DeviceInput& input) {
    if (input.bytes == 0) {
        return {};
    }
    if (input.lineFeeds == input.bytes) {
        return std::to_string(input.bytes) + " line feeds and nothing else";
    }
    if (input.lineEnds == 0) {
        return std::to_string(input.bytes) + " bytes without a line end";
    }
    return {};
}

std::string describeTransferEnd(const std::string& reason, const TransferOutcome& outcome) {
    std::string text = reason;
    const auto add = [&text](const std::string& sentence) {
        text += (text.empty() ? "" : " ") + sentence;
    };
    if (outcome.failedChecks > 0) {
        add(std::to_string(outcome.failedChecks) + " packets failed their check.");
    }
    if (const std::string noise = describeNoise(outcome.inputSinceProgress); !noise.empty()) {
        add("The device sent " + noise + ".");
    }
    return text;
}

}  // namespace tidewell
