// The terminal-window frame as a real wx frame: menu bar, tool bar, status bar,
// command bar, log view, update rules, and the application loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include "gui_support.h"
#include "tidewell/ui/app.h"
#include "tidewell/ui/frame.h"
#include "tidewell/ui/wx/testing.h"
#include "tidewell/ui/wx/wx_platform.h"

namespace tidewell::gui {
namespace {

using ui::wxtest::nativeControl;
using ui::wxtest::nativeWindow;

constexpr int kIndicators[] = {ui::ID_SEPARATOR, ui::ID_INDICATOR_CAPS, ui::ID_INDICATOR_NUM,
                               ui::ID_INDICATOR_SCRL};
constexpr ui::UINT WM_GOODBYE = ui::WM_USER + 2;

class TerminalFrame : public ui::FrameWindow {
  public:
    explicit TerminalFrame(ui::Platform& platform) : FrameWindow(platform) {
        mapCommand(res::ID_COMM_CONNECT, [this] { connected = true; });
        mapUpdateCommandUI(res::ID_COMM_CONNECT,
                           [this](ui::CmdUI& ui) { ui.SetCheck(connected ? 1 : 0); });
        mapCommand(res::ID_COMM_DISCONNECT, [this] { connected = false; });
        mapUpdateCommandUI(res::ID_COMM_DISCONNECT,
                           [this](ui::CmdUI& ui) { ui.SetCheck(connected ? 0 : 1); });
        mapCommand(res::IDC_SEND, [this] {
            const std::string line = commandBar.GetDlgItem(res::IDC_COMMAND_EDIT).GetWindowText();
            sent.push_back(line);
            log.AppendLine("CMD: " + line);
        });
        mapMessage(WM_GOODBYE, [this](ui::WPARAM, ui::LPARAM) {
            DestroyWindow();
            return 0;
        });
    }

    bool connected = false;
    std::vector<std::string> sent;
    ui::LogView log;
    ui::ToolBar toolBar;
    ui::StatusBar statusBar;
    ui::DialogBar commandBar;

  protected:
    int OnCreate() override {
        using namespace ui;
        const bool ok =
            log.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                           ES_WANTRETURN | ES_READONLY,
                       this, AFX_IDW_PANE_FIRST, WS_EX_CLIENTEDGE) &&
            toolBar.CreateEx(this) && toolBar.LoadToolBar(res::IDR_MAINFRAME) &&
            statusBar.Create(this) && statusBar.SetIndicators(kIndicators) &&
            commandBar.Create(this, res::IDD_COMMAND_BAR, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                              res::IDW_COMMAND_BAR);
        return ok ? 0 : -1;
    }
};

class WxFrameTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!haveDisplay()) {
            GTEST_SKIP() << "no display: GUI tests need an X server (scripts/test runs the "
                            "suite under xvfb-run)";
        }
        platform = ui::makeWxPlatform(res::tidewellResources());
    }
    void TearDown() override {
        if (haveDisplay()) {
            EXPECT_THAT(takeAssertFailures(), testing::IsEmpty());
        }
    }

    // Runs the toolkit's events until the condition holds or the deadline passes.
    static bool settle(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            wxTheApp->Yield(true);
            wxMilliSleep(5);
        }
        return true;
    }

    std::unique_ptr<ui::Platform> platform;
};

