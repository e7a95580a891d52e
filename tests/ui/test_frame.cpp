// Frames: menu, update-UI rules, bars, accelerators, the log view, the application loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tidewell/resources/resources.h"
#include "tidewell/ui/app.h"
#include "tidewell/ui/frame.h"
#include "tidewell/ui/headless/headless.h"
#include "tidewell/ui/input.h"
#include "tidewell/ui/text.h"

namespace tidewell::ui {
namespace {

using namespace std::chrono_literals;
using headless::HeadlessPlatform;

constexpr int kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM,
                               ID_INDICATOR_SCRL};
constexpr UINT WM_GOODBYE = WM_USER + 2;

// A frame shaped like the terminal window: log, tool bar, status bar, command bar,
// a connection flag with check-mark rules and a port range.
class TerminalFrame : public FrameWindow {
  public:
    explicit TerminalFrame(Platform& platform, bool failCreation = false)
        : FrameWindow(platform), failCreation_(failCreation) {
        mapCommand(res::ID_COMM_CONNECT, [this] { connected = true; });
        mapUpdateCommandUI(res::ID_COMM_CONNECT,
                           [this](CmdUI& ui) { ui.SetCheck(connected ? 1 : 0); });
        mapCommand(res::ID_COMM_DISCONNECT, [this] { connected = false; });
        mapUpdateCommandUI(res::ID_COMM_DISCONNECT,
                           [this](CmdUI& ui) { ui.SetCheck(connected ? 0 : 1); });
        mapCommandRange(res::ID_COMM_PORT_FIRST, res::ID_COMM_PORT_LAST,
                        [this](int id) { port = id - res::ID_COMM_PORT_FIRST + 1; });
        mapUpdateCommandUIRange(res::ID_COMM_PORT_FIRST, res::ID_COMM_PORT_LAST, [this](CmdUI& ui) {
            ui.Enable(true);
            ui.SetCheck(ui.m_nID - res::ID_COMM_PORT_FIRST + 1 == port ? 1 : 0);
        });
        mapCommand(res::ID_COMM_WIZARD, [this] { ++wizardRuns; });
        mapCommand(res::IDC_SEND, [this] {
            sent.push_back(commandBar.GetDlgItem(res::IDC_COMMAND_EDIT).GetWindowText());
        });
        mapMessage(WM_GOODBYE, [this](WPARAM, LPARAM) {
            DestroyWindow();
            return 0;
        });
    }

    bool connected = false;
    int port = 2;
    int wizardRuns = 0;
    std::vector<std::string> sent;
    LogView log;
    ToolBar toolBar;
    StatusBar statusBar;
    DialogBar commandBar;

  protected:
    int OnCreate() override {
        if (failCreation_) {
            return -1;
        }
        if (!log.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                            ES_WANTRETURN | ES_READONLY,
                        this) ||
            !toolBar.CreateEx(this) || !toolBar.LoadToolBar(res::IDR_MAINFRAME) ||
            !statusBar.Create(this) || !statusBar.SetIndicators(kIndicators) ||
            !commandBar.Create(this, res::IDD_COMMAND_BAR, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                               res::IDW_COMMAND_BAR)) {
            return -1;
        }
        return 0;
    }

  private:
    bool failCreation_;
};

class FrameTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME)); }

    bool enabled(int id) { return frame.QueryCommandUI(id).enabled(); }
    std::optional<int> check(int id) { return frame.QueryCommandUI(id).check(); }

    HeadlessPlatform ui{res::tidewellResources()};
    headless::ScriptedUser& user = ui.user();
    TerminalFrame frame{ui};
};

TEST_F(FrameTest, LoadsTitleMenuAcceleratorsAndIconAndStaysHidden) {
    EXPECT_EQ(frame.GetWindowText(), "Tidewell");
    ASSERT_NE(frame.GetMenu(), nullptr);
    EXPECT_EQ(frame.GetMenu()->GetMenuString(res::ID_COMM_WIZARD), "&Wizard...");
    ASSERT_NE(frame.accelerators(), nullptr);
    EXPECT_EQ(frame.GetIcon(true), res::IDR_MAINFRAME);
    EXPECT_FALSE(frame.IsWindowVisible());
    EXPECT_EQ(frame.logView(), &frame.log);
    EXPECT_EQ(frame.controlBars().size(), 3u);
    EXPECT_EQ(frame.GetControlBar(res::IDW_COMMAND_BAR), &frame.commandBar);
}

