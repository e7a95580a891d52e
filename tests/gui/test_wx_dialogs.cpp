// Wizard-page templates as real wx dialogs: widgets mirror the models both ways,
// the About item is reachable, timers and posted messages end modal runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>

#include <cmath>
#include <thread>

#include "gui_support.h"
#include "tidewell/ui/text.h"
#include "tidewell/ui/wx/testing.h"
#include "tidewell/ui/wx/wx_platform.h"

namespace tidewell::gui {
namespace {

using namespace std::chrono_literals;
using ui::wxtest::nativeControl;
using ui::wxtest::nativeWindow;

class WxDialogTest : public testing::Test {
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
            EXPECT_THAT(script.failures(), testing::IsEmpty());
        }
    }

    void click(wxWindow* button) {
        ASSERT_NE(button, nullptr);
        wxCommandEvent event(wxEVT_BUTTON, button->GetId());
        event.SetEventObject(button);
        button->GetEventHandler()->ProcessEvent(event);
    }

    std::unique_ptr<ui::Platform> platform;
    Script script;
};

void fillPorts(PageDialog& page) {
    ui::Control& list = page.GetDlgItem(res::IDC_PORT_LIST);
    for (int n = 1; n <= 9; ++n) {
        list.AddString(ui::stringPrintf("COM%d", n));
    }
    list.SelectString(0, "COM3");
}

TEST_F(WxDialogTest, APageShowsItsTemplateAndMirrorsTheModelBothWays) {
    PageDialog page(*platform, res::IDD_PORT_SELECTION, "Welcome");
    page.onInit = fillPorts;
    int selectionChanges = 0;
    page.mapNotify(res::IDC_PORT_LIST, ui::CBN_SELCHANGE, [&] { ++selectionChanges; });
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] {
                auto* next = dynamic_cast<wxButton*>(nativeControl(page, ui::IDOK));
                ASSERT_NE(next, nullptr);
                EXPECT_EQ(next->GetLabel(), "&Next >");
                EXPECT_TRUE(next->IsEnabled());
                EXPECT_FALSE(nativeControl(page, res::IDC_BACK)->IsShown());
                auto* list = dynamic_cast<wxChoice*>(nativeControl(page, res::IDC_PORT_LIST));
                ASSERT_NE(list, nullptr);
                EXPECT_EQ(list->GetCount(), 9u);
                EXPECT_EQ(list->GetSelection(), 2);
                EXPECT_EQ(nativeWindow(page)->GetLabel(), "Tidewell 1.2");
                // Painted, not a widget: the title and the banner.
                EXPECT_EQ(nativeControl(page, res::IDC_TITLE), nullptr);

                // Model to screen.
                page.GetDlgItem(res::IDC_STATUS)
                    .SetWindowText(ui::formatMessage(res::loadString(131), 3));
                auto* status = dynamic_cast<wxStaticText*>(nativeControl(page, res::IDC_STATUS));
                ASSERT_NE(status, nullptr);
                EXPECT_EQ(status->GetLabel(), "Unable to open COM3.");
                page.GetDlgItem(ui::IDOK).EnableWindow(false);
                EXPECT_FALSE(next->IsEnabled());
                page.GetDlgItem(ui::IDOK).EnableWindow(true);

                // Screen to model: the user picks COM5.
                list->SetSelection(4);
                wxCommandEvent pick(wxEVT_CHOICE, list->GetId());
                pick.SetInt(4);
                pick.SetEventObject(list);
                list->GetEventHandler()->ProcessEvent(pick);
                EXPECT_EQ(page.GetDlgItem(res::IDC_PORT_LIST).GetCurSel(), 4);
                EXPECT_EQ(selectionChanges, 1);
                page.GetDlgItem(res::IDC_STATUS).SetWindowText("");
                saveScreenshot(page, "port-selection");

                // A real pointer click on Next.
                wxUIActionSimulator sim;
                sim.MouseMove(next->GetScreenRect().GetPosition() + wxPoint(20, 8));
                sim.MouseClick();
            })
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDOK);
    EXPECT_FALSE(page.IsWindow());
    EXPECT_EQ(nativeWindow(page), nullptr);
}

