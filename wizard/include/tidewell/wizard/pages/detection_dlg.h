// CDetectionDlg: the second wizard page (template 104). Drives the worker
// through detection and log-in and moves on by itself 3000 ms after the device
// has answered. A device lost meanwhile (resDeviceLost) stops the page with
// "Detection error." or "Login error." and the reason; Back reconnects.
#pragma once

#include <chrono>
#include <cstdint>

#include "tidewell/wizard/base_dlg.h"
#include "tidewell/wizard/color_static.h"

namespace tidewell {

class CDetectionDlg : public CBaseDlg {
  public:
    static constexpr ui::UINT_PTR kAdvanceTimer = 1;
    static constexpr std::chrono::milliseconds kAdvanceDelay{3000};

    explicit CDetectionDlg(WizardHost* parent);

    void onResult(std::int32_t code) override;

  protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    void OnTimer(ui::UINT_PTR id) override;

  private:
    void showLoss(std::int32_t command);

    CColorStatic m_title;
    ui::Control* m_status = nullptr;
};

}  // namespace tidewell
