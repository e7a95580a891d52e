// The application object: start-up, the hidden frame, how the program ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame_env.h"
#include "tidewell/app/command_line.h"
#include "tidewell/resources/ids.h"
#include "tidewell/resources/resources.h"

namespace tidewell::testing {
namespace {

using ::testing::IsEmpty;

TEST(AppTest, ExitOnTheFirstPageEndsTheProgramWithZeroWithoutShowingTheFrame) {
    FrameEnv env;
    bool frameVisible = true;
    env.user().expectDialog(res::IDD_PORT_SELECTION).run([&] {
        frameVisible = env.platform().activeDialog()->GetParent()->IsWindowVisible();
    });
    env.user().click(ui::IDCANCEL);
    EXPECT_EQ(env.app().Run(env.platform()), 0);
    EXPECT_TRUE(env.user().ok()) << env.user().report();
    EXPECT_FALSE(frameVisible);
    EXPECT_FALSE(env.platform().loopStalled());
    EXPECT_FALSE(env.app().getShowTerminal());
}

TEST(AppTest, ExitOnALaterPageEndsTheProgramToo) {
    FrameEnv env;
    env.user().expectDialog(res::IDD_PORT_SELECTION).click(ui::IDOK);
    env.user().expectDialog(res::IDD_DETECTION).click(ui::IDOK);
    env.user().expectDialog(res::IDD_OPERATION_CHOICE).pressEscape();
    EXPECT_EQ(env.app().Run(env.platform()), 0);
    EXPECT_TRUE(env.user().ok()) << env.user().report();
}

TEST(AppTest, TheTerminalItemKeepsTheProgramRunningInItsWindowUntilItIsClosed) {
    FrameEnv env;
    bool shownAfterWizard = false;
    env.user()
        .expectDialog(res::IDD_PORT_SELECTION)
        .systemCommand(IDM_TERMINAL)
        // The page stepped aside: the window takes input, and closing it brings the page back.
        .chooseMenu(ui::ID_VIEW_STATUS_BAR)
        .chooseMenu(ui::ID_APP_EXIT)
        .expectDialog(res::IDD_PORT_SELECTION)
        .click(ui::IDCANCEL);
    env.user().run([&] {
        shownAfterWizard =
            env.platform().mainFrame() != nullptr && env.platform().mainFrame()->IsWindowVisible();
    });
    env.user().chooseMenu(ui::ID_APP_EXIT);
    EXPECT_EQ(env.app().Run(env.platform()), 0);
    EXPECT_TRUE(env.user().ok()) << env.user().report();
    EXPECT_TRUE(shownAfterWizard);
}

// Tidewell's resources without the tool bar: the frame cannot be created.
class NoToolBar : public ui::ResourceSet {
  public:
    const ui::DialogTemplate* findDialog(int id) const override { return base().findDialog(id); }
    std::optional<std::string_view> findString(int id) const override {
        return base().findString(id);
    }
    const ui::MenuTemplate* findMenu(int id) const override { return base().findMenu(id); }
    const ui::AcceleratorTable* findAccelerators(int id) const override {
        return base().findAccelerators(id);
    }
    const ui::ToolBarTemplate* findToolBar(int) const override { return nullptr; }
    const ui::ImageResource* findBitmap(int id) const override { return base().findBitmap(id); }
    const ui::ImageResource* findIcon(int id) const override { return base().findIcon(id); }

  private:
    static const ui::ResourceSet& base() { return res::tidewellResources(); }
};

TEST(AppTest, AFrameThatCannotBeCreatedEndsTheProgramWithoutAMessageOrAPage) {
    NoToolBar resources;
    FrameEnv env(true, scaledTiming(10), &resources);
    EXPECT_EQ(env.app().Run(env.platform()), 1);
    EXPECT_THAT(env.platform().messageBoxes(), IsEmpty());
    EXPECT_THAT(env.platform().dialogRuns(), IsEmpty());
}

TEST(AppTest, TheSettingsAccessorsReadAndWriteTheInjectedFile) {
    FrameEnv env;
    EXPECT_EQ(env.app().getCommPort(), 1);
    EXPECT_EQ(env.app().getFirmwarePath(), ".");
    env.app().setCommPort(3);
    env.app().setFirmwarePath("/tmp/a.pkg");
    env.app().setSettingPath("/b");
    env.app().setSettingFile("setting_2.bak");
    env.app().setPlaylistPath("/c");
    env.app().setPlaylistFile("playlist.bak");
    const SettingsStore store = env.store();
    EXPECT_EQ(store.getInt(kProfileSection, kCommPortKey, 0), 3u);
    EXPECT_EQ(store.getString(kProfileSection, kFirmwarePathKey), "/tmp/a.pkg");
    EXPECT_EQ(env.app().getSettingPath(), "/b");
    EXPECT_EQ(env.app().getSettingFile(), "setting_2.bak");
    EXPECT_EQ(env.app().getPlaylistPath(), "/c");
    EXPECT_EQ(env.app().getPlaylistFile(), "playlist.bak");
}

TEST(AppTest, TheFrameTakesItsPortFromTheProfile) {
    FrameEnv env;
    ASSERT_TRUE(env.store().setInt(kProfileSection, kCommPortKey, 300));
    auto frame = env.makeTerminalFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->getCommPort(), 44);
    EXPECT_EQ(frame->getSpeed(), 115200);
    EXPECT_EQ(frame->getOperations().getCount(), 5);
    EXPECT_EQ(frame->GetWindowText(), "Tidewell");
}

TEST(AppTest, TheProgramTakesOnlyHelpOrVersionAndEachAlone) {
    using Action = ProgramCommand::Action;
    const auto parse = [](std::vector<std::string_view> args) {
        return parseProgramArguments(args);
    };
    EXPECT_EQ(parse({}).action, Action::run);
    EXPECT_EQ(parse({"-h"}).action, Action::help);
    EXPECT_EQ(parse({"--help"}).action, Action::help);
    EXPECT_EQ(parse({"--version"}).action, Action::version);
    const ProgramCommand unknown = parse({"--port"});
    EXPECT_EQ(unknown.action, Action::usageError);
    EXPECT_EQ(unknown.error, "unknown option --port");
    EXPECT_EQ(parse({"firmware.pkg"}).action, Action::usageError);
    EXPECT_EQ(parse({"--help", "--version"}).action, Action::usageError);
}

}  // namespace
}  // namespace tidewell::testing
