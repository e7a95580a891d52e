#include "xmodem_sender.h"

#include <algorithm>

#include "control.h"
#include "text.h"
#include "tidewell/devsim/check.h"

namespace tidewell::devsim {

XmodemSender::XmodemSender(const Faults& faults, TransferLink& link, std::vector<std::uint8_t> file,
                           Millis lineTime)
    : faults_(faults),
      link_(link),
      file_(std::move(file)),
      lineTime_(lineTime),
      answerWait_(kAckTimeout + lineTime),
      packetCount_((file_.size() + kLongPayload - 1) / kLongPayload) {}

void XmodemSender::start(TimePoint now) {
    if (phase_ != Phase::waiting) return;
    phase_ = Phase::waitStart;
    timer_ = now + kStartTimeout;
}

std::string XmodemSender::currentName() const {
    const std::uint64_t ordinal = index_ + 1;
    return "packet " + std::to_string(static_cast<std::uint8_t>(ordinal)) + " (#" +
           std::to_string(ordinal) + ")";
}

void XmodemSender::receive(std::uint8_t byte, TimePoint now) {
    if (phase_ == Phase::cancelPending) {
        if (byte == kCan) {
            link_.event(controlEvent(kCan, false));
            link_.note("rx CAN CAN: cancelled by the host");
            finish(TransferEnd::cancelledByHost);
            return;
        }
        phase_ = savedPhase_;
        timer_ = savedTimer_;
    }
    handle(byte, now);
}

void XmodemSender::handle(std::uint8_t byte, TimePoint now) {
    if (phase_ == Phase::finished) return;
    if (byte == kCan) {
        link_.event(controlEvent(kCan, false));
        savedPhase_ = phase_;
        savedTimer_ = timer_;
        phase_ = Phase::cancelPending;
        timer_ = now + kByteTimeout;
        return;
    }
    switch (phase_) {
        case Phase::waitStart:
            if (byte != kCrcRequest && byte != kNak) {
                stray(byte, "while waiting for the start");
                return;
            }
            if (faults_.noTransferStart) {
                if (!startIgnoredNoted_) {
                    startIgnoredNoted_ = true;
                    link_.note("fault no-transfer-start: start requests ignored");
                }
                return;
            }
            crc_ = byte == kCrcRequest;
            link_.event(startEvent(crc_));
            strayBytes_ = 0;
            link_.note(std::string("rx start request ") + (crc_ ? "C (CRC)" : "NAK (checksum)"));
            if (packetCount_ == 0) {
                sendEot(now);
            } else {
                buildPacket();
                sendPacket(now);
            }
            return;
        case Phase::waitAck:
            if (byte == kAck) {
                strayBytes_ = 0;
                const std::uint64_t ordinal = index_ + 1;
                if (faults_.dropAck == ordinal && !dropAckDone_) {
                    dropAckDone_ = true;
                    link_.note("fault drop-ack " + std::to_string(ordinal) + ": ACK of " +
                               currentName() + " lost, sending it again");
                    sendPacket(now);
                    return;
                }
                link_.event(controlEvent(kAck, false));
                link_.note("rx ACK " + currentName());
                nextPacket(now);
            } else if (byte == kNak || (byte == kCrcRequest && index_ == 0)) {
                link_.event(byte == kNak ? controlEvent(kNak, false) : startEvent(true));
                link_.note("rx " + std::string(byte == kNak ? "NAK " : "C for ") + currentName());
                sendPacket(now);
            } else if (!stray(byte, "for " + currentName()) && now >= lineFreeAt_) {
                sendPacket(now);  // a damaged answer: as a NAK
            }
            return;
        case Phase::waitEotAck:
            if (byte == kAck) {
                link_.event(controlEvent(kAck, false));
                link_.note("rx ACK EOT");
                finish(TransferEnd::succeeded);
            } else if (byte == kNak) {
                link_.event(controlEvent(kNak, false));
                link_.note("rx NAK EOT");
                sendEot(now);
            } else if (!stray(byte, "for EOT") && now >= lineFreeAt_) {
                sendEot(now);
            }
            return;
        case Phase::late:
            stray(byte, "before " + currentName());
            return;
        case Phase::waiting:
        case Phase::cancelPending:
        case Phase::finished:
            return;
    }
}

void XmodemSender::buildPacket() {
    const std::uint8_t number = static_cast<std::uint8_t>(index_ + 1);
    const std::size_t offset = static_cast<std::size_t>(index_) * kLongPayload;
    const std::size_t length = std::min(kLongPayload, file_.size() - offset);
    packet_.assign(3 + kLongPayload, kPadding);
    packet_[0] = kStx;
    packet_[1] = number;
    packet_[2] = static_cast<std::uint8_t>(0xFF - number);
    std::copy_n(file_.begin() + static_cast<std::ptrdiff_t>(offset), length, packet_.begin() + 3);
    const auto payload = std::span<const std::uint8_t>(packet_).subspan(3, kLongPayload);
    if (crc_) {
        const std::uint16_t crc = crc16(payload);
        packet_.push_back(static_cast<std::uint8_t>(crc >> 8));
        packet_.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    } else {
        packet_.push_back(checksum8(payload));
    }
}

void XmodemSender::sendPacket(TimePoint now) {
    const std::uint64_t ordinal = index_ + 1;
    if (faults_.cancelAt == ordinal) {
        cancel(TransferEnd::cancelledByDevice, "fault cancel-at " + std::to_string(ordinal) +
                                                   ": CAN CAN in place of " + currentName());
        return;
    }
    if (sends_ >= kMaxSends) {
        cancel(TransferEnd::failed,
               currentName() + " not acknowledged after " + std::to_string(sends_) + " sends");
        return;
    }
    ++sends_;
    link_.event(sendEvent(packet_[1], kLongPayload));
    const bool corruptOnce = faults_.corruptPacket == ordinal && !corruptDone_;
    if (corruptOnce || faults_.corruptEveryPacket) {
        corruptDone_ = corruptDone_ || corruptOnce;
        std::vector<std::uint8_t> damaged = packet_;
        damaged[3] ^= 0xFF;
        link_.note((corruptOnce ? "fault corrupt-packet " + std::to_string(ordinal)
                                : std::string("fault corrupt-every-packet")) +
                   ": " + currentName() + " sent with a damaged payload");
        link_.send(damaged);
    } else {
        link_.send(packet_);
    }
    link_.note("tx " + currentName() + " try " + std::to_string(sends_));
    phase_ = Phase::waitAck;
    timer_ = now + answerWait_;
    lineFreeAt_ = now + lineTime_;
}

void XmodemSender::nextPacket(TimePoint now) {
    ++index_;
    sends_ = 0;
    if (index_ == packetCount_) {
        sendEot(now);
        return;
    }
    buildPacket();
    if (faults_.lateAnswer == index_ + 1 && !lateDone_) {
        lateDone_ = true;
        link_.note("fault late-answer " + std::to_string(index_ + 1) + ": " + currentName() +
                   " due in " + std::to_string(faults_.lateAnswerDelay.count()) + " ms");
        phase_ = Phase::late;
        timer_ = now + faults_.lateAnswerDelay;
        return;
    }
    sendPacket(now);
}

void XmodemSender::sendEot(TimePoint now) {
    if (eotSends_ >= kMaxSends) {
        cancel(TransferEnd::failed,
               "EOT not acknowledged after " + std::to_string(eotSends_) + " sends");
        return;
    }
    ++eotSends_;
    const std::uint8_t eot = kEot;
    link_.event(controlEvent(kEot, true));
    link_.send(std::span(&eot, 1));
    link_.note("tx EOT try " + std::to_string(eotSends_));
    phase_ = Phase::waitEotAck;
    timer_ = now + kAckTimeout;
}

// A host that has left the transfer (one waking the device) sends bytes that answer
// nothing: the device gives up after a few, not after its time-outs.
bool XmodemSender::stray(std::uint8_t byte, const std::string& where) {
    link_.note("rx stray byte " + hexByte(byte) + " " + where);
    if (++strayBytes_ < kMaxStrayBytes) return false;
    cancel(TransferEnd::failed, std::to_string(strayBytes_) + " stray bytes, no answer");
    return true;
}

void XmodemSender::cancel(TransferEnd end, const std::string& why) {
    link_.note(why);
    const std::uint8_t cancelBytes[kCancelBytes] = {kCan, kCan};
    for (int i = 0; i < kCancelBytes; ++i) link_.event(controlEvent(kCan, true));
    link_.send(cancelBytes);
    link_.note("tx CAN CAN");
    finish(end);
}

void XmodemSender::finish(TransferEnd end) {
    phase_ = Phase::finished;
    end_ = end;
}

std::optional<TimePoint> XmodemSender::deadline() const {
    if (phase_ == Phase::waiting || phase_ == Phase::finished) return std::nullopt;
    return timer_;
}

void XmodemSender::advance(TimePoint now) {
    while (phase_ != Phase::waiting && phase_ != Phase::finished && timer_ <= now) {
        const TimePoint due = timer_;
        switch (phase_) {
            case Phase::waitStart:
                link_.event(timeoutEvent("start", kStartTimeout));
                if (faults_.noTransferStart) {
                    link_.note("no transfer started; giving up");
                    finish(TransferEnd::failed);
                } else {
                    cancel(TransferEnd::failed, "no start request within " +
                                                    std::to_string(kStartTimeout.count()) + " ms");
                }
                break;
            case Phase::late:
                sendPacket(due);
                break;
            case Phase::waitAck:
                link_.event(timeoutEvent("answer", answerWait_));
                link_.note("no answer to " + currentName());
                sendPacket(due);
                break;
            case Phase::waitEotAck:
                link_.event(timeoutEvent("eot", kAckTimeout));
                link_.note("no answer to EOT");
                sendEot(due);
                break;
            case Phase::cancelPending:
                phase_ = savedPhase_;
                timer_ = savedTimer_;
                break;
            case Phase::waiting:
            case Phase::finished:
                break;
        }
    }
}

}  // namespace tidewell::devsim
