// sendFile: the engine sends a local file to a scripted receiving device.
#include <gtest/gtest.h>

#include <filesystem>

#include "transfer_fixtures.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

std::string paddedTo1024(std::string data) {
    data.resize((data.size() + 1023) / 1024 * 1024, '\0');
    return data;
}

TEST_F(Sender, ThreeThousandBytesGoAsThreePaddedPacketsWithProgress34_68_102) {
    const std::string path = fileOf(3000);
    ReceivingDevice device(*rig.line);
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferOk);
    const auto packets = device.packets();
    ASSERT_EQ(packets.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(packets[i].header, 0x02);
        EXPECT_EQ(packets[i].number, i + 1);
        EXPECT_EQ(packets[i].complement, 0xFF - (i + 1));
        EXPECT_TRUE(packets[i].checkOk);
    }
    EXPECT_EQ(packets[2].payload, content.substr(2048) + std::string(72, '\0'));
    EXPECT_EQ(device.deliveredPayload(), paddedTo1024(content));
    EXPECT_EQ(rig.recorder.progress(), (std::vector<std::int32_t>{34, 68, 102}));
    EXPECT_EQ(device.eots(), 1);
    EXPECT_EQ(device.cans(), 0);
    EXPECT_EQ(device.stray(), "");
    EXPECT_TRUE(rig.recorder.results().empty());  // the session posts, not sendFile
}

TEST_F(Sender, ExactlyOnePacketThenEot) {
    const std::string path = fileOf(1024);
    ReceivingDevice device(*rig.line);
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferOk);
    ASSERT_EQ(device.packets().size(), 1u);
    EXPECT_EQ(device.deliveredPayload(), content);
    EXPECT_EQ(rig.recorder.progress(), std::vector<std::int32_t>{100});
    EXPECT_EQ(device.eots(), 1);
}

TEST_F(Sender, EmptyFileIsEotAlone) {
    const std::string path = fileOf(0);
    ReceivingDevice device(*rig.line);
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferOk);
    EXPECT_TRUE(device.packets().empty());
    EXPECT_EQ(device.eots(), 1);
    EXPECT_TRUE(rig.recorder.progress().empty());
    EXPECT_EQ(rig.line->written(), "\x04");
}

TEST_F(Sender, NakStartRequestSelectsChecksumPackets) {
    const std::string path = fileOf(1500);
    ReceivingDevice device(*rig.line, /*crcMode=*/false);
    rig.line->feed("\x15");
    EXPECT_EQ(send(path), resTransferOk);
    const auto packets = device.packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_TRUE(packets[0].checkOk);
    EXPECT_TRUE(packets[1].checkOk);
    EXPECT_EQ(rig.line->written().size(), 2 * 1028u + 1);
}

TEST_F(Sender, RefusedOrUnansweredPacketIsSentAgainUnchanged) {
    const std::string path = fileOf(2048);
    ReceivingDevice device(*rig.line);
    device.answerPacket = [](const ReceivedPacket&, int send) {
        return send == 0   ? std::string(1, kNak)
               : send == 2 ? std::string("?")
                           : std::string(1, kAck);
    };
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferOk);
    const auto packets = device.packets();
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets[0].number, 1);
    EXPECT_EQ(packets[1].number, 1);
    EXPECT_EQ(packets[1].payload, packets[0].payload);
    EXPECT_EQ(packets[2].number, 2);
    EXPECT_EQ(packets[3].number, 2);
    EXPECT_EQ(device.deliveredPayload(), content);
    EXPECT_EQ(rig.recorder.progress(), (std::vector<std::int32_t>{50, 100}));
}

TEST_F(Sender, CanCanDuringAPacketIsTheDevicesCancel) {
    const std::string path = fileOf(4000);
    ReceivingDevice device(*rig.line);
    device.answerPacket = [](const ReceivedPacket& p, int) {
        return p.number == 2 ? std::string{kCan, kCan} : std::string(1, kAck);
    };
    rig.line->feed("C");
    EXPECT_EQ(send(path), resRemoteCancel);
    EXPECT_EQ(device.packets().size(), 2u);
    EXPECT_EQ(device.stray(), std::string(1, kAck));  // the cancel is acknowledged
    EXPECT_EQ(device.eots(), 0);
}

