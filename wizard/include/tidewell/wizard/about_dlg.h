// CAboutDlg: the About box (template 100), reached from "&About..." on every
// wizard page. A plain modal dialog with no handlers of its own.
#pragma once

#include "tidewell/ui/dialog.h"

namespace tidewell {

class CAboutDlg : public ui::Dialog {
  public:
    explicit CAboutDlg(ui::Window* parent);
};

}  // namespace tidewell
