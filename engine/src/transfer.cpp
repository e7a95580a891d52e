// Transfer sessions and the block transfer (XMODEM-1K with CRC-16 or checksum).
#include <algorithm>
#include <array>
#include <cstdio>

#include "local_file.h"
#include "progress.h"
#include "tidewell/engine/crc16.h"
#include "tidewell/engine/protocol.h"
#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/engine/trace.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/serial/tserie.h"

namespace tidewell {

using namespace protocol;

namespace {

std::uint8_t checksum(const std::uint8_t* data, std::size_t length) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        sum += data[i];
    }
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

// The payload's CRC-16 (two bytes after it) or checksum (one byte) holds.
bool checkPassed(const std::uint8_t* payload, std::size_t size, bool crcMode) {
    if (!crcMode) {
        return checksum(payload, size) == payload[size];
    }
    std::uint16_t crc = 0;
    crc16Buffer(crc, payload, static_cast<std::uint16_t>(size + 2));
    return crc == 0;
}

struct ReceiverStatistics {
    std::uint32_t cancel = 0;
    std::uint32_t unknownHeader = 0;
    std::uint32_t headerTimeout = 0;
    std::uint32_t incompletePacket = 0;
    std::uint32_t invalidPacketNumber = 0;
    std::uint32_t checksumError = 0;
    std::uint32_t remoteRetransmit = 0;
};

std::string countLine(const char* label, std::uint32_t count) {
    return std::string(label) + std::to_string(static_cast<std::uint16_t>(count));
}

}  // namespace

std::int32_t CTidewellThread::runUpload() {
    return runTransferSession(true);
}

std::int32_t CTidewellThread::runDownload() {
    return runTransferSession(false);
}

std::int32_t CTidewellThread::runTransferSession(bool upload) {
    localFileError_ = 0;
    setFailureReason({});
    {
        std::lock_guard lock(outcomeLock_);
        outcome_ = {};
        inputAtProgress_ = input_;
    }
    if (!isActive()) {
        return endTransfer(resStopped);
    }
    std::string line;
    while (peekPendingLine().empty()) {
        readLine(line, timing_.lineWait);
        if (!keepGoing()) {
            if (deviceLost_) {
                setFailureReason(linkError());
                return endTransfer(resTransferError);
            }
            return endTransfer(resStopped, false);
        }
    }
    if (cancelledTransferPending_) {
        settleAfterCancelledTransfer();
    }
    flushInput();
    rxBuffer.clear();
    const std::string commandLine = peekPendingLine();
    updateOutcome([&](TransferOutcome& outcome) { outcome.commandLine = commandLine; });
    if (trace_) trace_->commandLine(commandLine);
    sendLine(commandLine);
    clearPendingLine();

    line.clear();
    for (int attempt = 0; attempt < timing_.commandReplyAttempts && keepGoing(); ++attempt) {
        if (readReply(line, timing_.lineWait)) {
            break;
        }
    }
    if (trace_ && line.empty() && keepGoing()) {
        trace_->timeout("reply", timing_.commandReplyAttempts * timing_.lineWait);
    }
    if (line.find(kOkMark) == std::string::npos) {
        if (!keepGoing()) {
            setFailureReason(stoppedReason());
        } else if (!line.empty()) {
            setFailureReason("The device refused \"" + commandLine + "\": " + line);
            updateOutcome([&](TransferOutcome& outcome) { outcome.refusedLine = line; });
        } else {
            setFailureReason("The device did not answer \"" + commandLine + "\".");
        }
        return endTransfer(resTransferError);
    }
    updateOutcome([](TransferOutcome& outcome) { outcome.stage = TransferStage::blocks; });
    markProgress();
    const std::string path = currentFileName();
    if (path.empty()) {
        return endTransfer(resStopped);
    }
    // Cancelled meanwhile: no file is opened, so none is created or emptied.
    const std::int32_t result = !keepGoing() ? stopResult()
                                : upload     ? sendFile(path)
                                             : receiveFile(path);
    if (!keepGoing()) {
        tellDeviceCancelled();
        setFailureReason(stoppedReason());
        return endTransfer(resTransferError);
    }
    if (result != resTransferOk) {
        setFailureReason(blockFailureReason(result, upload, path));
    }

    bool replied = false;
    line.clear();
    for (int attempt = 0; attempt < timing_.finalReplyAttempts && !deviceLost_; ++attempt) {
        if (readReply(line, timing_.lineWait)) {
            replied = true;
            break;
        }
    }
    if (trace_ && !replied && !deviceLost_) {
        trace_->timeout("reply", timing_.finalReplyAttempts * timing_.lineWait);
    }
    if (!replied || line.find(kOkMark) == std::string::npos) {
        if (result == resTransferOk) {
            setFailureReason(deviceLost_ ? linkError()
                             : replied ? "The device reported an error after the transfer: " + line
                                       : std::string("The device did not confirm the end of the "
                                                     "transfer."));
        }
        if (replied) {
            updateOutcome([&](TransferOutcome& outcome) { outcome.refusedLine = line; });
        }
        return endTransfer(resTransferError);
    }
    return endTransfer(result);
}

