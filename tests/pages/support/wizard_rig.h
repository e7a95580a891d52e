// The whole wizard on the headless backend: a settings file of its own, the
// application object, the main frame with the real pages, and the scripted user.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files.h"
#include "tidewell/app/tidewell_app.h"
#include "tidewell/frame/main_frame.h"
#include "tidewell/resources/ids.h"
#include "tidewell/ui/headless/headless.h"
#include "tidewell/wizard/pages/progress_dlg.h"

namespace tidewell::pages::testing {

using ui::headless::ScriptedUser;

// What the progress page showed after each notification it handled.
struct ProgressSample {
    bool afterResult = false;  // false: after a progress value
    int position = 0;
    std::string status;
};

// The real progress page, recording the bar and the status line.
class RecordingProgressDlg : public CProgressDlg {
  public:
    RecordingProgressDlg(WizardHost* frame, std::vector<ProgressSample>& samples)
        : CProgressDlg(frame), samples_(samples) {}
    void onResult(std::int32_t code) override;
    void onProgress(std::int32_t percent) override;

  private:
    void record(bool afterResult);
    std::vector<ProgressSample>& samples_;
};

class WizardRig {
  public:
    WizardRig();
    ~WizardRig();

    // COMn opens path (the [Ports] section of the rig's settings).
    void setPort(int number, const std::filesystem::path& path);
    // tidewell-devsim with options, reached as COM3; it outlives the rig's worker.
    Devsim& startDevice(const std::vector<std::string>& options = {});
    TidewellSettings& settings() { return settings_; }
    const std::filesystem::path& folder() const { return dir_.path(); }
    std::filesystem::path file(std::string_view name) const { return dir_ / name; }

    // Runs the wizard as the program does (the frame's creation runs it) until the
    // script ends it, then handles what the pages posted (the exit). True when
    // every step of the script ran.
    bool run();

    ScriptedUser& user() { return ui_.user(); }
    ui::headless::HeadlessPlatform& ui() { return ui_; }
    CMainFrame& frame() { return *frame_; }
    CTidewellApp& app() { return *app_; }
    // Progress page samples of all visits.
    const std::vector<ProgressSample>& progress() const { return samples_; }

    // Script helpers for the usual way through the pages.
    // Port page: pick COMn, Next; waits for the detection page.
    ScriptedUser& choosePort(int number);
    // Detection page: waits for "Device detected.", lets the 3 s timer move on.
    ScriptedUser& detectAndMoveOn();
    // Choice page: sets the five boxes (slot order), Next.
    ScriptedUser& chooseOperations(bool backupSetting, bool backupPlaylist, bool updateFirmware,
                                   bool restoreSetting, bool restorePlaylist);
    // Progress page: waits until its status reads text.
    ScriptedUser& waitForStatus(const std::string& text);

  private:
    TempDir dir_;
    TidewellSettings settings_;
    ui::headless::HeadlessPlatform ui_;
    std::unique_ptr<CTidewellApp> app_;
    std::unique_ptr<CMainFrame> frame_;
    std::vector<ProgressSample> samples_;
    std::optional<Devsim> device_;
};

inline constexpr int kWelcome = res::IDD_PORT_SELECTION;
inline constexpr int kDetection = res::IDD_DETECTION;
inline constexpr int kChoice = res::IDD_OPERATION_CHOICE;
inline constexpr int kProgress = res::IDD_PROGRESS;
inline constexpr int kFileSelection = res::IDD_FILE_SELECTION;
inline constexpr int kNext = ui::IDOK;
inline constexpr int kExit = ui::IDCANCEL;
inline constexpr int kBack = res::IDC_BACK;

}  // namespace tidewell::pages::testing