TEST_F(WxDialogTest, EveryPageTemplateLooksRight) {
    struct Shot {
        int id;
        const char* title;
        const char* file;
        std::function<void(PageDialog&)> fill;
        std::function<void(PageDialog&, const std::string&)> check = nullptr;
    };
    const std::vector<Shot> shots = {
        {res::IDD_DETECTION, "Detection", "detection",
         [](PageDialog& d) {
             d.GetDlgItem(res::IDC_STATUS).SetWindowText(res::loadString(133));
             d.GetDlgItem(ui::IDOK).EnableWindow(true);
         }},
        {res::IDD_OPERATION_CHOICE, "Operation", "operation-choice",
         [](PageDialog& d) {
             const char* names[] = {"Backup Setting", "Backup Playlist", "Update Firmware",
                                    "Restore Setting", "Restore Playlist"};
             for (int i = 0; i < res::IDC_OPERATION_COUNT; ++i) {
                 ui::Control& box = d.GetDlgItem(res::IDC_OPERATION_FIRST + i);
                 box.SetWindowText(names[i]);
                 box.ShowWindow(ui::SW_SHOW);
                 box.EnableWindow(true);
                 box.SetCheck(i == 2 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
             }
             d.GetDlgItem(ui::IDOK).EnableWindow(true);
         }},
        {res::IDD_PROGRESS, "Update", "progress",
         [](PageDialog& d) {
             d.GetDlgItem(res::IDC_PROGRESS).SetRange(0, 100);
             d.GetDlgItem(res::IDC_PROGRESS).SetPos(42);
             d.GetDlgItem(res::IDC_STATUS)
                 .SetWindowText(ui::formatMessage(res::loadString(145), 42));
         },
         [](PageDialog& d, const std::string& png) {
             // The bar fills its box: at 42 % a column of the filled part is one colour
             // from top to bottom, and another than a column of the rest.
             wxRect box = nativeControl(d, res::IDC_PROGRESS)->GetScreenRect();
             box.Offset(-nativeWindow(d)->GetScreenRect().GetPosition());
             const wxRect filled(box.x + box.width / 5, box.y + 4, 1, box.height - 8);
             const wxRect rest(box.x + box.width * 4 / 5, box.y + 4, 1, box.height - 8);
             EXPECT_GE(box.height, 20);
             EXPECT_LT(imageValue(png, filled, "standard_deviation"), 0.02);
             EXPECT_GT(std::abs(imageValue(png, filled, "mean") - imageValue(png, rest, "mean")),
                       0.1);
         }},
        {res::IDD_FILE_SELECTION, "Firmware Selection", "file-selection",
         [](PageDialog& d) {
             d.GetDlgItem(res::IDC_FILE_BOX).SetWindowText("/home/tech/firmware/player-1.2.pkg");
             d.GetDlgItem(ui::IDOK).EnableWindow(true);
         }},
    };
    for (const Shot& shot : shots) {
        SCOPED_TRACE(shot.file);
        PageDialog page(*platform, shot.id, shot.title);
        page.onInit = shot.fill;
        Script pageScript;
        pageScript
            .when(
                "the page on screen", [&] { return shownAndPainted(page); },
                [&] {
                    EXPECT_TRUE(saveScreenshot(page, shot.file));
                    if (shot.check) {
                        shot.check(page, screenshotPath(shot.file));
                    }
                    page.EndDialog(ui::IDCANCEL);
                })
            .start();
        EXPECT_EQ(page.DoModal(), ui::IDCANCEL);
        EXPECT_THAT(pageScript.failures(), testing::IsEmpty());
    }
}

TEST_F(WxDialogTest, TheChoicePageShowsAndTicksWithoutToolkitWarnings) {
    ui::wxtest::ToolkitMessages toolkit;
    PageDialog page(*platform, res::IDD_OPERATION_CHOICE, "Operation");
    page.onInit = [](PageDialog& d) {
        for (int i = 0; i < res::IDC_OPERATION_COUNT; ++i) {
            ui::Control& box = d.GetDlgItem(res::IDC_OPERATION_FIRST + i);
            box.SetWindowText("Backup Setting");
            box.ShowWindow(ui::SW_SHOW);
            box.EnableWindow(true);
        }
    };
    int turns = 0;
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] { page.GetDlgItem(res::IDC_OPERATION_FIRST).SetCheck(ui::BST_CHECKED); })
        .when(
            "the mark drawn", [&] { return ++turns > 20; }, [&] { page.EndDialog(ui::IDCANCEL); })
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDCANCEL);
    EXPECT_THAT(toolkit.messages(), testing::IsEmpty());
}

