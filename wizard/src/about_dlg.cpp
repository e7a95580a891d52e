#include "tidewell/wizard/about_dlg.h"

#include "tidewell/resources/ids.h"

namespace tidewell {

CAboutDlg::CAboutDlg(ui::Window* parent) : ui::Dialog(res::IDD_ABOUTBOX, parent) {}

}  // namespace tidewell
