// CMenuDlg: the operation choice page (template 130). One automatic check box
// per offered operation of the frame's plan; a click selects or drops the step.
#pragma once

#include <array>
#include <cstdint>

#include "tidewell/resources/ids.h"
#include "tidewell/wizard/base_dlg.h"
#include "tidewell/wizard/color_static.h"

namespace tidewell {

class CMenuDlg : public CBaseDlg {
  public:
    static constexpr int kBoxCount = res::IDC_OPERATION_COUNT;

    explicit CMenuDlg(WizardHost* parent);

    // Click on check box `box` (control 1015 + box).
    void OnOperationClicked(int box);

  protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;

  private:
    CColorStatic m_title;
    std::array<ui::Control*, kBoxCount> m_checkBoxes{};
    // For each box, the plan slot of the step it shows.
    std::array<std::uint8_t, kBoxCount> m_boxSlot{};
};

}  // namespace tidewell
