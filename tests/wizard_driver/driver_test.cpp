// The wizard driver, the page base and the title control, with test pages on
// the headless platform.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "frame_env.h"
#include "tidewell/resources/ids.h"
#include "tidewell/wizard/color_static.h"

namespace tidewell::testing {
namespace {

using ::testing::ElementsAre;
using ui::IDCANCEL;
using ui::IDOK;
constexpr int kBack = res::IDC_BACK;

std::vector<int> templates(const PageScript& script) {
    std::vector<int> ids;
    for (const auto& visit : script.visits) {
        ids.push_back(visit.templateId);
    }
    return ids;
}

class DriverTest : public ::testing::Test {
  protected:
    FrameEnv env;
};

TEST_F(DriverTest, OnePassWithNextVisitsEveryStepInOrderAndRestartsAtDetection) {
    auto& user = env.user();
    user.expectDialog(res::IDD_PORT_SELECTION).click(IDOK);
    user.expectDialog(res::IDD_DETECTION).click(IDOK);
    user.expectDialog(res::IDD_OPERATION_CHOICE).click(IDOK);
    user.expectDialog(res::IDD_PROGRESS).click(IDOK);
    for (int i = 0; i < 3; ++i) {
        user.expectDialog(res::IDD_FILE_SELECTION).click(IDOK);
    }
    user.expectDialog(res::IDD_PROGRESS).click(IDOK);
    user.expectDialog(res::IDD_DETECTION).click(IDCANCEL);
    auto frame = env.makeFrame(false);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(user.ok()) << user.report();

    const auto& v = env.pages().visits;
    ASSERT_EQ(v.size(), 9u);
    EXPECT_EQ(v[0], (PageVisit{res::IDD_PORT_SELECTION, stepSelectPort, 0, 0, true}));
    EXPECT_EQ(v[1], (PageVisit{res::IDD_DETECTION, stepDetect, 0, 0, true}));
    EXPECT_EQ(v[2], (PageVisit{res::IDD_OPERATION_CHOICE, stepChooseOperations, 0, 0, true}));
    EXPECT_EQ(v[3], (PageVisit{res::IDD_PROGRESS, stepBackupTransfers, 1, 0, true}));
    EXPECT_EQ(v[4], (PageVisit{res::IDD_FILE_SELECTION, stepChooseFirmware, 1, 1, true}));
    EXPECT_EQ(v[5], (PageVisit{res::IDD_FILE_SELECTION, stepChooseSetting, 1, 3, true}));
    EXPECT_EQ(v[6], (PageVisit{res::IDD_FILE_SELECTION, stepChoosePlaylist, 1, 5, true}));
    EXPECT_EQ(v[7], (PageVisit{res::IDD_PROGRESS, stepUpdateTransfers, 2, 5, true}));
    EXPECT_EQ(v[8], (PageVisit{res::IDD_DETECTION, stepDetect, 2, 5, true}));
    EXPECT_EQ(frame->getActivePage(), nullptr);
    EXPECT_EQ(frame->getStepPosition(), 1);
    EXPECT_EQ(env.pages().pageSetsBuilt, 1);
    EXPECT_EQ(env.pages().pageSetsDestroyed, 1);
}

TEST_F(DriverTest, BackMovesOnePositionAndPagesThatEndThemselvesPassTheUserOn) {
    // Only "Update Firmware": the backup progress and the two restore file pages do not apply.
    env.pages().endsItself = {stepBackupTransfers, stepChooseSetting, stepChoosePlaylist};
    auto& user = env.user();
    user.expectDialog(res::IDD_PORT_SELECTION).click(IDOK);
    user.expectDialog(res::IDD_DETECTION).click(kBack);
    user.expectDialog(res::IDD_PORT_SELECTION).click(IDOK);
    user.expectDialog(res::IDD_DETECTION).click(IDOK);
    user.expectDialog(res::IDD_OPERATION_CHOICE).click(IDOK);
    user.expectDialog(res::IDD_FILE_SELECTION).click(IDOK);
    user.expectDialog(res::IDD_PROGRESS).click(kBack);
    // Back lands on the playlist page, which ends itself: the same progress page returns.
    user.expectDialog(res::IDD_PROGRESS).pressEscape();
    auto frame = env.makeFrame(false);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(user.ok()) << user.report();
    EXPECT_THAT(
        templates(env.pages()),
        ElementsAre(res::IDD_PORT_SELECTION, res::IDD_DETECTION, res::IDD_PORT_SELECTION,
                    res::IDD_DETECTION, res::IDD_OPERATION_CHOICE, res::IDD_PROGRESS,
                    res::IDD_FILE_SELECTION, res::IDD_FILE_SELECTION, res::IDD_FILE_SELECTION,
                    res::IDD_PROGRESS, res::IDD_FILE_SELECTION, res::IDD_PROGRESS));
    const auto& v = env.pages().visits;
    EXPECT_EQ(v[10].stepType, stepChoosePlaylist);
    EXPECT_EQ(v[11].stepType, stepUpdateTransfers);
    // Self-ended pages never entered a modal loop.
    int shown = 0;
    for (const auto& run : env.platform().dialogRuns()) {
        shown += run.shown ? 1 : 0;
    }
    EXPECT_EQ(shown, 8);
}

TEST_F(DriverTest, ThePortPageOffersNoBack) {
    env.user()
        .expectDialog(res::IDD_PORT_SELECTION)
        .expectVisible(kBack, false)
        .expectEnabled(kBack, false)
        .click(IDCANCEL);
    auto frame = env.makeFrame(true);
    EXPECT_TRUE(env.user().ok()) << env.user().report();
}

class LeavingTest : public DriverTest, public ::testing::WithParamInterface<int> {};

TEST_P(LeavingTest, ExitCloseBoxAndEscapeEachPostExactlyOneExitMessage) {
    auto& user = env.user();
    user.expectDialog(res::IDD_PORT_SELECTION).click(IDOK);
    user.expectDialog(res::IDD_DETECTION);
    switch (GetParam()) {
        case 0:
            user.click(IDCANCEL);
            break;
        case 1:
            user.closeBox();
            break;
        default:
            user.pressEscape();
    }
    auto frame = env.makeFrame(false);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(user.ok()) << user.report();
    EXPECT_EQ(env.platform().dialogRuns().back().result, kPageExit);
    EXPECT_EQ(env.pages().visits.size(), 2u);
    // Handled only once the wizard has returned, by the loop that runs next.
    EXPECT_EQ(frame->exitMessages, 0);
    EXPECT_TRUE(frame->IsWindow());
    env.platform().runPending();
    EXPECT_EQ(frame->exitMessages, 1);
    EXPECT_FALSE(frame->IsWindow());
    env.platform().runPending();
    EXPECT_EQ(frame->exitMessages, 1);
}

INSTANTIATE_TEST_SUITE_P(Driver, LeavingTest, ::testing::Values(0, 1, 2));

TEST_F(DriverTest, APageThatCannotBeCreatedStopsTheWizardWithoutAnExitMessage) {
    env.pages().missing = {stepDetect};
    env.user().expectDialog(res::IDD_PORT_SELECTION).click(IDOK);
    auto frame = env.makeFrame(true);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(env.user().ok()) << env.user().report();
    env.platform().runPending();
    EXPECT_EQ(frame->exitMessages, 0);
    EXPECT_TRUE(frame->IsWindow());
    EXPECT_EQ(frame->getStepPosition(), 1);
}

TEST_F(DriverTest, AHiddenFrameWhoseWizardStoppedWithoutExitClosesInsteadOfLingering) {
    env.pages().missing = {stepSelectPort};
    auto frame = env.makeFrame(false);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(env.pages().visits.empty());
    env.platform().runPending();
    EXPECT_EQ(frame->exitMessages, 1);
    EXPECT_FALSE(frame->IsWindow());
}

TEST_F(DriverTest, TheWizardMenuRunsANewPassWithNewPagesFromTheFirstPosition) {
    env.user().expectDialog(res::IDD_PORT_SELECTION).click(IDOK);
    env.user().expectDialog(res::IDD_DETECTION).click(IDCANCEL);
    auto frame = env.makeFrame(true);
    ASSERT_TRUE(frame);
    env.platform().runPending();
    EXPECT_EQ(frame->exitMessages, 1);
    EXPECT_TRUE(frame->IsWindow());  // the terminal window stays

    env.user().chooseMenu(res::ID_COMM_WIZARD);
    env.user().expectDialog(res::IDD_PORT_SELECTION).click(IDCANCEL);
    EXPECT_TRUE(env.platform().runScript()) << env.user().report();
    env.platform().runPending();
    EXPECT_EQ(env.pages().pageSetsBuilt, 2);
    EXPECT_EQ(env.pages().pageSetsDestroyed, 2);
    EXPECT_EQ(env.pages().visits.back().templateId, res::IDD_PORT_SELECTION);
    EXPECT_EQ(frame->exitMessages, 2);
    EXPECT_TRUE(frame->IsWindow());
}

// ---- the page base ----------------------------------------------------------------

TEST_F(DriverTest, EveryPageOffersAboutAndTheTerminalWindowInItsSystemMenuAndCarriesTheIcon) {
    std::vector<std::string> texts;
    int bigIcon = 0;
    int smallIcon = 0;
    env.user().expectDialog(res::IDD_PORT_SELECTION).run([&] {
        ui::Dialog* page = env.platform().activeDialog();
        for (const auto& item : page->GetSystemMenu()->items()) {
            texts.push_back(item.isSeparator() ? "-" : item.text + "=" + std::to_string(item.id));
        }
        bigIcon = page->GetIcon(true);
        smallIcon = page->GetIcon(false);
    });
    env.user().click(IDCANCEL);
    auto frame = env.makeFrame(true);
    EXPECT_TRUE(env.user().ok()) << env.user().report();
    EXPECT_THAT(texts, ElementsAre("-", "&About...=16", "&Terminal window=32"));
    EXPECT_EQ(bigIcon, res::IDR_MAINFRAME);
    EXPECT_EQ(smallIcon, res::IDR_MAINFRAME);
}

TEST_F(DriverTest, AboutOpensTheAboutBoxModallyFromAPageAndReturnsToIt) {
    auto& user = env.user();
    user.expectDialog(res::IDD_PORT_SELECTION).click(IDOK);
    user.expectDialog(res::IDD_DETECTION).systemCommand(IDM_ABOUTBOX);
    user.expectDialog(res::IDD_ABOUTBOX).expectText(IDOK, "OK").click(IDOK);
    user.expectDialog(res::IDD_DETECTION).click(IDCANCEL);
    auto frame = env.makeFrame(false);
    EXPECT_TRUE(user.ok()) << user.report();
    EXPECT_THAT(templates(env.pages()), ElementsAre(res::IDD_PORT_SELECTION, res::IDD_DETECTION));
    env.platform().runPending();
    EXPECT_EQ(frame->exitMessages, 1);  // closing the About box is no exit
}

TEST_F(DriverTest, TheTerminalItemShowsTheFrameAndKeepsItOpenAfterTheWizard) {
    auto& user = env.user();
    bool visibleDuringWizard = false;
    user.expectDialog(res::IDD_PORT_SELECTION).systemCommand(IDM_TERMINAL);
    user.run([&] {
        auto* shown = dynamic_cast<CMainFrame*>(env.platform().activeDialog()->GetParent());
        visibleDuringWizard = shown != nullptr && shown->IsWindowVisible();
    });
    user.closeFrame();
    user.expectDialog(res::IDD_PORT_SELECTION).click(IDCANCEL);
    auto frame = env.makeFrame(false);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(user.ok()) << user.report();
    EXPECT_TRUE(env.app().getShowTerminal());
    EXPECT_TRUE(frame->IsWindowVisible());
    env.platform().runPending();
    EXPECT_EQ(frame->exitMessages, 1);
    EXPECT_TRUE(frame->IsWindow());
    EXPECT_TRUE(visibleDuringWizard);
}

TEST_F(DriverTest, HooksReachTheActivePageOnly) {
    env.user().expectDialog(res::IDD_PORT_SELECTION).run([&] {
        ASSERT_TRUE(ui::postMessage(env.platform().activeDialog()->GetParent()->GetSafeHwnd(),
                                    WM_WORKER_NOTIFY, notifyResult, resDetected));
        ASSERT_TRUE(ui::postMessage(env.platform().activeDialog()->GetParent()->GetSafeHwnd(),
                                    WM_WORKER_NOTIFY, notifyProgress, 42));
    });
    env.user().waitUntil([&] { return env.pages().progress.size() == 1; }, "progress delivered");
    env.user().click(IDCANCEL);
    auto frame = env.makeFrame(true);
    EXPECT_TRUE(env.user().ok()) << env.user().report();
    EXPECT_THAT(env.pages().results, ElementsAre(resDetected));
    EXPECT_THAT(env.pages().progress, ElementsAre(42));
    EXPECT_TRUE(FrameEnv::logLines(*frame).empty());
}

// ---- the title control ----------------------------------------------------------------

class ColorStaticTest : public ::testing::Test {
  protected:
    FrameEnv env;
    std::unique_ptr<CountingFrame> frame = env.makeTerminalFrame();
};

TEST_F(ColorStaticTest, PaintsBoldWhiteTahomaTransparentlyOnOneLineWithoutPrefixes) {
    ui::Dialog page(res::IDD_DETECTION, frame.get());
    CColorStatic title;
    title.bind(page.GetDlgItem(res::IDC_TITLE));
    title.SetWindowText("Backup & Restore");
    const auto record = env.platform().paint(page.GetDlgItem(res::IDC_TITLE));

    const auto* font = record.find(ui::headless::PaintOp::Kind::SelectFont);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->font.lfHeight, 16);
    EXPECT_EQ(font->font.lfWeight, 700);
    EXPECT_EQ(font->font.lfCharSet, 1);
    EXPECT_STREQ(font->font.lfFaceName, "Tahoma");
    EXPECT_EQ(font->font.lfItalic, 0);
    const auto* mode = record.find(ui::headless::PaintOp::Kind::SetBkMode);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->mode, ui::TRANSPARENT);
    const auto* colour = record.find(ui::headless::PaintOp::Kind::SetTextColor);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->colour, 0xFFFFFFu);
    EXPECT_EQ(record.find(ui::headless::PaintOp::Kind::FillRect), nullptr);
    const auto* text = record.find(ui::headless::PaintOp::Kind::DrawText);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->format, 0x824u);
    EXPECT_EQ(text->shown, "Backup & Restore");
    // Left edge, centred vertically (the fixed metric's line height is the font height).
    EXPECT_EQ(text->origin.x, record.clientRect.x);
    EXPECT_EQ(text->origin.y, record.clientRect.y + (record.clientRect.cy - 16) / 2);
    // The previous font is selected back at the end.
    EXPECT_EQ(record.ops.back().kind, ui::headless::PaintOp::Kind::SelectFont);
}

TEST_F(ColorStaticTest, ALongTitleIsCutAtTheRightEdgeWithoutWrapping) {
    ui::Dialog page(res::IDD_DETECTION, frame.get());
    CColorStatic title;
    title.bind(page.GetDlgItem(res::IDC_TITLE));
    const std::string longText(200, 'W');
    title.SetWindowText(longText);
    const auto record = env.platform().paint(page.GetDlgItem(res::IDC_TITLE));
    const auto* text = record.find(ui::headless::PaintOp::Kind::DrawText);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text, longText);
    EXPECT_LT(text->shown.size(), longText.size());
    EXPECT_EQ(text->shown, std::string(text->shown.size(), 'W'));
    const auto draws = std::count_if(record.ops.begin(), record.ops.end(), [](const auto& op) {
        return op.kind == ui::headless::PaintOp::Kind::DrawText;
    });
    EXPECT_EQ(draws, 1);
}

}  // namespace
}  // namespace tidewell::testing
