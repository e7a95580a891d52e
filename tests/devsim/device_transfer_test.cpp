// Block transfers of the device core against a scripted host.
#include <gtest/gtest.h>

#include "host_xmodem.h"

namespace tidewell::devsim {
namespace {

using testing::CoreHarness;
using testing::hostReceive;
using testing::HostReceiveOptions;
using testing::hostSend;
using testing::HostSendOptions;
using testing::kAck;
using testing::kCan;
using testing::kEot;
using testing::makePacket;
using testing::Millis;
using testing::padded;
using testing::patternFile;

constexpr std::uint8_t kDevicePad = 0x1A;

class DevsimDownloadSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DevsimDownloadSizes, StoredExactlyAsReceivedPaddingIncluded) {
    CoreHarness h;
    const auto file = patternFile(GetParam());
    h.startTransfer("download flashimage");
    const auto report = hostSend(h, file);
    ASSERT_TRUE(report.delivered) << report.failure;
    EXPECT_TRUE(report.crc);
    EXPECT_EQ(report.naks, 0);
    // The final reply follows the ACK of EOT at once.
    EXPECT_EQ(h.take(), ":OK:\r\n");
    const auto stored = h.readStoreFile("flashimage");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, padded(file, 1024, 0xEE));
}

INSTANTIATE_TEST_SUITE_P(Sizes, DevsimDownloadSizes,
                         ::testing::Values(0, 1, 1023, 1024, 1025, 3000, 300000));

TEST(DevsimDownload, PacketNumbersWrapPast255) {
    CoreHarness h;
    h.startTransfer("download flashimage");
    ASSERT_TRUE(hostSend(h, patternFile(300 * 1024)).delivered);
    EXPECT_TRUE(h.logHas("rx packet 255 (#255) ok"));
    EXPECT_TRUE(h.logHas("rx packet 0 (#256) ok"));
    EXPECT_TRUE(h.logHas("rx packet 44 (#300) ok"));
    EXPECT_EQ(h.readStoreFile("flashimage")->size(), 300u * 1024);
}

TEST(DevsimDownload, FallsBackToChecksumAfterThreeCrcRequests) {
    CoreHarness h;
    h.startTransfer("download setting");
    HostSendOptions options;
    options.waitForChecksumStart = true;
    const auto file = patternFile(2000);
    const auto report = hostSend(h, file, options);
    ASSERT_TRUE(report.delivered) << report.failure;
    EXPECT_FALSE(report.crc);
    EXPECT_TRUE(h.logHas("tx start request NAK (checksum)"));
    EXPECT_EQ(*h.readStoreFile("setting"), padded(file, 1024, 0xEE));
}

TEST(DevsimDownload, AcceptsShortPackets) {
    CoreHarness h;
    h.startTransfer("download setting");
    HostSendOptions options;
    options.shortPackets = true;
    const auto file = patternFile(1000);
    ASSERT_TRUE(hostSend(h, file, options).delivered);
    EXPECT_EQ(*h.readStoreFile("setting"), padded(file, 128, 0xEE));
}

TEST(DevsimDownload, RepeatedPacketIsAcknowledgedButStoredOnce) {
    CoreHarness h;
    h.startTransfer("download setting");
    ASSERT_TRUE(h.runUntil([&] { return h.output() == "C"; }, Millis(100)));
    h.take();
    const auto file = patternFile(2048);
    const auto first = makePacket(1, std::span(file).first(1024), true);
    const auto second = makePacket(2, std::span(file).subspan(1024), true);
    for (const auto* packet : {&first, &first, &second}) {
        h.send(*packet);
        EXPECT_EQ(h.take(), std::string(1, static_cast<char>(kAck)));
    }
    h.send(std::vector<std::uint8_t>{kEot});
    EXPECT_EQ(h.take(), "\x06:OK:\r\n");
    EXPECT_EQ(*h.readStoreFile("setting"), file);
    EXPECT_TRUE(h.logHas("rx packet 1 (#1) repeated, acknowledged"));
}