TEST(FrameCreation, FailsAndDestroysTheWindowWhenOnCreateFails) {
    HeadlessPlatform ui(res::tidewellResources());
    TerminalFrame frame(ui, true);
    EXPECT_FALSE(frame.LoadFrame(res::IDR_MAINFRAME));
    EXPECT_FALSE(frame.IsWindow());
}

TEST_F(FrameTest, CommandsWithoutHandlerOrRuleShowDisabled) {
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_EDIT_COPY, ID_APP_ABOUT, ID_FILE_PRINT,
                   res::ID_VIEW_COMMAND_BAR, res::ID_COMM_UPLOAD}) {
        EXPECT_FALSE(enabled(id)) << id;
    }
    EXPECT_TRUE(enabled(res::ID_COMM_WIZARD));
    EXPECT_TRUE(enabled(ID_APP_EXIT));
    frame.UpdateCommandUI();
    EXPECT_NE(frame.GetMenu()->GetMenuState(ID_FILE_NEW) & MF_GRAYED, 0u);
    EXPECT_EQ(frame.GetMenu()->GetMenuState(res::ID_COMM_WIZARD) & MF_GRAYED, 0u);
    const ToolBar::Button* copy = frame.toolBar.findButton(ID_EDIT_COPY);
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->enabled);
}

TEST_F(FrameTest, UpdateRulesSetCheckMarksBeforeTheMenuShows) {
    EXPECT_EQ(check(res::ID_COMM_CONNECT), 0);
    EXPECT_EQ(check(res::ID_COMM_DISCONNECT), 1);
    EXPECT_TRUE(enabled(res::ID_COMM_CONNECT));
    frame.connected = true;
    frame.UpdateCommandUI();
    EXPECT_NE(frame.GetMenu()->GetMenuState(res::ID_COMM_CONNECT) & MF_CHECKED, 0u);
    EXPECT_EQ(frame.GetMenu()->GetMenuState(res::ID_COMM_DISCONNECT) & MF_CHECKED, 0u);

    int checkedPorts = 0;
    for (int id = res::ID_COMM_PORT_FIRST; id <= res::ID_COMM_PORT_LAST; ++id) {
        checkedPorts += (frame.GetMenu()->GetMenuState(id) & MF_CHECKED) != 0 ? 1 : 0;
    }
    EXPECT_EQ(checkedPorts, 1);
    EXPECT_NE(frame.GetMenu()->GetMenuState(res::ID_COMM_PORT_FIRST + 1) & MF_CHECKED, 0u);
    frame.port = 40;
    frame.UpdateCommandUI();
    EXPECT_EQ(frame.GetMenu()->GetMenuState(res::ID_COMM_PORT_FIRST + 1) & MF_CHECKED, 0u);
}

TEST_F(FrameTest, TheUserChoosesMenuItemsThroughTheRules) {
    user.chooseMenu(res::ID_COMM_CONNECT)
        .chooseMenu(res::ID_COMM_PORT_FIRST + 6)
        .chooseMenu(res::ID_COMM_WIZARD)
        .chooseMenu(ID_FILE_NEW);
    EXPECT_FALSE(ui.runScript());
    EXPECT_TRUE(frame.connected);
    EXPECT_EQ(frame.port, 7);
    EXPECT_EQ(frame.wizardRuns, 1);
    EXPECT_THAT(user.report(), testing::HasSubstr("choose command 57600: disabled"));
}

