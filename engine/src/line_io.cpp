// Byte and line input/output over the port, detection, log-in and the terminal loop.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "tidewell/engine/protocol.h"
#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/engine/trace.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/serial/tserie.h"

namespace tidewell {

using namespace protocol;

void CTidewellThread::logLine(const std::string& text) {
    if (logStream != nullptr) {
        *logStream << text;
    }
}

void CTidewellThread::noteLinkError(DWORD error) {
    if (deviceLost_ || !isDeviceLostError(error)) {
        return;
    }
    TSerie* port = portRef;
    const std::string device = port != nullptr ? port->devicePath() : std::string("the port");
    noteLinkLost("Error: Lost the device " + device + ": " + serialErrorText(error) + ".");
}

void CTidewellThread::noteLinkLost(const std::string& text) {
    if (deviceLost_) {
        return;
    }
    deviceLost_ = true;
    {
        std::lock_guard lock(mailboxLock_);
        linkError_ = text;
    }
    postText(text);
}

bool CTidewellThread::writeBlock(std::span<const std::uint8_t> data) {
    TSerie* port = portRef;
    // With no write time-out a port whose output never drains would hold the worker,
    // and every shutdown with it, for good.
    const auto limit = timing_.writeMargin + 2 * lineTime(data.size());
    const auto deadline = now() + limit;
    std::size_t done = 0;
    while (port != nullptr && done < data.size() && !deviceLost_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now());
        COMMTIMEOUTS timeouts = port->timeouts();
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant =
            static_cast<DWORD>(std::max<std::int64_t>(left.count(), 1));
        port->setTimeouts(timeouts);
        writeEvent.reset();
        Overlapped overlapped{};
        overlapped.hEvent = &writeEvent;
        DWORD moved = 0;
        const auto remaining = static_cast<DWORD>(data.size() - done);
        if (!port->write(data.data() + done, remaining, &moved, &overlapped)) {
            const DWORD error = port->lastError();
            if (error == ERROR_IO_PENDING) {
                writeEvent.wait();
                moved = 0;
                if (port->getOverlappedResult(&overlapped, &moved, false)) {
                    logLine("CTidewellThread::writeBlock() -> GetOverlappedResults() success.\n");
                } else {
                    logLine("CTidewellThread::writeBlock() -> GetOverlappedResults() error.\n");
                    noteLinkError(port->lastError());
                    break;
                }
            } else {
                logLine("CTidewellThread::writeBlock() -> writeFile() Unexpected error " +
                        std::to_string(error) + "\n");
                noteLinkError(error);
                break;
            }
        }
        const std::size_t taken = std::min<std::size_t>(moved, remaining);
        if (trace_ && taken > 0) trace_->chunk(TraceWay::out, data.subspan(done, taken));
        done += taken;
        if (done < data.size() && (moved == 0 || now() >= deadline)) {
            takesNoData_ = true;
            noteLinkLost("Error: The port " + port->devicePath() + " takes no data: " +
                         std::to_string(done) + " of " + std::to_string(data.size()) +
                         " bytes written in " + std::to_string(limit.count()) + " ms.");
            break;
        }
    }
    logLine("\n");
    return true;
}

