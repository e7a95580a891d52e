#include "tidewell/wizard/wizard_pages.h"

#include "tidewell/wizard/pages/comm_port_selection_dlg.h"
#include "tidewell/wizard/pages/detection_dlg.h"
#include "tidewell/wizard/pages/file_selection_dlg.h"
#include "tidewell/wizard/pages/menu_dlg.h"
#include "tidewell/wizard/pages/progress_dlg.h"

namespace tidewell {

WizardPages makeWizardPages(WizardHost* frame) {
    WizardPages pages;
    pages.operationChoice = std::make_unique<CMenuDlg>(frame);
    pages.portSelection = std::make_unique<CCommPortSelectionDlg>(frame);
    pages.fileSelection = std::make_unique<CFileSelectionDlg>(frame);
    pages.detection = std::make_unique<CDetectionDlg>(frame);
    pages.progress = std::make_unique<CProgressDlg>(frame);
    return pages;
}

}  // namespace tidewell
