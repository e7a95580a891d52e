// FrameApplication: what the main frame needs of the application object that
// creates it (CTidewellApp implements it): the showTerminal switch, the settings,
// and what the program was built with (serial platform, wizard pages, the worker's
// waits). The frame sits beneath the application and sees it only through this.
//
// Window thread only, except settings() (the settings store is thread-safe).
#pragma once

#include "tidewell/engine/timing.h"
#include "tidewell/serial/tserie.h"
#include "tidewell/settings/settings.h"
#include "tidewell/wizard/wizard_pages.h"

namespace tidewell {

class FrameApplication {
  public:
    // Whether the frame is shown and stays open after the wizard.
    virtual bool getShowTerminal() const = 0;
    virtual void setShowTerminal(bool on) = 0;

    virtual TidewellSettings& settings() = 0;
    virtual const SerialPlatform& getSerialPlatform() const = 0;
    virtual const WizardPageFactory& getPageFactory() const = 0;
    virtual const EngineTiming& getEngineTiming() const = 0;

  protected:
    ~FrameApplication() = default;
};

}  // namespace tidewell
