// tidewell: the update wizard on real windows.
#include "tidewell/app/tidewell_app.h"
#include "tidewell/resources/resources.h"
#include "tidewell/ui/wx/wx_platform.h"

int main() {
    auto platform = tidewell::ui::makeWxPlatform(tidewell::res::tidewellResources());
    tidewell::CTidewellApp app(tidewell::AppEnvironment{
        .settings = tidewell::SettingsStore(),
        .serial = {},
        .pages = &tidewell::makeWizardPages,
    });
    return app.Run(*platform);
}
