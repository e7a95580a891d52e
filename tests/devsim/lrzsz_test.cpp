// Byte-exact transfers between tidewell-devsim and lrzsz over a pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>

#include <fstream>
#include <iterator>

#include "core_harness.h"
#include "process.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::devsim {
namespace {

namespace fs = std::filesystem;
using testing::DevsimProcess;
using testing::HostPort;
using testing::Millis;
using testing::patternFile;
using testing::runTool;
using testing::toolAvailable;
using testsupport::TempDir;

constexpr std::uint8_t kLrzszPad = 0x1A;
constexpr Millis kToolLimit{60000};

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& data) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>());
}

// received is sent followed by padding only, less than one packet of it.
void expectPaddedCopy(const std::vector<std::uint8_t>& received,
                      const std::vector<std::uint8_t>& sent, std::size_t packet) {
    ASSERT_GE(received.size(), sent.size());
    EXPECT_LT(received.size() - sent.size(), packet);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), received.begin())) << "contents differ";
    for (std::size_t i = sent.size(); i < received.size(); ++i) {
        ASSERT_EQ(received[i], kLrzszPad) << "padding byte " << i;
    }
}

bool haveLrzsz() {
    return toolAvailable("sx") && toolAvailable("rx");
}

// The host sends a transfer line and reads the ":OK:" byte by byte, so the
// bytes behind it stay in the terminal for lrzsz.
void requestTransfer(HostPort& port, const std::string& line) {
    ASSERT_TRUE(port.logIn());
    port.write(line + "\r");
    EXPECT_EQ(port.readLine(Millis(5000)), ":OK:");
}

struct Case {
    std::size_t size;
    bool lrzszInside;  // --transfer lrzsz: lrzsz on both ends of the line
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return std::to_string(info.param.size) + (info.param.lrzszInside ? "_lrzsz" : "_builtin");
}

class DevsimWithLrzsz : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        if (!haveLrzsz()) GTEST_SKIP() << "lrzsz (sx, rx) is not installed";
    }
    std::vector<std::string> modeArgs() const {
        if (!GetParam().lrzszInside) return {};
        return {"--transfer", "lrzsz"};
    }
};

TEST_P(DevsimWithLrzsz, DeviceReceivesFromSx) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), modeArgs());
    const auto file = patternFile(GetParam().size);
    writeFile(dir.path() / "image.pkg", file);
    HostPort port(devsim.link());
    requestTransfer(port, "download flashimage");
    EXPECT_EQ(runTool({"sx", "-k", "-b", "-q", "image.pkg"}, port.fd(), dir.path(), kToolLimit), 0);
    // sx may swallow the final reply on its way out: the log shows it was sent.
    ASSERT_TRUE(devsim.waitForLog("transfer ended: succeeded", Millis(10000)));
    ASSERT_TRUE(devsim.waitForLog("tx line \":OK:\"", Millis(10000), 3));
    expectPaddedCopy(readFile(devsim.store() / "flashimage"), file, 1024);
    // The line is free again.
    ::tcflush(port.fd(), TCIFLUSH);
    port.write("ls\r");
    EXPECT_TRUE(port.readUntil(":OK:\r\n", Millis(5000)));
    EXPECT_EQ(devsim.stop(SIGTERM), 0);
}

TEST_P(DevsimWithLrzsz, DeviceSendsToRx) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), modeArgs());
    const auto file = patternFile(GetParam().size, 11);
    fs::create_directories(devsim.store());
    writeFile(devsim.store() / "setting", file);
    const fs::path backups = dir.path() / "backups";
    fs::create_directories(backups);
    HostPort port(devsim.link());
    requestTransfer(port, "upload setting");
    EXPECT_EQ(runTool({"rx", "-c", "-b", "-q", "setting.bak"}, port.fd(), backups, kToolLimit), 0);
    EXPECT_EQ(port.readLine(Millis(10000)), ":OK:") << devsim.logText();
    const auto received = readFile(backups / "setting.bak");
    expectPaddedCopy(received, file, 1024);
    if (!GetParam().lrzszInside) {
        EXPECT_EQ(received.size() % 1024, 0u);
    }
    EXPECT_EQ(devsim.stop(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Builtin, DevsimWithLrzsz,
                         ::testing::Values(Case{0, false}, Case{1, false}, Case{1023, false},
                                           Case{1024, false}, Case{1025, false}, Case{3000, false},
                                           Case{300000, false}),
                         caseName);
INSTANTIATE_TEST_SUITE_P(HandedToLrzsz, DevsimWithLrzsz,
                         ::testing::Values(Case{1025, true}, Case{300000, true}), caseName);

TEST(DevsimLrzszMode, AFailedTransferEndsWithErrorAndStoresNothing) {
    if (!haveLrzsz()) GTEST_SKIP() << "lrzsz (sx, rx) is not installed";
    TempDir dir;
    DevsimProcess devsim(dir.path(), {"--transfer", "lrzsz"});
    HostPort port(devsim.link());
    requestTransfer(port, "download flashimage");
    ASSERT_TRUE(port.readUntil("C", Millis(10000)));  // rx asks for the file
    port.write(std::string(8, '\x18'));               // the host cancels instead
    EXPECT_TRUE(port.readUntil(":ERROR:\r\n", Millis(15000)));
    EXPECT_TRUE(devsim.waitForLog("lrzsz ended: exit status", Millis(1000)));
    EXPECT_TRUE(fs::is_empty(devsim.store()));  // no file, no scratch folder
}

TEST(DevsimWithLrzszThrottled, AThrottledLineStillCarriesTheFileExactly) {
    if (!haveLrzsz()) GTEST_SKIP() << "lrzsz (sx, rx) is not installed";
    TempDir dir;
    DevsimProcess devsim(dir.path(), {"--baud", "230400", "--throttle-input"});
    const auto file = patternFile(5000, 5);
    fs::create_directories(devsim.store());
    writeFile(devsim.store() / "playlist", file);
    HostPort port(devsim.link());
    requestTransfer(port, "upload playlist");
    EXPECT_EQ(runTool({"rx", "-c", "-b", "-q", "playlist.bak"}, port.fd(), dir.path(), kToolLimit),
              0);
    EXPECT_EQ(port.readLine(Millis(10000)), ":OK:");
    expectPaddedCopy(readFile(dir.path() / "playlist.bak"), file, 1024);
}

}  // namespace
}  // namespace tidewell::devsim
