// Modal dialogs from templates, driven by the headless scripted user.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tidewell/resources/resources.h"
#include "tidewell/ui/dialog.h"
#include "tidewell/ui/headless/headless.h"
#include "tidewell/ui/text.h"

namespace tidewell::ui {
namespace {

using namespace std::chrono_literals;
using headless::HeadlessPlatform;
using testing::ElementsAre;

constexpr UINT WM_END_WITH = WM_USER + 5;
constexpr UINT_PTR kTimerId = 1;
constexpr int kBack = res::IDC_BACK;

// A page-like dialog that records what happens to it.
class ProbeDialog : public Dialog {
  public:
    explicit ProbeDialog(Platform& platform, int templateId = res::IDD_DETECTION)
        : Dialog(templateId, platform) {
        mapMessage(WM_END_WITH, [this](WPARAM w, LPARAM) {
            events.push_back("posted");
            EndDialog(static_cast<int>(w));
            return 0;
        });
    }

    std::vector<std::string> events;
    std::function<void(ProbeDialog&)> onInit;

    using Dialog::OnCommand;

  protected:
    void DoDataExchange() override { events.push_back("ddx"); }
    bool OnInitDialog() override {
        events.push_back("init");
        if (Menu* menu = GetSystemMenu(); menu != nullptr && !LoadString(101).empty()) {
            menu->AppendMenu(MF_SEPARATOR);
            menu->AppendMenu(MF_STRING, res::IDM_ABOUTBOX, LoadString(101));
        }
        if (onInit) {
            onInit(*this);
        }
        return true;
    }
    void OnOK() override {
        events.push_back("ok");
        Dialog::OnOK();
    }
    void OnCancel() override {
        events.push_back("cancel");
        Dialog::OnCancel();
    }
    bool OnCommand(int id) override {
        if (id == kBack) {
            events.push_back("back");
            EndDialog(kBack);
            return true;
        }
        return Dialog::OnCommand(id);
    }
    void OnTimer(UINT_PTR id) override {
        events.push_back(stringPrintf("timer %d", static_cast<int>(id)));
        if (id == kTimerId) {
            KillTimer(kTimerId);
            OnOK();
        }
    }
    void OnSysCommand(UINT id, LPARAM lParam) override {
        if ((id & SC_MASK) == static_cast<UINT>(res::IDM_ABOUTBOX)) {
            events.push_back("about");
            Dialog about(res::IDD_ABOUTBOX, this);
            events.push_back(stringPrintf("about ended %d", about.DoModal()));
            return;
        }
        Dialog::OnSysCommand(id, lParam);
    }
};

class DialogTest : public testing::Test {
  protected:
    HeadlessPlatform ui{res::tidewellResources()};
    headless::ScriptedUser& user = ui.user();
};

TEST_F(DialogTest, NextEndsTheRunWithOneAfterExchangeAndInitialisation) {
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) { d.GetDlgItem(IDOK).EnableWindow(true); };
    user.expectDialog(res::IDD_DETECTION).expectText(res::IDC_STATUS, "Detecting...").click(IDOK);
    EXPECT_EQ(page.DoModal(), IDOK) << user.report();
    EXPECT_THAT(page.events, ElementsAre("ddx", "init", "ok"));
    EXPECT_TRUE(user.ok());
    EXPECT_FALSE(page.IsWindow());
}

TEST_F(DialogTest, ADisabledButtonTakesNoClickAndTheScriptFails) {
    ProbeDialog page(ui);  // Next starts disabled on this page
    user.click(IDOK);
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    ASSERT_FALSE(user.ok());
    EXPECT_THAT(user.failures()[0], testing::HasSubstr("disabled"));
    EXPECT_THAT(page.events, ElementsAre("ddx", "init"));
}

TEST_F(DialogTest, HiddenControlsTakeNoClick) {
    ProbeDialog page(ui, res::IDD_PORT_SELECTION);  // Back is hidden there
    user.click(kBack);
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    EXPECT_THAT(user.report(), testing::HasSubstr("hidden"));
}

TEST_F(DialogTest, EscapeCloseBoxAndExitAllCancel) {
    ProbeDialog page(ui);
    user.pressEscape();
    EXPECT_EQ(page.DoModal(), IDCANCEL);
    user.closeBox();
    EXPECT_EQ(page.DoModal(), IDCANCEL);
    user.click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL);
    user.systemCommand(SC_CLOSE);
    EXPECT_EQ(page.DoModal(), IDCANCEL) << user.report();
    EXPECT_EQ(std::count(page.events.begin(), page.events.end(), "cancel"), 4);
}

