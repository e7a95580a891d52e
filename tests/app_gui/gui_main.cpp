// wx starts once for the in-process GUI tests; without a display they skip.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>
#include <iostream>

namespace {

class TestApp : public wxApp {
  public:
    bool OnInit() override { return true; }
};

void onAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
              const wxString& msg) {
    // A failed assertion would open a modal box and hang the run.
    std::cerr << "wx assertion: " << file << ":" << line << " " << func << ": " << cond << " "
              << msg << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return RUN_ALL_TESTS();
    }
    wxApp::SetInstance(new TestApp);
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    if (!wxEntryStart(wxArgc, wxArgv) || !wxTheApp->CallOnInit()) {
        return RUN_ALL_TESTS();
    }
    wxSetAssertHandler(onAssert);
    const int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