std::string CTidewellThread::stoppedReason() const {
    return deviceLost_ ? linkError() : std::string("Stopped.");
}

std::string CTidewellThread::blockFailureReason(std::int32_t result, bool upload,
                                                const std::string& path) const {
    const std::string file = "\"" + path + "\"";
    switch (result) {
        case resOpenError:
            return "Cannot open " + file + ": " + fsutil::reasonText(localFileError_) + ".";
        case resWriteError:
            return "Cannot write " + file + ": " + fsutil::reasonText(localFileError_) + ".";
        case resTooManyRetries:
            return upload ? "The device took no packet after " +
                                std::to_string(kSenderPacketSends) + " sends."
                          : "The device sent " + std::to_string(kReceiverPacketFailures) +
                                " bad packets in a row.";
        case resRemoteCancel:
            return "The device cancelled the transfer.";
        case resNoRemote:
            return "The device did not start the transfer.";
        default:
            return upload ? "The device did not confirm the end of the file."
                          : "The device stopped sending.";
    }
}

void CTidewellThread::tellDeviceCancelled() {
    if (deviceLost_) {
        return;
    }
    for (int i = 0; i < kCancelBytes; ++i) {
        if (trace_) trace_->control(TraceControl::can, TraceWay::out);
        sendByte(CAN);
    }
    // The device ends its side with a line of its own, some time later: the next
    // transfer waits for it instead of taking it for the reply to its own line.
    cancelledTransferPending_ = true;
}

void CTidewellThread::settleAfterCancelledTransfer() {
    cancelledTransferPending_ = false;
    flushInput();  // the rest of a packet the device was sending
    std::string line;
    for (int attempt = 0; attempt < timing_.finalReplyAttempts && keepGoing(); ++attempt) {
        if (readReply(line, timing_.lineWait)) {
            break;
        }
    }
}

void CTidewellThread::sendCancel() {
    for (int i = 0; i < kCancelBytes; ++i) {
        if (trace_) trace_->control(TraceControl::can, TraceWay::out);
        sendByte(CAN);
    }
    flushInput();
}

bool CTidewellThread::remoteCancelFollows(bool needSecondCan, std::chrono::milliseconds wait) {
    std::uint8_t next = 0;
    if (!readByte(next, wait)) {
        return false;
    }
    return !needSecondCan || next == CAN;
}

void CTidewellThread::noteSenderAnswer(std::uint8_t byte, bool starting) {
    if (trace_) traceSenderAnswer(byte, starting);
    if (byte == ACK || byte == NAK || byte == CAN || byte == CRC_REQUEST) {
        updateOutcome([](TransferOutcome& outcome) { ++outcome.deviceFrames; });
    }
}

void CTidewellThread::traceSenderAnswer(std::uint8_t byte, bool starting) {
    if (starting && (byte == CRC_REQUEST || byte == NAK)) {
        trace_->startRequest(byte);
    } else if (byte == ACK || byte == NAK || byte == CAN) {
        const auto what = byte == ACK   ? TraceControl::ack
                          : byte == NAK ? TraceControl::nak
                                        : TraceControl::can;
        trace_->control(what, TraceWay::in);
    }
}

std::chrono::milliseconds CTidewellThread::lineTime(std::size_t bytes) const {
    TSerie* port = portRef;
    return protocol::lineTime(bytes, port != nullptr ? port->getBaudRate() : 0);
}

