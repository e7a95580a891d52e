// receiveFile: the engine receives a file from a scripted sending device.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "transfer_fixtures.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> statistics(int cancel, int unknown, int timeout, int incomplete,
                                    int invalid, int checksum, int repeated) {
    return {"Cancel count: " + std::to_string(cancel),
            "Unknown header count: " + std::to_string(unknown),
            "Header timeout count: " + std::to_string(timeout),
            "Incomplete packet count: " + std::to_string(incomplete),
            "Invalid packet number count: " + std::to_string(invalid),
            "Checksum error count: " + std::to_string(checksum),
            "Remote re-transmition count: " + std::to_string(repeated)};
}

TEST_F(Receiver, EotFirstCreatesAnEmptyFileAndReportsAllCounters) {
    SendingDevice device(*rig.line, {std::string(1, kEot)});
    device.ignoreRequests = 2;  // two header time-outs first
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(received(), "");
    EXPECT_EQ(rig.recorder.texts(), statistics(0, 0, 2, 0, 0, 0, 0));
    EXPECT_EQ(rig.line->written(), "CCC\x06");
}

TEST_F(Receiver, PacketsAreWrittenWithTheirPaddingAndProgressIsOf131072Bytes) {
    const std::string content = patternBytes(3000);
    SendingDevice device(*rig.line, fileFrames(content));
    EXPECT_EQ(receive(), resTransferOk);
    std::string padded = content;
    padded.resize(3072, 0x1A);
    EXPECT_EQ(received(), padded);
    EXPECT_EQ(rig.recorder.progress(), (std::vector<std::int32_t>{0, 1, 2}));
    EXPECT_EQ(rig.recorder.texts(), statistics(0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(device.acks(), 4);  // three packets and the EOT
}

// The line feed of the reply line before the transfer must not cost a second 'C':
// a device that answers every 'C' with packet 1 would then be one ACK ahead.
TEST_F(Receiver, LineFeedBeforeTheFirstPacketIsNoHeader) {
    const std::string content = patternBytes(2048);
    rig.line->feed("\n");
    SendingDevice device(*rig.line, fileFrames(content));
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(rig.line->written(), "C\x06\x06\x06");
    EXPECT_EQ(received(), content);
    EXPECT_EQ(rig.recorder.texts(), statistics(0, 0, 0, 0, 0, 0, 0));
}

TEST_F(Receiver, ShortPacketsAreAccepted) {
    const std::string a = patternBytes(128, 1), b = patternBytes(128, 2);
    SendingDevice device(*rig.line, {makePacket(1, a), makePacket(2, b), std::string(1, kEot)});
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(received(), a + b);
}

TEST_F(Receiver, LargeDownloadPostsProgressAbove100) {
    const std::string content = patternBytes(200 * 1024);
    SendingDevice device(*rig.line, fileFrames(content));
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(received(), content);
    EXPECT_EQ(rig.recorder.progress().back(), (200 * 1024 * 100) >> 17);
    EXPECT_GT(rig.recorder.progress().back(), 100);
}

TEST_F(Receiver, RepeatedPacketIsAcknowledgedNotWrittenAgainAndCounted) {
    const std::string content = patternBytes(2048);
    auto frames = fileFrames(content);
    frames.insert(frames.begin() + 1, frames[0]);  // packet 1 again: its ACK was lost
    SendingDevice device(*rig.line, frames);
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(received(), content);
    EXPECT_EQ(rig.recorder.texts(), statistics(0, 0, 0, 0, 0, 0, 1));
}

TEST_F(Receiver, NumbersWrapPast255AndARepeatOf255IsStillARepeat) {
    const std::string content = patternBytes(300 * 1024);
    auto frames = fileFrames(content);
    frames.insert(frames.begin() + 255, frames[254]);  // packet 255 twice
    SendingDevice device(*rig.line, frames);
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(received(), content);
    EXPECT_EQ(rig.recorder.texts(), statistics(0, 0, 0, 0, 0, 0, 1));
}

TEST_F(Receiver, BadCrcIsAnsweredWithNakAfterSilenceAndTheResendIsTaken) {
    const std::string content = patternBytes(1024);
    auto frames = fileFrames(content);
    SendingDevice device(*rig.line, frames);
    device.frameFor = [frames](std::size_t index, int attempt) {
        std::string frame = frames[index];
        if (index == 0 && attempt == 0) {
            frame[500] ^= 0x40;
        }
        return frame;
    };
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(received(), content);
    EXPECT_EQ(device.naks(), 1);
    EXPECT_EQ(rig.recorder.texts(), statistics(0, 0, 0, 0, 0, 1, 0));
    const TransferOutcome outcome = rig.worker->transferOutcome();
    EXPECT_EQ(outcome.failedChecks, 1u);
    EXPECT_EQ(outcome.retries, 1u);
    EXPECT_EQ(outcome.packets, 1u);
    EXPECT_EQ(outcome.bytes, 1024u);
    EXPECT_EQ(outcome.deviceFrames, 3u);  // the damaged packet, its resend, EOT
    EXPECT_EQ(outcome.stage, TransferStage::finalReply);
}

TEST_F(Receiver, SixteenFailedPacketsInARowGiveTooManyRetries) {
    const std::string content = patternBytes(1024);
    auto frames = fileFrames(content);
    SendingDevice device(*rig.line, frames);
    device.frameFor = [frames](std::size_t index, int) {
        std::string frame = frames[index];
        frame[10] ^= 0x01;
        return frame;
    };
    EXPECT_EQ(receive(), resTooManyRetries);
    EXPECT_EQ(device.naks(), 15);
    EXPECT_EQ(device.cans(), 3);
    EXPECT_EQ(rig.recorder.texts(), std::vector<std::string>{"Error: Too many retry."});
    EXPECT_EQ(received(), "");
}

TEST_F(Receiver, InvalidNumberAndIncompletePacketAreCountedAndRefused) {
    const std::string content = patternBytes(1024);
    auto frames = fileFrames(content);
    SendingDevice device(*rig.line, frames);
    device.frameFor = [frames](std::size_t index, int attempt) {
        std::string frame = frames[index];
        if (index == 0 && attempt == 0) {
            frame[2] = 0;  // complement does not match
        } else if (index == 0 && attempt == 1) {
            frame.resize(600);  // then silence
        }
        return frame;
    };
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(received(), content);
    EXPECT_EQ(rig.recorder.texts(), statistics(0, 0, 0, 1, 1, 0, 0));
}

TEST_F(Receiver, OutOfSequencePacketEndsTheTransfer) {
    const std::string content = patternBytes(3 * 1024);
    auto frames = fileFrames(content);
    frames.erase(frames.begin() + 1);  // packet 3 follows packet 1
    SendingDevice device(*rig.line, frames);
    EXPECT_EQ(receive(), resTransferError);
    EXPECT_EQ(device.cans(), 3);
    EXPECT_EQ(rig.recorder.texts(), std::vector<std::string>{"Error: Packet sequence is corrupt."});
    EXPECT_EQ(received(), content.substr(0, 1024));  // what came before stays
}

TEST_F(Receiver, CanFollowedByAnyByteIsTheDevicesCancel) {
    SendingDevice device(*rig.line, {std::string{kCan, 'z'}});
    EXPECT_EQ(receive(), resRemoteCancel);
    EXPECT_EQ(rig.line->written(), "C\x06");
}

TEST_F(Receiver, LoneCanIsCountedAndTheTransferGoesOn) {
    const std::string content = patternBytes(100);
    const auto frames = fileFrames(content);
    int requests = 0;
    int acks = 0;
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "C") {
            line.feed(++requests == 1 ? std::string(1, kCan) : frames[0]);
        } else if (w == std::string(1, kAck) && ++acks == 1) {
            line.feed(frames[1]);
        }
    });
    EXPECT_EQ(receive(), resTransferOk);
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(rig.recorder.texts(), statistics(1, 0, 0, 0, 0, 0, 0));
    rig.line->onWrite(nullptr);
}