TEST_F(DialogTest, EscapeAndCloseBoxDoNothingWhileCancelIsDisabled) {
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) { d.GetDlgItem(IDCANCEL).EnableWindow(false); };
    user.pressEscape().closeBox().expectDialog(res::IDD_DETECTION).click(kBack);
    EXPECT_EQ(page.DoModal(), kBack) << user.report();
    EXPECT_THAT(page.events, testing::Not(testing::Contains("cancel")));
}

TEST_F(DialogTest, EnterPressesTheDefaultButtonOnlyWhileItIsEnabled) {
    ProbeDialog page(ui);
    user.pressEnter()
        .expectDialog(res::IDD_DETECTION)
        .run([&page] { page.GetDlgItem(IDOK).EnableWindow(true); }, "enable Next")
        .pressEnter();
    EXPECT_EQ(page.DoModal(), IDOK) << user.report();
    EXPECT_EQ(std::count(page.events.begin(), page.events.end(), "ok"), 1);
}

TEST_F(DialogTest, AWindowTimerFiresOnTheVirtualClock) {
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) { d.SetTimer(kTimerId, 3000ms); };
    user.advance(2999ms).expectDialog(res::IDD_DETECTION).advance(1ms);
    EXPECT_EQ(page.DoModal(), IDOK) << user.report();
    EXPECT_THAT(page.events, ElementsAre("ddx", "init", "timer 1", "ok"));
    EXPECT_EQ(ui.now(), 3000ms);
}

TEST_F(DialogTest, TimersRepeatAndDieWithTheirWindow) {
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) { d.SetTimer(2, 100ms); };
    user.advance(350ms).click(kBack);
    EXPECT_EQ(page.DoModal(), kBack);
    EXPECT_EQ(std::count(page.events.begin(), page.events.end(), "timer 2"), 3);
    ui.advance(10s);
    EXPECT_EQ(std::count(page.events.begin(), page.events.end(), "timer 2"), 3);
}

TEST_F(DialogTest, ClickingBeforeTheTimerEndsThePageOnce) {
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) {
        d.GetDlgItem(IDOK).EnableWindow(true);
        d.SetTimer(kTimerId, 3000ms);
    };
    user.advance(1000ms).click(IDOK);
    EXPECT_EQ(page.DoModal(), IDOK);
    ui.advance(5s);
    EXPECT_THAT(page.events, ElementsAre("ddx", "init", "ok"));
}

TEST_F(DialogTest, AMessagePostedFromAnotherThreadEndsTheModalLoop) {
    ProbeDialog page(ui);
    std::atomic<bool> opened{false};
    page.onInit = [&opened](ProbeDialog&) { opened = true; };
    std::thread worker([&] {
        while (!opened) {
            std::this_thread::yield();
        }
        // The handle is read on the window thread before the dialog runs; poll isWindow.
        WindowHandle target;
        while (!target) {
            target = page.GetSafeHwnd();
            std::this_thread::yield();
        }
        EXPECT_TRUE(postMessage(target, WM_END_WITH, 42, 0));
    });
    // No script step: the loop waits for the post.
    EXPECT_EQ(page.DoModal(), 42) << user.report();
    worker.join();
    EXPECT_THAT(page.events, ElementsAre("ddx", "init", "posted"));
}

TEST_F(DialogTest, WaitsHandlePostsUntilTheirConditionHolds) {
    ProbeDialog page(ui);
    std::thread worker;
    page.onInit = [&worker](ProbeDialog& d) {
        const WindowHandle target = d.GetSafeHwnd();
        worker = std::thread([target] {
            for (int i = 0; i < 3; ++i) {
                postMessage(target, WM_COMMAND, MAKEWPARAM(1234, BN_CLICKED), 0);
            }
        });
    };
    int clicks = 0;
    page.mapCommand(1234, [&clicks] { ++clicks; });
    user.waitUntil([&clicks] { return clicks == 3; }, "three posted commands").click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL) << user.report();
    worker.join();
    EXPECT_EQ(clicks, 3);
}