std::int32_t CTidewellThread::sendFile(const std::string& path) {
    LocalFile file;
    if (!file.openForReading(path)) {
        return resOpenError;
    }

    auto readFailed = [this](const LocalFile& failed) {
        const std::string text = "Error: Read file exception (" + failed.describeError() + ").";
        postText(text);
        setFailureReason(text);
    };

    bool crcMode = true;
    for (int attempts = 0;;) {
        if (!keepGoing()) {
            return stopResult();
        }
        bool startRequested = false;
        std::uint8_t byte = 0;
        if (readByte(byte, timing_.byteWait)) {
            noteSenderAnswer(byte, true);
            if (byte == CRC_REQUEST || byte == NAK) {
                startRequested = true;
                crcMode = byte == CRC_REQUEST;
            } else if (byte == CAN && remoteCancelFollows(true, timing_.senderCancelWait)) {
                if (trace_) trace_->control(TraceControl::ack, TraceWay::out);
                sendByte(ACK);
                flushInput();
                return resRemoteCancel;
            }
        }
        if (++attempts >= kSenderStartAttempts) {
            if (trace_) trace_->timeout("start", kSenderStartAttempts * timing_.byteWait);
            sendCancel();
            return resNoRemote;
        }
        if (startRequested) {
            break;
        }
    }

    std::uint64_t length = 0;
    if (!file.size(length)) {
        readFailed(file);
        sendCancel();
        return resTransferError;
    }
    std::uint64_t remaining = length;
    std::uint64_t packetsDelivered = 0;
    std::uint8_t number = 1;
    std::array<std::uint8_t, kMaxPacketLength> packet{};
    std::uint8_t* const payload = packet.data() + kHeaderLength;
    const std::size_t packetLength = kHeaderLength + kLongPayload + (crcMode ? 2 : 1);

    while (remaining > 0) {
        if (!keepGoing()) {
            return stopResult();
        }
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kLongPayload));
        packet[0] = STX;
        packet[1] = number;
        packet[2] = static_cast<std::uint8_t>(0xFF - number);
        std::fill(payload, payload + kLongPayload, std::uint8_t{0});
        if (!file.readExactly(payload, chunk)) {
            // Never a short or stale packet: give up the transfer instead.
            readFailed(file);
            sendCancel();
            return resTransferError;
        }
        if (crcMode) {
            std::uint16_t crc = 0;
            crc16Buffer(crc, payload, static_cast<std::uint16_t>(kLongPayload));
            payload[kLongPayload] = static_cast<std::uint8_t>(crc >> 8);
            payload[kLongPayload + 1] = static_cast<std::uint8_t>(crc & 0xFFu);
        } else {
            payload[kLongPayload] = checksum(payload, kLongPayload);
        }

        bool delivered = false;
        bool unanswered = false;  // a send went without answer: its answer may still come
        for (int send = 0; send < kSenderPacketSends && !delivered; ++send) {
            if (!keepGoing()) {
                return stopResult();
            }
            if (send > 0) {
                discardWaitingInput();  // whatever came after the refused answer is noise
                updateOutcome([](TransferOutcome& outcome) { ++outcome.retries; });
            }
            if (trace_) trace_->send(number, kLongPayload);
            writeBlock({packet.data(), packetLength});
            // The first copy gets the long wait; a device silent that long is more likely
            // gone than busy, and each resend then gets the protocol's byte wait.
            const auto wait = send == 0 ? timing_.answerWait : timing_.byteWait;
            std::uint8_t answer = 0;
            const auto answerWait = wait + lineTime(packetLength);
            if (!readByte(answer, answerWait)) {
                if (trace_ && keepGoing()) trace_->timeout("answer", answerWait);
                unanswered = true;
                continue;
            }
            noteSenderAnswer(answer);
            if (answer == ACK) {
                delivered = true;
            } else if (answer == CAN && remoteCancelFollows(true, timing_.senderCancelWait)) {
                if (trace_) trace_->control(TraceControl::ack, TraceWay::out);
                sendByte(ACK);
                flushInput();
                return resRemoteCancel;
            }
        }
        if (!delivered) {
            sendCancel();
            return resTooManyRetries;
        }
        if (unanswered) {
            // The device answers every copy it got: the answer to the other copy is still
            // to come, and taken for the next packet's it would let that packet go
            // unsent. The device is idle until it hears from us, so it ends in silence.
            flushInput();
        }
        onBytesDelivered({payload, chunk});
        number = static_cast<std::uint8_t>(number + 1);
        ++packetsDelivered;
        remaining -= chunk;
        updateOutcome([&](TransferOutcome& outcome) {
            ++outcome.packets;
            outcome.bytes += chunk;
        });
        markProgress();
        postProgress(progress::senderPercent(packetsDelivered, length));
    }

    updateOutcome([](TransferOutcome& outcome) { outcome.stage = TransferStage::finalReply; });
    for (int send = 0; send < kSenderEotSends; ++send) {
        if (!keepGoing()) {
            return stopResult();
        }
        if (trace_) trace_->control(TraceControl::eot, TraceWay::out);
        sendByte(EOT);
        std::uint8_t answer = 0;
        if (readByte(answer, timing_.byteWait)) {
            noteSenderAnswer(answer);
            if (answer == ACK) {
                return resTransferOk;
            }
        } else if (trace_ && keepGoing()) {
            trace_->timeout("eot", timing_.byteWait);
        }
    }
    flushInput();
    return resTransferError;
}

