// The wxWidgets backend: real windows built from the templates, mirroring the
// window models both ways. This header needs no wx headers; the program links
// tidewell_ui_wx and creates its Platform here.
#pragma once

#include <memory>

#include "tidewell/ui/platform.h"

namespace tidewell::ui {

// A Platform that shows windows with wxWidgets (GTK 3). runApplication starts
// wx itself when no wxApp exists yet; otherwise (tests) it uses the running one.
std::unique_ptr<Platform> makeWxPlatform(const ResourceSet& resources);

}  // namespace tidewell::ui
