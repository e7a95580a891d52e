#include "tidewell/wizard/pages/detection_dlg.h"

#include <string>
#include <string_view>

#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/engine/worker_codes.h"
#include "tidewell/resources/ids.h"
#include "tidewell/ui/text.h"

namespace tidewell {

namespace {

constexpr std::string_view kErrorPrefix = "Error: ";

}  // namespace

CDetectionDlg::CDetectionDlg(WizardHost* parent) : CBaseDlg(res::IDD_DETECTION, parent) {}

void CDetectionDlg::DoDataExchange() {
    CBaseDlg::DoDataExchange();
    m_title.bind(GetDlgItem(res::IDC_TITLE));
    m_status = &GetDlgItem(res::IDC_STATUS);
}

bool CDetectionDlg::OnInitDialog() {
    CBaseDlg::OnInitDialog();
    m_title.SetWindowText(LoadString(res::IDS_TITLE_DETECTION));
    // Without a connection nothing happens: the page waits at "Detecting...".
    m_pFrame->sendWorkerCommand(cmdDetect);
    return true;
}

void CDetectionDlg::onResult(std::int32_t code) {
    const std::int32_t command = m_pFrame->getWorkerCommand();
    if (code == resDeviceLost && (command == cmdDetect || command == cmdLogin)) {
        showLoss(command);
        return;
    }
    if (command == cmdDetect) {
        if (code == resDetected) {
            m_pFrame->sendWorkerCommand(cmdLogin);
        } else {
            m_status->SetWindowText(LoadString(res::IDS_DETECTION_ERROR));
            m_pFrame->sendWorkerCommand(cmdDetect);
        }
    } else if (command == cmdLogin) {
        if (code == resLoggedIn) {
            m_status->SetWindowText(LoadString(res::IDS_DEVICE_DETECTED));
            m_pFrame->sendWorkerCommand(cmdLoggedIn);
            m_next->EnableWindow(true);
            SetTimer(kAdvanceTimer, kAdvanceDelay);
        } else {
            std::string status = LoadString(res::IDS_LOGIN_ERROR);
            if (const CTidewellThread* worker = m_pFrame->getWorker()) {
                const std::string reason = worker->failureReason();
                status += reason.empty() ? "" : "\n" + reason;
            }
            m_status->SetWindowText(status);
            m_pFrame->sendWorkerCommand(cmdDetect);
        }
    } else {
        m_status->SetWindowText(ui::formatMessage(LoadString(res::IDS_UNEXPECTED_STATE), command));
        m_pFrame->sendWorkerCommand(cmdNone);
    }
}

void CDetectionDlg::showLoss(std::int32_t command) {
    std::string reason;
    if (const CTidewellThread* worker = m_pFrame->getWorker()) {
        reason = worker->linkError();
    }
    if (reason.starts_with(kErrorPrefix)) {
        reason.erase(0, kErrorPrefix.size());
    }
    const std::string text =
        LoadString(command == cmdDetect ? res::IDS_DETECTION_ERROR : res::IDS_LOGIN_ERROR);
    m_status->SetWindowText(reason.empty() ? text : text + "\n" + reason);
    // Detecting again on a dead port would fail at once, for good; Back reconnects.
    m_pFrame->sendWorkerCommand(cmdNone);
}

void CDetectionDlg::OnTimer(ui::UINT_PTR id) {
    if (id != kAdvanceTimer) {
        CBaseDlg::OnTimer(id);
        return;
    }
    KillTimer(kAdvanceTimer);
    OnOK();
}

}  // namespace tidewell
