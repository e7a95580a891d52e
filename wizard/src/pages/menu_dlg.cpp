#include "tidewell/wizard/pages/menu_dlg.h"

namespace tidewell {

CMenuDlg::CMenuDlg(WizardHost* parent) : CBaseDlg(res::IDD_OPERATION_CHOICE, parent) {
    mapCommandRange(res::IDC_OPERATION_FIRST, res::IDC_OPERATION_FIRST + kBoxCount - 1,
                    [this](int id) { OnOperationClicked(id - res::IDC_OPERATION_FIRST); });
}

void CMenuDlg::DoDataExchange() {
    CBaseDlg::DoDataExchange();
    m_title.bind(GetDlgItem(res::IDC_TITLE));
    for (int box = 0; box < kBoxCount; ++box) {
        m_checkBoxes[box] = &GetDlgItem(res::IDC_OPERATION_FIRST + box);
    }
}

bool CMenuDlg::OnInitDialog() {
    CBaseDlg::OnInitDialog();
    m_title.SetWindowText(LoadString(res::IDS_TITLE_OPERATION));

    CDeviceStepList& plan = m_pFrame->getOperations();
    int box = 0;
    for (std::uint8_t slot = 0; slot < plan.getCount() && box < kBoxCount; ++slot) {
        CDeviceStep* step = plan.getStep(slot);
        if (!step->isOffered()) {
            continue;
        }
        ui::Control& check = *m_checkBoxes[box];
        check.SetWindowText(step->getName());
        check.EnableWindow(true);
        check.ShowWindow(ui::SW_SHOW);
        step->setMenuSlot(static_cast<std::uint8_t>(box));
        if (step->isSelected()) {
            check.SetCheck(ui::BST_CHECKED);
            m_next->EnableWindow(true);
        }
        m_boxSlot[box] = slot;
        ++box;
    }
    return true;
}

void CMenuDlg::OnOperationClicked(int box) {
    if (box < 0 || box >= kBoxCount) {
        return;
    }
    CDeviceStepList& plan = m_pFrame->getOperations();
    if (m_checkBoxes[box]->IsWindowEnabled()) {
        if (CDeviceStep* step = plan.getStep(m_boxSlot[box]); step != nullptr) {
            step->setSelected(m_checkBoxes[box]->GetCheck() == ui::BST_CHECKED);
        }
    }
    m_next->EnableWindow(false);
    for (std::uint8_t slot = 0; slot < plan.getCount(); ++slot) {
        if (plan.getStep(slot)->isSelected()) {
            m_next->EnableWindow(true);
        }
    }
}

}  // namespace tidewell