TEST_F(Receiver, NoHeaderInEitherModeGivesSyncTokenNotFound) {
    rig.worker.reset();
    ScriptedRig fast(scaledTiming(200));
    EXPECT_EQ(receive(fast), resTransferError);
    const std::string written = fast.line->written();
    EXPECT_EQ(written, std::string(60, 'C') + std::string(60, kNak) + std::string(3, kCan));
    EXPECT_EQ(fast.recorder.texts(), std::vector<std::string>{"Error: Sync token not found."});
}

// Only the line feed that ends the reply line is skipped: a device that sends nothing
// but line feeds uses up the attempts of both modes like silence would.
TEST_F(Receiver, EndlessLineFeedsUseUpTheAttemptsAndGiveSyncTokenNotFound) {
    rig.worker.reset();
    ScriptedRig fast(scaledTiming(200));
    fast.line->onRead([](ScriptedLine& line, int) { line.feed("\n"); });
    EXPECT_EQ(receive(fast), resTransferError);
    EXPECT_EQ(fast.line->written(),
              std::string(60, 'C') + std::string(60, kNak) + std::string(3, kCan));
    EXPECT_EQ(fast.recorder.texts(), std::vector<std::string>{"Error: Sync token not found."});
    fast.line->onRead(nullptr);
    const TransferOutcome outcome = fast.worker->transferOutcome();
    EXPECT_GT(outcome.inputSinceProgress.lineFeeds, 60u);
    EXPECT_EQ(outcome.inputSinceProgress.bytes, outcome.inputSinceProgress.lineFeeds);
    EXPECT_EQ(outcome.inputSinceProgress.lineEnds, 0u);
    EXPECT_EQ(outcome.deviceFrames, 0u);
    EXPECT_FALSE(outcome.packetBegun);
}