TEST_F(WxFrameTest, TheTerminalFrameHasItsBarsMenusAndLog) {
    TerminalFrame frame(*platform);
    ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
    auto* window = dynamic_cast<wxFrame*>(nativeWindow(frame));
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->IsShown());
    EXPECT_EQ(window->GetTitle(), "Tidewell");
    wxMenuBar* menus = window->GetMenuBar();
    ASSERT_NE(menus, nullptr);
    EXPECT_EQ(menus->GetMenuCount(), 5u);
    EXPECT_EQ(menus->GetMenuLabelText(3), "Communication");
    ASSERT_NE(window->GetToolBar(), nullptr);
    EXPECT_EQ(window->GetToolBar()->GetToolsCount(), 11u);
    ASSERT_NE(window->GetStatusBar(), nullptr);
    EXPECT_EQ(window->GetStatusBar()->GetFieldsCount(), 4);

    frame.ShowWindow(ui::SW_SHOW);
    frame.UpdateWindow();
    ASSERT_TRUE(settle([&] { return window->IsShownOnScreen(); }));

    // Rules reach the menu: unhandled items grey, marks follow the frame's state.
    const auto id = [&frame](int command) { return ui::wxtest::nativeCommandId(frame, command); };
    frame.UpdateCommandUI();
    EXPECT_FALSE(menus->IsEnabled(id(ui::ID_FILE_NEW)));
    EXPECT_TRUE(menus->IsEnabled(id(res::ID_COMM_CONNECT)));
    EXPECT_TRUE(menus->IsChecked(id(res::ID_COMM_DISCONNECT)));
    EXPECT_FALSE(window->GetToolBar()->GetToolEnabled(id(ui::ID_EDIT_COPY)));
    wxCommandEvent connect(wxEVT_MENU, id(res::ID_COMM_CONNECT));
    window->GetEventHandler()->ProcessEvent(connect);
    EXPECT_TRUE(frame.connected);
    frame.UpdateCommandUI();
    EXPECT_TRUE(menus->IsChecked(id(res::ID_COMM_CONNECT)));
    EXPECT_FALSE(menus->IsChecked(id(res::ID_COMM_DISCONNECT)));
    wxCommandEvent disabled(wxEVT_MENU, id(ui::ID_FILE_NEW));
    window->GetEventHandler()->ProcessEvent(disabled);  // no handler: nothing happens

    // The command bar: typing reaches the model, Send reaches the frame.
    auto* edit = dynamic_cast<wxTextCtrl*>(nativeControl(frame.commandBar, res::IDC_COMMAND_EDIT));
    ASSERT_NE(edit, nullptr);
    edit->SetValue("help");
    EXPECT_EQ(frame.commandBar.GetDlgItem(res::IDC_COMMAND_EDIT).GetWindowText(), "help");
    auto* send = dynamic_cast<wxButton*>(nativeControl(frame.commandBar, res::IDC_SEND));
    ASSERT_NE(send, nullptr);
    wxCommandEvent click(wxEVT_BUTTON, send->GetId());
    click.SetEventObject(send);
    send->GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(frame.sent, std::vector<std::string>{"help"});

    // The log shows what the model holds, one appended line at a time.
    for (const char* line :
         {"Success connecting to COM3 at 115200 bauds.", "Detecting device...", "Device Detected",
          "Logging...", "Logged in.", "Terminal mode.", "RX: Transfer 42 % completed."}) {
        frame.log.AppendLine(line);
    }
    auto* log = dynamic_cast<wxTextCtrl*>(nativeWindow(frame.log));
    ASSERT_NE(log, nullptr);
    std::string expected = frame.log.GetWindowText();
    std::erase(expected, '\r');
    EXPECT_EQ(log->GetValue().utf8_string(), expected);
    EXPECT_FALSE(log->IsEditable());

    // The status bar shows its four panes, and Caps Lock in its pane.
    wxStatusBar* status = window->GetStatusBar();
    for (int i = 0; i < status->GetFieldsCount(); ++i) {
        EXPECT_EQ(status->GetStatusStyle(i), wxSB_SUNKEN) << "pane " << i;
    }
    EXPECT_EQ(status->GetStatusText(1), "");
    window->Raise();
    wxUIActionSimulator().Char(WXK_CAPITAL);
    EXPECT_TRUE(settle([&] { return status->GetStatusText(1) == "CAP"; }))
        << "Caps Lock on, the pane shows \"" << status->GetStatusText(1) << "\"";
    EXPECT_EQ(frame.statusBar.GetPaneText(1), "CAP");
    wxUIActionSimulator().Char(WXK_CAPITAL);
    EXPECT_TRUE(settle([&] { return status->GetStatusText(1).empty(); }));

    // Drawn once the command bar has painted and the toolkit has had a few more turns.
    int turns = 0;
    ASSERT_TRUE(
        settle([&] { return ui::wxtest::paintCount(frame.commandBar) > 0 && ++turns > 10; }));
    EXPECT_TRUE(saveScreenshot(frame, "terminal"));

    // View menu toggles hide and show the real bars.
    ASSERT_TRUE(frame.ExecuteCommand(ui::ID_VIEW_TOOLBAR));
    EXPECT_FALSE(window->GetToolBar()->IsShown());
    ASSERT_TRUE(frame.ExecuteCommand(ui::ID_VIEW_TOOLBAR));
    EXPECT_TRUE(window->GetToolBar()->IsShown());
    ASSERT_TRUE(frame.ExecuteCommand(ui::ID_VIEW_STATUS_BAR));
    EXPECT_FALSE(window->GetStatusBar()->IsShown());

    EXPECT_TRUE(frame.DestroyWindow());
    EXPECT_EQ(nativeWindow(frame), nullptr);
}

class GoodbyeApp : public ui::WinApp {
  public:
    bool InitInstance() override {
        auto frame = std::make_unique<TerminalFrame>(GetPlatform());
        if (!frame->LoadFrame(res::IDR_MAINFRAME)) {
            return false;
        }
        frame->PostMessage(WM_GOODBYE);
        SetMainWnd(std::move(frame));
        return true;
    }
};

TEST_F(WxFrameTest, TheApplicationLoopEndsWhenTheHiddenMainFrameIsDestroyed) {
    GoodbyeApp app;
    EXPECT_EQ(app.Run(*platform), 0);
    EXPECT_EQ(app.GetMainWnd(), nullptr);
}

}  // namespace
}  // namespace tidewell::gui
