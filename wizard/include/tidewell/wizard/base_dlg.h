// CBaseDlg: the base of every wizard page. It gives a page the shared look
// (application icon, "&About..." and "&Terminal window" in the system menu,
// banner and title from the page template), the Back/Next/Exit results read by
// CMainFrame::runWizard, the frame pointer through which a page reaches the
// link, the operation plan and the application's settings, and the two hooks
// through which the frame hands worker notifications to the page that shows.
//
// Writing a page (wizard/src/pages/*.cpp, headers in
// wizard/include/tidewell/wizard/pages/; the tidewell_pages library picks up
// every .cpp there by itself, no CMake edit needed):
//   class CDetectionDlg : public CBaseDlg {
//     public:
//       explicit CDetectionDlg(CMainFrame* parent) : CBaseDlg(res::IDD_DETECTION, parent) {}
//       void onResult(std::int32_t code) override;
//     protected:
//       void DoDataExchange() override {          // base first: binds m_next
//           CBaseDlg::DoDataExchange();
//           m_title.bind(GetDlgItem(res::IDC_TITLE));
//       }
//       bool OnInitDialog() override;             // call CBaseDlg::OnInitDialog() first
//       void OnTimer(ui::UINT_PTR id) override;
//     private:
//       CColorStatic m_title;
//   };
// Settings: m_pFrame->getApp().getCommPort() and the other accessors of
// CTidewellApp. Message boxes: MessageBox(text) (the page is the owner, the
// caption is the application's name). Beep: MessageBeep(ui::MB_SIMPLEBEEP).
// The open-file dialog: ui::FileDialog(GetPlatform(), true, "", start, 0, filter, nullptr).
// A page that has nothing to do ends itself from OnInitDialog with
// EndDialog(kPageNext) (or its OnOK); the driver counts that as Next.
//
// The pages are built by makeWizardPages (wizard_pages.h), which the pages
// library defines.
//
// Everything here runs on the window thread.
#pragma once

#include <cstdint>

#include "tidewell/resources/ids.h"
#include "tidewell/ui/dialog.h"
#include "tidewell/ui/types.h"
#include "tidewell/wizard/color_static.h"

namespace tidewell {

class CMainFrame;

// Posted by a page to the frame when the user leaves the wizard; both parameters 0.
inline constexpr ui::UINT WM_WIZARD_EXIT = ui::WM_USER + 2;

// Results of a page's modal run, as the driver reads them.
inline constexpr int kPageNext = ui::IDOK;       // 1
inline constexpr int kPageExit = ui::IDCANCEL;   // 2
inline constexpr int kPageBack = res::IDC_BACK;  // 3

// System-menu items every page adds (delivered as WM_SYSCOMMAND with the id).
inline constexpr ui::UINT IDM_ABOUTBOX = res::IDM_ABOUTBOX;  // 0x10: the About box
// Shows the terminal window and keeps it open after the wizard (see
// CMainFrame::showTerminalWindow).
inline constexpr ui::UINT IDM_TERMINAL = 0x20;
// Its caption (the About item's is string 101).
inline constexpr const char* kTerminalMenuText = "&Terminal window";

// The wizard's step types; position i of the frame's step sequence holds type i.
enum StepType : std::int32_t {
    stepSelectPort = 0,
    stepDetect = 1,
    stepChooseOperations = 2,
    stepBackupTransfers = 3,  // progress page, progressMode 1
    stepChooseFirmware = 4,   // file selection page, fileSelectionMode 1
    stepChooseSetting = 5,    // file selection page, fileSelectionMode 3
    stepChoosePlaylist = 6,   // file selection page, fileSelectionMode 5
    stepUpdateTransfers = 7,  // progress page, progressMode 2
    stepRestart = 8,          // no page: back to the detection position
};
inline constexpr int kStepCount = 9;

class CBaseDlg : public ui::Dialog {
  public:
    // parent must not be null: it is the frame whose state the page works on.
    CBaseDlg(int templateId, CMainFrame* parent);
    ~CBaseDlg() override;

    // A worker result (notifyResult) while this page is the active page.
    virtual void onResult(std::int32_t code);
    // A worker progress value (notifyProgress) while this page is the active page.
    virtual void onProgress(std::int32_t percent);

    CMainFrame* getFrame() const { return m_pFrame; }

  protected:
    // Binds control 1 ("&Next >") to m_next. Overrides call it first.
    void DoDataExchange() override;
    // Adds the system-menu items and sets the icon. Overrides call it first.
    bool OnInitDialog() override;
    // Next: ends the page with kPageNext (the dialog's own OnOK).
    // Exit, close box, Escape: while a transfer runs, asks first whether to stop it
    // (No stays); then posts WM_WIZARD_EXIT to the frame and ends with kPageExit.
    void OnCancel() override;
    // Back (command 3): ends the page with kPageBack.
    virtual void OnBack();
    // IDM_ABOUTBOX shows the About box modally; IDM_TERMINAL turns the terminal
    // window on; everything else gets the default handling.
    void OnSysCommand(ui::UINT id, ui::LPARAM lParam) override;
    bool OnCommand(int id) override;

    // The Next button of the current window; null before DoDataExchange.
    ui::Control* m_next = nullptr;
    // Application icon resource (128).
    int m_hIcon;
    // The frame that runs the wizard; not owned.
    CMainFrame* m_pFrame;
};

}  // namespace tidewell