TEST_F(DialogTest, AWaitThatNeverHoldsFailsAtItsDeadline) {
    ProbeDialog page(ui);
    user.waitForText(res::IDC_STATUS, "Device detected.", 30ms).click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    ASSERT_EQ(user.failures().size(), 1u);
    EXPECT_THAT(user.failures()[0], testing::HasSubstr("Device detected."));
    EXPECT_EQ(user.pending(), 0u);
}

TEST_F(DialogTest, AnOpenDialogWithNothingLeftToDoIsAbortedAfterTheStallTimeOut) {
    ui.setStallTimeout(20ms);
    ProbeDialog page(ui);
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    EXPECT_THAT(user.report(), testing::HasSubstr("dialog 104 is still open"));
    // Later runs end at once instead of hanging.
    EXPECT_EQ(page.DoModal(), kDialogFailed);
}

TEST_F(DialogTest, APageThatEndsItselfDuringInitialisationIsNeverShown) {
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) { d.EndDialog(IDOK); };
    EXPECT_EQ(page.DoModal(), IDOK);
    ASSERT_EQ(ui.dialogRuns().size(), 1u);
    EXPECT_FALSE(ui.dialogRuns()[0].shown);
    EXPECT_EQ(ui.dialogRuns()[0].result, IDOK);
    EXPECT_TRUE(user.ok());
}

TEST_F(DialogTest, EveryRunStartsFromTheTemplateState) {
    ProbeDialog page(ui, res::IDD_OPERATION_CHOICE);
    Control& box = page.GetDlgItem(res::IDC_OPERATION_FIRST);
    user.run([&box] {
            box.SetWindowText("Backup Setting");
            box.ShowWindow(SW_SHOW);
            box.EnableWindow(true);
        })
        .setCheck(res::IDC_OPERATION_FIRST, true)
        .expectChecked(res::IDC_OPERATION_FIRST)
        .click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL) << user.report();
    user.expectText(res::IDC_OPERATION_FIRST, "Check1")
        .expectVisible(res::IDC_OPERATION_FIRST, false)
        .expectEnabled(res::IDC_OPERATION_FIRST, false)
        .expectChecked(res::IDC_OPERATION_FIRST, false)
        .click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL) << user.report();
    EXPECT_EQ(&page.GetDlgItem(res::IDC_OPERATION_FIRST), &box);
}

TEST_F(DialogTest, AnUnknownTemplateCannotBeCreated) {
    ProbeDialog page(ui, 999);
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    EXPECT_TRUE(page.events.empty());
    EXPECT_THROW(page.GetDlgItem(IDOK), std::out_of_range);
}

TEST_F(DialogTest, CheckBoxClicksToggleTheMarkAndReachTheHandler) {
    ProbeDialog page(ui, res::IDD_OPERATION_CHOICE);
    std::vector<int> marks;
    const int id = res::IDC_OPERATION_FIRST + 2;
    page.mapCommand(id, [&] { marks.push_back(page.GetDlgItem(id).GetCheck()); });
    page.onInit = [id](ProbeDialog& d) {
        d.GetDlgItem(id).ShowWindow(SW_SHOW);
        d.GetDlgItem(id).EnableWindow(true);
    };
    user.click(id).click(id).click(id).click(res::IDC_OPERATION_FIRST).click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), kDialogFailed);  // box 1015 is hidden
    EXPECT_EQ(marks, (std::vector<int>{BST_CHECKED, BST_UNCHECKED, BST_CHECKED}));
}

TEST_F(DialogTest, ListsSelectByPrefixAndReportSelectionChanges) {
    ProbeDialog page(ui, res::IDD_PORT_SELECTION);
    Control& list = page.GetDlgItem(res::IDC_PORT_LIST);
    int changes = 0;
    page.mapNotify(res::IDC_PORT_LIST, CBN_SELCHANGE, [&changes] { ++changes; });
    page.onInit = [&list](ProbeDialog&) {
        for (int n = 1; n <= 9; ++n) {
            list.AddString(stringPrintf("COM%d", n));
        }
        EXPECT_EQ(list.SelectString(0, "com4"), 3);
        EXPECT_EQ(list.SelectString(0, "COM1"), 0);  // wraps round to the first entry
        EXPECT_EQ(list.SelectString(0, "COM12"), CB_ERR);
        EXPECT_EQ(list.GetCurSel(), 0);
    };
    user.select(res::IDC_PORT_LIST, "COM7").click(IDOK);
    EXPECT_EQ(page.DoModal(), IDOK) << user.report();
    EXPECT_EQ(list.GetCurSel(), 6);
    EXPECT_EQ(changes, 1);
}

