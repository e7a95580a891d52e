// The terminal window on real windows against tidewell-devsim: Connect, Detect
// and Terminal from the menu, a line from the command bar, Upload and Download
// from the menu, the window's screenshot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <algorithm>

#include "frame_env.h"
#include "gui_support.h"
#include "tidewell/resources/ids.h"
#include "tidewell/resources/resources.h"
#include "tidewell/ui/input.h"
#include "tidewell/ui/wx/testing.h"
#include "tidewell/ui/wx/wx_platform.h"

namespace tidewell::appgui {
namespace {

using namespace std::chrono_literals;
using gui::haveDisplay;
using gui::saveScreenshot;
using gui::Script;
using testing::Devsim;
using testing::FrameEnv;
using ::testing::IsEmpty;
using testing::TempDir;

int countLines(CMainFrame& frame, const std::string& wanted) {
    const auto lines = FrameEnv::logLines(frame);
    return static_cast<int>(std::count(lines.begin(), lines.end(), wanted));
}

bool replyFollows(CMainFrame& frame, const std::string& sent) {
    const auto lines = FrameEnv::logLines(frame);
    const auto at = std::find(lines.begin(), lines.end(), sent);
    return at != lines.end() && std::any_of(at, lines.end(), [](const std::string& line) {
               return line.find(":OK:") != std::string::npos;
           });
}

TEST(TerminalWindowTest, AgainstTheSimulatedDeviceFromTheMenuAndTheCommandBar) {
    if (!haveDisplay()) {
        GTEST_SKIP() << "no display: GUI tests need an X server (scripts/test runs the suite "
                        "under xvfb-run)";
    }
    TempDir dir;
    Devsim devsim(dir.path());
    ASSERT_TRUE(devsim.ready()) << devsim.error();
    const std::string setting = "volume=12\nbrightness=7\n";
    testing::writeFile(devsim.store() / "setting", setting);
    const std::string package(50000, 'P');
    testing::writeFile(dir.path() / "main.bin", package);
    SettingsStore settings(dir.path() / "tidewell.ini");
    ASSERT_TRUE(settings.setString(kPortsSection, "COM3", devsim.link().string()));
    ASSERT_TRUE(settings.setInt(kProfileSection, kCommPortKey, 3));
    const auto backups = dir.path() / "backups";
    std::filesystem::create_directories(backups);
    ASSERT_TRUE(settings.setString(kProfileSection, kSettingPathKey, backups.string()));

    auto platform = ui::makeWxPlatform(res::tidewellResources());
    // No pages: the wizard stops at once and the terminal window stays.
    CTidewellApp app(AppEnvironment{settings, {}, {}, {}});
    app.setShowTerminal(true);
    CMainFrame* frame = nullptr;
    auto menu = [&](int id) { ui::input::menuCommand(*frame, id); };
    Script script([&] {
        if (frame != nullptr && frame->IsWindow()) {
            frame->DestroyWindow();
        }
    });
    script
        .when("the terminal window shows",
              [&] {
                  frame = dynamic_cast<CMainFrame*>(app.GetMainWnd());
                  return frame != nullptr && frame->IsWindowVisible() &&
                         ui::wxtest::nativeWindow(*frame) != nullptr &&
                         ui::wxtest::nativeWindow(*frame)->IsShownOnScreen();
              })
        .then("Connect", [&] { menu(res::ID_COMM_CONNECT); })
        .when("connected", [&] { return frame->isConnected(); })
        .then("Detect", [&] { menu(res::ID_COMM_DETECT); })
        .when("logged in",
              [&] {
                  return countLines(*frame, "Logged in.") == 1 &&
                         frame->getWorkerCommand() == cmdTerminal;
              })
        .then("Terminal", [&] { menu(res::ID_COMM_TERMINAL); })
        .then("send help",
              [&] {
                  ui::input::typeText(frame->getCommandBar(), res::IDC_COMMAND_EDIT, "help");
                  ui::input::click(frame->getCommandBar(), res::IDC_SEND);
              })
        .when("the device's reply", [&] { return replyFollows(*frame, "CMD: help"); })
        .then("screenshot", [&] { EXPECT_TRUE(saveScreenshot(*frame, "app-terminal")); })
        .then("Upload",
              [&] {
                  const std::string chosen = (dir.path() / "main.bin").string();
                  ui::wxtest::answerNextFileDialog(chosen);
                  wxTEST_DIALOG(menu(res::ID_COMM_UPLOAD),
                                wxExpectModal<wxMessageDialog>(wxID_YES));
              })
        .when(
            "uploaded",
            [&] {
                return countLines(*frame, "Transfer finished succesfully.") == 1 &&
                       frame->getWorkerCommand() == cmdTerminal;
            },
            [] {}, 60s)
        .then("Download",
              [&] {
                  const std::string chosen = (backups / "setting_1.bak").string();
                  ui::wxtest::answerNextFileDialog(chosen);
                  menu(res::ID_COMM_DOWNLOAD);
              })
        .when(
            "downloaded", [&] { return countLines(*frame, "Transfer finished succesfully.") == 2; },
            [] {}, 60s)
        .then("File > Exit", [&] { menu(ui::ID_APP_EXIT); });
    script.start();
    EXPECT_EQ(app.Run(*platform), 0);
    EXPECT_THAT(script.failures(), IsEmpty());

    const std::string stored = testing::readFile(devsim.store() / "main.exe");
    EXPECT_GE(stored.size(), package.size());
    EXPECT_TRUE(stored.compare(0, package.size(), package) == 0);
    const std::string received = testing::readFile(backups / "setting_1.bak");
    EXPECT_TRUE(std::filesystem::exists(backups / "setting_1.bak.json"));
    EXPECT_TRUE(received.compare(0, setting.size(), setting) == 0) << received.size();
}

}  // namespace
}  // namespace tidewell::appgui
