// The device's sending side of the block transfer ("upload NAME"): 1024-byte
// packets, padded with 0x1A, CRC-16 or checksum as the host asks.
#pragma once

#include <optional>
#include <vector>

#include "tidewell/devsim/options.h"
#include "transfer.h"

namespace tidewell::devsim {

class XmodemSender {
  public:
    // lineTime: how long one packet takes on the line; added to every wait
    // for an answer. faults and link must outlive the sender.
    XmodemSender(const Faults& faults, TransferLink& link, std::vector<std::uint8_t> file,
                 Millis lineTime);

    // Starts waiting for the host's start request.
    void start(TimePoint now);
    void receive(std::uint8_t byte, TimePoint now);
    void advance(TimePoint now);
    std::optional<TimePoint> deadline() const;

    TransferEnd end() const { return end_; }

  private:
    enum class Phase { waiting, waitStart, late, waitAck, waitEotAck, cancelPending, finished };

    void handle(std::uint8_t byte, TimePoint now);
    void buildPacket();
    void sendPacket(TimePoint now);
    void nextPacket(TimePoint now);
    void sendEot(TimePoint now);
    // A byte that answers nothing: true when the sender gave up because of it.
    bool stray(std::uint8_t byte, const std::string& where);
    void cancel(TransferEnd end, const std::string& why);
    void finish(TransferEnd end);
    std::string currentName() const;

    const Faults& faults_;
    TransferLink& link_;
    std::vector<std::uint8_t> file_;
    Millis lineTime_;
    Millis answerWait_;
    Phase phase_ = Phase::waiting;
    TransferEnd end_ = TransferEnd::running;
    TimePoint timer_{};
    Phase savedPhase_ = Phase::waiting;
    TimePoint savedTimer_{};

    bool crc_ = true;
    std::uint64_t packetCount_ = 0;
    std::uint64_t index_ = 0;  // packet being sent, from 0
    std::vector<std::uint8_t> packet_;
    int sends_ = 0;
    int eotSends_ = 0;
    // Bytes that are no answer (neither start request, ACK, NAK nor CAN), counted
    // from the start or from the last ACK.
    int strayBytes_ = 0;
    TimePoint lineFreeAt_{};  // the packet (or EOT) sent last has left the line
    bool startIgnoredNoted_ = false;
    bool corruptDone_ = false;
    bool dropAckDone_ = false;
    bool lateDone_ = false;
};

}  // namespace tidewell::devsim
