// The worker's mailbox, run loop and notifications.
#include "tidewell/engine/tidewell_thread.h"

#include <memory>
#include <string_view>
#include <thread>

#include "tidewell/engine/trace.h"

namespace tidewell {

DeviceInput operator-(const DeviceInput& later, const DeviceInput& earlier) {
    return {later.bytes - earlier.bytes, later.lineEnds - earlier.lineEnds,
            later.lineFeeds - earlier.lineFeeds};
}

CTidewellThread::CTidewellThread(TSerie*& portRef, std::int32_t initialCommand,
                                 std::ostream* logStream, const EngineTiming& timing)
    : command(initialCommand), portRef(portRef), logStream(logStream), timing_(timing) {}

CTidewellThread::~CTidewellThread() {
    shutdown();
}

void CTidewellThread::cancel() {
    std::lock_guard lock(mailboxLock_);  // see receiveFile: ordered with its open
    cancelRequested = true;
}

bool CTidewellThread::isActive() const {
    return running && !cancelRequested;
}

void CTidewellThread::setFileName(const std::string& path) {
    std::lock_guard lock(mailboxLock_);
    fileName = path;
}

bool CTidewellThread::queueCommandLine(const std::string& line) {
    std::lock_guard lock(mailboxLock_);
    if (!running || !pendingLine.empty()) {
        return false;
    }
    pendingLine = line;
    return true;
}

std::int32_t CTidewellThread::setCommand(std::int32_t code, std::uint32_t serial) {
    {
        std::lock_guard lock(commandLock);
        // Cleared here rather than when the command starts: a cancel given after
        // this command was stored but before the worker took it up must still end
        // it, or the caller's next setCommand would wait for it forever.
        cancelRequested = false;
        command = code;
        commandSerial_ = serial;
        std::lock_guard mailbox(mailboxLock_);
        commandFileName_ = fileName;
    }
    commandEvent.set();
    return code;
}

void CTidewellThread::setTraceSink(TraceSink* sink) {
    std::lock_guard lock(commandLock);
    trace_ = sink;
}

std::string CTidewellThread::linkError() const {
    std::lock_guard lock(mailboxLock_);
    return linkError_;
}

std::string CTidewellThread::failureReason() const {
    std::lock_guard lock(mailboxLock_);
    return failureReason_;
}

LoginOutcome CTidewellThread::loginOutcome() const {
    std::lock_guard lock(outcomeLock_);
    return login_;
}

TransferOutcome CTidewellThread::transferOutcome() const {
    std::lock_guard lock(outcomeLock_);
    TransferOutcome outcome = outcome_;
    outcome.inputSinceProgress = input_ - inputAtProgress_;
    return outcome;
}

DeviceInput CTidewellThread::deviceInput() const {
    std::lock_guard lock(outcomeLock_);
    return input_;
}

void CTidewellThread::markProgress() {
    std::lock_guard lock(outcomeLock_);
    inputAtProgress_ = input_;
    outcome_.packetsSinceProgress = 0;
}

std::int32_t CTidewellThread::endTransfer(std::int32_t result, bool post) {
    {
        std::lock_guard lock(outcomeLock_);
        outcome_.ended = true;
        outcome_.result = static_cast<WorkerResult>(result);
        outcome_.localErrno = localFileError_;
        outcome_.deviceLost = deviceLost_;
        outcome_.stoppedTakingData = takesNoData_;
    }
    if (post) {
        postResult(result);
    }
    return result;
}

void CTidewellThread::setFailureReason(std::string reason) {
    constexpr std::string_view kErrorPrefix = "Error: ";
    if (reason.starts_with(kErrorPrefix)) {
        reason.erase(0, kErrorPrefix.size());
    }
    std::lock_guard lock(mailboxLock_);
    if (reason.empty() || failureReason_.empty()) {
        failureReason_ = std::move(reason);
    }
}

void CTidewellThread::shutdown() {
    clearRunning();
    cancel();  // ordered with the opening of a received file, as any cancel
    commandEvent.set();
    stop();
}

std::uint32_t CTidewellThread::run() {
    while (running) {
        commandEvent.wait();
        if (!running) {
            break;
        }
        std::lock_guard lock(commandLock);
        deviceLost_ = takesNoData_ = false;
        dispatchCommand(command);
        command = cmdIdle;
        commandEvent.reset();
        std::this_thread::yield();
    }
    return 0;
}

std::int32_t CTidewellThread::dispatchCommand(std::int32_t code) {
    switch (code) {
        case cmdDetect:
            return detectDevice();
        case cmdLogin:
            return login();
        case cmdTerminal:
            return runTerminal();
        case cmdUpload:
            return runUpload();
        case cmdDownload:
            return runDownload();
        default:
            return cmdNone;
    }
}

// The post operations run inside a command, with commandLock held.
void CTidewellThread::postText(const std::string& text) {
    auto copy = std::make_unique<std::string>(text);
    if (notify(notifyText, reinterpret_cast<std::intptr_t>(copy.get()), commandSerial_)) {
        copy.release();  // the receiver owns it now
    }
}

void CTidewellThread::postResult(std::int32_t code) {
    if (trace_) trace_->result(code);
    notify(notifyResult, code, commandSerial_);
}

void CTidewellThread::postProgress(std::int32_t percent) {
    notify(notifyProgress, percent, commandSerial_);
}

void CTidewellThread::pause(std::chrono::milliseconds wait) const {
    if (timing_.pause) {
        timing_.pause(wait);
    } else {
        std::this_thread::sleep_for(wait);
    }
}

std::chrono::steady_clock::time_point CTidewellThread::now() const {
    return timing_.now ? timing_.now() : std::chrono::steady_clock::now();
}

std::string CTidewellThread::currentFileName() const {
    return commandFileName_;  // the running command's; commandLock is held
}

std::string CTidewellThread::peekPendingLine() const {
    std::lock_guard lock(mailboxLock_);
    return pendingLine;
}

void CTidewellThread::clearPendingLine() {
    std::lock_guard lock(mailboxLock_);
    pendingLine.clear();
}

}  // namespace tidewell