TEST_F(DialogTest, TypingReplacesTheTextAndNotifies) {
    ProbeDialog page(ui, res::IDD_FILE_SELECTION);
    std::string seen;
    page.mapNotify(res::IDC_FILE_BOX, EN_CHANGE,
                   [&] { seen = page.GetDlgItem(res::IDC_FILE_BOX).GetWindowText(); });
    page.onInit = [](ProbeDialog& d) { d.GetDlgItem(res::IDC_FILE_BOX).EnableWindow(true); };
    user.type(res::IDC_FILE_BOX, "/tmp/a.pkg").click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL) << user.report();
    EXPECT_EQ(seen, "/tmp/a.pkg");
}

TEST_F(DialogTest, NobodyTypesIntoADisabledField) {
    ProbeDialog page(ui, res::IDD_FILE_SELECTION);  // the file box starts disabled
    user.type(res::IDC_FILE_BOX, "typed");
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    EXPECT_THAT(user.report(), testing::HasSubstr("disabled"));
}

TEST_F(DialogTest, TheSystemMenuAboutItemOpensANestedModalDialog) {
    ProbeDialog page(ui);
    user.systemCommand(res::IDM_ABOUTBOX)
        .expectDialog(res::IDD_ABOUTBOX)
        .click(IDOK)
        .expectDialog(res::IDD_DETECTION)
        .systemCommand(res::IDM_ABOUTBOX)
        .pressEscape()
        .click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL) << user.report();
    EXPECT_THAT(page.events, ElementsAre("ddx", "init", "about", "about ended 1", "about",
                                         "about ended 2", "cancel"));
}

TEST_F(DialogTest, SystemCommandsMustBeInTheSystemMenu) {
    ProbeDialog page(ui);
    user.systemCommand(0x20);
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    EXPECT_THAT(user.report(), testing::HasSubstr("no such control"));
}

TEST_F(DialogTest, MessageBoxesCarryTheApplicationNameAndTakeScriptedAnswers) {
    ProbeDialog page(ui);
    std::vector<int> answers;
    page.onInit = [&answers](ProbeDialog& d) {
        answers.push_back(d.MessageBox("Can't open file."));
        answers.push_back(d.MessageBox("Can't send command", "OnSendButton()"));
        answers.push_back(d.MessageBox("Again?", nullptr, MB_YESNO));
        d.MessageBeep(MB_SIMPLEBEEP);
        d.EndDialog(IDOK);
    };
    user.answerMessageBox(IDOK, "Can't open file.");
    EXPECT_EQ(page.DoModal(), IDOK) << user.report();
    EXPECT_EQ(answers, (std::vector<int>{IDOK, IDOK, IDYES}));
    ASSERT_EQ(ui.messageBoxes().size(), 3u);
    EXPECT_EQ(ui.messageBoxes()[0].caption, "tidewell_ui_tests");
    EXPECT_EQ(ui.messageBoxes()[0].ownerTemplate, res::IDD_DETECTION);
    EXPECT_TRUE(ui.messageBoxes()[0].scripted);
    EXPECT_EQ(ui.messageBoxes()[1].caption, "OnSendButton()");
    EXPECT_FALSE(ui.messageBoxes()[1].scripted);
    EXPECT_EQ(ui.beeps(), std::vector<UINT>{MB_SIMPLEBEEP});
}

TEST_F(DialogTest, AnAnswerForABoxThatShowsOtherTextFailsTheScript) {
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) { d.MessageBox("Firmware file is not valid."); };
    user.answerMessageBox(IDOK, "Can't open file.");
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    EXPECT_THAT(user.report(), testing::HasSubstr("Firmware file is not valid."));

    HeadlessPlatform other(res::tidewellResources());
    ProbeDialog quiet(other);
    other.user().answerMessageBox(IDOK).click(IDCANCEL);
    quiet.DoModal();
    EXPECT_THAT(other.user().report(), testing::HasSubstr("no such dialog was shown"));
}

