// The device's receiving side of the block transfer ("download NAME").
#pragma once

#include <optional>
#include <vector>

#include "tidewell/devsim/options.h"
#include "transfer.h"

namespace tidewell::devsim {

class XmodemReceiver {
  public:
    // lineTime: how long one packet takes on the line; it lengthens the longest
    // purge. faults and link must outlive the receiver.
    XmodemReceiver(const Faults& faults, TransferLink& link, Millis lineTime = Millis(0));

    // Sends the first start request. Bytes before it are ignored, CAN CAN aside; bytes
    // after it that start no packet count as errors.
    void start(TimePoint now);
    void receive(std::uint8_t byte, TimePoint now);
    void advance(TimePoint now);
    std::optional<TimePoint> deadline() const;

    TransferEnd end() const { return end_; }
    // The payloads of the accepted packets, padding included.
    std::vector<std::uint8_t> takeData() { return std::move(data_); }

  private:
    enum class Phase {
        waiting,
        requesting,
        silent,
        header,
        body,
        purge,
        busy,
        cancelPending,
        finished
    };

    void sendRequest(TimePoint now);
    void atHeader(std::uint8_t byte, TimePoint now);
    void checkPacket(TimePoint now);
    void refuse(TimePoint now, const std::string& why);
    void headerTimeout(TimePoint now);
    void cancel(TransferEnd end, const std::string& why);
    void finish(TransferEnd end);
    // ACK, NAK or CAN.
    void sendByte(std::uint8_t byte);
    void sendStartRequest();
    std::string packetName(std::uint8_t number, std::uint64_t ordinal) const;

    const Faults& faults_;
    TransferLink& link_;
    Millis purgeLimit_;
    Phase phase_ = Phase::waiting;
    TransferEnd end_ = TransferEnd::running;
    TimePoint timer_{};
    Phase savedPhase_ = Phase::waiting;  // phase to resume when a CAN stands alone
    TimePoint savedTimer_{};

    bool crc_ = true;
    int requests_ = 0;
    TimePoint purgeEnd_{};            // the purge ends here even if the line never goes quiet
    bool requestAfterPurge_ = false;  // no packet yet: the purge ends with a start request
    std::uint8_t expected_ = 1;
    std::uint64_t accepted_ = 0;
    int errors_ = 0;
    std::vector<std::uint8_t> packet_;
    std::size_t packetLength_ = 0;
    std::vector<std::uint8_t> data_;
    std::vector<std::uint8_t> held_;  // what arrived while busy, read once the answer is out
    bool lateAnswerDone_ = false;
    bool corruptDone_ = false;
    bool dropAckDone_ = false;
};

}  // namespace tidewell::devsim
