#include "tidewell/devsim/device_trace.h"

#include <cerrno>

#include "text.h"

namespace tidewell::devsim {

bool DeviceTrace::open(const std::string& path, const tracefmt::Heading& heading, bool allBytes,
                       TimePoint start, std::string& error) {
    file_.reset(std::fopen(path.c_str(), "we"));
    if (!file_) {
        error = osError("trace " + path, errno);
        return false;
    }
    allBytes_ = allBytes;
    start_ = start;
    const std::string text = tracefmt::headingText(heading);
    std::fwrite(text.data(), 1, text.size(), file_.get());
    std::fflush(file_.get());
    return true;
}

void DeviceTrace::wrote(std::span<const std::uint8_t> bytes, TimePoint now) {
    if (active()) record(tracefmt::RecordKind::written, tracefmt::chunkText(bytes, allBytes_), now);
}

void DeviceTrace::read(std::span<const std::uint8_t> bytes, TimePoint now) {
    if (active()) {
        record(tracefmt::RecordKind::read, tracefmt::chunkText(bytes, allBytes_), now);
    }
}

void DeviceTrace::event(std::string_view text, TimePoint now) {
    if (active()) record(tracefmt::RecordKind::event, text, now);
}

void DeviceTrace::record(tracefmt::RecordKind kind, std::string_view rest, TimePoint now) {
    const std::chrono::duration<double, std::milli> since = now - start_;
    const std::string line = tracefmt::recordLine(since.count(), kind, rest);
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
}

}  // namespace tidewell::devsim