TEST_F(FrameTest, ToolBarAndStatusBarToggleFromTheViewMenu) {
    EXPECT_EQ(check(ID_VIEW_TOOLBAR), 1);
    user.chooseMenu(ID_VIEW_TOOLBAR).chooseMenu(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(ui.runScript()) << user.report();
    EXPECT_FALSE(frame.toolBar.IsWindowVisible());
    EXPECT_FALSE(frame.statusBar.IsWindowVisible());
    EXPECT_EQ(check(ID_VIEW_TOOLBAR), 0);
    EXPECT_EQ(check(ID_VIEW_STATUS_BAR), 0);
    // The menu item brings the bar back.
    user.chooseMenu(ID_VIEW_TOOLBAR);
    EXPECT_TRUE(ui.runScript());
    EXPECT_TRUE(frame.toolBar.IsWindowVisible());
    EXPECT_EQ(check(ID_VIEW_TOOLBAR), 1);
}

TEST_F(FrameTest, AcceleratorsRunEnabledCommandsOnly) {
    EXPECT_EQ(input::accelerator(frame, {'N', true}), input::Result::Disabled);
    EXPECT_EQ(input::accelerator(frame, {'Q', true}), input::Result::NoControl);
    int nextPane = 0;
    frame.mapCommand(ID_NEXT_PANE, [&nextPane] { ++nextPane; });
    user.pressKey({VK_F6});
    EXPECT_TRUE(ui.runScript()) << user.report();
    EXPECT_EQ(nextPane, 1);
    EXPECT_FALSE(frame.TranslateAccelerator({VK_F6, false, true}));  // Shift+F6: no handler
    EXPECT_EQ(nextPane, 1);
}

TEST_F(FrameTest, DialogBarButtonsRouteToTheFrameAndFollowItsRules) {
    user.type(frame.commandBar, res::IDC_COMMAND_EDIT, "help")
        .click(frame.commandBar, res::IDC_SEND)
        .click(frame.commandBar, res::IDC_SEND);
    EXPECT_TRUE(ui.runScript()) << user.report();
    EXPECT_EQ(frame.sent, (std::vector<std::string>{"help", "help"}));

    frame.mapUpdateCommandUI(res::IDC_SEND, [](CmdUI& ui) { ui.Enable(false); });
    frame.UpdateCommandUI();
    EXPECT_FALSE(frame.commandBar.GetDlgItem(res::IDC_SEND).IsWindowEnabled());
    EXPECT_TRUE(frame.commandBar.GetDlgItem(res::IDC_COMMAND_EDIT).IsWindowEnabled());
    EXPECT_EQ(input::click(frame.commandBar, res::IDC_SEND), input::Result::Disabled);
    EXPECT_EQ(frame.sent.size(), 2u);
}

TEST_F(FrameTest, StatusIndicatorsFollowTheLockKeys) {
    EXPECT_EQ(frame.statusBar.GetCount(), 4);
    EXPECT_EQ(frame.statusBar.CommandToIndex(ID_INDICATOR_NUM), 2);
    EXPECT_EQ(frame.statusBar.GetPaneText(1), "");
    ui.setKeyToggled(ID_INDICATOR_CAPS, true);
    frame.statusBar.updateIndicators();
    EXPECT_EQ(frame.statusBar.GetPaneText(1), "CAP");
    EXPECT_EQ(frame.statusBar.GetPaneText(2), "");
    EXPECT_TRUE(frame.statusBar.SetPaneText(0, "Ready"));
    EXPECT_EQ(frame.statusBar.GetPaneText(0), "Ready");
    EXPECT_FALSE(frame.statusBar.SetPaneText(9, "x"));
}

// Counts what a log view hands its on-screen peer.
class CountingPeer : public WindowPeer {
  public:
    void textAppended(std::string_view piece) override {
        ++appends;
        lastPiece = piece.size();
        charactersMoved += piece.size();
    }
    void textReplaced() override { ++replacements; }
    std::size_t appends = 0;
    std::size_t replacements = 0;
    std::size_t lastPiece = 0;
    std::size_t charactersMoved = 0;
};

TEST_F(FrameTest, AppendingALogLineHandsOnlyThatLineToTheScreen) {
    auto peer = std::make_unique<CountingPeer>();
    CountingPeer& counts = *peer;
    frame.log.setPeer(std::move(peer));
    const std::string line = "RX: Transfer 42 % completed.";
    constexpr std::size_t kLines = 20000;
    for (std::size_t i = 0; i < kLines; ++i) {
        frame.log.AppendLine(line);
    }
    EXPECT_EQ(counts.appends, kLines);
    EXPECT_EQ(counts.replacements, 0u);
    EXPECT_EQ(counts.lastPiece, line.size() + 2);
    // Work on screen grows with the lines appended, not with the log's length squared.
    EXPECT_EQ(counts.charactersMoved, kLines * (line.size() + 2));
    EXPECT_EQ(frame.log.GetWindowText().size(), kLines * (line.size() + 2));
    EXPECT_EQ(frame.log.GetLineCount(), static_cast<int>(kLines) + 1);
    EXPECT_TRUE(frame.log.GetWindowText().ends_with(line + "\r\n"));
    EXPECT_TRUE(frame.log.IsReadOnly());

    frame.log.SetWindowText("fresh");
    EXPECT_EQ(counts.replacements, 1u);
    EXPECT_EQ(frame.log.GetLineCount(), 1);
}

TEST_F(FrameTest, TheFrameTakesNoMenuCommandWhileADialogIsModal) {
    Dialog about(res::IDD_ABOUTBOX, &frame);
    user.chooseMenu(res::ID_COMM_WIZARD);
    EXPECT_EQ(about.DoModal(), kDialogFailed);
    EXPECT_THAT(user.report(), testing::HasSubstr("dialog 100 is open"));
    EXPECT_EQ(frame.wizardRuns, 0);
}

class TestApp : public WinApp {
  public:
    enum class Plan { PostGoodbye, Fail, DestroyDuringCreation, KeepRunning };
    explicit TestApp(Plan plan) : plan_(plan) {}
    int exitSeen = -99;

    bool InitInstance() override {
        if (plan_ == Plan::Fail) {
            return false;
        }
        auto frame = std::make_unique<TerminalFrame>(GetPlatform());
        if (!frame->LoadFrame(res::IDR_MAINFRAME)) {
            return false;
        }
        if (plan_ == Plan::PostGoodbye) {
            frame->PostMessage(WM_GOODBYE);
        } else if (plan_ == Plan::DestroyDuringCreation) {
            frame->DestroyWindow();
        }
        SetMainWnd(std::move(frame));
        return true;
    }
    int ExitInstance(int code) override {
        exitSeen = code;
        return code;
    }

  private:
    Plan plan_;
};

TEST(Application, TheLoopEndsWithZeroWhenTheMainWindowIsDestroyed) {
    HeadlessPlatform ui(res::tidewellResources());
    TestApp app(TestApp::Plan::PostGoodbye);
    EXPECT_EQ(app.Run(ui), 0);
    EXPECT_EQ(app.exitSeen, 0);
    EXPECT_EQ(app.GetMainWnd(), nullptr);
    EXPECT_FALSE(ui.loopStalled());
}

TEST(Application, AFailedInitInstanceEndsWithOneAndNoLoop) {
    HeadlessPlatform ui(res::tidewellResources());
    TestApp app(TestApp::Plan::Fail);
    EXPECT_EQ(app.Run(ui), 1);
}

TEST(Application, AMainWindowAlreadyDestroyedEndsTheLoopAtOnce) {
    HeadlessPlatform ui(res::tidewellResources());
    TestApp app(TestApp::Plan::DestroyDuringCreation);
    EXPECT_EQ(app.Run(ui), 0);
}

TEST(Application, ExitFromTheFileMenuClosesTheFrameAndEndsTheLoop) {
    HeadlessPlatform ui(res::tidewellResources());
    TestApp app(TestApp::Plan::KeepRunning);
    ui.user().chooseMenu(ID_APP_EXIT);
    EXPECT_EQ(app.Run(ui), 0) << ui.user().report();
}

TEST(Application, ALoopWithNothingToEndItIsReportedAsStalled) {
    HeadlessPlatform ui(res::tidewellResources());
    ui.setStallTimeout(20ms);
    TestApp app(TestApp::Plan::KeepRunning);
    EXPECT_EQ(app.Run(ui), kDialogFailed);
    EXPECT_TRUE(ui.loopStalled());
}

}  // namespace
}  // namespace tidewell::ui
