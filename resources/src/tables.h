// The resource tables, built once by the resource set.
#pragma once

#include <map>
#include <string_view>
#include <vector>

#include "tidewell/ui/resources.h"

namespace tidewell::res {

std::vector<ui::DialogTemplate> makeDialogs();
std::map<int, std::string_view> makeStrings();
ui::MenuTemplate makeMainMenu();
ui::AcceleratorTable makeAccelerators();
ui::ToolBarTemplate makeToolBar();
std::vector<ui::ImageResource> makeBitmaps();
std::vector<ui::ImageResource> makeIcons();

}  // namespace tidewell::res
