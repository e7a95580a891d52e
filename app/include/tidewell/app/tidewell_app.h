// CTidewellApp: the program's one application object. It holds the showTerminal
// switch, offers the persisted settings through typed accessors (read afresh on
// every get, written at once on every set), and starts the program: InitInstance
// creates the hidden main frame, which runs the wizard while it is created.
//
// What the application is built with comes in an AppEnvironment, so tests run
// it (or a CMainFrame alone) with their own settings file, serial platform and
// wizard pages. Pages reach the settings (TidewellSettings) through their frame:
//   m_pFrame->getSettings().getFirmwarePath()
//
// The frame sees the object as its FrameApplication; InitInstance lives in the
// tidewell_app library.
//
// Window thread only, except the accessors (the settings store is thread-safe).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "tidewell/engine/timing.h"
#include "tidewell/frame/frame_application.h"
#include "tidewell/serial/ports.h"
#include "tidewell/serial/tserie.h"
#include "tidewell/settings/settings.h"
#include "tidewell/ui/app.h"
#include "tidewell/wizard/wizard_pages.h"

namespace tidewell {

struct AppEnvironment {
    SettingsStore settings;   // the profile (and the [Ports] section)
    SerialPlatform serial;    // how COM numbers open; empty: termios with [Ports] from settings
    WizardPageFactory pages;  // empty: every run of the wizard stops at once
    EngineTiming timing{};    // the worker's waits (tests shorten them)
};

class CTidewellApp : public ui::WinApp, public FrameApplication {
  public:
    explicit CTidewellApp(AppEnvironment environment)
        : settings_(environment.settings),
          serial_(std::move(environment.serial)),
          pages_(std::move(environment.pages)),
          timing_(environment.timing) {
        if (!serial_.makeBackend || !serial_.devicePath) {
            serial_ = ::tidewell::serialPlatform(ComPortResolver(settings_.store()));
        }
    }

    // Creates the main frame (resource 128), which runs the wizard; shows the
    // frame when showTerminal is on. False when the frame cannot be created.
    bool InitInstance() override;

    // Settings, section "Tidewell".
    std::uint8_t getCommPort() const { return settings_.getCommPort(); }
    void setCommPort(std::uint8_t portNumber) { settings_.setCommPort(portNumber); }
    std::string getSettingPath() const { return settings_.getSettingPath(); }
    void setSettingPath(const std::string& folder) { settings_.setSettingPath(folder); }
    std::string getSettingFile() const { return settings_.getSettingFile(); }
    void setSettingFile(const std::string& name) { settings_.setSettingFile(name); }
    std::string getPlaylistPath() const { return settings_.getPlaylistPath(); }
    void setPlaylistPath(const std::string& folder) { settings_.setPlaylistPath(folder); }
    std::string getPlaylistFile() const { return settings_.getPlaylistFile(); }
    void setPlaylistFile(const std::string& name) { settings_.setPlaylistFile(name); }
    std::string getFirmwarePath() const { return settings_.getFirmwarePath(); }
    void setFirmwarePath(const std::string& fullPath) { settings_.setFirmwarePath(fullPath); }

    // Off at start. Turned on only by the "&Terminal window" item of the wizard
    // pages: the frame is then shown and stays open after the wizard.
    bool getShowTerminal() const override { return showTerminal; }
    void setShowTerminal(bool on) override { showTerminal = on; }

    TidewellSettings& settings() override { return settings_; }
    const TidewellSettings& settings() const { return settings_; }
    const SerialPlatform& getSerialPlatform() const override { return serial_; }
    const WizardPageFactory& getPageFactory() const override { return pages_; }
    const EngineTiming& getEngineTiming() const override { return timing_; }

  private:
    bool showTerminal = false;
    TidewellSettings settings_;
    SerialPlatform serial_;
    WizardPageFactory pages_;
    EngineTiming timing_;
};

}  // namespace tidewell
