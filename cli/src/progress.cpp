#include "tidewell/cli/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tidewell::cli {

namespace {

constexpr std::int32_t kFullPercent = 100;
constexpr double kKibi = 1024.0;
constexpr std::string_view kClearToEnd = "\x1b[K";

std::string printf1(const char* format, double value, const char* unit) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, format, value, unit);
    return buffer;
}

}  // namespace

std::string formatSize(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / kKibi;
    std::size_t unit = 0;
    while (value >= kKibi && unit + 1 < std::size(kUnits)) {
        value /= kKibi;
        ++unit;
    }
    return printf1("%.1f %s", value, kUnits[unit]);
}

std::string formatRate(double bytesPerSecond) {
    if (!std::isfinite(bytesPerSecond) || bytesPerSecond < 0) return "-- B/s";
    if (bytesPerSecond < 1024) return printf1("%.0f %s", bytesPerSecond, "B/s");
    return formatSize(static_cast<std::uint64_t>(bytesPerSecond)) + "/s";
}

std::string formatDuration(std::chrono::seconds duration) {
    const long long total = std::max<long long>(duration.count(), 0);
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const long long seconds = total % 60;
    char buffer[32];
    if (hours > 0) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", hours, minutes, seconds);
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", minutes, seconds);
    }
    return buffer;
}

std::string formatProgressLine(const ProgressSample& sample) {
    const double seconds = sample.elapsed.count();
    const bool haveRate = sample.rate ? *sample.rate > 0 : seconds > 0 && sample.bytes > 0;
    const double rate = !haveRate     ? 0
                        : sample.rate ? *sample.rate
                                      : static_cast<double>(sample.bytes) / seconds;
    std::string text = sample.label;
    if (sample.way == TransferWay::toDevice && sample.total) {
        char percent[8];
        std::snprintf(percent, sizeof percent, "%3d%%",
                      static_cast<int>(std::clamp(sample.percent, 0, kFullPercent)));
        text += "  " + std::string(percent) + "  " + formatSize(sample.bytes) + " of " +
                formatSize(*sample.total);
        text += "  " + (haveRate ? formatRate(rate) : std::string("-- B/s"));
        if (haveRate && sample.bytes < *sample.total) {
            const double left = static_cast<double>(*sample.total - sample.bytes) / rate;
            text += "  ETA " +
                    formatDuration(std::chrono::seconds(static_cast<long long>(std::ceil(left))));
        } else if (!haveRate) {
            text += "  ETA --:--";
        }
    } else {
        text += "  " + formatSize(sample.bytes);
        text += "  " + (haveRate ? formatRate(rate) : std::string("-- B/s"));
    }
    return text;
}

void StatusConsole::line(std::string_view text) {
    if (interactive_ && !shown_.empty()) out_ << '\r' << kClearToEnd;
    out_ << text << '\n';
    if (interactive_ && !shown_.empty()) out_ << shown_ << kClearToEnd;
    out_.flush();
}

void StatusConsole::progress(std::string_view text) {
    if (interactive_) {
        shown_ = text;
        out_ << '\r' << shown_ << kClearToEnd;
    } else {
        out_ << text << '\n';
    }
    out_.flush();
}

void StatusConsole::endProgress() {
    if (interactive_ && !shown_.empty()) {
        out_ << '\n';
        out_.flush();
    }
    shown_.clear();
}

ProgressMeter::ProgressMeter(StatusConsole& console, TransferWay way, std::string label,
                             std::optional<std::uint64_t> total, Clock::time_point start,
                             Observer observer)
    : console_(console),
      way_(way),
      label_(std::move(label)),
      total_(total),
      start_(start),
      observer_(std::move(observer)) {}

ProgressSample ProgressMeter::sample(Clock::time_point now) const {
    ProgressSample s;
    s.way = way_;
    s.label = label_;
    s.percent = percent_;
    s.bytes = bytes_;
    s.total = total_;
    s.elapsed = now - start_;
    if (firstAt_ && now > *firstAt_ && bytes_ > firstBytes_) {
        const std::chrono::duration<double> measured = now - *firstAt_;
        s.rate = static_cast<double>(bytes_ - firstBytes_) / measured.count();
    }
    return s;
}

void ProgressMeter::update(std::int32_t percent, std::uint64_t bytes, Clock::time_point now) {
    percent_ = percent;
    bytes_ = bytes;
    started_ = true;
    if (!firstAt_) {
        firstAt_ = now;
        firstBytes_ = bytes_;
    }
    if (observer_) {
        observer_(sample(now));
        return;
    }
    if (console_.interactive()) {
        if (lastDrawn_ && now - *lastDrawn_ < kRedrawInterval) return;
        lastDrawn_ = now;
        console_.progress(formatProgressLine(sample(now)));
        return;
    }
    const std::int32_t step = way_ == TransferWay::toDevice ? kPlainUploadStep : kPlainDownloadStep;
    const std::int32_t reached = std::max(percent, 0) / step;
    if (reached > lastPlainStep_) {
        lastPlainStep_ = reached;
        lastPrintedPercent_ = percent_;
        console_.progress(formatProgressLine(sample(now)));
    }
}

void ProgressMeter::finish(bool completed, Clock::time_point now,
                           std::optional<std::uint64_t> exactBytes) {
    if (completed && way_ == TransferWay::toDevice && total_) {
        percent_ = std::max(percent_, kFullPercent);
        bytes_ = *total_;
    }
    const bool changed = exactBytes && *exactBytes != bytes_;
    if (exactBytes) bytes_ = *exactBytes;
    if (observer_) {
        if (started_ || completed) observer_(sample(now));
        return;
    }
    const bool alreadyShown =
        !console_.interactive() && lastPrintedPercent_ == percent_ && !changed;
    if ((started_ || completed) && !alreadyShown) {
        console_.progress(formatProgressLine(sample(now)));
    }
    console_.endProgress();
}

}  // namespace tidewell::cli
