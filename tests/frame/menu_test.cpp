// The terminal window's furniture: the Communication menu with its update
// rules, the other menus, the bars and their toggles, the accelerators.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame_env.h"
#include "tidewell/resources/ids.h"

namespace tidewell::testing {
namespace {

using ::testing::ElementsAre;

class MenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = env.makeTerminalFrame();
        ASSERT_TRUE(frame);
    }
    bool checked(int id) {
        frame->UpdateCommandUI();
        return frame->GetMenu()->findItem(id)->isChecked();
    }
    bool enabled(int id) {
        frame->UpdateCommandUI();
        return frame->GetMenu()->findItem(id)->isEnabled();
    }
    std::vector<int> checkedAmong(int first, int last) {
        frame->UpdateCommandUI();
        std::vector<int> ids;
        for (int id = first; id <= last; ++id) {
            if (frame->GetMenu()->findItem(id)->isChecked()) {
                ids.push_back(id);
            }
        }
        return ids;
    }
    void choose(int id) {
        env.user().chooseMenu(id);
        ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    }

    FrameEnv env;
    std::unique_ptr<CountingFrame> frame;
};

TEST_F(MenuTest, TheCommunicationMenuHoldsEveryItemInOrder) {
    const ui::Menu* comm = nullptr;
    for (const auto& top : frame->GetMenu()->items()) {
        if (top.text == "&Communication") {
            comm = top.popup.get();
        }
    }
    ASSERT_NE(comm, nullptr);
    std::vector<std::string> items;
    for (const auto& item : comm->items()) {
        items.push_back(item.isSeparator() ? "-" : item.text + "=" + std::to_string(item.id));
    }
    EXPECT_THAT(items,
                ElementsAre("&Wizard...=32797", "-", "&Connect=32772", "&Disconnect=32773", "-",
                            ::testing::StartsWith("&Port="), ::testing::StartsWith("&Speed="), "-",
                            "De&tect=32798", "Terminal=32800", "&Upload=32796", "&Download=32799",
                            "-", "Save Trace...=32801"));
    EXPECT_FALSE(enabled(res::ID_COMM_SAVE_TRACE));  // no connection, no trace yet
    EXPECT_EQ(comm->items()[5].popup->GetMenuItemCount(), 16);
    EXPECT_EQ(comm->items()[5].popup->GetMenuString(res::ID_COMM_PORT_FIRST + 11), "COM&12");
    EXPECT_EQ(comm->items()[6].popup->GetMenuString(res::ID_COMM_SPEED_9600), "9&600");
}

TEST_F(MenuTest, SaveTraceNamesTheFileItCouldNotWriteAndWhy) {
    ASSERT_TRUE(frame->connectPort());
    const auto target = env.dir() / "no-such-folder" / "trace.txt";
    env.user()
        .chooseMenu(res::ID_COMM_SAVE_TRACE)
        .answerFileDialog(target.string())
        .answerMessageBox(ui::IDOK);
    ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    ASSERT_EQ(env.platform().messageBoxes().size(), 1u);
    EXPECT_THAT(env.platform().messageBoxes()[0].text,
                ::testing::AllOf(::testing::HasSubstr(target.string()),
                                 ::testing::HasSubstr("No such file or directory")));
}

TEST_F(MenuTest, EveryCommunicationItemIsEnabled) {
    for (int id = res::ID_COMM_CONNECT; id <= res::ID_COMM_TERMINAL; ++id) {
        EXPECT_TRUE(enabled(id)) << id;
    }
}

TEST_F(MenuTest, ConnectAndDisconnectAlwaysShowExactlyOneCheckMark) {
    EXPECT_THAT(checkedAmong(res::ID_COMM_CONNECT, res::ID_COMM_DISCONNECT),
                ElementsAre(res::ID_COMM_DISCONNECT));
    choose(res::ID_COMM_CONNECT);
    EXPECT_TRUE(frame->isConnected());
    EXPECT_THAT(checkedAmong(res::ID_COMM_CONNECT, res::ID_COMM_DISCONNECT),
                ElementsAre(res::ID_COMM_CONNECT));
    choose(res::ID_COMM_DISCONNECT);
    EXPECT_FALSE(frame->isConnected());
    EXPECT_THAT(checkedAmong(res::ID_COMM_CONNECT, res::ID_COMM_DISCONNECT),
                ElementsAre(res::ID_COMM_DISCONNECT));
}

