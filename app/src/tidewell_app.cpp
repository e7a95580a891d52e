#include "tidewell/app/tidewell_app.h"

#include <iostream>
#include <memory>
#include <string>

#include "tidewell/frame/main_frame.h"
#include "tidewell/resources/ids.h"

namespace tidewell {

bool CTidewellApp::InitInstance() {
    if (const std::string problem = settings_.store().readProblem(); !problem.empty()) {
        // The program runs on the defaults; whatever stands there is not touched.
        std::cerr << "tidewell: the settings are not used: " << problem << '\n';
    }
    auto frame = std::make_unique<CMainFrame>(GetPlatform(), *this);
    // Runs the wizard to its end before it returns.
    if (!frame->LoadFrame(res::IDR_MAINFRAME, ui::WS_OVERLAPPEDWINDOW | ui::FWS_ADDTOTITLE)) {
        return false;
    }
    CMainFrame& shown = *frame;
    SetMainWnd(std::move(frame));
    if (getShowTerminal()) {
        shown.ShowWindow(ui::SW_SHOW);
        shown.UpdateWindow();
    }
    return true;
}

}  // namespace tidewell
