// The five page objects of one run of the wizard, and the factory that builds
// them. The frame's wizard driver asks its page factory for a fresh set at the start
// of each run and destroys it at the end.
#pragma once

#include <functional>
#include <memory>

#include "tidewell/wizard/base_dlg.h"

namespace tidewell {

struct WizardPages {
    std::unique_ptr<CBaseDlg> operationChoice;  // CMenuDlg, template 130
    std::unique_ptr<CBaseDlg> portSelection;    // CCommPortSelectionDlg, template 103
    std::unique_ptr<CBaseDlg> fileSelection;    // CFileSelectionDlg, template 102
    std::unique_ptr<CBaseDlg> detection;        // CDetectionDlg, template 104
    std::unique_ptr<CBaseDlg> progress;         // CProgressDlg, template 105
};

// A page left null counts as a page whose dialog cannot be created: the wizard
// stops when it reaches that step.
using WizardPageFactory = std::function<WizardPages(WizardHost* frame)>;

// The five real pages, each with frame as parent. Defined by the pages library
// (tidewell_pages, wizard/src/pages/); the application installs it as the
// frame's page factory.
WizardPages makeWizardPages(WizardHost* frame);

}  // namespace tidewell
