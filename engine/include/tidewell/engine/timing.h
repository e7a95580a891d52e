// The waits of the device session and the block transfer.
//
// Production uses EngineTiming{} unchanged. The counts of the block transfer (start
// attempts, sends, retries, EOTs) are fixed; the durations can be scaled, so that a
// test reaches a retry limit in milliseconds instead of minutes. The reply attempts of
// the transfer sessions and the log-in's wait can be raised by a caller that bounds
// those waits itself.
#pragma once

#include <chrono>
#include <functional>

namespace tidewell {

struct EngineTiming {
    // The worker's own time: its pauses, and the clock of its flush and write limits.
    // Empty: sleep_for and the steady clock. A simulated line sets both, so that no wait
    // is spent for real.
    std::function<void(std::chrono::milliseconds)> pause;
    std::function<std::chrono::steady_clock::time_point()> now;

    std::chrono::milliseconds detectReadWait{4};
    std::chrono::milliseconds detectPause{5};
    std::chrono::milliseconds loginPause{50};
    // Line reads: log-in, terminal loop, reply waits of the transfer sessions.
    std::chrono::milliseconds lineWait{200};
    // Silence that ends a flush of the input.
    std::chrono::milliseconds flushSilence{500};
    // Start request, answer to EOT, packet header.
    std::chrono::milliseconds byteWait{1000};
    // Answer to a packet's first copy, beyond the packet's line time (a resend waits
    // byteWait). A device that writes flash before it answers can take seconds; sent
    // again too early, the packet is answered twice, and each answer must still be
    // matched to its own send.
    std::chrono::milliseconds answerWait{10000};
    // Byte after a CAN: the sender wants a second CAN within this wait...
    std::chrono::milliseconds senderCancelWait{1000};
    // ...the receiver takes any byte within this one.
    std::chrono::milliseconds receiverCancelWait{3000};
    // Each byte of a packet body.
    std::chrono::milliseconds bodyByteWait{1000};
    // A flush that never meets its silence (a device that keeps sending) ends after this.
    std::chrono::milliseconds flushLimit{5000};
    // A write must be taken within twice its line time plus this, or the port is stuck.
    std::chrono::milliseconds writeMargin{1000};
    // A log-in without its answer in four lines reads on for commandReplyAttempts lines;
    // a caller may instead read on until this long after the four (0: the attempts).
    std::chrono::milliseconds loginReplyWait{0};
    // Line reads (lineWait each) for the reply to a transfer's command line...
    int commandReplyAttempts = 15;
    // ...and for the device's final line after the block transfer.
    int finalReplyAttempts = 20;
};

// A caller that bounds every wait after detection by `limit` itself: `limit`, never
// below the floor a healthy exchange needs (a flush plus one byte wait) plus `extra`.
std::chrono::milliseconds silenceAtLeast(std::chrono::milliseconds limit,
                                         const EngineTiming& timing = EngineTiming{},
                                         std::chrono::milliseconds extra = {});

// base for such a caller: the transfers' reply waits take as many line reads as `limit`
// holds (never fewer than the protocol's), and a log-in awaits its answer for
// silenceAtLeast(limit). Each read stays short, so a cancel is quick.
EngineTiming boundedBy(std::chrono::milliseconds limit, const EngineTiming& base = EngineTiming{});

// Every wait of base divided by divisor, none below 1 ms (0 would mean "do not wait").
EngineTiming scaledTiming(unsigned divisor, const EngineTiming& base = EngineTiming{});

}  // namespace tidewell
