// Progress of a transfer on standard error: on a terminal one line that keeps
// being redrawn (percent, bytes, throughput, ETA), otherwise plain lines now and
// then. The bytes are the block transfer's own count; the percentages are the worker's.
//
// Not thread-safe: the main thread alone writes to the console.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "tidewell/engine/reply_marks.h"
#include "tidewell/engine/transfer_watch.h"

namespace tidewell::cli {

std::string formatSize(std::uint64_t bytes);                // "512 B", "1.5 KiB", "2.0 MiB"
std::string formatRate(double bytesPerSecond);              // "11.2 KiB/s"
std::string formatDuration(std::chrono::seconds duration);  // "0:07", "12:34", "1:02:03"

struct ProgressSample {
    TransferWay way = TransferWay::toDevice;
    std::string label;         // "flashimage"
    std::int32_t percent = 0;  // as the worker posted it
    std::uint64_t bytes = 0;
    std::optional<std::uint64_t> total;  // uploads: the file's size
    std::chrono::duration<double> elapsed{0};
    // Bytes per second when measured; otherwise bytes / elapsed.
    std::optional<double> rate;
};

// "flashimage  45%  460.0 KiB of 1.0 MiB  11.2 KiB/s  ETA 0:41" for an upload,
// "setting  60.0 KiB  11.2 KiB/s" for a download (no total, so no ETA).
std::string formatProgressLine(const ProgressSample& sample);

// Standard error shared by status lines and one progress line.
class StatusConsole {
  public:
    StatusConsole(std::ostream& out, bool interactive) : out_(out), interactive_(interactive) {}

    bool interactive() const { return interactive_; }
    // A line of its own; a progress line on screen is cleared first and drawn again after.
    void line(std::string_view text);
    // Interactive: replaces the progress line. Otherwise: a line of its own.
    void progress(std::string_view text);
    // Leaves the progress line as it stands and moves below it.
    void endProgress();

  private:
    std::ostream& out_;
    bool interactive_;
    std::string shown_;  // the progress line on screen, empty when none
};

class ProgressMeter {
  public:
    using Clock = std::chrono::steady_clock;
    // Interactive redraws come at most this often; plain lines every tenth of
    // an upload, or every hundred percent (128 KiB) of a download.
    static constexpr std::chrono::milliseconds kRedrawInterval{100};
    static constexpr std::int32_t kPlainUploadStep = 10;
    static constexpr std::int32_t kPlainDownloadStep = 100;

    // With an observer every update and the finish go to it as samples, and nothing to
    // the console (the caller draws them).
    using Observer = std::function<void(const ProgressSample&)>;

    ProgressMeter(StatusConsole& console, TransferWay way, std::string label,
                  std::optional<std::uint64_t> total, Clock::time_point start,
                  Observer observer = {});

    // bytes: the file bytes through so far, as the block transfer counts them.
    void update(std::int32_t percent, std::uint64_t bytes, Clock::time_point now);
    // Shows the last state (an upload that succeeded shows its whole size, a
    // download `exactBytes` when known) and ends the progress line.
    void finish(bool completed, Clock::time_point now,
                std::optional<std::uint64_t> exactBytes = std::nullopt);
    std::uint64_t bytes() const { return bytes_; }

  private:
    ProgressSample sample(Clock::time_point now) const;

    StatusConsole& console_;
    TransferWay way_;
    std::string label_;
    std::optional<std::uint64_t> total_;
    Clock::time_point start_;
    std::int32_t percent_ = 0;
    std::uint64_t bytes_ = 0;
    bool started_ = false;
    std::optional<Clock::time_point> lastDrawn_;
    // The first progress: the rate is measured from here, after the start-up waits.
    std::optional<Clock::time_point> firstAt_;
    std::uint64_t firstBytes_ = 0;
    std::int32_t lastPlainStep_ = 0;
    std::optional<std::int32_t> lastPrintedPercent_;
    Observer observer_;
};

}  // namespace tidewell::cli
