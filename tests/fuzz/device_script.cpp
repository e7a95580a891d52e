#include "device_script.h"

#include <algorithm>

namespace tidewell::fuzz {

DeviceScript::DeviceScript(std::span<const std::uint8_t> data, SimClock::TimePoint start)
    : lastDue_(start), lastRelease_(start) {
    Step current;
    const auto nonTrivial = [&] {
        return !current.bytes.empty() || current.awaitsWrite || current.delay.count() > 0;
    };
    const auto push = [&] {
        steps_.push_back(std::move(current));
        current = Step{};
    };
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != kEscape || i + 1 == data.size()) {
            current.bytes.push_back(static_cast<char>(data[i]));
            continue;
        }
        const std::uint8_t code = data[++i];
        if (code == kEscape) {
            current.bytes.push_back(static_cast<char>(kEscape));
        } else if (code == kAwaitWrite) {
            if (nonTrivial()) push();
            current.awaitsWrite = true;
        } else if (code == kHangUp || code == kStallWrites) {
            if (!current.bytes.empty()) push();
            current.kind = code == kHangUp ? Kind::hangUp : Kind::stallWrites;
            push();
        } else {
            if (!current.bytes.empty()) push();
            current.delay += std::min(code, kLongestSilence) * kSilenceStep;
        }
    }
    if (nonTrivial()) push();
    for (const Step& step : steps_) allBytes_ += step.bytes;
    schedule(start, false);
}

void DeviceScript::schedule(SimClock::TimePoint base, bool written) {
    lastDue_ = std::max(lastDue_, base);
    for (bool first = true; next_ < steps_.size(); first = false, ++next_) {
        const Step& step = steps_[next_];
        if (step.awaitsWrite && !(first && written)) break;
        lastDue_ += step.delay;
        scheduled_.push_back({lastDue_, next_});
    }
}

std::optional<SimClock::TimePoint> DeviceScript::nextInput() {
    if (scheduled_.empty()) return std::nullopt;
    return scheduled_.front().when;
}

void DeviceScript::release(testing::ScriptedLine& line, SimClock::TimePoint now) {
    while (!scheduled_.empty() && scheduled_.front().when <= now) {
        const Step& step = steps_[scheduled_.front().step];
        lastRelease_ = scheduled_.front().when;
        scheduled_.pop_front();
        switch (step.kind) {
            case Kind::bytes:
                sent_ += step.bytes;
                line.feed(step.bytes);
                break;
            case Kind::hangUp:
                faulted_ = true;
                line.hangUp();
                break;
            case Kind::stallWrites:
                faulted_ = true;
                line.stallWrites(true);
                break;
        }
    }
}

void DeviceScript::hostWrote(SimClock::TimePoint now) {
    // Steps still due keep their order: the part released by this write comes after them.
    if (next_ < steps_.size()) schedule(now, true);
}

void ScriptWriter::hostWrote(SimClock::TimePoint when) {
    out_.push_back(DeviceScript::kEscape);
    out_.push_back(DeviceScript::kAwaitWrite);
    last_ = std::max(last_, when);
}

void ScriptWriter::silence(SimClock::TimePoint when) {
    auto steps = (when - last_) / DeviceScript::kSilenceStep;
    while (steps > 0) {
        const auto n = std::min<decltype(steps)>(steps, DeviceScript::kLongestSilence);
        out_.push_back(DeviceScript::kEscape);
        out_.push_back(static_cast<std::uint8_t>(n));
        steps -= n;
        last_ += n * DeviceScript::kSilenceStep;
    }
}

void ScriptWriter::deviceSent(SimClock::TimePoint when, const std::string& bytes) {
    silence(when);
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        out_.push_back(byte);
        if (byte == DeviceScript::kEscape) out_.push_back(byte);
    }
}

void ScriptWriter::hungUp(SimClock::TimePoint when) {
    silence(when);
    out_.push_back(DeviceScript::kEscape);
    out_.push_back(DeviceScript::kHangUp);
}

}  // namespace tidewell::fuzz