TEST_F(MenuTest, AfterAFailedConnectDisconnectCarriesTheMark) {
    env.setMissingPorts({1});
    choose(res::ID_COMM_CONNECT);
    EXPECT_FALSE(checked(res::ID_COMM_CONNECT));
    EXPECT_TRUE(checked(res::ID_COMM_DISCONNECT));
    EXPECT_EQ(FrameEnv::logLines(*frame).front(), "Unable to connect to communication port 1");
}

TEST_F(MenuTest, AnotherPortOrSpeedWhileConnectedMovesTheMarks) {
    choose(res::ID_COMM_CONNECT);
    EXPECT_THAT(checkedAmong(res::ID_COMM_PORT_FIRST, res::ID_COMM_PORT_LAST),
                ElementsAre(res::ID_COMM_PORT_FIRST));
    choose(res::ID_COMM_PORT_FIRST + 4);
    EXPECT_EQ(frame->getCommPort(), 5);
    EXPECT_THAT(checkedAmong(res::ID_COMM_PORT_FIRST, res::ID_COMM_PORT_LAST),
                ElementsAre(res::ID_COMM_PORT_FIRST + 4));
    EXPECT_TRUE(checked(res::ID_COMM_DISCONNECT));
    EXPECT_FALSE(checked(res::ID_COMM_CONNECT));

    choose(res::ID_COMM_CONNECT);
    EXPECT_THAT(checkedAmong(res::ID_COMM_SPEED_2400, res::ID_COMM_SPEED_115200),
                ElementsAre(res::ID_COMM_SPEED_115200));
    choose(res::ID_COMM_SPEED_38400);
    EXPECT_EQ(frame->getSpeed(), 38400);
    EXPECT_THAT(checkedAmong(res::ID_COMM_SPEED_2400, res::ID_COMM_SPEED_115200),
                ElementsAre(res::ID_COMM_SPEED_38400));
    EXPECT_TRUE(checked(res::ID_COMM_DISCONNECT));
}

TEST_F(MenuTest, EverySpeedItemSelectsItsSpeed) {
    const int speeds[] = {2400, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 6; ++i) {
        choose(res::ID_COMM_SPEED_2400 + i);
        EXPECT_EQ(frame->getSpeed(), speeds[i]);
    }
}

TEST(MenuProfileTest, APortOutsideOneToSixteenFromTheProfileChecksNoPortItem) {
    FrameEnv env;
    ASSERT_TRUE(env.store().setInt(kProfileSection, kCommPortKey, 20));
    auto frame = env.makeTerminalFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->getCommPort(), 20);
    frame->UpdateCommandUI();
    for (int id = res::ID_COMM_PORT_FIRST; id <= res::ID_COMM_PORT_LAST; ++id) {
        EXPECT_FALSE(frame->GetMenu()->findItem(id)->isChecked()) << id;
    }
}

TEST_F(MenuTest, ItemsAndButtonsWithoutHandlersShowDisabled) {
    for (int id : {ui::ID_FILE_NEW, ui::ID_FILE_OPEN, ui::ID_FILE_SAVE, ui::ID_FILE_SAVE_AS,
                   ui::ID_FILE_PRINT, ui::ID_FILE_PRINT_PREVIEW, ui::ID_FILE_PRINT_SETUP,
                   ui::ID_FILE_MRU_FILE1, ui::ID_EDIT_UNDO, ui::ID_EDIT_CUT, ui::ID_EDIT_COPY,
                   ui::ID_EDIT_PASTE, ui::ID_APP_ABOUT}) {
        EXPECT_FALSE(enabled(id)) << id;
    }
    EXPECT_TRUE(enabled(ui::ID_APP_EXIT));
    std::vector<int> buttons;
    for (const auto& button : frame->getToolBar().buttons()) {
        if (button.id != ui::ID_SEPARATOR) {
            buttons.push_back(button.id);
            EXPECT_FALSE(button.enabled) << button.id;
        }
    }
    EXPECT_THAT(buttons, ElementsAre(ui::ID_FILE_NEW, ui::ID_FILE_OPEN, ui::ID_FILE_SAVE,
                                     ui::ID_EDIT_CUT, ui::ID_EDIT_COPY, ui::ID_EDIT_PASTE,
                                     ui::ID_FILE_PRINT, ui::ID_APP_ABOUT));
    EXPECT_EQ(frame->getToolBar().GetCount(), 11);
}

