// wx starts once for every in-process GUI test; without a display the tests skip.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>
#include <iostream>

#include "gui_support.h"

namespace {

class TestApp : public wxApp {
  public:
    bool OnInit() override { return true; }
};

void onAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
              const wxString& msg) {
    const std::string what =
        (file + ":" + wxString::Format("%d", line) + " " + func + ": " + cond + " " + msg)
            .utf8_string();
    std::cerr << "wx assertion: " << what << "\n";
    tidewell::gui::recordAssertFailure(what);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return RUN_ALL_TESTS();  // every test skips with its reason
    }
    wxApp::SetInstance(new TestApp);
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    if (!wxEntryStart(wxArgc, wxArgv) || !wxTheApp->CallOnInit()) {
        return RUN_ALL_TESTS();
    }
    wxSetAssertHandler(onAssert);
    tidewell::gui::setHaveDisplay(true);
    const int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
