#include "tidewell/wizard/pages/comm_port_selection_dlg.h"

#include <vector>

#include "tidewell/resources/ids.h"
#include "tidewell/settings/settings.h"
#include "tidewell/ui/text.h"

namespace tidewell {

namespace {
constexpr const char* kPortFormat = "COM%d";
constexpr const char* kNotPresent = " (not present)";
}  // namespace

CCommPortSelectionDlg::CCommPortSelectionDlg(WizardHost* parent)
    : CBaseDlg(res::IDD_PORT_SELECTION, parent) {}

std::string CCommPortSelectionDlg::entryText(const ComPortEntry& entry) {
    std::string text = ui::stringPrintf(kPortFormat, static_cast<int>(entry.number));
    if (entry.devicePath.empty()) {
        return text + kNotPresent;
    }
    // Windows names the device ("USB Serial Port (COM5)") where \\.\COM5 says nothing.
    text += "  " + (entry.description.empty() ? entry.devicePath : entry.description);
    if (!entry.present) {
        text += kNotPresent;
    }
    return text;
}

void CCommPortSelectionDlg::DoDataExchange() {
    CBaseDlg::DoDataExchange();
    m_title.bind(GetDlgItem(res::IDC_TITLE));
    m_status = &GetDlgItem(res::IDC_STATUS);
    m_portList = &GetDlgItem(res::IDC_PORT_LIST);
}

bool CCommPortSelectionDlg::OnInitDialog() {
    CBaseDlg::OnInitDialog();
    m_title.SetWindowText(LoadString(res::IDS_TITLE_WELCOME));

    TidewellSettings& settings = m_pFrame->getSettings();
    // Numbers the serial devices seen for the first time, as the port layer does.
    const std::vector<ComPortEntry> ports = ComPortResolver(settings.store()).entries();
    for (int n = 1; n <= kPortEntries; ++n) {
        ComPortEntry entry;
        entry.number = static_cast<std::uint8_t>(n);
        for (const auto& known : ports) {
            if (known.number == n) {
                entry = known;
            }
        }
        m_portList->AddString(entryText(entry));
    }
    m_portList->SelectString(
        0, ui::stringPrintf(kPortFormat, static_cast<int>(settings.getCommPort())));

    // Whenever this page shows the port is closed, so another one can be chosen.
    if (m_pFrame->isConnected()) {
        m_pFrame->disconnectPort();
    }
    return true;
}

void CCommPortSelectionDlg::OnOK() {
    const auto port = static_cast<std::uint8_t>(m_portList->GetCurSel() + 1);
    m_pFrame->selectPort(port);
    if (m_pFrame->connectPort()) {
        m_pFrame->getSettings().setCommPort(port);
        CBaseDlg::OnOK();
        return;
    }
    m_status->SetWindowText(
        ui::formatMessage(LoadString(res::IDS_UNABLE_TO_OPEN_PORT), static_cast<int>(port)));
}

}  // namespace tidewell
