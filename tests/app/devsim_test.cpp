// The terminal window against tidewell-devsim: a COM number from [Ports], the
// Communication menu, the command bar, transfers from the menu.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "frame_env.h"
#include "tidewell/resources/ids.h"

namespace tidewell::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr std::uint8_t kDevicePort = 3;

class DevsimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(TIDEWELL_DEVSIM_PATH).empty()) {
            GTEST_SKIP() << "tidewell-devsim is not built";
        }
        devsim = std::make_unique<Devsim>(env.dir());
        ASSERT_TRUE(devsim->ready()) << devsim->error();
        auto store = env.store();
        ASSERT_TRUE(store.setString(kPortsSection, "COM3", devsim->link().string()));
        ASSERT_TRUE(store.setInt(kProfileSection, kCommPortKey, kDevicePort));
        frame = env.makeTerminalFrame();
        ASSERT_TRUE(frame);
    }
    std::vector<std::string> log() { return FrameEnv::logLines(*frame); }
    bool logHas(const std::string& line) {
        const auto lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    void choose(int id) {
        env.user().chooseMenu(id);
        ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    }
    // Connected, detected and logged in, in terminal mode.
    void logIn() {
        choose(res::ID_COMM_CONNECT);
        ASSERT_TRUE(frame->isConnected()) << ::testing::PrintToString(log());
        choose(res::ID_COMM_DETECT);
        ASSERT_TRUE(env.pumpUntil([&] { return logHas("Logged in."); }))
            << ::testing::PrintToString(log());
        ASSERT_TRUE(env.pumpUntil([&] { return frame->getWorkerCommand() == cmdTerminal; }));
    }

    FrameEnv env{false, EngineTiming{}};
    std::unique_ptr<Devsim> devsim;
    std::unique_ptr<CountingFrame> frame;
};

TEST_F(DevsimTest, DetectFromTheMenuDetectsAndLogsIn) {
    logIn();
    const auto lines = log();
    EXPECT_EQ(lines[0], "Success connecting to COM3 at 115200 bauds.");
    std::vector<std::string> mine;
    for (const auto& line : lines) {
        if (line == "Detecting device..." || line == "Device Detected" || line == "Logging..." ||
            line == "Logged in.") {
            mine.push_back(line);
        }
    }
    EXPECT_THAT(mine,
                ElementsAre("Detecting device...", "Device Detected", "Logging...", "Logged in."));
}

TEST_F(DevsimTest, TerminalAndSendShowTheDevicesReplyLines) {
    logIn();
    choose(res::ID_COMM_TERMINAL);
    env.user().type(frame->getCommandBar(), res::IDC_COMMAND_EDIT, "help");
    env.user().click(frame->getCommandBar(), res::IDC_SEND);
    ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    ASSERT_TRUE(env.pumpUntil([&] {
        const auto lines = log();
        const auto sent = std::find(lines.begin(), lines.end(), "CMD: help");
        return sent != lines.end() && std::any_of(sent, lines.end(), [](const std::string& l) {
                   return l.find(":OK:") != std::string::npos;
               });
    })) << ::testing::PrintToString(log());
    const auto lines = log();
    const auto sent = std::find(lines.begin(), lines.end(), "CMD: help");
    EXPECT_THAT(std::vector<std::string>(sent, lines.end()), Contains(HasSubstr("download")));
}

TEST_F(DevsimTest, UploadAndDownloadFromTheMenuMoveTheFiles) {
    std::string package(70000, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) {
        package[i] = static_cast<char>((i * 7919) % 251);
    }
    writeFile(env.dir() / "main.bin", package);
    const std::string setting = "volume=12\nbrightness=7\n";
    writeFile(devsim->store() / "setting", setting);
    logIn();

    frame->setTransferFile((env.dir() / "main.bin").string());
    choose(res::ID_COMM_UPLOAD);
    ASSERT_TRUE(env.pumpUntil([&] { return logHas("Transfer finished succesfully."); },
                              std::chrono::seconds(60)))
        << ::testing::PrintToString(log());
    // The package as sent in packets: its bytes, then the padding of the last packet.
    const std::string stored = readFile(devsim->store() / "main.exe");
    ASSERT_GE(stored.size(), package.size());
    EXPECT_LT(stored.size(), package.size() + 1024);
    EXPECT_TRUE(stored.compare(0, package.size(), package) == 0);
    EXPECT_THAT(log(), Contains(HasSubstr("RX: Transfer")));
    ASSERT_TRUE(env.pumpUntil([&] { return frame->getWorkerCommand() == cmdTerminal; }));

    frame->getLogView().SetWindowText("");
    frame->setTransferFile((env.dir() / "setting.bak").string());
    choose(res::ID_COMM_DOWNLOAD);
    ASSERT_TRUE(env.pumpUntil([&] { return logHas("Transfer finished succesfully."); },
                              std::chrono::seconds(60)))
        << ::testing::PrintToString(log());
    EXPECT_EQ(log().front(), "Downloading...");
    // The device's file as received in packets: the content, then the padding.
    const std::string received = readFile(env.dir() / "setting.bak");
    ASSERT_GE(received.size(), setting.size());
    EXPECT_TRUE(received.compare(0, setting.size(), setting) == 0) << received.size();
}

}  // namespace
}  // namespace tidewell::testing
