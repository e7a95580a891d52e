// A whole program on the wx backend: a hidden frame runs a page while it is
// created; the page's Exit posts a goodbye to the frame and the process ends
// with status 0 once the message loop handles it.
#include <cstdio>
#include <cstdlib>

#include "tidewell/resources/resources.h"
#include "tidewell/ui/app.h"
#include "tidewell/ui/dialog.h"
#include "tidewell/ui/frame.h"
#include "tidewell/ui/wx/wx_platform.h"

namespace {

using namespace tidewell;
using namespace std::chrono_literals;

constexpr ui::UINT WM_GOODBYE = ui::WM_USER + 2;
constexpr ui::UINT_PTR kPressExit = 1;
constexpr int kSkipped = 77;

// A page that "presses" Exit by itself shortly after it shows.
class ExitingPage : public ui::Dialog {
  public:
    ExitingPage(ui::Window* frame) : Dialog(res::IDD_DETECTION, frame), frame_(frame) {}

  protected:
    bool OnInitDialog() override {
        SetTimer(kPressExit, 100ms);
        return true;
    }
    void OnTimer(ui::UINT_PTR id) override {
        if (id == kPressExit) {
            KillTimer(kPressExit);
            SendMessage(ui::WM_COMMAND, ui::MAKEWPARAM(ui::IDCANCEL, ui::BN_CLICKED));
        }
    }
    void OnCancel() override {
        ui::postMessage(frame_->GetSafeHwnd(), WM_GOODBYE, 0, 0);
        Dialog::OnCancel();
    }

  private:
    ui::Window* frame_;
};

class HiddenFrame : public ui::FrameWindow {
  public:
    explicit HiddenFrame(ui::Platform& platform) : FrameWindow(platform) {
        mapMessage(WM_GOODBYE, [this](ui::WPARAM, ui::LPARAM) {
            DestroyWindow();
            return 0;
        });
    }
    int pageResult = 0;

  protected:
    int OnCreate() override {
        ExitingPage page(this);
        pageResult = page.DoModal();
        return 0;
    }
};

class SmokeApp : public ui::WinApp {
  public:
    bool InitInstance() override {
        auto frame = std::make_unique<HiddenFrame>(GetPlatform());
        if (!frame->LoadFrame(res::IDR_MAINFRAME)) {
            return false;
        }
        std::printf("page ended with %d\n", frame->pageResult);
        if (frame->pageResult != ui::IDCANCEL) {
            return false;
        }
        SetMainWnd(std::move(frame));
        return true;
    }
};

}  // namespace

int main() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        std::puts("skipped: no display (scripts/test runs the suite under xvfb-run)");
        return kSkipped;
    }
    const auto platform = ui::makeWxPlatform(res::tidewellResources());
    SmokeApp app;
    const int status = app.Run(*platform);
    std::printf("exit status %d\n", status);
    return status;
}
