#include "wizard_rig.h"

#include "tidewell/resources/resources.h"
#include "tidewell/ui/text.h"
#include "tidewell/wizard/wizard_pages.h"

namespace tidewell::pages::testing {

namespace {
constexpr ui::headless::Duration kDeviceWait{15000};
constexpr ui::headless::Duration kAutoAdvance{3000};
}  // namespace

void RecordingProgressDlg::onResult(std::int32_t code) {
    CProgressDlg::onResult(code);
    record(true);
}

void RecordingProgressDlg::onProgress(std::int32_t percent) {
    CProgressDlg::onProgress(percent);
    record(false);
}

void RecordingProgressDlg::record(bool afterResult) {
    samples_.push_back({afterResult, GetDlgItem(res::IDC_PROGRESS).GetPos(),
                        GetDlgItem(res::IDC_STATUS).GetWindowText()});
}

WizardRig::WizardRig()
    : settings_(SettingsStore(dir_ / "config" / "tidewell.ini")), ui_(res::tidewellResources()) {
    ui_.setStallTimeout(kDeviceWait);
    app_ = std::make_unique<CTidewellApp>(AppEnvironment{
        .settings = settings_.store(),
        .serial = {},
        .pages =
            [this](WizardHost* frame) {
                WizardPages pages = makeWizardPages(frame);
                pages.progress = std::make_unique<RecordingProgressDlg>(frame, samples_);
                return pages;
            },
    });
}

WizardRig::~WizardRig() {
    frame_.reset();  // joins the worker before the devices go
}

void WizardRig::setPort(int number, const std::filesystem::path& path) {
    settings_.store().setString(kPortsSection, ui::stringPrintf("COM%d", number), path.string());
}

Devsim& WizardRig::startDevice(const std::vector<std::string>& options) {
    const auto folder = dir_ / "device";
    std::filesystem::create_directories(folder);
    device_.emplace(folder, options);
    setPort(3, device_->link());
    return *device_;
}

bool WizardRig::run() {
    frame_ = std::make_unique<CMainFrame>(ui_, *app_);
    frame_->LoadFrame(res::IDR_MAINFRAME);
    ui_.runPending();
    return user().ok() && user().finished();
}

ScriptedUser& WizardRig::choosePort(int number) {
    return user()
        .waitForDialog(kWelcome)
        .selectIndex(res::IDC_PORT_LIST, number - 1)
        .click(kNext)
        .waitForDialog(kDetection);
}

ScriptedUser& WizardRig::detectAndMoveOn() {
    return user()
        .waitForDialog(kDetection)
        .waitForText(res::IDC_STATUS, "Device detected.", kDeviceWait)
        .expectEnabled(kNext)
        .advance(kAutoAdvance)
        .waitForDialog(kChoice);
}

ScriptedUser& WizardRig::chooseOperations(bool backupSetting, bool backupPlaylist,
                                          bool updateFirmware, bool restoreSetting,
                                          bool restorePlaylist) {
    const bool wanted[] = {backupSetting, backupPlaylist, updateFirmware, restoreSetting,
                           restorePlaylist};
    user().waitForDialog(kChoice);
    // Ticks first, so that Next never goes disabled on the way.
    for (int box = 0; box < 5; ++box) {
        if (wanted[box]) {
            user().setCheck(res::IDC_OPERATION_FIRST + box, true);
        }
    }
    for (int box = 0; box < 5; ++box) {
        if (!wanted[box]) {
            user().setCheck(res::IDC_OPERATION_FIRST + box, false);
        }
    }
    return user().click(kNext);
}

ScriptedUser& WizardRig::waitForStatus(const std::string& text) {
    return user().waitForDialog(kProgress).waitForText(res::IDC_STATUS, text, kDeviceWait);
}

}  // namespace tidewell::pages::testing