TEST_F(MenuTest, TheAcceleratorsDoNothing) {
    EXPECT_FALSE(frame->TranslateAccelerator({'N', true, false, false}));
    EXPECT_FALSE(frame->TranslateAccelerator({'C', true, false, false}));
    EXPECT_FALSE(frame->TranslateAccelerator({ui::VK_F6, false, false, false}));
    EXPECT_FALSE(frame->TranslateAccelerator({ui::VK_INSERT, false, true, false}));
}

TEST_F(MenuTest, TheStatusBarHasTheMessagePaneAndTheThreeLockIndicators) {
    auto& bar = frame->getStatusBar();
    ASSERT_EQ(bar.GetCount(), 4);
    EXPECT_EQ(bar.GetItemID(0), ui::ID_SEPARATOR);
    EXPECT_EQ(bar.GetItemID(1), ui::ID_INDICATOR_CAPS);
    EXPECT_EQ(bar.GetItemID(2), ui::ID_INDICATOR_NUM);
    EXPECT_EQ(bar.GetItemID(3), ui::ID_INDICATOR_SCRL);
    EXPECT_EQ(bar.GetDlgCtrlID(), ui::AFX_IDW_STATUS_BAR);
    EXPECT_EQ(frame->getToolBar().GetDlgCtrlID(), ui::AFX_IDW_TOOLBAR);
    EXPECT_EQ(frame->getCommandBar().GetDlgCtrlID(), res::IDW_COMMAND_BAR);
    EXPECT_TRUE(frame->getCommandBar().GetBarStyle() & ui::CBRS_ALIGN_BOTTOM);
}

TEST_F(MenuTest, TheViewMenuTogglesEachBarWithItsCheckMark) {
    struct Toggle {
        int command;
        ui::ControlBar* bar;
    };
    for (const Toggle& t : {Toggle{ui::ID_VIEW_TOOLBAR, &frame->getToolBar()},
                            Toggle{ui::ID_VIEW_STATUS_BAR, &frame->getStatusBar()},
                            Toggle{res::ID_VIEW_COMMAND_BAR, &frame->getCommandBar()}}) {
        EXPECT_TRUE(enabled(t.command)) << t.command;
        EXPECT_TRUE(checked(t.command)) << t.command;
        choose(t.command);
        EXPECT_FALSE(t.bar->IsWindowVisible()) << t.command;
        EXPECT_FALSE(checked(t.command)) << t.command;
        choose(t.command);
        EXPECT_TRUE(t.bar->IsWindowVisible()) << t.command;
        EXPECT_TRUE(checked(t.command)) << t.command;
    }
}

TEST_F(MenuTest, TheLogIsAWritableMultiLinePaneWithTheClientEdge) {
    auto& log = frame->getLogView();
    EXPECT_FALSE(log.IsReadOnly());
    EXPECT_TRUE(log.GetStyle() & ui::ES_MULTILINE);
    EXPECT_TRUE(log.GetStyle() & ui::ES_WANTRETURN);
    EXPECT_TRUE(log.GetStyle() & ui::WS_VSCROLL);
    EXPECT_TRUE(log.GetExStyle() & ui::WS_EX_CLIENTEDGE);
    // What the user typed stays, and lines go after it.
    log.userReplaced("typed by hand\r\n");
    frame->appendLine("next");
    EXPECT_EQ(log.GetWindowText(), "typed by hand\r\nnext\r\n");
}

TEST_F(MenuTest, ExitFromTheFileMenuClosesTheFrameAndTheLink) {
    choose(res::ID_COMM_CONNECT);
    choose(ui::ID_APP_EXIT);
    EXPECT_FALSE(frame->IsWindow());
    EXPECT_EQ(frame->getWorker(), nullptr);
    EXPECT_FALSE(env.device().isOpen());
}

}  // namespace
}  // namespace tidewell::testing
