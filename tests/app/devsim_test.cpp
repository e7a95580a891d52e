// The terminal window against tidewell-devsim: a COM number from [Ports], the
// Communication menu, the command bar, transfers from the menu.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "frame_env.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/resources/ids.h"

namespace tidewell::testing {
namespace {

using ::testing::AllOf;
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

    // The connection's trace, saved while the terminal loop runs: all of it so far.
    const auto trace = frame->getTracePath();
    EXPECT_EQ(trace.parent_path(), env.dir() / "traces");
    const auto saved = env.dir() / "saved.txt";
    env.user().chooseMenu(res::ID_COMM_SAVE_TRACE).answerFileDialog(saved.string());
    ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    EXPECT_THAT(readFile(saved), AllOf(HasSubstr(":LOGIN:"), HasSubstr("* line \"help\"")));
    const std::string day = trace.filename().string().substr(0, 10);
    EXPECT_EQ(env.platform().fileDialogs().back().request.initialName,
              "tidewell-trace-" + day + "-COM3.txt");
}

// The file used last (a package, a backup) is never what Upload sends: the user
// picks the file and confirms sending it under the device's program name.
TEST_F(DevsimTest, UploadAsksForTheFileAndSendsItOnlyOnceConfirmed) {
    std::string package(70000, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) {
        package[i] = static_cast<char>((i * 7919) % 251);
    }
    const auto chosen = env.dir() / "main.bin";
    writeFile(chosen, package);
    writeFile(env.dir() / "fw300.pkg", "the package of the last update");
    logIn();
    frame->setTransferFile((env.dir() / "fw300.pkg").string());
    const std::string question = "send " + chosen.string() + " to the device as main.exe?";

    env.user()
        .chooseMenu(res::ID_COMM_UPLOAD)
        .answerFileDialog(chosen.string())
        .answerMessageBox(ui::IDNO, question);
    ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    EXPECT_EQ(frame->getWorkerCommand(), cmdTerminal);
    EXPECT_FALSE(std::filesystem::exists(devsim->store() / "main.exe"));
    ASSERT_EQ(env.platform().fileDialogs().size(), 1u);
    EXPECT_TRUE(env.platform().fileDialogs()[0].request.open);

    env.user()
        .chooseMenu(res::ID_COMM_UPLOAD)
        .answerFileDialog(chosen.string())
        .answerMessageBox(ui::IDYES, question);
    ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    ASSERT_TRUE(env.pumpUntil([&] { return logHas("Transfer finished succesfully."); },
                              std::chrono::seconds(60)))
        << ::testing::PrintToString(log());
    // The file as sent in packets: its bytes, then the padding of the last packet.
    const std::string stored = readFile(devsim->store() / "main.exe");
    ASSERT_GE(stored.size(), package.size());
    EXPECT_LT(stored.size(), package.size() + 1024);
    EXPECT_TRUE(stored.compare(0, package.size(), package) == 0);
}

// Download proposes a new numbered backup; a file is replaced only when the user
// chose that very file, and each file it keeps gets its record.
TEST_F(DevsimTest, DownloadSavesWhereTheUserSaysWithARecordAndNothingElse) {
    const auto backups = env.dir() / "backups";
    std::filesystem::create_directories(backups);
    env.app().setSettingPath(backups.string());
    const std::string setting = "volume=12\nbrightness=7\n";
    writeFile(devsim->store() / "setting", setting);
    writeFile(backups / "setting.bak", "the backup restored last");
    logIn();
    frame->setTransferFile((backups / "setting.bak").string());
    auto download = [&](const std::filesystem::path& answer, int finished) {
        env.user().chooseMenu(res::ID_COMM_DOWNLOAD).answerFileDialog(answer.string());
        ASSERT_TRUE(env.platform().runScript()) << env.user().report();
        ASSERT_TRUE(env.pumpUntil(
            [&] {
                const auto lines = log();
                return std::count(lines.begin(), lines.end(), "Transfer finished succesfully.") ==
                           finished &&
                       frame->getWorkerCommand() == cmdTerminal;
            },
            std::chrono::seconds(60)))
            << ::testing::PrintToString(log());
    };
    auto holdsSetting = [&](const std::filesystem::path& file) {
        const RecordCheck check = checkBackup(file);
        EXPECT_TRUE(check.ok()) << file << ": " << check.detail;
        EXPECT_EQ(check.record ? check.record->origin.deviceFile : "", "setting");
        EXPECT_EQ(readFile(file).substr(0, setting.size()), setting) << file;
    };

    download(backups / "setting_1.bak", 1);
    const auto& asked = env.platform().fileDialogs().at(0).request;
    EXPECT_FALSE(asked.open);
    EXPECT_EQ(asked.initialFolder, backups.string());
    EXPECT_EQ(asked.initialName, "setting_1.bak");
    EXPECT_EQ(readFile(backups / "setting.bak"), "the backup restored last");
    holdsSetting(backups / "setting_1.bak");

    // Chosen in the save dialog, which asked before it gave an existing file.
    download(backups / "setting.bak", 2);
    holdsSetting(backups / "setting.bak");
    EXPECT_THAT(log(), Contains("Saved as " + (backups / "setting.bak").string() + "."));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(backups)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre("setting.bak", "setting.bak.json", "setting_1.bak",
                                   "setting_1.bak.json"));
}

}  // namespace
}  // namespace tidewell::testing
