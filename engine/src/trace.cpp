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

namespace {
// Room for the "limit" event once the next record would not fit.
constexpr std::size_t kLimitEventRoom = 40;
}  // namespace

TraceWriter::TraceWriter(std::ostream& out, bool allBytes, std::function<Clock::time_point()> now,
                         std::size_t limitBytes)
    : out_(out),
      allBytes_(allBytes),
      now_(now ? std::move(now) : [] { return Clock::now(); }),
      start_(now_()),
      limit_(limitBytes) {}

TraceWriter::~TraceWriter() {
    write(run_.take(allBytes_));
}

void TraceWriter::flush() {
    const std::lock_guard lock(lock_);
    write(run_.take(allBytes_));
    out_.flush();
}

void TraceWriter::heading(const tracefmt::Heading& heading) {
    const std::lock_guard lock(lock_);
    write(tracefmt::headingText(heading));
}

double TraceWriter::sinceStart() const {
    return std::chrono::duration<double, std::milli>(now_() - start_).count();
}

void TraceWriter::write(const std::string& line) {
    if (line.empty() || full_) return;
    if (limit_ != 0 && written_ + line.size() + kLimitEventRoom > limit_) {
        full_ = true;
        out_ << tracefmt::recordLine(sinceStart(), tracefmt::RecordKind::event,
                                     tracefmt::limitEvent(limit_));
        return;
    }
    written_ += line.size();
    out_ << line;
}

void TraceWriter::event(std::string_view text) {
    const std::lock_guard lock(lock_);
    const double at = sinceStart();
    write(run_.take(allBytes_));
    write(tracefmt::recordLine(at, tracefmt::RecordKind::event, text));
}

void TraceWriter::chunk(TraceWay way, std::span<const std::uint8_t> bytes) {
    const std::lock_guard lock(lock_);
    const auto kind =
        way == TraceWay::out ? tracefmt::RecordKind::written : tracefmt::RecordKind::read;
    write(run_.add(sinceStart(), kind, bytes, allBytes_));
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