TEST_F(WxDialogTest, CheckBoxesAndEditFieldsWriteUserInputBack) {
    PageDialog page(*platform, res::IDD_OPERATION_CHOICE, "Operation");
    const int boxId = res::IDC_OPERATION_FIRST + 1;
    page.onInit = [boxId](PageDialog& d) {
        d.GetDlgItem(boxId).ShowWindow(ui::SW_SHOW);
        d.GetDlgItem(boxId).EnableWindow(true);
    };
    std::vector<int> marks;
    page.mapCommand(boxId, [&] { marks.push_back(page.GetDlgItem(boxId).GetCheck()); });
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] {
                auto* box = dynamic_cast<wxCheckBox*>(nativeControl(page, boxId));
                ASSERT_NE(box, nullptr);
                EXPECT_TRUE(box->IsShown());
                EXPECT_FALSE(nativeControl(page, res::IDC_OPERATION_FIRST)->IsShown());
                box->SetValue(true);
                wxCommandEvent event(wxEVT_CHECKBOX, box->GetId());
                event.SetInt(1);
                event.SetEventObject(box);
                box->GetEventHandler()->ProcessEvent(event);
                EXPECT_TRUE(box->GetValue());
                page.EndDialog(ui::IDOK);
            })
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDOK);
    EXPECT_EQ(marks, std::vector<int>{ui::BST_CHECKED});
}

TEST_F(WxDialogTest, TheAboutItemIsAButtonInTheButtonRowAndOpensTheAboutBox) {
    PageDialog page(*platform, res::IDD_DETECTION, "Detection");
    wxDialog* about = nullptr;
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] {
                const auto buttons = ui::wxtest::systemMenuButtons(page);
                ASSERT_EQ(buttons.size(), 2u);
                EXPECT_EQ(buttons[0]->GetLabel(), "&About...");
                EXPECT_EQ(buttons[1]->GetLabel(), "&Terminal window");
                const wxRect exit = nativeControl(page, ui::IDCANCEL)->GetRect();
                const wxRect back = nativeControl(page, res::IDC_BACK)->GetRect();
                const wxRect aboutButton = buttons[0]->GetRect();
                EXPECT_GT(aboutButton.GetLeft(), exit.GetRight());
                EXPECT_LT(buttons[1]->GetRect().GetRight(), back.GetLeft());
                EXPECT_EQ(aboutButton.GetTop(), exit.GetTop());
                click(buttons[0]);  // runs the nested About box until it ends
            })
        .when(
            "the About box on screen",
            [&] {
                for (wxWindow* w : wxTopLevelWindows) {
                    auto* d = dynamic_cast<wxDialog*>(w);
                    if (d != nullptr && d->IsModal() && d->GetTitle() == "About Tidewell" &&
                        d->IsShownOnScreen()) {
                        about = d;
                        return true;
                    }
                }
                return false;
            },
            [&] {
                about->Update();
                const wxRect r = about->GetScreenRect();
                EXPECT_GT(r.width, 0);
                for (wxWindow* child : about->GetChildren()) {
                    if (auto* ok = dynamic_cast<wxButton*>(child); ok && ok->GetLabel() == "OK") {
                        click(ok);
                    }
                }
            })
        .when(
            "back on the page", [&] { return page.aboutResult != 0; },
            [&] { click(nativeControl(page, ui::IDCANCEL)); })
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDCANCEL);
    EXPECT_EQ(page.aboutResult, ui::IDOK);
}

TEST_F(WxDialogTest, APageEndedWhileItsAboutBoxIsOpenClosesOnlyAfterTheAboutBox) {
    PageDialog page(*platform, res::IDD_DETECTION, "Detection");
    const auto aboutOpen = [] {
        for (wxWindow* w : wxTopLevelWindows) {
            auto* d = dynamic_cast<wxDialog*>(w);
            if (d != nullptr && d->IsModal() && d->GetTitle() == "About Tidewell") {
                return d;
            }
        }
        return static_cast<wxDialog*>(nullptr);
    };
    bool aboutStillOpen = false;
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] { click(ui::wxtest::systemMenuButtons(page).at(0)); })
        .when(
            "the About box open", [&] { return aboutOpen() != nullptr; },
            [&] {
                // As when the page's own timer fires behind the About box.
                page.EndDialog(ui::IDOK);
            })
        .when(
            "the About box still open", [&] { return true; },
            [&] {
                aboutStillOpen = aboutOpen() != nullptr;
                if (wxDialog* about = aboutOpen()) {
                    about->EndModal(wxID_OK);
                }
            })
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDOK);
    EXPECT_TRUE(aboutStillOpen);
}