void CTidewellThread::flushAfterEndOfTransmission() {
    // Like flushInput, but the first byte other than a repeated EOT starts the
    // device's reply line: it stays for the session instead of being thrown away.
    const auto deadline = now() + timing_.flushLimit;
    std::uint8_t byte = 0;
    while (keepGoing() && now() < deadline && readByte(byte, timing_.flushSilence)) {
        if (byte != EOT) {
            rxBuffer.insert(rxBuffer.begin(), byte);
            break;
        }
    }
}

bool CTidewellThread::closeReceivedFile(LocalFile& file) {
    return file.close();
}

std::int32_t CTidewellThread::receiveFile(const std::string& path) {
    LocalFile file;
    {
        // cancel() takes this lock too: once it has returned, no file is created.
        std::lock_guard lock(mailboxLock_);
        if (!keepGoing()) {
            return stopResult();
        }
        if (!file.openForWriting(path)) {
            localFileError_ = file.lastErrno();
            return resOpenError;
        }
    }
    std::uint8_t expected = 1;
    std::uint8_t retries = 0;
    std::uint64_t received = 0;
    ReceiverStatistics stats;
    bool started = false;
    bool lineFeedSkipped = false;
    std::uint8_t request = CRC_REQUEST;
    std::array<std::uint8_t, kMaxPacketLength> packet{};

    auto fail = [this](std::string_view text) {
        sendCancel();
        postText(std::string(text));
        setFailureReason(std::string(text));
    };

    for (;;) {
        if (!keepGoing()) {
            return stopResult();
        }
        std::size_t payloadSize = 0;
        for (int attempts = 0; attempts < kReceiverHeaderAttempts && payloadSize == 0; ++attempts) {
            if (!keepGoing()) {
                return stopResult();
            }
            if (!started) {
                if (trace_) trace_->startRequest(request);
                sendByte(request);
            }
            std::uint8_t header = 0;
            bool gotByte = readByte(header, timing_.byteWait);
            // The line feed that ends the device's reply line is no header: taken as one,
            // it would cost a second start request, the device would send packet 1
            // twice, and every later ACK would answer the wrong packet. Only that one
            // is skipped: further line feeds count as attempts, or a device that sends
            // nothing else would hold the receiver for good.
            if (gotByte && !started && !lineFeedSkipped && header == kLineFeed && keepGoing()) {
                lineFeedSkipped = true;
                gotByte = readByte(header, timing_.byteWait);
            }
            if (!gotByte) {
                if (trace_ && keepGoing()) trace_->timeout("header", timing_.byteWait);
                ++stats.headerTimeout;
            } else if (header == SOH) {
                payloadSize = kShortPayload;
            } else if (header == STX) {
                payloadSize = kLongPayload;
            } else if (header == EOT) {
                if (trace_) trace_->control(TraceControl::eot, TraceWay::in);
                updateOutcome([](TransferOutcome& outcome) {
                    ++outcome.deviceFrames;
                    outcome.stage = TransferStage::finalReply;
                });
                if (trace_) trace_->control(TraceControl::ack, TraceWay::out);
                sendByte(ACK);
                flushAfterEndOfTransmission();
                postText(countLine("Cancel count: ", stats.cancel));
                postText(countLine("Unknown header count: ", stats.unknownHeader));
                postText(countLine("Header timeout count: ", stats.headerTimeout));
                postText(countLine("Incomplete packet count: ", stats.incompletePacket));
                postText(countLine("Invalid packet number count: ", stats.invalidPacketNumber));
                postText(countLine("Checksum error count: ", stats.checksumError));
                postText(countLine("Remote re-transmition count: ", stats.remoteRetransmit));
                if (!closeReceivedFile(file)) {
                    localFileError_ = file.lastErrno();
                    // The device has its ACK and is back at its command line: a CAN
                    // would reach that line, and a flush would swallow its final reply.
                    postText(std::string(kWriteFileException));
                    return resWriteError;
                }
                return resTransferOk;
            } else if (header == CAN) {
                if (trace_) trace_->control(TraceControl::can, TraceWay::in);
                if (remoteCancelFollows(false, timing_.receiverCancelWait)) {
                    flushInput();
                    if (trace_) trace_->control(TraceControl::ack, TraceWay::out);
                    sendByte(ACK);
                    return resRemoteCancel;
                }
                ++stats.cancel;
            } else {
                ++stats.unknownHeader;
            }
            if (payloadSize != 0) {
                packet[0] = header;
                updateOutcome([](TransferOutcome& outcome) { outcome.packetBegun = true; });
            }
        }
        if (payloadSize == 0) {
            if (request == CRC_REQUEST) {
                request = NAK;  // checksum mode from now on
                continue;
            }
            fail(kSyncNotFound);
            return resTransferError;
        }
        started = true;

        const bool crcMode = request == CRC_REQUEST;
        const std::size_t packetLength = kHeaderLength + payloadSize + (crcMode ? 2 : 1);
        bool complete = true;
        for (std::size_t i = 1; i < packetLength; ++i) {
            // A device that trickles a packet would otherwise hold a cancel for as
            // many byte waits as the packet is long.
            if (!keepGoing()) {
                return stopResult();
            }
            if (!readByte(packet[i], timing_.bodyByteWait)) {
                if (trace_ && keepGoing()) trace_->timeout("body", timing_.bodyByteWait);
                complete = false;
                break;
            }
        }
        const std::uint8_t* const payload = packet.data() + kHeaderLength;
        const bool good = complete && checkPassed(payload, payloadSize, crcMode);
        if (trace_ && complete) trace_->packet(packet[1], payloadSize, good);
        if (complete) {
            updateOutcome([](TransferOutcome& outcome) {
                ++outcome.deviceFrames;
                ++outcome.packetsSinceProgress;
            });
        }
        bool repeated = false;
        if (!complete) {
            ++stats.incompletePacket;
        } else if (static_cast<std::uint8_t>(packet[1] + packet[2]) != 0xFF) {
            ++stats.invalidPacketNumber;
        } else if (packet[1] == expected) {
            if (good) {
                if (!file.writeAll(payload, payloadSize)) {
                    localFileError_ = file.lastErrno();
                    fail(kWriteFileException);
                    return resWriteError;
                }
                if (trace_) trace_->control(TraceControl::ack, TraceWay::out);
                sendByte(ACK);
                expected = static_cast<std::uint8_t>(expected + 1);
                received += payloadSize;
                retries = 0;
                updateOutcome([&](TransferOutcome& outcome) {
                    ++outcome.packets;
                    outcome.bytes += payloadSize;
                });
                markProgress();
                postProgress(progress::receiverPercent(received));
                continue;
            }
            ++stats.checksumError;
            updateOutcome([](TransferOutcome& outcome) { ++outcome.failedChecks; });
        } else if (packet[1] == static_cast<std::uint8_t>(expected - 1)) {
            ++stats.remoteRetransmit;
            repeated = true;
        } else {
            fail(kSequenceCorrupt);
            return resTransferError;
        }

        ++retries;
        updateOutcome([](TransferOutcome& outcome) { ++outcome.retries; });
        if (retries >= kReceiverPacketFailures) {
            fail(kTooManyRetry);
            return resTooManyRetries;
        }
        if (repeated) {
            if (trace_) trace_->control(TraceControl::ack, TraceWay::out);
            sendByte(ACK);
        } else {
            flushInput();
            if (trace_) trace_->control(TraceControl::nak, TraceWay::out);
            sendByte(NAK);
        }
    }
}

}  // namespace tidewell