TEST(DevsimDownload, BadCrcIsRefusedWithNakOnceTheLineIsQuiet) {
    CoreHarness h;
    h.startTransfer("download setting");
    ASSERT_TRUE(h.runUntil([&] { return h.output() == "C"; }, Millis(100)));
    h.take();
    const auto file = patternFile(1024);
    auto packet = makePacket(1, file, true);
    packet[500] ^= 0x01;
    h.send(packet);
    h.advanceBy(Millis(99));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_EQ(h.take(), "\x15");
    EXPECT_TRUE(h.logHas("rx packet 1 (#1) bad CRC"));
    h.send(makePacket(1, file, true));
    EXPECT_EQ(h.take(), "\x06");
}

TEST(DevsimDownload, PacketOutOfSequenceCancels) {
    CoreHarness h;
    h.writeStoreFile("setting", testing::bytesOf("old"));
    h.startTransfer("download setting");
    ASSERT_TRUE(h.runUntil([&] { return h.output() == "C"; }, Millis(100)));
    h.take();
    h.send(makePacket(3, patternFile(1024), true));
    EXPECT_EQ(h.take(), "\x18\x18");
    EXPECT_TRUE(h.logHas("rx packet 3 out of sequence, expected 1"));
    // After a failure the final reply waits for a second of silence.
    h.advanceBy(Millis(999));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
    EXPECT_EQ(*h.readStoreFile("setting"), testing::bytesOf("old"));
}

TEST(DevsimDownload, HostCancelEndsTheTransferWithError) {
    CoreHarness h;
    h.startTransfer("download setting");
    ASSERT_TRUE(h.runUntil([&] { return h.output() == "C"; }, Millis(100)));
    h.take();
    h.send(makePacket(1, patternFile(1024), true));
    EXPECT_EQ(h.take(), "\x06");
    h.send("\x18\x18\x18");
    EXPECT_TRUE(h.logHas("rx CAN CAN: cancelled by the host"));
    EXPECT_EQ(h.takeLine(Millis(2000)), ":ERROR:");
    EXPECT_FALSE(h.readStoreFile("setting"));
    h.send("ls\r");  // back at the command line
    EXPECT_EQ(h.take(), ":OK:\r\n");
}

TEST(DevsimDownload, TooManyBadPacketsCancel) {
    CoreHarness h;
    h.startTransfer("download setting");
    ASSERT_TRUE(h.runUntil([&] { return h.output() == "C"; }, Millis(100)));
    h.take();
    auto packet = makePacket(1, patternFile(1024), true);
    packet.back() ^= 0xFF;
    std::string answers;
    for (int i = 0; i < 10; ++i) {
        h.send(packet);
        h.advanceBy(Millis(200));
        answers += h.take();
    }
    EXPECT_EQ(answers, std::string(9, '\x15') + "\x18\x18");
    EXPECT_TRUE(h.logHas("too many errors in a row"));
}

TEST(DevsimDownload, GivesUpWhenTheHostNeverSends) {
    CoreHarness h;
    h.startTransfer("download setting");
    ASSERT_TRUE(h.waitForText("\x18\x18", Millis(61000)));
    const std::string out = h.take();
    EXPECT_EQ(out, std::string(3, 'C') + std::string(57, '\x15') + "\x18\x18");
    EXPECT_EQ(h.takeLine(Millis(2000)), ":ERROR:");
}

class DevsimUploadSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DevsimUploadSizes, SentInPaddedStxPackets) {
    CoreHarness h;
    const auto file = patternFile(GetParam());
    h.writeStoreFile("setting", file);
    h.startTransfer("upload setting");
    const auto report = hostReceive(h);
    ASSERT_TRUE(report.completed) << report.failure;
    EXPECT_EQ(report.data, padded(file, 1024, kDevicePad));
    EXPECT_EQ(report.numbers.size(), (file.size() + 1023) / 1024);
    for (std::size_t i = 0; i < report.numbers.size(); ++i) {
        EXPECT_EQ(report.numbers[i], static_cast<int>((i + 1) % 256));
        EXPECT_EQ(report.headers[i], testing::kStx);
    }
    EXPECT_EQ(report.badPackets, 0);
    // The host flushes after EOT: the final reply waits for a second of silence.
    h.advanceBy(Millis(999));
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.takeLine(Millis(10)), ":OK:");
}