TEST_F(WxDialogTest, TheAboutBoxLooksRight) {
    ui::Dialog about(res::IDD_ABOUTBOX, *platform);
    script
        .when(
            "the About box on screen", [&] { return shownAndPainted(about); },
            [&] {
                EXPECT_TRUE(saveScreenshot(about, "about"));
                click(nativeControl(about, ui::IDOK));
            })
        .start();
    EXPECT_EQ(about.DoModal(), ui::IDOK);
}

TEST_F(WxDialogTest, ATimerEndsAModalRunAndSoDoesAMessagePostedFromAThread) {
    PageDialog timed(*platform, res::IDD_DETECTION, "Detection");
    timed.onInit = [](PageDialog& d) { d.SetTimer(1, 30ms); };
    int ticks = 0;
    timed.mapMessage(ui::WM_TIMER, [&](ui::WPARAM id, ui::LPARAM) {
        if (++ticks == 2) {
            timed.KillTimer(id);
            timed.EndDialog(7);
        }
        return 0;
    });
    EXPECT_EQ(timed.DoModal(), 7);
    EXPECT_EQ(ticks, 2);

    constexpr ui::UINT WM_FROM_WORKER = ui::WM_USER + 9;
    PageDialog posted(*platform, res::IDD_DETECTION, "Detection");
    std::thread worker;
    posted.onInit = [&worker](PageDialog& d) {
        const ui::WindowHandle target = d.GetSafeHwnd();
        worker =
            std::thread([target] { EXPECT_TRUE(ui::postMessage(target, WM_FROM_WORKER, 9, 0)); });
    };
    posted.mapMessage(WM_FROM_WORKER, [&posted](ui::WPARAM w, ui::LPARAM) {
        posted.EndDialog(static_cast<int>(w));
        return 0;
    });
    EXPECT_EQ(posted.DoModal(), 9);
    worker.join();
    EXPECT_FALSE(ui::isWindow(posted.GetSafeHwnd()));
}

TEST_F(WxDialogTest, OnThePortListArrowsChooseAndEnterPressesNextWithoutOpeningTheList) {
    PageDialog page(*platform, res::IDD_PORT_SELECTION, "Welcome");
    page.onInit = fillPorts;
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] {
                auto* list = dynamic_cast<wxChoice*>(nativeControl(page, res::IDC_PORT_LIST));
                ASSERT_NE(list, nullptr);
                nativeWindow(page)->Raise();
                list->SetFocus();
                wxUIActionSimulator().Char(WXK_DOWN);
            })
        .when(
            "COM4 chosen with the arrow key",
            [&] { return page.GetDlgItem(res::IDC_PORT_LIST).GetCurSel() == 3; },
            [&] { wxUIActionSimulator().Char(WXK_RETURN); })
        // An opened list would keep the page: the step times out and ends it.
        .when(
            "the page ended by Enter", [&] { return !page.IsWindow(); }, [] {},
            std::chrono::seconds(5))
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDOK);
}

TEST_F(WxDialogTest, EnterOnACheckBoxPressesTheDefaultButtonAndSpaceTicksIt) {
    PageDialog page(*platform, res::IDD_OPERATION_CHOICE, "Operation");
    const int boxId = res::IDC_OPERATION_FIRST;
    page.onInit = [boxId](PageDialog& d) {
        d.GetDlgItem(boxId).ShowWindow(ui::SW_SHOW);
        d.GetDlgItem(boxId).EnableWindow(true);
        d.GetDlgItem(ui::IDOK).EnableWindow(true);
    };
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] {
                nativeWindow(page)->Raise();
                nativeControl(page, boxId)->SetFocus();
                wxUIActionSimulator().Char(' ');
            })
        .when(
            "the box ticked with Space",
            [&] { return page.GetDlgItem(boxId).GetCheck() == ui::BST_CHECKED; },
            [&] { wxUIActionSimulator().Char(WXK_RETURN); })
        .when(
            "the page ended by Enter", [&] { return !page.IsWindow(); }, [] {},
            std::chrono::seconds(5))
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDOK);
    EXPECT_EQ(page.GetDlgItem(boxId).GetCheck(), ui::BST_CHECKED);
}

TEST_F(WxDialogTest, EscapeCancelsThroughTheKeyboard) {
    PageDialog page(*platform, res::IDD_DETECTION, "Detection");
    script
        .when(
            "the page on screen", [&] { return shownAndPainted(page); },
            [&] {
                nativeWindow(page)->Raise();
                nativeWindow(page)->SetFocus();
                wxUIActionSimulator sim;
                sim.Char(WXK_ESCAPE);
            })
        .start();
    EXPECT_EQ(page.DoModal(), ui::IDCANCEL);
}

}  // namespace
}  // namespace tidewell::gui