TEST_F(Sender, SingleCanFollowedByAnotherByteIsNoCancel) {
    const std::string path = fileOf(1000);
    ReceivingDevice device(*rig.line);
    device.answerPacket = [](const ReceivedPacket&, int send) {
        return send == 0 ? std::string{kCan, 'x'} : std::string(1, kAck);
    };
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferOk);
    EXPECT_EQ(device.packets().size(), 2u);
}

TEST_F(Sender, CanCanWhileWaitingForTheStartIsTheDevicesCancel) {
    const std::string path = fileOf(1000);
    rig.line->feed(std::string{kCan, kCan});
    EXPECT_EQ(send(path), resRemoteCancel);
    EXPECT_EQ(rig.line->written(), std::string(1, kAck));
}

// At 9600 baud a 1029-byte packet needs 1072 ms on the line, longer than the answer
// wait itself; a write returns before that, so the wait must cover the line time too.
TEST_F(Sender, AnswerWaitCoversThePacketsLineTime) {
    rig.worker.reset();
    EngineTiming timing = fastTiming();
    ScriptedRig slow(timing, nullptr, 9600);
    ReceivingDevice device(*slow.line);
    device.answerPacket = [&slow](const ReceivedPacket&, int) {
        slow.line->onRead([](ScriptedLine& line, int) {
            line.onRead(nullptr);
            line.feed(std::string(1, kAck));
        });
        return std::string();  // the ACK comes with the next read
    };
    slow.line->feed("C");
    const std::string path = fileOf(1500);
    std::int32_t result = -1;
    slow.worker->onWorker([&] { result = slow.worker->sendFile(path); });
    EXPECT_EQ(result, resTransferOk);
    const auto waits = slow.line->readWaits();
    const auto packetWait = static_cast<DWORD>(timing.answerWait.count()) + 1072;
    EXPECT_EQ(std::count(waits.begin(), waits.end(), packetWait), 2);
    EXPECT_EQ(device.packets().size(), 2u);
}

class SenderAtLimits : public Sender {};

TEST_F(SenderAtLimits, NoStartRequestWithinSixtyAttemptsGivesNoRemote) {
    rig.worker.reset();
    ScriptedRig fast(scaledTiming(200));
    int lastRead = 0;
    fast.line->onRead([&](ScriptedLine&, int n) { lastRead = n; });
    std::int32_t result = -1;
    const std::string path = fileOf(10);
    fast.worker->onWorker([&] { result = fast.worker->sendFile(path); });
    EXPECT_EQ(result, resNoRemote);
    EXPECT_EQ(fast.line->written(), std::string(3, kCan));
    EXPECT_EQ(lastRead, 61);  // 60 attempts, then the flush after the CANs
}

TEST_F(SenderAtLimits, StartRequestOnTheSixtiethAttemptIsTooLateButTheFiftyNinthIsNot) {
    rig.worker.reset();
    for (int readNumber : {59, 60}) {
        ScriptedRig fast(scaledTiming(200));
        fast.line->onRead([&](ScriptedLine& line, int n) {
            if (n == readNumber) {
                line.feed("C");
            }
        });
        ReceivingDevice device(*fast.line);
        const std::string path = fileOf(10);
        std::int32_t result = -1;
        fast.worker->onWorker([&] { result = fast.worker->sendFile(path); });
        EXPECT_EQ(result, readNumber == 59 ? resTransferOk : resNoRemote) << readNumber;
        EXPECT_EQ(device.packets().size(), readNumber == 59 ? 1u : 0u);
    }
}

TEST_F(SenderAtLimits, TwentyFiveSendsWithoutAckGiveTooManyRetries) {
    rig.worker.reset();
    ScriptedRig fast(scaledTiming(200));
    ReceivingDevice device(*fast.line);
    device.answerPacket = [](const ReceivedPacket&, int) { return std::string(1, kNak); };
    fast.line->feed("C");
    const std::string path = fileOf(3000);
    std::int32_t result = -1;
    fast.worker->onWorker([&] { result = fast.worker->sendFile(path); });
    EXPECT_EQ(result, resTooManyRetries);
    EXPECT_EQ(device.packets().size(), 25u);
    EXPECT_EQ(device.cans(), 3);
    EXPECT_TRUE(fast.recorder.progress().empty());
}