std::size_t CTidewellThread::readWaitingBytes(std::chrono::milliseconds wait) {
    // readLine takes one line per call and falls behind a flood of short lines: their bytes
    // wait in the port then, rather than push unread lines out of a full buffer.
    if (rxBuffer.size() + kBytesPerRead > kRxBufferLimit) {
        return 0;
    }
    TSerie* port = portRef;
    if (port == nullptr) {
        pause(wait);  // no port: behaves like a silent line
        return 0;
    }
    std::array<std::uint8_t, kBytesPerRead> scratch{};
    DWORD count = 0;
    port->setReadWait(static_cast<DWORD>(wait.count()));
    readEvent.reset();
    Overlapped overlapped{};
    overlapped.hEvent = &readEvent;
    if (port->read(scratch.data(), kBytesPerRead, &count, &overlapped)) {
        logLine("CTidewellThread::readWaitingBytes(): readFiles() success, " +
                std::to_string(count) + " bytes read.\n");
    } else {
        const DWORD error = port->lastError();
        count = 0;
        if (error == ERROR_IO_PENDING) {
            readEvent.wait();
            DWORD transferred = 0;
            if (port->getOverlappedResult(&overlapped, &transferred, false)) {
                logLine(
                    "CTidewellThread::readWaitingBytes() -> GetOverlappedResults() success, "
                    "bytes_read = " +
                    std::to_string(count) + ", overlap_transfer = " + std::to_string(transferred) +
                    "\n");
                count = transferred;
            } else {
                logLine("CTidewellThread::readWaitingBytes(): GetOverlappedResults() error\n");
                noteLinkError(port->lastError());
            }
        } else {
            logLine("CTidewellThread::readWaitingBytes(): Unexpected readFiles() error " +
                    std::to_string(error) + "\n");
            noteLinkError(error);
        }
    }
    count = std::min<DWORD>(count, kBytesPerRead);
    if (logStream != nullptr) {
        std::string dump = "CTidewellThread::readWaitingBytes(): buffer={ 0x";
        char hex[4];
        for (DWORD i = 0; i < count; ++i) {
            std::snprintf(hex, sizeof hex, "%02X ", scratch[i]);
            dump += hex;
        }
        dump += " }\n";
        *logStream << dump;
    }
    if (trace_ && count > 0) trace_->chunk(TraceWay::in, {scratch.data(), count});
    rxBuffer.insert(rxBuffer.end(), scratch.begin(), scratch.begin() + count);
    if (count > 0) {
        const std::uint8_t* const begin = scratch.data();
        const std::uint8_t* const end = begin + count;
        std::lock_guard lock(outcomeLock_);
        input_.bytes += count;
        input_.lineEnds += static_cast<std::uint64_t>(std::count(begin, end, kCarriageReturn));
        input_.lineFeeds += static_cast<std::uint64_t>(std::count(begin, end, kLineFeed));
    }
    logLine("\n");
    return count;
}

bool CTidewellThread::readByte(std::uint8_t& out, std::chrono::milliseconds wait) {
    out = 0;
    if (rxBuffer.empty()) {
        readWaitingBytes(wait);
    }
    if (rxBuffer.empty()) {
        return false;
    }
    out = rxBuffer.front();
    rxBuffer.erase(rxBuffer.begin());
    return true;
}

bool CTidewellThread::readLine(std::string& line, std::chrono::milliseconds wait) {
    line.clear();
    std::size_t scan = 0;
    while (keepGoing()) {
        readWaitingBytes(wait);
        if (scan >= rxBuffer.size()) {
            break;
        }
        for (; scan < rxBuffer.size(); ++scan) {
            const std::uint8_t byte = rxBuffer[scan];
            // A run without carriage return longer than the limit counts as a line.
            const bool overlong = scan + 1 >= kMaxLineLength;
            if (byte == kCarriageReturn || overlong) {
                if (byte != kCarriageReturn && byte != kLineFeed) {
                    line.push_back(static_cast<char>(byte));
                }
                if (trace_) trace_->reply(line, replyMark(line));
                postText(line);
                rxBuffer.erase(rxBuffer.begin(),
                               rxBuffer.begin() + static_cast<std::ptrdiff_t>(scan) + 1);
                return true;
            }
            if (byte != kLineFeed) {
                line.push_back(static_cast<char>(byte));
            }
        }
    }
    line.clear();
    return false;
}

bool CTidewellThread::readReply(std::string& line, std::chrono::milliseconds wait) {
    if (!readLine(line, wait)) {
        return false;
    }
    return replyMark(line) != ReplyMark::none;
}

void CTidewellThread::flushInput() {
    // A device that never falls silent must not hold the command for good.
    const auto deadline = now() + timing_.flushLimit;
    std::uint8_t discarded = 0;
    while (keepGoing() && readByte(discarded, timing_.flushSilence) && now() < deadline) {
    }
}

void CTidewellThread::discardWaitingInput() {
    // A read wait of 0 would be no wait at all but "no time-out"; 1 ms is the shortest.
    rxBuffer.clear();
    while (readWaitingBytes(std::chrono::milliseconds{1}) > 0) {
        rxBuffer.clear();
    }
}

bool CTidewellThread::sendByte(std::uint8_t byte) {
    return writeBlock({&byte, 1});
}

