// Tidewell's resources: the dialog templates, the string table, the terminal
// window's menu, accelerators and tool bar, the application icon and the banner.
#pragma once

#include <string_view>

#include "tidewell/resources/ids.h"
#include "tidewell/ui/resources.h"

namespace tidewell::res {

// The one immutable resource set (thread-safe).
const ui::ResourceSet& tidewellResources();

// A string-table text exactly as written; empty for an unknown id.
std::string_view loadString(int id);

}  // namespace tidewell::res
