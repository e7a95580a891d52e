// CCommPortSelectionDlg: the first wizard page (template 103). The user picks
// COM1 to COM9, each entry showing the device behind it; Next opens the port
// through the frame and remembers the number when the open succeeds.
#pragma once

#include <string>

#include "tidewell/serial/ports.h"
#include "tidewell/wizard/base_dlg.h"
#include "tidewell/wizard/color_static.h"

namespace tidewell {

class CCommPortSelectionDlg : public CBaseDlg {
  public:
    static constexpr int kPortEntries = 9;

    explicit CCommPortSelectionDlg(WizardHost* parent);

    // "COM3  /dev/ttyUSB0", "COM3  /dev/ttyUSB1 (not present)", "COM3 (not present)":
    // always beginning with "COM%d", so the list's select-by-prefix finds it.
    static std::string entryText(const ComPortEntry& entry);

  protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    CColorStatic m_title;
    ui::Control* m_status = nullptr;
    ui::Control* m_portList = nullptr;
};

}  // namespace tidewell
