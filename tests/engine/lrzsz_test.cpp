// sendFile and receiveFile over a pseudo-terminal against lrzsz, an independent XMODEM.
#include <gtest/gtest.h>

#include "files.h"
#include "process.h"
#include "rig.h"
#include "tidewell/serial/backend.h"
#include "xmodem_peer.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

class Lrzsz : public ::testing::TestWithParam<std::size_t> {
  protected:
    void SetUp() override {
        if (findProgram("sx").empty() || findProgram("rx").empty()) {
            GTEST_SKIP() << "lrzsz (sx, rx) is not installed";
        }
        const std::string path = bridge.nearPath();
        SerialPlatform platform{[] { return makeTermiosBackend(); },
                                [path](std::uint8_t) { return path; }};
        portOwner = createSerialPort(1, 115200, platform);
        ASSERT_NE(portOwner, nullptr);
        port = portOwner.get();
        worker = std::make_unique<ProbeWorker>(port, cmdIdle);
        recorder.attachTo(*worker);
        worker->start(true);
        content = patternBytes(GetParam(), static_cast<unsigned>(GetParam()));
    }
    void TearDown() override {
        worker.reset();
        portOwner.reset();
    }

    PtyBridge bridge;
    TempDir dir;
    std::unique_ptr<TSerie> portOwner;
    TSerie* port = nullptr;
    Recorder recorder;
    std::unique_ptr<ProbeWorker> worker;
    std::string content;
};

TEST_P(Lrzsz, SendFileIntoRx) {
    const std::string local = dir.file("fw.pkg");
    const std::string target = dir.file("received");
    writeFile(local, content);
    // rx refuses paths with a folder in them: it writes into its working folder.
    ChildProcess rx({"rx", "-c", "-b", "received"}, bridge.peerInput(), bridge.peerOutput(), false,
                    dir.path().string());
    std::int32_t result = -1;
    worker->onWorker([&] { result = worker->sendFile(local); });
    EXPECT_EQ(result, resTransferOk);
    EXPECT_EQ(rx.wait(10s).value_or(-1), 0);
    std::string expected = content;
    expected.resize((content.size() + 1023) / 1024 * 1024, '\0');
    EXPECT_EQ(readFile(target), expected);
}

TEST_P(Lrzsz, ReceiveFileFromSx) {
    const std::string local = dir.file("setting");
    const std::string target = dir.file("setting.bak");
    writeFile(local, content);
    ChildProcess sx({"sx", "-k", "-b", local}, bridge.peerInput(), bridge.peerOutput());
    std::int32_t result = -1;
    worker->onWorker([&] { result = worker->receiveFile(target); });
    EXPECT_EQ(result, resTransferOk);
    EXPECT_EQ(sx.wait(10s).value_or(-1), 0);
    const std::string got = readFile(target);
    // sx pads its last block, 1024 or 128 bytes long, with 0x1A.
    ASSERT_GE(got.size(), content.size());
    EXPECT_LT(got.size() - content.size(), 1024u);
    EXPECT_EQ(got.substr(0, content.size()), content);
    EXPECT_EQ(got.find_first_not_of('\x1A', content.size()), std::string::npos);
}

// 4396 ends in 128-byte blocks from sx; 3000 ends in a padded 1024-byte block.
INSTANTIATE_TEST_SUITE_P(Sizes, Lrzsz, ::testing::Values(1u, 3000u, 4396u, 70000u));

}  // namespace
}  // namespace tidewell::testing
