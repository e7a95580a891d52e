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

DeviceTrace::~DeviceTrace() {
    if (active()) put(run_.take(allBytes_));
}

void DeviceTrace::wrote(std::span<const std::uint8_t> bytes, TimePoint now) {
    chunk(tracefmt::RecordKind::written, bytes, now);
}

void DeviceTrace::read(std::span<const std::uint8_t> bytes, TimePoint now) {
    chunk(tracefmt::RecordKind::read, bytes, now);
}

void DeviceTrace::chunk(tracefmt::RecordKind kind, std::span<const std::uint8_t> bytes,
                        TimePoint now) {
    if (active()) put(run_.add(since(now), kind, bytes, allBytes_));
}

void DeviceTrace::event(std::string_view text, TimePoint now) {
    if (!active()) return;
    put(run_.take(allBytes_));
    put(tracefmt::recordLine(since(now), tracefmt::RecordKind::event, text));
}

double DeviceTrace::since(TimePoint now) const {
    return std::chrono::duration<double, std::milli>(now - start_).count();
}

void DeviceTrace::put(const std::string& line) {
    if (line.empty()) return;
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
}

}  // namespace tidewell::devsim