TEST_F(SenderAtLimits, TenEotsWithoutAckGiveTransferErrorWithoutCancel) {
    rig.worker.reset();
    ScriptedRig fast(scaledTiming(200));
    ReceivingDevice device(*fast.line);
    device.answerEot = [](int) { return std::string(1, kNak); };
    fast.line->feed("C");
    const std::string path = fileOf(100);
    std::int32_t result = -1;
    fast.worker->onWorker([&] { result = fast.worker->sendFile(path); });
    EXPECT_EQ(result, resTransferError);
    EXPECT_EQ(device.eots(), 10);
    EXPECT_EQ(device.cans(), 0);
}

TEST_F(Sender, PacketNumbersWrapPast255) {
    const std::string path = fileOf(300 * 1024);
    ReceivingDevice device(*rig.line);
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferOk);
    const auto packets = device.packets();
    ASSERT_EQ(packets.size(), 300u);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        ASSERT_EQ(packets[i].number, (i + 1) % 256) << i;
        ASSERT_EQ(packets[i].complement, 0xFF - (i + 1) % 256) << i;
    }
    EXPECT_EQ(packets[255].number, 0);
    EXPECT_EQ(device.deliveredPayload(), content);
    EXPECT_EQ(rig.recorder.progress().back(), 100);
}

TEST_F(Sender, MissingFileOrFolderIsAnOpenErrorAndNothingIsSent) {
    rig.line->feed("C");
    EXPECT_EQ(send(dir.file("absent.pkg")), resOpenError);
    EXPECT_EQ(send(dir.path().string()), resOpenError);
    EXPECT_EQ(rig.line->written(), "");
}

TEST_F(Sender, ReadFailureInTheMiddleCancelsWithoutAShortPacket) {
    const std::string path = fileOf(3000);
    ReceivingDevice device(*rig.line);
    device.answerPacket = [&](const ReceivedPacket&, int) {
        std::error_code error;
        std::filesystem::resize_file(path, 1500, error);
        EXPECT_FALSE(error) << error.message();
        return std::string(1, kAck);
    };
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferError);
    ASSERT_EQ(device.packets().size(), 1u);  // only the full first packet
    EXPECT_EQ(device.cans(), 3);
    EXPECT_EQ(device.eots(), 0);
    const auto texts = rig.recorder.texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(path), std::string::npos) << texts[0];
}

TEST_F(Sender, CancelMidTransferStopsWithoutSendingMore) {
    const std::string path = fileOf(5000);
    ReceivingDevice device(*rig.line);
    device.answerPacket = [&](const ReceivedPacket& p, int) {
        if (p.number == 2) {
            rig.worker->cancel();
            return std::string();
        }
        return std::string(1, kAck);
    };
    rig.line->feed("C");
    EXPECT_EQ(send(path), resStopped);
    EXPECT_EQ(device.packets().size(), 2u);
    EXPECT_EQ(device.cans(), 0);
    EXPECT_EQ(device.eots(), 0);
}

TEST_F(Sender, HangUpMidTransferEndsAtOnceWithTransferError) {
    const std::string path = fileOf(5000);
    ReceivingDevice device(*rig.line);
    int readsAtHangUp = 0;
    device.answerPacket = [&](const ReceivedPacket& p, int) {
        if (p.number == 2) {
            readsAtHangUp = rig.line->readCalls();
            rig.line->hangUp();
        }
        return std::string(1, kAck);
    };
    rig.line->feed("C");
    EXPECT_EQ(send(path), resTransferError);
    EXPECT_LE(rig.line->readCalls() - readsAtHangUp, 1);  // no retries against a dead line
    EXPECT_EQ(rig.recorder.texts().size(), 1u);
}

}  // namespace
}  // namespace tidewell::testing
