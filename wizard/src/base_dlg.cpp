#include "tidewell/wizard/base_dlg.h"

#include <stdexcept>

#include "tidewell/frame/main_frame.h"
#include "tidewell/wizard/about_dlg.h"

namespace tidewell {
namespace {

CMainFrame* requireFrame(CMainFrame* frame) {
    if (frame == nullptr) {
        throw std::invalid_argument("a wizard page needs the main frame as its parent");
    }
    return frame;
}

// Posted by a page shown while the terminal window is in front, to itself.
constexpr ui::UINT WM_STEP_ASIDE = ui::WM_USER + 3;

}  // namespace

CBaseDlg::CBaseDlg(int templateId, CMainFrame* parent)
    : ui::Dialog(templateId, requireFrame(parent)), m_hIcon(res::IDR_MAINFRAME), m_pFrame(parent) {
    mapMessage(WM_STEP_ASIDE, [this](ui::WPARAM, ui::LPARAM) {
        if (m_pFrame->isTerminalInFront() && m_pFrame->getActivePage() == this) {
            m_pFrame->showTerminalWindow();
        }
        return 0;
    });
}

CBaseDlg::~CBaseDlg() = default;

void CBaseDlg::onResult(std::int32_t /*code*/) {}

void CBaseDlg::onProgress(std::int32_t /*percent*/) {}

void CBaseDlg::DoDataExchange() {
    m_next = FindDlgItem(ui::IDOK);
}

bool CBaseDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    if (ui::Menu* menu = GetSystemMenu()) {
        const std::string about = LoadString(res::IDS_ABOUTBOX);
        if (!about.empty()) {
            menu->AppendMenu(ui::MF_SEPARATOR);
            menu->AppendMenu(ui::MF_STRING, static_cast<int>(IDM_ABOUTBOX), about);
            menu->AppendMenu(ui::MF_STRING, static_cast<int>(IDM_TERMINAL), kTerminalMenuText);
        }
    }
    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);
    if (m_pFrame->isTerminalInFront()) {
        // Once shown: the terminal window keeps the wizard's place until it is closed.
        PostMessage(WM_STEP_ASIDE);
    }
    return true;
}

void CBaseDlg::OnCancel() {
    if (!m_pFrame->confirmStopTransfer(*this)) {
        return;
    }
    ui::postMessage(m_pFrame->GetSafeHwnd(), WM_WIZARD_EXIT, 0, 0);
    ui::Dialog::OnCancel();
}

void CBaseDlg::OnBack() {
    EndDialog(kPageBack);
}

bool CBaseDlg::OnCommand(int id) {
    if (ui::Dialog::OnCommand(id)) {
        return true;
    }
    if (id == res::IDC_BACK) {
        OnBack();
        return true;
    }
    return false;
}

void CBaseDlg::OnSysCommand(ui::UINT id, ui::LPARAM lParam) {
    switch (id & ui::SC_MASK) {
        case IDM_ABOUTBOX: {
            CAboutDlg about(this);
            about.DoModal();
            return;
        }
        case IDM_TERMINAL:
            m_pFrame->showTerminalWindow();
            return;
        default:
            ui::Dialog::OnSysCommand(id, lParam);
    }
}

}  // namespace tidewell