bool CTidewellThread::sendString(const std::string& text) {
    return writeBlock({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

bool CTidewellThread::sendLine(const std::string& text) {
    return sendString(text + static_cast<char>(kCarriageReturn));
}

bool CTidewellThread::searchLoginPrompt() {
    const auto colon = std::find(rxBuffer.begin(), rxBuffer.end(), std::uint8_t{':'});
    rxBuffer.erase(rxBuffer.begin(), colon);
    if (rxBuffer.size() < kLoginPrompt.size()) {
        return false;  // empty, or wait for the rest
    }
    for (std::size_t i = 1; i < kLoginPrompt.size(); ++i) {
        if (rxBuffer[i] != static_cast<std::uint8_t>(kLoginPrompt[i])) {
            rxBuffer.erase(rxBuffer.begin(), rxBuffer.begin() + static_cast<std::ptrdiff_t>(i));
            return false;
        }
    }
    return true;  // the prompt stays in the buffer
}

std::int32_t CTidewellThread::lostOrStopped() {
    if (!deviceLost_) {
        return resStopped;
    }
    // Without a result the page waiting for detection or log-in would wait for good.
    postResult(resDeviceLost);
    return resDeviceLost;
}

std::int32_t CTidewellThread::detectDevice() {
    if (!isActive()) {
        return resStopped;
    }
    for (;;) {
        sendString(std::string(kWakeUp));
        // Everything waiting is read in this attempt, so a long boot log costs no
        // attempt per read.
        std::size_t got = readWaitingBytes(timing_.detectReadWait);
        bool found = searchLoginPrompt();
        for (int reads = 1;
             !found && got == kBytesPerRead && reads < kDetectDrainReads && keepGoing(); ++reads) {
            got = readWaitingBytes(timing_.detectReadWait);
            found = searchLoginPrompt();
        }
        if (found) {
            postResult(resDetected);
            return resDetected;
        }
        pause(timing_.detectPause);
        if (!keepGoing()) {
            return lostOrStopped();
        }
    }
}

std::int32_t CTidewellThread::login() {
    if (!isActive()) {
        return resStopped;
    }
    setFailureReason({});
    {
        std::lock_guard lock(outcomeLock_);
        login_ = {};
    }
    rxBuffer.clear();
    sendString(std::string(kLineBreak));
    pause(timing_.loginPause);
    if (trace_) trace_->commandLine(kLoginWord);
    sendLine(std::string(kLoginWord));
    std::string line;
    std::string answer;              // the first line with a reply mark
    std::vector<std::string> lines;  // up to the answer
    const auto readAnswerLine = [&] {
        if (!readLine(line, timing_.lineWait) || !answer.empty()) {
            return;
        }
        if (lines.size() < kKeptLoginLines) {
            lines.push_back(line);
        }
        if (replyMark(line) != ReplyMark::none) {
            answer = line;
        }
    };
    for (int i = 0; i < kLoginReplyLines; ++i) {
        readAnswerLine();
    }
    // A device that takes its time (a slow flash, a busy boot) is given as long as a
    // transfer's command line gets for its reply, or the wait its caller chose.
    const bool callersWait = timing_.loginReplyWait.count() > 0;
    const auto deadline =
        callersWait ? now() + timing_.loginReplyWait : std::chrono::steady_clock::time_point{};
    for (int i = 0; answer.empty() && keepGoing() &&
                    (callersWait ? now() < deadline : i < timing_.commandReplyAttempts);
         ++i) {
        readAnswerLine();
    }
    {
        std::lock_guard lock(outcomeLock_);
        login_.lines = std::move(lines);
        login_.answer = answer;
        login_.mark = replyMark(answer);
    }
    if (deviceLost_) {
        return lostOrStopped();  // a vanished device is not logged in
    }
    if (!isActive()) {
        return resStopped;
    }
    if (answer.find(kOkMark) != std::string::npos) {
        postResult(resLoggedIn);
        return resLoggedIn;
    }
    // Taken for logged in, the device would refuse every command that follows.
    setFailureReason(answer.empty() ? "The device did not answer the log-in word."
                                    : "The device refused the log-in: " + answer);
    postResult(resLoginFailed);
    return resLoginFailed;
}

std::int32_t CTidewellThread::runTerminal() {
    std::string line;
    while (keepGoing()) {
        const std::string pending = peekPendingLine();
        if (!pending.empty()) {
            if (trace_) trace_->commandLine(pending);
            sendLine(pending);
            clearPendingLine();
        }
        readLine(line, timing_.lineWait);
    }
    return resStopped;
}

}  // namespace tidewell
