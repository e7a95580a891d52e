// Garbage from the host never crashes the device nor writes outside the store.
#include <gtest/gtest.h>

#include <random>

#include "host_xmodem.h"

namespace tidewell::devsim {
namespace {

namespace fs = std::filesystem;
using testing::CoreHarness;
using testing::Millis;

std::vector<std::uint8_t> randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// Feeds bytes in chunks of random size, letting simulated time pass between them.
void feed(CoreHarness& h, const std::vector<std::uint8_t>& bytes, std::uint32_t seed) {
    std::mt19937 random(seed);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t chunk = std::min<std::size_t>(1 + random() % 2048, bytes.size() - at);
        h.send(std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(at),
                                         bytes.begin() + static_cast<long>(at + chunk)));
        at += chunk;
        h.advanceBy(Millis(random() % 300));
        h.take();
    }
}

// Only the store is in the store's parent folder, and the store holds only
// files with valid names.
void expectNothingOutside(const CoreHarness& h) {
    for (const auto& item : fs::directory_iterator(h.outside())) {
        EXPECT_EQ(item.path().filename(), "store");
    }
    for (const auto& item : fs::recursive_directory_iterator(h.storeDir())) {
        EXPECT_TRUE(item.is_regular_file()) << item.path();
        EXPECT_TRUE(Store::validName(item.path().filename().string())) << item.path();
    }
}

// Afterwards the device still answers: it may be in a transfer, so give it
// time to give up, then wake it up and log in.
void expectStillAnswering(CoreHarness& h) {
    h.send("\x18\x18");
    h.advanceBy(Millis(120000));
    h.take();
    h.send("\r");
    h.advanceBy(Millis(500));
    h.send("   ");
    EXPECT_TRUE(h.waitForText(":LOGIN:\r\n", Millis(1000)));
}

TEST(DevsimGarbage, RandomBytesInEveryState) {
    const std::vector<std::string> setups = {"", "login", "download flashimage", "upload setting"};
    std::uint32_t seed = 1;
    for (const auto& setup : setups) {
        CoreHarness h;
        h.writeStoreFile("setting", testing::patternFile(5000));
        if (!setup.empty()) h.logIn();
        if (setup != "login" && !setup.empty()) h.send(setup + "\r");
        feed(h, randomBytes(1 << 20, seed), seed);
        ++seed;
        expectNothingOutside(h);
        expectStillAnswering(h);
    }
}

TEST(DevsimGarbage, NulBytesAndAMegabyteCommandLine) {
    CoreHarness h;
    h.logIn();
    h.send(std::vector<std::uint8_t>(4096, 0));
    h.send("ls\r");
    EXPECT_EQ(h.take(), ":OK:\r\n");  // NUL bytes are dropped from lines

    std::vector<std::uint8_t> line(1 << 20, 'a');
    line.push_back('\r');
    h.send(line);
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
    EXPECT_TRUE(h.logHas("rx line too long, discarded"));

    std::string download = "download ";
    download += std::string(1 << 20, 'x');
    download += '\r';
    h.send(download);
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
    h.send("ls\r");
    EXPECT_EQ(h.take(), ":OK:\r\n");
    expectNothingOutside(h);
}

TEST(DevsimGarbage, RandomPacketsDuringADownloadWriteNothingOutside) {
    CoreHarness h;
    h.logIn();
    h.send("download flashimage\r");
    h.take();
    std::mt19937 random(99);
    for (int i = 0; i < 200; ++i) {
        auto packet = testing::makePacket(static_cast<std::uint8_t>(random()),
                                          testing::patternFile(1024, i), random() % 2 == 0);
        packet[random() % packet.size()] = static_cast<std::uint8_t>(random());
        h.send(packet);
        h.advanceBy(Millis(random() % 2000));
    }
    expectNothingOutside(h);
    expectStillAnswering(h);
}

}  // namespace
}  // namespace tidewell::devsim