TEST_F(DialogTest, StrictAnswersFailOnAnUnscriptedBox) {
    ui.setStrictAnswers(true);
    ProbeDialog page(ui);
    page.onInit = [](ProbeDialog& d) { d.MessageBox("surprise"); };
    EXPECT_EQ(page.DoModal(), kDialogFailed);
    EXPECT_THAT(user.report(), testing::HasSubstr("unexpected message box \"surprise\""));
}

TEST_F(DialogTest, TheFileDialogTakesAScriptedPathOrCancel) {
    ProbeDialog page(ui, res::IDD_FILE_SELECTION);
    std::vector<std::string> chosen;
    page.mapCommand(res::IDC_BROWSE, [&] {
        FileDialog dialog(ui, true, "", "./backups/setting*.bak", 0, "Backup files (*.bak)|*.bak|");
        if (dialog.DoModal() == IDOK) {
            chosen.push_back(dialog.GetPathName() + " | " + dialog.GetFileName());
        } else {
            chosen.push_back("cancelled");
        }
    });
    user.click(res::IDC_BROWSE)
        .answerFileDialog("/data/b/setting_2.bak")
        .click(res::IDC_BROWSE)
        .cancelFileDialog()
        .click(res::IDC_BROWSE)
        .click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL) << user.report();
    EXPECT_EQ(chosen, (std::vector<std::string>{"/data/b/setting_2.bak | setting_2.bak",
                                                "cancelled", "cancelled"}));
    ASSERT_EQ(ui.fileDialogs().size(), 3u);
    const FileDialogRequest& request = ui.fileDialogs()[0].request;
    EXPECT_EQ(request.initialFolder, "./backups");
    EXPECT_EQ(request.initialName, "setting*.bak");
    ASSERT_EQ(request.filters.size(), 1u);
    EXPECT_EQ(request.filters[0].pattern, "*.bak");
    EXPECT_FALSE(ui.fileDialogs()[2].scripted);
}

TEST(FileDialogRequest, SplitsTheStartingName) {
    auto r = makeFileDialogRequest(true, "", "/*.pkg", 0, "");
    EXPECT_EQ(r.initialFolder, "/");
    EXPECT_EQ(r.initialName, "*.pkg");
    r = makeFileDialogRequest(true, "", "firmware.pkg", 0, "");
    EXPECT_EQ(r.initialFolder, "");
    EXPECT_EQ(r.initialName, "firmware.pkg");
}

TEST_F(DialogTest, PaintHandlersDrawThroughARecordingContext) {
    ProbeDialog page(ui);
    Control& title = page.GetDlgItem(res::IDC_TITLE);
    title.SetPaintHandler([&title](PaintDC& dc) {
        LOGFONT font;
        font.lfHeight = 16;
        font.lfWeight = FW_BOLD;
        setFaceName(font, "Tahoma");
        const Rect client = dc.GetClientRect();
        dc.SelectFont(font);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(RGB(255, 255, 255));
        dc.DrawText(title.GetWindowText(), client, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    });
    page.onInit = [&title](ProbeDialog&) {
        title.SetWindowText("Backup & Restore of a very long title that is cut");
    };
    headless::PaintRecord record;
    user.run([&] { record = ui.paint(title); }).click(IDCANCEL);
    EXPECT_EQ(page.DoModal(), IDCANCEL);
    const auto* text = record.find(headless::PaintOp::Kind::DrawText);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(record.clientRect, (Rect{0, 0, 225, 19}));
    EXPECT_EQ(text->origin, (Point{0, 1}));                  // left edge, centred: (19 - 16) / 2
    EXPECT_EQ(text->shown, "Backup & Restore of a very l");  // 225 px at 8 px a character
    EXPECT_STREQ(text->font.lfFaceName, "Tahoma");
    EXPECT_EQ(text->colour, RGB(255, 255, 255));
    EXPECT_EQ(text->mode, TRANSPARENT);
    EXPECT_EQ(record.find(headless::PaintOp::Kind::FillRect), nullptr);
}

}  // namespace
}  // namespace tidewell::ui
