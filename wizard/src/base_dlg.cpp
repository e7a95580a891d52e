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

}  // namespace

CBaseDlg::CBaseDlg(int templateId, CMainFrame* parent)
    : ui::Dialog(templateId, requireFrame(parent)), m_hIcon(res::IDR_MAINFRAME), m_pFrame(parent) {}

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
    return true;
}

void CBaseDlg::OnCancel() {
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