INSTANTIATE_TEST_SUITE_P(Sizes, DevsimUploadSizes,
                         ::testing::Values(0, 1, 1023, 1024, 1025, 3000, 300000));

TEST(DevsimUpload, EmptyFileIsEotAlone) {
    CoreHarness h;
    h.writeStoreFile("setting", {});
    h.startTransfer("upload setting");
    h.send("C");
    EXPECT_EQ(h.take(), "\x04");
}

TEST(DevsimUpload, ChecksumWhenAskedWithNak) {
    CoreHarness h;
    const auto file = patternFile(1500);
    h.writeStoreFile("setting", file);
    h.startTransfer("upload setting");
    HostReceiveOptions options;
    options.crc = false;
    const auto report = hostReceive(h, options);
    ASSERT_TRUE(report.completed) << report.failure;
    EXPECT_EQ(report.data, padded(file, 1024, kDevicePad));
    EXPECT_TRUE(h.logHas("rx start request NAK (checksum)"));
}

TEST(DevsimUpload, NakAndSilenceBothBringThePacketAgain) {
    CoreHarness h;
    h.writeStoreFile("setting", patternFile(1024));
    h.startTransfer("upload setting");
    h.send("C");
    const std::string packet = h.take();
    ASSERT_EQ(packet.size(), 1029u);
    h.send("\x15");
    EXPECT_EQ(h.take(), packet);
    EXPECT_TRUE(h.runUntil([&] { return !h.output().empty(); }, Millis(10001)));
    EXPECT_EQ(h.take(), packet);
    EXPECT_TRUE(h.logHas("no answer to packet 1 (#1)"));
    EXPECT_TRUE(h.logHas("tx packet 1 (#1) try 3"));
}

TEST(DevsimUpload, HostCancelEndsTheTransferWithError) {
    CoreHarness h;
    h.writeStoreFile("setting", patternFile(4096));
    h.startTransfer("upload setting");
    h.send("C");
    h.take();
    h.send("\x18\x18");
    EXPECT_TRUE(h.logHas("rx CAN CAN: cancelled by the host"));
    EXPECT_EQ(h.takeLine(Millis(2000)), ":ERROR:");
}

TEST(DevsimUpload, GivesUpWithoutAStartRequest) {
    CoreHarness h;
    h.writeStoreFile("setting", patternFile(10));
    h.startTransfer("upload setting");
    h.advanceBy(Millis(59999));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_EQ(h.take(), "\x18\x18");
    EXPECT_EQ(h.takeLine(Millis(2000)), ":ERROR:");
}

// A host that has left a transfer and wakes the device as detection does (three
// spaces every 9 ms, never a quiet line) finds it prompting within a few seconds,
// whatever the transfer was doing; after the host's CAN at once (the final line first).
TEST(DevsimWakingHost, FindsThePromptWithinSeconds) {
    const std::vector<std::pair<std::string, std::string>> setups = {
        {"upload setting", ""},         {"upload setting", "C\x06"},
        {"download setting", ""},       {"download setting", "packet"},
        {"download setting", "silent"}, {"upload setting", "C\x18\x18\x18"}};
    for (std::size_t i = 0; i < setups.size(); ++i) {
        const auto& [line, then] = setups[i];
        SCOPED_TRACE("setup " + std::to_string(i));
        DeviceConfig config;
        config.faults.noTransferStart = then == "silent";
        CoreHarness h(config);
        h.writeStoreFile("setting", patternFile(5000));
        h.startTransfer(line);
        if (then == "packet") {
            h.send(makePacket(1, patternFile(1024), true));
        } else if (then != "silent") {
            h.send(then);
        }
        const auto start = h.now();
        bool prompted = false;
        while (!prompted && h.now() - start < Millis(120000)) {
            h.send("   ");
            h.advanceBy(Millis(9));
            prompted = h.take().find(":LOGIN:\r\n") != std::string::npos;
        }
        EXPECT_LE(h.now() - start, then.ends_with("\x18") ? Millis(2100) : Millis(5000));
    }
}

}  // namespace
}  // namespace tidewell::devsim
