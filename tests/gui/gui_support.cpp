#include "gui_support.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/toplevel.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tidewell/ui/paint.h"
#include "tidewell/ui/wx/testing.h"

namespace tidewell::gui {
namespace {

constexpr int kPollMs = 10;
// Long enough for the toolkit's check-mark and focus transitions to finish.
constexpr int kSettlePolls = 30;

struct Session {
    bool display = false;
    std::vector<std::string> asserts;
};

Session& session() {
    static Session s;
    return s;
}

int& settledPolls() {
    static int polls = 0;
    return polls;
}

}  // namespace

bool haveDisplay() {
    return session().display;
}
void setHaveDisplay(bool have) {
    session().display = have;
}

std::vector<std::string> takeAssertFailures() {
    return std::exchange(session().asserts, {});
}
void recordAssertFailure(std::string what) {
    session().asserts.push_back(std::move(what));
}

Script& Script::when(std::string what, Condition condition, Action action,
                     std::chrono::milliseconds timeout) {
    steps_.push_back({std::move(what), std::move(condition), std::move(action), timeout, {}});
    return *this;
}

Script& Script::then(std::string what, Action action) {
    return when(
        std::move(what), [] { return true; }, std::move(action));
}

void Script::start() {
    Start(kPollMs);
}

void Script::Notify() {
    if (steps_.empty()) {
        Stop();
        return;
    }
    Step& step = steps_.front();
    if (!step.deadline) {
        step.deadline = std::chrono::steady_clock::now() + step.timeout;
    }
    if (step.condition()) {
        // Acted on from the event queue, not inside this timer's callback: an action
        // that runs a nested modal loop must not hold up the timer that drives the rest.
        auto action = std::move(step.action);
        steps_.pop_front();
        wxTheApp->CallAfter([action = std::move(action)] { action(); });
        return;
    }
    if (std::chrono::steady_clock::now() > *step.deadline) {
        failures_.push_back("timed out: " + step.what);
        steps_.clear();
        Stop();
        giveUp_();
    }
}

void endAllModals() {
    for (wxWindow* window : wxTopLevelWindows) {
        if (auto* dialog = dynamic_cast<wxDialog*>(window); dialog && dialog->IsModal()) {
            dialog->EndModal(wxID_CANCEL);
        }
    }
}

bool shownAndPainted(const ui::Window& window) {
    wxWindow* native = ui::wxtest::nativeWindow(window);
    if (native == nullptr || !native->IsShownOnScreen() || ui::wxtest::paintCount(window) == 0) {
        settledPolls() = 0;
        return false;
    }
    // The toolkit draws the widgets after the window's own painting: give it a few polls.
    return ++settledPolls() >= kSettlePolls;
}

std::string screenshotPath(const std::string& name) {
    std::error_code ignored;
    std::filesystem::create_directories(TIDEWELL_SCREENSHOT_DIR, ignored);
    return std::string(TIDEWELL_SCREENSHOT_DIR) + "/" + name + ".png";
}

// ImageMagick reads the X server's screen; the toolkit's own screen context
// hands back stale pixels under Xvfb.
bool saveScreenshot(const ui::Window& window, const std::string& name) {
    wxWindow* native = ui::wxtest::nativeWindow(window);
    if (native == nullptr || !native->IsShownOnScreen()) {
        return false;
    }
    const wxRect r = native->GetScreenRect();
    const std::string command =
        wxString::Format(
            "import -window root -crop %dx%d+%d+%d +repage -define png:exclude-chunks=date,time "
            "'%s'",
            r.width, r.height, r.x, r.y, wxString::FromUTF8(screenshotPath(name).c_str()))
            .utf8_string();
    return std::system(command.c_str()) == 0;
}

double imageValue(const std::string& png, const wxRect& region, const std::string& what) {
    const std::string command =
        wxString::Format(
            "convert '%s' +repage -crop %dx%d+%d+%d -colorspace Gray -format '%%[fx:%s]' "
            "info: 2>/dev/null",
            wxString::FromUTF8(png.c_str()), region.width, region.height, region.x, region.y,
            wxString::FromUTF8(what.c_str()))
            .utf8_string();
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[64];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        ::pclose(pipe);
    }
    return out.empty() ? -1.0 : std::stod(out);
}

PageDialog::PageDialog(ui::Platform& platform, int templateId, std::string title)
    : Dialog(templateId, platform), title_(std::move(title)) {}

void PageDialog::DoDataExchange() {
    ui::Control& title = GetDlgItem(res::IDC_TITLE);
    title.SetPaintHandler([&title](ui::PaintDC& dc) {
        ui::LOGFONT font;
        font.lfHeight = 16;
        font.lfWeight = ui::FW_BOLD;
        font.lfCharSet = ui::DEFAULT_CHARSET;
        ui::setFaceName(font, "Tahoma");
        const ui::LOGFONT previous = dc.SelectFont(font);
        dc.SetBkMode(ui::TRANSPARENT);
        dc.SetTextColor(ui::RGB(255, 255, 255));
        dc.DrawText(title.GetWindowText(), dc.GetClientRect(),
                    ui::DT_SINGLELINE | ui::DT_VCENTER | ui::DT_NOPREFIX);
        dc.SelectFont(previous);
    });
}

bool PageDialog::OnInitDialog() {
    if (ui::Menu* menu = GetSystemMenu()) {
        menu->AppendMenu(ui::MF_SEPARATOR);
        menu->AppendMenu(ui::MF_STRING, res::IDM_ABOUTBOX, LoadString(res::IDS_ABOUTBOX));
        menu->AppendMenu(ui::MF_STRING, kTerminalItem, "&Terminal window");
    }
    SetIcon(res::IDR_MAINFRAME, true);
    SetIcon(res::IDR_MAINFRAME, false);
    GetDlgItem(res::IDC_TITLE).SetWindowText(title_);
    if (onInit) {
        onInit(*this);
    }
    return true;
}

bool PageDialog::OnCommand(int id) {
    if (id == res::IDC_BACK) {
        EndDialog(res::IDC_BACK);
        return true;
    }
    return Dialog::OnCommand(id);
}

void PageDialog::OnSysCommand(ui::UINT id, ui::LPARAM lParam) {
    if ((id & ui::SC_MASK) == static_cast<ui::UINT>(res::IDM_ABOUTBOX)) {
        Dialog about(res::IDD_ABOUTBOX, this);
        aboutResult = about.DoModal();
        return;
    }
    Dialog::OnSysCommand(id, lParam);
}

}  // namespace tidewell::gui