TEST_F(Receiver, CancelIsSeenBetweenTheBytesOfATricklingPacket) {
    const std::string packet = makePacket(1, patternBytes(1024));
    std::size_t sent = 0;
    int readsAtCancel = 0;
    rig.line->onRead([&](ScriptedLine& line, int n) {
        if (sent == 11) {
            rig.worker->cancel();
            readsAtCancel = n;
        }
        if (sent < packet.size()) {
            line.feed(packet.substr(sent++, 1));  // one byte per read
        }
    });
    EXPECT_EQ(receive(), resStopped);
    EXPECT_EQ(rig.line->readCalls(), readsAtCancel);  // the byte in flight, then nothing
    EXPECT_EQ(rig.line->written(), "C");
    rig.line->onRead(nullptr);
}

TEST_F(Receiver, ChecksumModeAfterSixtyUnansweredCrcRequests) {
    rig.worker.reset();
    ScriptedRig fast(scaledTiming(200));
    const std::string content = patternBytes(2000);
    SendingDevice device(*fast.line, fileFrames(content, /*crc=*/false));
    device.startOnCrc = false;
    EXPECT_EQ(receive(fast), resTransferOk);
    EXPECT_EQ(device.crcRequests(), 60);
    EXPECT_EQ(device.nakRequests(), 1);
    std::string padded = content;
    padded.resize(2048, 0x1A);
    EXPECT_EQ(received(), padded);
}

TEST_F(Receiver, UnopenableFileIsAnOpenErrorAndNothingIsSent) {
    target = dir.file("no/such/folder/setting.bak");
    EXPECT_EQ(receive(), resOpenError);
    EXPECT_EQ(rig.line->written(), "");
}

// The received file is made by the transfer alone: a file of the user's at its name is
// neither written through nor emptied.
TEST_F(Receiver, FileAlreadyAtTheNameIsRefusedAndLeftAsItWas) {
    const std::string precious = dir.file("precious");
    writeFile(precious, "keep me");
    target = precious;
    EXPECT_EQ(receive(), resOpenError);
    EXPECT_EQ(readFile(precious), "keep me");
    EXPECT_EQ(rig.line->written(), "");
}

TEST_F(Receiver, HangUpEndsAtOnceWithTransferError) {
    const std::string content = patternBytes(5 * 1024);
    auto frames = fileFrames(content);
    SendingDevice device(*rig.line, frames);
    int readsAtHangUp = 0;
    device.frameFor = [&, frames](std::size_t index, int) {
        if (index == 2) {
            readsAtHangUp = rig.line->readCalls();
            rig.line->hangUp();
        }
        return frames[index];
    };
    EXPECT_EQ(receive(), resTransferError);
    EXPECT_LE(rig.line->readCalls() - readsAtHangUp, 1);
    EXPECT_EQ(received(), content.substr(0, 2048));
}

TEST_F(Receiver, CancelStopsWithoutSendingMore) {
    const std::string content = patternBytes(5 * 1024);
    auto frames = fileFrames(content);
    SendingDevice device(*rig.line, frames);
    device.frameFor = [&, frames](std::size_t index, int) {
        if (index == 2) {
            rig.worker->cancel();
            return std::string();
        }
        return frames[index];
    };
    EXPECT_EQ(receive(), resStopped);
    const std::string written = rig.line->written();
    EXPECT_EQ(written, "C\x06\x06");
}

// Whatever the device sends, the receiver ends with one of its results and writes only
// its own file.
TEST_F(Receiver, RandomTrafficEndsInAResult) {
    rig.worker.reset();
    for (unsigned seed = 1; seed <= 40; ++seed) {
        ScriptedRig fast(scaledTiming(200));
        std::mt19937 random(seed);
        fast.line->onWrite([&random, seed](ScriptedLine& line, const std::string&) {
            std::string noise;
            const int length = static_cast<int>(random() % 1400);
            for (int i = 0; i < length; ++i) {
                noise.push_back(static_cast<char>(random()));
            }
            if (seed % 4 == 0 && !noise.empty()) {
                noise[0] = kStx;  // plausible headers with any number and CRC
            }
            line.feed(noise);
        });
        std::filesystem::remove(target);
        const std::int32_t result = receive(fast);
        EXPECT_TRUE(result == resTransferOk || result == resTooManyRetries ||
                    result == resTransferError || result == resRemoteCancel)
            << "seed " << seed << " gave " << result;
        fast.worker.reset();
        fast.line->onWrite(nullptr);
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace tidewell::testing
