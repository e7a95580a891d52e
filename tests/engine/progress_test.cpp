// Progress arithmetic of the block transfer at sizes where 32-bit products wrap.
#include "progress.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files.h"
#include "rig.h"
#include "xmodem_peer.h"

namespace tidewell::testing {
namespace {

using progress::receiverPercent;
using progress::senderPercent;

TEST(Progress, SenderValuesOfSmallFiles) {
    EXPECT_EQ(senderPercent(1, 3000), 34);
    EXPECT_EQ(senderPercent(2, 3000), 68);
    EXPECT_EQ(senderPercent(3, 3000), 102);
    EXPECT_EQ(senderPercent(1, 1024), 100);
    EXPECT_EQ(senderPercent(1, 1), 102400);
}

TEST(Progress, SenderDoesNotWrapAbove42MB) {
    const std::uint64_t length = 45'000'000;  // 43946 packets; 32-bit sums wrap at 41944
    const std::uint64_t packets = (length + 1023) / 1024;
    EXPECT_EQ(senderPercent(41943, length), 95);
    EXPECT_EQ(senderPercent(41944, length), 95);
    EXPECT_EQ(senderPercent(packets, length), 100);
    const std::uint64_t huge = 6ull << 30;  // a length beyond 32 bits
    EXPECT_EQ(senderPercent(huge / 1024 / 2, huge), 50);
}

TEST(Progress, ReceiverValuesAndNoWrapAbove42MB) {
    EXPECT_EQ(receiverPercent(1024), 0);
    EXPECT_EQ(receiverPercent(2048), 1);
    EXPECT_EQ(receiverPercent(131072), 100);
    EXPECT_EQ(receiverPercent(42'949'673), 32768);  // 32-bit product would give 0
    EXPECT_EQ(receiverPercent(100ull << 20), 80000);
}

// The whole path with a 45 MB (sparse) file: the values keep rising to 100.
TEST(Progress, SenderPostsRisingValuesForA45MBFile) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "45 MB through the scripted line is too slow under a sanitizer";
#endif
    TempDir dir;
    const std::string path = dir.file("big.pkg");
    writeFile(path, "");
    std::filesystem::resize_file(path, 45'000'000);
    ScriptedRig rig;
    ReceivingDevice device(*rig.line);
    rig.line->feed("C");
    std::int32_t result = -1;
    rig.worker->onWorker([&] { result = rig.worker->sendFile(path); });
    EXPECT_EQ(result, resTransferOk);
    const auto values = rig.recorder.progress();
    ASSERT_EQ(values.size(), 43946u);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(values.back(), 100);
}

}  // namespace
}  // namespace tidewell::testing
