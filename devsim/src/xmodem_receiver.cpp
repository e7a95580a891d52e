#include "xmodem_receiver.h"

#include <algorithm>
#include <utility>

#include "control.h"
#include "text.h"
#include "tidewell/devsim/check.h"

namespace tidewell::devsim {

const char* describe(TransferEnd end) {
    switch (end) {
        case TransferEnd::running:
            return "running";
        case TransferEnd::succeeded:
            return "succeeded";
        case TransferEnd::cancelledByHost:
            return "cancelled by the host";
        case TransferEnd::cancelledByDevice:
            return "cancelled by the device";
        case TransferEnd::failed:
            return "failed";
    }
    return "?";
}

XmodemReceiver::XmodemReceiver(const Faults& faults, TransferLink& link, Millis lineTime)
    : faults_(faults), link_(link), purgeLimit_(kPurgeLimit + lineTime) {}

void XmodemReceiver::sendByte(std::uint8_t byte) {
    link_.event(controlEvent(byte, true));
    link_.send(std::span(&byte, 1));
}

void XmodemReceiver::sendStartRequest() {
    link_.event(startEvent(crc_));
    const std::uint8_t request = crc_ ? kCrcRequest : kNak;
    link_.send(std::span(&request, 1));
}

std::string XmodemReceiver::packetName(std::uint8_t number, std::uint64_t ordinal) const {
    return "packet " + std::to_string(number) + " (#" + std::to_string(ordinal) + ")";
}

void XmodemReceiver::start(TimePoint now) {
    if (phase_ != Phase::waiting) return;
    if (faults_.noTransferStart) {
        link_.note("fault no-transfer-start: no start request sent");
        phase_ = Phase::silent;
        timer_ = now + kRequestInterval * kStartRequests;
        return;
    }
    sendRequest(now);
}

void XmodemReceiver::sendRequest(TimePoint now) {
    crc_ = requests_ < kCrcRequests;
    ++requests_;
    sendStartRequest();
    link_.note(std::string("tx start request ") + (crc_ ? "C (CRC)" : "NAK (checksum)"));
    phase_ = Phase::requesting;
    timer_ = now + kRequestInterval;
}

void XmodemReceiver::receive(std::uint8_t byte, TimePoint now) {
    switch (phase_) {
        case Phase::waiting:
        case Phase::silent:
            if (byte == kCan) {
                link_.event(controlEvent(kCan, false));
                savedPhase_ = phase_;
                savedTimer_ = timer_;
                phase_ = Phase::cancelPending;
                timer_ = now + kByteTimeout;
            } else if (phase_ == Phase::silent && ++errors_ >= kMaxErrors) {
                // The host sends, yet not a packet: it has left the transfer.
                link_.note("no transfer started; giving up after " + std::to_string(errors_) +
                           " stray bytes");
                finish(TransferEnd::failed);
            }
            return;
        case Phase::requesting:
        case Phase::header:
            atHeader(byte, now);
            return;
        case Phase::body:
            packet_.push_back(byte);
            timer_ = now + kByteTimeout;
            if (packet_.size() == packetLength_) checkPacket(now);
            return;
        case Phase::purge:
            timer_ = std::min(now + kPurgeQuiet, purgeEnd_);
            return;
        case Phase::busy:
            held_.push_back(byte);
            return;
        case Phase::cancelPending:
            if (byte == kCan) {
                link_.event(controlEvent(kCan, false));
                link_.note("rx CAN CAN: cancelled by the host");
                finish(TransferEnd::cancelledByHost);
                return;
            }
            phase_ = savedPhase_;
            timer_ = savedTimer_;
            if (phase_ == Phase::header) refuse(now, "rx CAN followed by " + hexByte(byte));
            return;
        case Phase::finished:
            return;
    }
}

void XmodemReceiver::atHeader(std::uint8_t byte, TimePoint now) {
    if (byte == kSoh || byte == kStx) {
        const std::size_t payload = byte == kSoh ? kShortPayload : kLongPayload;
        packetLength_ = 3 + payload + (crc_ ? 2 : 1);
        packet_.clear();
        packet_.push_back(byte);
        phase_ = Phase::body;
        timer_ = now + kByteTimeout;
        return;
    }
    if (byte == kEot) {
        link_.event(controlEvent(kEot, false));
        link_.note("rx EOT after " + std::to_string(accepted_) + " packets, acknowledged");
        sendByte(kAck);
        finish(TransferEnd::succeeded);
        return;
    }
    if (byte == kCan) {
        link_.event(controlEvent(kCan, false));
        savedPhase_ = phase_;
        savedTimer_ = timer_;
        phase_ = Phase::cancelPending;
        timer_ = now + kByteTimeout;
        return;
    }
    if (phase_ == Phase::requesting) {
        // A damaged first header, or a host that has left: purge, then ask again.
        requestAfterPurge_ = true;
        refuse(now, "rx stray byte " + hexByte(byte) + " before the first packet");
        return;
    }
    refuse(now, "rx " + hexByte(byte) + " where a packet should start");
}

void XmodemReceiver::checkPacket(TimePoint now) {
    const std::uint8_t number = packet_[1];
    const std::uint8_t complement = packet_[2];
    const std::size_t payloadSize = packet_[0] == kSoh ? kShortPayload : kLongPayload;
    const auto payload = std::span<const std::uint8_t>(packet_).subspan(3, payloadSize);
    const bool checkHolds = crc_ ? crc16(std::span<const std::uint8_t>(packet_).subspan(3)) == 0
                                 : checksum8(payload) == packet_.back();
    const bool expectedNumber =
        static_cast<std::uint8_t>(number + complement) == 0xFF && number == expected_;
    // The expected packet's verdict comes below, after the faults that change it.
    if (!expectedNumber) link_.event(packetEvent(number, payloadSize, checkHolds));

    if (static_cast<std::uint8_t>(number + complement) != 0xFF) {
        refuse(now,
               "rx packet with bad number bytes " + hexByte(number) + " " + hexByte(complement));
        return;
    }
    if (number == expected_) {
        const std::uint64_t ordinal = accepted_ + 1;
        const std::string name = packetName(number, ordinal);
        if (faults_.cancelAt == ordinal) {
            cancel(TransferEnd::cancelledByDevice, "fault cancel-at " + std::to_string(ordinal) +
                                                       ": CAN CAN in place of the ACK of " + name);
            return;
        }
        bool good = checkHolds;
        const bool corruptOnce = faults_.corruptPacket == ordinal && !corruptDone_;
        if (good && (corruptOnce || faults_.corruptEveryPacket)) {
            corruptDone_ = corruptDone_ || corruptOnce;
            link_.note((corruptOnce ? "fault corrupt-packet " + std::to_string(ordinal)
                                    : std::string("fault corrupt-every-packet")) +
                       ": " + name + " taken as corrupt");
            good = false;
        }
        link_.event(packetEvent(number, payloadSize, good));
        if (!good) {
            refuse(now, "rx " + name + " bad " + (crc_ ? "CRC" : "checksum"));
            return;
        }
        if (data_.size() + payloadSize > kMaxFileSize) {
            cancel(TransferEnd::failed, "rx " + name + ": file larger than the device keeps");
            return;
        }
        data_.insert(data_.end(), payload.begin(), payload.end());
        accepted_ = ordinal;
        ++expected_;
        errors_ = 0;
        link_.note("rx " + name + " ok");
        if (faults_.lateAnswer == ordinal && !lateAnswerDone_) {
            lateAnswerDone_ = true;
            link_.note("fault late-answer " + std::to_string(ordinal) + ": ACK of " + name +
                       " due in " + std::to_string(faults_.lateAnswerDelay.count()) + " ms");
            phase_ = Phase::busy;
            timer_ = now + faults_.lateAnswerDelay;
            return;
        }
        if (faults_.dropAck == ordinal && !dropAckDone_) {
            dropAckDone_ = true;
            link_.note("fault drop-ack " + std::to_string(ordinal) + ": ACK of " + name +
                       " not sent");
        } else {
            sendByte(kAck);
        }
        phase_ = Phase::header;
        timer_ = now + kPacketTimeout;
        return;
    }
    if (accepted_ > 0 && number == static_cast<std::uint8_t>(expected_ - 1)) {
        link_.note("rx " + packetName(number, accepted_) + " repeated, acknowledged");
        sendByte(kAck);
        phase_ = Phase::header;
        timer_ = now + kPacketTimeout;
        return;
    }
    cancel(TransferEnd::failed, "rx packet " + std::to_string(number) +
                                    " out of sequence, expected " + std::to_string(expected_));
}

// A bad packet: wait for the line to go quiet, then NAK.
void XmodemReceiver::refuse(TimePoint now, const std::string& why) {
    link_.note(why);
    if (++errors_ >= kMaxErrors) {
        cancel(TransferEnd::failed, "too many errors in a row");
        return;
    }
    phase_ = Phase::purge;
    purgeEnd_ = now + purgeLimit_;
    timer_ = std::min(now + kPurgeQuiet, purgeEnd_);
}

void XmodemReceiver::headerTimeout(TimePoint now) {
    link_.event(timeoutEvent("header", kPacketTimeout));
    link_.note("no packet within " + std::to_string(kPacketTimeout.count()) + " ms");
    if (++errors_ >= kMaxErrors) {
        cancel(TransferEnd::failed, "too many errors in a row");
        return;
    }
    sendByte(kNak);
    link_.note("tx NAK");
    timer_ = now + kPacketTimeout;
}

void XmodemReceiver::cancel(TransferEnd end, const std::string& why) {
    link_.note(why);
    for (int i = 0; i < kCancelBytes; ++i) sendByte(kCan);
    link_.note("tx CAN CAN");
    finish(end);
}

void XmodemReceiver::finish(TransferEnd end) {
    phase_ = Phase::finished;
    end_ = end;
}

std::optional<TimePoint> XmodemReceiver::deadline() const {
    if (phase_ == Phase::waiting || phase_ == Phase::finished) return std::nullopt;
    return timer_;
}

void XmodemReceiver::advance(TimePoint now) {
    while (phase_ != Phase::waiting && phase_ != Phase::finished && timer_ <= now) {
        const TimePoint due = timer_;
        switch (phase_) {
            case Phase::requesting:
                if (requests_ >= kStartRequests) {
                    link_.event(timeoutEvent("start", kRequestInterval * requests_));
                    cancel(TransferEnd::failed,
                           "no packet after " + std::to_string(requests_) + " start requests");
                } else {
                    sendRequest(due);
                }
                break;
            case Phase::silent:
                link_.note("no transfer started; giving up");
                finish(TransferEnd::failed);
                break;
            case Phase::header:
                headerTimeout(due);
                break;
            case Phase::body:
                link_.event(timeoutEvent("body", kByteTimeout));
                refuse(due, "rx packet incomplete: " + std::to_string(packet_.size()) + " of " +
                                std::to_string(packetLength_) + " bytes");
                break;
            case Phase::purge:
                if (requestAfterPurge_) {
                    requestAfterPurge_ = false;
                    sendStartRequest();
                    link_.note(std::string("tx start request ") +
                               (crc_ ? "C (CRC)" : "NAK (checksum)") + " again");
                    phase_ = Phase::requesting;
                    timer_ = due + kRequestInterval;
                    break;
                }
                sendByte(kNak);
                link_.note("tx NAK");
                phase_ = Phase::header;
                timer_ = due + kPacketTimeout;
                break;
            case Phase::busy: {
                sendByte(kAck);
                link_.note("tx late ACK of " +
                           packetName(static_cast<std::uint8_t>(accepted_), accepted_));
                phase_ = Phase::header;
                timer_ = due + kPacketTimeout;
                const std::vector<std::uint8_t> held = std::exchange(held_, {});
                for (const std::uint8_t byte : held) receive(byte, due);
                break;
            }
            case Phase::cancelPending:
                // A lone CAN: back to what the receiver was doing.
                phase_ = savedPhase_;
                timer_ = savedTimer_;
                if (phase_ == Phase::header) refuse(due, "rx CAN alone");
                break;
            case Phase::waiting:
            case Phase::finished:
                break;
        }
    }
}

}  // namespace tidewell::devsim
