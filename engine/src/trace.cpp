#include "tidewell/engine/trace.h"

#include <string>

#include "tidewell/engine/protocol.h"
#include "tidewell/engine/worker_codes.h"

namespace tidewell {

std::string_view workerResultName(std::int32_t code) {
    switch (code) {
        case resStopped:
            return "resStopped";
        case resDetected:
            return "resDetected";
        case resLoggedIn:
            return "resLoggedIn";
        case resOpenError:
            return "resOpenError";
        case resWriteError:
            return "resWriteError";
        case resTooManyRetries:
            return "resTooManyRetries";
        case resTransferOk:
            return "resTransferOk";
        case resTransferError:
            return "resTransferError";
        case resRemoteCancel:
            return "resRemoteCancel";
        case resNoRemote:
            return "resNoRemote";
        case resDeviceLost:
            return "resDeviceLost";
        case resLoginFailed:
            return "resLoginFailed";
        default:
            return "";
    }
}

TraceWriter::TraceWriter(std::ostream& out, bool allBytes, std::function<Clock::time_point()> now)
    : out_(out),
      allBytes_(allBytes),
      now_(now ? std::move(now) : [] { return Clock::now(); }),
      start_(now_()) {}

void TraceWriter::heading(const tracefmt::Heading& heading) {
    out_ << tracefmt::headingText(heading);
}

void TraceWriter::record(tracefmt::RecordKind kind, std::string_view rest) {
    const std::chrono::duration<double, std::milli> since = now_() - start_;
    out_ << tracefmt::recordLine(since.count(), kind, rest);
}

void TraceWriter::chunk(TraceWay way, std::span<const std::uint8_t> bytes) {
    record(way == TraceWay::out ? tracefmt::RecordKind::written : tracefmt::RecordKind::read,
           tracefmt::chunkText(bytes, allBytes_));
}

void TraceWriter::commandLine(std::string_view line) {
    event(tracefmt::lineEvent(line));
}

void TraceWriter::reply(std::string_view line, protocol::ReplyMark mark) {
    const char* word = mark == protocol::ReplyMark::ok      ? "ok"
                       : mark == protocol::ReplyMark::error ? "error"
                                                            : "none";
    event(tracefmt::replyEvent(line, word));
}

void TraceWriter::startRequest(std::uint8_t request) {
    event(tracefmt::startEvent(request == protocol::CRC_REQUEST));
}

void TraceWriter::packet(std::uint8_t number, std::size_t size, bool good) {
    event(tracefmt::packetEvent(number, size, good));
}

void TraceWriter::send(std::uint8_t number, std::size_t size) {
    event(tracefmt::sendEvent(number, size));
}

void TraceWriter::control(TraceControl what, TraceWay way) {
    event(tracefmt::controlEvent(what, way == TraceWay::out));
}

void TraceWriter::timeout(std::string_view what, std::chrono::milliseconds wait) {
    event(tracefmt::timeoutEvent(what, wait.count()));
}

void TraceWriter::result(std::int32_t code) {
    event("result " + std::to_string(code) + " " + std::string(workerResultName(code)));
}

}  // namespace tidewell
