// Test support for the main frame, the wizard driver and the application: a
// headless platform with Tidewell's resources, a private settings file, a fake
// serial device, test wizard pages, a frame that counts exit messages, and
// tidewell-devsim as a child process.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tidewell/app/tidewell_app.h"
#include "tidewell/frame/main_frame.h"
#include "tidewell/serial/testing/fake_backend.h"
#include "tidewell/testsupport/devsim_process.h"
#include "tidewell/testsupport/temp_dir.h"
#include "tidewell/ui/headless/headless.h"
#include "tidewell/wizard/base_dlg.h"

namespace tidewell::testing {

using testsupport::ChildProcess;
using testsupport::TempDir;

// What a test page saw when it was shown.
struct PageVisit {
    int templateId = 0;
    std::int32_t stepType = -1;
    std::int32_t progressMode = 0;
    std::int32_t fileSelectionMode = 0;
    bool activeDuringInit = false;  // the frame's activePage was this page
    friend bool operator==(const PageVisit&, const PageVisit&) = default;
};

// Shared by the test pages of one run: what they saw and what they are told.
struct PageScript {
    std::vector<PageVisit> visits;
    // Step types whose page ends itself from its initialisation, as Next.
    std::set<std::int32_t> endsItself;
    // Step types whose page the factory leaves out (a page that cannot be created).
    std::set<std::int32_t> missing;
    std::vector<std::int32_t> results;   // onResult calls of any page
    std::vector<std::int32_t> progress;  // onProgress calls of any page
    int pageSetsBuilt = 0;
    int pageSetsDestroyed = 0;
};

// A wizard page that enables Next, records its visit and hooks, and ends
// itself when the script says so.
class TestPage : public CBaseDlg {
  public:
    TestPage(int templateId, WizardHost* frame, PageScript& script);
    ~TestPage() override;
    void onResult(std::int32_t code) override;
    void onProgress(std::int32_t percent) override;

  protected:
    bool OnInitDialog() override;

  private:
    PageScript& script_;
};

// The five test pages for the frame's page factory.
WizardPageFactory testPageFactory(PageScript& script);

// Makes the fake device keep sending bytes (no line end), one every few
// milliseconds, until stopped: a flush of the input never meets the silence it
// waits for, so a transfer session stays in its flush until cancelled.
class Chatter {
  public:
    explicit Chatter(FakeSerialDevice& device)
        : thread_([this, &device] {
              while (!stop_) {
                  device.feed(".");
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          }) {}
    ~Chatter() {
        stop();
        thread_.join();
    }
    void stop() { stop_ = true; }  // any thread

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A frame that counts the wizard-exit messages it handles.
class CountingFrame : public CMainFrame {
  public:
    using CMainFrame::CMainFrame;
    int exitMessages = 0;

    using CMainFrame::onWorkerResult;

  protected:
    ui::LRESULT OnWizardExit(ui::WPARAM wParam, ui::LPARAM lParam) override;
};

// Platform, settings, fake serial device and application for one test.
class FrameEnv {
  public:
    // With devicePath empty, COM numbers resolve through the settings' [Ports]
    // and open real devices (ptys); otherwise every port opens the fake device.
    explicit FrameEnv(bool fakeSerial = true, EngineTiming timing = scaledTiming(10),
                      const ui::ResourceSet* resources = nullptr);
    ~FrameEnv();

    ui::headless::HeadlessPlatform& platform() { return *platform_; }
    ui::headless::ScriptedUser& user() { return platform_->user(); }
    CTidewellApp& app() { return *app_; }
    FakeSerialDevice& device() { return *device_; }
    const std::filesystem::path& dir() const { return temp_.path(); }
    const std::filesystem::path& settingsFile() const { return settingsFile_; }
    SettingsStore store() const { return SettingsStore(settingsFile_); }
    PageScript& pages() { return pages_; }

    // COM numbers the fake cannot open (their open fails with "no such port").
    void setMissingPorts(std::set<std::uint8_t> ports) { missingPorts_ = std::move(ports); }

    // A frame created from resource 128 with the test pages (the wizard runs in
    // LoadFrame). With terminal on, showTerminal is set first, so that an
    // ended wizard leaves the frame open.
    std::unique_ptr<CountingFrame> makeFrame(bool terminal = true);
    // The visible terminal window, its wizard stopped at once (no port page).
    std::unique_ptr<CountingFrame> makeTerminalFrame();

    // The log's lines (without line ends).
    static std::vector<std::string> logLines(CMainFrame& frame);
    // Handles posted messages until condition holds or the deadline passes.
    bool pumpUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

  private:
    TempDir temp_;
    std::filesystem::path settingsFile_;
    std::shared_ptr<FakeSerialDevice> device_;
    std::set<std::uint8_t> missingPorts_;
    PageScript pages_;
    std::unique_ptr<ui::headless::HeadlessPlatform> platform_;
    std::unique_ptr<CTidewellApp> app_;
};

// tidewell-devsim on a pseudo-terminal linked at dir/"devsim-tty", its files in dir/"store".
class Devsim {
  public:
    Devsim(const std::filesystem::path& dir, const std::vector<std::string>& extraArgs = {});
    const std::filesystem::path& link() const { return link_; }
    const std::filesystem::path& store() const { return store_; }
    bool ready() const { return process_ != nullptr; }
    // Why it is not ready.
    const std::string& error() const { return error_; }

  private:
    std::filesystem::path link_;
    std::filesystem::path store_;
    std::unique_ptr<testsupport::DevsimProcess> process_;
    std::string error_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

}  // namespace tidewell::testing
